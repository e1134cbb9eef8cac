#include "archive/common/secret_text.h"

#include <openssl/crypto.h>

namespace parcelon {

SecretText::~SecretText() {
  // capacity() + 1 bytes are addressable: the terminator's slot included.
  OPENSSL_cleanse(text_.data(), text_.capacity() + 1);
}

}  // namespace parcelon
