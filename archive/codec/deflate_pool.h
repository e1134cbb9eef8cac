// Deflating the blocks of entries on worker threads. The calling thread puts
// each entry's blocks in order; a worker deflates an entry's blocks one after
// the other through one DeflateStage (see deflate_stage.h), so the bytes are
// those the same blocks give on one thread, and sums up the CRC-32 of the
// raw bytes on the way; the calling thread takes the results in order. No
// file is touched here.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "archive/common/byte_buffer.h"

namespace parcelon {

// One entry's blocks on their way through the pool, made by NewJob. Its
// members belong to the pool: they are read and changed under its lock only.
struct DeflateJob {
  struct Block {
    ByteBuffer data;  // the raw block, then its deflated bytes
    bool last = false;
    bool deflated = false;
    uint32_t crc = 0;  // of the entry's source up to this block's end, once deflated
  };
  int level = 1;
  uint32_t crc = 0;          // of the blocks deflated so far, kept by whoever deflates
  std::deque<Block> blocks;  // a block keeps its place while others are added
  size_t next_to_deflate = 0;
  bool busy = false;       // a worker deflates block next_to_deflate
  bool failed = false;     // the encoder failed at block next_to_deflate
  bool abandoned = false;  // nobody takes its blocks any more
  struct Encoder;
  std::shared_ptr<Encoder> encoder;  // while blocks remain to be deflated
};

class DeflatePool {
 public:
  // Starts `threads` workers (at least one), which take no signals. Throws
  // std::system_error when a thread cannot start.
  explicit DeflatePool(int threads);
  // Stops and joins the workers; blocks not yet deflated are dropped.
  ~DeflatePool();
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  // A new job deflating at `level` (0-9), shared by the pool and the caller.
  std::shared_ptr<DeflateJob> NewJob(int level);
  // Hands the job's next raw block to the workers; `last` ends the entry.
  void Put(DeflateJob& job, ByteBuffer raw, bool last);
  // Waits until block `index` (already put) is deflated and gives its bytes,
  // valid until Done(job, index), and in `crc` the CRC-32 of the raw bytes
  // of blocks 0 to `index`; empty with `failed` set when the encoder failed
  // at it or before.
  std::span<const uint8_t> Wait(DeflateJob& job, size_t index, bool& failed, uint32_t& crc);
  // Frees block `index` once its bytes are written.
  void Done(DeflateJob& job, size_t index);
  // Frees the job's blocks that were not taken; the workers leave it.
  void Abandon(DeflateJob& job);
  // The bytes the pool holds: raw and deflated blocks not yet freed.
  size_t Held();

 private:
  void Stop();
  void Work();
  std::shared_ptr<DeflateJob> NextJob(DeflateJob::Block*& block);
  void Deflate(DeflateJob& job, DeflateJob::Block& block);
  void Settle(DeflateJob& job, DeflateJob::Block& block, ByteBuffer made, bool failed);
  void Drop(DeflateJob::Block& block);
  std::shared_ptr<DeflateJob::Encoder> TakeEncoder(int level);
  void GiveBack(std::shared_ptr<DeflateJob::Encoder> encoder);

  std::mutex lock_;
  std::condition_variable work_;  // a block to deflate, or stop
  std::condition_variable done_;  // a block deflated
  std::deque<std::shared_ptr<DeflateJob>> jobs_;
  size_t held_ = 0;
  // Encoders of finished entries, reset, kept for the next entries (zlib's
  // memory is set up once per encoder, not once per entry); a few at most.
  std::vector<std::shared_ptr<DeflateJob::Encoder>> spare_;
  bool stop_ = false;
  std::vector<std::jthread> workers_;
};

}  // namespace parcelon
