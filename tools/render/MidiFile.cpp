#include "tools/render/MidiFile.h"

#include <algorithm>
#include <cstdio>

namespace vl::render {
namespace {

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

std::string hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFFu);
    return text;
}

// Reads the events of one MTrk chunk body [p, end).
class TrackReader {
public:
    TrackReader(const uint8_t* begin, const uint8_t* end, uint16_t track)
        : p_(begin), begin_(begin), end_(end), track_(track) {}

    bool read(std::vector<SongEvent>& out, std::string& error) {
        uint64_t tick = 0;
        uint8_t running = 0;
        while (p_ < end_) {
            uint32_t delta = 0;
            if (!readVarLen(delta, error)) return false;
            tick += delta;
            if (p_ >= end_) return fail(error, "event missing after its delta time");
            const uint8_t first = *p_;
            if (first == 0xFF) {
                ++p_;
                if (p_ >= end_) return fail(error, "meta event cut off");
                const uint8_t type = *p_++;
                uint32_t length = 0;
                if (!readVarLen(length, error)) return false;
                if (length > std::size_t(end_ - p_)) return fail(error, "meta event longer than its track");
                SongEvent e;
                e.tick = tick;
                e.track = track_;
                if (type == 0x51) {
                    if (length != 3)
                        return fail(error, "tempo event with length " + std::to_string(length) + " (expected 3)");
                    e.kind = SongEvent::Kind::Tempo;
                    e.tempo = (uint32_t(p_[0]) << 16) | (uint32_t(p_[1]) << 8) | p_[2];
                }
                p_ += length;
                out.push_back(e);
                if (type == 0x2F) return true; // end of track: the rest of the chunk is ignored
                continue;
            }
            if (first == 0xF0 || first == 0xF7) {
                ++p_;
                uint32_t length = 0;
                if (!readVarLen(length, error)) return false;
                if (length > std::size_t(end_ - p_)) return fail(error, "system exclusive event longer than its track");
                p_ += length;
                SongEvent e;
                e.tick = tick;
                e.track = track_;
                out.push_back(e);
                continue;
            }
            if (first > 0xF0) return fail(error, "unexpected status byte " + hex2(first));
            uint8_t status;
            if (first & 0x80) {
                status = first;
                running = first;
                ++p_;
            } else {
                if (running == 0) return fail(error, "running status without a previous status byte");
                status = running;
            }
            const int dataCount = (status >= 0xC0 && status < 0xE0) ? 1 : 2;
            SongEvent e;
            e.tick = tick;
            e.track = track_;
            e.kind = SongEvent::Kind::Channel;
            e.size = uint8_t(1 + dataCount);
            e.bytes[0] = status;
            for (int i = 0; i < dataCount; ++i) {
                if (p_ >= end_) return fail(error, "channel message cut off");
                if (*p_ & 0x80) return fail(error, "data byte " + hex2(*p_) + " where a value below 0x80 is expected");
                e.bytes[1 + i] = *p_++;
            }
            out.push_back(e);
        }
        return true; // a track without an end-of-track event ends with its chunk
    }

private:
    bool readVarLen(uint32_t& value, std::string& error) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (p_ >= end_) return fail(error, "variable-length number cut off");
            const uint8_t b = *p_++;
            value = (value << 7) | (b & 0x7Fu);
            if (!(b & 0x80)) return true;
        }
        return fail(error, "variable-length number longer than 4 bytes");
    }

    bool fail(std::string& error, const std::string& what) {
        error = "corrupt MIDI data in track " + std::to_string(track_) + " at byte " + std::to_string(p_ - begin_) +
                ": " + what;
        return false;
    }

    const uint8_t* p_;
    const uint8_t* begin_;
    const uint8_t* end_;
    uint16_t track_;
};

} // namespace

bool parseMidi(const uint8_t* data, std::size_t size, Song& song, std::string& error) {
    song = Song{};
    if (size < 8 || data[0] != 'M' || data[1] != 'T' || data[2] != 'h' || data[3] != 'd') {
        error = "not a Standard MIDI File (no MThd header)";
        return false;
    }
    const uint32_t headerLength = be32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) {
        error = "MIDI header chunk is truncated";
        return false;
    }
    const int format = be16(data + 8);
    const int trackCount = be16(data + 10);
    const uint16_t division = be16(data + 12);
    if (format > 1) {
        error = "MIDI format " + std::to_string(format) + " is not supported (only formats 0 and 1)";
        return false;
    }
    if (division & 0x8000) {
        error = "SMPTE time division is not supported (only ticks per quarter note)";
        return false;
    }
    if (division == 0) {
        error = "MIDI header gives a division of 0 ticks per quarter note";
        return false;
    }
    if (format == 0 && trackCount != 1) {
        error = "MIDI format 0 file with " + std::to_string(trackCount) + " tracks (expected 1)";
        return false;
    }
    song.format = format;
    song.trackCount = trackCount;
    song.division = division;

    std::size_t pos = 8 + std::size_t(headerLength);
    int found = 0;
    while (found < trackCount) {
        if (size - pos < 8) {
            error = "MIDI file ends after " + std::to_string(found) + " of " + std::to_string(trackCount) + " tracks";
            return false;
        }
        const uint8_t* chunk = data + pos;
        const uint32_t length = be32(chunk + 4);
        if (length > size - pos - 8) {
            error = "chunk length at byte " + std::to_string(pos) + " runs past the end of the file";
            return false;
        }
        pos += 8 + std::size_t(length);
        if (chunk[0] != 'M' || chunk[1] != 'T' || chunk[2] != 'r' || chunk[3] != 'k')
            continue; // unknown chunks are skipped
        TrackReader reader(chunk + 8, chunk + 8 + length, uint16_t(found));
        if (!reader.read(song.events, error)) return false;
        ++found;
    }
    // Tracks were appended in file order, each in its own order, so a stable sort by
    // tick keeps that order among events of the same tick.
    std::stable_sort(song.events.begin(), song.events.end(),
                     [](const SongEvent& a, const SongEvent& b) { return a.tick < b.tick; });
    return true;
}

} // namespace vl::render
