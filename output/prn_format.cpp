#include "output/prn_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

namespace {

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Truncation toward zero with the result of the SSE conversion for values
// outside int32 (and NaN): INT32_MIN. The scalar and vector paths agree.
inline int32_t TruncateToInt(float f) {
  if (f > -2147483648.0f && f < 2147483648.0f) return static_cast<int32_t>(f);
  return std::numeric_limits<int32_t>::min();
}

inline uint8_t TwoBitCode(int32_t v, int32_t middle, int32_t large, uint8_t fallback) {
  // Branch-light select; the order of the tests is the priority (0 first).
  uint8_t c = fallback;
  c = v == large ? uint8_t{2} : c;
  c = v == middle ? uint8_t{1} : c;
  c = v == 0 ? uint8_t{0} : c;
  return c;
}

// Packs pixels [0, count) as 1-bit, count a multiple of 8 when `whole`.
void Pack1Scalar(const float* src, std::size_t count, uint8_t* dst) {
  std::size_t x = 0;
  for (; x + 8 <= count; x += 8) {
    unsigned b = 0;
    for (int k = 0; k < 8; ++k) b = (b << 1) | (src[x + k] != 0.0f ? 1u : 0u);
    *dst++ = static_cast<uint8_t>(b);
  }
  if (x < count) {
    unsigned b = 0;
    int k = 0;
    for (; x < count; ++x, ++k) b |= (src[x] != 0.0f ? 1u : 0u) << (7 - k);
    *dst = static_cast<uint8_t>(b);
  }
}

void Pack2Scalar(const float* src, std::size_t count, const DotLevels& lv, uint8_t fallback,
                 uint8_t* dst) {
  std::size_t x = 0;
  for (; x + 4 <= count; x += 4) {
    unsigned b = 0;
    for (int k = 0; k < 4; ++k)
      b = (b << 2) | TwoBitCode(TruncateToInt(src[x + k]), lv.middle, lv.large, fallback);
    *dst++ = static_cast<uint8_t>(b);
  }
  if (x < count) {
    unsigned b = 0;
    int k = 0;
    for (; x < count; ++x, ++k)
      b |= static_cast<unsigned>(TwoBitCode(TruncateToInt(src[x]), lv.middle, lv.large, fallback))
           << (6 - 2 * k);
    *dst = static_cast<uint8_t>(b);
  }
}

#if defined(__SSE2__)

// 64 pixels -> 8 bytes.
std::size_t Pack1Sse2(const float* src, std::size_t count, uint8_t* dst) {
  const __m128 zero = _mm_setzero_ps();
  std::size_t x = 0;
  for (; x + 64 <= count; x += 64) {
    uint64_t bits = 0;
    for (int g = 0; g < 16; ++g) {
      const __m128 f = _mm_loadu_ps(src + x + 4 * g);
      bits |= static_cast<uint64_t>(_mm_movemask_ps(_mm_cmpneq_ps(f, zero))) << (4 * g);
    }
    // Bit i is pixel i; the file wants pixel 8j at the top of byte j.
    bits = ((bits & 0x5555555555555555ull) << 1) | ((bits >> 1) & 0x5555555555555555ull);
    bits = ((bits & 0x3333333333333333ull) << 2) | ((bits >> 2) & 0x3333333333333333ull);
    bits = ((bits & 0x0F0F0F0F0F0F0F0Full) << 4) | ((bits >> 4) & 0x0F0F0F0F0F0F0F0Full);
    for (int j = 0; j < 8; ++j) dst[j] = static_cast<uint8_t>(bits >> (8 * j));
    dst += 8;
  }
  return x;
}

inline __m128i CodesOfFour(const float* p, __m128i zero, __m128i middle, __m128i large, __m128i one,
                      __m128i two, __m128i fallback) {
  const __m128i v = _mm_cvttps_epi32(_mm_loadu_ps(p));
  __m128i c = fallback;
  const __m128i eqL = _mm_cmpeq_epi32(v, large);
  c = _mm_or_si128(_mm_and_si128(eqL, two), _mm_andnot_si128(eqL, c));
  const __m128i eqM = _mm_cmpeq_epi32(v, middle);
  c = _mm_or_si128(_mm_and_si128(eqM, one), _mm_andnot_si128(eqM, c));
  return _mm_andnot_si128(_mm_cmpeq_epi32(v, zero), c);
}

// 16 pixels -> four 32-bit lanes, each holding one packed byte in its low 8 bits.
inline __m128i Bytes16(const float* p, __m128i zero, __m128i middle, __m128i large, __m128i one,
                       __m128i two, __m128i fallback) {
  const __m128i a = CodesOfFour(p, zero, middle, large, one, two, fallback);
  const __m128i b = CodesOfFour(p + 4, zero, middle, large, one, two, fallback);
  const __m128i c = CodesOfFour(p + 8, zero, middle, large, one, two, fallback);
  const __m128i d = CodesOfFour(p + 12, zero, middle, large, one, two, fallback);
  // One code per byte, pixels in order; lane j holds pixels 4j..4j+3 with
  // pixel 4j in its lowest byte.
  const __m128i x = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
  const __m128i r = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(x, 6), _mm_srli_epi32(x, 4)),
                                 _mm_or_si128(_mm_srli_epi32(x, 14), _mm_srli_epi32(x, 24)));
  return _mm_and_si128(r, _mm_set1_epi32(0xFF));
}

