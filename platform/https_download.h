#pragma once
// Downloads over https only: certificate and host name verified, redirects
// followed only to https, nothing kept between downloads (no cookies, no
// cache, no credentials), a time-out for the request and one for the whole
// transfer. The body is handed to a sink in pieces as it arrives.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orbel {

enum class DownloadUrl : uint8_t {
  Https = 0,     // a valid URL whose scheme is https (in any case)
  NotHttps = 1,  // a valid URL with another scheme
  Invalid = 2,   // not a URL
};
DownloadUrl classifyDownloadUrl(const std::string& url);

struct HttpsDownloadOptions {
  // Connecting, and the longest wait for further bytes once connected.
  long requestTimeoutSeconds = 30;
  // The whole transfer.
  long totalTimeoutSeconds = 300;
  // Bodies longer than this are refused (0: no limit).
  uint64_t maxBytes = 0;
  // Certificates of the only authorities to trust, replacing the system's
  // store. Empty in the product; tests set it to trust their own server.
  std::string caFile;
  // When set and true, the download stops as soon as it can.
  const std::atomic<bool>* cancel = nullptr;
};

// Takes the next piece of the body; false stops the download.
using DownloadSink = std::function<bool(const uint8_t* data, size_t length)>;

struct HttpsDownloadResult {
  bool ok = false;         // status 200 and the whole body handed to the sink
  long status = 0;         // the HTTP status of the last response, 0 when none came
  bool tooLarge = false;   // the body exceeded maxBytes
  bool cancelled = false;  // stopped through the cancel flag
  bool sinkStopped = false;
  std::string error;  // on failure: the transport's description, or empty
};

// Only https URLs are fetched; any other is refused without a connection.
HttpsDownloadResult httpsDownload(const std::string& url, const HttpsDownloadOptions& options,
                                  const DownloadSink& sink);

}  // namespace orbel
