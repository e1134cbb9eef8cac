#include "archive/update/rollback_journal.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <vector>

#include "archive/errors/pl_exception.h"
#include "archive/format/byte_io.h"
#include "archive/format/crc32.h"
#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/memory_stream.h"
#include "platform/null_stream.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

// Journals of the earlier 40-byte layout ("PLJRNL") named no file; they are
// not recognised, and so never applied.
constexpr std::array<uint8_t, 8> kMagic = {'P', 'L', 'J', 'R', 'N', '2', 0x0D, 0x0A};
constexpr int64_t kProbeLength = 4096;

struct JournalHeader {
  uint64_t cut = 0;
  uint64_t length = 0;
  uint32_t tail_crc = 0;
  uint32_t probe_crc = 0;
  uint32_t probe_length = 0;
  uint64_t device = 0;  // the archive's file
  uint64_t inode = 0;
};

std::vector<uint8_t> Serialize(const JournalHeader& header) {
  std::vector<uint8_t> bytes(kMagic.begin(), kMagic.end());
  AppendLE(bytes, header.cut);
  AppendLE(bytes, header.length);
  AppendLE(bytes, header.tail_crc);
  AppendLE(bytes, header.probe_crc);
  AppendLE(bytes, header.probe_length);
  AppendLE(bytes, header.device);
  AppendLE(bytes, header.inode);
  AppendLE(bytes, UpdateCrc32(0, bytes));
  return bytes;
}

// The header when `bytes` hold a valid one.
std::optional<JournalHeader> Parse(std::span<const uint8_t> bytes) {
  if (bytes.size() < size_t{kJournalHeaderSize} ||
      !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) ||
      LoadU32(bytes, kJournalHeaderSize - 4) != UpdateCrc32(0, bytes.first(kJournalHeaderSize - 4)))
    return std::nullopt;
  return JournalHeader{LoadU64(bytes, 8),  LoadU64(bytes, 16), LoadU32(bytes, 24),
                       LoadU32(bytes, 28), LoadU32(bytes, 32), LoadU64(bytes, 36),
                       LoadU64(bytes, 44)};
}

// Copies `length` bytes from `from` to `to` at their positions; gives the
// CRC-32 of what passed.
uint32_t CopyWithCrc(platform::Stream& from, platform::Stream& to, int64_t length) {
  uint32_t crc = 0;
  to.CopyFrom(from, length,
              [&crc](std::span<const uint8_t> chunk) { crc = UpdateCrc32(crc, chunk); });
  return crc;
}

// CRC-32 of `length` bytes of `stream` at `at`.
uint32_t CrcAt(platform::Stream& stream, int64_t at, int64_t length) {
  stream.Seek(at, platform::SeekOrigin::kBegin);
  platform::TNullStream nowhere;
  return CopyWithCrc(stream, nowhere, length);
}

// The journal: nothing may have its name (a link there is never followed),
// and it gets the archive's permission bits and owner, so that it shows
// nobody what the archive would not.
std::unique_ptr<platform::Stream> CreateJournal(platform::FileSystem& fs, const std::string& path,
                                                const platform::FileInfo& archive) {
  if (fs.StatLink(path).exists)
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(path) +
                                  u"\". An earlier update's rollback journal is in the way");
  platform::FileInfo like = archive;
  like.mode = archive.exists ? (archive.mode & 0666) | 0600 : 0600;  // always ours to read back
  like.exists = true;
  return fs.CreateExclusiveStream(path, like);
}

// A folder that refuses the journal ends the update, unless the caller
// allowed an unprotected one, which is announced before anything is cut.
void AcceptUnprotected(const SavedTail::Place& place, const platform::EStreamError& refusal) {
  if (!place.allow_unprotected)
    throw EPLException::CreateFmtWithReason(
        errc::kUnprotectedUpdate, {platform::Utf8ToUtf16(place.journal_path)},
        u"the folder refuses the update's rollback journal: " +
            platform::Utf8ToUtf16(refusal.what()) +
            u"; an update without it may lose entries if it is interrupted",
        place.component);
  if (place.on_unprotected) place.on_unprotected();
}

// The stream of a new copy: a journal, a scratch file or memory.
std::unique_ptr<platform::Stream> CreateCopy(platform::FileSystem& fs,
                                             const SavedTail::Place& place,
                                             const platform::FileInfo& archive, std::string& path,
                                             bool& recoverable) {
  recoverable = false;
  if (place.in_memory && place.journal_path.empty())
    return std::make_unique<platform::MemoryStream>();
  if (!place.journal_path.empty()) {
    try {
      auto stream = CreateJournal(fs, place.journal_path, archive);
      path = place.journal_path;
      recoverable = true;
      return stream;
    } catch (const platform::EStreamError& failure) {
      // Only a folder that refuses the journal may lead to a scratch copy;
      // any other failure ends the commit.
      if (!platform::IsRefusal(failure.Errno())) throw;
      AcceptUnprotected(place, failure);
    }
  }
  return fs.CreateUniqueStream(place.scratch_folder, "pltail", &path);
}

