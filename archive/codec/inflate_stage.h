// The inflater as a stage: raw deflate data in, its uncompressed bytes out
// to the next stage in pieces of at most 1 MiB. zlib does the work here;
// isal_inflate_stage.h has the faster one, with the same results.
#pragma once

#include <memory>

#include "archive/common/data_stage.h"
#include "archive/common/settings.h"

namespace parcelon {

// What every inflater stage offers besides taking blocks.
class Inflater : public DataStage {
 public:
  // The deflate stream's final block has been seen; input after it is
  // ignored.
  virtual bool Finished() const = 0;
};

class ZlibInflateStage : public Inflater {
 public:
  // `next` must outlive the stage. Throws CodecError when zlib cannot start.
  explicit ZlibInflateStage(DataStage& next);
  ~ZlibInflateStage() override;
  ZlibInflateStage(const ZlibInflateStage&) = delete;
  ZlibInflateStage& operator=(const ZlibInflateStage&) = delete;

  // Inflates `block`. Throws CodecError for data that is no valid deflate
  // stream; returns false when the next stage gave up.
  bool Put(std::span<const uint8_t> block, bool last) override;
  bool Finished() const override { return finished_; }

 private:
  struct Stream;
  std::unique_ptr<Stream> stream_;
  DataStage& next_;
  std::unique_ptr<uint8_t[]> out_;  // never zeroed: inflating fills what is handed on
  bool finished_ = false;
};

// An inflater stage of `kind` feeding `next`. Throws CodecError.
std::unique_ptr<Inflater> MakeInflater(DataStage& next, InflaterKind kind = InflaterKind::kFastest);

// Whether the build has an inflater faster than zlib's.
bool HasFastInflater();

}  // namespace parcelon
