// Reads the notes of a Standard MIDI File (format 0 or 1, metrical or SMPTE
// time) into timed notes, following the file's tempo map. Every channel is
// taken; a note still held at the end of its track ends there. The reader
// is bounds-checked throughout: a malformed file gives an error, never a
// partial result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/probe_options.h"

namespace orbel {

struct MidiFileNotes {
  int format = 0;
  int trackCount = 0;
  std::vector<NoteSpec> notes;  // sorted by start time
};

bool readMidiFileNotes(const uint8_t* data, std::size_t size, MidiFileNotes& out,
                       std::string& error);

}  // namespace orbel
