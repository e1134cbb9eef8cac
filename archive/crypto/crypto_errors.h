// Failures of the entry ciphers, as CodecErrors, so that a data path that
// treats any failing stage as a failed entry needs nothing more; callers
// that ask for the password again catch WrongPasswordError first.
#pragma once

#include "archive/common/data_stage.h"

namespace parcelon {

// The encryption header does not fit the password (its check byte or its
// password verification value differs).
class WrongPasswordError : public CodecError {
 public:
  using CodecError::CodecError;
};

// The authentication code behind AES-encrypted data differs from the code
// computed over the data: the data, or the password, is wrong.
class AuthenticationError : public CodecError {
 public:
  using CodecError::CodecError;
};

}  // namespace parcelon
