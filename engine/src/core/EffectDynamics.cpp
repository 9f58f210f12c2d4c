// Dynamics: the compressor, the look-ahead limiter, the normaliser and the
// envelope follower.
//
// Levels are sample magnitudes relative to full scale (1.0 is 0 dB). The
// compressor and the normaliser read a level as the largest magnitude of a
// short sliding window (a peak hold), so that a steady tone reads as a
// steady level, its peak, whatever its phase. Detector states are doubles:
// the one-pole coefficients of long times lie within a few float steps of 1.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "Effects.h"

namespace sonvel::engine::core {

namespace {

constexpr double kLn10Over20 = 2.302585092994046 / 20.0;

// The factor of a one-pole smoother whose time constant is `ms`: after a
// step its output covers 1 - 1/e (63.2 %) of the change in `ms`.
double Pole(double ms, double rate) noexcept { return ms <= 0.0 ? 0.0 : std::exp(-1000.0 / (ms * rate)); }

float Loudest(const float* frame, int width) noexcept {
  float m = 0.0f;
  for (int c = 0; c < width; ++c) m = std::max(m, std::fabs(frame[c]));
  return m;
}

// Copies channels [from, width) of each frame from the input (the channels
// no state is kept for pass through).
void CopyRest(const ProcessBlock& b, int from, int width) noexcept {
  if (from >= width) return;
  for (unsigned j = 0; j < b.frames; ++j)
    for (int c = from; c < width; ++c)
      b.out[std::size_t(j) * std::size_t(width) + std::size_t(c)] =
          b.in[std::size_t(j) * std::size_t(b.inWidth) + std::size_t(c)];
}

// The largest value of the last `window` frames: a monotonic queue over a
// ring allocated by its owner (window + 1 entries).
class SlidingMax {
public:
  struct Entry {
    std::uint32_t at;
    float value;
  };
  void Attach(Entry* storage, unsigned window) noexcept {
    e_ = storage;
    window_ = std::max(window, 1u);
    capacity_ = window_ + 1;
    Clear();
  }
  void Clear() noexcept { head_ = size_ = 0; }
  // Adds the value of frame `now` and answers the largest in the window.
  float Push(std::uint32_t now, float value) noexcept {
    while (size_ > 0 && e_[Index(size_ - 1)].value <= value) --size_;
    e_[Index(size_)] = {now, value};
    ++size_;
    while (now - e_[head_].at >= window_) {
      head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
      --size_;
    }
    return e_[head_].value;
  }

private:
  unsigned Index(unsigned k) const noexcept {
    const unsigned i = head_ + k;
    return i >= capacity_ ? i - capacity_ : i;
  }
  Entry* e_ = nullptr;
  unsigned window_ = 1, capacity_ = 2, head_ = 0, size_ = 0;
};

// A set of sliding maxima, one per channel plus one for the channels linked.
class Holds {
public:
  void Make(int count, unsigned window) {
    storage_.assign(std::size_t(count) * (window + 1), SlidingMax::Entry{0, 0.0f});
    holds_.assign(std::size_t(count), SlidingMax{});
    for (int i = 0; i < count; ++i) holds_[std::size_t(i)].Attach(&storage_[std::size_t(i) * (window + 1)], window);
  }
  SlidingMax& operator[](int i) noexcept { return holds_[std::size_t(i)]; }
  void Clear() noexcept {
    for (SlidingMax& h : holds_) h.Clear();
  }

private:
  std::vector<SlidingMax::Entry> storage_;
  std::vector<SlidingMax> holds_;
};

// The USESIDECHAIN data parameter: FMOD_DSP_PARAMETER_SIDECHAIN.
class SidechainSwitch {
public:
  bool On() const noexcept { return on_.load(std::memory_order_relaxed); }
  FMOD_RESULT Set(void* data, unsigned length) noexcept {
    if (data == nullptr || length < sizeof(FMOD_DSP_PARAMETER_SIDECHAIN)) return FMOD_ERR_INVALID_PARAM;
    FMOD_DSP_PARAMETER_SIDECHAIN v;
    std::memcpy(&v, data, sizeof v);
    view_.sidechainenable = v.sidechainenable != 0 ? 1 : 0;
    on_.store(v.sidechainenable != 0, std::memory_order_relaxed);
    return FMOD_OK;
  }
  FMOD_RESULT Get(void** data, unsigned* length, char* text) noexcept {
    if (data != nullptr) *data = &view_;
    if (length != nullptr) *length = sizeof view_;
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", On() ? "On" : "Off");
    return FMOD_OK;
  }

private:
  std::atomic<bool> on_{false};
  FMOD_DSP_PARAMETER_SIDECHAIN view_{};
};

// What a detector reads: the sidechain when it is enabled and a signal
// arrives on it, else the input.
struct DetectorInput {
  const float* data;
  int width;
  bool side;
  float At(unsigned frame, int channel) const noexcept {
    const float* f = data + std::size_t(frame) * std::size_t(width);
    // A channel the sidechain does not have reads its loudest channel.
    return channel < width ? std::fabs(f[channel]) : Loudest(f, width);
  }
  float LoudestAt(unsigned frame) const noexcept {
    return Loudest(data + std::size_t(frame) * std::size_t(width), width);
  }
};
DetectorInput Detect(const ProcessBlock& b, bool sidechain) noexcept {
  if (sidechain && b.side != nullptr && b.sideWidth > 0) return {b.side, b.sideWidth, true};
  return {b.in, b.inWidth, false};
}

// ---------------------------------------------------------------------------
// Compressor

const FMOD_DSP_PARAMETER_DESC kCompThreshold =
    FloatParameter("Threshold", "dB", "Level above which the signal is compressed, in dB of full scale.", -80.0f,
                   0.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kCompRatio =
    FloatParameter("Ratio", ":1", "Input decibels over the threshold per output decibel over it.", 1.0f, 50.0f, 2.5f);
const FMOD_DSP_PARAMETER_DESC kCompAttack =
    FloatParameter("Attack", "ms", "Time constant of the gain reduction growing.", 0.1f, 500.0f, 20.0f);
const FMOD_DSP_PARAMETER_DESC kCompRelease =
    FloatParameter("Release", "ms", "Time constant of the gain reduction shrinking.", 10.0f, 5000.0f, 100.0f);
const FMOD_DSP_PARAMETER_DESC kCompMakeup =
    FloatParameter("Make Up Gain", "dB", "Gain applied after the compression.", -30.0f, 30.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kCompSidechain =
    DataParameter("Use Sidechain", "", "Whether the level is read from the sidechain input.",
                  FMOD_DSP_PARAMETER_DATA_TYPE_SIDECHAIN);
const char* const kLinkNames[] = {"Unlinked", "Linked"};
const FMOD_DSP_PARAMETER_DESC kCompLinked = BoolParameter(
    "Linked", "", "One gain for all channels from the loudest, or a gain per channel.", true, kLinkNames);
const FMOD_DSP_PARAMETER_DESC* const kCompressor[] = {&kCompThreshold, &kCompRatio,     &kCompAttack, &kCompRelease,
                                                      &kCompMakeup,    &kCompSidechain, &kCompLinked};

// A feed-forward hard-knee compressor. The level is the peak of the last
// kHoldMs (the detector side: input, or sidechain); the static curve asks
// a gain reduction in decibels of (1 - 1/ratio) (level - threshold) above
// the threshold, none below; a one-pole smoother follows that reduction in
// decibels, with the attack time constant while the reduction grows and the
// release time constant while it shrinks. Attack and release are those time
// constants: a step in level moves the gain (in dB) 63 % of its way in that
// time. A fall in level reaches the smoother kHoldMs late (the hold).
class CompressorProcessor final : public BuiltinProcessor {
public:
  static constexpr double kHoldMs = 5.0;

  explicit CompressorProcessor(const EffectContext& context)
      : BuiltinProcessor("Compressor", kCompressor, int(std::size(kCompressor))), rate_(double(context.sampleRate)),
        maxChannels_(std::clamp(context.maxChannels, 1, kMaxWidth)),
        rampFrames_(unsigned(0.005 * context.sampleRate)), makeup_(1.0f) {
    holds_.Make(maxChannels_, unsigned(std::lround(kHoldMs * 0.001 * rate_)));
  }

  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override {
    if (index != FMOD_DSP_COMPRESSOR_USESIDECHAIN) return FMOD_ERR_INVALID_PARAM;
    return sidechain_.Set(data, length);
  }
  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override {
    if (index != FMOD_DSP_COMPRESSOR_USESIDECHAIN) return FMOD_ERR_INVALID_PARAM;
    return sidechain_.Get(data, length, text);
  }

  void Reset() noexcept override {
    holds_.Clear();
    std::fill(std::begin(reduction_), std::end(reduction_), 0.0);
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const DetectorInput d = Detect(b, sidechain_.On());
    const int width = std::min(b.inWidth, b.capacity);
    const int active = std::min(width, maxChannels_);
    b.outWidth = width;
    const double attack = Pole(FloatAt(FMOD_DSP_COMPRESSOR_ATTACK), rate_);
    const double release = Pole(FloatAt(FMOD_DSP_COMPRESSOR_RELEASE), rate_);
    const bool linked = IntAt(FMOD_DSP_COMPRESSOR_LINKED) != 0;
    if (linked != linked_) {
      // Each state starts from the other's, so that the gain does not jump.
      if (linked) {
        reduction_[0] = *std::min_element(reduction_, reduction_ + maxChannels_);
      } else {
        std::fill(reduction_ + 1, reduction_ + maxChannels_, reduction_[0]);
      }
      holds_.Clear();
      linked_ = linked;
    }
    // Settings made before the first block apply from its first frame.
    makeup_.Set(DecibelsToGain(FloatAt(FMOD_DSP_COMPRESSOR_GAINMAKEUP)), started_ ? rampFrames_ : 0);
    started_ = true;

    if (b.inputIdle && !d.side) {
      // Silence: the reduction releases toward none.
      const double k = std::pow(release, double(b.frames));
      for (double& r : reduction_) r = std::fabs(r * k) < 1e-9 ? 0.0 : r * k;
      holds_.Clear();
      makeup_.Jump(makeup_.Target());
      position_ += b.frames;
      return false;
    }

    const double threshold = FloatAt(FMOD_DSP_COMPRESSOR_THRESHOLD);
    const float thresholdGain = float(std::pow(10.0, threshold / 20.0));
    const double slope = 1.0 - 1.0 / double(FloatAt(FMOD_DSP_COMPRESSOR_RATIO));
    auto wanted = [&](float peak) noexcept {
      return peak > thresholdGain ? -slope * (20.0 * std::log10(double(peak)) - threshold) : 0.0;
    };
    auto follow = [&](double& r, double target) noexcept {
      r = target + (target < r ? attack : release) * (r - target);
      if (std::fabs(r - target) < 1e-9) r = target;
    };
    const int states = linked ? 1 : active;
    for (unsigned j = 0; j < b.frames; ++j, ++position_) {
      const float makeup = makeup_.Next();
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(width);
      for (int s = 0; s < states; ++s) {
        const float level = linked ? d.LoudestAt(j) : d.At(j, s);
        follow(reduction_[s], wanted(holds_[s].Push(position_, level)));
      }
      if (linked) {
        const float g = float(std::exp(reduction_[0] * kLn10Over20)) * makeup;
        for (int c = 0; c < active; ++c) y[c] = x[c] * g;
      } else {
        for (int c = 0; c < active; ++c) y[c] = x[c] * float(std::exp(reduction_[c] * kLn10Over20)) * makeup;
      }
    }
    CopyRest(b, active, width);
    return !b.inputIdle;
  }

private:
  const double rate_;
  const int maxChannels_;
  const unsigned rampFrames_;
  SidechainSwitch sidechain_;
  Holds holds_;
  double reduction_[kMaxWidth] = {};  // dB, <= 0; [0] when linked
  bool linked_ = true;
  bool started_ = false;
  Ramp makeup_;
  std::uint32_t position_ = 0;
};

// ---------------------------------------------------------------------------
// Limiter

const FMOD_DSP_PARAMETER_DESC kLimRelease =
    FloatParameter("Release Time", "ms", "Time constant of the gain recovering after a peak.", 1.0f, 1000.0f, 10.0f);
const FMOD_DSP_PARAMETER_DESC kLimCeiling =
    FloatParameter("Ceiling", "dB", "The largest sample magnitude put out, in dB of full scale.", -12.0f, 0.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kLimGain =
    FloatParameter("Maximizer Gain", "dB", "Gain applied before the limiting.", 0.0f, 12.0f, 0.0f);
const char* const kLimModes[] = {"Independent", "Linked"};
const FMOD_DSP_PARAMETER_DESC kLimMode = BoolParameter(
    "Mode", "", "Channels limited independently, or linked (one gain from the loudest channel).", false, kLimModes);
const FMOD_DSP_PARAMETER_DESC* const kLimiter[] = {&kLimRelease, &kLimCeiling, &kLimGain, &kLimMode};

// A look-ahead brick-wall limiter. The input times the maximiser gain over
// the ceiling (u) is delayed by kLookAheadMs: the unit's latency, D frames.
// The gain each frame asks for (1 / |u|, at most 1) is held at its lowest
// over the last D + 1 frames, released exponentially (the release time is
// the time constant of the recovery), and averaged over D + 1 frames. So
// when a frame leaves the delay, every gain averaged for it was at most the
// one it asked for: its output is at most the ceiling, and the gain moves
// into a peak as a ramp over the look-ahead rather than a step. Mode false
// limits each channel on its own; true gives all channels the gain of the
// loudest. A clamp to the ceiling after the gain only catches rounding and
// the frames in the delay at a change of mode.
class LimiterProcessor final : public BuiltinProcessor {
public:
  static constexpr double kLookAheadMs = 2.0;

  explicit LimiterProcessor(const EffectContext& context)
      : BuiltinProcessor("Limiter", kLimiter, int(std::size(kLimiter))), rate_(double(context.sampleRate)),
        maxChannels_(std::clamp(context.maxChannels, 1, kMaxWidth)),
        delay_(std::max(1u, unsigned(std::lround(kLookAheadMs * 0.001 * rate_)))), window_(delay_ + 1),
        rampFrames_(unsigned(0.005 * context.sampleRate)), drive_(1.0f), ceiling_(1.0f) {
    holds_.Make(maxChannels_, window_);
    line_.assign(std::size_t(delay_) * std::size_t(maxChannels_), 0.0f);
    lineCeiling_.assign(delay_, 1.0f);
    box_.assign(std::size_t(window_) * std::size_t(maxChannels_), 1.0f);
    Reset();
  }

  void Reset() noexcept override {
    std::fill(line_.begin(), line_.end(), 0.0f);
    const float c = DecibelsToGain(FloatAt(FMOD_DSP_LIMITER_CEILING));
    std::fill(lineCeiling_.begin(), lineCeiling_.end(), c);
    std::fill(box_.begin(), box_.end(), 1.0f);
    for (int s = 0; s < maxChannels_; ++s) {
      envelope_[s] = 1.0;
      boxSum_[s] = double(window_);
    }
    holds_.Clear();
    ceiling_.Jump(c);
    drive_.Jump(DecibelsToGain(FloatAt(FMOD_DSP_LIMITER_MAXIMIZERGAIN)) / c);
    idleFrames_ = delay_;
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const int width = std::min(b.inWidth, b.capacity);
    const int active = std::min(width, maxChannels_);
    b.outWidth = width;
    const double release = Pole(FloatAt(FMOD_DSP_LIMITER_RELEASETIME), rate_);
    const float ceilingTarget = DecibelsToGain(FloatAt(FMOD_DSP_LIMITER_CEILING));
    const float driveTarget = DecibelsToGain(FloatAt(FMOD_DSP_LIMITER_MAXIMIZERGAIN)) / ceilingTarget;
    if (!started_) {
      // Settings made before the first block apply from its first frame.
      ceiling_.Jump(ceilingTarget);
      drive_.Jump(driveTarget);
      std::fill(lineCeiling_.begin(), lineCeiling_.end(), ceilingTarget);
      started_ = true;
    }
    ceiling_.Set(ceilingTarget, rampFrames_);
    drive_.Set(driveTarget, rampFrames_);
    const bool linked = IntAt(FMOD_DSP_LIMITER_MODE) != 0;
    const int states = linked ? 1 : active;

    if (b.inputIdle && idleFrames_ >= delay_) {
      // The delay holds silence: release in closed form, answer silence.
      const double k = std::pow(release, double(b.frames));
      for (int s = 0; s < maxChannels_; ++s) {
        envelope_[s] = 1.0 - (1.0 - envelope_[s]) * k;
        std::fill(&box_[std::size_t(s) * window_], &box_[std::size_t(s) * window_] + window_, float(envelope_[s]));
        boxSum_[s] = envelope_[s] * double(window_);
      }
      holds_.Clear();
      ceiling_.Jump(ceiling_.Target());
      drive_.Jump(drive_.Target());
      std::fill(lineCeiling_.begin(), lineCeiling_.end(), ceiling_.Value());
      position_ += b.frames;
      return false;
    }
    idleFrames_ = b.inputIdle ? idleFrames_ + b.frames : 0;

    // Exact sums again each block: the running sums must not drift.
    for (int s = 0; s < states; ++s) {
      double sum = 0.0;
      for (unsigned k = 0; k < window_; ++k) sum += box_[std::size_t(s) * window_ + k];
      boxSum_[s] = sum;
    }
    const double inverseWindow = 1.0 / double(window_);
    for (unsigned j = 0; j < b.frames; ++j, ++position_) {
      const float drive = drive_.Next();
      const float ceiling = ceiling_.Next();
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(width);
      float* u = &line_[std::size_t(slot_) * std::size_t(maxChannels_)];
      const float delayedCeiling = lineCeiling_[slot_];
      lineCeiling_[slot_] = ceiling;
      float peak = 0.0f;
      float gains[kMaxWidth];
      for (int c = 0; c < active; ++c) {
        const float v = x[c] * drive;
        if (linked) {
          peak = std::max(peak, std::fabs(v));
        } else {
          gains[c] = Step(c, std::fabs(v), release, inverseWindow);
        }
        y[c] = u[c];  // the frame leaving the delay
        u[c] = v;
      }
      if (linked) {
        const float g = Step(0, peak, release, inverseWindow);
        for (int c = 0; c < active; ++c) gains[c] = g;
      }
      for (int c = 0; c < active; ++c)
        y[c] = std::clamp(y[c] * gains[c] * delayedCeiling, -delayedCeiling, delayedCeiling);
      slot_ = slot_ + 1 == delay_ ? 0 : slot_ + 1;
      boxSlot_ = boxSlot_ + 1 == window_ ? 0 : boxSlot_ + 1;
    }
    CopyRest(b, active, width);
    return true;
  }

private:
  // One frame of state `s`: takes the magnitude entering the delay and
  // answers the gain for the frame leaving it.
  float Step(int s, float magnitude, double release, double inverseWindow) noexcept {
    const float held = holds_[s].Push(position_, magnitude);
    const double asked = held > 1.0f ? 1.0 / double(held) : 1.0;
    double& e = envelope_[s];
    e = asked < e ? asked : asked + release * (e - asked);
    float& oldest = box_[std::size_t(s) * window_ + boxSlot_];
    boxSum_[s] += e - double(oldest);
    oldest = float(e);
    return float(std::min(1.0, boxSum_[s] * inverseWindow));
  }

  const double rate_;
  const int maxChannels_;
  const unsigned delay_;   // the look-ahead, frames
  const unsigned window_;  // delay_ + 1
  const unsigned rampFrames_;
  Holds holds_;
  std::vector<float> line_;         // delay_ frames of maxChannels_
  std::vector<float> lineCeiling_;  // the ceiling each delayed frame went in with
  std::vector<float> box_;          // window_ released gains per state
  double envelope_[kMaxWidth] = {};
  double boxSum_[kMaxWidth] = {};
  unsigned slot_ = 0, boxSlot_ = 0;
  unsigned idleFrames_ = 0;
  bool started_ = false;
  Ramp drive_;    // maximiser gain over the ceiling
  Ramp ceiling_;
  std::uint32_t position_ = 0;
};

// ---------------------------------------------------------------------------
// Normaliser

const FMOD_DSP_PARAMETER_DESC kNormFade = FloatParameter(
    "Fade Time", "ms", "Time the gain takes to rise from unity to the maximum amplification.", 0.0f, 20000.0f, 5000.0f);
const FMOD_DSP_PARAMETER_DESC kNormThreshold = FloatParameter(
    "Threshold", "", "Peak level (linear) below which the signal is not amplified.", 0.0f, 1.0f, 0.1f);
const FMOD_DSP_PARAMETER_DESC kNormMaxAmp =
    FloatParameter("Max Amp", "x", "The largest amplification (linear); 1 amplifies nothing.", 1.0f, 100000.0f, 20.0f);
const FMOD_DSP_PARAMETER_DESC* const kNormalize[] = {&kNormFade, &kNormThreshold, &kNormMaxAmp};

// One gain for all channels that brings the recent peak (the peak of the
// last kHoldMs over all channels) to full scale, at most the max amp. A peak
// under the threshold asks unity instead. The gain moves toward what is
// asked at a fixed rate in decibels: unity to the max amp (at least 6 dB)
// in the fade time, so any rise is done within it. It never exceeds what
// brings the recent peak to full scale: a louder peak lowers it at once.
class NormalizeProcessor final : public BuiltinProcessor {
public:
  static constexpr double kHoldMs = 20.0;

  explicit NormalizeProcessor(const EffectContext& context)
      : BuiltinProcessor("Normalize", kNormalize, int(std::size(kNormalize))), rate_(double(context.sampleRate)),
        maxChannels_(std::clamp(context.maxChannels, 1, kMaxWidth)) {
    holds_.Make(1, unsigned(std::lround(kHoldMs * 0.001 * rate_)));
  }

  void Reset() noexcept override {
    holds_.Clear();
    gain_ = 1.0;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const int width = std::min(b.inWidth, b.capacity);
    const int active = std::min(width, maxChannels_);
    b.outWidth = width;
    const double maxAmp = FloatAt(FMOD_DSP_NORMALIZE_MAXAMP);
    const double threshold = FloatAt(FMOD_DSP_NORMALIZE_THRESHHOLD);
    const double fadeFrames = double(FloatAt(FMOD_DSP_NORMALIZE_FADETIME)) * 0.001 * rate_;
    const double range = std::max(20.0 * std::log10(maxAmp), 6.0);
    // The factor the gain may move by per frame (infinite: at once).
    const double step = fadeFrames >= 1.0 ? std::pow(10.0, range / fadeFrames / 20.0) : HUGE_VAL;
    auto asked = [&](double peak) noexcept {
      if (peak < threshold) return 1.0;
      return peak * maxAmp > 1.0 ? 1.0 / peak : maxAmp;
    };
    auto toward = [&](double target, double k) noexcept {
      gain_ = target > gain_ ? std::min(target, gain_ * k) : std::max(target, gain_ / k);
    };

    if (b.inputIdle) {
      holds_.Clear();
      toward(asked(0.0), std::isinf(step) ? step : std::pow(step, double(b.frames)));
      position_ += b.frames;
      return false;
    }
    for (unsigned j = 0; j < b.frames; ++j, ++position_) {
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(width);
      const double peak = holds_[0].Push(position_, Loudest(x, active));
      toward(asked(peak), step);
      if (peak * gain_ > 1.0) gain_ = 1.0 / peak;
      const float g = float(gain_);
      for (int c = 0; c < active; ++c) y[c] = x[c] * g;
    }
    CopyRest(b, active, width);
    return true;
  }

private:
  const double rate_;
  const int maxChannels_;
  Holds holds_;
  double gain_ = 1.0;
  std::uint32_t position_ = 0;
};

// ---------------------------------------------------------------------------
// Envelope follower

const FMOD_DSP_PARAMETER_DESC kEnvAttack =
    FloatParameter("Attack", "ms", "Time constant of the envelope rising.", 0.1f, 1000.0f, 20.0f);
const FMOD_DSP_PARAMETER_DESC kEnvRelease =
    FloatParameter("Release", "ms", "Time constant of the envelope falling.", 10.0f, 5000.0f, 100.0f);
const FMOD_DSP_PARAMETER_DESC kEnvEnvelope = FloatParameter(
    "Envelope", "", "The current envelope (linear magnitude); read only, a value set is ignored.", 0.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kEnvSidechain =
    DataParameter("Use Sidechain", "", "Whether the envelope follows the sidechain input.",
                  FMOD_DSP_PARAMETER_DATA_TYPE_SIDECHAIN);
const FMOD_DSP_PARAMETER_DESC* const kEnvelopeFollower[] = {&kEnvAttack, &kEnvRelease, &kEnvEnvelope, &kEnvSidechain};

// Passes its input on and follows its loudest channel's magnitude (or the
// sidechain's) with a one-pole smoother: the attack time constant while the
// magnitude is above the envelope, the release one below. The envelope is
// published after every block.
class EnvelopeFollowerProcessor final : public BuiltinProcessor {
public:
  explicit EnvelopeFollowerProcessor(const EffectContext& context)
      : BuiltinProcessor("Envelope Follower", kEnvelopeFollower, int(std::size(kEnvelopeFollower))),
        rate_(double(context.sampleRate)) {}

  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override {
    if (index != FMOD_DSP_ENVELOPEFOLLOWER_USESIDECHAIN) return FMOD_ERR_INVALID_PARAM;
    return sidechain_.Set(data, length);
  }
  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override {
    if (index != FMOD_DSP_ENVELOPEFOLLOWER_USESIDECHAIN) return FMOD_ERR_INVALID_PARAM;
    return sidechain_.Get(data, length, text);
  }
  FMOD_RESULT GetFloat(int index, float* value, char* text) noexcept override {
    if (index != FMOD_DSP_ENVELOPEFOLLOWER_ENVELOPE) return BuiltinProcessor::GetFloat(index, value, text);
    const float v = published_.load(std::memory_order_relaxed);
    if (value != nullptr) *value = v;
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.4f", double(v));
    return FMOD_OK;
  }

  void Reset() noexcept override {
    envelope_ = 0.0;
    published_.store(0.0f, std::memory_order_relaxed);
  }

  bool Process(ProcessBlock& b) noexcept override {
    const DetectorInput d = Detect(b, sidechain_.On());
    const double attack = Pole(FloatAt(FMOD_DSP_ENVELOPEFOLLOWER_ATTACK), rate_);
    const double release = Pole(FloatAt(FMOD_DSP_ENVELOPEFOLLOWER_RELEASE), rate_);
    double e = envelope_;
    if (b.inputIdle && !d.side) {
      e *= std::pow(release, double(b.frames));
    } else {
      for (unsigned j = 0; j < b.frames; ++j) {
        const double x = d.LoudestAt(j);
        e = x + (x > e ? attack : release) * (e - x);
      }
    }
    envelope_ = e < 1e-9 ? 0.0 : e;
    published_.store(float(envelope_), std::memory_order_relaxed);
    if (b.inputIdle) return false;
    const int width = std::min(b.inWidth, b.capacity);
    b.outWidth = width;
    CopyRest(b, 0, width);
    return true;
  }

private:
  const double rate_;
  SidechainSwitch sidechain_;
  double envelope_ = 0.0;
  std::atomic<float> published_{0.0f};
};

}  // namespace

std::unique_ptr<Processor> NewDynamicsEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  switch (type) {
    case FMOD_DSP_TYPE_COMPRESSOR: return std::make_unique<CompressorProcessor>(context);
    case FMOD_DSP_TYPE_LIMITER: return std::make_unique<LimiterProcessor>(context);
    case FMOD_DSP_TYPE_NORMALIZE: return std::make_unique<NormalizeProcessor>(context);
    case FMOD_DSP_TYPE_ENVELOPEFOLLOWER: return std::make_unique<EnvelopeFollowerProcessor>(context);
    default: return nullptr;
  }
}

}  // namespace sonvel::engine::core
