#pragma once
// MIDI input of the standalone program: the double-buffered event lists between the
// system's MIDI input and the audio thread, and the output channel's sink.
//
// The platform's input (a Windows MIDI callback, the ALSA sequencer, a JACK MIDI port)
// feeds short messages in; each accepted one becomes a VstMidiEvent with a sample offset
// inside the coming block and is appended to the active list. Once per block the audio
// thread takes the active list for the instrument and makes the other one active.
//
// Offsets come either from millisecond time stamps (relative to the start of input, as
// Windows and the sequencer deliver them) or directly from a frame position in the block
// about to be rendered (JACK).
//
// The input thread never touches the lists: it puts each accepted message into a
// lock-free single-producer ring, and the audio thread moves the waiting messages into
// the active list when it exchanges the lists. Neither side ever waits for the other.
// One input thread at a time feeds a MidiPorts (the audio thread itself, for JACK).
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "vst/VstAbi.h"

namespace vl {

class MidiPorts {
public:
    static constexpr int kListCapacity = 4096;
    static constexpr int kPoolSize = 8192;

    // inputChannel: -1 = all, 0..15 = one channel. outputChannel: -1 = no output.
    MidiPorts(int inputChannel, int outputChannel, int sampleRate, int blockFrames);
    virtual ~MidiPorts();
    MidiPorts(const MidiPorts&) = delete;
    MidiPorts& operator=(const MidiPorts&) = delete;

    // ---- Input side (the system's MIDI thread) ----

    // The input opened at nowMs of the program's millisecond clock; time stamps count
    // from here.
    void inputOpened(std::uint32_t nowMs);
    // A short message (status in the low byte, then data 1 and data 2) stamped timeMs
    // after the input opened. Answers true when it was queued (false when it does not
    // pass the filter, or when kPoolSize messages are already waiting for the audio thread).
    bool receive(std::uint32_t message, std::uint32_t timeMs);
    // A short message at frame position frame of the block about to be rendered.
    bool receiveAtFrame(std::uint32_t message, std::int32_t frame);

    // Whether a message passes the channel filter and is of a kind the instrument plays:
    // note off and on, control change, program change, pitch bend.
    static bool accepts(std::uint32_t message, int inputChannel);

    // ---- Audio thread ----

    // Hands back the list filled since the last call and makes the other one active,
    // empty and starting at nowMs. The returned list stays untouched until the next call.
    VstEvents* exchangeLists(std::uint32_t nowMs);

    // Block length used for the offsets (JACK may change its period while running).
    void setBlockFrames(int frames);
    int blockFrames() const;

    // ---- Output ----

    int inputChannel() const { return inChannel; }
    int outputChannel() const { return outChannel; }
    // Control change on the output channel (nothing when it is -1).
    void sendControlChange(int data1, int data2);

    // Offset in frames of a message stamped timeMs in a list that started at listStartMs:
    // (timeMs - listStartMs) x samples per millisecond in 32-bit unsigned arithmetic;
    // blockFrames - 1 when that reaches the block's end (also for stamps older than the
    // list, which wrap), 1 for 0.
    static std::int32_t offsetFor(std::uint32_t timeMs, std::uint32_t listStartMs, std::int32_t samplesPerMs,
                                  std::int32_t blockFrames);

protected:
    // The platform's output device; the base class has none.
    virtual void sendShortMessage(std::uint32_t message);

private:
    struct EventList {
        VstInt32 numEvents;
        VstIntPtr reserved; // milliseconds since the input opened when the list became active
        VstEvent* events[kListCapacity];
    };

    // A message on its way from the input thread to the audio thread.
    struct Waiting {
        std::uint32_t message;
        std::int32_t frame;
        std::uint32_t timeMs;
        bool fromTimeStamp;
    };

    bool queue(std::uint32_t message, std::int32_t frame, bool fromTimeStamp, std::uint32_t timeMs);
    void addToActiveList(const Waiting& waiting);
    static VstEvents* asVstEvents(EventList& list) { return reinterpret_cast<VstEvents*>(&list); }

    // The ring: the input thread writes at waitingEnd, the audio thread reads from
    // waitingStart; both count up and wrap at 2^32.
    Waiting waiting[kPoolSize];
    std::atomic<std::uint32_t> waitingStart{0};
    std::atomic<std::uint32_t> waitingEnd{0};

    int activeIndex = 0;
    EventList eventLists[2];
    VstMidiEvent eventPool[kPoolSize];
    int poolIndex = 0;
    int inChannel;
    int outChannel;
    std::int32_t samplesPerMillisecond;
    std::atomic<std::int32_t> frames;
    std::atomic<std::uint32_t> startTime{0};
    EventList* activeList;
};

static_assert(offsetof(VstEvents, events) == 2 * sizeof(VstIntPtr));

} // namespace vl
