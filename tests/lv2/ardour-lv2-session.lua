-- The LV2 bundle in Ardour (headless, dummy audio backend), loaded by its URI into a MIDI
-- track after a small Lua note source. Phase "save": silent while an automation of Level
-- holds it at 0, sounding once the automation is off; Level and Brightness set, the
-- automation kept, the session saved. Phase "load" (a new process): the instance comes
-- back with its values and automation and sounds again.
local common = dofile(debug.getinfo(1, "S").source:match("^@(.*/)") .. "../support/ardour-session-common.lua")
local dir, phase = common.start()
local uri = "urn:tarlowe:velmorloom"

local function level_automation(p)
  return p:to_automatable():automation_control(Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, 0), false)
end

-- Loudest audio sample of the track's output (channels 1 and 2; 0 is MIDI), in dBFS,
-- after rolling for seconds.
local function roll_and_meter(s, route, seconds)
  s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
  ARDOUR.LuaAPI.usleep(math.floor(seconds * 1000000))
  local loudest = -math.huge
  for c = 1, 2 do loudest = math.max(loudest, route:peak_meter():meter_level(c, ARDOUR.MeterType.MeterPeak)) end
  s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
  ARDOUR.LuaAPI.usleep(200000)
  return loudest
end

if phase == "load" then
  local s = load_session(dir, "velmorloom")
  assert(s, "session not loaded again")
  local route, p
  for r in s:get_routes():iter() do
    local q = r:nth_plugin(1)
    if not q:isnil() and q:to_insert():plugin(0):unique_id() == uri then route, p = r, q end
  end
  assert(p, "plug-in missing after reload")
  common.expect_restored(p)
  local ac = level_automation(p)
  assert(ac:automation_state() == ARDOUR.AutoState.Off, "automation state not restored")
  assert(ac:alist():size() == 2, "automation points not restored: " .. ac:alist():size())
  local loud = roll_and_meter(s, route, 1.5)
  print("after reload: " .. loud .. " dBFS")
  assert(loud > -40 and loud < 0, "no sound after reload: " .. loud)
  close_session()
  print("ardour lv2 session load: ok")
  return
end

local s, route = common.new_session(dir, 48000)
local notes = ARDOUR.LuaAPI.new_luaproc(s, "Velmor Loom Test Notes")
assert(not notes:isnil(), "note source not found")
assert(route:add_processor_by_index(notes, 0, nil, true), "note source not inserted")
local p = ARDOUR.LuaAPI.new_plugin(s, uri, ARDOUR.PluginType.LV2, "")
assert(not p:isnil(), "plug-in not found by URI")
assert(route:add_processor_by_index(p, 1, nil, true), "plug-in not inserted")
local plugin = p:to_insert():plugin(0)
assert(plugin:name() == "Velmor Loom", "unexpected name " .. plugin:name())
assert(ARDOUR.LuaAPI.get_processor_param(p, 0) == 1.0, "Level is not the factory value")

-- Level automated to 0: the notes play, nothing is heard.
local ac = level_automation(p)
ac:alist():add(Temporal.timepos_t(0), 0.0, false, false)
ac:alist():add(Temporal.timepos_t(48000 * 60), 0.0, false, false)
ac:set_automation_state(ARDOUR.AutoState.Play)
local muted = roll_and_meter(s, route, 1.5)
print("automated to silence: " .. muted .. " dBFS")
assert(muted == -math.huge, "sound although Level is automated to 0: " .. muted)

ac:set_automation_state(ARDOUR.AutoState.Off)
common.set_new_values(p)
local loud = roll_and_meter(s, route, 1.5)
print("playing: " .. loud .. " dBFS")
assert(loud > -40 and loud < 0, "no sound: " .. loud)

s:save_state("", false, false, false, false, false)
close_session()
print("ardour lv2 session save: ok")
