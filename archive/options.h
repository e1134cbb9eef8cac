// The archiver's option objects: general options, multi-volume options and
// the volume the archiver works on.
#pragma once

#include <cstdint>

#include "archive/common/types.h"

namespace parcelon {

class TPLOptions {
 public:
  bool Recurse() const { return recurse_; }
  void SetRecurse(bool value) { recurse_ = value; }
  TPLStorePathMode StorePath() const { return store_path_; }
  void SetStorePath(TPLStorePathMode value) { store_path_ = value; }
  TPLFileShareMode ShareMode() const { return share_mode_; }
  void SetShareMode(TPLFileShareMode value) { share_mode_ = value; }
  TPLOverwriteMode OverwriteMode() const { return overwrite_mode_; }
  void SetOverwriteMode(TPLOverwriteMode value) { overwrite_mode_ = value; }
  bool CreateDirs() const { return create_dirs_; }
  void SetCreateDirs(bool value) { create_dirs_ = value; }
  bool ReplaceReadOnly() const { return replace_read_only_; }
  void SetReplaceReadOnly(bool value) { replace_read_only_ = value; }
  bool SetAttributes() const { return set_attributes_; }
  void SetSetAttributes(bool value) { set_attributes_ = value; }
  int32_t SearchAttr() const { return search_attr_; }
  void SetSearchAttr(int32_t value) { search_attr_ = value; }
  bool FlushBuffers() const { return flush_buffers_; }
  void SetFlushBuffers(bool value) { flush_buffers_ = value; }
  // Whether extracted files reach stable storage before they take their
  // names (true, the default). False skips the syncs, for copies in a
  // private scratch folder that a crash may lose without harm.
  bool DurableExtraction() const { return durable_extraction_; }
  void SetDurableExtraction(bool value) { durable_extraction_ = value; }
  bool OEMFileNames() const { return oem_file_names_; }
  void SetOEMFileNames(bool value) { oem_file_names_ = value; }

  // The sharing mode of source files as a file-mode sharing value (0x00..0x40).
  uint16_t ShareModeBits() const;
  // Copies every option of `source` except ShareMode, which keeps its value.
  void Assign(const TPLOptions& source);

 private:
  bool recurse_ = true;
  TPLStorePathMode store_path_ = spRelativePath;
  TPLFileShareMode share_mode_ = smShareDenyNone;
  TPLOverwriteMode overwrite_mode_ = omAlways;
  bool create_dirs_ = true;
  bool replace_read_only_ = true;
  bool set_attributes_ = true;
  int32_t search_attr_ = kAllEntries;
  bool flush_buffers_ = true;
  bool durable_extraction_ = true;
  bool oem_file_names_ = true;
};

class TPLSpanningOptions {
 public:
  bool AdvancedNaming() const { return advanced_naming_; }
  void SetAdvancedNaming(bool value) { advanced_naming_ = value; }
  int64_t FirstVolumeSize() const { return first_volume_size_; }
  void SetFirstVolumeSize(int64_t value) { first_volume_size_ = value; }
  TPLVolumeSize VolumeSize() const { return volume_size_; }
  void SetVolumeSize(TPLVolumeSize value) { volume_size_ = value; }
  int64_t CustomVolumeSize() const { return custom_volume_size_; }
  // Values below 65,536 become 65,536.
  void SetCustomVolumeSize(int64_t value) { custom_volume_size_ = value < 65536 ? 65536 : value; }

 private:
  bool advanced_naming_ = false;
  int64_t first_volume_size_ = 0;
  TPLVolumeSize volume_size_ = vsAutoDetect;
  int64_t custom_volume_size_ = 0;
};

// Which volume of an archive the archiver works on; 0 for a single file.
class TPLVolumeNumberInfo {
 public:
  enum Kind : uint8_t { vnFirst, vnLast, vnNumber, vnUnset };

  void Reset() { *this = TPLVolumeNumberInfo(); }
  void SetFirst() { kind_ = vnFirst, volume_number_ = 0; }
  void SetNumber(uint32_t number) { kind_ = vnNumber, volume_number_ = number; }
  void SetLastVolumeNumber(uint32_t number) { last_volume_number_ = number; }
  uint32_t VolumeNumber() const { return volume_number_; }
  uint32_t LastVolumeNumber() const { return last_volume_number_; }
  Kind VolumeKind() const { return kind_; }

 private:
  uint32_t volume_number_ = 0;
  uint32_t last_volume_number_ = 0;
  Kind kind_ = vnUnset;
};

}  // namespace parcelon
