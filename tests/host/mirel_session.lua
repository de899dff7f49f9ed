-- Builds an Ardour session that plays Mirel, the way a musician would set it
-- up, and renders it once while the session is still open.
--
--   ardour7-lua mirel_session.lua <session-dir> <export-dir> <plan-file> <export-preset-id>
--
-- The session gets one MIDI track with Mirel as its instrument, a MIDI region
-- with two notes, the wave switched to sine and the gain set to 0.5 through
-- Ardour's own plug-in controls. The render goes to <export-dir>; <plan-file>
-- receives what was played, in samples, for the checker:
--   rate <Hz>
--   length <frames>
--   param <name> <value>
--   note <key> <velocity> <start frame> <end frame>
-- Every failure raises a Lua error, which makes ardour7-lua exit non-zero.

io.stdout:setvbuf("no")

local session_dir, export_dir, plan_path, preset_id = arg[1], arg[2], arg[3], arg[4]
assert(session_dir and export_dir and plan_path and preset_id,
       "usage: mirel_session.lua <session-dir> <export-dir> <plan-file> <export-preset-id>")

local RATE = 48000
local TICKS_PER_BEAT = 1920
local REGION_BEATS = 6
-- key, velocity, start beat, length in beats (120 bpm: a beat is 0.5 s)
local NOTES = { { 69, 100, 1, 1 }, { 76, 100, 3, 1 } }
-- Ardour's labels for the two parameters we change, with their plain values.
local PARAMS = { { "Wave", 0 }, { "Gain", 0.5 } }

local function wait_until(what, seconds, predicate)
  local deadline = ARDOUR.LuaAPI.monotonic_time() + seconds * 1e6
  while not predicate() do
    if ARDOUR.LuaAPI.monotonic_time() > deadline then error("timed out waiting for " .. what) end
    ARDOUR.LuaAPI.usleep(10000)
  end
end

local function send(track, bytes)
  local parser = ARDOUR.RawMidiParser()
  local complete = false
  for _, b in ipairs(bytes) do complete = parser:process_byte(b) end
  assert(complete, "incomplete MIDI message")
  assert(track:write_immediate_event(Evoral.EventType.MIDI_EVENT, parser:buffer_size(), parser:midi_buffer()),
         "could not queue a MIDI event")
end

-- Ardour's own headless engine, no sound card needed.
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy audio backend")
assert(create_session(session_dir, "mirel", RATE), "could not create the session")
assert(Session:nominal_sample_rate() == RATE, "session does not run at " .. RATE)

local tempo = Temporal.TempoMap.read()
local function beat_sample(beats)
  return tempo:sample_at_beats(Temporal.Beats(beats, 0), RATE)
end
assert(beat_sample(1) == RATE / 2, "expected a new session at 120 bpm")

print("mirel-session: session created")
local midi1 = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local stereo = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
local mirel_info = ARDOUR.LuaAPI.new_plugin_info("Mirel", ARDOUR.PluginType.VST3)
assert(not mirel_info:isnil(), "Ardour does not know the Mirel VST3 plug-in")
local no_instrument = ARDOUR.LuaAPI.new_plugin_info("-none-", ARDOUR.PluginType.VST3)

-- strict I/O off: with it on, Ardour 7.3 now and then registers the track's
-- audio outputs twice while the instrument is inserted and aborts.
local track = Session:new_midi_track(midi1, stereo, false, mirel_info, nil, nil, 1, "Mirel",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false):front():to_track():to_midi_track()
assert(not track:isnil(), "no MIDI track")
local insert = track:nth_plugin(0)
assert(not insert:isnil() and insert:display_name() == "Mirel", "Mirel is not the track's instrument")

print("mirel-session: track with Mirel added")
-- Ardour 7's Lua API cannot make an empty MIDI source, so the region comes from
-- a short recorded take: a feeder track plays one note into the armed Mirel
-- track. Its notes are replaced below, so the take's timing does not matter.
local feeder = Session:new_midi_track(midi1, midi1, false, no_instrument, nil, nil, 1, "Feeder",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false):front():to_track():to_midi_track()
track:input():disconnect_all(nil)
feeder:output():disconnect_all(nil)
assert(feeder:output():midi(0):connect(track:input():midi(0):name()) == 0, "could not connect the feeder")

