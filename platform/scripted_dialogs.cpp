#include "platform/scripted_dialogs.h"

namespace platform {

template <typename T>
T ScriptedDialogs::Next(std::deque<T>& answers, const char* kind, const std::string& text) {
  calls_.push_back({kind, text});
  if (answers.empty()) throw std::logic_error(std::string("unscripted ") + kind + ": " + text);
  T answer = answers.front();
  answers.pop_front();
  return answer;
}

std::vector<std::string> ScriptedDialogs::Messages() const {
  std::vector<std::string> out;
  for (const Call& c : calls_)
    if (c.kind == "message") out.push_back(c.text);
  return out;
}

void ScriptedDialogs::ShowMessage(const std::string& text) {
  calls_.push_back({"message", text});
  if (on_message) on_message(text);
}

ConfirmAnswer ScriptedDialogs::Confirm(const std::string& text) {
  return Next(confirm_answers, "confirm", text);
}

FailureAnswer ScriptedDialogs::AskOnFailure(const std::string& text) {
  return Next(failure_answers, "failure", text);
}

FailureAnswer ScriptedDialogs::AskAbortOrIgnore(const std::string& text) {
  return Next(failure_answers, "abort-ignore", text);
}

std::optional<std::string> ScriptedDialogs::AskPassword(const std::string& caption,
                                                        const std::string&) {
  return Next(password_answers, "password", caption);
}

std::optional<std::string> ScriptedDialogs::ChooseFileToOpen(const OpenFileRequest& request) {
  last_open_ = request;
  return Next(open_answers, "open", request.title);
}

}  // namespace platform
