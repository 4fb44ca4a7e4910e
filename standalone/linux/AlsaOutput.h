#pragma once
// Audio through an ALSA PCM device: 16-bit stereo, interleaved, one block per period,
// written from a thread of the output's own. The block length follows the latency as on
// every system (whole frames). Devices that take data faster than they play it (the
// null device) are held to the sample rate, so the program never runs ahead of time.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "standalone/StandaloneApp.h"

typedef struct _snd_pcm snd_pcm_t;

namespace vl::linuxapp {

class AlsaOutput : public AudioOutput {
public:
    // Opens and configures device at rate (the device's nearest rate is taken) with
    // blocks of latencyMs. Null with a message on failure.
    static std::unique_ptr<AlsaOutput> open(const std::string& device, int rate, int latencyMs, std::string& error);
    ~AlsaOutput() override;

    bool start() override;
    void stop() override;
    int sampleRate() const override { return rate; }
    int blockFrames() const override { return frames; }

private:
    AlsaOutput() = default;
    void run();

    snd_pcm_t* pcm = nullptr;
    int rate = 0;
    int frames = 0;
    long bufferFrames = 0;
    std::vector<std::int16_t> block;
    std::thread thread;
    std::atomic<bool> running{false};
};

} // namespace vl::linuxapp
