#include "archive/codec/compressor.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "archive/codec/deflate_stage.h"
#include "archive/codec/output_sink.h"
#include "archive/common/byte_buffer.h"
#include "archive/crypto/crypto_stages.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/crc32.h"
#include "archive/format/extra_fields.h"

namespace parcelon {
namespace {

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// The stages an entry's data passes on its way to the sink: the deflate
// encoder (not for stored data, nor for an empty source, which is stored),
// then the cipher when there is one.
class EncoderChain {
 public:
  EncoderChain(const TDirItem& item, uint64_t size, TPLCryptoTransform* cipher, OutputSink& sink)
      : head_(&sink) {
    if (cipher) {
      encrypt_ = std::make_unique<EncryptStage>(*cipher, sink);
      head_ = encrypt_.get();
    }
    if (item.RealMethod == kMethodDeflated && size > 0) {
      deflate_ = std::make_unique<DeflateStage>(item.CompressionMode, *head_);
      head_ = deflate_.get();
    }
  }
  DataStage& Head() { return *head_; }

 private:
  std::unique_ptr<EncryptStage> encrypt_;
  std::unique_ptr<DeflateStage> deflate_;
  DataStage* head_;
};

// What the block loop got through.
struct LoopResult {
  uint64_t consumed = 0;
  uint32_t crc = 0;
  bool finished = false;  // the last block went through every stage
};

// Fires the progress events before a block, `consumed` of `size` bytes
// into the source; true when a handler cancelled.
bool BlockCancelled(const TDirItem& item, const EncodeSettings& settings, uint64_t consumed,
                    uint64_t size) {
  CommitProgress& progress = settings.progress;
  if (!progress.reporting) return progress.cancel;
  const double percent = static_cast<double>(consumed) / static_cast<double>(size) * 100;
  settings.events.FileProgress(item.SourceFileName(), percent, item.Operation, ppProcess,
                               progress.cancel);
  if (progress.cancel) return true;
  settings.events.OverallProgress(progress.Percent(consumed), item.Operation, ppProcess,
                                  progress.cancel);
  return progress.cancel;
}

class BlockLoop {
 public:
  BlockLoop(platform::Stream& source, TDirItem& item, const EncodeSettings& settings, uint64_t size)
      : source_(source), item_(item), settings_(settings), size_(size) {}

  // Reads, checks and encodes the source block by block into `chain`,
  // stopping early at a short read or a cancel. An empty source still puts
  // its (empty) last block, for the stages that add bytes of their own.
  void Run(EncoderChain& chain) {
    if (size_ == 0) {
      result_.finished = chain.Head().Put({}, true);
      return;
    }
    ByteBuffer buffer(
        static_cast<size_t>(std::min<uint64_t>(size_, ReadBufferSize(item_.CompressionMode))));
    while (result_.consumed < size_ && !Cancelled()) {
      const auto n =
          static_cast<size_t>(std::min<uint64_t>(buffer.size(), size_ - result_.consumed));
      if (source_.Read(buffer.data(), n) != n) break;
      result_.crc = UpdateCrc32(result_.crc, {buffer.data(), n});
      const bool last = result_.consumed + n >= size_;
      if (!chain.Head().Put({buffer.data(), n}, last)) break;
      result_.consumed += n;
      result_.finished = last;
    }
  }
  const LoopResult& Result() const { return result_; }

 private:
  bool Cancelled() { return BlockCancelled(item_, settings_, result_.consumed, size_); }

