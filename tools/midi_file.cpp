#include "tools/midi_file.h"

#include <algorithm>
#include <deque>
#include <map>

namespace orbel {

namespace {

constexpr std::size_t kMaxNotes = 1'000'000;

struct Cursor {
  const uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;

  bool has(std::size_t n) const { return n <= size - pos; }
  bool u8(uint8_t& v) {
    if (!has(1)) return false;
    v = data[pos++];
    return true;
  }
  bool u16(uint32_t& v) {
    if (!has(2)) return false;
    v = (uint32_t{data[pos]} << 8) | data[pos + 1];
    pos += 2;
    return true;
  }
  bool u32(uint32_t& v) {
    if (!has(4)) return false;
    v = (uint32_t{data[pos]} << 24) | (uint32_t{data[pos + 1]} << 16) |
        (uint32_t{data[pos + 2]} << 8) | data[pos + 3];
    pos += 4;
    return true;
  }
  // Variable-length quantity: at most four bytes (28 bits).
  bool vlq(uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = 0;
      if (!u8(b)) return false;
      v = (v << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  bool skip(std::size_t n) {
    if (!has(n)) return false;
    pos += n;
    return true;
  }
};

struct RawNote {
  uint64_t tick;
  uint64_t endTick;
  int pitch;
  int velocity;
};

struct TrackResult {
  std::vector<RawNote> notes;
  std::vector<std::pair<uint64_t, uint32_t>> tempos;  // tick, microseconds per quarter
};

bool readTrack(Cursor track, TrackResult& out, std::string& error, std::size_t& noteBudget) {
  uint64_t tick = 0;
  uint8_t status = 0;
  // Open notes per channel and key, oldest first.
  std::map<int, std::deque<std::size_t>> open;
  while (track.pos < track.size) {
    uint32_t delta = 0;
    if (!track.vlq(delta)) {
      error = "bad delta time in a track";
      return false;
    }
    tick += delta;
    uint8_t first = 0;
    if (!track.u8(first)) {
      error = "truncated track event";
      return false;
    }
    if (first == 0xFF) {
      uint8_t type = 0;
      uint32_t length = 0;
      if (!track.u8(type) || !track.vlq(length) || !track.has(length)) {
        error = "truncated meta event";
        return false;
      }
      if (type == 0x51 && length == 3) {
        const uint8_t* p = track.data + track.pos;
        const uint32_t tempo = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        if (tempo > 0) out.tempos.emplace_back(tick, tempo);
      }
      track.skip(length);
      if (type == 0x2F) break;  // end of track
      continue;
    }
    if (first == 0xF0 || first == 0xF7) {
      uint32_t length = 0;
      if (!track.vlq(length) || !track.skip(length)) {
        error = "truncated system exclusive event";
        return false;
      }
      status = 0;  // running status is cancelled by sysex
      continue;
    }
    uint8_t data1 = 0;
    if (first & 0x80) {
      if (first >= 0xF0) {
        error = "unexpected system message in a track";
        return false;
      }
      status = first;
      if (!track.u8(data1)) {
        error = "truncated channel event";
        return false;
      }
    } else {
      if (status == 0) {
        error = "data byte without a running status";
        return false;
      }
      data1 = first;
    }
    const uint8_t kind = status & 0xF0;
    const int channel = status & 0x0F;
    uint8_t data2 = 0;
    if (kind != 0xC0 && kind != 0xD0 && !track.u8(data2)) {
      error = "truncated channel event";
      return false;
    }
    const int key = data1 & 0x7F;
    const bool noteOn = kind == 0x90 && (data2 & 0x7F) > 0;
    const bool noteOff = kind == 0x80 || (kind == 0x90 && (data2 & 0x7F) == 0);
    if (noteOn) {
      if (noteBudget == 0) {
        error = "too many notes";
        return false;
      }
      --noteBudget;
      open[channel * 128 + key].push_back(out.notes.size());
      out.notes.push_back({tick, tick, key, data2 & 0x7F});
    } else if (noteOff) {
      auto it = open.find(channel * 128 + key);
      if (it != open.end() && !it->second.empty()) {
        out.notes[it->second.front()].endTick = tick;
        it->second.pop_front();
      }
    }
  }
  for (auto& [slot, pending] : open)
    for (std::size_t index : pending) out.notes[index].endTick = tick;
  return true;
}

}  // namespace

bool readMidiFileNotes(const uint8_t* data, std::size_t size, MidiFileNotes& out,
                       std::string& error) {
  out = MidiFileNotes{};
  if (data == nullptr) size = 0;
  Cursor file{data, size};
  uint32_t length = 0, format = 0, tracks = 0, division = 0;
  if (!file.has(8) || std::string(reinterpret_cast<const char*>(data), 4) != "MThd") {
    error = "not a Standard MIDI File (no MThd header)";
    return false;
  }
  file.skip(4);
  if (!file.u32(length) || length < 6 || !file.u16(format) || !file.u16(tracks) ||
      !file.u16(division) || !file.skip(length - 6)) {
    error = "truncated MIDI file header";
    return false;
  }
  if (format > 1) {
    error = "MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)";
    return false;
  }
  if (division == 0) {
    error = "MIDI file has a time division of 0";
    return false;
  }

  std::vector<RawNote> notes;
  std::vector<std::pair<uint64_t, uint32_t>> tempos;
  std::size_t budget = kMaxNotes;
  int found = 0;
  while (file.pos < file.size && found < static_cast<int>(tracks)) {
    if (!file.has(8)) {
      error = "truncated chunk header";
      return false;
    }
    const std::string id(reinterpret_cast<const char*>(file.data + file.pos), 4);
    file.skip(4);
    file.u32(length);
    if (!file.has(length)) {
      error = "a chunk runs past the end of the file";
      return false;
    }
    if (id == "MTrk") {
      TrackResult track;
      if (!readTrack(Cursor{file.data + file.pos, length}, track, error, budget)) return false;
      notes.insert(notes.end(), track.notes.begin(), track.notes.end());
      tempos.insert(tempos.end(), track.tempos.begin(), track.tempos.end());
      ++found;
    }
    file.skip(length);  // unknown chunks are skipped
  }

  // Tick to seconds through the tempo map (SMPTE divisions have fixed ticks).
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const bool smpte = (division & 0x8000) != 0;
  double smpteSecondsPerTick = 0.0;
  if (smpte) {
    const int fps = -static_cast<int8_t>(division >> 8);
    const int ticksPerFrame = division & 0xFF;
    if (fps <= 0 || ticksPerFrame == 0) {
      error = "bad SMPTE time division";
      return false;
    }
    smpteSecondsPerTick = 1.0 / ((fps == 29 ? 29.97 : fps) * ticksPerFrame);
  }
  // Tempo segments with the time at which each begins, so each note costs a
  // binary search rather than a walk over the whole map.
  struct Segment {
    uint64_t tick;
    double seconds;
    double secondsPerTick;
  };
  std::vector<Segment> segments{{0, 0.0, 500000.0 / (1e6 * division)}};
  for (const auto& [tempoTick, tempo] : tempos) {
    const Segment& last = segments.back();
    const double at =
        last.seconds + static_cast<double>(tempoTick - last.tick) * last.secondsPerTick;
    const double perTick = tempo / (1e6 * division);
    if (tempoTick == last.tick)
      segments.back().secondsPerTick = perTick;
    else
      segments.push_back({tempoTick, at, perTick});
  }
  auto seconds = [&](uint64_t tick) {
    if (smpte) return static_cast<double>(tick) * smpteSecondsPerTick;
    auto it = std::upper_bound(segments.begin(), segments.end(), tick,
                               [](uint64_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *(it - 1);  // segments[0] starts at tick 0, so it != begin()
    return s.seconds + static_cast<double>(tick - s.tick) * s.secondsPerTick;
  };

  out.format = static_cast<int>(format);
  out.trackCount = found;
  out.notes.reserve(notes.size());
  for (const RawNote& n : notes) {
    NoteSpec note;
    note.pitch = n.pitch;
    note.startSeconds = seconds(n.tick);
    note.durationSeconds = seconds(n.endTick) - note.startSeconds;
    note.velocity = n.velocity / 127.0;
    out.notes.push_back(note);
  }
  std::stable_sort(out.notes.begin(), out.notes.end(), [](const NoteSpec& a, const NoteSpec& b) {
    return a.startSeconds < b.startSeconds;
  });
  return true;
}

}  // namespace orbel
