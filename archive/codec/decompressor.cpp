#include "archive/codec/decompressor.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "archive/codec/decryption_password.h"
#include "archive/codec/output_sink.h"
#include "archive/codec/verify_stage.h"
#include "archive/crypto/crypto_stages.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/records.h"

namespace parcelon {
namespace {

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kDeflate64 = 9;

class EntryDecoder {
 public:
  EntryDecoder(platform::Stream& archive, platform::Stream& destination, const TDirItem& entry,
               const DecodeSettings& settings)
      : archive_(archive),
        entry_(entry),
        settings_(settings),
        sink_(destination, settings.events, settings.engine.archive_name, settings.progress.cancel),
        password_(settings.engine.password->Text()) {}

  bool Run() {
    if (entry_.RealMethod == kDeflate64) throw EPLException::Create(errc::kDeflate64);
    if (entry_.RealMethod != kStored && entry_.RealMethod != kDeflated) return false;
    if (!FindData()) return false;
    std::unique_ptr<TPLCryptoTransform> cipher;
    if (entry_.IsEncrypted() && !(cipher = Unlock())) return false;
    VerifyStage verify(sink_, entry_.UnpackedSize64(),
                       [this](uint64_t produced) { return Progress(produced); });
    try {
      if (!DecompressData(verify, cipher.get())) return false;
    } catch (const CodecError&) {
      return false;
    }
    return verify.Produced() == entry_.UnpackedSize64() &&
           (!ComparesCrc(entry_) || verify.Crc32() == entry_.Crc32);
  }

 private:
  // Steps over the local header, its name and extra area; works out how
  // much data there is to read, never past the archive or the limit.
  bool FindData() {
    std::array<uint8_t, kLocalHeaderSize> bytes;
    if (archive_.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
    local_ = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(bytes));
    start_ = archive_.Seek(int64_t{local_.NameLength} + local_.ExtraLength,
                           platform::SeekOrigin::kCurrent);
    const uint64_t end = std::min<uint64_t>(uint64_t(archive_.Size()), settings_.data_limit);
    if (uint64_t(start_) > end) return false;
    packed_ = std::min(entry_.PackedSize64(), end - uint64_t(start_));
    return true;
  }

  // The cipher for a password that fits the encryption header (see
  // UnlockEntry), with the archive back at the header; null when the entry
  // was given up (the progress's skip flag is then set), is damaged, or the
  // cipher library failed.
  std::unique_ptr<TPLCryptoTransform> Unlock() {
    const EncryptedData data{entry_, local_, start_, packed_, settings_.keys_ahead};
    std::unique_ptr<TPLCryptoTransform> cipher;
    try {
      cipher =
          UnlockEntry(archive_, data, password_, settings_.events, settings_.progress.skip_file);
    } catch (const CodecError&) {
      return nullptr;
    }
    if (cipher) archive_.Seek(start_, platform::SeekOrigin::kBegin);
    return cipher;
  }

  // Reads the data chunk by chunk into the decoder (an inflater, or for
  // stored data the check itself), through `cipher` when there is one;
  // false when it stopped early. Encrypted data is read to its end even
  // after the deflate stream ended, so that its trailer is checked.
  bool DecompressData(VerifyStage& verify, TPLCryptoTransform* cipher) {
    std::unique_ptr<Inflater> inflater;
    if (entry_.RealMethod == kDeflated)
      inflater = MakeInflater(verify, settings_.engine.reading.inflater);
    DataStage& decoder = inflater ? static_cast<DataStage&>(*inflater) : verify;
    std::optional<DecryptStage> decrypt;
    if (cipher) decrypt.emplace(*cipher, decoder);
    DataStage& first = decrypt ? static_cast<DataStage&>(*decrypt) : decoder;
    const Inflater* may_end_early = cipher ? nullptr : inflater.get();
    const auto size = static_cast<size_t>(std::min<uint64_t>(packed_, kDecodeChunkSize));
    const auto chunk = std::make_unique_for_overwrite<uint8_t[]>(size);  // read into, never zeroed
    for (uint64_t done = 0; done < packed_ && !(may_end_early && may_end_early->Finished());) {
      const auto n = static_cast<size_t>(std::min<uint64_t>(packed_ - done, size));
      if (!ReadChunk(chunk.get(), n)) return false;
      done += n;
      if (!ProcessChunk(first, {chunk.get(), n}, done == packed_)) return false;
    }
    return true;
  }

  bool ReadChunk(uint8_t* buffer, size_t count) { return archive_.Read(buffer, count) == count; }

  bool ProcessChunk(DataStage& decoder, std::span<const uint8_t> chunk, bool last) {
    return decoder.Put(chunk, last) && !settings_.progress.cancel;
  }

  // The progress events before a block is handed on; false after a cancel.
  bool Progress(uint64_t produced) {
    RunProgress& progress = settings_.progress;
    if (!progress.reporting) return !progress.cancel;
    const uint64_t total = std::max<uint64_t>(entry_.UnpackedSize64(), 2);
    const double fraction = static_cast<double>(produced) / static_cast<double>(total);
    settings_.events.FileProgress(entry_.Name.str(), fraction * 100, entry_.Operation, ppProcess,
                                  progress.cancel);
    if (progress.cancel) return false;
    settings_.events.OverallProgress(progress.Percent(fraction), entry_.Operation, ppProcess,
                                     progress.cancel);
    return !progress.cancel;
  }

  platform::Stream& archive_;
  const TDirItem& entry_;
  const DecodeSettings& settings_;
  OutputSink sink_;
  std::string password_;  // the password event may replace it
  LocalFileHeader local_;
  int64_t start_ = 0;  // archive offset of the data
  uint64_t packed_ = 0;
};

}  // namespace

bool DecompressItem(platform::Stream& archive, platform::Stream& destination, const TDirItem& entry,
                    const DecodeSettings& settings) {
  return EntryDecoder(archive, destination, entry, settings).Run();
}

}  // namespace parcelon
