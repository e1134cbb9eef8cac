#include "archive/crypto/aes_key_read_ahead.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/common/data_stage.h"

namespace parcelon {

// One entry's plan. The worker derives outside the lock on a job it marked
// as deriving; everything else is read and changed under the lock.
struct AesKeyReadAhead::Job {
  enum class State { kWaiting, kDeriving, kDerived, kFailed };
  int64_t tag = 0;
  SharedSecret password;
  std::vector<uint8_t> salt;
  uint8_t strength = 0;
  State state = State::kWaiting;
  AesKeys keys;  // wiped with the job

  bool Fits(std::string_view text, std::span<const uint8_t> other, uint8_t key_strength) const {
    return strength == key_strength && password->Text() == text &&
           std::equal(salt.begin(), salt.end(), other.begin(), other.end());
  }
};

// The worker starts with every signal blocked, so that a stop signal
// reaches the calling thread (whose blocking calls it interrupts).
AesKeyReadAhead::AesKeyReadAhead() {
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  try {
    worker_ = std::jthread([this] { Work(); });
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

std::unique_ptr<AesKeyReadAhead> AesKeyReadAhead::Start() {
  try {
    return std::make_unique<AesKeyReadAhead>();
  } catch (const std::system_error&) {
    return nullptr;  // the keys are derived on the calling thread instead
  }
}

AesKeyReadAhead::~AesKeyReadAhead() {
  {
    std::lock_guard guard(lock_);
    stop_ = true;
  }
  work_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool AesKeyReadAhead::Planned(int64_t tag, std::string_view password) {
  std::lock_guard guard(lock_);
  return std::any_of(jobs_.begin(), jobs_.end(), [&](const auto& job) {
    return job->tag == tag && job->password->Text() == password;
  });
}

bool AesKeyReadAhead::Plan(int64_t tag, const SharedSecret& password, std::span<const uint8_t> salt,
                           uint8_t strength) {
  if (!HasSecret(password) || salt.size() != AesSaltLength(strength) || salt.empty()) return false;
  auto job = std::make_shared<Job>();
  job->tag = tag;
  job->password = password;
  job->salt.assign(salt.begin(), salt.end());
  job->strength = strength;
  {
    std::lock_guard guard(lock_);
    std::erase_if(jobs_, [&](const auto& other) {
      return other->password->Text() != password->Text() || other->tag >= tag;
    });
    if (jobs_.size() >= kAesKeysAhead) return false;
    jobs_.push_back(std::move(job));
  }
  work_.notify_one();
  return true;
}

void AesKeyReadAhead::DropBefore(int64_t tag) {
  std::lock_guard guard(lock_);
  std::erase_if(jobs_, [tag](const auto& job) { return job->tag < tag; });
}

std::optional<AesKeys> AesKeyReadAhead::Take(std::string_view password,
                                             std::span<const uint8_t> salt, uint8_t strength) {
  std::unique_lock guard(lock_);
  const auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& job) {
    return job->Fits(password, salt, strength);
  });
  if (it == jobs_.end()) return std::nullopt;
  const std::shared_ptr<Job> job = *it;
  jobs_.erase(jobs_.begin(), it + 1);  // those before it were passed over
  while (job->state == Job::State::kDeriving) {
    // Rather than wait idle, derive a later plan the worker has not begun.
    if (const std::shared_ptr<Job> later = Begin()) {
      guard.unlock();
      Derive(*later);
      guard.lock();
    } else {
      derived_.wait(guard);
    }
  }
  if (job->state != Job::State::kDerived) return std::nullopt;
  return job->keys;
}

// Derives planned keys until the read ahead stops.
void AesKeyReadAhead::Work() {
  while (const std::shared_ptr<Job> job = NextJob()) Derive(*job);
}

// The earliest plan not yet begun, marked as deriving; null once stopped.
std::shared_ptr<AesKeyReadAhead::Job> AesKeyReadAhead::NextJob() {
  std::unique_lock guard(lock_);
  for (;;) {
    if (stop_) return nullptr;
    if (std::shared_ptr<Job> job = Begin()) return job;
    work_.wait(guard);
  }
}

// The earliest plan not yet begun, marked as deriving, or null; under the
// lock.
std::shared_ptr<AesKeyReadAhead::Job> AesKeyReadAhead::Begin() {
  for (const auto& job : jobs_) {
    if (job->state != Job::State::kWaiting) continue;
    job->state = Job::State::kDeriving;
    return job;
  }
  return nullptr;
}

// Derives the keys of a job the caller marked, outside the lock: nobody
// else touches its keys meanwhile (a dropped job goes with the caller's
// hold on it).
void AesKeyReadAhead::Derive(Job& job) {
  AesKeys keys;
  bool failed = false;
  try {
    keys = DeriveAesKeys(job.password->Text(), job.salt, AesKeyLength(job.strength));
  } catch (const CodecError&) {
    failed = true;
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  {
    std::lock_guard guard(lock_);
    job.keys = keys;
    job.state = failed ? Job::State::kFailed : Job::State::kDerived;
  }
  derived_.notify_all();
}

}  // namespace parcelon
