// The event types of the archiver. Handlers are called on the thread of the
// operation that fires them; `Sender` is the archiver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/common/types.h"

namespace parcelon {

class TPLBaseArchiver;

using TPLOverallProgressEvent =
    std::function<void(TPLBaseArchiver& Sender, double Progress, TPLProcessOperation Operation,
                       TPLProgressPhase ProgressPhase, bool& Cancel)>;
using TPLFileProgressEvent = std::function<void(
    TPLBaseArchiver& Sender, const std::u16string& FileName, double Progress,
    TPLProcessOperation Operation, TPLProgressPhase ProgressPhase, bool& Cancel)>;
using TPLCopyTempFileProgressEvent = std::function<void(
    TPLBaseArchiver& Sender, double Progress, TPLProgressPhase ProgressPhase, bool& Cancel)>;
using TPLConfirmOverwriteEvent =
    std::function<void(TPLBaseArchiver& Sender, const std::u16string& SourceFileName,
                       std::u16string& DestFileName, bool& Confirm)>;
using TPLConfirmProcessFileEvent =
    std::function<void(TPLBaseArchiver& Sender, const std::u16string& FileName,
                       TPLProcessOperation Operation, bool& Confirm)>;
using TPLNotifyEvent = std::function<void(TPLBaseArchiver& Sender)>;
using TPLPasswordEvent = std::function<void(TPLBaseArchiver& Sender, const std::u16string& FileName,
                                            std::string& NewPassword, bool& SkipFile)>;
using TPLProcessFileFailureEvent = std::function<void(
    TPLBaseArchiver& Sender, const std::u16string& FileName, TPLProcessOperation Operation,
    int32_t NativeError, int32_t ErrorCode, const std::u16string& ErrorMessage, TPLAction& Action)>;
using TPLRequestVolumeEvent = std::function<void(TPLBaseArchiver& Sender, int32_t VolumeNumber,
                                                 std::u16string& VolumeFileName, bool& Cancel)>;
using TPLDiskFullEvent = std::function<void(TPLBaseArchiver& Sender, int32_t VolumeNumber,
                                            const std::u16string& VolumeFileName, bool& Cancel)>;
using TPLStoreFileEvent =
    std::function<void(TPLBaseArchiver& Sender, std::u16string& FileName, int32_t& FileAttr,
                       std::string& Comment, const std::u16string& OriginalFileName)>;
using TPLExtractFileEvent = std::function<void(TPLBaseArchiver& Sender, std::u16string& FileName,
                                               uint32_t& FileAttr, const std::string& Comment)>;

}  // namespace parcelon
