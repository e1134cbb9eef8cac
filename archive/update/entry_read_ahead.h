// Reading ahead the disk files of the entries a commit is about to write, on
// the calling thread, and deflating them on worker threads (DeflatePool), so
// that an entry's data is ready, or on its way, when its turn comes. Events,
// the archive and every file stay with the calling thread; what the read
// ahead meets (a file that cannot be opened or read) is kept and raised when
// the entry's turn comes, as if it were met then.
//
// Memory: the blocks read and not yet written, raw or deflated, take at most
// kReadAheadBudget bytes, besides the block the writer waits for and each
// worker's encoder; at most kEntriesAhead files are open ahead of the one
// being written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "archive/codec/compressor.h"
#include "archive/codec/deflate_pool.h"
#include "archive/directory/dir_item.h"
#include "archive/update/entry_writer.h"

namespace parcelon {

constexpr size_t kReadAheadBudget = size_t{64} << 20;
constexpr size_t kEntriesAhead = 64;

class PreparedSource;

class EntryReadAhead {
 public:
  // `context` must outlive the read ahead; `threads` workers deflate.
  // Throws std::system_error when a thread cannot start.
  EntryReadAhead(const EntryWriteContext& context, int threads);
  // A read ahead with `threads` workers, or null (each entry is then read
  // and deflated in turn) for fewer than 2 or when threads cannot start.
  static std::unique_ptr<EntryReadAhead> Start(const EntryWriteContext& context, int threads);
  ~EntryReadAhead();
  EntryReadAhead(const EntryReadAhead&) = delete;
  EntryReadAhead& operator=(const EntryReadAhead&) = delete;

  // Whether `item`'s new data may be read ahead: a disk file or a caller's
  // stream, deflated, without a password (whose cipher draws its random
  // bytes in turn).
  static bool Qualifies(const TDirItem& item);
  // Plans `item`, when it qualifies; entries are planned in the order the
  // commit writes them.
  void Plan(const TDirItem& item);
  // The prepared source of `item` when it is the next planned entry, else
  // null (the entry is written the usual way). Reads ahead as far as the
  // budget allows.
  std::unique_ptr<PreparedSource> Take(const TDirItem& item);

 private:
  friend class PreparedSource;
  struct Planned;

  void Fill();
  bool FillEntry(Planned& entry);
  void Open(Planned& entry);
  void ReadBlock(Planned& entry);

  const EntryWriteContext& context_;
  DeflatePool pool_;
  std::deque<std::shared_ptr<Planned>> planned_;
  std::weak_ptr<Planned> current_;  // the entry being written
};

// An entry's source as it was read ahead: its open stream, and its data
// deflated block by block. Frees what was not taken when it goes.
class PreparedSource : public DeflatedBlocks {
 public:
  PreparedSource(EntryReadAhead& owner, std::shared_ptr<EntryReadAhead::Planned> entry);
  ~PreparedSource() override;
  PreparedSource(const PreparedSource&) = delete;
  PreparedSource& operator=(const PreparedSource&) = delete;

  // The source's stream, as opened ahead (for a caller's stream, a view of
  // it from the entry's start); rethrows the failure to open it.
  platform::Stream& Stream();
  // Its size when it was opened.
  uint64_t Size() const;
  bool Next(std::span<const uint8_t>& deflated, size_t& raw_size, uint32_t& crc) override;

 private:
  EntryReadAhead& owner_;
  std::shared_ptr<EntryReadAhead::Planned> entry_;
  size_t next_ = 0;  // the block Next gives
};

}  // namespace parcelon
