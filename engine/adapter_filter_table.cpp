// Building and sharing the adapter's interpolation tables.
#include "engine/adapter_filter_table.h"

#include <array>
#include <cmath>
#include <mutex>
#include <new>

namespace orbel {
namespace {

constexpr int32_t kTapsBack = 15;  // tap j weighs the sample at offset j - 15

// For cutoff c, phase i and tap j: x = c (i / 1024 - (j - 15)), h = w_j c sinc(x)
// with the Hann window w_j = 0.5 - 0.5 cos(2 pi j / 31), in double, stored as
// float; each row then divided by the double sum of its floats (when not 0).
void build(AdapterFilterTable& t, double cutoff) {
  constexpr uint32_t phases = AdapterFilterTable::kPhases;
  constexpr uint32_t taps = AdapterFilterTable::kTaps;
  const double pi = 3.14159265358979323846;
  double window[taps];
  for (uint32_t j = 0; j < taps; ++j)
    window[j] = 0.5 - 0.5 * std::cos(2.0 * pi * double(j) / double(taps - 1));
  t.cutoff = cutoff;
  for (uint32_t i = 0; i < phases; ++i) {
    float* row = t.taps + size_t(i) * taps;
    double sum = 0.0;
    for (uint32_t j = 0; j < taps; ++j) {
      const double x = cutoff * (double(i) / phases - (double(j) - kTapsBack));
      const double s = std::fabs(x) < 1e-12 ? 1.0 : std::sin(pi * x) / (pi * x);
      row[j] = static_cast<float>(window[j] * cutoff * s);
      sum += row[j];
    }
    if (sum != 0.0) {
      for (uint32_t j = 0; j < taps; ++j) row[j] = static_cast<float>(row[j] / sum);
    }
    float rowSum = 0.0f;
    for (uint32_t j = 0; j < taps; ++j) rowSum += row[j];
    t.sums[i] = rowSum;
  }
}

// The last cutoffs asked for (a process rarely sees more than two or three
// host rates); older tables live on as long as an engine holds them.
constexpr size_t kCached = 16;

struct Cache {
  std::mutex mutex;
  std::array<std::shared_ptr<const AdapterFilterTable>, kCached> tables;
  size_t next = 0;
};

Cache& cache() {
  static Cache c;
  return c;
}

}  // namespace

std::shared_ptr<const AdapterFilterTable> adapterFilterTable(double cutoff) {
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  for (const auto& table : c.tables) {
    if (table && table->cutoff == cutoff) return table;
  }
  std::shared_ptr<AdapterFilterTable> table;
  try {
    table.reset(new AdapterFilterTable);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  build(*table, cutoff);
  c.tables[c.next] = table;
  c.next = (c.next + 1) % kCached;
  return table;
}

}  // namespace orbel
