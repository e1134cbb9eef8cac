#include "archive/base_archiver.h"

#include "archive/errors/failure_default.h"
#include "archive/errors/pl_exception.h"
#include "platform/unicode.h"

namespace parcelon {
TPLBaseArchiver::TPLBaseArchiver(TComponent* owner, ArchiverEnvironment environment)
    : TPLArchiverState(owner, environment) {
  SetCompressionLevel(clFastest);
}

TPLBaseArchiver::~TPLBaseArchiver() {
  CloseArchive();
}

void TPLBaseArchiver::CheckOpen() const {
  if (!is_open_) throw EPLException::Create(errc::kArchiveNotOpen, this);
}

void TPLBaseArchiver::CheckNoUpdate() const {
  if (InUpdate()) throw EPLException::Create(errc::kUpdateInProgress, this);
}

void TPLBaseArchiver::SetOpen(bool value) {
  if (value == is_open_) return;
  if (value) {
    OpenArchive();
  } else {
    CloseArchive();
  }
}

// --- Search ---

SearchScope TPLBaseArchiver::Scope() {
  return SearchScope{dir_manager_->Dir(), *code_pages_, options_.Recurse()};
}

bool TPLBaseArchiver::FindFirst(const std::u16string& file_mask, TPLArchiveItem& item,
                                int32_t search_attr, const std::u16string& exclusion_mask) {
  CheckOpen();
  return FindFirstItem(Scope(), file_mask, item, search_attr, exclusion_mask,
                       options_.StorePath() == spFullPathWithDrive);
}

bool TPLBaseArchiver::FindNext(TPLArchiveItem& item) {
  CheckOpen();
  return FindNextItem(Scope(), item);
}

bool TPLBaseArchiver::InternalFind(TPLArchiveItem& item) {
  CheckOpen();
  return InternalFindItem(Scope(), item);
}

bool TPLBaseArchiver::ItemMatches(int32_t index, const TPLArchiveItem& item) {
  CheckOpen();
  return ItemMatchesEntry(Scope(), index, item);
}

// --- Event triggers ---

void TPLBaseArchiver::DoOverallProgress(double progress, TPLProcessOperation operation,
                                        TPLProgressPhase phase, bool& cancel) {
  cancel = false;
  if (OnOverallProgress) OnOverallProgress(*this, progress, operation, phase, cancel);
}

void TPLBaseArchiver::DoFileProgress(const std::u16string& file_name, double progress,
                                     TPLProcessOperation operation, TPLProgressPhase phase,
                                     bool& cancel) {
  cancel = false;
  if (OnFileProgress) OnFileProgress(*this, file_name, progress, operation, phase, cancel);
}

void TPLBaseArchiver::DoCopyTempFileProgress(double progress, TPLProgressPhase phase,
                                             bool& cancel) {
  cancel = false;
  if (OnCopyTempFileProgress) OnCopyTempFileProgress(*this, progress, phase, cancel);
}

void TPLBaseArchiver::DoConfirmOverwrite(const std::u16string& source_file_name,
                                         std::u16string& dest_file_name, bool& confirm) {
  if (OnConfirmOverwrite) {
    OnConfirmOverwrite(*this, source_file_name, dest_file_name, confirm);
    return;
  }
  const std::string question = "Overwrite file \"" + platform::Utf16ToUtf8(dest_file_name) +
                               "\" with \"" + platform::Utf16ToUtf8(source_file_name) + "\"";
  switch (dialogs_->Confirm(question)) {
    case platform::ConfirmAnswer::kYes:
      confirm = true;
      break;
    case platform::ConfirmAnswer::kNo:
      confirm = false;
      break;
    case platform::ConfirmAnswer::kNoToAll:
      confirm = false;
      options_.SetOverwriteMode(omNever);
      break;
    case platform::ConfirmAnswer::kYesToAll:
      confirm = true;
      options_.SetOverwriteMode(omAlways);
      break;
  }
}

void TPLBaseArchiver::DoConfirmProcessFile(const std::u16string& file_name,
                                           TPLProcessOperation operation, bool& confirm) {
  confirm = true;
  if (OnConfirmProcessFile) OnConfirmProcessFile(*this, file_name, operation, confirm);
}

void TPLBaseArchiver::DoPassword(const std::u16string& file_name, std::string& new_password,
                                 bool& skip_file) {
  if (OnPassword) {
    OnPassword(*this, file_name, new_password, skip_file);
    return;
  }
  auto answer = dialogs_->AskPassword("Password for \"" + platform::Utf16ToUtf8(file_name) + "\"",
                                      "Enter password: ");
  skip_file = !answer.has_value();
  if (answer) new_password = *answer;
}

void TPLBaseArchiver::DoProcessFileFailure(const std::u16string& file_name,
                                           TPLProcessOperation operation, int32_t native_error,
                                           int32_t error_code, const std::u16string& error_message,
                                           TPLAction& action) {
  action = fxaIgnore;
  if (OnProcessFileFailure) {
    OnProcessFileFailure(*this, file_name, operation, native_error, error_code, error_message,
                         action);
    return;
  }
  action = DefaultProcessFileFailure(*dialogs_, native_error, error_message);
}

// Multi-volume archives are not written by this engine: without a handler
// every volume request is refused.
void TPLBaseArchiver::DoRequestBlankVolume(int32_t volume_number, std::u16string& volume_file_name,
                                           bool& cancel) {
  cancel = true;
  if (OnRequestBlankVolume) OnRequestBlankVolume(*this, volume_number, volume_file_name, cancel);
}

void TPLBaseArchiver::DoRequestFirstVolume(std::u16string& volume_file_name, bool& cancel) {
  cancel = true;
  if (OnRequestFirstVolume) OnRequestFirstVolume(*this, 0, volume_file_name, cancel);
}

void TPLBaseArchiver::DoRequestLastVolume(std::u16string& volume_file_name, bool& cancel) {
  cancel = true;
  if (OnRequestLastVolume) OnRequestLastVolume(*this, -1, volume_file_name, cancel);
}

void TPLBaseArchiver::DoRequestMiddleVolume(int32_t volume_number, std::u16string& volume_file_name,
                                            bool& cancel) {
  cancel = true;
  if (OnRequestMiddleVolume) OnRequestMiddleVolume(*this, volume_number, volume_file_name, cancel);
}

void TPLBaseArchiver::DoDiskFull(int32_t volume_number, const std::u16string& volume_file_name,
                                 bool& cancel) {
  if (OnDiskFull) {
    cancel = false;
    OnDiskFull(*this, volume_number, volume_file_name, cancel);
    return;
  }
  if (spanning_mode_ != smSpanning) throw EPLException::Create(errc::kDiskFull);
  cancel = true;
}

void TPLBaseArchiver::DoStoreFile(std::u16string& file_name, int32_t& file_attr,
                                  std::string& comment, const std::u16string& original_file_name) {
  if (OnStoreFile) OnStoreFile(*this, file_name, file_attr, comment, original_file_name);
}

void TPLBaseArchiver::DoExtractFile(std::u16string& file_name, uint32_t& file_attr,
                                    const std::string& comment) {
  if (OnExtractFile) OnExtractFile(*this, file_name, file_attr, comment);
}

void TPLBaseArchiver::DoAfterOpen() {
  if (AfterOpen) AfterOpen(*this);
}

}  // namespace parcelon
