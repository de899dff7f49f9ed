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
