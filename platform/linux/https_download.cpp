// https downloads with libcurl. Each download uses its own easy handle, so
// nothing survives it: the cookie engine is never switched on, libcurl keeps
// no cache, .netrc is not read and no credentials are stored.
#include "platform/https_download.h"

#include <curl/curl.h>

#include <cstdio>
#include <mutex>

namespace orbel {

namespace {

constexpr const char* kUserAgent = "Mirel (orbel-plugin-shell)";
constexpr long kMaxRedirects = 5;

void initialiseCurlOnce() {
  // Never cleaned up: other code in the host process may use libcurl too.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  CURL* curl = nullptr;
  const HttpsDownloadOptions* options = nullptr;
  const DownloadSink* sink = nullptr;
  uint64_t received = 0;
  bool statusRefused = false;
  bool tooLarge = false;
  bool sinkStopped = false;
};

size_t onBody(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<Transfer*>(userdata);
  const size_t length = size * count;
  // A body that is not the archive (an error page) is not taken at all.
  long status = 0;
  curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) {
    t->statusRefused = true;
    return 0;
  }
  if (t->options->maxBytes != 0 && t->received + length > t->options->maxBytes) {
    t->tooLarge = true;
    return 0;
  }
  t->received += length;
  if (length != 0 && !(*t->sink)(reinterpret_cast<const uint8_t*>(data), length)) {
    t->sinkStopped = true;
    return 0;
  }
  return length;
}

int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<const Transfer*>(userdata);
  return t->options->cancel != nullptr && t->options->cancel->load(std::memory_order_relaxed) ? 1
                                                                                              : 0;
}

}  // namespace

DownloadUrl classifyDownloadUrl(const std::string& url) {
  initialiseCurlOnce();
  if (url.empty()) return DownloadUrl::Invalid;
  CURLU* handle = curl_url();
  if (handle == nullptr) return DownloadUrl::Invalid;
  DownloadUrl result = DownloadUrl::Invalid;
  char* scheme = nullptr;
  char* host = nullptr;
  if (curl_url_set(handle, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme != nullptr) {
    // libcurl reports the scheme in lower case, however it was written.
    const std::string lower(scheme);
    if (lower != "https") {
      result = DownloadUrl::NotHttps;
    } else if (curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK && host != nullptr &&
               host[0] != 0) {
      result = DownloadUrl::Https;
    }
  }
  curl_free(scheme);
  curl_free(host);
  curl_url_cleanup(handle);
  return result;
}

HttpsDownloadResult httpsDownload(const std::string& url, const HttpsDownloadOptions& options,
                                  const DownloadSink& sink) {
  HttpsDownloadResult result;
  if (classifyDownloadUrl(url) != DownloadUrl::Https) {
    result.error = "only https URLs are downloaded";
    return result;
  }
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    result.error = "cannot start a download";
    return result;
  }
  Transfer transfer;
  transfer.curl = curl;
  transfer.options = &options;
  transfer.sink = &sink;
  char errorText[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  // Credentials of the address are never sent on to another host.
  curl_easy_setopt(curl, CURLOPT_UNRESTRICTED_AUTH, 0L);
  curl_easy_setopt(curl, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
  // Worker threads must not see signals from the resolver.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.requestTimeoutSeconds);
  // A request that receives nothing for this long has timed out.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.requestTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.totalTimeoutSeconds);
  if (options.maxBytes != 0)
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

  const CURLcode code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_easy_cleanup(curl);

  result.tooLarge = transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED;
  result.cancelled = code == CURLE_ABORTED_BY_CALLBACK;
  result.sinkStopped = transfer.sinkStopped;
  if (code == CURLE_OK && result.status == 200) {
    result.ok = true;
    return result;
  }
  if (code == CURLE_OK || transfer.statusRefused) {
    // The transfer worked but the answer was not the file.
    if (result.status != 200) return result;
  }
  result.error = errorText[0] != 0 ? errorText : curl_easy_strerror(code);
  return result;
}

}  // namespace orbel
