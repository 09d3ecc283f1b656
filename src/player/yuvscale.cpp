#include "player/yuvscale.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv {

void YuvScaler::MakeTaps(double start, double length, int limit, int fullLength, int outFirst, int outCount,
                         bool mirror, int unit, Taps* taps) {
  const double scale = length / fullLength;
  const int outLength = outCount;
  std::vector<std::vector<std::pair<int, double>>> all(outLength);
  size_t count = 4;  // at least four: the column pass takes four at a time
  for (int i = 0; i < outLength; ++i) {
    const int j = mirror ? fullLength - 1 - (outFirst + i) : outFirst + i;
    std::vector<std::pair<int, double>>& list = all[i];
    // Clamping at the edges merges taps: the indices of one output stay
    // consecutive.
    auto add = [&](int p, double w) {
      if (w <= 1e-9) return;
      p = std::clamp(p, 0, limit - 1);
      if (!list.empty() && list.back().first == p) {
        list.back().second += w;
      } else {
        list.emplace_back(p, w);
      }
    };
    if (scale > 1.0) {
      // Shrinking: each source pixel weighs by how much of it the output
      // pixel covers.
      const double lo = start + j * scale, hi = lo + scale;
      for (int p = int(std::floor(lo)); p < hi; ++p) add(p, std::min(hi, p + 1.0) - std::max(lo, double(p)));
    } else {
      // Growing (or 1:1): bilinear between the two nearest source pixels.
      const double t = start + (j + 0.5) * scale - 0.5;
      const double p0 = std::floor(t);
      add(int(p0), 1.0 - (t - p0));
      add(int(p0) + 1, t - p0);
    }
    if (list.empty()) add(int(std::floor(start + (j + 0.5) * scale)), 1.0);
    count = std::max(count, list.size());
  }
  taps->count = int(count);
  taps->index.assign(count * outLength, 0);
  taps->weight.assign(count * outLength, 0);
  taps->first = limit - 1;
  taps->last = 0;
  for (int i = 0; i < outLength; ++i) {
    const std::vector<std::pair<int, double>>& list = all[i];
    double total = 0;
    for (const auto& [p, w] : list) total += w;
    int sum = 0;
    size_t biggest = 0;
    for (size_t k = 0; k < list.size(); ++k) {
      const int w = int(std::lround(list[k].second / total * unit));
      taps->index[i * count + k] = list[k].first;
      taps->weight[i * count + k] = uint16_t(w);
      sum += w;
      if (list[k].second > list[biggest].second) biggest = k;
      taps->first = std::min(taps->first, list[k].first);
      taps->last = std::max(taps->last, list[k].first);
    }
    taps->weight[i * count + biggest] = uint16_t(taps->weight[i * count + biggest] + unit - sum);
    // Unused taps continue the run (they weigh nothing; the buffers they
    // point into have room for them).
    for (size_t k = list.size(); k < count; ++k) {
      taps->index[i * count + k] = list.back().first + int(k - list.size()) + 1;
    }
  }
}

