#include "archive/extract/extracted_files.h"

#include "archive/errors/pl_exception.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {

void ExtractedFiles::Add(const ExtractTarget& part, const ExtractTarget& target) {
  waiting_.push_back({part, target});
  waiting_targets_.insert(target.Path());
  if (waiting_.size() >= kBatch) Commit();
}

bool ExtractedFiles::Waiting(const ExtractTarget& target) const {
  return waiting_targets_.count(target.Path()) != 0;
}

void ExtractedFiles::RemoveStaleParts(const ExtractTarget& target, uid_t owner,
                                      const std::string& own) {
  const auto [found, fresh] = stale_.try_emplace(target.Folder());
  std::set<std::string>& parts = found->second;
  if (fresh) parts = PartsIn(target.Folder(), owner);
  const std::string file = target.FileName();
  for (auto name = parts.begin(); name != parts.end();) {
    if (*name == own || !IsPartOf(*name, file)) {
      ++name;
      continue;
    }
    ExtractTarget stale = target;
    std::string& path = stale.Chosen() ? stale.chosen : stale.relative;
    path = platform::FolderOf(path) + *name;
    RemoveQuietly(stale);
    name = parts.erase(name);
  }
}

// The names in `folder` that may be partial copies: hidden regular files
// owned by `owner` (none when the folder cannot be read).
std::set<std::string> ExtractedFiles::PartsIn(const std::string& folder, uid_t owner) {
  std::set<std::string> parts;
  try {
    for (const platform::FolderEntry& entry : fs_.ListFolder(folder))
      if (!entry.is_link && entry.info.is_regular && entry.info.uid == owner &&
          entry.name.starts_with('.') && entry.name.find(".part-") != std::string::npos)
        parts.insert(entry.name);
  } catch (const platform::IoError&) {
    parts.clear();  // an unreadable folder keeps what it holds
  }
  return parts;
}

void ExtractedFiles::Commit() {
  std::vector<Written> files;
  files.swap(waiting_);
  waiting_targets_.clear();
  std::set<std::string> folder_roots;
  folder_roots.swap(folder_roots_);
  if (files.empty() && folder_roots.empty()) return;
  if (durable_) SyncOrDrop(files, folder_roots);
  std::string failed = RenameAll(files);
  try {
    if (durable_ && !files.empty()) SyncAll(files, {});
  } catch (const platform::IoError&) {
    if (failed.empty()) failed = files.front().target.Path();
  }
  if (!failed.empty()) CannotCreate(failed);
}

// Syncs the data; when that fails, no file takes its name.
void ExtractedFiles::SyncOrDrop(const std::vector<Written>& files,
                                const std::set<std::string>& folder_roots) {
  try {
    SyncAll(files, folder_roots);
  } catch (const platform::IoError&) {
    for (const Written& file : files) RemoveQuietly(file.part);
    CannotCreate(files.empty() ? *folder_roots.begin() : files.front().target.Path());
  }
}

// Renames each file to its target; gives the first target that could not
// take its file (which is removed), or an empty string.
std::string ExtractedFiles::RenameAll(const std::vector<Written>& files) {
  std::string failed;
  for (const Written& file : files) {
    try {
      Rename(file);
    } catch (const platform::IoError&) {
      RemoveQuietly(file.part);
      if (failed.empty()) failed = file.target.Path();
    }
  }
  return failed;
}

void ExtractedFiles::CommitQuietly() noexcept {
  try {
    Commit();
  } catch (const std::exception&) {
    // The run already ends by a failure of its own.
  }
}

// One sync per folder the files (and the folders made) are below; on one file system that is one
// sync, and the others find nothing left to write.
void ExtractedFiles::SyncAll(const std::vector<Written>& files,
                             const std::set<std::string>& folder_roots) {
  std::set<std::string> roots = folder_roots;
  for (const Written& file : files)
    roots.insert(file.target.Chosen() ? file.target.Folder() : file.target.root);
  std::set<dev_t> devices;
  for (const std::string& root : roots) {
    const platform::FileIdentity identity = fs_.IdentityOf(root);
    if (identity.exists && !devices.insert(identity.device).second) continue;
    fs_.SyncFileSystem(root);
  }
}

void ExtractedFiles::Rename(const Written& file) {
  if (file.target.Chosen()) return fs_.Rename(file.part.chosen, file.target.chosen);
  fs_.RenameBelow(file.target.root, file.part.relative, file.target.relative);
}

void ExtractedFiles::RemoveQuietly(const ExtractTarget& file) noexcept {
  try {
    if (file.Chosen()) return fs_.Remove(file.chosen);
    fs_.RemoveBelow(file.root, file.relative);
  } catch (const std::exception&) {
    // Nothing more can be done about a file that cannot be removed.
  }
}

void ExtractedFiles::CannotCreate(const std::string& path) const {
  throw EPLException::CreateFmt(errc::kCannotCreateOutput, {platform::Utf8ToUtf16(path)},
                                component_);
}

}  // namespace parcelon
