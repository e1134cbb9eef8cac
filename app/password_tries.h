// The password of an encrypted entry, asked of the user through the dialogs
// at most three times for one entry: after a password that does not fit,
// the next question says so; after the third wrong or empty answer the
// entry is given up (skipped), so endless input never keeps asking.
#pragma once

#include <string>

#include "archive/base_archiver.h"
#include "platform/dialogs.h"

namespace kmlcompat {

class PasswordTries {
 public:
  static constexpr int kTries = 3;

  // `dialogs` is not owned and must outlive the object.
  explicit PasswordTries(platform::Dialogs& dialogs) : dialogs_(dialogs) {}

  // Makes this object answer `archive`'s password requests; the object must
  // outlive the archive's use of it.
  void Attach(parcelon::TPLBaseArchiver& archive);

 private:
  // `password` holds the one that did not fit (empty when none was tried).
  void Ask(const std::u16string& name, std::string& password, bool& skip);

  platform::Dialogs& dialogs_;
  std::u16string entry_;
  int asked_ = 0;  // questions for entry_ so far
};

}  // namespace kmlcompat
