#include "EffectSupport.h"

#include <complex>

namespace sonvel::engine::core {

namespace {

struct Design {
  double cosw, alpha;
};

Design At(double frequency, double q, double rate) noexcept {
  const double nyquist = rate * 0.5;
  const double f = std::clamp(frequency, 1.0, nyquist * 0.9999);
  const double w = 2.0 * kPi * f / rate;
  return {std::cos(w), std::sin(w) / (2.0 * std::max(q, 1e-3))};
}

BiquadCoefficients Normalised(double b0, double b1, double b2, double a0, double a1, double a2) noexcept {
  BiquadCoefficients c;
  c.b0 = b0 / a0;
  c.b1 = b1 / a0;
  c.b2 = b2 / a0;
  c.a1 = a1 / a0;
  c.a2 = a2 / a0;
  return c;
}

}  // namespace

BiquadCoefficients BiquadCoefficients::LowPass(double frequency, double q, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  return Normalised((1 - d.cosw) / 2, 1 - d.cosw, (1 - d.cosw) / 2, 1 + d.alpha, -2 * d.cosw, 1 - d.alpha);
}

BiquadCoefficients BiquadCoefficients::HighPass(double frequency, double q, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  return Normalised((1 + d.cosw) / 2, -(1 + d.cosw), (1 + d.cosw) / 2, 1 + d.alpha, -2 * d.cosw, 1 - d.alpha);
}

BiquadCoefficients BiquadCoefficients::BandPass(double frequency, double q, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  return Normalised(d.alpha, 0, -d.alpha, 1 + d.alpha, -2 * d.cosw, 1 - d.alpha);
}

BiquadCoefficients BiquadCoefficients::Notch(double frequency, double q, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  return Normalised(1, -2 * d.cosw, 1, 1 + d.alpha, -2 * d.cosw, 1 - d.alpha);
}

BiquadCoefficients BiquadCoefficients::AllPass(double frequency, double q, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  return Normalised(1 - d.alpha, -2 * d.cosw, 1 + d.alpha, 1 + d.alpha, -2 * d.cosw, 1 - d.alpha);
}

BiquadCoefficients BiquadCoefficients::Peaking(double frequency, double q, double gainDb, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  const double a = std::pow(10.0, gainDb / 40.0);
  return Normalised(1 + d.alpha * a, -2 * d.cosw, 1 - d.alpha * a, 1 + d.alpha / a, -2 * d.cosw, 1 - d.alpha / a);
}

BiquadCoefficients BiquadCoefficients::LowShelf(double frequency, double q, double gainDb, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  const double a = std::pow(10.0, gainDb / 40.0);
  const double s = 2 * std::sqrt(a) * d.alpha;
  return Normalised(a * ((a + 1) - (a - 1) * d.cosw + s), 2 * a * ((a - 1) - (a + 1) * d.cosw),
                    a * ((a + 1) - (a - 1) * d.cosw - s), (a + 1) + (a - 1) * d.cosw + s,
                    -2 * ((a - 1) + (a + 1) * d.cosw), (a + 1) + (a - 1) * d.cosw - s);
}

BiquadCoefficients BiquadCoefficients::HighShelf(double frequency, double q, double gainDb, double rate) noexcept {
  const Design d = At(frequency, q, rate);
  const double a = std::pow(10.0, gainDb / 40.0);
  const double s = 2 * std::sqrt(a) * d.alpha;
  return Normalised(a * ((a + 1) + (a - 1) * d.cosw + s), -2 * a * ((a - 1) + (a + 1) * d.cosw),
                    a * ((a + 1) + (a - 1) * d.cosw - s), (a + 1) - (a - 1) * d.cosw + s,
                    2 * ((a - 1) - (a + 1) * d.cosw), (a + 1) - (a - 1) * d.cosw - s);
}

BiquadCoefficients BiquadCoefficients::OnePoleLowPass(double frequency, double rate) noexcept {
  // Matched to the analogue pole: y = (1 - p) x + p y[-1].
  const double f = std::clamp(frequency, 1.0, rate * 0.49995);
  const double p = std::exp(-2.0 * kPi * f / rate);
  BiquadCoefficients c;
  c.b0 = 1 - p;
  c.b1 = 0;
  c.a1 = -p;
  return c;
}

BiquadCoefficients BiquadCoefficients::OnePoleHighPass(double frequency, double rate) noexcept {
  // y = (1 + p) / 2 (x - x[-1]) + p y[-1]: unity at the Nyquist frequency.
  const double f = std::clamp(frequency, 1.0, rate * 0.49995);
  const double p = std::exp(-2.0 * kPi * f / rate);
  BiquadCoefficients c;
  c.b0 = (1 + p) / 2;
  c.b1 = -(1 + p) / 2;
  c.a1 = -p;
  return c;
}

double BiquadCoefficients::Magnitude(double frequency, double rate) const noexcept {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * frequency / rate);
  const std::complex<double> z2 = z1 * z1;
  return std::abs((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2));
}

namespace {

// Runs one section over interleaved frames, channel by channel, moving the
// coefficients by `step` per frame when kGlide.
template <bool kGlide>
void RunSection(const BiquadCoefficients& from, const BiquadCoefficients& step, double* s1s, double* s2s, float* data,
                int width, unsigned frames) noexcept {
  for (int ch = 0; ch < width; ++ch) {
    double s1 = s1s[ch], s2 = s2s[ch];
    BiquadCoefficients c = from;
    float* x = data + ch;
    for (unsigned j = 0; j < frames; ++j, x += width) {
      if constexpr (kGlide) {
        c.b0 += step.b0;
        c.b1 += step.b1;
        c.b2 += step.b2;
        c.a1 += step.a1;
        c.a2 += step.a2;
      }
      const double in = *x;
      const double out = c.b0 * in + s1;
      s1 = c.b1 * in - c.a1 * out + s2;
      s2 = c.b2 * in - c.a2 * out;
      *x = float(out);
    }
    s1s[ch] = s1;
    s2s[ch] = s2;
  }
}

bool Same(const BiquadCoefficients& a, const BiquadCoefficients& b) noexcept {
  return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
}

}  // namespace

void Biquad::Process(float* data, int width, unsigned frames) noexcept {
  RunSection<false>(c_, {}, s1_, s2_, data, width, frames);
}

void Biquad::Process(float* data, int width, unsigned frames, const BiquadCoefficients& to) noexcept {
  if (frames == 0) return;
  if (Same(c_, to)) {
    RunSection<false>(c_, {}, s1_, s2_, data, width, frames);
    return;
  }
  const double k = 1.0 / double(frames);
  const BiquadCoefficients step{(to.b0 - c_.b0) * k, (to.b1 - c_.b1) * k, (to.b2 - c_.b2) * k, (to.a1 - c_.a1) * k,
                                (to.a2 - c_.a2) * k};
  RunSection<true>(c_, step, s1_, s2_, data, width, frames);
  c_ = to;
}

}  // namespace sonvel::engine::core
