// Shared helpers for the engine tests: a stereo output buffer and a fixture
// that starts each test with a fresh test kernel.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kernel_engine.h"
#include "tests/engine/test_kernel.h"

namespace orbel::enginetest {

struct StereoOut {
  explicit StereoOut(int frames, float fill = 0.5f)
      : left(size_t(frames), fill), right(size_t(frames), fill), ptrs{left.data(), right.data()} {}
  std::vector<float> left, right;
  float* ptrs[2];
};

class EngineTest : public ::testing::Test {
protected:
  void SetUp() override { testkernel::resetAll(); }

  // Renders one block into `out` (stereo, no input).
  static void render(KernelEngine& engine, StereoOut& out, int frames) {
    engine.processBlock(nullptr, 0, out.ptrs, 2, frames);
  }

  // The record at index i of the engine's diagnostic list.
  static const orbel_runtime_diagnostic& diag(const KernelEngine& engine, uint32_t i) {
    return engine.diagnostics().records[i];
  }
};

inline bool allZero(const std::vector<float>& v, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (v[i] != 0.0f) return false;
  }
  return true;
}

}  // namespace orbel::enginetest