[[noreturn]] void Refuse(const std::string& archive_path, const std::string& reason) {
  throw platform::EFOpenError(u"Cannot open file \"" + platform::Utf8ToUtf16(archive_path) +
                              u"\". " + platform::Utf8ToUtf16(reason));
}

}  // namespace

std::string JournalPathFor(const std::string& archive_path) {
  return archive_path + "-journal";
}

void DiscardJournal(platform::FileSystem& fs, const std::string& archive_path) {
  const std::string journal = JournalPathFor(archive_path);
  if (fs.Stat(journal).is_regular) fs.Remove(journal);
}

SavedTail::SavedTail(platform::FileSystem& fs, std::unique_ptr<platform::Stream> stream,
                     std::string path, bool recoverable)
    : fs_(fs), stream_(std::move(stream)), path_(std::move(path)), recoverable_(recoverable) {}

SavedTail::~SavedTail() {
  if (!stream_ || path_.empty()) return;
  stream_.reset();
  try {
    if (!recoverable_) fs_.Remove(path_);  // a journal stays for the next open
  } catch (...) {
    // A scratch file left behind holds nothing anyone needs.
  }
}

std::unique_ptr<SavedTail> SavedTail::Save(platform::FileSystem& fs, const Place& place,
                                           platform::Stream& archive, int64_t cut, bool sync) {
  std::string path;
  bool recoverable = false;
  const platform::FileInfo identity = fs.StatOpen(archive);
  auto stream = CreateCopy(fs, place, identity, path, recoverable);
  auto copy = std::make_unique<SavedTail>(fs, std::move(stream), path, recoverable);
  try {
    copy->Fill(archive, cut, identity);
    if (sync && !path.empty()) {
      copy->stream_->Flush();
      if (recoverable) fs.SyncFolder(platform::ContainingFolder(path));
    }
  } catch (...) {
    copy->recoverable_ = false;  // incomplete, and the archive is untouched: it goes
    throw;
  }
  return copy;
}

void SavedTail::Fill(platform::Stream& archive, int64_t cut, const platform::FileInfo& identity) {
  cut_ = cut;
  length_ = archive.Size() - cut;
  JournalHeader header{static_cast<uint64_t>(cut), static_cast<uint64_t>(length_), 0, 0, 0, 0, 0};
  header.device = static_cast<uint64_t>(identity.device);
  header.inode = static_cast<uint64_t>(identity.inode);
  const int64_t probe = std::min(cut, kProbeLength);
  header.probe_length = static_cast<uint32_t>(probe);
  header.probe_crc = CrcAt(archive, cut - probe, probe);
  stream_->Seek(kJournalHeaderSize, platform::SeekOrigin::kBegin);
  archive.Seek(cut, platform::SeekOrigin::kBegin);
  header.tail_crc = CopyWithCrc(archive, *stream_, length_);
  const auto bytes = Serialize(header);
  stream_->Seek(0, platform::SeekOrigin::kBegin);
  stream_->WriteBuffer(bytes.data(), bytes.size());
}

platform::Stream& SavedTail::At(int64_t offset) {
  stream_->Seek(kJournalHeaderSize + offset - cut_, platform::SeekOrigin::kBegin);
  return *stream_;
}

void SavedTail::Restore(platform::Stream& archive, bool sync) {
  archive.SetSize(cut_);
  archive.Seek(cut_, platform::SeekOrigin::kBegin);
  CopyWithCrc(At(cut_), archive, length_);
  if (sync) archive.Flush();
}

void SavedTail::Drop() {
  if (!path_.empty()) fs_.Remove(path_);  // a failure leaves the copy whole, for a restore
  path_.clear();
  stream_.reset();
}