// 64 pixels -> 16 bytes.
std::size_t Pack2Sse2(const float* src, std::size_t count, const DotLevels& lv, uint8_t fallback,
                      uint8_t* dst) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i middle = _mm_set1_epi32(lv.middle);
  const __m128i large = _mm_set1_epi32(lv.large);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i two = _mm_set1_epi32(2);
  const __m128i fb = _mm_set1_epi32(fallback);
  std::size_t x = 0;
  for (; x + 64 <= count; x += 64) {
    const float* p = src + x;
    const __m128i b0 = Bytes16(p, zero, middle, large, one, two, fb);
    const __m128i b1 = Bytes16(p + 16, zero, middle, large, one, two, fb);
    const __m128i b2 = Bytes16(p + 32, zero, middle, large, one, two, fb);
    const __m128i b3 = Bytes16(p + 48, zero, middle, large, one, two, fb);
    const __m128i out = _mm_packus_epi16(_mm_packs_epi32(b0, b1), _mm_packs_epi32(b2, b3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), out);
    dst += 16;
  }
  return x;
}

#endif

}  // namespace

uint32_t PrnRowStride(uint32_t width, int bits) {
  if (bits != 1 && bits != 2) return 0;
  const uint64_t r = static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) / 32 * 4 + 4;
  if (r > std::numeric_limits<uint32_t>::max()) return 0;
  return static_cast<uint32_t>(r);
}

std::optional<PrnFileHeader> MakePrnHeader(uint32_t xResolution, uint32_t yResolution,
                                           uint32_t width, uint32_t height, uint32_t channels,
                                           int bits) {
  const uint32_t stride = PrnRowStride(width, bits);
  if (stride == 0 || channels < kPrnMinChannels || channels > kPrnMaxChannels) return std::nullopt;
  PrnFileHeader h;
  h.xResolution = xResolution;
  h.yResolution = yResolution;
  h.rowStride = stride;
  h.height = height;
  h.width = width;
  h.channels = channels;
  h.bits = static_cast<uint8_t>(bits);
  return h;
}

std::array<uint8_t, kPrnHeaderSize> SerializePrnHeader(const PrnFileHeader& h) {
  std::array<uint8_t, kPrnHeaderSize> out{};
  PutU32(&out[0], h.signature);
  PutU32(&out[4], h.xResolution);
  PutU32(&out[8], h.yResolution);
  PutU32(&out[12], h.rowStride);
  PutU32(&out[16], h.height);
  PutU32(&out[20], h.width);
  PutU32(&out[24], h.reserved);
  PutU32(&out[28], h.channels);
  out[32] = h.bits;
  std::copy(h.reservedTail.begin(), h.reservedTail.end(), out.begin() + 33);
  return out;
}

