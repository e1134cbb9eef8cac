#include "app/repaired_store.h"

#include "app/spill_range.h"
#include "platform/exception.h"
#include "platform/memory_stream.h"

namespace kmlcompat {

// Takes the bytes of the entry begun: into memory while the budget lasts,
// then (the bytes so far moved along) onto the end of the spill file.
class RepairedStore::Writer final : public platform::Stream {
 public:
  Writer(platform::FileSystem& fs, std::string folder, uint64_t budget)
      : fs_(fs), folder_(std::move(folder)), budget_(budget) {}

  size_t Write(const void* buffer, size_t n) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (!spilling_ && used_ + pending_.size() + n > budget_) MoveToSpill();
    if (!spilling_) {
      pending_.insert(pending_.end(), bytes, bytes + n);
      return n;
    }
    spill_->Seek(entry_start_ + written_, platform::SeekOrigin::kBegin);
    const size_t done = spill_->Write(bytes, n);
    written_ += static_cast<int64_t>(done);
    return done;
  }
  size_t Read(void*, size_t) override {
    throw platform::EStreamError(u"Stream read error: the stream is write-only");
  }
  // Only the current position is a place to be: writing appends.
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    const int64_t at = spilling_ ? written_ : static_cast<int64_t>(pending_.size());
    if (offset != (origin == platform::SeekOrigin::kBegin ? at : 0))
      throw platform::EStreamError(u"Stream seek error: the stream only appends");
    return at;
  }
  void SetSize(int64_t) override {
    throw platform::EStreamError(u"Stream size error: the stream only appends");
  }

  void Begin() {
    Drop();
    entry_start_ = spill_end_;
  }
  std::unique_ptr<platform::Stream> Keep() {
    if (spilling_) {
      spill_end_ = entry_start_ + written_;
      spilling_ = false;
      return std::make_unique<SpillRange>(*spill_, entry_start_, written_);
    }
    pending_.shrink_to_fit();
    used_ += pending_.size();
    return std::make_unique<platform::MemoryStream>(std::exchange(pending_, {}));
  }
  void Drop() {
    pending_ = {};
    spilling_ = false;
    written_ = 0;
  }

 private:
  void MoveToSpill() {
    if (!spill_) {
      std::string path;
      spill_ = fs_.CreateUniqueStream(folder_, "repaired", &path);
    }
    spill_->Seek(entry_start_, platform::SeekOrigin::kBegin);
    spill_->WriteBuffer(pending_.data(), pending_.size());
    written_ = static_cast<int64_t>(pending_.size());
    pending_ = {};
    spilling_ = true;
  }

  platform::FileSystem& fs_;
  std::string folder_;
  uint64_t budget_;
  uint64_t used_ = 0;             // bytes of the entries kept in memory
  std::vector<uint8_t> pending_;  // the entry begun, while in memory
  std::unique_ptr<platform::Stream> spill_;
  int64_t spill_end_ = 0;    // end of the last entry kept in the spill file
  int64_t entry_start_ = 0;  // where the entry begun starts in the spill file
  int64_t written_ = 0;      // its bytes there
  bool spilling_ = false;    // the entry begun goes to the spill file
};

RepairedStore::RepairedStore(platform::FileSystem& fs, std::string folder, uint64_t memory_budget)
    : writer_(std::make_unique<Writer>(fs, std::move(folder), memory_budget)) {}

RepairedStore::~RepairedStore() {
  kept_.clear();  // the ranges go before the spill file they read
}

platform::Stream& RepairedStore::Begin() {
  writer_->Begin();
  return *writer_;
}

platform::Stream& RepairedStore::Keep() {
  kept_.push_back(writer_->Keep());
  return *kept_.back();
}

void RepairedStore::Drop() {
  writer_->Drop();
}

}  // namespace kmlcompat
