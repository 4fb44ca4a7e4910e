// velmorloom-render: Standard MIDI File (or the built-in phrase) to WAV through the
// instrument.
#include <cstdio>
#include <exception>
#include <vector>

#include "tools/render/Render.h"
#include "tools/render/sys/SystemIo.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args = vl::render::sys::arguments(argc, argv);
        if (!args.empty()) args.erase(args.begin());
        return vl::render::runRenderer(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmorloom-render: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "velmorloom-render: unexpected failure\n");
    }
    return 1;
}
