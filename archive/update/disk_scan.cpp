#include "archive/update/disk_scan.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "archive/common/entry_path.h"
#include "archive/errors/pl_exception.h"
#include "archive/search/wildcard.h"
#include "archive/update/disk_masks.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

// Read-only, hidden, system and archive: a file without attributes is taken
// only when the filter holds all four.
constexpr uint32_t kPlainFileBits = 0x27;

// The attribute test of a listing: nothing hidden, system or a folder unless
// asked for, and at least one attribute asked for.
bool Selected(uint32_t attributes, uint32_t filter) {
  if (!AttributesMatch(attributes, filter)) return false;
  if (attributes == 0) return (filter & kPlainFileBits) == kPlainFileBits;
  return (attributes & filter) != 0;
}

std::u16string WithSlash(std::u16string folder) {
  if (!folder.ends_with(u'/')) folder.push_back(u'/');
  return folder;
}

bool IsInside(const std::u16string& sub, const std::u16string& folder) {
  return sub.starts_with(WithSlash(folder));
}

bool IsFolder(const platform::FileInfo& info) {
  return info.exists && info.is_directory;
}

}  // namespace

TPLDiskScan::TPLDiskScan(TPLDirArray& dir, platform::FileSystem& fs,
                         const platform::CodePages& code_pages, EngineCallbacks& events,
                         const EngineSettings& settings, DiskScanTask task)
    : fs_(fs),
      code_pages_(code_pages),
      events_(events),
      settings_(settings),
      task_(std::move(task)),
      queue_(dir, events, code_pages, settings_, task_.queue) {}

void TPLDiskScan::ScanDiskFolder(const std::u16string& folder, const std::u16string& mask,
                                 bool recurse) {
  const ResolvedMask resolved = ResolveMask(mask, folder);
  if (resolved.named && !HasWildcards(mask)) return FindNamed(resolved.path);
  const std::u16string folder_part(DiskFolderPart(resolved.path));
  const std::vector<Found> listed = List(folder_part);
  AddMatchingFiles(listed, folder_part, paths::DiskFileName(resolved.path));
  const bool folders = (task_.search_attr & faDirectory) != 0;
  if (!folders && !recurse) return;
  std::u16string sub = folder_part;
  if (resolved.relative && !IsInside(sub, folder)) sub = WithSlash(folder);
  ScanSubfolders(sub == folder_part ? listed : List(sub), sub, mask, resolved.path, recurse);
}

// The names in `folder` (which ends in '/'); none when it does not exist.
std::vector<TPLDiskScan::Found> TPLDiskScan::List(const std::u16string& folder) {
  std::vector<Found> found;
  for (platform::FolderEntry& entry : ListRaw(folder)) {
    std::u16string name = platform::Utf8ToUtf16(entry.name);
    const bool nameable = platform::Utf16ToUtf8(name) == entry.name;
    found.push_back({std::move(name), entry.info, entry.is_link, nameable});
  }
  return found;
}

std::vector<platform::FolderEntry> TPLDiskScan::ListRaw(const std::u16string& folder) {
  for (;;) {
    try {
      return fs_.ListFolder(platform::Utf16ToUtf8(folder));
    } catch (const platform::IoError& failure) {
      if (failure.Errno() == ENOENT || failure.Errno() == ENOTDIR) return {};
      const int32_t code =
          failure.Errno() == ENAMETOOLONG ? errc::kNameTooLong : errc::kCannotOpenSource;
      if (OfferFailure(folder, code) != fxaRetry) return {};
    }
  }
}

// A path named outright: found like a search of the file system with the
// whole filter would find it (a folder only with the directory bit).
void TPLDiskScan::FindNamed(const std::u16string& path) {
  const std::u16string name(paths::DiskFileName(path));
  if (name.empty()) return;
  const platform::FileInfo info = fs_.Stat(platform::Utf16ToUtf8(path));
  const auto filter = static_cast<uint32_t>(task_.search_attr);
  const bool found = IsFolder(info) ? (filter & faDirectory) != 0
                                    : info.exists && info.is_regular &&
                                          AttributesMatch(AttributesOf(info, name), filter);
  if (found) AddFoundFile({name, info, false, true}, std::u16string(DiskFolderPart(path)));
}

