#pragma once
// Audio through an ALSA PCM device: stereo, interleaved, one block per period, written
// from a thread of the output's own. A device that takes float samples gets the
// instrument's float output, one that takes 32-bit integers gets it scaled to 32 bits, and
// one that only takes 16 bits gets the 16-bit samples. The block length follows the latency as on
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

    enum class Format { Float32, Int32, Int16 };
    Format format() const { return sampleFormat; }

private:
    AlsaOutput() = default;
    void run();
    // Renders one block into the form the device takes; answers its bytes.
    const unsigned char* renderInterleaved();

    snd_pcm_t* pcm = nullptr;
    int rate = 0;
    int frames = 0;
    long bufferFrames = 0;
    Format sampleFormat = Format::Int16;
    std::vector<std::int16_t> block; // 16-bit: interleaved
    std::vector<float> left, right; // float and 32-bit: the instrument's output
    std::vector<std::int32_t> interleaved; // float (as bits) and 32-bit: what is written
    std::thread thread;
    std::atomic<bool> running{false};
};

} // namespace vl::linuxapp
