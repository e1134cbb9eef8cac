#include "archive/codec/deflate_pool.h"

#include <pthread.h>
#include <signal.h>

#include <new>
#include <utility>

#include "archive/codec/deflate_stage.h"
#include "archive/format/crc32.h"

namespace parcelon {

// Keeps what the deflate stage makes of one block.
class Collector : public DataStage {
 public:
  bool Put(std::span<const uint8_t> block, bool) override {
    made.assign(block.begin(), block.end());
    return true;
  }
  ByteBuffer made;
};

// An entry's deflate stream, kept between its blocks.
struct DeflateJob::Encoder {
  explicit Encoder(int at) : level(at), stage(at, collector) {}
  int level;
  Collector collector;
  DeflateStage stage;
};

namespace {
// Spare encoders kept: one per thread that deflates, with room for one more.
constexpr size_t kMostSpareEncoders = 4;
}  // namespace

// The workers start with every signal blocked, so that a stop signal
// reaches the calling thread (whose blocking calls it interrupts) as it did
// before there were workers.
DeflatePool::DeflatePool(int threads) {
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  try {
    for (int i = 0; i < (threads < 1 ? 1 : threads); ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    Stop();
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

DeflatePool::~DeflatePool() {
  Stop();
}

void DeflatePool::Stop() {
  {
    std::lock_guard guard(lock_);
    stop_ = true;
  }
  work_.notify_all();
  workers_.clear();  // joins
}

std::shared_ptr<DeflateJob> DeflatePool::NewJob(int level) {
  auto job = std::make_shared<DeflateJob>();
  job->level = level;
  std::lock_guard guard(lock_);
  jobs_.push_back(job);
  return job;
}

void DeflatePool::Put(DeflateJob& job, ByteBuffer raw, bool last) {
  {
    std::lock_guard guard(lock_);
    held_ += raw.size();
    job.blocks.push_back({std::move(raw), last, false});
  }
  work_.notify_one();
}

// Rather than wait idle for a block that no worker has taken up yet, the
// calling thread deflates the job's next blocks itself, with the job's own
// encoder and in their order, as a worker would.
std::span<const uint8_t> DeflatePool::Wait(DeflateJob& job, size_t index, bool& failed,
                                           uint32_t& crc) {
  std::unique_lock guard(lock_);
  while (!job.blocks[index].deflated && !job.failed) {
    if (job.busy || job.abandoned || job.next_to_deflate >= job.blocks.size()) {
      done_.wait(guard);
      continue;
    }
    job.busy = true;
    DeflateJob::Block& block = job.blocks[job.next_to_deflate];
    guard.unlock();
    Deflate(job, block);
    guard.lock();
  }
  failed = !job.blocks[index].deflated;
  if (failed) return {};
  crc = job.blocks[index].crc;
  return job.blocks[index].data;
}

void DeflatePool::Done(DeflateJob& job, size_t index) {
  std::lock_guard guard(lock_);
  Drop(job.blocks[index]);
}

void DeflatePool::Abandon(DeflateJob& job) {
  std::lock_guard guard(lock_);
  job.abandoned = true;
  for (size_t i = 0; i < job.blocks.size(); ++i)
    if (!(job.busy && i == job.next_to_deflate)) Drop(job.blocks[i]);
}

size_t DeflatePool::Held() {
  std::lock_guard guard(lock_);
  return held_;
}

void DeflatePool::Drop(DeflateJob::Block& block) {
  held_ -= block.data.size();
  ByteBuffer().swap(block.data);
}

// Deflates blocks until the pool stops.
void DeflatePool::Work() {
  for (;;) {
    DeflateJob::Block* block = nullptr;
    std::shared_ptr<DeflateJob> job = NextJob(block);
    if (!job) return;
    Deflate(*job, *block);
  }
}

// The earliest job with a block to deflate, marked busy, and that block
// (found under the lock: the block list may grow meanwhile, the block stays
// where it is); null once the pool stops. Jobs that are finished or
// abandoned leave the list on the way.
std::shared_ptr<DeflateJob> DeflatePool::NextJob(DeflateJob::Block*& block) {
  std::unique_lock guard(lock_);
  for (;;) {
    if (stop_) return nullptr;
    for (auto it = jobs_.begin(); it != jobs_.end();) {
      DeflateJob& job = **it;
      const bool ended = job.failed || job.abandoned ||
                         (!job.blocks.empty() && job.blocks.back().last &&
                          job.next_to_deflate == job.blocks.size());
      if (ended && !job.busy) {
        it = jobs_.erase(it);
        continue;
      }
      if (!job.busy && !ended && job.next_to_deflate < job.blocks.size()) {
        job.busy = true;
        block = &job.blocks[job.next_to_deflate];
        return *it;
      }
      ++it;
    }
    work_.wait(guard);
  }
}

// Deflates `block` of a job this worker holds, outside the lock: no one
// else touches that block, the job's CRC-32 or its encoder meanwhile.
void DeflatePool::Deflate(DeflateJob& job, DeflateJob::Block& block) {
  job.crc = UpdateCrc32(job.crc, block.data);
  block.crc = job.crc;
  ByteBuffer made;
  bool failed = false;
  try {
    if (!job.encoder) job.encoder = TakeEncoder(job.level);
    job.encoder->stage.Put(block.data, block.last);
    made.swap(job.encoder->collector.made);
    if (block.last) GiveBack(std::move(job.encoder));
  } catch (const CodecError&) {
    failed = true;
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (failed) job.encoder.reset();
  Settle(job, block, std::move(made), failed);
}

// A spare encoder at `level`, or a new one.
std::shared_ptr<DeflateJob::Encoder> DeflatePool::TakeEncoder(int level) {
  {
    std::lock_guard guard(lock_);
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
      if ((*it)->level != level) continue;
      std::shared_ptr<DeflateJob::Encoder> encoder = std::move(*it);
      spare_.erase(it);
      return encoder;
    }
  }
  return std::make_shared<DeflateJob::Encoder>(level);
}

// Resets the encoder of a finished entry and keeps it, while there is room;
// one that cannot restart goes.
void DeflatePool::GiveBack(std::shared_ptr<DeflateJob::Encoder> encoder) {
  try {
    encoder->stage.Reset();
  } catch (const CodecError&) {
    return;
  }
  std::lock_guard guard(lock_);
  if (spare_.size() < kMostSpareEncoders) spare_.push_back(std::move(encoder));
}

// Only the job's own next block, now free to be taken, is news for the
// workers; waking an idle one for nothing would cost two context switches.
void DeflatePool::Settle(DeflateJob& job, DeflateJob::Block& block, ByteBuffer made, bool failed) {
  bool more = false;
  {
    std::lock_guard guard(lock_);
    Drop(block);
    job.busy = false;
    job.failed = failed;
    if (!failed) {
      held_ += made.size();
      block.data = std::move(made);
      block.deflated = true;
      ++job.next_to_deflate;
    }
    if (job.abandoned) Drop(block);
    more = !job.failed && !job.abandoned && job.next_to_deflate < job.blocks.size();
  }
  done_.notify_all();
  if (more) work_.notify_one();
}

}  // namespace parcelon
