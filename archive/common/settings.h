// The archiver's settings as they stand when an operation starts: one plain
// snapshot that the archiver takes of its options and properties (see
// TPLBaseArchiver::SettingsNow) and hands by const reference to the parts
// below it, each of which reads the fields it needs. The snapshot owns its
// values; the component it points to must outlive it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/common/component.h"
#include "archive/common/secret_text.h"
#include "archive/common/types.h"

namespace parcelon {

// Which inflater decodes entries: the fastest the build has, or zlib's.
enum class InflaterKind { kFastest, kZlib };

struct EngineSettings {
  const TComponent* component = nullptr;  // prefixes the engine's messages
  std::u16string archive_name;            // named by the disk-full event
  // The password of new entries and the first one tried on encrypted
  // entries; shared with the entries it is given to.
  SharedSecret password = MakeSecret({});

  // Stored names.
  struct Names {
    TPLStorePathMode store_path = spRelativePath;
    bool oem = true;       // names without flag bit 11 are OEM text
    bool unicode = false;  // new entries get the Unicode name field
  } names;

  // Reading the archive.
  struct Reading {
    bool repair_directory = true;  // rebuild from local headers instead of failing
    InflaterKind inflater = InflaterKind::kFastest;
    bool extract_corrupted_files = false;  // a damaged entry is no error
  } reading;

  // Writing entries and the archive.
  struct Writing {
    uint8_t compression_mode = 1;  // of files; folders get 0
    uint16_t default_method = 8;   // of files (0 or 8); folders get 0
    TZip64Mode zip64_mode = zmAuto;
    TPLCryptoAlgorithm encryption_method = caPkzipClassic;  // of entries with a password
    uint16_t source_share = 0x40;                           // sharing mode of opened sources
    // Sync the archive's file before each step that makes data visible
    // (off for an archive in memory or on a caller's stream).
    bool flush_buffers = true;
    // The smallest tail for which a commit writes a new file: smaller tails
    // are rewritten in place, which keeps the file itself.
    int64_t rewrite_threshold = int64_t{16} << 20;
    std::vector<std::u16string> no_compression_masks;  // files stored, not deflated
    // Threads that deflate new entries read ahead from disk; 1 reads and
    // deflates each entry in turn. The archive's bytes are the same.
    int threads = 1;
  } writing;

  // Files on disk: the disk scan of adds and extraction.
  struct Files {
    bool recurse = true;
    bool create_dirs = true;
    bool replace_read_only = true;
    bool set_attributes = true;
    // Extracted files are synced before they take their names; off for
    // working copies that are not the user's files.
    bool durable_extraction = true;
    // The overwrite mode as it stands when asked: a prompt answered "to
    // all" changes it for the files that follow.
    std::function<TPLOverwriteMode()> overwrite_mode = [] { return omAlways; };
  } files;
};

}  // namespace parcelon
