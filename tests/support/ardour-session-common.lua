-- What the headless Ardour session scripts share; loaded with dofile, it returns a table.
local common = {}

-- The session folder and phase ("save" or "load") the runner gives; Ardour's engine
-- started on the dummy audio backend.
function common.start()
  local dir = os.getenv("VL_SESSION_DIR")
  local phase = os.getenv("VL_PHASE")
  assert(dir and #dir > 0, "VL_SESSION_DIR not set")
  AudioEngine:set_backend("None (Dummy)", "", "")
  AudioEngine:start(false)
  return dir, phase
end

-- A new session at rate with one MIDI track, "Synth", and its route.
function common.new_session(dir, rate)
  local s = create_session(dir, "velmorloom", rate)
  assert(s, "session not created")
  local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
  local stereo = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
  -- No strict I/O: the track keeps the stereo output it is created with. With strict I/O,
  -- inserting the plug-in makes Ardour register "Synth/audio_out 1" again, and on a busy
  -- machine the old port is sometimes not gone yet: Ardour then aborts ("Port already
  -- exists").
  local tracks = s:new_midi_track(midi, stereo, false, ARDOUR.PluginInfo(), nil, nil, 1, "Synth",
                                  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
  return s, tracks:front()
end

-- Level (parameter 0) and Brightness (3) as the save phase left them: 0.5 and 0.25.
function common.expect_restored(p)
  local level = ARDOUR.LuaAPI.get_processor_param(p, 0)
  local brightness = ARDOUR.LuaAPI.get_processor_param(p, 3)
  print("restored Level " .. level .. ", Brightness " .. brightness)
  assert(level == 0.5, "Level not restored: " .. level)
  assert(brightness == 0.25, "Brightness not restored: " .. brightness)
end

-- The new values the load phase expects back.
function common.set_new_values(p)
  ARDOUR.LuaAPI.set_processor_param(p, 0, 0.5)
  ARDOUR.LuaAPI.set_processor_param(p, 3, 0.25)
end

return common
