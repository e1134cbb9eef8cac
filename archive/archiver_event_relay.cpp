#include "archive/archiver_event_relay.h"

#include "archive/base_archiver.h"

namespace parcelon {

void ArchiverEventRelay::OverallProgress(double progress, TPLProcessOperation operation,
                                         TPLProgressPhase phase, bool& cancel) {
  archiver_.DoOverallProgress(progress, operation, phase, cancel);
}

void ArchiverEventRelay::FileProgress(const std::u16string& file_name, double progress,
                                      TPLProcessOperation operation, TPLProgressPhase phase,
                                      bool& cancel) {
  archiver_.DoFileProgress(file_name, progress, operation, phase, cancel);
}

TPLAction ArchiverEventRelay::ProcessFileFailure(const std::u16string& file_name,
                                                 TPLProcessOperation operation,
                                                 int32_t native_error, int32_t error_code,
                                                 const std::u16string& message) {
  TPLAction action = fxaIgnore;
  archiver_.DoProcessFileFailure(file_name, operation, native_error, error_code, message, action);
  return action;
}

void ArchiverEventRelay::DiskFull(int32_t volume_number, const std::u16string& volume_file_name,
                                  bool& cancel) {
  archiver_.DoDiskFull(volume_number, volume_file_name, cancel);
}

bool ArchiverEventRelay::ConfirmProcessFile(const std::u16string& file_name,
                                            TPLProcessOperation operation) {
  bool confirm = true;
  archiver_.DoConfirmProcessFile(file_name, operation, confirm);
  return confirm;
}

void ArchiverEventRelay::StoreFile(std::u16string& file_name, int32_t& file_attr,
                                   std::string& comment, const std::u16string& original_file_name) {
  archiver_.DoStoreFile(file_name, file_attr, comment, original_file_name);
}

bool ArchiverEventRelay::ConfirmOverwrite(const std::u16string& source_file_name,
                                          std::u16string& dest_file_name) {
  bool confirm = false;
  archiver_.DoConfirmOverwrite(source_file_name, dest_file_name, confirm);
  return confirm;
}

void ArchiverEventRelay::ExtractFile(std::u16string& file_name, uint32_t& file_attr,
                                     const std::string& comment) {
  archiver_.DoExtractFile(file_name, file_attr, comment);
}

void ArchiverEventRelay::Password(const std::u16string& file_name, std::string& password,
                                  bool& skip_file) {
  archiver_.DoPassword(file_name, password, skip_file);
  if (password != archiver_.Password()) archiver_.SetPassword(password);
}

}  // namespace parcelon
