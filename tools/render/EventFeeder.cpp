#include "tools/render/EventFeeder.h"

#include <cstddef>
#include <cstring>

namespace vl::render {

EventFeeder::EventFeeder(const std::vector<TimedEvent>& events) : events_(events) {
    records_.resize(kMaxEventsPerCall);
    listStorage_.resize(offsetof(VstEvents, events) + sizeof(VstEvent*) * kMaxEventsPerCall);
}

int32_t EventFeeder::prepare(int64_t start, int32_t maxFrames) {
    count_ = 0;
    // Events before start cannot occur (the caller renders every frame in order), but
    // a stray one would be delivered at offset 0 rather than lost.
    std::size_t end = next_;
    const int64_t stop = start + maxFrames;
    while (end < events_.size() && events_[end].frame < stop) ++end;
    int32_t length = maxFrames;
    if (end - next_ > std::size_t(kMaxEventsPerCall)) {
        const int64_t cut = events_[next_ + kMaxEventsPerCall].frame; // first event left out
        if (cut <= start) return 0;
        length = int32_t(cut - start);
        end = next_;
        while (end < events_.size() && events_[end].frame < cut) ++end;
    }
    VstEvents* header = reinterpret_cast<VstEvents*>(listStorage_.data());
    header->reserved = 0;
    VstEvent** pointers = reinterpret_cast<VstEvent**>(listStorage_.data() + offsetof(VstEvents, events));
    for (std::size_t i = next_; i < end; ++i, ++count_) {
        VstMidiEvent& m = records_[std::size_t(count_)];
        std::memset(&m, 0, sizeof m);
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        const int64_t offset = events_[i].frame - start;
        m.deltaFrames = VstInt32(offset < 0 ? 0 : offset);
        for (int b = 0; b < 3; ++b) m.midiData[b] = char(events_[i].bytes[b]);
        m.midiData[3] = 0;
        pointers[count_] = reinterpret_cast<VstEvent*>(&m);
    }
    header->numEvents = count_;
    next_ = end;
    return length;
}

VstEvents* EventFeeder::list() { return count_ > 0 ? reinterpret_cast<VstEvents*>(listStorage_.data()) : nullptr; }

} // namespace vl::render
