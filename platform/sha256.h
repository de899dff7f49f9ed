#pragma once
// SHA-256 digest (FIPS 180-4) of a byte range, from the system's crypto
// library. Sound pack assets and hosted archives are checked against it.
#include <cstddef>
#include <cstdint>

namespace orbel {

constexpr size_t kSha256DigestBytes = 32;

// Writes the 32-byte digest of [data, data + length) to `digest`. `data` may
// be null when `length` is 0. False only if the crypto library fails.
bool sha256Digest(const uint8_t* data, size_t length, uint8_t digest[kSha256DigestBytes]);

// The same digest over data that arrives in pieces (a download).
class Sha256Stream {
public:
  Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  ~Sha256Stream();

  // False once the crypto library failed; later calls then do nothing.
  bool update(const uint8_t* data, size_t length);
  // The digest of everything given; once only.
  bool finish(uint8_t digest[kSha256DigestBytes]);

private:
  void* context_ = nullptr;
  bool failed_ = false;
};

}  // namespace orbel
