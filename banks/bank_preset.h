#pragma once
// A bank preset as the bank control and the page see it: which instrument it
// belongs to and the parameter values it sets (parameter path, plain value).
#include <string>
#include <utility>
#include <vector>

namespace orbel {

struct BankControlPreset {
  std::string id;
  std::string name;
  std::string instrument;
  std::vector<std::pair<std::string, double>> params;
};

}  // namespace orbel
