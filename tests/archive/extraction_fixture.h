// A fixture for extraction tests: an archiver on a.zip in a scratch folder,
// extracting into `out`, whose failures are ignored and recorded one per
// line as "NAME CODE" (followed by " MESSAGE" when `with_messages`).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/test_support.h"

namespace parcelon {

class ExtractionFixture : public testing::Test {
 protected:
  explicit ExtractionFixture(bool with_messages) {
    archiver.OnProcessFileFailure = [this, with_messages](
                                        TPLBaseArchiver&, const std::u16string& name,
                                        TPLProcessOperation, int32_t code, int32_t,
                                        const std::u16string& message, TPLAction& action) {
      failures.append(platform::Utf16ToUtf8(name)).append(" ").append(std::to_string(code));
      if (with_messages) failures.append(" ").append(platform::Utf16ToUtf8(message));
      failures.push_back('\n');
      action = fxaIgnore;
    };
    archiver.SetBaseDir(platform::Utf8ToUtf16(out));
    archiver.SetFileName(platform::Utf8ToUtf16(dir.File("a.zip")));
  }
  // Runs `command` in the scratch folder; it must succeed.
  void Shell(const std::string& command) {
    const testing_support::CommandResult result = testing_support::RunCommand(
        "cd " + testing_support::ShellQuote(dir.path()) + " && " + command);
    ASSERT_EQ(result.status, 0) << command << "\n" << result.err;
  }

  testing_support::ScratchDir dir;
  std::string out = dir.File("out");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  TParcelon archiver{nullptr, {&dialogs, &code_pages}};
  std::string failures;
};

}  // namespace parcelon
