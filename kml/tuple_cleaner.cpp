#include "kml/tuple_cleaner.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>

namespace kml {

namespace {

// What one pass over 16 characters finds.
struct Chunk16 {
  uint32_t separators;  // code 0 to 32, or a comma
  uint32_t tabs;
  uint32_t opens;  // '<'
};

// Looks at p[0, 16) one character at a time, on any processor.
template <bool kFacts>
inline Chunk16 Classify16(PortableClassifier, const char* p) {
  Chunk16 c{0, 0, 0};
  for (unsigned k = 0; k < 16; ++k) {
    const unsigned char u = static_cast<unsigned char>(p[k]);
    c.separators |= uint32_t{u <= 32 || u == ','} << k;
    if constexpr (kFacts) {
      c.tabs |= uint32_t{u == '\t'} << k;
      c.opens |= uint32_t{u == '<'} << k;
    }
  }
  return c;
}

#ifdef __SSE2__
// Looks at p[0, 16) all at once.
template <bool kFacts>
inline Chunk16 Classify16(Sse2Classifier, const char* p) {
  __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(chars, _mm_set1_epi8(32)), chars);
  __m128i comma = _mm_cmpeq_epi8(chars, _mm_set1_epi8(','));
  Chunk16 c{static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(blank, comma))), 0, 0};
  if constexpr (kFacts) {
    c.tabs = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chars, _mm_set1_epi8('\t'))));
    c.opens = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chars, _mm_set1_epi8('<'))));
  }
  return c;
}
#endif

inline size_t CountBits(uint32_t bits) {
  size_t count = 0;
  for (; bits != 0; bits &= bits - 1) ++count;
  return count;
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

// Commas in text[begin, end), a separator run: such runs are a character or
// two, so looking at the characters beats any arithmetic on masks.
inline size_t CommasIn(std::string_view text, size_t begin, size_t end) {
  size_t count = 0;
  for (size_t k = begin; k < end; ++k) count += text[k] == ',';
  return count;
}

}  // namespace

template <typename Classifier>
template <bool kFacts>
void BasicTupleCleaner<Classifier>::ClassifyText(std::string_view text, TextFacts* facts) {
  const size_t n = text.size();
  separators_.resize((n + 63) / 64);
  for (size_t w = 0, i = 0; i < n; ++w) {
    uint64_t sep = 0;
    for (size_t shift = 0; shift < 64 && i < n; shift += 16, i += 16) {
      const char* chunk = text.data() + i;
      // The last characters are classified from a copy padded with value characters.
      char padded[16];
      if (n - i < 16) {
        std::memset(padded, '0', sizeof padded);
        std::memcpy(padded, chunk, n - i);
        chunk = padded;
      }
      Chunk16 c = Classify16<kFacts>(Classifier{}, chunk);
      sep |= uint64_t{c.separators} << shift;
      if constexpr (kFacts) {
        facts->tabs += CountBits(c.tabs);
        if (c.opens != 0 && facts->first_open == std::string_view::npos)
          facts->first_open = i + static_cast<size_t>(std::countr_zero(c.opens));
      }
    }
    separators_[w] = sep;
  }
}

template <typename Classifier>
void BasicTupleCleaner<Classifier>::Classify(std::string_view text, TextFacts* facts) {
  *facts = TextFacts();
  ClassifyText<true>(text, facts);
}

template <typename Classifier>
void BasicTupleCleaner<Classifier>::Clean(std::string_view text, std::string* out) {
  // The result is never longer than the text: write it in place and trim.
  size_t base = out->size();
  out->resize(base + text.size() + kSlack);
  char* end = Clean(text, out->data() + base);
  out->resize(static_cast<size_t>(end - out->data()));
}

template <typename Classifier>
char* BasicTupleCleaner<Classifier>::Clean(std::string_view text, char* dst) {
  ClassifyText<false>(text, nullptr);
  return CleanClassified(text, text.size(), dst);
}

template <typename Classifier>
char* BasicTupleCleaner<Classifier>::CleanClassified(std::string_view classified, size_t n,
                                                     char* dst) {
  static_assert(kSlack >= kCopyChunk);
  std::string_view text = classified.substr(0, n);
  int components = 0;  // values so far in the current tuple
  bool seen_value = false;
  auto separator = [&](size_t begin, size_t end, bool at_end) __attribute__((always_inline)) {
    size_t commas = CommasIn(text, begin, end);
    bool blank = commas < end - begin;
    bool ends_tuple = commas == 0 || (components == 3 && commas == 1 && blank);
    if (!seen_value || at_end || !ends_tuple) {
      if (commas == 1) {
        *dst++ = ',';  // the usual case, without a call to memset
      } else {
        dst = std::fill_n(dst, commas, ',');
      }
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
  const size_t words = (n + 63) / 64;
  for (size_t w = 0; w < words; ++w) {
    uint64_t sep = separators_[w];
    uint64_t edges = sep ^ ((sep << 1) | carry);
    carry = sep >> 63;
    if (w + 1 == words && n % 64 != 0) edges &= (uint64_t{1} << (n % 64)) - 1;
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
  return dst;
}

template class BasicTupleCleaner<PortableClassifier>;
#ifdef __SSE2__
template class BasicTupleCleaner<Sse2Classifier>;
#endif

void CleanTuples(std::string_view text, std::string* out) {
  TupleCleaner().Clean(text, out);
}

}  // namespace kml
