#include "tools/render/DemoPhrase.h"

#include <algorithm>

namespace vl::render {
namespace {

constexpr uint32_t kDivision = 480; // ticks per quarter note
constexpr uint32_t kTempo = 600000; // 100 beats per minute
constexpr uint64_t kBeat = kDivision;
constexpr uint64_t kBar = 4 * kBeat;

class PhraseBuilder {
public:
    void channel(uint64_t tick, uint8_t status, uint8_t d1, uint8_t d2) {
        SongEvent e;
        e.tick = tick;
        e.kind = SongEvent::Kind::Channel;
        e.size = 3;
        e.bytes[0] = status;
        e.bytes[1] = d1;
        e.bytes[2] = d2;
        events.push_back(e);
    }
    void note(uint64_t start, uint64_t length, uint8_t key, uint8_t velocity) {
        channel(start, 0x90, key, velocity);
        channel(start + length, 0x80, key, 64);
    }
    void chord(uint64_t start, uint64_t length, std::initializer_list<uint8_t> keys, uint8_t velocity) {
        for (uint8_t k : keys) note(start, length, k, velocity);
    }
    void pedal(uint64_t tick, bool down) { channel(tick, 0xB0, 64, down ? 127 : 0); }
    // 14-bit bend value, 0x2000 = centre.
    void bend(uint64_t tick, unsigned value) {
        channel(tick, 0xE0, uint8_t(value & 0x7F), uint8_t((value >> 7) & 0x7F));
    }

    std::vector<SongEvent> events;
};

} // namespace

Song demoPhrase() {
    PhraseBuilder b;

    // Bar 1: A minor chord under a rising melody.
    b.chord(0, kBar - 20, {45, 52, 57, 60}, 84);
    b.note(0, 2 * kBeat - 10, 69, 100);
    b.note(2 * kBeat, kBeat - 10, 71, 96);
    b.note(3 * kBeat, kBeat - 10, 72, 100);

    // Bar 2: F major; the melody's long note bends up a whole tone and back.
    const uint64_t bar2 = kBar;
    b.chord(bar2, kBar - 20, {41, 53, 57, 60}, 84);
    b.note(bar2, kBeat - 10, 76, 104);
    b.note(bar2 + kBeat, 3 * kBeat - 10, 74, 104);
    for (unsigned step = 0; step <= 8; ++step) // up over half a beat, from beat 2
        b.bend(bar2 + 2 * kBeat + step * (kBeat / 16), 0x2000 + step * 0x3FF);
    for (unsigned step = 0; step <= 8; ++step) // back down at the end of the bar
        b.bend(bar2 + 3 * kBeat + step * (kBeat / 16), 0x3FF8 - step * 0x3FF);
    b.bend(bar2 + 4 * kBeat - 5, 0x2000);

    // Bar 3: C major arpeggio in eighths, short notes held by the sustain pedal.
    const uint64_t bar3 = 2 * kBar;
    b.pedal(bar3, true);
    const uint8_t arpeggio[] = {48, 55, 60, 64, 67, 72, 76, 79};
    for (int i = 0; i < 8; ++i) b.note(bar3 + uint64_t(i) * (kBeat / 2), kBeat / 4, arpeggio[i], 92);
    b.pedal(bar3 + kBar - 10, false);

    // Bar 4: G suspended resolving to a wide C major chord that rings out after the end.
    const uint64_t bar4 = 3 * kBar;
    b.chord(bar4, kBeat - 10, {43, 50, 55, 60, 62}, 80);
    b.chord(bar4 + kBeat, 3 * kBeat, {36, 48, 55, 64, 67, 72}, 88);

    Song song;
    song.format = 0;
    song.trackCount = 1;
    song.division = kDivision;
    SongEvent tempo;
    tempo.kind = SongEvent::Kind::Tempo;
    tempo.tempo = kTempo;
    song.events.push_back(tempo);
    std::stable_sort(b.events.begin(), b.events.end(),
                     [](const SongEvent& x, const SongEvent& y) { return x.tick < y.tick; });
    song.events.insert(song.events.end(), b.events.begin(), b.events.end());
    return song;
}

} // namespace vl::render
