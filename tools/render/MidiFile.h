#pragma once
// Standard MIDI File reader: formats 0 and 1, division in ticks per quarter note.
// The tracks are merged into one list in time order; events at the same tick keep the
// file's order (track 0's first, then track 1's, each track in its own order).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::render {

// One event of the merged list. Channel messages (0x80..0xEF) carry their bytes;
// tempo changes carry microseconds per quarter note; every other event that has a
// time (other meta events, system exclusive, end of track) is kept as a marker so the
// song's length includes it, but is never sent.
struct SongEvent {
    enum class Kind : uint8_t { Channel, Tempo, Other };
    uint64_t tick = 0;
    Kind kind = Kind::Other;
    uint8_t size = 0; // channel messages: 2 or 3
    uint8_t bytes[3] = {0, 0, 0};
    uint32_t tempo = 0; // Kind::Tempo: microseconds per quarter note
    uint16_t track = 0;
};

struct Song {
    int format = 0;
    int trackCount = 0;
    uint32_t division = 480; // ticks per quarter note
    std::vector<SongEvent> events; // merged, in time order
};

// Default tempo until the first tempo change: 120 beats per minute.
constexpr uint32_t kDefaultTempo = 500000;

// Parses a whole file held in memory. On failure returns false and sets error to a
// one-line message (no trailing newline); song may then hold part of the file.
bool parseMidi(const uint8_t* data, std::size_t size, Song& song, std::string& error);

} // namespace vl::render
