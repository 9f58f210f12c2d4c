// The environmental reverb: early reflections from a tapped delay line, and
// a late reverb from an sixteen-line feedback delay network.
//
//   input (all channels averaged)
//     -> low shelf, high cut
//     -> pre-delay line --taps at EarlyDelay + pattern--> early reflections
//                        \--at EarlyDelay + LateDelay--> four all-pass
//                           diffusers -> the network
//   network: sixteen delay lines, each with a one-pole absorption filter whose
//   gain sets the line's loss per pass, mixed by a 16 x 16 Hadamard matrix
//   (orthogonal, so the network itself loses nothing). A line of length d
//   samples loses 60 dB in DecayTime when its gain per pass is
//   10^(-3 d / (DecayTime * rate)); at HFReference the filter's gain is the
//   one for DecayTime * HFDecayRatio.
//   The late output is read where the lines are written (their input), so it
//   starts at EarlyDelay + LateDelay exactly.
//
// Gains and filters move linearly across a block when a property changes;
// a change of a delay (early, late, or the line lengths that Density sets)
// cross-fades between the old and the new read positions over one block.
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "Effects.h"

namespace sonvel::engine::core {

namespace {

constexpr int kLines = 16;
constexpr int kDiffusers = 4;
constexpr int kEarlyTaps = 8;

// Line lengths at full density, in ms: close to each other (an even modal
// density) and with no common factors once in samples.
constexpr double kLineMs[kLines] = {26.3, 28.9, 31.7, 34.1, 36.7, 39.9, 42.7, 45.1,
                                    48.7, 52.3, 55.9, 59.3, 63.7, 68.3, 73.1, 79.3};
// At zero density the lines are this much shorter.
constexpr double kLeastDensityScale = 0.35;
constexpr double kDiffuserMs[kDiffusers] = {4.77, 3.59, 12.73, 9.31};
// Early reflections after EarlyDelay, in ms, and their gains; one pattern
// for even and one for odd output channels. The first is at 0 on both.
constexpr double kEarlyMs[2][kEarlyTaps] = {{0.0, 3.1, 5.7, 8.9, 11.3, 14.9, 17.5, 21.1},
                                            {0.0, 2.3, 6.7, 7.9, 12.1, 13.7, 18.3, 20.3}};
constexpr float kEarlyGain[2][kEarlyTaps] = {{0.84f, -0.63f, 0.55f, -0.46f, 0.39f, -0.32f, 0.27f, -0.22f},
                                             {0.84f, 0.61f, -0.53f, 0.47f, -0.38f, 0.33f, -0.26f, 0.21f}};
constexpr double kMaxEarlyDelayMs = 300.0;
constexpr double kMaxLateDelayMs = 100.0;
constexpr double kMaxEarlySpreadMs = 21.1;
// How each output channel reads the lines: rows with unequal signs, so that
// channels decorrelate while each still hears the onset.
constexpr float kOutputSigns[4][kLines] = {{1, 1, 1, 1, 1, -1, 1, -1, 1, 1, -1, 1, 1, -1, 1, -1},
                                           {1, -1, 1, 1, -1, 1, 1, 1, -1, 1, 1, -1, 1, 1, -1, 1},
                                           {1, 1, -1, 1, 1, 1, -1, 1, 1, -1, 1, 1, 1, -1, 1, 1},
                                           {-1, 1, 1, 1, 1, 1, 1, -1, 1, 1, 1, -1, -1, 1, 1, 1}};
constexpr float kLateScale = 0.18f;

const FMOD_DSP_PARAMETER_DESC kDecayTime =
    FloatParameter("Decay Time", "ms", "Reverberation decay time at low frequencies.", 100.0f, 20000.0f, 1500.0f);
const FMOD_DSP_PARAMETER_DESC kEarlyDelay =
    FloatParameter("Early Delay", "ms", "Delay from the dry signal to the first reflection.", 0.0f, 300.0f, 20.0f);
const FMOD_DSP_PARAMETER_DESC kLateDelay =
    FloatParameter("Late Delay", "ms", "Delay from the first reflection to the late reverberation.", 0.0f, 100.0f, 40.0f);
const FMOD_DSP_PARAMETER_DESC kHfReference =
    FloatParameter("HF Reference", "Hz", "Reference frequency of the high-frequency decay.", 20.0f, 20000.0f, 5000.0f);
const FMOD_DSP_PARAMETER_DESC kHfDecayRatio = FloatParameter(
    "Decay HF Ratio", "%", "High-frequency decay time as a share of the decay time.", 10.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kDiffusion =
    FloatParameter("Diffusion", "%", "Echo density of the late reverberation.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kDensity =
    FloatParameter("Density", "%", "Modal density of the late reverberation.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kLowShelfFrequency =
    FloatParameter("Low Shelf Frequency", "Hz", "Corner of the low shelf on the reverb.", 20.0f, 1000.0f, 250.0f);
const FMOD_DSP_PARAMETER_DESC kLowShelfGain =
    FloatParameter("Low Shelf Gain", "dB", "Gain of the low shelf on the reverb.", -36.0f, 12.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kHighCut =
    FloatParameter("High Cut", "Hz", "Cut-off of the low-pass on the reverb.", 20.0f, 20000.0f, 20000.0f);
const FMOD_DSP_PARAMETER_DESC kEarlyLateMix = FloatParameter(
    "Early/Late Mix", "%", "Share of the late reverberation against the early reflections.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kWetLevel =
    FloatParameter("Wet Level", "dB", "Level of the reverberation.", -80.0f, 20.0f, -6.0f);
const FMOD_DSP_PARAMETER_DESC kDryLevel =
    FloatParameter("Dry Level", "dB", "Level of the signal passed through.", -80.0f, 20.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC* const kParameters[] = {
    &kDecayTime, &kEarlyDelay,        &kLateDelay,    &kHfReference, &kHfDecayRatio, &kDiffusion, &kDensity,
    &kLowShelfFrequency, &kLowShelfGain, &kHighCut, &kEarlyLateMix, &kWetLevel,     &kDryLevel};
static_assert(std::size(kParameters) == FMOD_DSP_SFXREVERB_DRYLEVEL + 1);

// A delay line whose length is a power of two, read `delay` samples back.
class Line {
public:
  void Allocate(std::size_t least) {
    std::size_t size = 1;
    while (size < least + 1) size <<= 1;
    data_.assign(size, 0.0f);
    mask_ = size - 1;
    at_ = 0;
  }
  void Clear() noexcept { std::fill(data_.begin(), data_.end(), 0.0f); }
  float Read(std::size_t delay) const noexcept { return data_[(at_ - delay) & mask_]; }
  void Write(float v) noexcept {
    data_[at_ & mask_] = v;
    ++at_;
  }
  // Reads as if `delay` samples back of the next write.
  float Tap(std::size_t delay) const noexcept { return data_[(at_ - 1 - delay) & mask_]; }

private:
  std::vector<float> data_;
  std::size_t mask_ = 0;
  std::size_t at_ = 0;
};

// The network's lines in one ring, a frame of kLines values per position,
// so that a frame's writes are one contiguous store.
class Network {
public:
  void Allocate(std::size_t least) {
    std::size_t size = 1;
    while (size < least + 1) size <<= 1;
    data_.assign(size * kLines, 0.0f);
    mask_ = size - 1;
    at_ = 0;
  }
  void Clear() noexcept { std::fill(data_.begin(), data_.end(), 0.0f); }
  // Line i, `delay` frames before the next write.
  float Read(int i, std::size_t delay) const noexcept { return data_[((at_ - delay) & mask_) * kLines + i]; }
  void Write(const float* frame) noexcept {
    float* row = &data_[(at_ & mask_) * kLines];
    for (int i = 0; i < kLines; ++i) row[i] = frame[i];
    ++at_;
  }

private:
  std::vector<float> data_;
  std::size_t mask_ = 0;
  std::size_t at_ = 0;
};

// y[n] = x[n - d] * 1 + ... : a Schroeder all-pass.
struct Diffuser {
  Line line;
  std::size_t length = 1;
  float Run(float x, float g) noexcept {
    const float delayed = line.Read(length);
    const float v = x + g * delayed;
    line.Write(v);
    return delayed - g * v;
  }
};

// Everything a block's settings derive to.
struct Tuning {
  std::size_t early = 0;             // samples from the input to the first reflection
  std::size_t late = 0;              // samples from the input to the late reverb
  std::size_t lines[kLines] = {};    // line lengths
  float gain[kLines] = {};           // DC gain per pass (decay)
  float pole[kLines] = {};           // absorption filter pole per line
  float diffusion = 0.0f;            // all-pass coefficient
  float earlyGain = 0.0f, lateGain = 0.0f, wet = 0.0f, dry = 1.0f;
};

bool Same(const Tuning& a, const Tuning& b) noexcept {
  return a.early == b.early && a.late == b.late && std::equal(std::begin(a.lines), std::end(a.lines), b.lines) &&
         std::equal(std::begin(a.gain), std::end(a.gain), b.gain) &&
         std::equal(std::begin(a.pole), std::end(a.pole), b.pole) && a.diffusion == b.diffusion &&
         a.earlyGain == b.earlyGain && a.lateGain == b.lateGain && a.wet == b.wet && a.dry == b.dry;
}

// The pole `a` of g (1 - a) / (1 - a z^-1) whose gain at `w` is `ratio` of
// its gain at DC (ratio <= 1).
float AbsorptionPole(double ratio, double w) noexcept {
  if (ratio >= 0.99999) return 0.0f;
  const double r2 = ratio * ratio;
  const double A = r2 - 1.0, B = 2.0 * (1.0 - r2 * std::cos(w));
  // A a^2 + B a + A = 0; the root inside the unit circle.
  const double disc = std::max(0.0, B * B - 4.0 * A * A);
  const double a = (-B + std::sqrt(disc)) / (2.0 * A);
  return float(std::clamp(a, 0.0, 0.999));
}

class SfxReverbProcessor final : public BuiltinProcessor {
public:
  explicit SfxReverbProcessor(const EffectContext& context)
      : BuiltinProcessor("SFX Reverb", kParameters, int(std::size(kParameters))), rate_(context.sampleRate),
        maxChannels_(std::clamp(context.maxChannels, 1, kMaxWidth)), mono_(context.blockFrames, 0.0f) {
    const double ms = rate_ / 1000.0;
    pre_.Allocate(std::size_t((kMaxEarlyDelayMs + kMaxLateDelayMs + kMaxEarlySpreadMs) * ms) + 4);
    lines_.Allocate(std::size_t(kLineMs[kLines - 1] * ms) + 4);
    for (int i = 0; i < kDiffusers; ++i) {
      diffusers_[i].length = std::max<std::size_t>(1, std::size_t(kDiffuserMs[i] * ms));
      diffusers_[i].line.Allocate(diffusers_[i].length + 1);
    }
    for (int p = 0; p < 2; ++p)
      for (int k = 0; k < kEarlyTaps; ++k) earlyOffsets_[p][k] = std::size_t(std::lround(kEarlyMs[p][k] * ms));
    Derive(now_);
    next_ = now_;
    ToneFilters();
    lowShelf_.Set(shelfTarget_);
    highCut_.Set(cutTarget_);
  }

  bool Process(ProcessBlock& b) noexcept override {
    const int width = std::min(b.inWidth, b.capacity);
    b.outWidth = width;
    if (b.inputIdle && quiet_) return false;
    if (dirty_.exchange(false, std::memory_order_acquire)) {
      Derive(next_);
      ToneFilters();
      // With nothing in the lines and nothing passing through, there is
      // nothing to glide from.
      if (quiet_) {
        now_ = next_;
        lowShelf_.Set(shelfTarget_);
        highCut_.Set(cutTarget_);
      }
    }
    const unsigned n = b.frames;
    // The wet path is mono: the average of the input's channels.
    const float scale = 1.0f / float(std::max(b.inWidth, 1));
    for (unsigned j = 0; j < n; ++j) {
      float sum = 0.0f;
      const float* x = b.in + std::size_t(j) * b.inWidth;
      for (int c = 0; c < b.inWidth; ++c) sum += x[c];
      mono_[j] = sum * scale;
    }
    lowShelf_.Process(mono_.data(), 1, n, shelfTarget_);
    highCut_.Process(mono_.data(), 1, n, cutTarget_);

    const bool moving = !Same(now_, next_);
    const int outputs = std::min(width, maxChannels_);
    const float peak = moving ? Run<true>(b, width, outputs) : Run<false>(b, width, outputs);
    now_ = next_;
    // The tail has died away once the last input has had time to leave the
    // pre-delay and the network brings nothing above -120 dB.
    if (b.inputIdle) {
      idleFrames_ += n;
      float state = 0.0f;
      for (float a : absorb_) state = std::max(state, std::fabs(a));
      if (idleFrames_ > Reach(now_) && peak < 1e-6f && state < 1e-6f) {
        Clear();
        quiet_ = true;
      }
    } else {
      idleFrames_ = 0;
      quiet_ = false;
    }
    return true;
  }

  // One block of the reverb; with kMoving, every setting moves from now_ to
  // next_ across it. Answers the wet signal's peak.
  template <bool kMoving>
  float Run(const ProcessBlock& b, int width, int outputs) noexcept {
    const Tuning& from = now_;
    const Tuning& to = next_;
    const unsigned n = b.frames;
    const float step = n > 0 ? 1.0f / float(n) : 0.0f;
    const int patterns = std::min(outputs, 2), rows = std::min(outputs, 4);
    float feed[kLines], pole[kLines];
    for (int i = 0; i < kLines; ++i) {
      feed[i] = from.gain[i] * (1.0f - from.pole[i]);
      pole[i] = from.pole[i];
    }
    float peak = 0.0f;
    for (unsigned j = 0; j < n; ++j) {
      const float t = kMoving ? float(j + 1) * step : 0.0f;  // 0 -> 1 across the block
      pre_.Write(mono_[j]);
      // Early reflections, per pattern.
      float early[2] = {0.0f, 0.0f};
      for (int p = 0; p < patterns; ++p) {
        float e = 0.0f;
        for (int k = 0; k < kEarlyTaps; ++k) e += kEarlyGain[p][k] * pre_.Tap(from.early + earlyOffsets_[p][k]);
        if (kMoving && from.early != to.early) {
          float e2 = 0.0f;
          for (int k = 0; k < kEarlyTaps; ++k) e2 += kEarlyGain[p][k] * pre_.Tap(to.early + earlyOffsets_[p][k]);
          e += t * (e2 - e);
        }
        early[p] = e;
      }
      // Into the network, through the diffusers.
      float u = pre_.Tap(from.late);
      if (kMoving && from.late != to.late) u += t * (pre_.Tap(to.late) - u);
      const float g = kMoving ? from.diffusion + t * (to.diffusion - from.diffusion) : from.diffusion;
      for (Diffuser& d : diffusers_) u = d.Run(u, g);
      // The network.
      float v[kLines];
      for (int i = 0; i < kLines; ++i) {
        float s = lines_.Read(i, from.lines[i]);
        if constexpr (kMoving) {
          if (from.lines[i] != to.lines[i]) s += t * (lines_.Read(i, to.lines[i]) - s);
          const float gain = from.gain[i] + t * (to.gain[i] - from.gain[i]);
          const float a = from.pole[i] + t * (to.pole[i] - from.pole[i]);
          absorb_[i] = gain * (1.0f - a) * s + a * absorb_[i];
        } else {
          absorb_[i] = feed[i] * s + pole[i] * absorb_[i];
        }
        v[i] = absorb_[i];
      }
      Hadamard(v);
      for (int i = 0; i < kLines; ++i) v[i] += u;
      lines_.Write(v);
      float late[4] = {0, 0, 0, 0};
      for (int r = 0; r < rows; ++r) {
        float sum = 0.0f;
        for (int i = 0; i < kLines; ++i) sum += kOutputSigns[r][i] * v[i];
        late[r] = sum;
      }
      float eg = from.earlyGain, lg = from.lateGain, wet = from.wet, dry = from.dry;
      if constexpr (kMoving) {
        eg += t * (to.earlyGain - from.earlyGain);
        lg += t * (to.lateGain - from.lateGain);
        wet += t * (to.wet - from.wet);
        dry += t * (to.dry - from.dry);
      }
      eg *= wet;
      lg *= wet * kLateScale;
      const float* x = b.in + std::size_t(j) * b.inWidth;
      float* y = b.out + std::size_t(j) * width;
      for (int c = 0; c < outputs; ++c) {
        const float r = eg * early[c & 1] + lg * late[c & 3];
        peak = std::max(peak, std::fabs(r));
        y[c] = dry * x[c] + r;
      }
      for (int c = outputs; c < width; ++c) y[c] = dry * x[c];
    }
    return peak;
  }

  void Reset() noexcept override { Clear(); }

protected:
  void Changed(int /*index*/) noexcept override { dirty_.store(true, std::memory_order_release); }

private:
  static void Hadamard(float* v) noexcept {
    for (int h = 1; h < kLines; h <<= 1)
      for (int i = 0; i < kLines; i += h << 1)
        for (int k = i; k < i + h; ++k) {
          const float a = v[k], b = v[k + h];
          v[k] = a + b;
          v[k + h] = a - b;
        }
    constexpr float kNorm = 0.25f;  // 1 / sqrt(16): orthogonal
    for (int i = 0; i < kLines; ++i) v[i] *= kNorm;
  }

  // The longest a sample stays in the unit before it reaches the lines'
  // outputs.
  std::size_t Reach(const Tuning& t) const noexcept {
    std::size_t longest = 0;
    for (std::size_t d : t.lines) longest = std::max(longest, d);
    std::size_t diffusion = 0;
    for (const Diffuser& d : diffusers_) diffusion += d.length;
    return std::max(t.late, t.early + std::max(earlyOffsets_[0][kEarlyTaps - 1], earlyOffsets_[1][kEarlyTaps - 1])) +
           diffusion + longest;
  }

  void Clear() noexcept {
    pre_.Clear();
    lines_.Clear();
    for (Diffuser& d : diffusers_) d.line.Clear();
    for (float& a : absorb_) a = 0.0f;
    lowShelf_.Reset();
    highCut_.Reset();
    quiet_ = true;
  }

  // The settings as the parameters stand (the mixer thread).
  void Derive(Tuning& t) noexcept {
    const double ms = rate_ / 1000.0;
    const double decay = std::max(0.1, double(FloatAt(FMOD_DSP_SFXREVERB_DECAYTIME)) / 1000.0);
    const double hfRatio = std::clamp(double(FloatAt(FMOD_DSP_SFXREVERB_HFDECAYRATIO)) / 100.0, 0.1, 1.0);
    const double hfReference = std::clamp(double(FloatAt(FMOD_DSP_SFXREVERB_HFREFERENCE)), 20.0, rate_ * 0.49);
    const double density = std::clamp(double(FloatAt(FMOD_DSP_SFXREVERB_DENSITY)) / 100.0, 0.0, 1.0);
    const double mix = std::clamp(double(FloatAt(FMOD_DSP_SFXREVERB_EARLYLATEMIX)) / 100.0, 0.0, 1.0);
    t.early = std::size_t(std::lround(double(FloatAt(FMOD_DSP_SFXREVERB_EARLYDELAY)) * ms));
    t.late = t.early + std::size_t(std::lround(double(FloatAt(FMOD_DSP_SFXREVERB_LATEDELAY)) * ms));
    const double scale = kLeastDensityScale + (1.0 - kLeastDensityScale) * density;
    const double w = 2.0 * kPi * hfReference / rate_;
    for (int i = 0; i < kLines; ++i) {
      const std::size_t d = std::max<std::size_t>(16, std::size_t(kLineMs[i] * ms * scale) | 1u);
      t.lines[i] = d;
      const double perPass = -3.0 * double(d) / (decay * rate_);  // log10 of the gain
      const double gain = std::pow(10.0, perPass);
      const double hfGain = std::pow(10.0, perPass / hfRatio);
      t.gain[i] = float(gain);
      t.pole[i] = AbsorptionPole(hfGain / gain, w);
    }
    t.diffusion = float(0.65 * std::clamp(double(FloatAt(FMOD_DSP_SFXREVERB_DIFFUSION)) / 100.0, 0.0, 1.0));
    t.earlyGain = float(std::min(1.0, 2.0 * (1.0 - mix)));
    t.lateGain = float(std::min(1.0, 2.0 * mix));
    t.wet = DecibelsToGain(FloatAt(FMOD_DSP_SFXREVERB_WETLEVEL));
    t.dry = DecibelsToGain(FloatAt(FMOD_DSP_SFXREVERB_DRYLEVEL));
  }

  void ToneFilters() noexcept {
    const float shelfGain = FloatAt(FMOD_DSP_SFXREVERB_LOWSHELFGAIN);
    shelfTarget_ = BiquadCoefficients::LowShelf(FloatAt(FMOD_DSP_SFXREVERB_LOWSHELFFREQUENCY), 0.7071, shelfGain, rate_);
    const float cut = FloatAt(FMOD_DSP_SFXREVERB_HIGHCUT);
    // At 20 kHz and above the cut is off.
    cutTarget_ = cut >= 19999.0f || cut >= rate_ * 0.45f ? BiquadCoefficients{}
                                                         : BiquadCoefficients::LowPass(cut, 0.7071, rate_);
  }

  const double rate_;
  const int maxChannels_;
  std::vector<float> mono_;
  Line pre_;
  Network lines_;
  std::array<Diffuser, kDiffusers> diffusers_;
  std::size_t earlyOffsets_[2][kEarlyTaps] = {};
  float absorb_[kLines] = {};
  Biquad lowShelf_, highCut_;
  BiquadCoefficients shelfTarget_, cutTarget_;  // the tone filters glide to these
  Tuning now_, next_;
  bool quiet_ = true;
  std::size_t idleFrames_ = 0;  // since the input last sounded
  std::atomic<bool> dirty_{true};
};

}  // namespace

std::unique_ptr<Processor> NewReverbEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  if (type != FMOD_DSP_TYPE_SFXREVERB) return nullptr;
  return std::make_unique<SfxReverbProcessor>(context);
}

}  // namespace sonvel::engine::core
