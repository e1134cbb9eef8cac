// One step of an entry's data path, between a source and a sink. Blocks go
// in in order; what a step makes of them goes on to the next step. Encoders,
// decoders and ciphers are stages; the sink at the end writes the archive.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

namespace parcelon {

class DataStage {
 public:
  virtual ~DataStage() = default;
  // Takes the next block; `last` marks the entry's final block (only then
  // may a stage add trailing bytes). Returns false when a later stage gave
  // up (a cancelled disk-full prompt); nothing more is then put. Throws
  // CodecError when a stage's library fails, and what the sink raises.
  virtual bool Put(std::span<const uint8_t> block, bool last) = 0;
};

// A compression library reported a failure.
class CodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace parcelon
