// A seekable byte stream with 64-bit positions: the archive file, a memory
// buffer, or a test double that injects faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace platform {

enum class SeekOrigin { kBegin, kCurrent, kEnd };

class Stream {
 public:
  virtual ~Stream() = default;

  // Reads up to n bytes; returns the count read (0 at the end).
  // Throws EStreamError when the system reports a failure.
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes up to n bytes; returns the count written (fewer on a full disk).
  // Throws EStreamError when the system reports a failure other than a short write.
  virtual size_t Write(const void* buffer, size_t n) = 0;
  // Moves the position; returns the new position. Throws EStreamError.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  // Sets the size (truncating or extending); the position is kept.
  // Throws EStreamError.
  virtual void SetSize(int64_t size) = 0;
  // Forces written data to stable storage where that means anything.
  virtual void Flush() {}
  // Releases the file under the stream now, reporting what the system says
  // about it; nothing may be done with the stream after. A stream closes
  // silently when destroyed. Throws EStreamError.
  virtual void Close() {}

  int64_t Position() { return Seek(0, SeekOrigin::kCurrent); }
  // The size; the position is kept.
  virtual int64_t Size();
  // Reads exactly n bytes or throws EStreamError("Stream read error").
  void ReadBuffer(void* buffer, size_t n);
  // Writes exactly n bytes or throws EStreamError("Stream write error").
  void WriteBuffer(const void* buffer, size_t n);
  // Copies n bytes from the source's position to this stream's position,
  // moving both positions on: inside the system when both are files, else
  // through a buffer of at most 61,440 bytes. Throws EStreamError on a short
  // read or write. With `on_chunk`, always through the buffer, and each
  // chunk is shown to it after it is written.
  using ChunkCallback = std::function<void(std::span<const uint8_t>)>;
  void CopyFrom(Stream& source, int64_t n, const ChunkCallback& on_chunk = {});
  // Copies up to n bytes from the source's position to this stream's
  // position inside the system (when both are files), moving both positions
  // on by the count copied, which it returns: fewer, even 0, when the system
  // cannot copy between the two. Throws EStreamError when a wrapping stream
  // refuses the copy. CopyFrom finishes what this leaves through a buffer.
  virtual int64_t CopyInSystemFrom(Stream& source, int64_t n);
  // The system's descriptor of the file under the stream, or -1.
  virtual int Descriptor() const { return -1; }
  // Where data next stands at or after `position`: a hole of a sparse file
  // (which reads as zeros) is skipped; -1 when only a hole follows up to the
  // end. Without a file, or where the system cannot tell, `position` itself.
  // The position is kept.
  int64_t NextData(int64_t position);
};

}  // namespace platform