  platform::Stream& source_;
  TDirItem& item_;
  const EncodeSettings& settings_;
  uint64_t size_;
  LoopResult result_;
};

// Puts a size into its 32-bit field, or saturates it and keeps the value in
// the 64-bit one; gives whether Zip64 is needed for it.
bool StoreSize(uint64_t size, bool force_zip64, uint32_t& field, uint64_t& field64) {
  field64 = size;
  const bool zip64 = force_zip64 || size >= kSaturated32;
  field = zip64 ? kSaturated32 : static_cast<uint32_t>(size);
  return zip64;
}

void Complete(TDirItem& item, const LoopResult& done, uint64_t packed,
              const EncodeSettings& settings) {
  const bool always = settings.engine.writing.zip64_mode == zmAlways;
  const bool packed64 = StoreSize(packed, always, item.PackedSize, item.Zip64PackedSize);
  const bool unpacked64 =
      StoreSize(done.consumed, always, item.UnpackedSize, item.Zip64UnpackedSize);
  if (packed64 || unpacked64) item.IsZip64 = true;
  item.Crc32 = done.crc;
  if (item.IsZip64 && settings.engine.writing.zip64_mode == zmDisabled)
    throw EPLException::CreateFmt(errc::kZip64NeededCompressing, {item.SourceFileName()},
                                  settings.engine.component);
  if (done.consumed != 0) return;
  item.RealMethod = kMethodStored;
  if (item.Method != kMethodAesEncrypted) item.Method = kMethodStored;
}

// Counts the source as done and completes the item when its last block went
// through; false when a handler cancelled; error 34 otherwise.
bool Conclude(TDirItem& item, const LoopResult& done, uint64_t size, uint64_t packed,
              const EncodeSettings& settings) {
  settings.progress.done_bytes += size;
  if (done.finished) {
    Complete(item, done, packed, settings);
    return true;
  }
  if (settings.progress.cancel) return false;
  throw EPLException::CreateFmt(errc::kCompressedSizeMismatch,
                                {static_cast<int64_t>(size), static_cast<int64_t>(done.consumed)},
                                settings.engine.component);
}

}  // namespace

size_t ReadBufferSize(uint8_t compression_mode) {
  constexpr size_t kKiB = 1024;
  if (compression_mode == 0) return 1024 * kKiB;
  if (compression_mode <= 3) return 512 * kKiB;
  if (compression_mode <= 6) return 1024 * kKiB;
  return 1536 * kKiB;
}

bool CompressItem(platform::Stream& source, platform::Stream& output, TDirItem& item,
                  const EncodeSettings& settings) {
  source.Seek(0, platform::SeekOrigin::kBegin);
  const auto size = static_cast<uint64_t>(source.Size());
  OutputSink sink(output, settings.events, settings.engine.archive_name, settings.progress.cancel);
  BlockLoop loop(source, item, settings, size);
  try {
    EncoderChain chain(item, size, settings.cipher, sink);
    loop.Run(chain);
  } catch (const CodecError&) {
    // The completeness test below reports what was not consumed.
  }
  return Conclude(item, loop.Result(), size, sink.Written(), settings);
}

bool WriteDeflatedItem(DeflatedBlocks& blocks, uint64_t size, platform::Stream& output,
                       TDirItem& item, const EncodeSettings& settings) {
  OutputSink sink(output, settings.events, settings.engine.archive_name, settings.progress.cancel);
  LoopResult done;
  done.finished = size == 0;
  while (done.consumed < size && !BlockCancelled(item, settings, done.consumed, size)) {
    std::span<const uint8_t> deflated;
    size_t n = 0;
    uint32_t crc = 0;
    if (!blocks.Next(deflated, n, crc) || !sink.Put(deflated, false)) break;
    done.crc = crc;
    done.consumed += n;
    done.finished = done.consumed >= size;
  }
  return Conclude(item, done, size, sink.Written(), settings);
}

bool WriteDeflatedItemAfter(
    const std::function<std::vector<uint8_t>(std::span<const uint8_t>)>& record,
    DeflatedBlocks& blocks, uint64_t size, platform::Stream& output, TDirItem& item,
    const EncodeSettings& settings) {
  OutputSink sink(output, settings.events, settings.engine.archive_name, settings.progress.cancel);
  LoopResult done;
  done.finished = size == 0;
  std::span<const uint8_t> deflated;
  size_t n = 0;
  if (!done.finished && !BlockCancelled(item, settings, 0, size) &&
      blocks.Next(deflated, n, done.crc) && n == size) {
    done.consumed = n;
    done.finished = true;
  }
  if (!Conclude(item, done, size, done.finished ? deflated.size() : 0, settings)) return false;
  return sink.WriteOutput(record(deflated));
}

uint32_t SourceCrc32(platform::Stream& source, uint8_t compression_mode) {
  source.Seek(0, platform::SeekOrigin::kBegin);
  const auto size = static_cast<uint64_t>(source.Size());
  ByteBuffer buffer(
      static_cast<size_t>(std::min<uint64_t>(size, ReadBufferSize(compression_mode))));
  uint32_t crc = 0;
  for (uint64_t done = 0; done < size;) {
    const auto n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done));
    const size_t got = source.Read(buffer.data(), n);
    crc = UpdateCrc32(crc, {buffer.data(), got});
    if (got != n) break;
    done += n;
  }
  source.Seek(0, platform::SeekOrigin::kBegin);
  return crc;
}

}  // namespace parcelon
