// Delays and modulation: echo, tracker echo, per-channel delay, flange,
// chorus, tremolo and distortion.
//
// Every delay line is an interleaved ring of frames, one column per channel
// the unit keeps state for. Echo and tracker echo allocate theirs at the
// longest delay their parameters allow; the per-channel delay sizes its
// ring by its maximum-delay parameter and hands a new ring to the mixer
// through an atomic slot when that changes. Process never allocates.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "Handoff.h"
#include "Effects.h"

namespace sonvel::engine::core {

namespace {

constexpr float kQuiet = 1e-6f;     // -120 dB: a tail below this has died away
constexpr double kFadeMs = 50.0;    // cross-fade of a delay change
constexpr double kFlangeSweepMs = 40.0;  // the flange's delay at full depth
constexpr double kChorusBaseMs = 15.0;   // the chorus voices' shortest delay
constexpr int kChorusVoices = 3;

unsigned MsToFrames(double ms, int rate) noexcept { return unsigned(std::lround(std::max(ms, 0.0) * rate / 1000.0)); }

// ---- Building blocks.

// A ring of interleaved frames; the write frame moves on by Advance.
class DelayRing {
public:
  void Allocate(unsigned length, int width) {
    length_ = std::max(length, 1u);
    width_ = width;
    data_.assign(std::size_t(length_) * std::size_t(width_), 0.0f);
    pos_ = 0;
  }
  void Clear() noexcept {
    std::fill(data_.begin(), data_.end(), 0.0f);
    pos_ = 0;
  }
  unsigned Length() const noexcept { return length_; }
  int Width() const noexcept { return width_; }
  // The frame being written now.
  float* Frame() noexcept { return data_.data() + std::size_t(pos_) * std::size_t(width_); }
  // The sample written `delay` frames ago (0: this frame); delay < Length().
  float At(unsigned delay, int channel) const noexcept {
    const unsigned p = pos_ >= delay ? pos_ - delay : pos_ + length_ - delay;
    return data_[std::size_t(p) * std::size_t(width_) + std::size_t(channel)];
  }
  // The signal `delay` frames ago between samples, by four-point Hermite
  // interpolation; 1 <= delay <= Length() - 3.
  float Fractional(float delay, int channel) const noexcept {
    const unsigned i = unsigned(delay);
    const float t = delay - float(i);
    const float ym1 = At(i - 1, channel), y0 = At(i, channel), y1 = At(i + 1, channel), y2 = At(i + 2, channel);
    const float c1 = 0.5f * (y1 - ym1);
    const float c2 = ym1 - 2.5f * y0 + 2.0f * y1 - 0.5f * y2;
    const float c3 = 0.5f * (y2 - ym1) + 1.5f * (y0 - y1);
    return ((c3 * t + c2) * t + c1) * t + y0;
  }
  void Advance() noexcept {
    if (++pos_ == length_) pos_ = 0;
  }
  // Takes over the latest `frames` frames of `from` (as many channels as
  // both have), so that the signal goes on across a change of ring.
  void TakeHistory(const DelayRing& from, unsigned frames) noexcept {
    frames = std::min({frames, length_, from.length_ - 1});
    const int width = std::min(width_, from.width_);
    pos_ = 0;
    // Oldest first, so that At(k) here is from.At(k) for k = 1 .. frames.
    for (unsigned k = frames; k > 0; --k) {
      float* frame = Frame();
      for (int c = 0; c < width; ++c) frame[c] = from.At(k, c);
      Advance();
    }
  }

private:
  std::vector<float> data_;
  unsigned length_ = 1;
  int width_ = 1;
  unsigned pos_ = 0;
};

// An integer delay that moves to a new length by cross-fading between the
// two read positions, so that neither a click nor a pitch sweep is heard.
class Tap {
public:
  void Jump(unsigned delay) noexcept {
    from_ = to_ = delay;
    left_ = 0;
  }
  // Starts a move to `delay` unless one is under way (the next block then
  // takes it up).
  void Target(unsigned delay, unsigned span) noexcept {
    if (left_ != 0 || delay == to_) return;
    if (span == 0) return Jump(delay);
    from_ = to_;
    to_ = delay;
    left_ = span_ = span;
  }
  float Read(const DelayRing& ring, int channel) const noexcept {
    const float b = ring.At(to_, channel);
    if (left_ == 0) return b;
    // A smooth step: the fade starts and ends with no slope, where one read
    // position carries the whole signal.
    const float u = 1.0f - float(left_) / float(span_);
    const float t = u * u * (3.0f - 2.0f * u);
    const float a = ring.At(from_, channel);
    return a + t * (b - a);
  }
  void Advance() noexcept {
    if (left_ != 0) --left_;
  }
  unsigned Longest() const noexcept { return std::max(from_, to_); }
  unsigned Delay() const noexcept { return to_; }
  // Keeps both read positions below `limit`.
  void Limit(unsigned limit) noexcept {
    if (Longest() > limit) Jump(std::min(to_, limit));
  }

private:
  unsigned from_ = 0, to_ = 0, span_ = 1, left_ = 0;
};

// How long what an effect holds has been quiet: its tail has died away once
// that exceeds the longest delay it reads.
class Tail {
public:
  void Note(float peak, unsigned frames) noexcept {
    quiet_ = peak > kQuiet ? 0u : std::min(quiet_ + frames, kLong);
  }
  bool Over(unsigned span) const noexcept { return quiet_ > span; }
  void Clear() noexcept { quiet_ = kLong; }

private:
  static constexpr unsigned kLong = 1u << 30;
  unsigned quiet_ = kLong;
};

// The channels a block writes, and those it processes (the rest pass).
struct Widths {
  int out, kept;
};
Widths Prepare(ProcessBlock& b, int keep) noexcept {
  const int out = std::max(1, std::min(b.inWidth, b.capacity));
  b.outWidth = out;
  return {out, std::min(out, keep)};
}
void PassRest(const ProcessBlock& b, const Widths& w) noexcept {
  if (w.kept == w.out) return;
  for (unsigned j = 0; j < b.frames; ++j)
    for (int c = w.kept; c < w.out; ++c)
      b.out[std::size_t(j) * std::size_t(w.out) + std::size_t(c)] = b.in[std::size_t(j) * std::size_t(b.inWidth) + std::size_t(c)];
}

// ---- Parameter tables.

const FMOD_DSP_PARAMETER_DESC kEchoDelay =
    FloatParameter("Delay", "ms", "Echo delay in milliseconds.", 1.0f, 5000.0f, 500.0f);
const FMOD_DSP_PARAMETER_DESC kEchoFeedback =
    FloatParameter("Feedback", "%", "Echo decay per delay: 100 is no decay, 0 a single echo.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kEchoDry =
    FloatParameter("Dry Level", "dB", "Level of the original signal in decibels.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kEchoWet =
    FloatParameter("Wet Level", "dB", "Level of the echoes in decibels.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC* const kEcho[] = {&kEchoDelay, &kEchoFeedback, &kEchoDry, &kEchoWet};

const FMOD_DSP_PARAMETER_DESC kItMix =
    FloatParameter("WetDryMix", "%", "Share of the echoes in the output: 0 all dry, 100 all wet.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kItFeedback =
    FloatParameter("Feedback", "%", "Share of the echo fed back into the delay.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kItLeft =
    FloatParameter("Left Delay", "ms", "Delay of the left channel in milliseconds.", 1.0f, 2000.0f, 500.0f);
const FMOD_DSP_PARAMETER_DESC kItRight =
    FloatParameter("Right Delay", "ms", "Delay of the right channel in milliseconds.", 1.0f, 2000.0f, 500.0f);
const FMOD_DSP_PARAMETER_DESC kItPan =
    FloatParameter("Pan Delay", "", "1 swaps the echoes between left and right each repeat; 0 does not.", 0.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC* const kItEcho[] = {&kItMix, &kItFeedback, &kItLeft, &kItRight, &kItPan};

constexpr int kDelayChannels = 16;
struct DelayTable {
  FMOD_DSP_PARAMETER_DESC descs[kDelayChannels + 1];
  const FMOD_DSP_PARAMETER_DESC* table[kDelayChannels + 1];
  char names[kDelayChannels][16];
  DelayTable() {
    for (int c = 0; c < kDelayChannels; ++c) {
      std::snprintf(names[c], sizeof names[c], "Delay Ch%d", c);
      descs[c] = FloatParameter(names[c], "ms", "Delay of one channel in milliseconds (held to the maximum delay).",
                                0.0f, 10000.0f, 0.0f);
      table[c] = &descs[c];
    }
    descs[kDelayChannels] =
        FloatParameter("Max Delay", "ms", "Longest delay in milliseconds: the size of the delay lines.", 0.0f, 10000.0f, 10.0f);
    table[kDelayChannels] = &descs[kDelayChannels];
  }
};
const DelayTable& DelayParameters() {
  static const DelayTable table;
  return table;
}

const FMOD_DSP_PARAMETER_DESC kFlangeMix =
    FloatParameter("Mix", "%", "Share of the flanged signal in the output.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kFlangeDepth =
    FloatParameter("Depth", "", "Sweep of the delay, as a share of 40 ms.", 0.01f, 1.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC kFlangeRate = FloatParameter("Rate", "Hz", "Speed of the sweep in hertz.", 0.0f, 20.0f, 0.1f);
const FMOD_DSP_PARAMETER_DESC* const kFlange[] = {&kFlangeMix, &kFlangeDepth, &kFlangeRate};

const FMOD_DSP_PARAMETER_DESC kChorusMix =
    FloatParameter("Mix", "%", "Share of the chorus voices in the output.", 0.0f, 100.0f, 50.0f);
const FMOD_DSP_PARAMETER_DESC kChorusRate =
    FloatParameter("Rate", "Hz", "Speed of the voices' modulation in hertz.", 0.0f, 20.0f, 0.8f);
const FMOD_DSP_PARAMETER_DESC kChorusDepth =
    FloatParameter("Depth", "%", "Swing of the voices' delay, in percent of 100 ms (3: 3 ms).", 0.0f, 100.0f, 3.0f);
const FMOD_DSP_PARAMETER_DESC* const kChorus[] = {&kChorusMix, &kChorusRate, &kChorusDepth};

const FMOD_DSP_PARAMETER_DESC kTremoloFrequency =
    FloatParameter("Frequency", "Hz", "Frequency of the gain modulation in hertz.", 0.1f, 20.0f, 5.0f);
const FMOD_DSP_PARAMETER_DESC kTremoloDepth =
    FloatParameter("Depth", "", "Depth of the modulation: 0 none, 1 down to silence.", 0.0f, 1.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC kTremoloShape =
    FloatParameter("Shape", "", "Waveform: 0 triangle, 1 sine, between a blend.", 0.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kTremoloSkew =
    FloatParameter("Skew", "", "Moves the trough of each cycle earlier (-1) or later (1).", -1.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kTremoloDuty =
    FloatParameter("Duty", "", "Share of each cycle spent in the louder half.", 0.0f, 1.0f, 0.5f);
const FMOD_DSP_PARAMETER_DESC kTremoloSquare =
    FloatParameter("Square", "", "Flattens the waveform toward a square: 0 none, 1 full.", 0.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kTremoloPhase =
    FloatParameter("Phase", "", "Phase of the modulation in cycles.", 0.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kTremoloSpread = FloatParameter(
    "Spread", "", "Phase offset across the channels: channel c of n is offset by spread * c / n cycles.", -1.0f, 1.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC* const kTremolo[] = {&kTremoloFrequency, &kTremoloDepth, &kTremoloShape,
                                                   &kTremoloSkew,      &kTremoloDuty,  &kTremoloSquare,
                                                   &kTremoloPhase,     &kTremoloSpread};

const FMOD_DSP_PARAMETER_DESC kDistortionLevel =
    FloatParameter("Level", "", "Amount of distortion: 0 clean, 1 the hardest drive.", 0.0f, 1.0f, 0.5f);
const FMOD_DSP_PARAMETER_DESC* const kDistortion[] = {&kDistortionLevel};

// ---- Echo.

// What both echoes have: one ring as long as their longest delay, the
// cross-fade length of a delay change, and the tail that keeps them sounding.
class RingEffect : public BuiltinProcessor {
public:
  RingEffect(const char* name, const FMOD_DSP_PARAMETER_DESC* const* table, int count, const EffectContext& context,
             float longestMs)
      : BuiltinProcessor(name, table, count), rate_(context.sampleRate), fade_(MsToFrames(kFadeMs, context.sampleRate)) {
    ring_.Allocate(MsToFrames(longestMs, rate_) + 1, std::min(context.maxChannels, kMaxWidth));
  }

  void Reset() noexcept override {
    ring_.Clear();
    tail_.Clear();
    started_ = false;
  }

protected:
  const int rate_;
  const unsigned fade_;
  DelayRing ring_;
  Tail tail_;
  bool started_ = false;  // the first block takes its settings without a ramp
};

class EchoProcessor final : public RingEffect {
public:
  explicit EchoProcessor(const EffectContext& context)
      : RingEffect("Echo", kEcho, int(std::size(kEcho)), context, kEchoDelay.floatdesc.max) {}

  bool Process(ProcessBlock& b) noexcept override {
    const Widths w = Prepare(b, ring_.Width());
    if (b.inputIdle && tail_.Over(tap_.Longest() + b.frames)) return false;
    const unsigned delay = std::clamp(MsToFrames(FloatAt(FMOD_DSP_ECHO_DELAY), rate_), 1u, ring_.Length() - 1);
    const float feedback = FloatAt(FMOD_DSP_ECHO_FEEDBACK) / 100.0f;
    const float dry = DecibelsToGain(FloatAt(FMOD_DSP_ECHO_DRYLEVEL));
    const float wet = DecibelsToGain(FloatAt(FMOD_DSP_ECHO_WETLEVEL));
    const unsigned ramp = started_ ? b.frames : 0;
    if (!started_) tap_.Jump(delay);
    tap_.Target(delay, fade_);
    feedback_.Set(feedback, ramp);
    dry_.Set(dry, ramp);
    wet_.Set(wet, ramp);
    started_ = true;
    float peak = 0.0f;
    for (unsigned j = 0; j < b.frames; ++j) {
      const float f = feedback_.Next(), d = dry_.Next(), g = wet_.Next();
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(w.out);
      float* line = ring_.Frame();
      for (int c = 0; c < w.kept; ++c) {
        const float echo = tap_.Read(ring_, c);
        const float v = x[c] + f * echo;
        line[c] = v;
        peak = std::max(peak, std::fabs(v));
        y[c] = d * x[c] + g * echo;
      }
      tap_.Advance();
      ring_.Advance();
    }
    PassRest(b, w);
    tail_.Note(peak, b.frames);
    return true;
  }

private:
  Tap tap_;
  Ramp feedback_, dry_, wet_;
};

// ---- Tracker echo: a left and a right delay, and echoes that can swap
// sides each repeat. Channels pair up as left and right (even, odd).

class ItEchoProcessor final : public RingEffect {
public:
  explicit ItEchoProcessor(const EffectContext& context)
      : RingEffect("IT Echo", kItEcho, int(std::size(kItEcho)), context, kItLeft.floatdesc.max) {}

  bool Process(ProcessBlock& b) noexcept override {
    const Widths w = Prepare(b, ring_.Width());
    if (b.inputIdle && tail_.Over(std::max(taps_[0].Longest(), taps_[1].Longest()) + b.frames)) return false;
    const unsigned longest = ring_.Length() - 1;
    const unsigned delays[2] = {std::clamp(MsToFrames(FloatAt(FMOD_DSP_ITECHO_LEFTDELAY), rate_), 1u, longest),
                                std::clamp(MsToFrames(FloatAt(FMOD_DSP_ITECHO_RIGHTDELAY), rate_), 1u, longest)};
    const unsigned ramp = started_ ? b.frames : 0;
    for (int k = 0; k < 2; ++k) {
      if (!started_) taps_[k].Jump(delays[k]);
      taps_[k].Target(delays[k], fade_);
    }
    mix_.Set(FloatAt(FMOD_DSP_ITECHO_WETDRYMIX) / 100.0f, ramp);
    feedback_.Set(FloatAt(FMOD_DSP_ITECHO_FEEDBACK) / 100.0f, ramp);
    swap_.Set(FloatAt(FMOD_DSP_ITECHO_PANDELAY) >= 0.5f ? 1.0f : 0.0f, ramp);
    started_ = true;
    float echoes[kMaxWidth];
    float peak = 0.0f;
    for (unsigned j = 0; j < b.frames; ++j) {
      const float m = mix_.Next(), f = feedback_.Next(), s = swap_.Next();
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(w.out);
      for (int c = 0; c < w.kept; ++c) echoes[c] = taps_[c & 1].Read(ring_, c);
      float* line = ring_.Frame();
      for (int c = 0; c < w.kept; ++c) {
        const int partner = c ^ 1;
        // With the pan delay on, a channel's echo is fed into its partner's
        // line, so each repeat sounds on the other side.
        const float back = partner < w.kept ? (1.0f - s) * echoes[c] + s * echoes[partner] : echoes[c];
        const float v = x[c] + f * back;
        line[c] = v;
        peak = std::max(peak, std::fabs(v));
        y[c] = (1.0f - m) * x[c] + m * echoes[c];
      }
      taps_[0].Advance();
      taps_[1].Advance();
      ring_.Advance();
    }
    PassRest(b, w);
    tail_.Note(peak, b.frames);
    return true;
  }

private:
  Tap taps_[2];
  Ramp mix_, feedback_, swap_;
};

// ---- Per-channel delay. The ring is as long as the maximum delay; a new
// one is made on the API thread when that changes and taken up by the mixer
// at the start of a block, the old one going back to the API thread to be
// freed.

class DelayProcessor final : public BuiltinProcessor {
public:
  explicit DelayProcessor(const EffectContext& context)
      : BuiltinProcessor("Delay", DelayParameters().table, kDelayChannels + 1), rate_(context.sampleRate),
        width_(std::min(kMaxWidth, std::max(context.maxChannels, kDelayChannels))),
        fade_(MsToFrames(kFadeMs, context.sampleRate)) {
    auto first = std::make_unique<DelayRing>();
    first->Allocate(Length(FloatAt(FMOD_DSP_DELAY_MAXDELAY)), width_);
    ring_.Install(first.release());
  }

  void Reset() noexcept override {
    ring_.Current()->Clear();
    tail_.Clear();
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    TakeNewRing();
    const Widths w = Prepare(b, width_);
    unsigned longest = 0;
    for (int c = 0; c < w.kept; ++c) longest = std::max(longest, taps_[c].Longest());
    if (b.inputIdle && tail_.Over(longest + b.frames)) return false;
    const unsigned limit = ring_.Current()->Length() - 1;
    for (int c = 0; c < w.kept; ++c) {
      const float ms = c < kDelayChannels ? FloatAt(FMOD_DSP_DELAY_CH0 + c) : 0.0f;
      const unsigned delay = std::min(MsToFrames(ms, rate_), limit);
      if (!started_) taps_[c].Jump(delay);
      taps_[c].Target(delay, fade_);
    }
    started_ = true;
    DelayRing& ring = *ring_.Current();
    float peak = 0.0f;
    for (unsigned j = 0; j < b.frames; ++j) {
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(w.out);
      float* line = ring.Frame();
      for (int c = 0; c < w.kept; ++c) {
        line[c] = x[c];
        peak = std::max(peak, std::fabs(x[c]));
      }
      for (int c = 0; c < w.kept; ++c) {
        y[c] = taps_[c].Read(ring, c);
        taps_[c].Advance();
      }
      ring.Advance();
    }
    PassRest(b, w);
    tail_.Note(peak, b.frames);
    return true;
  }

protected:
  void Changed(int index) noexcept override {
    ring_.Collect();
    if (index != FMOD_DSP_DELAY_MAXDELAY) return;
    DelayRing* fresh = nullptr;
    try {
      fresh = new DelayRing;
      fresh->Allocate(Length(FloatAt(FMOD_DSP_DELAY_MAXDELAY)), width_);
    } catch (...) {
      delete fresh;  // out of memory: the ring stays as it is
      return;
    }
    ring_.Offer(fresh);
  }

private:
  unsigned Length(float ms) const noexcept { return MsToFrames(ms, rate_) + 1; }

  // Mixer thread: adopts a ring the API made, carrying the signal over.
  void TakeNewRing() noexcept {
    if (!ring_.Begin()) return;
    DelayRing& fresh = *ring_.Current();
    unsigned longest = 0;
    for (int c = 0; c < width_; ++c) longest = std::max(longest, taps_[c].Longest());
    fresh.TakeHistory(*ring_.Previous(), longest + 1);
    for (int c = 0; c < width_; ++c) taps_[c].Limit(fresh.Length() - 1);
  }

  const int rate_;
  const int width_;
  const unsigned fade_;
  Handoff<DelayRing> ring_;
  Tap taps_[kMaxWidth];
  Tail tail_;
  bool started_ = false;
};

// ---- Flange: the input mixed with a copy whose delay sweeps between one
// sample and the depth's share of 40 ms, read between samples.

class FlangeProcessor final : public BuiltinProcessor {
public:
  explicit FlangeProcessor(const EffectContext& context)
      : BuiltinProcessor("Flange", kFlange, int(std::size(kFlange))), rate_(context.sampleRate),
        sweep_(float(kFlangeSweepMs * context.sampleRate / 1000.0)) {
    ring_.Allocate(unsigned(std::ceil(sweep_)) + 5, std::min(context.maxChannels, kMaxWidth));
  }

  void Reset() noexcept override {
    ring_.Clear();
    tail_.Clear();
    phase_ = 0.0;
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const Widths w = Prepare(b, ring_.Width());
    if (b.inputIdle && tail_.Over(ring_.Length())) return false;
    const unsigned ramp = started_ ? b.frames : 0;
    mix_.Set(FloatAt(FMOD_DSP_FLANGE_MIX) / 100.0f, ramp);
    depth_.Set(FloatAt(FMOD_DSP_FLANGE_DEPTH), ramp);
    started_ = true;
    const double step = double(FloatAt(FMOD_DSP_FLANGE_RATE)) / rate_;
    float peak = 0.0f;
    for (unsigned j = 0; j < b.frames; ++j) {
      const float m = mix_.Next(), depth = depth_.Next();
      const float delay = 1.0f + depth * sweep_ * float(0.5 - 0.5 * std::cos(2.0 * kPi * phase_));
      phase_ += step;
      phase_ -= std::floor(phase_);
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(w.out);
      float* line = ring_.Frame();
      for (int c = 0; c < w.kept; ++c) {
        line[c] = x[c];
        peak = std::max(peak, std::fabs(x[c]));
      }
      for (int c = 0; c < w.kept; ++c) y[c] = (1.0f - m) * x[c] + m * ring_.Fractional(delay, c);
      ring_.Advance();
    }
    PassRest(b, w);
    tail_.Note(peak, b.frames);
    return true;
  }

private:
  const int rate_;
  const float sweep_;  // frames of delay at full depth
  DelayRing ring_;
  Tail tail_;
  Ramp mix_, depth_;
  double phase_ = 0.0;
  bool started_ = false;
};

// ---- Chorus: three voices whose delays swing by the depth above 15 ms,
// a third of a cycle apart, each channel a quarter of a cycle on from the
// one before, averaged and mixed with the input.

class ChorusProcessor final : public BuiltinProcessor {
public:
  explicit ChorusProcessor(const EffectContext& context)
      : BuiltinProcessor("Chorus", kChorus, int(std::size(kChorus))), rate_(context.sampleRate),
        base_(float(kChorusBaseMs * context.sampleRate / 1000.0)), perMs_(float(context.sampleRate) / 1000.0f) {
    const unsigned longest = MsToFrames(kChorusBaseMs + kChorusDepth.floatdesc.max, rate_);
    ring_.Allocate(longest + 5, std::min(context.maxChannels, kMaxWidth));
  }

  void Reset() noexcept override {
    ring_.Clear();
    tail_.Clear();
    phase_ = 0.0;
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    const Widths w = Prepare(b, ring_.Width());
    if (b.inputIdle && tail_.Over(ring_.Length())) return false;
    const unsigned ramp = started_ ? b.frames : 0;
    mix_.Set(FloatAt(FMOD_DSP_CHORUS_MIX) / 100.0f, ramp);
    depth_.Set(FloatAt(FMOD_DSP_CHORUS_DEPTH) * perMs_, ramp);  // percent of 100 ms = ms
    started_ = true;
    const double step = double(FloatAt(FMOD_DSP_CHORUS_RATE)) / rate_;
    // The voices' LFOs are the one LFO shifted by fixed phases: a rotating
    // phasor (set afresh from the phase each block) gives its sine and
    // cosine without a sine per voice and sample.
    double sn = std::sin(2.0 * kPi * phase_), cs = std::cos(2.0 * kPi * phase_);
    const double rs = std::sin(2.0 * kPi * step), rc = std::cos(2.0 * kPi * step);
    float offSin[kChorusVoices][4], offCos[kChorusVoices][4];  // voice v, channel c mod 4
    for (int v = 0; v < kChorusVoices; ++v)
      for (int c = 0; c < 4; ++c) {
        const double off = 2.0 * kPi * (double(v) / kChorusVoices + 0.25 * c);
        offSin[v][c] = float(std::cos(off));  // sin(a + off) = sin a cos off + cos a sin off
        offCos[v][c] = float(std::sin(off));
      }
    float peak = 0.0f;
    for (unsigned j = 0; j < b.frames; ++j) {
      const float m = mix_.Next(), depth = depth_.Next();
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(w.out);
      float* line = ring_.Frame();
      for (int c = 0; c < w.kept; ++c) {
        line[c] = x[c];
        peak = std::max(peak, std::fabs(x[c]));
      }
      const float s = float(sn), co = float(cs);
      for (int c = 0; c < w.kept; ++c) {
        float voices = 0.0f;
        for (int v = 0; v < kChorusVoices; ++v) {
          const float lfo = s * offSin[v][c & 3] + co * offCos[v][c & 3];
          const float delay = base_ + depth * (0.5f + 0.5f * lfo);
          voices += ring_.Fractional(delay, c);
        }
        y[c] = (1.0f - m) * x[c] + m * voices * (1.0f / kChorusVoices);
      }
      const double nextSin = sn * rc + cs * rs;
      cs = cs * rc - sn * rs;
      sn = nextSin;
      ring_.Advance();
    }
    phase_ += step * double(b.frames);
    phase_ -= std::floor(phase_);
    PassRest(b, w);
    tail_.Note(peak, b.frames);
    return true;
  }

private:
  const int rate_;
  const float base_;   // frames
  const float perMs_;  // frames per millisecond
  DelayRing ring_;
  Tail tail_;
  Ramp mix_, depth_;
  double phase_ = 0.0;
  bool started_ = false;
};

// ---- Tremolo: a gain that follows a low-frequency wave, 1 at its crest and
// 1 - depth at its trough.

class TremoloProcessor final : public BuiltinProcessor {
public:
  explicit TremoloProcessor(const EffectContext& context)
      : BuiltinProcessor("Tremolo", kTremolo, int(std::size(kTremolo))), rate_(context.sampleRate) {}

  void Reset() noexcept override {
    phase_ = 0.0;
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    if (b.inputIdle) return false;
    const Widths w = Prepare(b, kMaxWidth);
    const unsigned ramp = started_ ? b.frames : 0;
    for (int k = 0; k < kRamped; ++k) ramps_[k].Set(FloatAt(FMOD_DSP_TREMOLO_DEPTH + k), ramp);
    started_ = true;
    const double step = double(FloatAt(FMOD_DSP_TREMOLO_FREQUENCY)) / rate_;
    for (unsigned j = 0; j < b.frames; ++j) {
      Wave wave;
      const float depth = ramps_[0].Next();
      wave.shape = ramps_[1].Next();
      wave.skew = ramps_[2].Next();
      wave.duty = ramps_[3].Next();
      wave.square = ramps_[4].Next();
      const double phase = phase_ + ramps_[5].Next();
      const double spread = double(ramps_[6].Next()) / w.out;
      const float* x = b.in + std::size_t(j) * std::size_t(b.inWidth);
      float* y = b.out + std::size_t(j) * std::size_t(w.out);
      for (int c = 0; c < w.out; ++c) {
        const float gain = 1.0f - depth * (1.0f - wave.At(phase + spread * c));
        y[c] = gain * x[c];
      }
      phase_ += step;
      phase_ -= std::floor(phase_);
    }
    return true;
  }

private:
  // The wave in [0, 1] at a phase in cycles: crest at 0, trough half way
  // (before skew and duty move it).
  struct Wave {
    float shape = 0, skew = 0, duty = 0.5f, square = 0;
    float At(double phase) const noexcept {
      double p = phase - std::floor(phase);
      // Duty: the louder half (a quarter cycle either side of the crest)
      // takes `duty` of the cycle.
      const double d = std::clamp(double(duty), 0.01, 0.99);
      double u = p + 0.25;
      u -= std::floor(u);
      u = u < d ? 0.5 * u / d : 0.5 + 0.5 * (u - d) / (1.0 - d);
      p = u - 0.25;
      p -= std::floor(p);
      // Skew: the trough moves from half way to between 0.01 and 0.99.
      const double q = std::clamp(0.5 * (1.0 + double(skew)), 0.01, 0.99);
      p = p < q ? 0.5 * p / q : 0.5 + 0.5 * (p - q) / (1.0 - q);
      const double triangle = std::fabs(1.0 - 2.0 * p);
      double v = triangle;
      if (shape > 0.0f) v += double(shape) * (0.5 + 0.5 * std::cos(2.0 * kPi * p) - triangle);
      // Square: steepens the wave about its middle until it is a square
      // with edges 1% of a cycle long.
      const double s = 1.0 / std::max(1.0 - double(square), 0.02);
      v = std::clamp(0.5 + (v - 0.5) * s, 0.0, 1.0);
      return float(v);
    }
  };
  static constexpr int kRamped = 7;  // depth .. spread, in parameter order

  const int rate_;
  Ramp ramps_[kRamped];
  double phase_ = 0.0;
  bool started_ = false;
};

// ---- Distortion: a hyperbolic-tangent soft clipper whose drive grows with
// the level (up to 26 dB), its peak held to 1. The curve is applied through
// its antiderivative between successive samples, which keeps the aliasing
// of the harmonics it makes low without oversampling; a 5 Hz high-pass
// keeps the clipped path free of DC. Below a level of 0.05 the clean input
// is blended in, so that level 0 passes the input untouched.

class DistortionProcessor final : public BuiltinProcessor {
public:
  explicit DistortionProcessor(const EffectContext& context)
      : BuiltinProcessor("Distortion", kDistortion, int(std::size(kDistortion))) {
    dc_.Set(BiquadCoefficients::OnePoleHighPass(5.0, context.sampleRate));
    blend_.assign(std::max(context.blockFrames, 1u), 0.0f);
  }

  void Reset() noexcept override {
    dc_.Reset();
    std::fill(std::begin(last_), std::end(last_), 0.0);
    started_ = false;
  }

  bool Process(ProcessBlock& b) noexcept override {
    if (b.inputIdle) return false;
    const Widths w = Prepare(b, kMaxWidth);
    level_.Set(FloatAt(FMOD_DSP_DISTORTION_LEVEL), started_ ? b.frames : 0);
    started_ = true;
    const std::size_t in = std::size_t(b.inWidth), out = std::size_t(w.out);
    if (!level_.Moving() && level_.Value() == 0.0f) {
      // Clean; the state follows the input for a smooth return.
      for (unsigned j = 0; j < b.frames; ++j)
        for (int c = 0; c < w.out; ++c) last_[c] = b.out[j * out + std::size_t(c)] = b.in[j * in + std::size_t(c)];
      dc_.Reset();
      return true;
    }
    // In pieces of at most the block the scratch was sized for.
    const unsigned piece = unsigned(blend_.size());
    for (unsigned from = 0; from < b.frames; from += piece) {
      const unsigned frames = std::min(piece, b.frames - from);
      const float* x = b.in + from * in;
      float* y = b.out + from * out;
      for (unsigned j = 0; j < frames; ++j) {
        const float level = level_.Next();
        blend_[j] = std::min(1.0f, level / 0.05f);
        const double g = std::max(20.0 * double(level), 1e-3);
        const double norm = 1.0 / std::tanh(g);
        for (int c = 0; c < w.out; ++c) {
          const double v = x[j * in + std::size_t(c)], dv = v - last_[c];
          const double shaped = std::fabs(dv) < 1e-5 ? std::tanh(g * 0.5 * (v + last_[c]))
                                                     : (LogCosh(g * v) - LogCosh(g * last_[c])) / (g * dv);
          last_[c] = v;
          y[j * out + std::size_t(c)] = float(shaped * norm);
        }
      }
      dc_.Process(y, w.out, frames);
      for (unsigned j = 0; j < frames; ++j)
        for (int c = 0; c < w.out; ++c) {
          const float clean = x[j * in + std::size_t(c)];
          float& v = y[j * out + std::size_t(c)];
          v = clean + blend_[j] * (v - clean);
        }
    }
    return true;
  }

private:
  // log(cosh(u)) without overflow.
  static double LogCosh(double u) noexcept {
    const double a = std::fabs(u);
    return a + std::log1p(std::exp(-2.0 * a)) - 0.69314718055994530942;
  }

  Biquad dc_;
  Ramp level_;
  std::vector<float> blend_;  // the share of the clipped signal, per frame
  double last_[kMaxWidth] = {};
  bool started_ = false;
};

}  // namespace

std::unique_ptr<Processor> NewTimeEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  switch (type) {
    case FMOD_DSP_TYPE_ECHO: return std::make_unique<EchoProcessor>(context);
    case FMOD_DSP_TYPE_ITECHO: return std::make_unique<ItEchoProcessor>(context);
    case FMOD_DSP_TYPE_DELAY: return std::make_unique<DelayProcessor>(context);
    case FMOD_DSP_TYPE_FLANGE: return std::make_unique<FlangeProcessor>(context);
    case FMOD_DSP_TYPE_CHORUS: return std::make_unique<ChorusProcessor>(context);
    case FMOD_DSP_TYPE_TREMOLO: return std::make_unique<TremoloProcessor>(context);
    case FMOD_DSP_TYPE_DISTORTION: return std::make_unique<DistortionProcessor>(context);
    default: return nullptr;
  }
}

}  // namespace sonvel::engine::core
