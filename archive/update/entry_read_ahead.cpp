#include "archive/update/entry_read_ahead.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/common/secret_text.h"
#include "archive/update/source_file.h"
#include "platform/stream_window.h"

namespace parcelon {

// A planned entry as far as it was read. Only the calling thread touches it;
// its blocks travel through the pool's job.
struct EntryReadAhead::Planned {
  std::u16string source;
  // A caller's stream, read from `start` on, instead of a disk file; its
  // position at the commit's start goes back to it once the entry is
  // written (each block is read at its own offset, as several entries may
  // share the stream).
  std::shared_ptr<platform::Stream> caller;
  int64_t start = 0;
  int64_t remembered = 0;
  uint8_t mode = 0;
  bool opened = false;
  std::unique_ptr<platform::Stream> stream;
  std::exception_ptr open_failure;
  uint64_t size = 0;  // when it was opened
  uint64_t read = 0;
  std::vector<size_t> sizes;  // of the blocks read
  bool stopped = false;       // a short read or a read failure came next
  std::exception_ptr read_failure;
  std::shared_ptr<DeflateJob> job;

  size_t NextBlockSize() const {
    return static_cast<size_t>(std::min<uint64_t>(ReadBufferSize(mode), size - read));
  }
  bool ReadAll() const { return stopped || read >= size; }
};

EntryReadAhead::EntryReadAhead(const EntryWriteContext& context, int threads)
    : context_(context), pool_(threads) {}

EntryReadAhead::~EntryReadAhead() = default;

std::unique_ptr<EntryReadAhead> EntryReadAhead::Start(const EntryWriteContext& context,
                                                      int threads) {
  if (threads < 2) return nullptr;
  try {
    return std::make_unique<EntryReadAhead>(context, threads);
  } catch (const std::system_error&) {
    return nullptr;  // the work is done on the calling thread instead
  }
}

bool EntryReadAhead::Qualifies(const TDirItem& item) {
  return !item.IsFolder() && !HasSecret(item.Password()) && item.RealMethod == 8;
}

void EntryReadAhead::Plan(const TDirItem& item) {
  if (!Qualifies(item)) return;
  auto entry = std::make_shared<Planned>();
  entry->source = item.SourceFileName();
  entry->mode = item.CompressionMode;
  if ((entry->caller = item.DataStream())) {
    entry->start = item.DataStreamPosition();
    entry->remembered = entry->caller->Position();
  }
  planned_.push_back(std::move(entry));
}

std::unique_ptr<PreparedSource> EntryReadAhead::Take(const TDirItem& item) {
  if (planned_.empty() || !Qualifies(item)) return nullptr;
  const std::shared_ptr<Planned> entry = planned_.front();
  if (entry->source != item.SourceFileName() || entry->mode != item.CompressionMode ||
      entry->caller != item.DataStream())
    return nullptr;
  planned_.pop_front();
  current_ = entry;
  Open(*entry);
  Fill();
  return std::make_unique<PreparedSource>(*this, entry);
}

// Reads the entry being written, then the planned ones in order, until the
// budget or the number of files open ahead runs out. The files ahead are
// read in batches: while the first half of them is still read whole, the
// workers have enough to do, and the next ones wait until that half was
// taken, so that idle workers are woken once per batch, not once per file.
void EntryReadAhead::Fill() {
  if (const auto current = current_.lock(); current && !FillEntry(*current)) return;
  constexpr size_t kHalf = kEntriesAhead / 2;
  if (planned_.size() > kHalf && planned_[kHalf - 1]->opened && planned_[kHalf - 1]->ReadAll())
    return;
  const size_t ahead = std::min(planned_.size(), kEntriesAhead);
  for (size_t i = 0; i < ahead; ++i)
    if (!FillEntry(*planned_[i])) return;
}

// Reads `entry` on while the budget allows; false when it ran out.
bool EntryReadAhead::FillEntry(Planned& entry) {
  Open(entry);
  while (!entry.ReadAll()) {
    if (pool_.Held() + entry.NextBlockSize() > kReadAheadBudget) return false;
    ReadBlock(entry);
  }
  return true;
}

// Opens the entry's source once; a failure is kept for its turn.
void EntryReadAhead::Open(Planned& entry) {
  if (entry.opened) return;
  entry.opened = true;
  try {
    entry.stream = entry.caller
                       ? std::make_unique<platform::StreamWindow>(*entry.caller, entry.start)
                       : OpenSourceFile(entry.source, context_);
    entry.stream->Seek(0, platform::SeekOrigin::kBegin);
    entry.size = static_cast<uint64_t>(entry.stream->Size());
    entry.job = pool_.NewJob(entry.mode);
  } catch (...) {
    entry.open_failure = std::current_exception();
    entry.stream.reset();
  }
}

// Reads the entry's next block and hands it to the workers (which also sum
// up its CRC-32); a short read or a failure ends the reading, to be met by
// the writer there.
void EntryReadAhead::ReadBlock(Planned& entry) {
  ByteBuffer block(entry.NextBlockSize());
  try {
    if (entry.caller)
      entry.stream->Seek(static_cast<int64_t>(entry.read), platform::SeekOrigin::kBegin);
    if (entry.stream->Read(block.data(), block.size()) != block.size()) {
      entry.stopped = true;
      return;
    }
  } catch (...) {
    entry.read_failure = std::current_exception();
    entry.stopped = true;
    return;
  }
  entry.read += block.size();
  entry.sizes.push_back(block.size());
  pool_.Put(*entry.job, std::move(block), entry.read >= entry.size);
}

PreparedSource::PreparedSource(EntryReadAhead& owner,
                               std::shared_ptr<EntryReadAhead::Planned> entry)
    : owner_(owner), entry_(std::move(entry)) {}

PreparedSource::~PreparedSource() {
  if (entry_->job) owner_.pool_.Abandon(*entry_->job);
  if (!entry_->caller) return;
  try {
    entry_->caller->Seek(entry_->remembered, platform::SeekOrigin::kBegin);
  } catch (...) {
    // The caller's stream keeps whatever position it reached.
  }
}

platform::Stream& PreparedSource::Stream() {
  if (entry_->open_failure) std::rethrow_exception(entry_->open_failure);
  return *entry_->stream;
}

uint64_t PreparedSource::Size() const {
  return entry_->size;
}

bool PreparedSource::Next(std::span<const uint8_t>& deflated, size_t& raw_size, uint32_t& crc) {
  EntryReadAhead::Planned& entry = *entry_;
  if (next_ > 0) owner_.pool_.Done(*entry.job, next_ - 1);
  owner_.Fill();
  while (next_ >= entry.sizes.size() && !entry.ReadAll()) owner_.ReadBlock(entry);
  if (next_ >= entry.sizes.size()) {
    if (entry.read_failure) std::rethrow_exception(entry.read_failure);
    return false;
  }
  bool failed = false;
  deflated = owner_.pool_.Wait(*entry.job, next_, failed, crc);
  raw_size = entry.sizes[next_++];
  return !failed;
}

}  // namespace parcelon
