// The engine's wildcard masks: '*' any run of characters (folder separators
// included), '?' exactly one character.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/code_pages.h"

namespace parcelon {

// Matches `name` against `mask`. A run of two or more stars at the end of
// the mask needs at least one character; the whole mask "*.*" matches
// everything. With `ignore_case` both sides are compared upper-cased.
// Runs in O(len(name) * len(mask)) time at worst, with no recursion.
bool WildcardMatch(std::u16string_view name, std::u16string_view mask, bool ignore_case,
                   const platform::CodePages& code_pages);

// The mask test for entry names: an empty mask matches nothing; the first
// "*.*" counts as "*"; a mask ending in '.' matches only names without an
// extension; letter case is ignored.
bool NameMatchesMask(std::u16string_view name, std::u16string_view mask,
                     const platform::CodePages& code_pages);

// True when no bit of hidden, system, volume label or directory is set in
// `attr` without being set in `search_attr`.
bool AttributesMatch(uint32_t attr, uint32_t search_attr);

}  // namespace parcelon
