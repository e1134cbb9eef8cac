// The archiver's side of EngineCallbacks: each question of the parts below the
// component fires the archiver's event through its virtual trigger, so that
// handlers and overriding classes see every one.
#pragma once

#include "archive/common/engine_callbacks.h"

namespace parcelon {

class TPLBaseArchiver;

class ArchiverEventRelay final : public EngineCallbacks {
 public:
  // `archiver` owns this object.
  explicit ArchiverEventRelay(TPLBaseArchiver& archiver) : archiver_(archiver) {}

  void OverallProgress(double progress, TPLProcessOperation operation, TPLProgressPhase phase,
                       bool& cancel) override;
  void FileProgress(const std::u16string& file_name, double progress, TPLProcessOperation operation,
                    TPLProgressPhase phase, bool& cancel) override;
  TPLAction ProcessFileFailure(const std::u16string& file_name, TPLProcessOperation operation,
                               int32_t native_error, int32_t error_code,
                               const std::u16string& message) override;
  void DiskFull(int32_t volume_number, const std::u16string& volume_file_name,
                bool& cancel) override;
  bool ConfirmProcessFile(const std::u16string& file_name, TPLProcessOperation operation) override;
  void StoreFile(std::u16string& file_name, int32_t& file_attr, std::string& comment,
                 const std::u16string& original_file_name) override;
  bool ConfirmOverwrite(const std::u16string& source_file_name,
                        std::u16string& dest_file_name) override;
  void ExtractFile(std::u16string& file_name, uint32_t& file_attr,
                   const std::string& comment) override;
  // Fires the password event; the password it leaves becomes the
  // archiver's, tried first for later entries.
  void Password(const std::u16string& file_name, std::string& password, bool& skip_file) override;

 private:
  TPLBaseArchiver& archiver_;
};

}  // namespace parcelon