track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
wait_until("recording", 10, function() return Session:actively_recording() end)
send(feeder, { 0x90, 60, 100 })
local on_at = Session:transport_sample()
wait_until("the take to grow", 10, function() return Session:transport_sample() > on_at + RATE / 10 end)
send(feeder, { 0x80, 60, 0 })
local off_at = Session:transport_sample()
wait_until("the note off", 10, function() return Session:transport_sample() > off_at + RATE / 10 end)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
local playlist = track:playlist()
-- Ardour finishes the take on another thread and records it as an undoable
-- "capture" command; editing before that command is committed races with it.
wait_until("the recorded take", 10, function()
  return Session:transport_stopped() and not Session:collected_undo_commands() and playlist:n_regions() > 0
end)
track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
Session:disable_record(false, false)
feeder:output():disconnect_all(nil)
feeder:set_active(false, nil)

print("mirel-session: take recorded")
local region
for r in playlist:region_list():iter() do region = r end
assert(playlist:n_regions() == 1, "expected one recorded region")
region:set_position(Temporal.timepos_t.from_ticks(0))
region:set_length(Temporal.timecnt_t.from_ticks(REGION_BEATS * TICKS_PER_BEAT, Temporal.timepos_t.from_ticks(0)))

local model = region:to_midiregion():model()
local edit = model:new_note_diff_command("Mirel notes")
for n in ARDOUR.LuaAPI.note_list(model):iter() do edit:remove(n) end
for _, n in ipairs(NOTES) do
  edit:add(ARDOUR.LuaAPI.new_noteptr(1, Temporal.Beats(n[3], 0), Temporal.Beats(n[4], 0), n[1], n[2]))
end
model:apply_command(Session, edit)
local count = 0
for _ in ARDOUR.LuaAPI.note_list(model):iter() do count = count + 1 end
assert(count == #NOTES, "the region holds " .. count .. " notes")

print("mirel-session: notes written")
-- Turn the knobs through Ardour's plug-in controls, as the generic editor does.
local plugin = insert:to_insert():plugin(0)
for _, p in ipairs(PARAMS) do
  local index
  for j = 0, plugin:parameter_count() - 1 do
    if plugin:parameter_label(j) == p[1] then index = j end
  end
  assert(index, "Mirel has no parameter labelled " .. p[1])
  assert(ARDOUR.LuaAPI.set_processor_param(insert, index, p[2]), "could not set " .. p[1])
  local v = ARDOUR.LuaAPI.get_processor_param(insert, index, true)  -- value, then the by-ref outputs
  assert(math.abs(v - p[2]) < 1e-6, p[1] .. " reads back as " .. tostring(v))
end

print("mirel-session: parameters set")
local length = beat_sample(REGION_BEATS)
local export = Session:simple_export()
export:set_name("live")
export:set_folder(export_dir)
export:set_range(0, length)
assert(export:set_preset(preset_id), "unknown export preset " .. preset_id)
assert(export:check_outputs(), "nothing to export")
assert(export:run_export(), "export failed")

print("mirel-session: live render exported")
local plan = assert(io.open(plan_path, "w"))
plan:write(string.format("rate %d\nlength %d\n", RATE, length))
for _, p in ipairs(PARAMS) do plan:write(string.format("param %s %.17g\n", p[1], p[2])) end
for _, n in ipairs(NOTES) do
  plan:write(string.format("note %d %d %d %d\n", n[1], n[2], beat_sample(n[3]), beat_sample(n[3] + n[4])))
end
plan:close()

assert(Session:save_state("", false, false, false, false, false) == 0, "could not save the session")
print("mirel-session: session saved")
-- Let go of every Ardour object before the session goes away; otherwise the
-- garbage collector would destroy them after their session.
track, feeder, insert, plugin, playlist, region, model, edit, export = nil, nil, nil, nil, nil, nil, nil, nil, nil
mirel_info, no_instrument, tempo = nil, nil, nil
collectgarbage()
collectgarbage()
close_session()
print("mirel-session: done")
