// Standard MIDI Files given to orbel-probe --midi: any bytes must give either
// notes with finite, non-negative times or an error, never a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orbel::MidiFileNotes notes;
  std::string error;
  if (orbel::readMidiFileNotes(data, size, notes, error)) {
    for (const orbel::NoteSpec& n : notes.notes) {
      if (!(n.startSeconds >= 0) || !(n.durationSeconds >= 0) ||
          !std::isfinite(n.startSeconds + n.durationSeconds) || n.pitch < 0 || n.pitch > 127 ||
          !(n.velocity > 0 && n.velocity <= 1))
        std::abort();
    }
  } else if (error.empty() || !notes.notes.empty()) {
    std::abort();
  }
  return 0;
}
