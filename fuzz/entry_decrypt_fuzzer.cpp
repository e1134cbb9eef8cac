// Feeds arbitrary bytes as the data of an encrypted entry, with the
// password "pw", through the traditional decrypt stage and through an AES
// one, each followed by the inflater. The first three bytes choose the
// block size, the traditional check byte and the AES key strength; the
// rest is the entry's data (header, data, trailer). Wrong passwords,
// failed authentication and invalid deflate data are expected answers;
// crashes, hangs, leaks and sanitizer reports are what the fuzzer looks for.
#include <algorithm>
#include <cstdint>
#include <span>

#include "archive/codec/inflate_stage.h"
#include "archive/crypto/aes_transform.h"
#include "archive/crypto/crypto_stages.h"
#include "archive/crypto/traditional_transform.h"

namespace {

struct Discard : parcelon::DataStage {
  bool Put(std::span<const uint8_t>, bool) override { return true; }
};

void Decrypt(parcelon::TPLCryptoTransform& transform, std::span<const uint8_t> data, size_t block) {
  Discard discard;
  parcelon::ZlibInflateStage inflater(discard);
  parcelon::DecryptStage stage(transform, inflater);
  try {
    size_t at = 0;
    do {
      const size_t n = std::min(block, data.size() - at);
      if (!stage.Put(data.subspan(at, n), at + n == data.size())) break;
      at += n;
    } while (at < data.size());
  } catch (const parcelon::CodecError&) {
    // Damaged data or a wrong password: an expected answer.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 3) return 0;
  const size_t block = 1 + size_t{bytes[0]} * 37;
  const std::span<const uint8_t> data(bytes + 3, size - 3);
  Decrypt(*parcelon::TTraditionalCryptoTransform::ForDecryption("pw", bytes[1]), data, block);
  parcelon::TAESCryptoTransform aes(parcelon::CryptoMode::kDecrypt,
                                    static_cast<uint8_t>(1 + bytes[2] % 3), 8);
  aes.SetPassword("pw");
  Decrypt(aes, data, block);
  return 0;
}
