-- Drives Ardour's headless Lua session tool (ardour7-lua, Dummy backend) for
-- scripts/ardour-check.sh. One step per run, chosen by the first argument:
--   create DIR NAME UID             new 48 kHz session: stereo track "Click" with Tamblor on it
--   export DIR NAME PRESET OUTDIR   set Oversmp 8X and OutGain +3 dB through Ardour's plug-in
--                                   controls, export the session range, save the session
--   recall DIR NAME                 reopen the saved session and print what the plug-in holds
-- Every step prints "key=value" lines that the shell script reads; a failed
-- step prints "error=..." and leaves through error().

local step, dir, name = arg[1], arg[2], arg[3]
local RATE = 48000
-- Host parameter indices and the normalized values set on them: Oversmp's
-- last state is 8X, OutGain's top (+3 dB) is the end of its range.
local P_OVERSMP, P_OUTGAIN = 1, 3
local V_OVERSMP, V_OUTGAIN = 1.0, 1.0

local function fail(msg)
  print("error=" .. msg)
  error(msg)
end

local function tamblor_insert()
  local tracks = Session:get_tracks()
  if tracks:size() ~= 1 then fail("expected one track, found " .. tracks:size()) end
  local tr
  for t in tracks:iter() do tr = t:to_track() end
  local i = 0
  while true do
    local proc = tr:nth_plugin(i)
    if proc:isnil() then break end
    if proc:display_name() == "Tamblor" or proc:name() == "Tamblor" then return tr, proc end
    i = i + 1
  end
  fail("no Tamblor on the track")
end

local function report(tr, proc)
  print("plugin_latency=" .. proc:signal_latency())
  print("oversmp=" .. ARDOUR.LuaAPI.get_processor_param(proc, P_OVERSMP, true))
  print("outgain=" .. ARDOUR.LuaAPI.get_processor_param(proc, P_OUTGAIN, true))
  local regions = tr:playlist():region_list()
  print("regions=" .. regions:size())
  for r in regions:iter() do print("region_length=" .. r:length():samples()) end
end

AudioEngine:set_backend("None (Dummy)", "", "")

if step == "create" then
  local uid = arg[4]
  if not create_session(dir, name, RATE) then fail("cannot create session") end
  local tl = Session:new_audio_track(2, 2, nil, 1, "Click", ARDOUR.PresentationInfo.max_order,
                                     ARDOUR.TrackMode.Normal, true)
  if tl:size() ~= 1 then fail("cannot add track") end
  local tr = tl:front()
  local proc = ARDOUR.LuaAPI.new_plugin(Session, uid, ARDOUR.PluginType.VST3, "")
  if proc:isnil() then fail("Ardour does not know plug-in " .. uid) end
  if tr:add_processor_by_index(proc, 0, nil, true) ~= 0 then fail("cannot insert plug-in") end
  Session:save_state("", false, false, false, false, false)
  print("created=" .. tr:name())
  close_session()

elseif step == "export" then
  local preset, outdir = arg[4], arg[5]
  if not load_session(dir, name) then fail("cannot load session") end
  local tr, proc = tamblor_insert()
  if not ARDOUR.LuaAPI.set_processor_param(proc, P_OVERSMP, V_OVERSMP) then fail("cannot set Oversmp") end
  if not ARDOUR.LuaAPI.set_processor_param(proc, P_OUTGAIN, V_OUTGAIN) then fail("cannot set OutGain") end
  -- Let the engine run a few cycles so the changes reach the processor and a
  -- latency change (if any) is picked up before the export starts.
  for _ = 1, 10 do ARDOUR.LuaAPI.wait_for_process_callback(64, 1) end
  report(tr, proc)
  local e = Session:simple_export()
  e:set_name("tamblor-export")
  e:set_folder(outdir)
  local r = Session:locations():session_range_location()
  if not r then fail("session has no range") end
  e:set_range(r:start():samples(), r:_end():samples())
  if not e:set_preset(preset) then fail("export preset " .. preset .. " not found") end
  if not e:check_outputs() then fail("master bus has no outputs to export") end
  if not e:run_export() then fail("export failed") end
  print("exported=1")
  Session:save_state("", false, false, false, false, false)
  close_session()

elseif step == "recall" then
  if not load_session(dir, name) then fail("cannot load session") end
  for _ = 1, 10 do ARDOUR.LuaAPI.wait_for_process_callback(64, 1) end
  local tr, proc = tamblor_insert()
  report(tr, proc)
  close_session()

else
  fail("unknown step " .. tostring(step))
end
