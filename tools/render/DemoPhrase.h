#pragma once
// The phrase rendered when no MIDI file is given: four bars at 100 beats per minute
// (9.6 s, 12.6 s with the default tail) showing chords, a melody with a pitch bend, an
// arpeggio held by the sustain pedal and a final chord left to ring out.
#include "tools/render/MidiFile.h"

namespace vl::render {

Song demoPhrase();

} // namespace vl::render