void YuvScaler::ScaleRow(const uint8_t* plane, int stride, const Taps& rows, int r, const Taps& cols, int channels,
                         uint8_t* const* out) {
  // Rows first, over the columns the output reads: weights sum to 128, so
  // 15 bits hold the blend.
  const int x0 = cols.first * channels, x1 = (cols.last + 1) * channels;
  uint16_t* acc = acc_.data();
  const int32_t* rowIndex = &rows.index[size_t(r) * rows.count];
  const uint16_t* rowWeight = &rows.weight[size_t(r) * rows.count];
  // The next output row's source rows are fetched while this one is made.
  if (r + 1 < int(rows.index.size()) / rows.count) {
    const int32_t* next = rowIndex + rows.count;
    const uint16_t* nextWeight = rowWeight + rows.count;
    for (int k = 0; k < rows.count; ++k) {
      if (nextWeight[k] == 0 || next[k] <= rowIndex[rows.count - 1]) continue;
      const uint8_t* src = plane + ptrdiff_t(next[k]) * stride;
      for (int x = x0; x < x1; x += 64) __builtin_prefetch(src + x);
    }
  }
  bool started = false;
  for (int k = 0; k < rows.count; ++k) {
    const unsigned w = rowWeight[k];
    if (w == 0) continue;
    const uint8_t* src = plane + ptrdiff_t(rowIndex[k]) * stride;
    if (!started) {
      for (int x = x0; x < x1; ++x) acc[x] = uint16_t(w * src[x]);
      started = true;
    } else {
      for (int x = x0; x < x1; ++x) acc[x] = uint16_t(acc[x] + w * src[x]);
    }
  }
  // Then the columns (past the last column used, acc_ has room for the
  // taps that weigh nothing).
  switch (cols.count * 2 + channels) {
    case 2 * 1 + 1: Columns<1, 1>(cols, out); break;
    case 2 * 2 + 1: Columns<2, 1>(cols, out); break;
    case 2 * 3 + 1: Columns<3, 1>(cols, out); break;
    case 2 * 4 + 1:
#if defined(__SSE2__)
      Columns4(cols, out[0]);
#else
      Columns<4, 1>(cols, out);
#endif
      break;
    case 2 * 1 + 2: Columns<1, 2>(cols, out); break;
    case 2 * 2 + 2: Columns<2, 2>(cols, out); break;
    case 2 * 3 + 2: Columns<3, 2>(cols, out); break;
    case 2 * 4 + 2: Columns<4, 2>(cols, out); break;
    default:
      for (int c = 0; c < channels; ++c) {
        const int n = int(cols.index.size()) / cols.count, t = cols.count;
        const int32_t* colIndex = cols.index.data();
        const uint16_t* colWeight = cols.weight.data();
        for (int i = 0; i < n; ++i, colIndex += t, colWeight += t) {
          uint32_t s = 1u << 14;
          for (int k = 0; k < t; ++k) s += uint32_t(colWeight[k]) * acc[colIndex[k] * channels + c];
          out[c][i] = uint8_t(s >> 15);
        }
      }
  }
}

template <int kTaps, int kChannels>
void YuvScaler::Columns(const Taps& cols, uint8_t* const* out) {
  const uint16_t* acc = acc_.data();
  const int n = int(cols.index.size()) / kTaps;
  const int32_t* colIndex = cols.index.data();
  const uint16_t* colWeight = cols.weight.data();
  for (int i = 0; i < n; ++i, colIndex += kTaps, colWeight += kTaps) {
    const uint16_t* a = acc + colIndex[0] * kChannels;
    for (int c = 0; c < kChannels; ++c) {
      uint32_t s = 1u << 14;
      for (int k = 0; k < kTaps; ++k) s += uint32_t(colWeight[k]) * a[k * kChannels + c];
      out[c][i] = uint8_t(s >> 15);
    }
  }
}

#if defined(__SSE2__)
// Four taps per output, four outputs at a time.
void YuvScaler::Columns4(const Taps& cols, uint8_t* out) {
  const int16_t* acc = reinterpret_cast<const int16_t*>(acc_.data());
  const int n = int(cols.index.size()) / 4;
  const int32_t* index = cols.index.data();
  const uint16_t* weight = cols.weight.data();
  const __m128i round = _mm_set1_epi32(1 << 14);
  int i = 0;
  for (; i + 4 <= n; i += 4, index += 16, weight += 16) {
    const __m128i a01 = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(acc + index[0])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(acc + index[4])));
    const __m128i a23 = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(acc + index[8])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(acc + index[12])));
    const __m128i m01 = _mm_madd_epi16(a01, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight)));
    const __m128i m23 = _mm_madd_epi16(a23, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + 8)));
    const __m128 f01 = _mm_castsi128_ps(m01), f23 = _mm_castsi128_ps(m23);
    __m128i sum = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(f01, f23, _MM_SHUFFLE(2, 0, 2, 0))),
                                _mm_castps_si128(_mm_shuffle_ps(f01, f23, _MM_SHUFFLE(3, 1, 3, 1))));
    sum = _mm_srai_epi32(_mm_add_epi32(sum, round), 15);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, sum), _mm_setzero_si128());
    const int word = _mm_cvtsi128_si32(bytes);
    std::memcpy(out + i, &word, 4);
  }
  for (; i < n; ++i, index += 4, weight += 4) {
    uint32_t s = 1u << 14;
    for (int k = 0; k < 4; ++k) s += uint32_t(weight[k]) * uint16_t(acc[index[0] + k]);
    out[i] = uint8_t(s >> 15);
  }
}
#endif

