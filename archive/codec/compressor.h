// Turns the bytes of one source into the data of one archive entry: stored
// or deflated, with the CRC-32 of the source, both sizes and the Zip64
// decisions, reporting progress per block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "archive/codec/progress.h"
#include "archive/common/engine_callbacks.h"
#include "archive/common/settings.h"
#include "archive/directory/dir_item.h"
#include "platform/stream.h"

namespace parcelon {

class TPLCryptoTransform;

// One encoding: what it reports to and, from the settings, its Zip64 mode,
// the archive's name (for the disk-full event) and the component.
struct EncodeSettings {
  EngineCallbacks& events;
  CommitProgress& progress;
  const EngineSettings& engine;
  // Encrypts what the encoder makes (header in front, trailer behind), or
  // null for plain data; in encryption mode, keyed, and must outlive the call.
  TPLCryptoTransform* cipher = nullptr;
};

// How much of the source one block holds at a compression mode: 1 MiB at
// 0, 512 KiB at 1 to 3, 1 MiB at 4 to 6, 1.5 MiB at 7 to 9.
size_t ReadBufferSize(uint8_t compression_mode);

// Encodes the whole of `source`, from its start, into `output` at its
// position, by the item's RealMethod (8 deflates at the item's
// CompressionMode; anything else stores) in blocks of ReadBufferSize.
// Progress events fire before each block while `settings.progress.reporting`
// is on. On success fills the item's CRC-32, sizes (Zip64 values with the
// 32-bit fields saturated when a size is 0xFFFFFFFF or more, or under
// zmAlways, which also sets IsZip64) and, for an empty source, method 0 both
// in the header (unless it is the AES method word) and as RealMethod; returns
// true. With a cipher the packed size counts its header and trailer, which an
// empty source gets too. Returns false when a
// progress or disk-full handler cancelled (the progress's cancel flag is
// then set). Raises error 34 when the source gave fewer bytes than its size
// or the encoder failed, error 41 when a size needs Zip64 under zmDisabled,
// and error 65 from the disk-full default; stream errors pass.
bool CompressItem(platform::Stream& source, platform::Stream& output, TDirItem& item,
                  const EncodeSettings& settings);

// An entry's data read and deflated ahead of its turn, handed out block by
// block in order; the blocks are those CompressItem would read (see
// ReadBufferSize).
class DeflatedBlocks {
 public:
  virtual ~DeflatedBlocks() = default;
  // The next block's deflated bytes, valid until the next call, with its
  // raw size and the CRC-32 of the source up to its end. False when the
  // source gave fewer bytes than its size there, or the encoder failed;
  // rethrows the stream error that reading it raised.
  virtual bool Next(std::span<const uint8_t>& deflated, size_t& raw_size, uint32_t& crc) = 0;
};

// CompressItem for an item of method 8 without a cipher whose `size` bytes
// `blocks` gives: the same events, bytes, item fields, results and errors.
bool WriteDeflatedItem(DeflatedBlocks& blocks, uint64_t size, platform::Stream& output,
                       TDirItem& item, const EncodeSettings& settings);

// WriteDeflatedItem for an item whose data is one block at most (`size` up
// to ReadBufferSize of its CompressionMode), written in one piece with what
// comes before it: the block is taken and the item completed first, then
// the bytes `record` makes of the completed item and the deflated bytes go
// out in one write. The same events, item fields, results and errors,
// except that nothing is written before the block is ready, and a short
// write of the whole piece goes to the disk-full event.
bool WriteDeflatedItemAfter(
    const std::function<std::vector<uint8_t>(std::span<const uint8_t>)>& record,
    DeflatedBlocks& blocks, uint64_t size, platform::Stream& output, TDirItem& item,
    const EncodeSettings& settings);

// The CRC-32 of `source` from its start, read in blocks of ReadBufferSize at
// `compression_mode` (as far as it gives bytes); the source is left at its
// start. Stream errors pass.
uint32_t SourceCrc32(platform::Stream& source, uint8_t compression_mode);

}  // namespace parcelon
