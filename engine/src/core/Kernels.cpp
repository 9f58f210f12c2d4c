#include "Kernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sonvel::engine::core {

namespace {
constexpr float kFraction = 1.0f / 4294967296.0f;
}

void LerpAdd(const float* __restrict s, int width, std::uint64_t phase, std::uint64_t increment,
             float* __restrict out, unsigned count) noexcept {
  std::uint64_t p = phase;
  if (width == 1) {
    for (unsigned j = 0; j < count; ++j, p += increment) {
      const std::size_t k = std::size_t(p >> 32);
      out[j] += s[k] + (s[k + 1] - s[k]) * (float(std::uint32_t(p)) * kFraction);
    }
    return;
  }
  if (width == 2) {
    for (unsigned j = 0; j < count; ++j, p += increment) {
      const std::size_t k = std::size_t(p >> 32) * 2;
      const float f = float(std::uint32_t(p)) * kFraction;
      out[2 * j] += s[k] + (s[k + 2] - s[k]) * f;
      out[2 * j + 1] += s[k + 1] + (s[k + 3] - s[k + 1]) * f;
    }
    return;
  }
  for (unsigned j = 0; j < count; ++j, p += increment) {
    const float f = float(std::uint32_t(p)) * kFraction;
    const float* a = s + std::size_t(p >> 32) * std::size_t(width);
    const float* b = a + width;
    float* o = out + std::size_t(j) * std::size_t(width);
    for (int c = 0; c < width; ++c) o[c] += a[c] + (b[c] - a[c]) * f;
  }
}

// With SSE2, four frames at a time: positions run in 16.16 fixed point
// relative to a whole frame taken exactly from the 64-bit position every 64
// frames, so the rounding of the step never builds up; the four frames are
// spread to both sides (two frames per vector) and added with their gains.
void LerpMonoToStereo(const float* __restrict s, std::uint64_t phase, std::uint64_t increment, float* __restrict out,
                      unsigned count, float l, float r, float dl, float dr) noexcept {
  unsigned j = 0;
#if defined(__SSE2__)
  const std::uint32_t step16 = std::uint32_t(increment >> 16);
  const __m128 scale = _mm_set1_ps(1.0f / 65536.0f);
  const __m128i fractionMask = _mm_set1_epi32(0xFFFF);
  const __m128i step4 = _mm_set1_epi32(int(step16 * 4u));
  __m128 gains = _mm_setr_ps(l + dl, r + dr, l + 2 * dl, r + 2 * dr);
  const __m128 ramp = _mm_setr_ps(2 * dl, 2 * dr, 2 * dl, 2 * dr);
  while (count - j >= 4) {
    const unsigned chunk = std::min(count - j, 64u) & ~3u;
    const std::uint64_t at = phase + std::uint64_t(j) * increment;
    const float* origin = s + std::size_t(at >> 32);
    const std::uint32_t first = std::uint32_t(at) >> 16;
    __m128i position = _mm_setr_epi32(int(first), int(first + step16), int(first + 2 * step16),
                                      int(first + 3 * step16));
    float* o = out + 2 * std::size_t(j);
    for (unsigned i = 0; i < chunk; i += 4, o += 8) {
      alignas(16) std::uint32_t k[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(k), _mm_srli_epi32(position, 16));
      const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(position, fractionMask)), scale);
      const __m128 a = _mm_setr_ps(origin[k[0]], origin[k[1]], origin[k[2]], origin[k[3]]);
      const __m128 b = _mm_setr_ps(origin[k[0] + 1], origin[k[1] + 1], origin[k[2] + 1], origin[k[3] + 1]);
      const __m128 v = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), f));
      _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_mul_ps(_mm_unpacklo_ps(v, v), gains)));
      gains = _mm_add_ps(gains, ramp);
      _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), gains)));
      gains = _mm_add_ps(gains, ramp);
      position = _mm_add_epi32(position, step4);
    }
    j += chunk;
  }
#endif
  for (std::uint64_t p = phase + std::uint64_t(j) * increment; j < count; ++j, p += increment) {
    const std::size_t k = std::size_t(p >> 32);
    const float v = s[k] + (s[k + 1] - s[k]) * (float(std::uint32_t(p)) * kFraction);
    const float t = float(j + 1);
    out[2 * j] += v * (l + dl * t);
    out[2 * j + 1] += v * (r + dr * t);
  }
}

