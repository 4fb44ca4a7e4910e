#include "standalone/linux/AlsaOutput.h"

#include <alsa/asoundlib.h>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <pthread.h>

#include "standalone/AudioBlocks.h"

namespace vl::linuxapp {
namespace {

// alsa-lib reports its failures on stderr itself; the program says what failed in one line.
void quiet(const char*, int, const char*, int, const char*, ...) {}

// Full scale is 2^31; the float's 24 significant bits are kept, louder samples are limited.
std::int32_t toInt32(float x) {
    const double scaled = double(x) * 2147483648.0;
    if (!(scaled > -2147483648.0)) return INT32_MIN;
    if (scaled >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(scaled);
}

} // namespace

std::unique_ptr<AlsaOutput> AlsaOutput::open(const std::string& device, int wantedRate, int latencyMs,
                                             std::string& error) {
    std::unique_ptr<AlsaOutput> self(new AlsaOutput);
    snd_lib_error_set_handler(&quiet);
    int rc = snd_pcm_open(&self->pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (rc < 0) {
        self->pcm = nullptr;
        error = "cannot open the ALSA device '" + device + "': " + snd_strerror(rc);
        return nullptr;
    }
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned int actualRate = static_cast<unsigned int>(wantedRate);
    auto fail = [&](const char* what) {
        error = std::string("the ALSA device '") + device + "' " + what + ": " + snd_strerror(rc);
        return nullptr;
    };
    if ((rc = snd_pcm_hw_params_any(self->pcm, hw)) < 0) return fail("has no configuration");
    if ((rc = snd_pcm_hw_params_set_access(self->pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return fail("cannot take interleaved samples");
    if (snd_pcm_hw_params_test_format(self->pcm, hw, SND_PCM_FORMAT_FLOAT_LE) == 0)
        self->sampleFormat = Format::Float32;
    else if (snd_pcm_hw_params_test_format(self->pcm, hw, SND_PCM_FORMAT_S32_LE) == 0)
        self->sampleFormat = Format::Int32;
    const snd_pcm_format_t format = self->sampleFormat == Format::Float32 ? SND_PCM_FORMAT_FLOAT_LE
                                    : self->sampleFormat == Format::Int32 ? SND_PCM_FORMAT_S32_LE
                                                                          : SND_PCM_FORMAT_S16_LE;
    if ((rc = snd_pcm_hw_params_set_format(self->pcm, hw, format)) < 0) return fail("cannot play 16-bit samples");
    if ((rc = snd_pcm_hw_params_set_channels(self->pcm, hw, 2)) < 0) return fail("cannot play stereo");
    if ((rc = snd_pcm_hw_params_set_rate_near(self->pcm, hw, &actualRate, nullptr)) < 0)
        return fail("refuses the sample rate");
    const std::int32_t blockFrames = framesInBytes(blockBytesFor(actualRate, static_cast<std::uint32_t>(latencyMs)));
    if (blockFrames <= 0) {
        error = "the latency gives an empty block";
        return nullptr;
    }
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(blockFrames);
    snd_pcm_uframes_t buffer = period * kRingBlocks;
    snd_pcm_hw_params_set_period_size_near(self->pcm, hw, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(self->pcm, hw, &buffer);
    if ((rc = snd_pcm_hw_params(self->pcm, hw)) < 0) return fail("cannot be configured");
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    self->rate = static_cast<int>(actualRate);
    self->frames = blockFrames;
    self->bufferFrames = static_cast<long>(buffer);
    if (self->sampleFormat == Format::Int16) {
        self->block.assign(2 * std::size_t(blockFrames), 0);
    } else {
        self->left.assign(std::size_t(blockFrames), 0.0f);
        self->right.assign(std::size_t(blockFrames), 0.0f);
        self->interleaved.assign(2 * std::size_t(blockFrames), 0);
    }
    return self;
}

AlsaOutput::~AlsaOutput() {
    stop();
    if (pcm) snd_pcm_close(pcm);
}

bool AlsaOutput::start() {
    if (!pcm || running.load()) return pcm != nullptr;
    running.store(true);
    try {
        thread = std::thread([this] {
            try {
                run();
            } catch (...) {
                // The output falls silent; stop() still joins.
            }
        });
    } catch (...) {
        running.store(false);
        return false;
    }
    return true;
}

void AlsaOutput::stop() {
    running.store(false);
    if (thread.joinable()) thread.join();
    if (pcm) snd_pcm_drop(pcm);
}

const unsigned char* AlsaOutput::renderInterleaved() {
    if (sampleFormat == Format::Int16) {
        renderBlock(block.data(), frames);
        return reinterpret_cast<const unsigned char*>(block.data());
    }
    renderBlock(left.data(), right.data(), frames);
    for (int i = 0; i < frames; ++i) {
        if (sampleFormat == Format::Float32) {
            std::memcpy(&interleaved[2 * std::size_t(i)], &left[std::size_t(i)], 4);
            std::memcpy(&interleaved[2 * std::size_t(i) + 1], &right[std::size_t(i)], 4);
        } else {
            interleaved[2 * std::size_t(i)] = toInt32(left[std::size_t(i)]);
            interleaved[2 * std::size_t(i) + 1] = toInt32(right[std::size_t(i)]);
        }
    }
    return reinterpret_cast<const unsigned char*>(interleaved.data());
}

void AlsaOutput::run() {
    // Ask for real-time scheduling; without the right to it the thread runs as it is.
    sched_param param{};
    param.sched_priority = 70;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    long long written = 0;
    snd_pcm_prepare(pcm);
    while (running.load(std::memory_order_relaxed)) {
        const unsigned char* data = renderInterleaved();
        const std::size_t frameBytes = sampleFormat == Format::Int16 ? 4 : 8;
        snd_pcm_sframes_t remaining = frames;
        while (remaining > 0 && running.load(std::memory_order_relaxed)) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, data, static_cast<snd_pcm_uframes_t>(remaining));
            if (n == -EAGAIN) continue;
            if (n < 0) {
                n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
                if (n < 0) {
                    // The device is gone: keep the clock going so that MIDI and recording
                    // go on, silently.
                    std::this_thread::sleep_for(std::chrono::milliseconds(1000 * remaining / rate));
                    break;
                }
                continue;
            }
            data += frameBytes * std::size_t(n);
            remaining -= n;
        }
        written += frames;
        // Never more than the device's buffer ahead of the clock.
        const auto due = started + std::chrono::microseconds((written - bufferFrames) * 1000000LL / rate);
        if (due > Clock::now()) std::this_thread::sleep_until(due);
    }
}

} // namespace vl::linuxapp
