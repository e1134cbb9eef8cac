// The engine's detailed error codes (an EPLException's NativeError), one name
// each. The message a code shows is its row of NativeErrorTable; codes marked
// "not raised" keep their rows so that handlers of OnProcessFileFailure can
// name them.
#pragma once

#include <cstdint>

namespace parcelon::errc {

enum Code : int32_t {
  kUnknown = 0,                   // not raised; the message of any unknown code
  kStoreOutOfBounds = 1,          // storing an entry outside the directory
  kCopyOutOfBounds = 2,           // copying an entry outside the directory
  kReferenceOutOfBounds = 3,      // referring to an entry outside the directory
  kDeleteOutOfBounds = 4,         // deleting an entry outside the directory
  kInvalidCompressionMode = 5,    // CompressionMode above 9
  kNoTempStream = 6,              // the commit has no tail copy to copy back
  kNoOldVersion = 7,              // the commit copies an entry the snapshot lacks
  kCorruptedData = 8,             // an entry fails decompression or verification
  kBlankNameOpen = 9,             // OpenArchive() with no file name
  kBlankNameOpenMode = 10,        // OpenArchive(Mode) with no file name
  kFileNotFound11 = 11,           // not raised
  kArchiveNotFound = 12,          // OpenArchive(Mode) on a missing file
  kArchiveNotOpen = 13,           // an operation needs an open archive
  kArchiveNotOpen14 = 14,         // not raised
  kFileNotFound15 = 15,           // not raised
  kProcessOutOfBounds = 16,       // extracting or testing an index out of range
  kNoSfxStub = 17,                // not raised
  kFileNotFound18 = 18,           // not raised
  kCannotCreateOutput = 19,       // extraction cannot create the output file
  kCannotCreateFolder = 20,       // extraction cannot create a folder
  kRemoveOutOfBounds = 21,        // removing an entry out of range
  kRemoveOutsideUpdate = 22,      // removing an entry outside a transaction
  kCannotCreateFile23 = 23,       // not raised
  kMarkOutOfBounds = 24,          // replacing an entry's source out of range
  kMarkOutsideUpdate = 25,        // replacing an entry's source outside a transaction
  kUpdateInProgress = 26,         // an operation needs no open transaction
  kCannotDeleteSource = 27,       // a moved source file cannot be deleted
  kInMemoryCreateOnly = 28,       // an in-memory archive opened other than by creating
  kBlankNameLeavingMemory = 29,   // an in-memory archive leaves memory with no file name
  kFileNotFound30 = 30,           // not raised
  kFileNotFound31 = 31,           // not raised
  kReadOnlyArchive = 32,          // BeginUpdate on an archive open for reading only
  kCannotOpenSource = 33,         // the commit cannot open a source file
  kCompressedSizeMismatch = 34,   // compression consumed other than the source size
  kInvalidArchive = 35,           // no local header to rebuild a directory from
  kOutputLocked = 36,             // not raised
  kArchiveIsOpen = 37,            // not raised
  kFileNotFound38 = 38,           // not raised
  kCannotCreateDirectory39 = 39,  // not raised
  kNoZip64EndRecord = 40,         // a Zip64 locator without its end record
  kZip64NeededCompressing = 41,   // compression needs Zip64 while it is disabled
  kFileNotFound42 = 42,           // not raised
  kZip64NeededCommitting = 43,    // the commit needs Zip64 while it is disabled
  kOpenAborted = 44,              // loading a multi-volume directory was aborted
  kVolumeNotOpened = 45,          // a volume cannot be opened
  kShortWrite = 46,               // a write stored fewer bytes than asked
  kStubTooLarge = 47,             // not raised
  kNoEndRecord = 48,              // no end record and repair is off
  kSfxOnVolumes = 49,             // not raised
  kHasSfxStub = 50,               // not raised
  kVolumesOnCustomStream = 51,    // not raised
  kModifyingSpanned = 52,         // not raised
  kFileNotFound53 = 53,           // not raised
  kFileNotFound54 = 54,           // not raised
  kDeflate64 = 55,                // an entry stored with method 9
  kSfxFailed = 56,                // not raised
  kDamagedArchive = 57,           // entries larger than the file, repair off
  kNameListMisaligned = 58,       // the name index does not line up with the entries
  kNameListInvalid = 59,          // the name index disagrees with the directory
  kCannotDeleteFolder = 60,       // a moved source folder cannot be removed
  kNameTooLong = 61,              // the system refuses a source name as too long
  kMultiVolumeTransactions = 62,  // a second transaction on a multi-volume archive
  kInitVectorIndex63 = 63,        // not raised
  kInitVectorIndex64 = 64,        // not raised
  kDiskFull = 65,                 // a write found the disk full, no spanning
  kDiskFull66 = 66,               // not raised
  kInvalidPassword = 67,          // not raised: a refused password skips the entry
  kNotRegularArchive = 68,        // the archive's name is a FIFO, a device or a folder
  kUnprotectedUpdate = 69,        // the folder refuses the rollback journal
  kNewArchiveNameTaken = 70,      // a file took a new archive's name while it was written
};

}  // namespace parcelon::errc