namespace {

// Whether the journal at `path` is whole: a valid header and all of the
// tail it announces, with the tail's CRC-32.
std::optional<JournalHeader> CompleteJournal(platform::Stream& journal) {
  std::vector<uint8_t> bytes(kJournalHeaderSize);
  if (journal.Size() < kJournalHeaderSize) return std::nullopt;
  journal.Seek(0, platform::SeekOrigin::kBegin);
  journal.ReadBuffer(bytes.data(), bytes.size());
  const auto header = Parse(bytes);
  if (!header || header->length > uint64_t(journal.Size() - kJournalHeaderSize))
    return std::nullopt;
  if (CrcAt(journal, kJournalHeaderSize, int64_t(header->length)) != header->tail_crc)
    return std::nullopt;
  return header;
}

// Whether the journal names this very file (device and inode), was written
// by its owner or by us, and matches the bytes before the cut.
bool BelongsTo(platform::FileSystem& fs, platform::Stream& archive,
               const platform::FileInfo& journal, const JournalHeader& header) {
  const platform::FileInfo file = fs.StatOpen(archive);
  if (!file.exists || uint64_t(file.device) != header.device ||
      uint64_t(file.inode) != header.inode)
    return false;
  if (journal.uid != file.uid && journal.uid != ::geteuid()) return false;
  if (header.cut > uint64_t(archive.Size()) || header.probe_length > header.cut) return false;
  const auto probe_start = int64_t(header.cut - header.probe_length);
  return CrcAt(archive, probe_start, header.probe_length) == header.probe_crc;
}

std::unique_ptr<platform::Stream> OpenForRestore(platform::FileSystem& fs,
                                                 const std::string& archive_path) {
  try {
    return fs.OpenStream(archive_path, platform::fmOpenReadWrite | platform::fmShareExclusive);
  } catch (const platform::EStreamError& failure) {
    Refuse(archive_path, "It holds an unfinished update that must be rolled back first (" +
                             JournalPathFor(archive_path) +
                             "), and it cannot be written: " + failure.what());
  }
}

void Apply(platform::FileSystem& fs, const std::string& archive_path, platform::Stream& journal,
           const JournalHeader& header) {
  const auto archive = OpenForRestore(fs, archive_path);
  if (!BelongsTo(fs, *archive, fs.StatOpen(journal), header))
    Refuse(archive_path, "Its rollback journal " + JournalPathFor(archive_path) +
                             " belongs to another file; move the journal away to open it");
  archive->SetSize(int64_t(header.cut));
  archive->Seek(int64_t(header.cut), platform::SeekOrigin::kBegin);
  journal.Seek(kJournalHeaderSize, platform::SeekOrigin::kBegin);
  CopyWithCrc(journal, *archive, int64_t(header.length));
  archive->Flush();
}

// Deletes a settled journal. One that was applied must go, or a later
// open would apply it again over newer content; an incomplete one left
// behind (a folder that refuses the removal) harms nothing.
void RemoveSettled(platform::FileSystem& fs, const std::string& path, bool applied) {
  try {
    fs.Remove(path);
    fs.SyncFolder(platform::ContainingFolder(path));
  } catch (const platform::IoError&) {
    if (applied) throw;
  }
}

}  // namespace

// A new file that a commit crashed writing ("." + name + ".new." and six
// characters); one that a live commit holds cannot be locked, and stays.
void RemoveUnfinishedNewFiles(platform::FileSystem& fs, const std::string& archive_path) {
  const std::string folder = platform::ContainingFolder(archive_path);
  const std::string prefix = NewFilePrefixFor(archive_path) + ".";
  std::vector<platform::FolderEntry> entries;
  try {
    entries = fs.ListFolder(folder);
  } catch (const platform::IoError&) {
    return;
  }
  for (const platform::FolderEntry& entry : entries) {
    if (!entry.name.starts_with(prefix) || entry.name.size() != prefix.size() + 6) continue;
    const std::string path = platform::FolderOf(archive_path) + entry.name;
    try {
      fs.OpenStream(path, platform::fmOpenReadWrite | platform::fmShareExclusive);
      fs.Remove(path);
    } catch (const platform::IoError&) {
      // In use, or not ours to remove: left alone.
    }
  }
}

std::string NewFilePrefixFor(const std::string& archive_path) {
  std::string prefix(".");
  prefix.append(archive_path, platform::FolderOf(archive_path).size());
  return prefix.append(".new");
}

// A journal that a live commit holds cannot be opened (its writer locks
// it), so this never judges a journal that is still being written.
void RecoverJournal(platform::FileSystem& fs, const std::string& archive_path) {
  RemoveUnfinishedNewFiles(fs, archive_path);
  const std::string path = JournalPathFor(archive_path);
  const platform::FileInfo named = fs.StatLink(path);
  if (!named.is_regular || named.is_link) return;  // a link is never followed
  bool applied = false;
  {
    const auto journal = fs.OpenStream(path, platform::fmOpenRead | platform::fmShareDenyWrite);
    const platform::FileInfo opened = fs.StatOpen(*journal);
    if (opened.device != named.device || opened.inode != named.inode) return;  // swapped meanwhile
    if (const auto header = CompleteJournal(*journal)) {
      Apply(fs, archive_path, *journal, *header);
      applied = true;
    }
  }
  RemoveSettled(fs, path, applied);
}

}  // namespace parcelon
