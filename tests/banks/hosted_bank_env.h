// What the hosted bank tests share: one loopback https server for the whole
// test program, serving the archives of make_bank_zips.py, and a fresh
// per-user data folder ($XDG_DATA_HOME) for every test, so the cache starts
// empty and nothing is written into the real home folder.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "banks/asset_verify.h"
#include "banks/hosted_bank.h"
#include "platform/files.h"
#include "tests/banks/https_server.h"
#include "tests/banks/temp_dir.h"

namespace orbel::test {

class HostedBankServerEnv : public ::testing::Environment {
public:
  void SetUp() override {
    www_ = std::make_unique<TempDir>();
    work_ = std::make_unique<TempDir>();
    ASSERT_TRUE(runPython({ORBEL_TEST_SCRIPTS "/make_bank_zips.py", www_->path()}));
    ASSERT_TRUE(server_.start(www_->path(), work_->path()))
        << "the loopback https server did not start";
  }
  void TearDown() override {
    server_.stop();
    www_.reset();
    work_.reset();
  }

  static HostedBankServerEnv* instance;
  HttpsBankServer server_;
  std::unique_ptr<TempDir> www_, work_;
};

inline HostedBankServerEnv* HostedBankServerEnv::instance = nullptr;

class HostedBankTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(HostedBankServerEnv::instance, nullptr);
    data_ = std::make_unique<TempDir>();
    setenv("XDG_DATA_HOME", data_->path().c_str(), 1);
    options_.caFile = server().caFile();
    // Small bounds, so a bomb is quick to prove.
    options_.maxUnpackedBytes = 4 << 20;
    options_.maxEntries = 16;
  }
  void TearDown() override { unsetenv("XDG_DATA_HOME"); }

  static const HttpsBankServer& server() { return HostedBankServerEnv::instance->server_; }
  static std::string served(const std::string& name) { return server().url("/files/" + name); }
  static std::string www(const std::string& name) {
    return *HostedBankServerEnv::instance->www_ / name;
  }

  // The pin of a served archive.
  static std::string pinOf(const std::string& name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(readWholeFile(www(name), bytes)) << name;
    return sha256Hex(bytes.data(), bytes.size());
  }

  std::string dataFolder() const { return data_->path(); }
  std::string cacheRoot() const { return data_->path() + "/Orbel/banks"; }

  // Every path below the data folder, relative to it.
  std::set<std::string> dataTree() const {
    std::set<std::string> all;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(data_->path(), ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      all.insert(std::filesystem::relative(it->path(), data_->path()).string());
    return all;
  }

  // The names in the cache root.
  std::set<std::string> cacheEntries() const {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(cacheRoot(), ec))
      names.insert(entry.path().filename().string());
    return names;
  }

  // Nothing of an archive ever lands outside the staging folder.
  static bool outsideIsEmpty() {
    std::error_code ec;
    return std::filesystem::is_empty(www("outside"), ec);
  }

  HostedBankOptions options_;
  std::unique_ptr<TempDir> data_;
};

}  // namespace orbel::test
