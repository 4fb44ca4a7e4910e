#pragma once
// DirectSound output: one device, a looping buffer of whole blocks, and a worker
// thread of its own that asks a block callback for 16-bit stereo frames and copies them
// into the part of the buffer that the play cursor has just left.
//
// In normal mode the looping buffer is a secondary buffer of five blocks; in primary
// mode the frames go straight into the device's primary buffer, whose size the device
// decides (the block is then at most half of it).
//
// A stream whose set-up failed at any step has no thread: starting it does nothing and
// the program stays silent.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "standalone/StandaloneApp.h"

struct IDirectSound;
struct IDirectSoundBuffer;

namespace vl {

// Fills frames interleaved stereo 16-bit frames (4 bytes each).
using BlockCallback = void (*)(std::int16_t* samples, std::int32_t frames);

// Descriptions of the DirectSound output devices in the system's order (the first is
// the system's default device). Empty when the enumeration fails.
std::vector<std::string> listAudioDevices();

class AudioOutputStream : public AudioOutput {
public:
    // Exit codes of the worker thread.
    static constexpr DWORD kExitStopped = 0x1234; // playback was stopped: the normal end
    static constexpr DWORD kExitFailed = 0xFFFF; // status, lock or unlock failed
    static constexpr DWORD kExitLost = 0xFFFE; // a lost buffer could not be restored
    static constexpr DWORD kExitTerminated = 0x4321;

    AudioOutputStream(HWND cooperativeWindow, int deviceIndex, int latencyMs, bool primary, int sampleRate);
    ~AudioOutputStream() override; // stopStream

    AudioOutputStream(const AudioOutputStream&) = delete;
    AudioOutputStream& operator=(const AudioOutputStream&) = delete;

    // Stores the callback and lets the worker thread run (nothing without a thread).
    void startStream(BlockCallback callback);
    // Stops playback, ends the thread (terminated after 5 s) and releases everything.
    // Safe to call more than once.
    void stopStream();

    // AudioOutput: the program's renderBlock as the block callback.
    bool start() override;
    void stop() override { stopStream(); }
    int sampleRate() const override { return rate; }
    int blockFrames() const override { return framesPerBlock; }

    bool hasThread() const { return thread != nullptr; }
    bool isPrimaryMode() const { return primaryMode; }
    std::uint32_t getRingBytes() const { return ringBytes; }
    std::uint32_t getBlockBytes() const { return blockBytes; }
    // The worker's exit code once stopStream has ended it (STILL_ACTIVE before).
    DWORD getExitCode() const { return exitCode; }

private:
    static DWORD WINAPI threadEntry(LPVOID self);
    DWORD run();
    bool readCursor(IDirectSoundBuffer* buffer, std::uint32_t& position) const;

    HANDLE thread = nullptr;
    IDirectSound* device = nullptr;
    IDirectSoundBuffer* secondaryBuffer = nullptr;
    IDirectSoundBuffer* primaryBuffer = nullptr;
    bool primaryMode = false;
    std::uint8_t* blockBuffer = nullptr;
    std::uint32_t ringBytes = 0;
    std::uint32_t blockBytes = 0;
    std::uint32_t writePosition = 0;
    BlockCallback blockCallback = nullptr;
    bool started = false;
    std::atomic<bool> stopRequested{false};
    DWORD exitCode = STILL_ACTIVE;
    int rate;
    std::int32_t framesPerBlock = 0;
};

} // namespace vl
