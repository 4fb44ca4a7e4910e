#pragma once
// Builds Standard MIDI File bytes by hand for the tests.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vl::render::test {

using Bytes = std::vector<uint8_t>;

inline void append(Bytes& out, std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(uint8_t(b));
}

inline void appendVarLen(Bytes& out, uint32_t value) {
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = uint8_t(value & 0x7F);
    while (value >>= 7) tmp[n++] = uint8_t(0x80 | (value & 0x7F));
    while (n > 0) out.push_back(tmp[--n]);
}

inline void appendBe32(Bytes& out, uint32_t v) {
    append(out, {int(v >> 24) & 0xFF, int(v >> 16) & 0xFF, int(v >> 8) & 0xFF, int(v) & 0xFF});
}

inline Bytes header(int format, int tracks, int division) {
    Bytes h = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    append(h, {format >> 8, format & 0xFF, tracks >> 8, tracks & 0xFF, (division >> 8) & 0xFF, division & 0xFF});
    return h;
}

// An MTrk chunk around body; the length field is right unless lengthOverride >= 0.
inline Bytes track(const Bytes& body, int64_t lengthOverride = -1) {
    Bytes t = {'M', 'T', 'r', 'k'};
    appendBe32(t, lengthOverride >= 0 ? uint32_t(lengthOverride) : uint32_t(body.size()));
    t.insert(t.end(), body.begin(), body.end());
    return t;
}

inline Bytes file(const Bytes& head, std::initializer_list<Bytes> tracks) {
    Bytes f = head;
    for (const Bytes& t : tracks) f.insert(f.end(), t.begin(), t.end());
    return f;
}

// Body helpers: delta time then the event bytes.
inline void event(Bytes& body, uint32_t delta, std::initializer_list<int> bytes) {
    appendVarLen(body, delta);
    append(body, bytes);
}
inline void tempo(Bytes& body, uint32_t delta, uint32_t microsPerQuarter) {
    event(body, delta,
          {0xFF, 0x51, 0x03, int(microsPerQuarter >> 16) & 0xFF, int(microsPerQuarter >> 8) & 0xFF,
           int(microsPerQuarter) & 0xFF});
}
inline void endOfTrack(Bytes& body, uint32_t delta = 0) { event(body, delta, {0xFF, 0x2F, 0x00}); }

} // namespace vl::render::test