bool YuvScaler::Scale(const YuvFrame& in, const YuvMatrix& matrix, const YuvCrop& crop, uint8_t* out, int outStride,
                      int outWidth, int outHeight, bool mirror) {
  return ScaleWindow(in, matrix, crop, YuvWindow{outWidth, outHeight, 0, 0}, out, outStride, outWidth, outHeight,
                     mirror);
}

bool YuvScaler::ScaleWindow(const YuvFrame& in, const YuvMatrix& matrix, const YuvCrop& crop, const YuvWindow& window,
                            uint8_t* out, int outStride, int outWidth, int outHeight, bool mirror) {
  if (outWidth <= 0 || outHeight <= 0 || in.width <= 0 || in.height <= 0 || crop.width <= 0 || crop.height <= 0 ||
      crop.x < 0 || crop.y < 0 || crop.x > in.width - crop.width || crop.y > in.height - crop.height || !out ||
      outStride < outWidth * 4 || !in.plane[0] || !in.plane[1] || (in.layout == YuvLayout::kI420 && !in.plane[2]) ||
      window.x < 0 || window.y < 0 || window.x > window.fullWidth - outWidth ||
      window.y > window.fullHeight - outHeight) {
    return false;
  }
  const int chromaWidth = (in.width + 1) / 2, chromaHeight = (in.height + 1) / 2;
  const Key key{in.width, in.height, outWidth, outHeight, crop, window, mirror, in.layout};
  if (!haveTaps_ || !(key == key_)) {
    const int fw = window.fullWidth, fh = window.fullHeight;
    MakeTaps(crop.x, crop.width, in.width, fw, window.x, outWidth, mirror, 256, &lumaCols_);
    MakeTaps(crop.y, crop.height, in.height, fh, window.y, outHeight, false, 128, &lumaRows_);
    // A chroma sample covers 2 x 2 luma pixels.
    MakeTaps(crop.x / 2.0, crop.width / 2.0, chromaWidth, fw, window.x, outWidth, mirror, 256, &chromaCols_);
    MakeTaps(crop.y / 2.0, crop.height / 2.0, chromaHeight, fh, window.y, outHeight, false, 128, &chromaRows_);
    const int spare = 2 * std::max(std::max(lumaCols_.count, chromaCols_.count), 4);
    acc_.assign(std::max(in.width, 2 * chromaWidth) + spare, 0);
    lineY_.assign(outWidth, 0);
    lineU_.assign(outWidth, 0);
    lineV_.assign(outWidth, 0);
    key_ = key;
    haveTaps_ = true;
  }

  // Fixed point, 13 fraction bits (each coefficient fits 16 bits).
  const double kg = 1.0 - matrix.kr - matrix.kb;
  const double ys = matrix.fullRange ? 1.0 : 255.0 / 219.0, cs = matrix.fullRange ? 1.0 : 255.0 / 224.0;
  const int yOffset = matrix.fullRange ? 0 : 16;
  const int c13Y = int(std::lround(ys * 8192));
  const int c13RV = int(std::lround(2 * (1 - matrix.kr) * cs * 8192));
  const int c13BU = int(std::lround(2 * (1 - matrix.kb) * cs * 8192));
  const int c13GU = int(std::lround(2 * matrix.kb * (1 - matrix.kb) / kg * cs * 8192));
  const int c13GV = int(std::lround(2 * matrix.kr * (1 - matrix.kr) / kg * cs * 8192));

  uint8_t* lineY = lineY_.data();
  uint8_t* lineU = lineU_.data();
  uint8_t* lineV = lineV_.data();
  uint8_t* const yOut[] = {lineY};
  uint8_t* const uOut[] = {lineU};
  uint8_t* const vOut[] = {lineV};
  uint8_t* const uvOut[] = {lineU, lineV};
  for (int oy = 0; oy < outHeight; ++oy) {
    ScaleRow(in.plane[0], in.stride[0], lumaRows_, oy, lumaCols_, 1, yOut);
    if (in.layout == YuvLayout::kI420) {
      ScaleRow(in.plane[1], in.stride[1], chromaRows_, oy, chromaCols_, 1, uOut);
      ScaleRow(in.plane[2], in.stride[2], chromaRows_, oy, chromaCols_, 1, vOut);
    } else {
      ScaleRow(in.plane[1], in.stride[1], chromaRows_, oy, chromaCols_, 2, uvOut);
    }
    uint32_t* o = reinterpret_cast<uint32_t*>(out + ptrdiff_t(oy) * outStride);
    int x = 0;
#if defined(__SSE2__)
    // Eight pixels at a time, 13 fraction bits; packing saturates to 0..255.
    const __m128i zero = _mm_setzero_si128();
    const __m128i yOff = _mm_set1_epi16(int16_t(yOffset)), cOff = _mm_set1_epi16(128);
    const __m128i kR = _mm_set1_epi32(int(uint16_t(c13Y)) | int(uint32_t(uint16_t(c13RV)) << 16));
    const __m128i kB = _mm_set1_epi32(int(uint16_t(c13Y)) | int(uint32_t(uint16_t(c13BU)) << 16));
    const __m128i kGyu = _mm_set1_epi32(int(uint16_t(c13Y)) | int(uint32_t(uint16_t(-c13GU)) << 16));
    const __m128i kGv = _mm_set1_epi32(int(uint16_t(-c13GV)) | int(uint32_t(1 << 12) << 16));
    const __m128i one = _mm_set1_epi16(1), half = _mm_set1_epi32(1 << 12), alpha = _mm_set1_epi8(char(0xff));
    for (; x + 8 <= outWidth; x += 8) {
      const __m128i ys = _mm_sub_epi16(
          _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lineY + x)), zero), yOff);
      const __m128i us = _mm_sub_epi16(
          _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lineU + x)), zero), cOff);
      const __m128i vs = _mm_sub_epi16(
          _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lineV + x)), zero), cOff);
      __m128i rgb[3];
      for (int h = 0; h < 2; ++h) {
        const __m128i yv = h ? _mm_unpackhi_epi16(ys, vs) : _mm_unpacklo_epi16(ys, vs);
        const __m128i yu = h ? _mm_unpackhi_epi16(ys, us) : _mm_unpacklo_epi16(ys, us);
        const __m128i v1 = h ? _mm_unpackhi_epi16(vs, one) : _mm_unpacklo_epi16(vs, one);
        const __m128i r = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(yv, kR), half), 13);
        const __m128i g = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(yu, kGyu), _mm_madd_epi16(v1, kGv)), 13);
        const __m128i b = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(yu, kB), half), 13);
        if (h == 0) {
          rgb[0] = r;
          rgb[1] = g;
          rgb[2] = b;
        } else {
          rgb[0] = _mm_packs_epi32(rgb[0], r);
          rgb[1] = _mm_packs_epi32(rgb[1], g);
          rgb[2] = _mm_packs_epi32(rgb[2], b);
        }
      }
      const __m128i r8 = _mm_packus_epi16(rgb[0], zero), g8 = _mm_packus_epi16(rgb[1], zero),
                    b8 = _mm_packus_epi16(rgb[2], zero);
      const __m128i bg = _mm_unpacklo_epi8(b8, g8), ra = _mm_unpacklo_epi8(r8, alpha);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + x), _mm_unpacklo_epi16(bg, ra));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + x + 4), _mm_unpackhi_epi16(bg, ra));
    }
#endif
    for (; x < outWidth; ++x) {
      const int y = (lineY[x] - yOffset) * c13Y + (1 << 12);
      const int u = lineU[x] - 128, v = lineV[x] - 128;
      const int r = std::clamp((y + c13RV * v) >> 13, 0, 255);
      const int g = std::clamp((y - c13GU * u - c13GV * v) >> 13, 0, 255);
      const int b = std::clamp((y + c13BU * u) >> 13, 0, 255);
      o[x] = 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
  }
  return true;
}

}  // namespace qv
