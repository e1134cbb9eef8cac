// What the parts below the archiver component (the codec, the commit, the
// disk scan) ask of it while they work: progress, failure decisions, a full
// disk, the add's confirmations and the password of an encrypted entry. The archiver implements it
// by firing its events, or their built-in defaults; tests implement it directly.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/types.h"

namespace parcelon {

class EngineCallbacks {
 public:
  virtual ~EngineCallbacks() = default;

  // Progress of a whole operation, in percent; `cancel` starts false.
  virtual void OverallProgress(double progress, TPLProcessOperation operation,
                               TPLProgressPhase phase, bool& cancel) = 0;
  // Progress of one entry, in percent; `cancel` starts false.
  virtual void FileProgress(const std::u16string& file_name, double progress,
                            TPLProcessOperation operation, TPLProgressPhase phase,
                            bool& cancel) = 0;
  // An entry failed with an engine error: retry it, skip it or abort.
  virtual TPLAction ProcessFileFailure(const std::u16string& file_name,
                                       TPLProcessOperation operation, int32_t native_error,
                                       int32_t error_code, const std::u16string& message) = 0;
  // A write found the disk full; `cancel` true gives up, false retries.
  // May raise error 65 instead.
  virtual void DiskFull(int32_t volume_number, const std::u16string& volume_file_name,
                        bool& cancel) = 0;
  // Whether a file found by an add may be queued.
  virtual bool ConfirmProcessFile(const std::u16string& file_name,
                                  TPLProcessOperation operation) = 0;
  // May change the stored name, the attributes and the comment of a file
  // about to be queued.
  virtual void StoreFile(std::u16string& file_name, int32_t& file_attr, std::string& comment,
                         const std::u16string& original_file_name) = 0;
  // Whether an entry of the same name may be replaced by `source_file_name`,
  // or an existing file `dest_file_name` by the entry `source_file_name`.
  virtual bool ConfirmOverwrite(const std::u16string& source_file_name,
                                std::u16string& dest_file_name) = 0;
  // May change the name (and with it the target) and the attributes of an
  // entry about to be extracted.
  virtual void ExtractFile(std::u16string& file_name, uint32_t& file_attr,
                           const std::string& comment) = 0;
  // The password of the encrypted entry `file_name` is empty or does not
  // fit: `password` holds it and may be replaced by one to try next;
  // `skip_file` true gives the entry up. Without anyone to ask, the entry
  // is given up.
  virtual void Password(const std::u16string& /*file_name*/, std::string& /*password*/,
                        bool& skip_file) {
    skip_file = true;
  }
};

}  // namespace parcelon
