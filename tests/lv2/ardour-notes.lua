ardour { ["type"] = "dsp", name = "Velmor Loom Test Notes", category = "Utility", license = "MIT",
         author = "Velmor Loom tests", description = "Plays A4 for a quarter second every half second" }
-- A MIDI source for the LV2 session test: Ardour runs it in the track before the instrument.
function dsp_ioconfig () return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } } end
function dsp_has_midi_input () return true end
function dsp_has_midi_output () return true end
local position = 0
local rate = 48000
function dsp_init (r) rate = r end
function dsp_run (_, _, n)
  local period = rate // 2
  local k = 1
  for i = 1, n do
    local t = (position + i - 1) % period
    if t == 0 then midiout[k] = { time = i, data = { 0x90, 69, 100 } }; k = k + 1 end
    if t == period // 2 then midiout[k] = { time = i, data = { 0x80, 69, 0 } }; k = k + 1 end
  end
  position = position + n
end
