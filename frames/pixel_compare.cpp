#include "frames/pixel_compare.h"

#include "frames/pixel_image.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace lumo {
namespace frames {
namespace {

#ifdef __SSE2__
// SSE2 is the x64 baseline; a 32-bit build without it takes the plain loop.
// Four pixels a vector; an all-ones mask where a pixel's colour is the same.
int sameMask(const std::uint32_t *a, const std::uint32_t *b) {
  const __m128i colour = _mm_set1_epi32(static_cast<int>(kColourBits));
  const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i *>(b)));
  return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(x, colour), _mm_setzero_si128()));
}

// Index of the first pixel that differs, or count.
int firstDifference(const std::uint32_t *a, const std::uint32_t *b, int count) {
  const __m128i colour = _mm_set1_epi32(static_cast<int>(kColourBits));
  int i = 0;
  // Sixteen pixels a step, one test: equal rows run at the speed of reading.
  for (; i + 16 <= count; i += 16) {
    __m128i x = _mm_setzero_si128();
    for (int k = 0; k < 16; k += 4) {
      x = _mm_or_si128(
          x, _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i + k)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i + k))));
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(x, colour), _mm_setzero_si128())) !=
        0xFFFF) {
      break;
    }
  }
  for (; i + 4 <= count; i += 4) {
    const int same = sameMask(a + i, b + i);
    if (same != 0xFFFF) {
      return i + __builtin_ctz(~same & 0xFFFF) / 4;
    }
  }
  for (; i < count && !coloursDiffer(a[i], b[i]); ++i) {
  }
  return i;
}

// Index of the last pixel before `end` that differs; `end` is past one that does.
int lastDifference(const std::uint32_t *a, const std::uint32_t *b, int begin, int end) {
  int i = end;
  for (; i - 4 >= begin; i -= 4) {
    const int same = sameMask(a + i - 4, b + i - 4);
    if (same != 0xFFFF) {
      return i - 4 + (31 - __builtin_clz(~same & 0xFFFF)) / 4;
    }
  }
  do {
    --i;
  } while (!coloursDiffer(a[i], b[i]));
  return i;
}
#else
int firstDifference(const std::uint32_t *a, const std::uint32_t *b, int count) {
  int i = 0;
  for (; i < count && !coloursDiffer(a[i], b[i]); ++i) {
  }
  return i;
}

int lastDifference(const std::uint32_t *a, const std::uint32_t *b, int, int end) {
  int i = end;
  do {
    --i;
  } while (!coloursDiffer(a[i], b[i]));
  return i;
}
#endif

}  // namespace

bool samePixels(const std::uint32_t *a, const std::uint32_t *b, int count) {
  return firstDifference(a, b, count) == count;
}

bool differingSpan(const std::uint32_t *a, const std::uint32_t *b, int count, int *first,
                   int *last) {
  const int at = firstDifference(a, b, count);
  if (at == count) {
    return false;
  }
  *first = at;
  *last = lastDifference(a, b, at, count);
  return true;
}

}  // namespace frames
}  // namespace lumo
