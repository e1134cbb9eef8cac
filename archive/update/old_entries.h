// Where a commit reads the old entries it copies: a copy of the archive's
// tail (see rollback_journal.h), or the old archive itself when the commit
// writes the archive anew into another file.
#pragma once

#include <cstdint>

#include "platform/stream.h"

namespace parcelon {

class OldEntries {
 public:
  virtual ~OldEntries() = default;
  // The archive offsets held: [Cut(), End()).
  virtual int64_t Cut() const = 0;
  virtual int64_t End() const = 0;
  // Positions the source at archive offset `offset` (Cut() <= offset <=
  // End()) and gives it for reading.
  virtual platform::Stream& At(int64_t offset) = 0;
};

// The old archive, read where it lies (it is not written meanwhile).
class OldArchive : public OldEntries {
 public:
  // `archive` must outlive this object.
  OldArchive(platform::Stream& archive, int64_t cut)
      : archive_(archive), cut_(cut), end_(archive.Size()) {}
  int64_t Cut() const override { return cut_; }
  int64_t End() const override { return end_; }
  platform::Stream& At(int64_t offset) override {
    archive_.Seek(offset, platform::SeekOrigin::kBegin);
    return archive_;
  }

 private:
  platform::Stream& archive_;
  int64_t cut_;
  int64_t end_;
};

}  // namespace parcelon
