#include "archive/archiver_state.h"

#include <unistd.h>

#include <iostream>

#include "archive/errors/pl_exception.h"
#include "platform/console_dialogs.h"
#include "platform/exception.h"
#include "platform/iconv_code_pages.h"
#include "platform/posix_file_system.h"

namespace parcelon {

TPLArchiverState::TPLArchiverState(TComponent* owner, ArchiverEnvironment environment)
    : owner_(owner),
      dialogs_(environment.dialogs),
      code_pages_(environment.code_pages),
      file_system_(environment.file_system) {
  if (dialogs_ == nullptr) {
    own_dialogs_ = std::make_unique<platform::ConsoleDialogs>(std::cin, std::cout, STDIN_FILENO);
    dialogs_ = own_dialogs_.get();
  }
  if (code_pages_ == nullptr) {
    own_code_pages_ = std::make_unique<platform::IconvCodePages>();
    code_pages_ = own_code_pages_.get();
  }
  if (file_system_ == nullptr) {
    own_file_system_ = std::make_unique<platform::PosixFileSystem>();
    file_system_ = own_file_system_.get();
  }
}

TPLArchiverState::~TPLArchiverState() = default;

void TPLArchiverState::SetCompressionLevel(TPLCompressionLevel value) {
  static constexpr uint8_t kModes[] = {0, 1, 6, 9};
  if (value > clMax) value = clMax;  // a value cast from outside the enumeration
  compression_level_ = value;
  compression_mode_ = kModes[value];
  UpdateDefaultMethod();
}

void TPLArchiverState::SetCompressionMode(uint8_t value) {
  if (value > 9) throw EPLException::Create(errc::kInvalidCompressionMode, this);
  compression_mode_ = value;
  compression_level_ = value == 0 ? clNone : value <= 3 ? clFastest : value <= 6 ? clNormal : clMax;
  UpdateDefaultMethod();
}

std::u16string TPLArchiverState::CurrentVersion() const {
  return u"5.10 ";
}

void TPLArchiverState::SetSpanningMode(TPLSpanningMode value) {
  if (is_open_) throw platform::Exception(u"Cannot set spanning mode on open archive");
  spanning_mode_ = value;
}

void TPLArchiverState::UpdateDefaultMethod() {
  new_entry_method_ = 0xFFFF;
}

}  // namespace parcelon