std::optional<PrnFileHeader> ParsePrnHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kPrnHeaderSize) return std::nullopt;
  const uint8_t* p = bytes.data();
  PrnFileHeader h;
  h.signature = GetU32(p);
  h.xResolution = GetU32(p + 4);
  h.yResolution = GetU32(p + 8);
  h.rowStride = GetU32(p + 12);
  h.height = GetU32(p + 16);
  h.width = GetU32(p + 20);
  h.reserved = GetU32(p + 24);
  h.channels = GetU32(p + 28);
  h.bits = p[32];
  std::copy(p + 33, p + kPrnHeaderSize, h.reservedTail.begin());
  return h;
}

std::string PrnHeaderProblem(const PrnFileHeader& h) {
  if (h.signature != kPrnSignature) return "signature is " + std::to_string(h.signature) + ", not 21845";
  if (h.bits != 1 && h.bits != 2) return "bits is " + std::to_string(h.bits) + ", not 1 or 2";
  if (h.channels < kPrnMinChannels || h.channels > kPrnMaxChannels)
    return "channel count " + std::to_string(h.channels) + " is outside 4..18";
  const uint32_t stride = PrnRowStride(h.width, h.bits);
  if (h.rowStride != stride)
    return "row stride " + std::to_string(h.rowStride) + " does not match width " +
           std::to_string(h.width) + " (expected " + std::to_string(stride) + ")";
  if (h.reserved != 0) return "reserved field at offset 24 is not 0";
  for (std::size_t i = 0; i < h.reservedTail.size(); ++i) {
    if (h.reservedTail[i] != 0) return "reserved byte " + std::to_string(33 + i) + " is not 0";
  }
  return {};
}

uint64_t PrnExpectedFileSize(const PrnFileHeader& h) {
  return kPrnHeaderSize + static_cast<uint64_t>(h.height) * h.channels * h.rowStride;
}

uint64_t PrnRowOffset(const PrnFileHeader& h, uint32_t y, uint32_t p) {
  return kPrnHeaderSize + (static_cast<uint64_t>(y) * h.channels + p) * h.rowStride;
}

uint8_t PrnFallbackCode(const DotLevels& levels) {
  if (levels.largeEnabled == 1) return 3;
  if (levels.middleEnabled == 1) return 2;
  return 1;
}

uint8_t PrnTwoBitCode(float value, const DotLevels& levels) {
  return TwoBitCode(TruncateToInt(value), levels.middle, levels.large, PrnFallbackCode(levels));
}

bool PackPrnRow(std::span<const float> row, int bits, const DotLevels& levels,
                std::span<uint8_t> out) {
  if (row.size() > std::numeric_limits<uint32_t>::max()) return false;
  const uint32_t stride = PrnRowStride(static_cast<uint32_t>(row.size()), bits);
  if (stride == 0 || out.size() < stride) return false;
  const float* src = row.data();
  const std::size_t count = row.size();
  uint8_t* dst = out.data();
  std::size_t done = 0;  // pixels packed so far, a multiple of 8
  if (bits == 1) {
#if defined(__SSE2__)
    done = Pack1Sse2(src, count, dst);
#endif
    Pack1Scalar(src + done, count - done, dst + done / 8);
  } else {
    const uint8_t fallback = PrnFallbackCode(levels);
#if defined(__SSE2__)
    done = Pack2Sse2(src, count, levels, fallback, dst);
#endif
    Pack2Scalar(src + done, count - done, levels, fallback, dst + done / 4);
  }
  const std::size_t used = (count * static_cast<std::size_t>(bits) + 7) / 8;
  std::memset(dst + used, 0, stride - used);
  return true;
}

std::optional<std::vector<int>> PrnPositionSlots(const PrnChannelSet& set) {
  if (set.multicolor < 0 || set.multicolor > kMulticolorInks.size() || set.spot < 0 || set.spot > kSpotInks.size())
    return std::nullopt;
  std::vector<int> slots;
  for (int i = kProcessInks.first; i < kProcessInks.end; ++i) slots.push_back(i);
  const bool light[4] = {set.lc, set.lm, set.lk, set.llk};
  for (int i = 0; i < kLightInks.size(); ++i)
    if (light[i]) slots.push_back(kLightInks.first + i);
  for (int i = 0; i < set.multicolor; ++i) slots.push_back(kMulticolorInks.first + i);
  for (int i = 0; i < set.spot; ++i) slots.push_back(kSpotInks.first + i);
  return slots;
}

}  // namespace qm
