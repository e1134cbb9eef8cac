// The snapshot of the archiver's options and properties that an operation
// takes when it starts and hands to the parts below the component.
#include "archive/base_archiver.h"

namespace parcelon {

EngineSettings TPLArchiverState::SettingsNow() const {
  const bool on_disk = !in_memory_ && !external_stream_;
  return {
      .component = this,
      .archive_name = file_name_,
      .password = password_,
      .names = {.store_path = options_.StorePath(),
                .oem = options_.OEMFileNames(),
                .unicode = unicode_filenames_},
      .reading = {.repair_directory = repair_directory_,
                  .inflater = inflater_,
                  .extract_corrupted_files = extract_corrupted_files_},
      .writing = {.compression_mode = compression_mode_,
                  .default_method = static_cast<uint16_t>(new_entry_method_ == 8 ? 8 : 0),
                  .zip64_mode = zip64_mode_,
                  .encryption_method = encryption_method_,
                  .source_share = options_.ShareModeBits(),
                  .flush_buffers = options_.FlushBuffers() && on_disk,
                  .rewrite_threshold = rewrite_threshold_,
                  .no_compression_masks = no_compression_masks_,
                  .threads = ThreadsNow()},
      .files = {.recurse = options_.Recurse(),
                .create_dirs = options_.CreateDirs(),
                .replace_read_only = options_.ReplaceReadOnly(),
                .set_attributes = options_.SetAttributes(),
                .durable_extraction = options_.DurableExtraction(),
                .overwrite_mode = [this] { return options_.OverwriteMode(); }},
  };
}

}  // namespace parcelon
