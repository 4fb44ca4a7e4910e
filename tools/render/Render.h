#pragma once
// Renders a timeline through the instrument, exactly as a host drives it, into an
// open output file (header included).
#include <cstdint>
#include <functional>
#include <string>

#include "tools/render/Options.h"
#include "tools/render/OutputFile.h"
#include "tools/render/Timeline.h"

namespace vl {
class Instrument;
}

namespace vl::render {

struct RenderStats {
    int64_t frames = 0;
    double peak = 0.0; // largest absolute sample, 1.0 = full scale
};

// Called after every block with the frames done so far.
using ProgressFunction = std::function<void(int64_t done, int64_t total)>;

// Brings a new instrument into the state the render starts from: the sample rate, then
// the bank file (which leaves program 0 selected), the chosen program, the patch file
// (which replaces that program's slot) and the parameter values, in that order. A file
// the instrument refuses gives false, with the instrument's own message for that file in
// error; the notice the instrument shows is taken in, not shown a second time.
bool prepareInstrument(Instrument& instrument, const Options& options, std::string& error);

// Renders through a prepared instrument. totalFrames must not exceed maxWavFrames of the
// chosen format.
bool renderToWav(Instrument& instrument, const Timeline& timeline, int64_t totalFrames, const Options& options,
                 OutputFile& out, RenderStats& stats, std::string& error, const ProgressFunction& progress);

// The whole program: arguments without the program name; returns the exit status.
int runRenderer(const std::vector<std::string>& args);

} // namespace vl::render
