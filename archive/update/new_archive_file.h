// A new archive file that appears under its name only complete: it is
// written under a hidden name beside it (".NAME.new." and six characters),
// then renamed to the name without replacing anything that took the name
// meanwhile (see crash_protocol.h, 3).
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

// Removes the unfinished new files of `final_path` that no live writer
// holds, then creates a hidden file for it exclusively and stores its path
// in `hidden_path`. Throws the file system's errors (EFCreateError).
std::unique_ptr<platform::Stream> CreateHiddenArchive(platform::FileSystem& fs,
                                                      const std::string& final_path,
                                                      std::string& hidden_path);

// With `sync`, syncs `file` (open at `hidden_path`); then renames it to
// `final_path` unless something has that name. True when renamed (the
// commit point), false when nothing changed. Throws IoError.
bool PublishHiddenArchive(platform::FileSystem& fs, platform::Stream& file,
                          const std::string& hidden_path, const std::string& final_path, bool sync);

// With `sync`, syncs the folder of a just published `final_path`, so that
// its new name survives a power cut. Throws IoError.
void SyncPublishedFolder(platform::FileSystem& fs, const std::string& final_path, bool sync);

// Removes a hidden file that never took its name; a failure leaves it for
// the next open or creation, which removes it.
void RemoveHiddenArchive(platform::FileSystem& fs, const std::string& hidden_path) noexcept;

}  // namespace parcelon
