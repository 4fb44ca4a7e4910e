#include "standalone/win32/AudioOutputStream.h"

#include <mmsystem.h>
#include <dsound.h>

#include <cstring>

#include "standalone/AudioBlocks.h"

namespace vl {

namespace {

constexpr DWORD kFrameBytes = kBytesPerFrame;
constexpr DWORD kStopWaitMs = 5000;
constexpr int kMaxDevices = 64;

WAVEFORMATEX sampleFormat(int sampleRate) {
    WAVEFORMATEX format;
    std::memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    format.nAvgBytesPerSec = static_cast<DWORD>(sampleRate) * kFrameBytes;
    format.nBlockAlign = static_cast<WORD>(kFrameBytes);
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return format;
}

struct DeviceList {
    GUID guids[kMaxDevices];
    bool hasGuid[kMaxDevices];
    std::string descriptions[kMaxDevices];
    int count = 0;
};

BOOL CALLBACK collectDevice(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* list = static_cast<DeviceList*>(context);
    if (list->count >= kMaxDevices) return FALSE;
    const int i = list->count++;
    list->hasGuid[i] = guid != nullptr;
    if (guid) list->guids[i] = *guid;
    try {
        list->descriptions[i] = description ? description : "";
    } catch (...) {
        list->descriptions[i].clear();
    }
    return TRUE;
}

template <class T>
void releaseInterface(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

} // namespace

std::vector<std::string> listAudioDevices() {
    std::vector<std::string> names;
    DeviceList list;
    if (FAILED(DirectSoundEnumerateA(collectDevice, &list))) return names;
    for (int i = 0; i < list.count; ++i) names.push_back(list.descriptions[i]);
    return names;
}

AudioOutputStream::AudioOutputStream(HWND window, int deviceIndex, int latencyMs, bool primary, int sampleRate)
    : primaryMode(primary), rate(sampleRate) {
    DeviceList list;
    if (FAILED(DirectSoundEnumerateA(collectDevice, &list))) return;
    // A position beyond the list (or a negative one) selects the default device.
    const GUID* guid = nullptr;
    if (deviceIndex >= 0 && deviceIndex < list.count && list.hasGuid[deviceIndex]) guid = &list.guids[deviceIndex];

    if (FAILED(DirectSoundCreate(guid, &device, nullptr))) {
        device = nullptr;
        return;
    }
    if (FAILED(device->SetCooperativeLevel(window, primaryMode ? DSSCL_WRITEPRIMARY : DSSCL_PRIORITY))) return;

    DSBUFFERDESC description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_STICKYFOCUS;
    if (FAILED(device->CreateSoundBuffer(&description, &primaryBuffer, nullptr))) {
        primaryBuffer = nullptr;
        return;
    }
    WAVEFORMATEX format = sampleFormat(sampleRate);
    primaryBuffer->SetFormat(&format); // a device that keeps its own format still plays

    blockBytes = blockBytesFor(sampleRate > 0 ? static_cast<std::uint32_t>(sampleRate) : 0u,
                               latencyMs > 0 ? static_cast<std::uint32_t>(latencyMs) : 0u);
    if (primaryMode) {
        DSBCAPS caps;
        std::memset(&caps, 0, sizeof caps);
        caps.dwSize = sizeof caps;
        ringBytes = SUCCEEDED(primaryBuffer->GetCaps(&caps)) ? caps.dwBufferBytes : 0;
        blockBytes = primaryBlockBytes(blockBytes, ringBytes);
    } else {
        ringBytes = normalRingBytes(blockBytes);
        if (ringBytes != 0) {
            DSBUFFERDESC secondary;
            std::memset(&secondary, 0, sizeof secondary);
            secondary.dwSize = sizeof secondary;
            secondary.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
            secondary.dwBufferBytes = ringBytes;
            secondary.lpwfxFormat = &format;
            if (FAILED(device->CreateSoundBuffer(&secondary, &secondaryBuffer, nullptr))) secondaryBuffer = nullptr;
        }
    }
    framesPerBlock = framesInBytes(blockBytes);

    IDirectSoundBuffer* playing = primaryMode ? primaryBuffer : secondaryBuffer;
    if (ringBytes == 0 || blockBytes == 0 || playing == nullptr) return;
    blockBuffer = static_cast<std::uint8_t*>(LocalAlloc(LPTR, blockBytes));
    if (!blockBuffer) return;
    thread = CreateThread(nullptr, 0, threadEntry, this, CREATE_SUSPENDED, nullptr);
}

AudioOutputStream::~AudioOutputStream() { stopStream(); }

void AudioOutputStream::startStream(BlockCallback callback) {
    if (!thread || started) return;
    blockCallback = callback;
    started = true;
    ResumeThread(thread);
}

bool AudioOutputStream::start() {
    startStream(renderBlock);
    return hasThread();
}

DWORD WINAPI AudioOutputStream::threadEntry(LPVOID self) { return static_cast<AudioOutputStream*>(self)->run(); }

bool AudioOutputStream::readCursor(IDirectSoundBuffer* buffer, std::uint32_t& position) const {
    DWORD play = 0;
    DWORD write = 0;
    if (FAILED(buffer->GetCurrentPosition(&play, &write))) return false;
    position = play;
    return true;
}

DWORD AudioOutputStream::run() {
    IDirectSoundBuffer* buffer = primaryMode ? primaryBuffer : secondaryBuffer;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    if (stopRequested.load()) return kExitStopped;

    HRESULT played = buffer->Play(0, 0, DSBPLAY_LOOPING);
    if (played == DSERR_BUFFERLOST) {
        if (FAILED(buffer->Restore())) return kExitLost;
        buffer->Play(0, 0, DSBPLAY_LOOPING);
    }

    std::uint32_t cursor = 0;
    if (!readCursor(buffer, cursor)) return kExitFailed;
    writePosition = (cursor + blockBytes) % ringBytes;

    for (;;) {
        if (blockCallback) {
            blockCallback(reinterpret_cast<std::int16_t*>(blockBuffer), framesPerBlock);
        } else {
            std::memset(blockBuffer, 0, blockBytes);
        }

        // Wait until the play cursor has left the whole block at the write position.
        std::uint32_t position = 0;
        if (!readCursor(buffer, position)) return kExitFailed;
        std::uint64_t p = position;
        if (p < writePosition) p += ringBytes;
        const std::uint64_t target = std::uint64_t(writePosition) + blockBytes;
        while (p < target) {
            Sleep(1);
            if (stopRequested.load()) return kExitStopped;
            DWORD status = 0;
            if (FAILED(buffer->GetStatus(&status))) return kExitFailed;
            if (status & DSBSTATUS_BUFFERLOST) {
                if (FAILED(buffer->Restore())) return kExitLost;
                if (FAILED(buffer->GetStatus(&status))) return kExitFailed;
            }
            if (!(status & DSBSTATUS_PLAYING)) return kExitStopped;
            if (!readCursor(buffer, position)) return kExitFailed;
            p = position;
            if (p < writePosition) p += ringBytes;
        }

        void* first = nullptr;
        void* second = nullptr;
        DWORD firstBytes = 0;
        DWORD secondBytes = 0;
        if (FAILED(buffer->Lock(writePosition, blockBytes, &first, &firstBytes, &second, &secondBytes, 0))) {
            return kExitFailed;
        }
        // The regions never add up to more than the block that was asked for.
        if (firstBytes > blockBytes) firstBytes = blockBytes;
        if (secondBytes > blockBytes - firstBytes) secondBytes = blockBytes - firstBytes;
        if (first && firstBytes) std::memcpy(first, blockBuffer, firstBytes);
        if (second && secondBytes) std::memcpy(second, blockBuffer + firstBytes, secondBytes);
        if (FAILED(buffer->Unlock(first, firstBytes, second, secondBytes))) return kExitFailed;
        writePosition = static_cast<std::uint32_t>((std::uint64_t(writePosition) + firstBytes + secondBytes) %
                                                   ringBytes);
        if (stopRequested.load()) return kExitStopped;
    }
}

void AudioOutputStream::stopStream() {
    if (thread) {
        stopRequested.store(true);
        IDirectSoundBuffer* buffer = secondaryBuffer ? secondaryBuffer : primaryBuffer;
        if (buffer) buffer->Stop();
        if (!started) {
            // Never ran: let it start only to see the stop request and end.
            ResumeThread(thread);
        }
        if (WaitForSingleObject(thread, kStopWaitMs) != WAIT_OBJECT_0) TerminateThread(thread, kExitTerminated);
        DWORD code = STILL_ACTIVE;
        if (GetExitCodeThread(thread, &code)) exitCode = code;
        CloseHandle(thread);
        thread = nullptr;
    }
    releaseInterface(secondaryBuffer);
    releaseInterface(primaryBuffer);
    releaseInterface(device);
    if (blockBuffer) {
        LocalFree(blockBuffer);
        blockBuffer = nullptr;
    }
}

} // namespace vl
