#include "tools/render/Render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "instrument/Instrument.h"
#include "instrument/PatchFiles.h"
#include "platform/Notice.h"
#include "platform/OptionScanner.h"
#include "platform/WavFormat.h"
#include "tools/render/DemoPhrase.h"
#include "tools/render/EventFeeder.h"
#include "tools/render/MidiFile.h"
#include "tools/render/sys/SystemIo.h"

namespace vl::render {
namespace {

// The host as far as the instrument asks: a VST 2.4 host that answers nothing else.
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr std::size_t kMaxMidiFileSize = 64u << 20;

// Set by an interrupt (Ctrl-C) or termination request; the render loop stops at the next
// block and the temporary file is removed.
volatile std::sig_atomic_t stopRequested = 0;
extern "C" void requestStop(int) { stopRequested = 1; }
constexpr const char* kDemoOutput = "velmorloom-demo.wav";

void errorLine(const std::string& message) {
    std::fprintf(stderr, "velmorloom-render: %s\n", message.c_str());
    std::fflush(stderr);
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
    std::FILE* f = sys::openForReading(path);
    if (!f) {
        error = "cannot open '" + path + "': " + sys::lastErrorText();
        return false;
    }
    data.clear();
    uint8_t chunk[65536];
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
        data.insert(data.end(), chunk, chunk + n);
        if (data.size() > kMaxMidiFileSize) {
            error = "'" + path + "' is too large for a MIDI file";
            ok = false;
            break;
        }
        if (n < sizeof chunk) {
            if (std::ferror(f)) {
                error = "cannot read '" + path + "': " + sys::lastErrorText();
                ok = false;
            }
            break;
        }
    }
    std::fclose(f);
    return ok;
}

// Takes in the instrument's notices while a file loads, so that a refused file is reported
// once, on the renderer's own error line. The first notice is the one that explains.
class NoticeCapture {
public:
    NoticeCapture() : previous(setNoticeSink(&keep)) { captured().clear(); }
    ~NoticeCapture() { setNoticeSink(previous); }
    NoticeCapture(const NoticeCapture&) = delete;
    NoticeCapture& operator=(const NoticeCapture&) = delete;

    static const std::string& text() { return captured(); }

private:
    static std::string& captured() {
        static std::string first;
        return first;
    }
    static void keep(const char*, const char* text) {
        if (captured().empty() && text != nullptr) captured() = text;
    }

    NoticeSink previous;
};

bool loadFile(Instrument& instrument, const std::string& path, bool bank, std::string& error) {
    NoticeCapture notices;
    if (bank ? loadBankFile(instrument, path.c_str()) : loadPatchFile(instrument, path.c_str())) return true;
    error = "'" + path + "': " + (notices.text().empty() ? std::string("cannot be loaded") : notices.text());
    return false;
}

} // namespace

bool prepareInstrument(Instrument& instrument, const Options& options, std::string& error) {
    instrument.setSampleRate(float(options.rate));
    instrument.resume();
    if (!options.bank.empty() && !loadFile(instrument, options.bank, true, error)) return false;
    instrument.setProgram(options.program);
    if (!options.patch.empty() && !loadFile(instrument, options.patch, false, error)) return false;
    for (const auto& [index, value] : options.params) instrument.setParameter(index, value);
    return true;
}

bool renderToWav(Instrument& instrument, const Timeline& timeline, int64_t totalFrames, const Options& options,
                 OutputFile& out, RenderStats& stats, std::string& error, const ProgressFunction& progress) {
    const SampleFormat format = options.floatOutput ? SampleFormat::Float32 : SampleFormat::Pcm16;
    if (totalFrames < 0 || uint64_t(totalFrames) > maxWavFrames(format)) {
        error = "the render would exceed the 4 GiB size limit of a WAV file";
        return false;
    }
    stats = RenderStats{};
    const std::vector<uint8_t> header = wavHeader(format, options.rate, uint32_t(totalFrames));
    if (!out.write(header.data(), header.size(), error)) return false;

    const std::size_t block = std::size_t(options.block);
    std::vector<float> left(block), right(block), silentIn(block, 0.0f);
    std::vector<int16_t> pcm(2 * block);
    std::vector<uint8_t> bytes(block * bytesPerFrame(format));
    float* outputs[2] = {left.data(), right.data()};
    float* inputs[2] = {silentIn.data(), silentIn.data()};

    EventFeeder feeder(timeline.events);
    int peak16 = 0;
    float peakFloat = 0.0f;
    int64_t done = 0;
    while (done < totalFrames) {
        const int32_t want = int32_t(std::min<int64_t>(int64_t(block), totalFrames - done));
        const int32_t n = feeder.prepare(done, want);
        if (n <= 0) {
            error = "more than ";
            error += std::to_string(EventFeeder::kMaxEventsPerCall);
            error += " MIDI events at one instant";
            return false;
        }
        if (VstEvents* list = feeder.list()) instrument.processEvents(list);
        if (format == SampleFormat::Pcm16) {
            instrument.processInterleaved16(pcm.data(), n);
            for (int32_t i = 0; i < 2 * n; ++i) peak16 = std::max(peak16, std::abs(int(pcm[std::size_t(i)])));
            encodePcm16(pcm.data(), std::size_t(n), bytes.data());
        } else {
            instrument.processReplacing(inputs, outputs, n);
            for (int32_t i = 0; i < n; ++i)
                peakFloat = std::max({peakFloat, std::fabs(left[std::size_t(i)]), std::fabs(right[std::size_t(i)])});
            encodeFloat32(left.data(), right.data(), std::size_t(n), bytes.data());
        }
        if (!out.write(bytes.data(), std::size_t(n) * bytesPerFrame(format), error)) return false;
        done += n;
        if (stopRequested) {
            error = "interrupted";
            return false;
        }
        if (progress) progress(done, totalFrames);
    }
    stats.frames = done;
    stats.peak = format == SampleFormat::Pcm16 ? peak16 / 32767.0 : double(peakFloat);
    return true;
}

