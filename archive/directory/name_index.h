// The index of the directory's entry names, over positions: it keeps no
// copy of a name but asks its owner for the name at a position. Names are
// told apart exactly. Among equal names the one entered most recently is
// found; after a rebuild (a lookup after Delete, or once the table is too
// full) that is the one at the highest position.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace parcelon {

class TPLNameIndex {
 public:
  // `name_at` gives the name at a listed position; it must stay callable
  // for the index's lifetime and answer for every position below Count().
  using NameAt = std::function<std::u16string_view(int32_t)>;
  explicit TPLNameIndex(NameAt name_at);

  // The number of listed positions, 0..Count()-1.
  int32_t Count() const { return count_; }
  // Lists position Count(), whose name must already be in place.
  void Add();
  // Unlists the name at `position` (< Count()) from the table before that
  // position's name changes; Relist then enters the new name.
  void Unlist(int32_t position);
  void Relist(int32_t position);
  // Removes `position`; later positions move down by one.
  void Delete(int32_t position);
  // Drops the last positions down to `count`.
  void Truncate(int32_t count);
  void Clear();
  // The position named `name` (see the header comment), or -1. Builds the
  // table (max(Count, 1000) buckets) when there is none or it is stale.
  int32_t IndexOf(std::u16string_view name);

  // The table's bucket count, 0 when there is none (for tests).
  size_t BucketCount() const { return buckets_.size(); }

 private:
  static uint32_t HashOf(std::u16string_view name);
  int32_t& BucketOf(std::u16string_view name);
  void Link(int32_t position);
  void Rebuild();

  NameAt name_at_;
  std::vector<int32_t> buckets_;  // first position of each chain, -1 for none
  std::vector<int32_t> next_;     // next position of the chain, by position
  int32_t count_ = 0;
  bool valid_ = false;
};

}  // namespace parcelon
