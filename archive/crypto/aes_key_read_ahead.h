// Deriving the keys of AES entries on a worker thread before their turn, so
// that the key derivation of the next entries runs on another core while
// the calling thread decodes the current one. The calling thread plans a
// password, a salt and a key strength per entry, in the order the entries
// come, and takes the keys when an entry's turn comes. Keys are given only
// for exactly the password, salt and strength they were derived for, so an
// entry whose password changed meanwhile derives its own. No file and no
// event is touched here; the worker takes no signals.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <thread>

#include "archive/common/secret_text.h"
#include "archive/crypto/aes_keys.h"

namespace parcelon {

// The most entries planned and not yet taken.
inline constexpr size_t kAesKeysAhead = 4;

class AesKeyReadAhead {
 public:
  // Starts the worker with every signal blocked. Throws std::system_error
  // when the thread cannot start.
  AesKeyReadAhead();
  // A read ahead, or null when its thread cannot start (each entry then
  // derives its keys in turn).
  static std::unique_ptr<AesKeyReadAhead> Start();
  // Stops the worker and joins it (after the derivation it is in, if any);
  // keys not taken are wiped.
  ~AesKeyReadAhead();
  AesKeyReadAhead(const AesKeyReadAhead&) = delete;
  AesKeyReadAhead& operator=(const AesKeyReadAhead&) = delete;

  // Whether entry `tag` is planned for `password` and not taken.
  bool Planned(int64_t tag, std::string_view password);
  // Plans the keys of entry `tag` (entries are planned in the order they
  // come): key `strength` 1-3 for `password` and `salt`. Plans for another
  // password are dropped first (the password in effect changed), and so are
  // plans of `tag` and of entries after it (planned for another order).
  // False (nothing planned) when kAesKeysAhead are planned already, or the
  // password is empty, or the strength or the salt's length is wrong.
  bool Plan(int64_t tag, const SharedSecret& password, std::span<const uint8_t> salt,
            uint8_t strength);
  // Drops the plans of entries before `tag`: they were passed over.
  void DropBefore(int64_t tag);
  // The keys derived for exactly `password`, `salt` and `strength`, waiting
  // while the worker derives them (and meanwhile deriving the next plan the
  // worker has not begun, on the calling thread). Nothing when they were not planned, when
  // the worker has not begun them (the plan is dropped: the caller derives
  // them sooner itself), or when their derivation failed.
  std::optional<AesKeys> Take(std::string_view password, std::span<const uint8_t> salt,
                              uint8_t strength);

 private:
  struct Job;

  void Work();
  std::shared_ptr<Job> NextJob();
  std::shared_ptr<Job> Begin();
  void Derive(Job& job);

  std::mutex lock_;
  std::condition_variable work_;     // a plan to derive, or stop
  std::condition_variable derived_;  // a derivation ended
  std::deque<std::shared_ptr<Job>> jobs_;
  bool stop_ = false;
  std::jthread worker_;  // joined by the destructor
};

}  // namespace parcelon
