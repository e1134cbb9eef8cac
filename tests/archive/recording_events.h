// An EngineCallbacks for tests: records what the engine reports and answers as
// told.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "archive/common/engine_callbacks.h"
#include "archive/errors/pl_exception.h"

namespace testing_support {

struct RecordingEvents : parcelon::EngineCallbacks {
  struct Progress {
    std::u16string name;  // empty for overall progress
    double percent;
    parcelon::TPLProcessOperation operation;
    parcelon::TPLProgressPhase phase;
  };
  struct Failure {
    std::u16string name;
    int32_t native_error;
  };

  std::vector<Progress> progress;
  std::vector<Failure> failures;
  std::deque<parcelon::TPLAction> failure_answers;  // empty: fxaAbort
  std::deque<bool> disk_full_cancels;               // empty: raise error 65
  int disk_full_calls = 0;
  // Cancels at the Nth progress event (counting from 1); 0 never.
  int cancel_at_progress = 0;
  bool confirm_process = true;
  bool confirm_overwrite = true;

  void OverallProgress(double percent, parcelon::TPLProcessOperation operation,
                       parcelon::TPLProgressPhase phase, bool& cancel) override {
    Record(u"", percent, operation, phase, cancel);
  }
  void FileProgress(const std::u16string& name, double percent,
                    parcelon::TPLProcessOperation operation, parcelon::TPLProgressPhase phase,
                    bool& cancel) override {
    Record(name, percent, operation, phase, cancel);
  }
  parcelon::TPLAction ProcessFileFailure(const std::u16string& name, parcelon::TPLProcessOperation,
                                         int32_t native_error, int32_t,
                                         const std::u16string&) override {
    failures.push_back({name, native_error});
    if (failure_answers.empty()) return parcelon::fxaAbort;
    const parcelon::TPLAction answer = failure_answers.front();
    failure_answers.pop_front();
    return answer;
  }
  void DiskFull(int32_t, const std::u16string&, bool& cancel) override {
    ++disk_full_calls;
    if (disk_full_cancels.empty()) throw parcelon::EPLException::Create(parcelon::errc::kDiskFull);
    cancel = disk_full_cancels.front();
    disk_full_cancels.pop_front();
  }
  bool ConfirmProcessFile(const std::u16string&, parcelon::TPLProcessOperation) override {
    return confirm_process;
  }
  void StoreFile(std::u16string&, int32_t&, std::string&, const std::u16string&) override {}
  bool ConfirmOverwrite(const std::u16string&, std::u16string&) override {
    return confirm_overwrite;
  }
  void ExtractFile(std::u16string&, uint32_t&, const std::string&) override {}

 private:
  void Record(const std::u16string& name, double percent, parcelon::TPLProcessOperation operation,
              parcelon::TPLProgressPhase phase, bool& cancel) {
    progress.push_back({name, percent, operation, phase});
    cancel = static_cast<int>(progress.size()) == cancel_at_progress;
  }
};

}  // namespace testing_support
