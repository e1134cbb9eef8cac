#include "app/password_tries.h"

#include <optional>

#include "platform/secret.h"
#include "platform/unicode.h"

namespace kmlcompat {

void PasswordTries::Attach(parcelon::TPLBaseArchiver& archive) {
  archive.OnPassword = [this](parcelon::TPLBaseArchiver&, const std::u16string& name,
                              std::string& password, bool& skip) { Ask(name, password, skip); };
}

void PasswordTries::Ask(const std::u16string& name, std::string& password, bool& skip) {
  if (name != entry_) entry_ = name, asked_ = 0;
  if (asked_ >= kTries) return void(skip = true);
  ++asked_;
  std::string caption = password.empty() ? "" : "Wrong password. ";
  caption.append("Password for \"").append(platform::Utf16ToUtf8(name)).append("\"");
  std::optional<std::string> answer = dialogs_.AskPassword(caption, "Enter password: ");
  skip = !answer.has_value();
  if (!answer) return;
  password.swap(*answer);
  platform::WipeSecret(*answer);  // the password that did not fit
}

}  // namespace kmlcompat
