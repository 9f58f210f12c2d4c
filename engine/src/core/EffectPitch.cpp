// The pitch shifter: a phase vocoder that stretches the input in time by
// the pitch factor, then reads the stretched signal back at that rate.
//
// Analysis frames of FFTSIZE samples (Hann, hop FFTSIZE / 4) give each bin's
// true frequency from its phase advance. Each frame is placed in the
// stretched signal at a hop of pitch * FFTSIZE / 4 (fractional: the frame's
// spectrum carries the sub-sample shift), with its peaks' phases advanced by
// their frequencies and the other bins locked to their peak (identity phase
// locking). Overlap-add is normalised by the summed squared windows. The
// output reads the stretched signal with a cubic interpolator along the map
// from input time to stretched time, at a fixed delay: the output is the
// input shifted in pitch and delayed by 2 * FFTSIZE samples, whatever the
// pitch.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "SpectralSupport.h"

namespace sonvel::engine::core {

namespace {

constexpr int kOverlap = 4;
constexpr int kMaxShiftChannels = 16;
constexpr int kMapSize = 64;

const FMOD_DSP_PARAMETER_DESC kPitch =
    FloatParameter("Pitch", "x", "Pitch factor: 0.5 is an octave down, 2.0 an octave up.", 0.5f, 2.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC kFftSize = IntParameter(
    "FFT Size", "", "Analysis window in samples, a power of two from 256 to 4096; the delay is twice it.", 256, 4096,
    1024);
const FMOD_DSP_PARAMETER_DESC kOverlapParam =
    IntParameter("Overlap", "", "Deprecated: the window overlap is fixed at 4.", 1, 32, 4);
const FMOD_DSP_PARAMETER_DESC kMaxChannels = IntParameter(
    "Max Channels", "", "Channels shifted; 0: the software format's channel count. Others pass unchanged.", 0, 16, 0);
const FMOD_DSP_PARAMETER_DESC* const kTable[] = {&kPitch, &kFftSize, &kOverlapParam, &kMaxChannels};

double Wrap(double phase) noexcept { return phase - 2 * kPi * std::floor((phase + kPi) / (2 * kPi)); }

struct Shifter {
  int N = 0, H = 0, channels = 0;
  int ringSize = 0;  // of the stretched signal
  RealFft forward, inverse;
  std::vector<float> window;   // Hann, periodic
  std::vector<float> input;    // [channel][N], a ring
  std::vector<double> analysisPhase, synthesisPhase;  // [channel][N/2 + 1]
  std::vector<float> lastMagnitude;                   // [channel][N/2 + 1]
  std::vector<float> stretched;  // [channel][ringSize]
  std::vector<float> norm;       // [ringSize]: summed squared windows
  std::vector<kiss_fft_cpx> bins;
  std::vector<float> frame, magnitude, phase;
  std::vector<double> omega;
  std::vector<int> peaks;
  double placed[kMapSize] = {};  // frame m's start in the stretched signal, by m % kMapSize
  long long inCount = 0;
  long long frameIndex = 0;      // the latest frame made
  long long cleared = 0;         // stretched positions zeroed up to here
  int latency = 0;

  Shifter(int size, int count) : N(size), H(size / kOverlap), channels(count), ringSize(16 * size),
      forward(size, false), inverse(size, true), window(std::size_t(size)), input(std::size_t(count) * size),
      analysisPhase(std::size_t(count) * (size / 2 + 1)), synthesisPhase(analysisPhase.size()),
      lastMagnitude(analysisPhase.size()),
      stretched(std::size_t(count) * ringSize), norm(std::size_t(ringSize)), bins(std::size_t(size / 2 + 1)),
      frame(std::size_t(size)), magnitude(bins.size()), phase(bins.size()), omega(bins.size()), peaks(bins.size()),
      latency(2 * size) {
    for (int i = 0; i < N; ++i) window[std::size_t(i)] = float(0.5 - 0.5 * std::cos(2 * kPi * i / N));
  }

  void Clear() noexcept {
    std::fill(input.begin(), input.end(), 0.0f);
    std::fill(analysisPhase.begin(), analysisPhase.end(), 0.0);
    std::fill(synthesisPhase.begin(), synthesisPhase.end(), 0.0);
    std::fill(lastMagnitude.begin(), lastMagnitude.end(), 0.0f);
    std::fill(stretched.begin(), stretched.end(), 0.0f);
    std::fill(norm.begin(), norm.end(), 0.0f);
    std::fill(std::begin(placed), std::end(placed), 0.0);
    inCount = frameIndex = cleared = 0;
  }

  double& Placed(long long m) noexcept { return placed[m % kMapSize]; }

  // Frame m covers input [m H - N, m H); `pitch` sets where frame m + 1 goes.
  void MakeFrame(int width, double pitch) noexcept {
    const long long m = inCount / H;
    frameIndex = m;
    const double at = Placed(m);
    Placed(m + 1) = at + pitch * H;
    const double step = at - Placed(m - 1);
    const long long base = (long long)std::floor(at);
    const double fraction = at - double(base);
    const int half = N / 2;
    const long long end = base + N;
    for (; cleared < end; ++cleared) {
      const std::size_t i = std::size_t(cleared % ringSize);
      norm[i] = 0.0f;
      for (int c = 0; c < channels; ++c) stretched[std::size_t(c) * ringSize + i] = 0.0f;
    }
    for (int i = 0; i < N; ++i) norm[std::size_t((base + i) % ringSize)] += window[std::size_t(i)] * window[std::size_t(i)];
    const double scale = 1.0 / N;
    for (int c = 0; c < width; ++c) {
      const float* in = &input[std::size_t(c) * N];
      for (int i = 0; i < N; ++i)
        frame[std::size_t(i)] = in[std::size_t((inCount - N + i) & (N - 1))] * window[std::size_t(i)];
      forward.Forward(frame.data(), bins.data());
      double* aPhase = &analysisPhase[std::size_t(c) * (half + 1)];
      double* sPhase = &synthesisPhase[std::size_t(c) * (half + 1)];
      float* last = &lastMagnitude[std::size_t(c) * (half + 1)];
      int count = 0;
      for (int k = 0; k <= half; ++k) {
        magnitude[k] = std::hypot(bins[k].r, bins[k].i);
        phase[k] = std::atan2(bins[k].i, bins[k].r);
        const double expected = 2 * kPi * k * H / N;
        omega[k] = (expected + Wrap(phase[k] - aPhase[k] - expected)) / H;
        aPhase[k] = phase[k];
      }
      for (int k = 1; k < half; ++k)
        if (magnitude[k] > magnitude[k - 1] && magnitude[k] >= magnitude[k + 1] && magnitude[k] > 1e-9f) peaks[count++] = k;
      if (count == 0) {
        for (int k = 0; k <= half; ++k) sPhase[k] += omega[k] * step;
      } else {
        // Peaks advance by their own frequency; the bins around a peak (up
        // to halfway to the next) keep their phase relation to it.
        // A peak rising out of silence starts at its analysis phase, so that
        // at pitch 1 the output is the input delayed.
        for (int p = 0; p < count; ++p) {
          const int k = peaks[p];
          sPhase[k] = last[k] < 1e-6f * magnitude[k] ? phase[k] : sPhase[k] + omega[k] * step;
        }
        int p = 0;
        for (int k = 0; k <= half; ++k) {
          while (p + 1 < count && k > (peaks[p] + peaks[p + 1]) / 2) ++p;
          const int r = peaks[p];
          if (k != r) sPhase[k] = sPhase[r] + (phase[k] - phase[r]);
        }
      }
      for (int k = 0; k <= half; ++k) {
        last[k] = magnitude[k];
        sPhase[k] = Wrap(sPhase[k]);
        const double ph = sPhase[k] - 2 * kPi * k * fraction / N;
        bins[k].r = float(magnitude[k] * std::cos(ph));
        bins[k].i = float(magnitude[k] * std::sin(ph));
      }
      bins[0].i = 0.0f;
      bins[half].i = 0.0f;
      inverse.Inverse(bins.data(), frame.data());
      float* out = &stretched[std::size_t(c) * ringSize];
      for (int i = 0; i < N; ++i) out[std::size_t((base + i) % ringSize)] += float(frame[std::size_t(i)] * scale) * window[std::size_t(i)];
    }
  }

  float Stretched(int c, long long i) const noexcept {
    if (i < 0) return 0.0f;
    const std::size_t k = std::size_t(i % ringSize);
    return norm[k] > 1e-3f ? stretched[std::size_t(c) * ringSize + k] / norm[k] : 0.0f;
  }

  // Takes one input frame and writes one output frame of `width` channels.
  void Step(const float* in, float* out, int width, double pitch) noexcept {
    for (int c = 0; c < width; ++c) input[std::size_t(c) * N + std::size_t(inCount & (N - 1))] = in[c];
    ++inCount;
    if (inCount % H == 0) MakeFrame(width, pitch);
    // The input time this output frame shows, and where that is in the
    // stretched signal (between the centres of frames m and m + 1).
    const double t = double(inCount - 1 - latency);
    const long long m = (long long)std::floor((t + N / 2) / H);
    if (m < 1 || m + 1 > frameIndex + 1 || frameIndex - m >= kMapSize - 2) {
      for (int c = 0; c < width; ++c) out[c] = 0.0f;
      return;
    }
    const double centre = double(m * H - N / 2);
    const double q = Placed(m) + N / 2 + (t - centre) / H * (Placed(m + 1) - Placed(m));
    const long long i = (long long)std::floor(q);
    const float x = float(q - double(i));
    for (int c = 0; c < width; ++c) {
      const float y0 = Stretched(c, i - 1), y1 = Stretched(c, i), y2 = Stretched(c, i + 1), y3 = Stretched(c, i + 2);
      // Catmull-Rom.
      const float a = -0.5f * y0 + 1.5f * y1 - 1.5f * y2 + 0.5f * y3;
      const float b = y0 - 2.5f * y1 + 2.0f * y2 - 0.5f * y3;
      const float d = -0.5f * y0 + 0.5f * y2;
      out[c] = ((a * x + b) * x + d) * x + y1;
    }
  }
};

class PitchProcessor final : public BuiltinProcessor {
public:
  explicit PitchProcessor(const EffectContext& context)
      : BuiltinProcessor("Pitch Shifter", kTable, int(std::size(kTable))), context_(context),
        channels_(std::min(kMaxShiftChannels, kMaxWidth)),
        scratch_(std::size_t(kMaxWidth) * 2) {
    Rebuild();
  }

  FMOD_RESULT SetInt(int index, int value) noexcept override {
    if (index == FMOD_DSP_PITCHSHIFT_FFTSIZE && (value & (value - 1)) != 0) return FMOD_ERR_INVALID_PARAM;
    return BuiltinProcessor::SetInt(index, value);
  }

  void Reset() noexcept override {
    if (Shifter* s = state_.Current()) s->Clear();
  }

  bool Process(ProcessBlock& b) noexcept override {
    const bool fresh = state_.Begin();
    Shifter* cur = state_.Current();
    Shifter* old = fresh ? state_.Previous() : nullptr;
    const int outWidth = std::min(b.inWidth, b.capacity);
    b.outWidth = outWidth;
    const int wanted = IntAt(FMOD_DSP_PITCHSHIFT_MAXCHANNELS);
    const int width = std::min({outWidth, wanted > 0 ? wanted : context_.channels, channels_});
    if (!b.inputIdle) idle_ = 0;
    else idle_ += b.frames;
    const long long ring = cur != nullptr ? 4LL * cur->N : 0;  // the delay, a window and a margin
    if (b.inputIdle && idle_ > ring) return false;
    const double pitch = FloatAt(FMOD_DSP_PITCHSHIFT_PITCH);
    float* other = scratch_.data();
    for (unsigned j = 0; j < b.frames; ++j) {
      const float* in = b.in + std::size_t(j) * b.inWidth;
      float* out = b.out + std::size_t(j) * outWidth;
      if (cur != nullptr) cur->Step(in, out, width, pitch);
      else for (int c = 0; c < width; ++c) out[c] = in[c];
      if (old != nullptr) {
        old->Step(in, other, width, pitch);
        const float t = float(j + 1) / float(b.frames);
        for (int c = 0; c < width; ++c) out[c] = t * out[c] + (1.0f - t) * other[c];
      }
      for (int c = width; c < outWidth; ++c) out[c] = in[c];
    }
    return true;
  }

protected:
  void Changed(int index) noexcept override {
    if (index == FMOD_DSP_PITCHSHIFT_FFTSIZE) Rebuild();
  }

private:
  void Rebuild() noexcept {
    try {
      state_.Offer(new Shifter(IntAt(FMOD_DSP_PITCHSHIFT_FFTSIZE), channels_));
    } catch (...) {
      // Out of memory: the unit keeps the size it had.
    }
  }

  const EffectContext context_;
  const int channels_;
  Handoff<Shifter> state_;
  std::vector<float> scratch_;
  long long idle_ = 1LL << 40;
};

}  // namespace

std::unique_ptr<Processor> NewPitchEffect(const EffectContext& context) {
  return std::make_unique<PitchProcessor>(context);
}

}  // namespace sonvel::engine::core
