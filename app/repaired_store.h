// The repaired KML entries of one run, kept until the commit reads them: in
// memory up to a budget for the whole run, then appended to one spill file
// in the scratch folder, each entry a range of it. Memory thus stays bounded
// however many entries an archive holds. Entries are written one at a time
// (Begin, then Keep or Drop); each kept entry is read back through a stream
// of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/stream.h"

namespace kmlcompat {

class RepairedStore {
 public:
  // `fs` is not owned and must outlive the store; the spill file, made in
  // `folder` when the budget is spent, lives as long as the store.
  RepairedStore(platform::FileSystem& fs, std::string folder, uint64_t memory_budget);
  ~RepairedStore();
  RepairedStore(const RepairedStore&) = delete;
  RepairedStore& operator=(const RepairedStore&) = delete;

  // An empty stream that takes the next entry's bytes by appending (it
  // cannot be moved back, sized or read); valid until Keep or Drop. Its
  // writes throw what creating or writing the spill file throws.
  platform::Stream& Begin();
  // Ends the entry begun: a stream that reads just its bytes from position
  // 0, seekable within them, read-only, and valid as long as the store. A
  // read of an entry in the spill file moves that file to its range first.
  platform::Stream& Keep();
  // Forgets the entry begun; the spill file space it took is used again.
  void Drop();

  class Writer;

 private:
  std::unique_ptr<Writer> writer_;
  std::vector<std::unique_ptr<platform::Stream>> kept_;
};

}  // namespace kmlcompat
