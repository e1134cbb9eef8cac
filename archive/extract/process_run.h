// One run of an operation over the selected entries of an archive: the
// confirmation, the progress events, the cancel, and the failure rule that
// turns an engine error of one entry into the failure event's answer
// (retry it, skip it, or end the run).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/codec/progress.h"
#include "archive/common/engine_callbacks.h"
#include "archive/directory/dir_array.h"

namespace parcelon {

class TPLProcessRun {
 public:
  // Does the operation's work on one entry: its index, its stored name and
  // the folder to work in. May raise engine errors (offered to the failure
  // event); a deletion removes the entry from the directory.
  using Worker = std::function<void(int32_t index, const std::u16string& name,
                                    const std::u16string& dest_dir)>;
  struct Host {
    TPLDirArray& dir;
    EngineCallbacks& events;
    RunProgress& progress;
    std::u16string dest_dir;              // where the worker writes, ending in '/'
    std::function<void()> cancel_update;  // after an abort or a cancel
  };

  // `host` and what it refers to must outlive the run.
  TPLProcessRun(Host host, TPLProcessOperation operation, Worker worker)
      : host_(std::move(host)), operation_(operation), worker_(std::move(worker)) {}

  // Runs over entry `index` alone (when it is marked), or with -1 over every
  // marked entry. Exceptions other than engine errors leave the run.
  void Run(int32_t index);

 private:
  bool Reports() const { return operation_ == poExtract || operation_ == poTest; }
  void FireOverall(double percent, TPLProgressPhase phase);
  // Works on entry `index` until the answer is no retry; false to end the run.
  bool Attempt(int32_t index);
  // One attempt; gives the failure event's answer (fxaIgnore when it went well).
  TPLAction AttemptOnce(int32_t index);
  void FireFile(const std::u16string& name, double percent, TPLProgressPhase phase);

  Host host_;
  TPLProcessOperation operation_;
  Worker worker_;
};

}  // namespace parcelon
