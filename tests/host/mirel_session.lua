-- Drives Ardour's Lua session tool the way a musician uses Mirel.
--
--   ardour7-lua mirel_session.lua create <session-dir> <plan-file>
--     New session "mirel" (Dummy backend, 48 kHz): a MIDI track with Mirel as
--     its instrument, a MIDI region with two notes, Wave switched to sine and
--     Gain set to 0.5 through Ardour's own plug-in controls; saved. The plan
--     file receives what was played, in samples, for the render checker:
--       rate <Hz> / length <frames> / param <label> <value> /
--       note <key> <velocity> <start frame> <end frame>
--   ardour7-lua mirel_session.lua resave <session-dir>
--     Reopens the session, checks that Ardour shows the values set above on
--     the restored Mirel, and saves it again.
--
-- Every failure raises a Lua error, which makes ardour7-lua exit non-zero.
-- Progress lines start with "mirel-session: " so a failure shows how far it got.

io.stdout:setvbuf("no")

local mode, session_dir, plan_path = arg[1], arg[2], arg[3]
assert((mode == "create" and session_dir and plan_path) or (mode == "resave" and session_dir),
       "usage: mirel_session.lua create <session-dir> <plan-file> | resave <session-dir>")

local SESSION = "mirel"
local RATE = 48000
local TICKS_PER_BEAT = 1920
local REGION_BEATS = 6
-- key, velocity, start beat, length in beats (120 bpm: a beat is 0.5 s)
local NOTES = { { 69, 100, 1, 1 }, { 76, 100, 3, 1 } }
-- Ardour's labels for the two parameters we change, with their plain values.
local PARAMS = { { "Wave", 0 }, { "Gain", 0.5 } }

local function progress(what) print("mirel-session: " .. what) end

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

local function param_index(plugin, label)
  for j = 0, plugin:parameter_count() - 1 do
    if plugin:parameter_label(j) == label then return j end
  end
  error("Mirel has no parameter labelled " .. label)
end

-- Parameter edits reach the plug-in's processor on the audio thread; its
-- saved state only has them once a few process cycles have gone by.
local function let_audio_thread_catch_up()
  assert(ARDOUR.LuaAPI.wait_for_process_callback(8, 5000), "the engine does not run")
end

local function save_and_close()
  assert(Session:save_state("", false, false, false, false, false) == 0, "could not save the session")
  progress("session saved")
  -- Objects still held by Lua would be destroyed after their session.
  collectgarbage()
  collectgarbage()
  close_session()
  progress("done")
end

local function mirel_insert()
  local route = Session:route_by_name("Mirel")
  assert(not route:isnil(), "no track named Mirel")
  local insert = route:nth_plugin(0)
  assert(not insert:isnil() and insert:display_name() == "Mirel", "Mirel is not the track's instrument")
  return insert
end

local function create()
  assert(create_session(session_dir, SESSION, RATE), "could not create the session")
  assert(Session:nominal_sample_rate() == RATE, "session does not run at " .. RATE)
  local tempo = Temporal.TempoMap.read()
  local function beat_sample(beats) return tempo:sample_at_beats(Temporal.Beats(beats, 0), RATE) end
  assert(beat_sample(1) == RATE / 2, "expected a new session at 120 bpm")
  progress("session created")

  local midi1 = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
  local stereo = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
  local mirel_info = ARDOUR.LuaAPI.new_plugin_info("Mirel", ARDOUR.PluginType.VST3)
  assert(not mirel_info:isnil(), "Ardour does not know the Mirel VST3 plug-in")
  local no_instrument = ARDOUR.LuaAPI.new_plugin_info("-none-", ARDOUR.PluginType.VST3)
  -- Strict I/O stays off: with it on, Ardour 7.3 now and then registers the
  -- track's audio outputs twice while inserting the instrument, and aborts.
  local track = Session:new_midi_track(midi1, stereo, false, mirel_info, nil, nil, 1, "Mirel",
    ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false):front():to_track():to_midi_track()
  assert(not track:isnil(), "no MIDI track")
  local insert = mirel_insert()
  progress("track with Mirel added")

  -- Ardour 7's Lua API cannot make an empty MIDI source, so the region comes
  -- from a short recorded take: a feeder track plays one note into the armed
  -- Mirel track. Its notes are replaced below, so the take's timing does not
  -- matter.
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
  -- Ardour finishes the take on another thread and files it as an undoable
  -- "capture" command; editing before that command is committed races with it.
  wait_until("the recorded take", 10, function()
    return Session:transport_stopped() and not Session:collected_undo_commands() and playlist:n_regions() > 0
  end)
  track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
  Session:disable_record(false, false)
  feeder:output():disconnect_all(nil)
  feeder:set_active(false, nil)
  assert(playlist:n_regions() == 1, "expected one recorded region")
  local region
  for r in playlist:region_list():iter() do region = r end
  progress("take recorded")

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
  -- The export renders the session range. Ardour stretches it over the take
  -- it recorded, but now and then drops that ("An UNDO transaction was
  -- started while a prior command was underway"): the range then ends with
  -- the 0.2 s take, before the first note. It is set here.
  local range = Session:locations():session_range_location()
  assert(range, "the session has no range")
  range:set_end(Temporal.timepos_t.from_ticks(REGION_BEATS * TICKS_PER_BEAT), false)
  assert(range:start():samples() == 0 and range:_end():samples() == beat_sample(REGION_BEATS),
         "the session range is " .. range:start():samples() .. ".." .. range:_end():samples())
  progress("notes written")

  -- Turn the knobs through Ardour's plug-in controls, as its generic editor does.
  local plugin = insert:to_insert():plugin(0)
  for _, p in ipairs(PARAMS) do
    local index = param_index(plugin, p[1])
    assert(ARDOUR.LuaAPI.set_processor_param(insert, index, p[2]), "could not set " .. p[1])
    local v = ARDOUR.LuaAPI.get_processor_param(insert, index, true)  -- the value, then by-ref outputs
    assert(math.abs(v - p[2]) < 1e-6, p[1] .. " reads back as " .. tostring(v))
  end
  let_audio_thread_catch_up()
  progress("parameters set")

  local plan = assert(io.open(plan_path, "w"))
  plan:write(string.format("rate %d\nlength %d\n", RATE, beat_sample(REGION_BEATS)))
  for _, p in ipairs(PARAMS) do plan:write(string.format("param %s %.17g\n", p[1], p[2])) end
  for _, n in ipairs(NOTES) do
    plan:write(string.format("note %d %d %d %d\n", n[1], n[2], beat_sample(n[3]), beat_sample(n[3] + n[4])))
  end
  plan:close()
end

local function resave()
  assert(load_session(session_dir, SESSION), "could not reopen the session")
  local insert = mirel_insert()
  local plugin = insert:to_insert():plugin(0)
  for _, p in ipairs(PARAMS) do
    local v = ARDOUR.LuaAPI.get_processor_param(insert, param_index(plugin, p[1]), true)
    assert(math.abs(v - p[2]) < 1e-6, "reopened: " .. p[1] .. " is " .. tostring(v) .. ", was set to " .. p[2])
  end
  let_audio_thread_catch_up()
  progress("reopened with the parameters as set")
end

if mode == "create" then create() else resave() end
save_and_close()
