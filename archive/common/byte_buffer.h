// A byte vector whose growth leaves the new bytes as they come from the
// allocator instead of zeroing them: for buffers that are filled right after
// they are sized (a block read from a file, an encoder's output), where the
// zeroing would be wasted work. Bytes that were never written hold
// unspecified values, so only the part a reader or encoder filled may be
// used.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace parcelon {

template <typename T>
class NoFillAllocator : public std::allocator<T> {
 public:
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = NoFillAllocator<U>;
  };

  NoFillAllocator() noexcept = default;
  template <typename U>
  NoFillAllocator(const NoFillAllocator<U>&) noexcept {}

  // Value-initialisation (zeroing) becomes default-initialisation.
  template <typename U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
};

using ByteBuffer = std::vector<uint8_t, NoFillAllocator<uint8_t>>;

}  // namespace parcelon