int runRenderer(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!parseOptions(args, options, error)) {
        errorLine(error + " (see --help)");
        return 2;
    }
    if (options.help) return printAnswer(usageText());
    if (options.version) return printAnswer(std::string(kVersionText) + "\n");

    Song song;
    if (!options.input.empty()) {
        std::vector<uint8_t> data;
        if (!readWholeFile(options.input, data, error)) {
            errorLine(error);
            return 1;
        }
        if (!parseMidi(data.data(), data.size(), song, error)) {
            errorLine("'" + options.input + "': " + error);
            return 1;
        }
    } else {
        song = demoPhrase();
    }
    Timeline timeline;
    if (!buildTimeline(song, options.rate, timeline, error)) {
        errorLine(error);
        return 1;
    }
    const int64_t totalFrames = timeline.endFrame + options.tailFrames();
    const SampleFormat format = options.floatOutput ? SampleFormat::Float32 : SampleFormat::Pcm16;
    if (uint64_t(totalFrames) > maxWavFrames(format)) {
        errorLine("the render would exceed the 4 GiB size limit of a WAV file");
        return 1;
    }

    // The instrument is ready, files included, before the output file is begun, so that a
    // refused patch or bank leaves nothing behind.
    auto instrument = std::make_unique<Instrument>(&hostCallback);
    if (!instrument->engineReady()) {
        errorLine("the instrument could not be set up (out of memory)");
        return 1;
    }
    if (!prepareInstrument(*instrument, options, error)) {
        errorLine(error);
        return 1;
    }

    const std::string target = !options.output.empty() ? options.output
                               : options.input.empty() ? std::string(kDemoOutput)
                                                       : defaultOutputFor(options.input);
    OutputFile out;
    if (!out.open(target, error)) {
        errorLine(error);
        return 1;
    }

    const bool showProgress = !options.quiet && sys::stderrIsTerminal();
    const auto started = std::chrono::steady_clock::now();
    int shownPercent = -1;
    bool progressShown = false;
    ProgressFunction progress = [&](int64_t done, int64_t total) {
        if (!showProgress || total <= 0) return;
        const int percent = int(done * 100 / total);
        if (percent == shownPercent) return;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!progressShown && elapsed < 0.5) return; // short renders stay quiet
        shownPercent = percent;
        progressShown = true;
        std::fprintf(stderr, "\rrendering %s: %3d%%", target.c_str(), percent);
        std::fflush(stderr);
    };

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    RenderStats stats;
    const bool rendered = renderToWav(*instrument, timeline, totalFrames, options, out, stats, error, progress);
    if (progressShown) {
        std::fprintf(stderr, "\r%*s\r", int(target.size()) + 16, "");
        std::fflush(stderr);
    }
    if (!rendered || !out.commit(error)) {
        out.abandon();
        errorLine(error);
        return stopRequested ? 130 : 1;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!options.quiet) {
        const double seconds = double(stats.frames) / options.rate;
        char peakText[32];
        if (stats.peak > 0.0) std::snprintf(peakText, sizeof peakText, "%.2f dBFS", 20.0 * std::log10(stats.peak));
        else std::snprintf(peakText, sizeof peakText, "-inf dBFS");
        std::printf("%s: %lld frames, %.3f s at %u Hz, peak %s, %.1fx real time\n", target.c_str(),
                    static_cast<long long>(stats.frames), seconds, options.rate, peakText,
                    seconds / std::max(elapsed, 1e-6));
        if (std::fflush(stdout) != 0) return 1;
    }
    return 0;
}

} // namespace vl::render
