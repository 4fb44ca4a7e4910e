-- Loads the Linux plug-in in Ardour (headless, dummy audio backend). Phase "save": a
-- MIDI track with the instrument, two parameters set to new values, the session saved.
-- Phase "load" (a new process, as when a user reopens a project): the restored instance
-- must report the same values, which travel through the instrument's chunk.
local common = dofile(debug.getinfo(1, "S").source:match("^@(.*/)") .. "../support/ardour-session-common.lua")
local dir, phase = common.start()

if phase == "load" then
  local again = load_session(dir, "velmorloom")
  assert(again, "session not loaded again")
  local found = false
  for r in again:get_routes():iter() do
    local q = r:nth_plugin(0)
    if not q:isnil() and q:name() == "Velmor Loom" then
      found = true
      common.expect_restored(q)
    end
  end
  assert(found, "plug-in missing after reload")
  close_session()
  print("ardour session load: ok")
  return
end

local s, route = common.new_session(dir, 44100)

local p = ARDOUR.LuaAPI.new_plugin(s, "Velmor Loom", ARDOUR.PluginType.LXVST, "")
assert(not p:isnil(), "plug-in not found")
assert(route:add_processor_by_index(p, 0, nil, true), "plug-in not inserted")
local plugin = p:to_insert():plugin(0)
assert(plugin:parameter_count() == 13, "expected 13 parameters, got " .. plugin:parameter_count())
assert(plugin:name() == "Velmor Loom", "unexpected name " .. plugin:name())

-- Factory program 0 after instantiation: Level 1.0, Brightness 0.4.
assert(ARDOUR.LuaAPI.get_processor_param(p, 0) == 1.0, "Level is not the factory value")
common.set_new_values(p)
assert(ARDOUR.LuaAPI.get_processor_param(p, 0) == 0.5, "Level not set")

s:save_state("", false, false, false, false, false)
close_session()
print("ardour session save: ok")
