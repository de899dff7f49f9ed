// The shipped module (optimised) and an -O0 build of the same sources must
// render the same bits: the output is defined sample by sample, and an
// optimisation that moves a single-precision rounding (vectorised pairs, fused
// multiply-adds) would change it. Also checks what the module exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/kernel/kernel_phrase.h"

namespace {

class LoadedKernel {
public:
  explicit LoadedKernel(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedKernel() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedKernel(const LoadedKernel&) = delete;
  LoadedKernel& operator=(const LoadedKernel&) = delete;

  bool loaded() const { return handle_ != nullptr; }

  void* symbol(const char* op) const {
    return dlsym(handle_, (std::string(ORBEL_KERNEL_SYMBOL_PREFIX) + op).c_str());
  }

  template <typename F>
  F entry(const char* op) const {
    return reinterpret_cast<F>(symbol(op));
  }

  orbel::test::KernelApi api() const {
    return orbel::test::KernelApi{
        entry<double (*)()>("runtime_init"),
        entry<double (*)(uint32_t, uint32_t, uint32_t, double)>("create"),
        entry<double (*)(uint32_t, float**, uint64_t*)>("output_view"),
        entry<double (*)(uint32_t, uint32_t, uint32_t, uint32_t, double)>("push_event"),
        entry<double (*)(uint32_t, uint32_t)>("process"),
        entry<double (*)(uint32_t)>("destroy"),
    };
  }

private:
  void* handle_;
};

TEST(KernelModule, ExportsExactlyTheElevenEntryPoints) {
  LoadedKernel module(ORBEL_KERNEL_MODULE);
  ASSERT_TRUE(module.loaded()) << dlerror();
  for (const char* op :
       {"runtime_init", "set_panic_sink", "collect", "abi_version", "create", "input_view",
        "output_view", "push_event", "process", "reset", "destroy"}) {
    EXPECT_NE(module.symbol(op), nullptr) << op;
  }

  const std::string command = std::string("nm -D --defined-only ") + ORBEL_KERNEL_MODULE;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  std::vector<std::string> exported;
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char type = 0;
    char name[400] = {0};
    if (std::sscanf(line, "%*s %c %399s", &type, name) == 2 && type != 'A') {
      exported.emplace_back(name);
    }
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(exported.size(), 11u);
  for (const std::string& name : exported) {
    EXPECT_EQ(name.rfind(ORBEL_KERNEL_SYMBOL_PREFIX, 0), 0u) << "unexpected export " << name;
  }
}

TEST(KernelModule, OptimisedAndUnoptimisedBuildsRenderTheSameBits) {
  LoadedKernel optimised(ORBEL_KERNEL_MODULE);
  LoadedKernel unoptimised(ORBEL_KERNEL_MODULE_O0);
  ASSERT_TRUE(optimised.loaded() && unoptimised.loaded()) << dlerror();
  const orbel::test::KernelApi a = optimised.api();
  const orbel::test::KernelApi b = unoptimised.api();
  ASSERT_EQ(a.runtimeInit(), 0.0);
  ASSERT_EQ(b.runtimeInit(), 0.0);

  for (double rate : {44100.0, 48000.0, 88200.0, 192000.0}) {
    for (int wave = 0; wave < 4; ++wave) {
      SCOPED_TRACE("rate " + std::to_string(rate) + " wave " + std::to_string(wave));
      const auto phrase = orbel::test::makePhrase(100 + wave, wave, 1.0, rate);
      const std::vector<float> x = orbel::test::renderPhrase(a, rate, phrase);
      const std::vector<float> y = orbel::test::renderPhrase(b, rate, phrase);
      ASSERT_FALSE(x.empty());
      ASSERT_EQ(x.size(), y.size());
      EXPECT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0);
    }
  }
}

}  // namespace
