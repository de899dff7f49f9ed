#include "banks/hosted_bank.h"

#include <cstdio>
#include <vector>

#include "banks/asset_verify.h"
#include "platform/archive_extract.h"
#include "platform/atomic_file.h"
#include "platform/folders.h"
#include "platform/https_download.h"
#include "platform/sha256.h"
#include "platform/user_data.h"

namespace orbel {

namespace {

constexpr const char* kPinMessage = "a hosted bank must pin a 64-hex sha256";
constexpr const char* kNotZipMessage = "the downloaded archive is not a readable zip";
constexpr const char* kCancelledMessage = "the download was cancelled";
constexpr uint32_t kStagingNumbers = 1000000;
constexpr int kStagingAttempts = 16;

bool fail(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

std::string hexDigest(const uint8_t digest[kSha256DigestBytes]) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < kSha256DigestBytes; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

// A staging folder of our own beside the bank's folder. The name is drawn
// again when another fetch holds it: its folder is never taken or removed.
std::string createStagingFolder(const std::string& bankDir) {
  for (int attempt = 0; attempt < kStagingAttempts; ++attempt) {
    const std::string staging =
        bankDir + ".staging-" + std::to_string(randomBelow(kStagingNumbers));
    if (createNewFolder(staging)) return staging;
    if (!isDirectory(bankDir.substr(0, bankDir.rfind('/')))) break;
  }
  return {};
}

// The staging folder itself when it holds bank.json; otherwise its one real
// directory (links and names beginning with "." do not count) when there is
// exactly one; otherwise the staging folder.
std::string packRoot(const std::string& staging) {
  if (pathExists(staging + "/bank.json")) return staging;
  std::vector<FolderEntry> entries;
  if (!listFolder(staging, entries)) return staging;
  const FolderEntry* only = nullptr;
  size_t directories = 0;
  for (const FolderEntry& entry : entries) {
    if (entry.name.empty() || entry.name[0] == '.' || !entry.isDirectory) continue;
    ++directories;
    only = &entry;
  }
  return directories == 1 ? staging + "/" + only->name : staging;
}

std::string unpackLimitMessage(const HostedBankOptions& options) {
  return "the downloaded archive unpacks to more than " + std::to_string(options.maxUnpackedBytes) +
         " bytes or " + std::to_string(options.maxEntries) + " entries";
}

// Download into the staging folder, hashing on the way; the archive appears
// as bank.zip only when complete and matching the pin.
bool downloadArchive(const std::string& url, const std::string& sha256, const std::string& archive,
                     const HostedBankOptions& options, std::string& error) {
  AtomicFileWriter file;
  if (!file.open(archive)) return fail(error, "cannot write the downloaded archive");
  Sha256Stream hash;
  bool writeFailed = false;
  HttpsDownloadOptions download;
  download.maxBytes = options.maxArchiveBytes;
  download.caFile = options.caFile;
  download.cancel = options.cancel;
  const HttpsDownloadResult result =
      httpsDownload(url, download, [&](const uint8_t* data, size_t length) {
        if (!file.write(data, length)) {
          writeFailed = true;
          return false;
        }
        return hash.update(data, length);
      });
  if (result.cancelled) return fail(error, kCancelledMessage);
  if (writeFailed) return fail(error, "cannot write the downloaded archive");
  if (result.tooLarge)
    return fail(error, "the hosted bank archive is larger than " +
                           std::to_string(options.maxArchiveBytes) + " bytes");
  if (!result.ok) {
    if (result.status != 0 && result.status != 200) {
      char status[32];
      std::snprintf(status, sizeof status, "HTTP %ld", result.status);
      return fail(error, status);
    }
    return fail(error, result.error.empty() ? "download failed" : result.error);
  }
  uint8_t digest[kSha256DigestBytes];
  if (!hash.finish(digest)) return fail(error, "download failed");
  const std::string computed = hexDigest(digest);
  if (computed != sha256)
    return fail(error, "downloaded bytes hash to " + computed.substr(0, 16) +
                           "\xE2\x80\xA6 which does not match the pinned sha256");
  if (!file.commit()) return fail(error, "cannot write the downloaded archive");
  return true;
}

bool unpackArchive(const std::string& archive, const std::string& staging,
                   const HostedBankOptions& options, std::string& error) {
  ArchiveLimits limits;
  limits.maxBytes = options.maxUnpackedBytes;
  limits.maxEntries = options.maxEntries;
  std::string detail;
  const ArchiveExtract result =
      extractZipArchive(archive, staging, limits, options.cancel, &detail);
  removeTree(archive);
  switch (result) {
    case ArchiveExtract::Ok:
      return true;
    case ArchiveExtract::Unreadable:
      if (!detail.empty())
        std::fprintf(stderr, "orbel-plugin-shell: hosted bank archive refused: %s\n",
                     detail.c_str());
      return fail(error, kNotZipMessage);
    case ArchiveExtract::TooLarge:
      return fail(error, unpackLimitMessage(options));
    case ArchiveExtract::Cancelled:
      return fail(error, kCancelledMessage);
    case ArchiveExtract::CannotWrite:
      break;
  }
  return fail(error, "cannot unpack the downloaded archive");
}

// Moves the pack root into place. When another fetch of the same pin got
// there first, its bank is as good as ours (same pin, same archive).
bool movePackIntoCache(const std::string& root, const std::string& bankDir) {
  if (isDirectory(bankDir)) return true;
  removeTree(bankDir);  // a stray file or link where the folder belongs
  if (movePath(root, bankDir)) return true;
  return isDirectory(bankDir);
}

}  // namespace

bool isHostedBankPin(const std::string& sha256) {
  if (sha256.size() != 64) return false;
  for (const char c : sha256)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

std::string hostedBankCacheRoot() {
  const std::string data = userDataFolder();
  if (data.empty()) return {};
  const std::string root = data + "/Orbel/banks";
  return createFolders(root) ? root : std::string();
}

HostedBankLookup lookUpHostedBank(const std::string& url, const std::string& sha256,
                                  std::string& path, std::string& error) {
  path.clear();
  error.clear();
  // Checked before the file system is touched: the pin becomes a folder name.
  if (!isHostedBankPin(sha256)) {
    error = kPinMessage;
    return HostedBankLookup::Failed;
  }
  const std::string root = hostedBankCacheRoot();
  if (root.empty()) {
    error = "cannot create the bank cache directory";
    return HostedBankLookup::Failed;
  }
  const std::string bankDir = root + "/" + sha256;
  // A cached bank is reused without a download and without checking it again.
  if (isDirectory(bankDir)) {
    path = bankDir;
    return HostedBankLookup::Cached;
  }
  switch (classifyDownloadUrl(url)) {
    case DownloadUrl::Invalid:
      error = "hosted bank url is not a valid URL";
      return HostedBankLookup::Failed;
    case DownloadUrl::NotHttps:
      error = "hosted banks must be served over https";
      return HostedBankLookup::Failed;
    case DownloadUrl::Https:
      break;
  }
  path = bankDir;
  return HostedBankLookup::Download;
}

bool downloadHostedBank(const std::string& url, const std::string& sha256,
                        const std::string& bankDir, const HostedBankOptions& options,
                        std::string& path, std::string& error) {
  path.clear();
  error.clear();
  if (!isHostedBankPin(sha256) || bankDir.empty()) return fail(error, kPinMessage);
  const std::string staging = createStagingFolder(bankDir);
  if (staging.empty()) return fail(error, "cannot create the staging directory");
  const std::string archive = staging + "/bank.zip";
  bool ok = downloadArchive(url, sha256, archive, options, error) &&
            unpackArchive(archive, staging, options, error);
  if (ok && !movePackIntoCache(packRoot(staging), bankDir))
    ok = fail(error, "cannot move the unpacked bank into the cache");
  removeTree(staging);
  if (ok) path = bankDir;
  return ok;
}

bool fetchHostedBank(const std::string& url, const std::string& sha256, std::string& path,
                     std::string& error) {
  return fetchHostedBank(url, sha256, HostedBankOptions{}, path, error);
}

bool fetchHostedBank(const std::string& url, const std::string& sha256,
                     const HostedBankOptions& options, std::string& path, std::string& error) {
  std::string bankDir;
  switch (lookUpHostedBank(url, sha256, bankDir, error)) {
    case HostedBankLookup::Cached:
      path = bankDir;
      return true;
    case HostedBankLookup::Failed:
      path.clear();
      return false;
    case HostedBankLookup::Download:
      break;
  }
  return downloadHostedBank(url, sha256, bankDir, options, path, error);
}

bool pickBankFolder(std::string& path, std::string& error) {
  path.clear();
  error = "this build has no folder picker";
  return false;
}

}  // namespace orbel