void MixMatrix(const float* __restrict in, int inWidth, float* __restrict out, int outWidth, unsigned count,
               const float* from, const float* to, unsigned offset, unsigned ramp, const float* fade) noexcept {
  const std::size_t gains = std::size_t(outWidth) * std::size_t(inWidth);
  const bool ramps = !std::equal(from, from + gains, to);
  const float inverse = ramp > 0 ? 1.0f / float(ramp) : 1.0f;
  // Unchanging gains that are the identity: a plain (faded) add.
  bool identity = !ramps && inWidth == outWidth;
  for (std::size_t q = 0; identity && q < gains; ++q)
    identity = to[q] == (q / std::size_t(inWidth) == q % std::size_t(inWidth) ? 1.0f : 0.0f);
  if (identity) {
    const std::size_t n = std::size_t(count) * std::size_t(inWidth);
    if (fade == nullptr)
      for (std::size_t k = 0; k < n; ++k) out[k] += in[k];
    else
      for (unsigned j = 0; j < count; ++j)
        for (int c = 0; c < inWidth; ++c) out[std::size_t(j) * inWidth + c] += in[std::size_t(j) * inWidth + c] * fade[j];
    return;
  }
  // Mono and stereo into stereo, the shapes of most faders: gains moving
  // by a constant step per frame (zero when they do not ramp).
  const float steps = ramps ? inverse : 0.0f;
  if (inWidth == 1 && outWidth == 2) {
    const float l = from[0], r = from[1], dl = (to[0] - l) * steps, dr = (to[1] - r) * steps;
    const float base = float(offset + 1);
    for (unsigned j = 0; j < count; ++j) {
      const float t = base + float(j);
      const float x = fade != nullptr ? in[j] * fade[j] : in[j];
      out[2 * j] += x * (ramps ? l + dl * t : to[0]);
      out[2 * j + 1] += x * (ramps ? r + dr * t : to[1]);
    }
    return;
  }
  if (inWidth == 2 && outWidth == 2) {
    float g[4], d[4];
    for (int q = 0; q < 4; ++q) {
      d[q] = (to[q] - from[q]) * steps;
      g[q] = ramps ? from[q] : to[q];
    }
    const float base = float(offset + 1);
    for (unsigned j = 0; j < count; ++j) {
      const float t = ramps ? base + float(j) : 0.0f;
      const float f = fade != nullptr ? fade[j] : 1.0f;
      const float x0 = in[2 * j] * f, x1 = in[2 * j + 1] * f;
      out[2 * j] += x0 * (g[0] + d[0] * t) + x1 * (g[1] + d[1] * t);
      out[2 * j + 1] += x0 * (g[2] + d[2] * t) + x1 * (g[3] + d[3] * t);
    }
    return;
  }
  if (!ramps) {
    for (unsigned j = 0; j < count; ++j) {
      const float f = fade != nullptr ? fade[j] : 1.0f;
      const float* x = in + std::size_t(j) * std::size_t(inWidth);
      float* y = out + std::size_t(j) * std::size_t(outWidth);
      for (int o = 0; o < outWidth; ++o) {
        const float* b = to + std::size_t(o) * std::size_t(inWidth);
        float sum = 0.0f;
        for (int i = 0; i < inWidth; ++i) sum += x[i] * b[i];
        y[o] += sum * f;
      }
    }
    return;
  }
  for (unsigned j = 0; j < count; ++j) {
    const float t = float(offset + j + 1) * inverse;
    const float f = fade != nullptr ? fade[j] : 1.0f;
    const float* x = in + std::size_t(j) * std::size_t(inWidth);
    float* y = out + std::size_t(j) * std::size_t(outWidth);
    for (int o = 0; o < outWidth; ++o) {
      const float* a = from + std::size_t(o) * std::size_t(inWidth);
      const float* b = to + std::size_t(o) * std::size_t(inWidth);
      float sum = 0.0f;
      for (int i = 0; i < inWidth; ++i) sum += x[i] * (a[i] + (b[i] - a[i]) * t);
      y[o] += sum * f;
    }
  }
}

void LowPass(float* signal, int width, unsigned frames, float gain, float* state, int rate) noexcept {
  const float corner = 20.0f * std::pow(1000.0f, std::clamp(gain, 0.0f, 1.0f));
  const float a = 1.0f - std::exp(-2.0f * 3.14159265f * corner / float(rate));
  for (unsigned j = 0; j < frames; ++j)
    for (int c = 0; c < width; ++c) {
      float& y = state[c];
      float& x = signal[std::size_t(j) * width + c];
      y += a * (x - y);
      x = gain <= 0.0f ? 0.0f : y;
    }
}

}  // namespace sonvel::engine::core
