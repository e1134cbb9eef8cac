// Storage for the texts a directory reads from an archive: blocks of at
// least 128 Ki units, handed out in pieces that stay where they are until the
// arena is released. Nothing is freed piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace parcelon {

class TPLTextArena {
 public:
  // `units` 16-bit units, valid until Release or the arena's end. Throws
  // std::bad_alloc when memory runs out.
  char16_t* Allocate(size_t units);
  // Frees every block; what Allocate gave is invalid afterwards.
  void Release();

 private:
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  char16_t* next_ = nullptr;
  size_t left_ = 0;
};

}  // namespace parcelon
