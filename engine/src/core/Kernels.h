// The mixer's inner loops.
#pragma once

#include <cstdint>

namespace sonvel::engine::core {

// Linear interpolation of `width` interleaved channels, added to `out`.
void LerpAdd(const float* s, int width, std::uint64_t phase, std::uint64_t increment, float* out,
             unsigned count) noexcept;

// A mono source interpolated linearly at the positions phase + j * increment
// (32 bits of fraction) and added to both sides of the interleaved stereo
// `out` with the gains l and r, which move by dl and dr per frame (the ramp
// of a change): frame j gets l + dl * (j + 1). One pass, no buffer between.
void LerpMonoToStereo(const float* s, std::uint64_t phase, std::uint64_t increment, float* out, unsigned count,
                      float l, float r, float dl, float dr) noexcept;

// out[j][o] += sum over i of in[j][i] * gain, the gain moving from `from`
// to `to` (both `outWidth` rows of `inWidth`) across `ramp` frames of which
// these `count` begin at frame `offset`; `fade` (may be null) scales frame j.
void MixMatrix(const float* in, int inWidth, float* out, int outWidth, unsigned count, const float* from,
               const float* to, unsigned offset, unsigned ramp, const float* fade) noexcept;

// A one-pole low-pass over `frames` interleaved frames of `width` channels,
// in place, its corner from 20 Hz (gain 0, silence) to 20 kHz (gain 1);
// `state` holds one value per channel from block to block.
void LowPass(float* signal, int width, unsigned frames, float gain, float* state, int rate) noexcept;

}  // namespace sonvel::engine::core
