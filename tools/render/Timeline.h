#pragma once
// Turns a song's ticks into sample frames at a given rate. An event at t seconds is
// placed at frame trunc(t x rate), computed exactly in integers from the ticks, the
// tempi and the rate, so an event that falls exactly on a frame lands on that frame.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/render/MidiFile.h"

namespace vl::render {

struct TimedEvent {
    int64_t frame = 0;
    uint8_t bytes[3] = {0, 0, 0}; // channel message; a 2-byte message has bytes[2] == 0
};

struct Timeline {
    std::vector<TimedEvent> events; // channel messages only, in delivery order
    int64_t endFrame = 0; // frame of the song's last event of any kind
};

// Exact frame of a time given as microTicks / (division x 1000000) seconds, where
// microTicks is the sum of ticks x microseconds-per-quarter over the tempo segments.
// Returns false on overflow (a song far longer than anything renderable).
bool frameAt(uint64_t microTicks, uint32_t division, uint32_t rate, int64_t& frame);

// false with an error message when the song is too long to be timed in 64 bits.
bool buildTimeline(const Song& song, uint32_t rate, Timeline& timeline, std::string& error);

} // namespace vl::render
