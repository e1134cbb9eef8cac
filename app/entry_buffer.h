// Where the KMZ repair and its analysis decode one KML entry at a time: in
// memory when the entry declares at most a limit, else in one scratch file
// of the run, emptied and reused for every large entry. The decoder refuses
// more bytes than an entry declares, so what an entry holds in memory never
// passes its declared size, whatever its data inflates to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/memory_stream.h"
#include "platform/stream.h"

namespace kmlcompat {

// The memory a run over a KMZ may take for entries.
struct EntryMemoryLimits {
  uint64_t entry = uint64_t{16} << 20;     // an entry declaring more is decoded into a file
  uint64_t repaired = uint64_t{64} << 20;  // repaired entries beyond this go to a spill file
};

class EntryBuffer {
 public:
  // `fs` is not owned and must outlive the buffer; the scratch file, when
  // one is needed, is made in `folder`, which must outlive the buffer too.
  EntryBuffer(platform::FileSystem& fs, std::string folder, uint64_t memory_limit)
      : fs_(fs), folder_(std::move(folder)), memory_limit_(memory_limit) {}

  // An empty stream, at position 0, to decode an entry that declares `size`
  // bytes into; valid until the next call. Throws what creating or emptying
  // the scratch file throws (platform::Exception).
  platform::Stream& Prepare(uint64_t size);

 private:
  platform::FileSystem& fs_;
  std::string folder_;
  uint64_t memory_limit_;
  platform::MemoryStream memory_;  // keeps its capacity from entry to entry
  std::unique_ptr<platform::Stream> file_;
};

}  // namespace kmlcompat
