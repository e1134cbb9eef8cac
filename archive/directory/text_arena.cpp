#include "archive/directory/text_arena.h"

#include <algorithm>

namespace parcelon {
namespace {

constexpr size_t kBlockUnits = 128 * 1024;

}  // namespace

char16_t* TPLTextArena::Allocate(size_t size) {
  if (size > left_) {
    const size_t block = std::max(size, kBlockUnits);
    blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(block));
    next_ = blocks_.back().get();
    left_ = block;
  }
  char16_t* piece = next_;
  next_ += size;
  left_ -= size;
  return piece;
}

void TPLTextArena::Release() {
  blocks_ = std::vector<std::unique_ptr<char16_t[]>>();
  next_ = nullptr;
  left_ = 0;
}

}  // namespace parcelon
