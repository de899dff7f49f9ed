#include "platform/sha256.h"

#include <openssl/evp.h>

namespace orbel {

bool sha256Digest(const uint8_t* data, size_t length, uint8_t digest[kSha256DigestBytes]) {
  static const uint8_t kEmpty = 0;
  if (data == nullptr) {
    if (length != 0) return false;
    data = &kEmpty;
  }
  unsigned int written = 0;
  if (EVP_Digest(data, length, digest, &written, EVP_sha256(), nullptr) != 1) return false;
  return written == kSha256DigestBytes;
}

}  // namespace orbel

namespace orbel {

Sha256Stream::Sha256Stream() {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) failed_ = true;
  context_ = context;
}

Sha256Stream::~Sha256Stream() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_)); }

bool Sha256Stream::update(const uint8_t* data, size_t length) {
  if (failed_) return false;
  if (length == 0) return true;
  if (data == nullptr || EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), data, length) != 1)
    failed_ = true;
  return !failed_;
}

bool Sha256Stream::finish(uint8_t digest[kSha256DigestBytes]) {
  if (failed_) return false;
  unsigned int written = 0;
  failed_ = true;  // a context is finished once
  return EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), digest, &written) == 1 &&
         written == kSha256DigestBytes;
}

}  // namespace orbel
