// The runtime bank request text: any bytes split into at most four fields
// that hold no line feed and together come from the input in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "staging/staged_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const orbel::RuntimeBankRequest r = orbel::parseRuntimeBankRequest(text, size);
  if (r.source.empty()) std::abort();
  const std::string input(text, size);
  std::string joined = (input.empty() || input[0] == '\n') ? std::string() : r.source;
  for (const std::string* field : {&r.locator, &r.sha256, &r.instrument}) {
    if (field->find('\n') != std::string::npos) std::abort();
    if (joined.size() < input.size()) joined += '\n' + *field;
  }
  if (r.source.find('\n') != std::string::npos) std::abort();
  // The fields read back are the input's leading lines.
  if (input.compare(0, joined.size(), joined) != 0 && joined.size() <= input.size()) std::abort();
  return 0;
}
