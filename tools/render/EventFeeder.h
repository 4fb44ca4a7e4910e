#pragma once
// Hands a timeline's events to the instrument the way a host does: per render call,
// the events of that call's frames as VstMidiEvent records with their offsets inside it.
#include <cstdint>
#include <vector>

#include "tools/render/Timeline.h"
#include "vst/VstAbi.h"

namespace vl::render {

class EventFeeder {
public:
    // At most this many events go into one list; a block holding more is shortened.
    static constexpr int kMaxEventsPerCall = 4096;

    explicit EventFeeder(const std::vector<TimedEvent>& events);

    // Prepares the render call that starts at frame start and covers at most maxFrames
    // frames. Returns its length (1..maxFrames), or 0 if more than kMaxEventsPerCall
    // events share one frame.
    int32_t prepare(int64_t start, int32_t maxFrames);

    // The list for the prepared call; null when it has no events.
    VstEvents* list();
    int count() const { return count_; }
    // Events not yet handed out.
    std::size_t remaining() const { return events_.size() - next_; }

private:
    const std::vector<TimedEvent>& events_;
    std::size_t next_ = 0;
    int count_ = 0;
    std::vector<VstMidiEvent> records_;
    std::vector<unsigned char> listStorage_; // VstEvents header plus pointer array
};

} // namespace vl::render
