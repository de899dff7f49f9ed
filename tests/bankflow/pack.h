// A small valid sound pack written into a scratch folder: one instrument with
// one fixed-key zone, one kit and one preset with two parameters.
#pragma once

#include <string>

#include "banks/asset_verify.h"
#include "tests/banks/temp_dir.h"
#include "tests/banks/wav_bytes.h"

namespace orbel::test {

inline void writeSmallPack(const TempDir& dir, const std::string& sub = "") {
  const std::string base = sub.empty() ? "" : sub + "/";
  const Bytes wav = rampWav(8, 48000);
  dir.write(base + "a.wav", wav);
  dir.write(
      base + "bank.json",
      "{\"format\":\"orbel-sound-pack/v1\",\"id\":\"small\",\"version\":\"1.0\",\"name\":\"Small\","
      "\"assetTable\":[{\"id\":\"a\",\"path\":\"a.wav\",\"bytes\":" +
          std::to_string(wav.size()) + ",\"sha256\":\"" + sha256Hex(wav.data(), wav.size()) +
          "\"}],"
          "\"instruments\":[{\"id\":\"keys\",\"name\":\"Keys\",\"document\":\"inst.json\"}],"
          "\"kits\":[{\"id\":\"drums\",\"name\":\"Drums\",\"document\":\"inst.json\"}],"
          "\"presets\":[{\"id\":\"p1\",\"name\":\"Soft\",\"instrument\":\"keys\","
          "\"document\":\"p1.json\"}]}");
  dir.write(
      base + "inst.json",
      "{\"format\":\"orbel-sampler-instrument/v1\",\"zones\":[{\"id\":\"pad1\",\"assetId\":\"a\","
      "\"lowKey\":36,\"highKey\":36,\"keyTracking\":false}]}");
  dir.write(base + "p1.json", "{\"params\":{\"master.gain\":0.1,\"filter.cutoff\":1000}}");
}

}  // namespace orbel::test