void TPLDiskScan::AddMatchingFiles(const std::vector<Found>& listed,
                                   const std::u16string& folder_part, std::u16string_view pattern) {
  const uint32_t filter = static_cast<uint32_t>(task_.search_attr) & ~faDirectory;
  for (const Found& item : listed) {
    if (!item.info.exists || !item.info.is_regular) continue;  // folders, links to nothing, FIFOs
    if (!NameMatchesMask(item.name, pattern, code_pages_)) continue;
    if (Selected(AttributesOf(item.info, item.name), filter)) AddFoundFile(item, folder_part);
  }
}

void TPLDiskScan::ScanSubfolders(const std::vector<Found>& listed, const std::u16string& sub,
                                 const std::u16string& mask, const std::u16string& path,
                                 bool recurse) {
  const bool folders = (task_.search_attr & faDirectory) != 0;
  for (const Found& item : listed) {
    if (!IsFolder(item.info) || item.is_link) continue;
    const std::u16string child = sub + item.name;
    if (Excluded(child + u'/', true)) continue;
    if (folders && (WildcardMatch(child, path, true, code_pages_) ||
                    WildcardMatch(child + u'.', path, true, code_pages_))) {
      if (AddFoundFile(item, sub))
        ScanDiskFolder(child, std::u16string(paths::DiskFileName(mask)), true);
    } else if (recurse && Takeable(item, child + u'/')) {
      Descend(child, mask, path);
    }
  }
}

// Recursion into a folder that is not queued itself: a mask with a folder
// part goes on with its file-name part only when it holds wildcards.
void TPLDiskScan::Descend(const std::u16string& child, const std::u16string& mask,
                          const std::u16string& path) {
  if (mask.find(u'/') == std::u16string::npos) return ScanDiskFolder(child, mask, true);
  if (HasWildcards(mask)) ScanDiskFolder(child, std::u16string(paths::DiskFileName(path)), true);
}

// Queues the item found in `folder_part`; false when it is excluded (a
// folder is then not entered either) or cannot be taken.
bool TPLDiskScan::AddFoundFile(const Found& item, const std::u16string& folder_part) {
  std::u16string full = folder_part + item.name;
  if (IsFolder(item.info)) full.push_back(u'/');
  if (Excluded(full, IsFolder(item.info)) || IsArchive(full, item.info)) return false;
  if (!Takeable(item, full)) return false;
  if (seen_.insert(full).second) queue_.QueueFile(full, item.info);
  return true;
}

// By the file's identity (its size first, which is cheaper to compare), and
// by its name while the archive does not exist yet.
bool TPLDiskScan::IsArchive(const std::u16string& full, const platform::FileInfo& info) const {
  const std::vector<std::u16string>& own = task_.archive_paths;
  if (std::find(own.begin(), own.end(), full) != own.end()) return true;
  return task_.archive_identity.exists && info.is_regular && info.size == task_.archive_size &&
         fs_.IdentityOf(platform::Utf16ToUtf8(full)) == task_.archive_identity;
}

bool TPLDiskScan::Excluded(const std::u16string& full, bool is_folder) const {
  for (const std::u16string& mask : task_.exclusion_masks)
    if (DiskFileMatchesMask(full, mask, is_folder, task_.queue.item.working_folder, code_pages_))
      return true;
  return false;
}

// A name that does not survive the conversion would name another file (or
// none) when it is read or deleted: it is reported, never taken.
bool TPLDiskScan::Takeable(const Found& item, const std::u16string& full) {
  if (item.nameable) return true;
  OfferFailure(full, errc::kCannotOpenSource);
  return false;
}

// Offers a failure of the scan to the failure event; an abort raises it.
TPLAction TPLDiskScan::OfferFailure(const std::u16string& path, int32_t native_error) {
  EPLException failure = EPLException::CreateFmt(native_error, {path}, settings_.component);
  const TPLAction action =
      events_.ProcessFileFailure(path, task_.queue.move ? poMove : poAdd, failure.NativeError(),
                                 failure.ErrorCode(), failure.Message());
  if (action == fxaAbort) throw failure;
  return action;
}

}  // namespace parcelon
