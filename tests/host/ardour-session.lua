-- Loads the Linux plug-in in Ardour (headless, dummy audio backend). Phase "save": a
-- MIDI track with the instrument, two parameters set to new values, the session saved.
-- Phase "load" (a new process, as when a user reopens a project): the restored instance
-- must report the same values, which travel through the instrument's chunk.
local dir = os.getenv("VL_SESSION_DIR")
local phase = os.getenv("VL_PHASE")
assert(dir and #dir > 0, "VL_SESSION_DIR not set")

AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start(false)

if phase == "load" then
  local again = load_session(dir, "velmorloom")
  assert(again, "session not loaded again")
  local found = false
  for r in again:get_routes():iter() do
    local q = r:nth_plugin(0)
    if not q:isnil() and q:name() == "Velmor Loom" then
      found = true
      local level = ARDOUR.LuaAPI.get_processor_param(q, 0)
      local brightness = ARDOUR.LuaAPI.get_processor_param(q, 3)
      print("restored Level " .. level .. ", Brightness " .. brightness)
      assert(level == 0.5, "Level not restored: " .. level)
      assert(brightness == 0.25, "Brightness not restored: " .. brightness)
    end
  end
  assert(found, "plug-in missing after reload")
  close_session()
  print("ardour session load: ok")
  return
end

local s = create_session(dir, "velmorloom", 44100)
assert(s, "session not created")
local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local stereo = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
-- No strict I/O: the track keeps the stereo output it is created with. With strict I/O,
-- inserting the plug-in makes Ardour register "Synth/audio_out 1" again, and on a busy
-- machine the old port is sometimes not gone yet: Ardour then aborts ("Port already
-- exists").
local tracks = s:new_midi_track(midi, stereo, false, ARDOUR.PluginInfo(), nil, nil, 1, "Synth",
                                ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
local route = tracks:front()

local p = ARDOUR.LuaAPI.new_plugin(s, "Velmor Loom", ARDOUR.PluginType.LXVST, "")
assert(not p:isnil(), "plug-in not found")
assert(route:add_processor_by_index(p, 0, nil, true), "plug-in not inserted")
local plugin = p:to_insert():plugin(0)
assert(plugin:parameter_count() == 13, "expected 13 parameters, got " .. plugin:parameter_count())
assert(plugin:name() == "Velmor Loom", "unexpected name " .. plugin:name())

-- Factory program 0 after instantiation: Level 1.0, Brightness 0.4.
assert(ARDOUR.LuaAPI.get_processor_param(p, 0) == 1.0, "Level is not the factory value")
ARDOUR.LuaAPI.set_processor_param(p, 0, 0.5)
ARDOUR.LuaAPI.set_processor_param(p, 3, 0.25)
assert(ARDOUR.LuaAPI.get_processor_param(p, 0) == 0.5, "Level not set")

s:save_state("", false, false, false, false, false)
close_session()
print("ardour session save: ok")
