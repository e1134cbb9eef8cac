#include "archive/crypto/crypto_transform.h"

#include <stdexcept>

namespace parcelon {

void TPLCryptoTransform::Require(CryptoMode mode) const {
  if (mode_ != mode) throw std::logic_error("cipher used in the other direction");
}

}  // namespace parcelon
