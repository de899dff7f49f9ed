#pragma once
// Hosted banks: a sound pack published as a zip archive at an https address
// and pinned by the SHA-256 of that archive. It is downloaded once, checked
// against the pin, unpacked and kept in a per-user cache, in a folder named by
// the pin, from which the sound pack loader reads it like any other folder.
//
//   <user data folder>/Orbel/banks/<pin>/            the unpacked pack
//   <user data folder>/Orbel/banks/<pin>.staging-N/  while one is unpacked
//
// A failure never leaves a half-unpacked pack in the cache: the pack's folder
// appears only by the final rename, and the staging folder is removed on
// every failure. Downloads and unpacking block; the bank control runs them on
// a worker thread (banks/hosted_bank_fetcher.h).
#include <atomic>
#include <cstdint>
#include <string>

namespace orbel {

// Bounds on one hosted bank. The sound pack loader reads at most 4096 assets
// and 512 MiB; an archive may be that large, and may unpack to twice the
// loader's limits (room for files a pack carries beside its assets, no room
// for a zip bomb).
inline constexpr uint64_t kHostedBankMaxArchiveBytes = uint64_t{512} << 20;
inline constexpr uint64_t kHostedBankMaxUnpackedBytes = uint64_t{1} << 30;
inline constexpr uint32_t kHostedBankMaxEntries = 8192;

struct HostedBankOptions {
  uint64_t maxArchiveBytes = kHostedBankMaxArchiveBytes;
  uint64_t maxUnpackedBytes = kHostedBankMaxUnpackedBytes;
  uint32_t maxEntries = kHostedBankMaxEntries;
  // The only certificate authorities to trust, in place of the system's.
  // Empty in the product; tests point it at the authority of their own
  // loopback server.
  std::string caFile;
  // When set and true, a download or unpacking stops as soon as it can and
  // fails with "the download was cancelled".
  const std::atomic<bool>* cancel = nullptr;
};

// Exactly 64 lowercase hexadecimal digits. Only such a pin is ever joined to
// the cache root, so no pin can name a folder outside it.
bool isHostedBankPin(const std::string& sha256);

// The cache root, created with its parents when missing; empty when there is
// no per-user data folder or it cannot be created.
std::string hostedBankCacheRoot();

// The quick first half of a fetch, without network or unpacking.
enum class HostedBankLookup : uint8_t {
  Cached = 0,    // `path` is the cached bank's folder: done
  Failed = 1,    // `error` says why (pin, cache root, address)
  Download = 2,  // `path` is the folder the bank will have once downloaded
};
HostedBankLookup lookUpHostedBank(const std::string& url, const std::string& sha256,
                                  std::string& path, std::string& error);

// The slow second half: download, check the pin, unpack, move into `bankDir`
// (from lookUpHostedBank). On success `path` is the bank's folder.
bool downloadHostedBank(const std::string& url, const std::string& sha256,
                        const std::string& bankDir, const HostedBankOptions& options,
                        std::string& path, std::string& error);

// Both halves on the calling thread. On success `path` is the local folder
// of the bank; on failure `error` holds one line. Both are emptied first.
bool fetchHostedBank(const std::string& url, const std::string& sha256, std::string& path,
                     std::string& error);
bool fetchHostedBank(const std::string& url, const std::string& sha256,
                     const HostedBankOptions& options, std::string& path, std::string& error);

// This build has no folder picker: `path` emptied, `error` says so, false.
bool pickBankFolder(std::string& path, std::string& error);

}  // namespace orbel
