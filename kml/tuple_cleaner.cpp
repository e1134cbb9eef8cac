#include "kml/tuple_cleaner.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace kml {

namespace {

// Bits of 16 characters: separators (code 0 to 32, or a comma) and commas.
inline void Classify16(const char* p, uint32_t* separators, uint32_t* commas) {
  __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(chars, _mm_set1_epi8(32)), chars);
  __m128i comma = _mm_cmpeq_epi8(chars, _mm_set1_epi8(','));
  *separators = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(blank, comma)));
  *commas = static_cast<uint32_t>(_mm_movemask_epi8(comma));
}

// Values are short: copying them in whole chunks, where the text allows
// reading that far, beats a call to memcpy for each.
constexpr size_t kCopyChunk = 16;

inline void CopyValue(std::string_view text, size_t begin, size_t end, char* dst) {
  if (end + kCopyChunk > text.size()) {
    std::memcpy(dst, text.data() + begin, end - begin);
    return;
  }
  for (size_t k = begin; k < end; k += kCopyChunk, dst += kCopyChunk)
    std::memcpy(dst, text.data() + k, kCopyChunk);
}

// Separator and comma bits of the 64 characters at p.
inline void Classify64(const char* p, uint64_t* separators, uint64_t* commas) {
  uint64_t sep = 0, com = 0;
  for (int part = 0; part < 4; ++part) {
    uint32_t s16, c16;
    Classify16(p + 16 * part, &s16, &c16);
    sep |= uint64_t{s16} << (16 * part);
    com |= uint64_t{c16} << (16 * part);
  }
  *separators = sep;
  *commas = com;
}

}  // namespace

void TupleCleaner::Classify(std::string_view text) {
  size_t n = text.size();
  size_t words = (n + 63) / 64;
  separators_.resize(words);
  commas_.resize(words);
  size_t i = 0, w = 0;
  for (; i + 64 <= n; i += 64, ++w) Classify64(text.data() + i, &separators_[w], &commas_[w]);
  if (i == n) return;
  // The last partial word: classify a copy padded with value characters.
  char tail[64];
  std::memset(tail, '0', sizeof tail);
  std::memcpy(tail, text.data() + i, n - i);
  Classify64(tail, &separators_[w], &commas_[w]);
}

inline size_t TupleCleaner::CommasIn(size_t begin, size_t end) const {
  // Separators hold a comma or two, so clearing bit by bit beats a popcount,
  // which the baseline instruction set lacks.
  size_t count = 0;
  if (begin == end) return 0;
  if (begin / 64 == (end - 1) / 64) {
    uint64_t bits =
        (commas_[begin / 64] >> (begin % 64)) & ((uint64_t{2} << (end - 1 - begin)) - 1);
    for (; bits != 0; bits &= bits - 1) ++count;
    return count;
  }
  while (begin < end) {
    size_t w = begin / 64, shift = begin % 64;
    size_t take = std::min<size_t>(64 - shift, end - begin);
    uint64_t mask = take == 64 ? ~uint64_t{0} : ((uint64_t{1} << take) - 1) << shift;
    for (uint64_t bits = commas_[w] & mask; bits != 0; bits &= bits - 1) ++count;
    begin += take;
  }
  return count;
}

void TupleCleaner::Clean(std::string_view text, std::string* out) {
  Classify(text);
  // The result is never longer than the text: write it in place and trim.
  const size_t n = text.size();
  size_t base = out->size();
  out->resize(base + n + kCopyChunk);
  char* dst = out->data() + base;
  int components = 0;  // values so far in the current tuple
  bool seen_value = false;
  auto separator = [&](size_t begin, size_t end, bool at_end) __attribute__((always_inline)) {
    size_t commas = CommasIn(begin, end);
    bool blank = commas < end - begin;
    bool ends_tuple = commas == 0 || (components == 3 && commas == 1 && blank);
    if (!seen_value || at_end || !ends_tuple) {
      dst = std::fill_n(dst, commas, ',');
    } else {
      *dst++ = ' ';
      components = 0;
    }
  };
  auto value = [&](size_t begin, size_t end) __attribute__((always_inline)) {
    CopyValue(text, begin, end, dst);
    dst += end - begin;
    ++components;
    seen_value = true;
  };
  // Walk the edges between separator runs and value runs, 64 characters at a
  // time. The text is taken to begin inside an (empty) separator run.
  bool in_separator = true;
  size_t run_start = 0;
  uint64_t carry = 1;
  for (size_t w = 0; w < separators_.size(); ++w) {
    uint64_t sep = separators_[w];
    uint64_t edges = sep ^ ((sep << 1) | carry);
    carry = sep >> 63;
    if (w + 1 == separators_.size() && n % 64 != 0) edges &= (uint64_t{1} << (n % 64)) - 1;
    for (; edges != 0; edges &= edges - 1) {
      size_t pos = w * 64 + static_cast<size_t>(std::countr_zero(edges));
      if (in_separator) {
        separator(run_start, pos, false);
      } else {
        value(run_start, pos);
      }
      in_separator = !in_separator;
      run_start = pos;
    }
  }
  if (in_separator) {
    separator(run_start, n, true);
  } else {
    value(run_start, n);
  }
  out->resize(static_cast<size_t>(dst - out->data()));
}

void CleanTuples(std::string_view text, std::string* out) {
  TupleCleaner().Clean(text, out);
}

}  // namespace kml
