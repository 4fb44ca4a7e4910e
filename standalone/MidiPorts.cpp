#include "standalone/MidiPorts.h"

#include <cstring>

namespace vl {

MidiPorts::MidiPorts(int inputChannel, int outputChannel, int sampleRate, int blockFrames)
    : inChannel(inputChannel), outChannel(outputChannel), samplesPerMillisecond(sampleRate / 1000),
      frames(blockFrames) {
    std::memset(eventLists, 0, sizeof eventLists);
    std::memset(eventPool, 0, sizeof eventPool);
    activeList = &eventLists[0];
}

MidiPorts::~MidiPorts() = default;

void MidiPorts::inputOpened(std::uint32_t nowMs) { startTime.store(nowMs, std::memory_order_relaxed); }

bool MidiPorts::accepts(std::uint32_t message, int inputChannel) {
    if (inputChannel != -1 && static_cast<int>(message & 0x0Fu) != inputChannel) return false;
    switch (message & 0xF0u) {
    case 0x80:
    case 0x90:
    case 0xB0:
    case 0xC0:
    case 0xE0:
        return true;
    default:
        return false;
    }
}

std::int32_t MidiPorts::offsetFor(std::uint32_t timeMs, std::uint32_t listStartMs, std::int32_t samplesPerMs,
                                  std::int32_t blockFrames) {
    const std::uint32_t delta = (timeMs - listStartMs) * static_cast<std::uint32_t>(samplesPerMs);
    if (blockFrames <= 1) return 0;
    if (delta >= static_cast<std::uint32_t>(blockFrames)) return blockFrames - 1;
    return delta == 0 ? 1 : static_cast<std::int32_t>(delta);
}

bool MidiPorts::receive(std::uint32_t message, std::uint32_t timeMs) {
    if (!accepts(message, inChannel)) return false;
    return queue(message, 0, true, timeMs);
}

bool MidiPorts::receiveAtFrame(std::uint32_t message, std::int32_t frame) {
    if (!accepts(message, inChannel)) return false;
    return queue(message, frame < 0 ? 0 : frame, false, 0);
}

bool MidiPorts::queue(std::uint32_t message, std::int32_t frame, bool fromTimeStamp, std::uint32_t timeMs) {
    const std::uint32_t end = waitingEnd.load(std::memory_order_relaxed);
    if (end - waitingStart.load(std::memory_order_acquire) >= std::uint32_t(kPoolSize)) return false;
    waiting[end % kPoolSize] = Waiting{message, frame, timeMs, fromTimeStamp};
    waitingEnd.store(end + 1, std::memory_order_release);
    return true;
}

void MidiPorts::addToActiveList(const Waiting& w) {
    VstMidiEvent& event = eventPool[poolIndex];
    poolIndex = (poolIndex + 1) % kPoolSize;
    std::memset(&event, 0, sizeof event);
    event.type = kVstMidiType;
    // The size that the program's events have always carried: the record's 32 bytes
    // less its type and size fields.
    event.byteSize = 24;
    event.midiData[0] = static_cast<char>(w.message & 0xFFu);
    event.midiData[1] = static_cast<char>((w.message >> 8) & 0xFFu);
    event.midiData[2] = static_cast<char>((w.message >> 16) & 0xFFu);
    const std::int32_t block = frames.load(std::memory_order_relaxed);
    event.deltaFrames = w.fromTimeStamp ? offsetFor(w.timeMs, static_cast<std::uint32_t>(activeList->reserved),
                                                    samplesPerMillisecond, block)
                                        : (w.frame >= block ? (block > 0 ? block - 1 : 0) : w.frame);
    activeList->events[activeList->numEvents] = reinterpret_cast<VstEvent*>(&event);
    activeList->numEvents = (activeList->numEvents + 1) % kListCapacity;
}

VstEvents* MidiPorts::exchangeLists(std::uint32_t nowMs) {
    // What arrived since the last exchange belongs to the list that was active meanwhile.
    const std::uint32_t end = waitingEnd.load(std::memory_order_acquire);
    std::uint32_t start = waitingStart.load(std::memory_order_relaxed);
    for (; start != end; ++start) addToActiveList(waiting[start % kPoolSize]);
    waitingStart.store(start, std::memory_order_release);

    EventList* filled = activeList;
    activeIndex ^= 1;
    activeList = &eventLists[activeIndex];
    activeList->numEvents = 0;
    activeList->reserved = static_cast<VstIntPtr>(
        static_cast<std::uint32_t>(nowMs - startTime.load(std::memory_order_relaxed)));
    return asVstEvents(*filled);
}

void MidiPorts::setBlockFrames(int blockFrames) { frames.store(blockFrames, std::memory_order_relaxed); }

int MidiPorts::blockFrames() const { return frames.load(std::memory_order_relaxed); }

void MidiPorts::sendControlChange(int data1, int data2) {
    if (outChannel < 0 || outChannel > 15) return;
    sendShortMessage((0xB0u | static_cast<std::uint32_t>(outChannel)) |
                     (static_cast<std::uint32_t>(data1 & 0xFF) << 8) |
                     (static_cast<std::uint32_t>(data2 & 0xFF) << 16));
}

void MidiPorts::sendShortMessage(std::uint32_t) {}

} // namespace vl
