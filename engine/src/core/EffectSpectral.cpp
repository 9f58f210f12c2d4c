// Spectral effects: the FFT analyser here, the convolution reverb and the
// pitch shifter in their own files.
//
// The analyser passes its input on and, every half window, takes a windowed
// FFT of each channel's latest window. Finished magnitude spectra go to the
// API through a triple buffer; a read copies the latest into a buffer of the
// unit's own that the mixer never touches. The dominant frequency is the
// strongest bin refined by the phase advance of that bin between two
// consecutive windows (exact for a steady tone, whatever the window), or by a
// parabola through the log magnitudes when there is no previous window.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "SpectralSupport.h"

namespace sonvel::engine::core {

namespace {

constexpr int kMinWindow = 128;
constexpr int kMaxWindow = 16384;
constexpr int kWindowSizes = 8;  // 128 .. 16384
constexpr int kMaxSpectra = 32;

const char* const kWindowNames[] = {"Rectangle", "Triangle", "Hamming", "Hanning", "Blackman", "Blackman-Harris"};
const FMOD_DSP_PARAMETER_DESC kWindowSize =
    IntParameter("Window Size", "", "Window size in samples: a power of two from 128 to 16384.", kMinWindow,
                 kMaxWindow, 2048);
const FMOD_DSP_PARAMETER_DESC kWindowType =
    IntParameter("Window Type", "", "The window applied before the FFT.", 0, 5, FMOD_DSP_FFT_WINDOW_HAMMING, kWindowNames);
const FMOD_DSP_PARAMETER_DESC kSpectrum = DataParameter(
    "Spectrum Data", "", "The latest magnitude spectrum of each channel (read only).", FMOD_DSP_PARAMETER_DATA_TYPE_FFT);
const FMOD_DSP_PARAMETER_DESC kDominant = FloatParameter(
    "Dominant Freq", "Hz", "The strongest frequency across all channels (read only).", 0.0f, 96000.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC* const kTable[] = {&kWindowSize, &kWindowType, &kSpectrum, &kDominant};

int SizeIndex(int size) noexcept {
  int i = 0;
  while ((kMinWindow << i) < size) ++i;
  return i;
}

double WindowValue(int type, int i, int n) noexcept {
  const double x = double(i) / double(n);  // periodic windows
  switch (type) {
    case FMOD_DSP_FFT_WINDOW_RECT: return 1.0;
    case FMOD_DSP_FFT_WINDOW_TRIANGLE: return 1.0 - std::abs(2.0 * x - 1.0);
    case FMOD_DSP_FFT_WINDOW_HAMMING: return 0.54 - 0.46 * std::cos(2 * kPi * x);
    case FMOD_DSP_FFT_WINDOW_HANNING: return 0.5 - 0.5 * std::cos(2 * kPi * x);
    case FMOD_DSP_FFT_WINDOW_BLACKMAN: return 0.42 - 0.5 * std::cos(2 * kPi * x) + 0.08 * std::cos(4 * kPi * x);
    default:
      return 0.35875 - 0.48829 * std::cos(2 * kPi * x) + 0.14128 * std::cos(4 * kPi * x) -
             0.01168 * std::cos(6 * kPi * x);
  }
}

double Wrap(double phase) noexcept { return phase - 2 * kPi * std::floor((phase + kPi) / (2 * kPi)); }

class FftProcessor final : public BuiltinProcessor {
public:
  explicit FftProcessor(const EffectContext& context)
      : BuiltinProcessor("FFT", kTable, int(std::size(kTable))), rate_(context.sampleRate),
        channels_(std::clamp(context.maxChannels, 1, kMaxSpectra)),
        ring_(std::size_t(channels_) * kMaxWindow), window_(kMaxWindow), frame_(kMaxWindow), sum_(kMaxWindow / 2 + 1),
        previous_(std::size_t(channels_) * (kMaxWindow / 2 + 1)),
        copy_(std::size_t(channels_) * kMaxWindow) {
    for (int i = 0; i < kWindowSizes; ++i) plans_[i] = RealFft(kMinWindow << i, false);
    for (Slot& s : slots_) s.data.assign(std::size_t(channels_) * kMaxWindow, 0.0f);
    spectrum_.length = 2048;
  }

  FMOD_RESULT SetInt(int index, int value) noexcept override {
    if (index == FMOD_DSP_FFT_WINDOWSIZE && (value & (value - 1)) != 0) return FMOD_ERR_INVALID_PARAM;
    return BuiltinProcessor::SetInt(index, value);
  }

  FMOD_RESULT GetFloat(int index, float* value, char* text) noexcept override {
    if (index != FMOD_DSP_FFT_DOMINANT_FREQ) return BuiltinProcessor::GetFloat(index, value, text);
    const float v = dominant_.load(std::memory_order_relaxed);
    if (value != nullptr) *value = v;
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.1f Hz", double(v));
    return FMOD_OK;
  }

  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override {
    if (index != FMOD_DSP_FFT_SPECTRUMDATA) return FMOD_ERR_INVALID_PARAM;
    // The latest finished spectra, copied into the unit's own buffer.
    if (middle_.load(std::memory_order_acquire) & kFresh)
      front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
    const Slot& s = slots_[front_];
    if (s.length > 0) {
      spectrum_.length = s.length;
      spectrum_.numchannels = s.channels;
      for (int c = 0; c < s.channels; ++c)
        std::copy_n(&s.data[std::size_t(c) * kMaxWindow], s.length, &copy_[std::size_t(c) * kMaxWindow]);
    } else {
      spectrum_.length = IntAt(FMOD_DSP_FFT_WINDOWSIZE);
      spectrum_.numchannels = 0;
    }
    for (int c = 0; c < kMaxSpectra; ++c)
      spectrum_.spectrum[c] = c < spectrum_.numchannels ? &copy_[std::size_t(c) * kMaxWindow] : nullptr;
    if (data != nullptr) *data = &spectrum_;
    if (length != nullptr) *length = sizeof spectrum_;
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%d", spectrum_.length);
    return FMOD_OK;
  }

  void Reset() noexcept override {
    std::fill(ring_.begin(), ring_.end(), 0.0f);
    havePrevious_ = false;
    sinceHop_ = 0;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const int outWidth = std::min(b.inWidth, b.capacity);
    b.outWidth = outWidth;
    for (unsigned j = 0; j < b.frames; ++j)
      for (int c = 0; c < outWidth; ++c) b.out[std::size_t(j) * outWidth + c] = b.in[std::size_t(j) * b.inWidth + c];
    const int width = std::min(b.inWidth, channels_);
    if (b.inputIdle) {
      quiet_ += b.frames;
      if (quiet_ > std::size_t(2 * kMaxWindow)) {
        havePrevious_ = false;  // the next window does not follow the last one by a hop
        return false;           // the spectra have gone to zero already
      }
    } else {
      quiet_ = 0;
    }
    const int size = IntAt(FMOD_DSP_FFT_WINDOWSIZE);
    const int type = IntAt(FMOD_DSP_FFT_WINDOWTYPE);
    if (size != size_ || type != type_) {
      size_ = size;
      type_ = type;
      windowSum_ = 0.0;
      for (int i = 0; i < size; ++i) windowSum_ += (window_[std::size_t(i)] = float(WindowValue(type, i, size)));
      havePrevious_ = false;
      sinceHop_ = 0;
    }
    const int hop = size / 2;
    for (unsigned j = 0; j < b.frames; ++j) {
      for (int c = 0; c < width; ++c) ring_[std::size_t(c) * kMaxWindow + at_] = b.in[std::size_t(j) * b.inWidth + c];
      at_ = (at_ + 1) & (kMaxWindow - 1);
      if (++sinceHop_ >= hop) {
        sinceHop_ = 0;
        Analyse(width);
      }
    }
    return !b.inputIdle;
  }

private:
  struct Slot {
    int length = 0;
    int channels = 0;
    std::vector<float> data;  // [channel][kMaxWindow]
  };

  void Analyse(int width) noexcept {
    const int n = size_;
    const int half = n / 2;
    const RealFft& plan = plans_[SizeIndex(n)];
    Slot& out = slots_[back_];
    const float scale = float(2.0 / windowSum_);
    std::fill_n(sum_.begin(), half + 1, 0.0f);
    for (int c = 0; c < width; ++c) {
      const float* ring = &ring_[std::size_t(c) * kMaxWindow];
      for (int i = 0; i < n; ++i) frame_[std::size_t(i)] = ring[(at_ - n + i) & (kMaxWindow - 1)] * window_[std::size_t(i)];
      // The latest bins move to `older_` for the phase comparison.
      kiss_fft_cpx* bins = &previous_[std::size_t(c) * (kMaxWindow / 2 + 1)];
      std::copy_n(bins, half + 1, Older(c));
      plan.Forward(frame_.data(), bins);
      float* mag = &out.data[std::size_t(c) * kMaxWindow];
      for (int k = 0; k <= half; ++k) {
        const float m = std::hypot(bins[k].r, bins[k].i) * (k == 0 || k == half ? scale * 0.5f : scale);
        mag[k] = m;
        sum_[std::size_t(k)] += m * m;
      }
      for (int k = half + 1; k < n; ++k) mag[k] = mag[n - k];
    }
    out.length = n;
    out.channels = width;
    back_ = middle_.exchange(std::uint8_t(back_ | kFresh), std::memory_order_acq_rel) & kIndex;

    int peak = 1;
    for (int k = 2; k < half; ++k)
      if (sum_[std::size_t(k)] > sum_[std::size_t(peak)]) peak = k;
    if (sum_[std::size_t(peak)] <= 1e-20f) {
      dominant_.store(0.0f, std::memory_order_relaxed);
      havePrevious_ = true;
      return;
    }
    double offset = 0.0;
    bool phased = false;
    if (havePrevious_) {
      float best = -1.0f;
      int bestChannel = 0;
      for (int c = 0; c < width; ++c) {
        const kiss_fft_cpx& z = previous_[std::size_t(c) * (kMaxWindow / 2 + 1) + peak];
        const float m = z.r * z.r + z.i * z.i;
        if (m > best) {
          best = m;
          bestChannel = c;
        }
      }
      const kiss_fft_cpx& now = previous_[std::size_t(bestChannel) * (kMaxWindow / 2 + 1) + peak];
      const kiss_fft_cpx& before = Older(bestChannel)[peak];
      if (before.r != 0.0f || before.i != 0.0f) {
        const double advance = std::atan2(now.i, now.r) - std::atan2(before.i, before.r);
        // The hop is half a window: a bin-centred tone advances by pi * bin.
        offset = Wrap(advance - kPi * double(peak)) / kPi;
        phased = std::abs(offset) <= 0.75;
      }
    }
    if (!phased) {
      const double a = std::log(std::max(sum_[std::size_t(peak - 1)], 1e-30f));
      const double m = std::log(std::max(sum_[std::size_t(peak)], 1e-30f));
      const double z = std::log(std::max(sum_[std::size_t(peak + 1)], 1e-30f));
      const double d = a - 2 * m + z;
      offset = d < 0 ? std::clamp(0.5 * (a - z) / d, -0.5, 0.5) : 0.0;
    }
    havePrevious_ = true;
    dominant_.store(float((double(peak) + offset) * rate_ / n), std::memory_order_relaxed);
  }

  kiss_fft_cpx* Older(int c) noexcept { return &older_[std::size_t(c) * (kMaxWindow / 2 + 1)]; }

  static constexpr std::uint8_t kIndex = 3;
  static constexpr std::uint8_t kFresh = 4;

  const int rate_;
  const int channels_;
  RealFft plans_[kWindowSizes];
  std::vector<float> ring_;    // [channel][kMaxWindow], the latest input
  std::vector<float> window_;
  std::vector<float> frame_;
  std::vector<float> sum_;     // power per bin across channels
  std::vector<kiss_fft_cpx> previous_;  // [channel][bins]: the latest window's bins
  std::vector<kiss_fft_cpx> older_ = std::vector<kiss_fft_cpx>(previous_.size());  // the window before
  int size_ = 0, type_ = -1;
  double windowSum_ = 1.0;
  int at_ = 0, sinceHop_ = 0;
  bool havePrevious_ = false;
  std::size_t quiet_ = 0;
  std::atomic<float> dominant_{0.0f};
  // Mixer to API: a triple buffer of finished spectra.
  Slot slots_[3];
  std::atomic<std::uint8_t> middle_{1};
  std::uint8_t back_ = 0;   // the mixer's
  std::uint8_t front_ = 2;  // the API's
  std::vector<float> copy_;  // the API's copy handed to the caller
  FMOD_DSP_PARAMETER_FFT spectrum_{};
};

}  // namespace

std::unique_ptr<Processor> NewSpectralEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  switch (type) {
    case FMOD_DSP_TYPE_FFT: return std::make_unique<FftProcessor>(context);
    case FMOD_DSP_TYPE_CONVOLUTIONREVERB: return NewConvolutionEffect(context);
    case FMOD_DSP_TYPE_PITCHSHIFT: return NewPitchEffect(context);
    default: return nullptr;
  }
}

}  // namespace sonvel::engine::core
