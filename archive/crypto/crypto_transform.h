// One entry's cipher, for encryption or for decryption: the header it puts
// in front of the entry's data (and checks the password with), the data
// transformed in place, and the trailer behind the data (an authentication
// code, or nothing). The stages of crypto_stages.h drive it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace parcelon {

enum class CryptoMode { kEncrypt, kDecrypt };

class TPLCryptoTransform {
 public:
  explicit TPLCryptoTransform(CryptoMode mode) : mode_(mode) {}
  virtual ~TPLCryptoTransform() = default;
  TPLCryptoTransform(const TPLCryptoTransform&) = delete;
  TPLCryptoTransform& operator=(const TPLCryptoTransform&) = delete;

  CryptoMode Mode() const { return mode_; }
  virtual size_t HeaderSize() const = 0;
  virtual size_t TrailerSize() const = 0;

  // Decryption: whether `header` (HeaderSize() bytes, as stored) fits the
  // password; when it does, the transform is keyed for the data behind it.
  // May be called again (a new password, the same header) any time.
  virtual bool AcceptHeader(std::span<const uint8_t> header) = 0;
  // Encryption: the header to store in front of the data; keys the
  // transform afresh.
  virtual std::vector<uint8_t> MakeHeader() = 0;
  // Encrypts or decrypts the next bytes of the data in place.
  virtual void Transform(std::span<uint8_t> data) = 0;
  // Encryption: the trailer to store behind all of the data.
  virtual std::vector<uint8_t> MakeTrailer() = 0;
  // Decryption: whether the stored trailer (TrailerSize() bytes) matches
  // the data transformed so far.
  virtual bool CheckTrailer(std::span<const uint8_t> trailer) = 0;

 protected:
  // Throws std::logic_error when the transform is not in `mode`.
  void Require(CryptoMode mode) const;

 private:
  CryptoMode mode_;
};

}  // namespace parcelon
