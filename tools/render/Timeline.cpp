#include "tools/render/Timeline.h"

#include <limits>

namespace vl::render {

bool frameAt(uint64_t microTicks, uint32_t division, uint32_t rate, int64_t& frame) {
    // floor(N x rate / D) = q x rate + floor(r x rate / D) with N = q x D + r. D is below
    // 2^35 and rate below 2^32, so r x rate stays far inside 64 bits when D x rate does.
    const uint64_t d = uint64_t(division) * 1000000u;
    const uint64_t q = microTicks / d;
    const uint64_t r = microTicks % d;
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max());
    if (rate != 0 && q > limit / rate) return false;
    // r < d < 2^35 and rate <= 192000 < 2^18 in practice; guard the general case too.
    if (rate != 0 && r > std::numeric_limits<uint64_t>::max() / rate) return false;
    const uint64_t whole = q * rate;
    const uint64_t part = r * rate / d;
    if (whole > limit - part) return false;
    frame = int64_t(whole + part);
    return true;
}

bool buildTimeline(const Song& song, uint32_t rate, Timeline& timeline, std::string& error) {
    timeline = Timeline{};
    uint64_t microTicks = 0;
    uint64_t lastTick = 0;
    uint32_t tempo = kDefaultTempo;
    int64_t frame = 0;
    timeline.events.reserve(song.events.size());
    for (const SongEvent& e : song.events) {
        if (e.tick != lastTick) {
            const uint64_t ticks = e.tick - lastTick;
            if (tempo != 0 && ticks > (std::numeric_limits<uint64_t>::max() - microTicks) / tempo) {
                error = "MIDI file is too long to render";
                return false;
            }
            microTicks += ticks * tempo;
            lastTick = e.tick;
            if (!frameAt(microTicks, song.division, rate, frame)) {
                error = "MIDI file is too long to render";
                return false;
            }
        }
        timeline.endFrame = frame;
        if (e.kind == SongEvent::Kind::Tempo) {
            tempo = e.tempo;
        } else if (e.kind == SongEvent::Kind::Channel) {
            TimedEvent t;
            t.frame = frame;
            for (int i = 0; i < e.size && i < 3; ++i) t.bytes[i] = e.bytes[i];
            timeline.events.push_back(t);
        }
    }
    return true;
}

} // namespace vl::render
