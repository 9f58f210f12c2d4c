// Metering and plug-in hosting: the loudness meter (ITU-R BS.1770 loudness,
// EBU R128 gating and loudness range, true peak) and, through
// EffectLadspa.cpp, the LADSPA host.
#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Builtins.h"
#include "EffectMeters.h"
#include "EffectSupport.h"
#include "Effects.h"
#include "Snapshot.h"

namespace sonvel::engine::core {

namespace {

using Info = FMOD_DSP_LOUDNESS_METER_INFO_TYPE;
using Weighting = FMOD_DSP_LOUDNESS_METER_WEIGHTING_TYPE;
constexpr int kWeights = int(std::size(Weighting{}.channelweight));

// ---- Parameters.

const char* const kStates[] = {"Reset integrated", "Reset max peak", "Reset all", "Paused", "Analyzing"};
const FMOD_DSP_PARAMETER_DESC kState =
    IntParameter("State", "", "Analysis state; the negative values are commands that reset and then analyse.",
                 FMOD_DSP_LOUDNESS_METER_STATE_RESET_INTEGRATED, FMOD_DSP_LOUDNESS_METER_STATE_ANALYZING,
                 FMOD_DSP_LOUDNESS_METER_STATE_ANALYZING, kStates);
const FMOD_DSP_PARAMETER_DESC kWeightingDesc = DataParameter(
    "Weighting", "", "Weight of each input channel in the loudness sum.", FMOD_DSP_PARAMETER_DATA_TYPE_USER);
const FMOD_DSP_PARAMETER_DESC kInfoDesc =
    DataParameter("Info", "", "Loudness, loudness range, histogram and true peak measured.", FMOD_DSP_PARAMETER_DATA_TYPE_USER);
const FMOD_DSP_PARAMETER_DESC* const kMeter[] = {&kState, &kWeightingDesc, &kInfoDesc};

// What silence reads as (the engine's floor for decibels).
constexpr float kFloor = -80.0f;

// The BS.1770 weights for a channel of an input `width` wide, laid out as
// the engine's speaker modes order their speakers: 1 for the front
// channels, 0 for the LFE, 1.41 for the surround and back channels.
float DefaultWeight(int width, int channel) noexcept {
  switch (width) {
    case 4: return channel >= 2 ? 1.41f : 1.0f;                     // FL FR SL SR
    case 5: return channel >= 3 ? 1.41f : 1.0f;                     // FL FR C SL SR
    case 6: return channel == 3 ? 0.0f : channel >= 4 ? 1.41f : 1.0f;  // 5.1
    case 8:
    case 12: return channel == 3 ? 0.0f : channel >= 4 && channel < 8 ? 1.41f : 1.0f;  // 7.1, 7.1.4
    default: return 1.0f;
  }
}

int WidthOf(FMOD_SPEAKERMODE mode, int fallback) noexcept {
  const int width = SpeakerModeChannels(mode);
  return width > 0 ? width : fallback;
}

struct FreeState {
  void operator()(ebur128_state* s) const noexcept {
    if (s != nullptr) ebur128_destroy(&s);
  }
};

// ---- True peak: 4x oversampling by a polyphase windowed-sinc interpolator
// (48 taps, 12 per phase, as ITU-R BS.1770 annex 2 describes). Phase 0 is
// the input sample itself; phases 1-3 interpolate a quarter, half and three
// quarters of a sample later. The window is a Kaiser window (beta 7) over the
// 12 input samples the taps span.
class TruePeak {
public:
  static constexpr int kPhases = 4;
  static constexpr int kTaps = 12;

  explicit TruePeak(int channels) : channels_(channels), history_(std::size_t(channels) * 2 * kTaps, 0.0f) {
    constexpr double beta = 7.0;
    const auto bessel = [](double x) {  // I0
      double sum = 1.0, term = 1.0;
      for (int k = 1; k < 30; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
      }
      return sum;
    };
    for (int p = 0; p < kPhases; ++p) {
      double sum = 0.0;
      for (int j = 0; j < kTaps; ++j) {
        // Tap j multiplies the input j samples back; the phase reads the
        // signal at (kTaps/2 - j) - p/4 samples from the centre.
        const double t = double(kTaps / 2 - j) - double(p) / kPhases;
        const double sinc = t == 0.0 ? 1.0 : std::sin(kPi * t) / (kPi * t);
        const double r = t / (kTaps / 2);
        const double w = r * r < 1.0 ? bessel(beta * std::sqrt(1.0 - r * r)) / bessel(beta) : 0.0;
        taps_[p][j] = float(sinc * w);
        sum += sinc * w;
      }
      for (int j = 0; j < kTaps; ++j) taps_[p][j] = float(taps_[p][j] / sum);  // unity gain at DC
    }
  }

  void Reset() noexcept { std::fill(history_.begin(), history_.end(), 0.0f); }

  // The largest magnitude of the oversampled signal over `frames` frames of
  // `width` interleaved channels (the first `channels_` of them).
  float Scan(const float* in, int width, unsigned frames) noexcept {
    const int n = std::min(width, channels_);
    float peak = 0.0f;
    for (int c = 0; c < n; ++c) {
      float* h = &history_[std::size_t(c) * 2 * kTaps];
      int at = positions_[c];
      for (unsigned f = 0; f < frames; ++f) {
        // The newest sample at h[at] (and its copy at h[at + kTaps]), older
        // ones after it: h[at + j] is the sample j back.
        at = at == 0 ? kTaps - 1 : at - 1;
        h[at] = h[at + kTaps] = in[std::size_t(f) * width + c];
        const float* x = h + at;
        for (int p = 0; p < kPhases; ++p) {
          float y = 0.0f;
          for (int j = 0; j < kTaps; ++j) y += taps_[p][j] * x[j];
          peak = std::max(peak, std::fabs(y));
        }
      }
      positions_[c] = at;
    }
    return peak;
  }

private:
  int channels_;
  std::vector<float> history_;
  int positions_[kWeights] = {};
  float taps_[kPhases][kTaps] = {};
};

// ---- Loudness range: the short-term loudness every 100 ms, in 0.1 LU bins
// from -70 to +30 LUFS, gated 20 LU under their mean power (EBU Tech 3342).
class RangeHistogram {
public:
  static constexpr int kBins = 1000;
  void Clear() noexcept {
    std::fill(std::begin(counts_), std::end(counts_), 0u);
    power_ = 0.0;
    count_ = 0;
  }
  void Add(double lufs) noexcept {
    if (!(lufs >= -70.0)) return;  // the absolute gate (and silence's -inf)
    counts_[std::clamp(int((lufs + 70.0) * 10.0), 0, kBins - 1)]++;
    power_ += std::pow(10.0, lufs / 10.0);
    ++count_;
  }
  // The `fraction` percentile of the gated values, or kFloor with none.
  float Percentile(double fraction) const noexcept {
    if (count_ == 0) return kFloor;
    const double gate = 10.0 * std::log10(power_ / double(count_)) - 20.0;
    const int first = std::clamp(int(std::ceil((gate + 70.0) * 10.0)), 0, kBins - 1);
    std::uint64_t total = 0;
    for (int b = first; b < kBins; ++b) total += counts_[b];
    if (total == 0) return kFloor;
    const double wanted = fraction * double(total);
    std::uint64_t seen = 0;
    for (int b = first; b < kBins; ++b) {
      seen += counts_[b];
      if (double(seen) >= wanted && counts_[b] > 0) return float(-70.0 + (b + 0.5) / 10.0);
    }
    return float(-70.0 + (kBins - 0.5) / 10.0);
  }

private:
  std::uint32_t counts_[kBins] = {};
  double power_ = 0.0;
  std::uint64_t count_ = 0;
};

// Reset commands, as bits the API sets and the mixer takes.
constexpr int kResetPeaks = 1;

class LoudnessMeter final : public BuiltinProcessor {
public:
  explicit LoudnessMeter(const EffectContext& context)
      : BuiltinProcessor("Loudness Meter", kMeter, int(std::size(kMeter))), rate_(context.sampleRate),
        width_(std::clamp(context.maxChannels, 1, kWeights)), hop_(unsigned(context.sampleRate / 10)),
        defaultWidth_(WidthOf(context.speakerMode, context.channels)),
        feed_(std::size_t(context.blockFrames) * std::size_t(std::clamp(context.maxChannels, 1, kWeights))),
        peak_(std::clamp(context.maxChannels, 1, kWeights)) {
    window_.Install(NewWindow());
    gated_.Install(NewGated());
    for (auto& w : weights_) w.store(-1.0f);  // -1: the default for the input's width
    for (auto& g : applied_) g = -2.0f;
    Info silent{};
    Clear(silent);
    published_.Publish(silent);
    published_.Publish(silent);
    info_ = silent;
  }

  bool Process(ProcessBlock& block) noexcept override;
  void Reset() noexcept override { peak_.Reset(); }

  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override;
  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override;

protected:
  void Changed(int index) noexcept override;

private:
  // The state measuring momentary and short-term loudness, and the state
  // gating integrated loudness (its histogram mode never allocates as it
  // adds frames or is read). Each has every channel the meter keeps; the
  // ones not in use are skipped.
  ebur128_state* NewWindow() const noexcept { return ebur128_init(unsigned(width_), unsigned(rate_), EBUR128_MODE_S); }
  ebur128_state* NewGated() const noexcept {
    return ebur128_init(unsigned(width_), unsigned(rate_), EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
  }
  static void Clear(Info& info) noexcept {
    info = Info{};
    info.momentaryloudness = info.shorttermloudness = info.integratedloudness = kFloor;
    info.loudness10thpercentile = info.loudness95thpercentile = kFloor;
    info.maxtruepeak = info.maxmomentaryloudness = kFloor;
  }
  float Weight(int width, int channel) const noexcept {
    const float w = weights_[channel].load(std::memory_order_relaxed);
    return w < 0.0f ? DefaultWeight(width, channel) : w;
  }
  // Marks the channels in use for an input `width` wide with these weights.
  void Apply(ebur128_state* window, ebur128_state* gated, int width) noexcept;
  void Measure(ebur128_state* window, ebur128_state* gated) noexcept;

  const int rate_;
  const int width_;  // the channels measured
  const unsigned hop_;  // 100 ms
  const int defaultWidth_;

  // API side.
  Handoff<ebur128_state, FreeState> window_;
  Handoff<ebur128_state, FreeState> gated_;
  std::atomic<float> weights_[kWeights];
  std::atomic<int> commands_{0};
  Snapshot<Info> published_;
  Info info_{};
  Weighting weighting_{};

  // Mixer side.
  std::vector<float> feed_;  // the weighted input, width_ channels
  TruePeak peak_;
  RangeHistogram range_;
  float applied_[kWeights];  // the gain each channel was fed with (-2: not yet)
  int appliedWidth_ = -1;
  unsigned inHop_ = 0;          // frames into the current 100 ms
  unsigned sinceGatedReset_ = 0;  // hops since the gated state began
  float maxPeak_ = 0.0f;
  double maxMomentary_ = -HUGE_VAL;
  Info measured_{};
};

void LoudnessMeter::Changed(int index) noexcept {
  if (index != FMOD_DSP_LOUDNESS_METER_STATE) return;
  const int command = IntAt(index);
  if (command >= 0) return;
  // A command: hand the mixer fresh states for what it resets, then analyse.
  if (command == FMOD_DSP_LOUDNESS_METER_STATE_RESET_INTEGRATED || command == FMOD_DSP_LOUDNESS_METER_STATE_RESET_ALL) {
    if (ebur128_state* s = NewGated()) gated_.Offer(s);
  }
  if (command == FMOD_DSP_LOUDNESS_METER_STATE_RESET_ALL) {
    if (ebur128_state* s = NewWindow()) window_.Offer(s);
  }
  if (command == FMOD_DSP_LOUDNESS_METER_STATE_RESET_MAXPEAK || command == FMOD_DSP_LOUDNESS_METER_STATE_RESET_ALL)
    commands_.fetch_or(kResetPeaks, std::memory_order_acq_rel);
  StoreInt(index, FMOD_DSP_LOUDNESS_METER_STATE_ANALYZING);
}

void LoudnessMeter::Apply(ebur128_state* window, ebur128_state* gated, int width) noexcept {
  for (int c = 0; c < width_; ++c) {
    const float gain = c < width ? std::sqrt(Weight(width, c)) : 0.0f;
    if (gain == applied_[c] && width == appliedWidth_) continue;
    // The weights scale the power each channel adds; every channel in use
    // counts with libebur128's weight 1 and is fed scaled by the root of
    // its own weight.
    const int kind = gain > 0.0f ? EBUR128_LEFT : EBUR128_UNUSED;
    if (window != nullptr) ebur128_set_channel(window, unsigned(c), kind);
    if (gated != nullptr) ebur128_set_channel(gated, unsigned(c), kind);
    applied_[c] = gain;
  }
  appliedWidth_ = width;
}

void LoudnessMeter::Measure(ebur128_state* window, ebur128_state* gated) noexcept {
  double momentary = -HUGE_VAL, shortTerm = -HUGE_VAL, integrated = -HUGE_VAL;
  if (window != nullptr) {
    ebur128_loudness_momentary(window, &momentary);
    ebur128_loudness_shortterm(window, &shortTerm);
  }
  if (gated != nullptr) ebur128_loudness_global(gated, &integrated);
  // Short-term values count toward the range and the histogram once a whole
  // 3 s window of the integration period lies behind them.
  if (++sinceGatedReset_ >= 30) {
    range_.Add(shortTerm);
    if (shortTerm >= -70.0)
      measured_.loudnesshistogram[std::clamp(int(std::floor(shortTerm + 65.0)), 0,
                                        FMOD_DSP_LOUDNESS_METER_HISTOGRAM_SAMPLES - 1)] += 1.0f;
  }
  if (sinceGatedReset_ >= 4) maxMomentary_ = std::max(maxMomentary_, momentary);
  const auto level = [](double lufs) { return lufs >= kFloor ? float(lufs) : kFloor; };
  measured_.momentaryloudness = level(momentary);
  measured_.shorttermloudness = level(shortTerm);
  measured_.integratedloudness = level(integrated);
  measured_.loudness10thpercentile = range_.Percentile(0.10);
  measured_.loudness95thpercentile = range_.Percentile(0.95);
  measured_.maxmomentaryloudness = level(maxMomentary_);
}

bool LoudnessMeter::Process(ProcessBlock& block) noexcept {
  // The audio passes through unchanged.
  block.outWidth = std::min(block.inWidth, block.capacity);
  for (unsigned f = 0; f < block.frames; ++f)
    std::copy_n(block.in + std::size_t(f) * block.inWidth, block.outWidth, block.out + std::size_t(f) * block.outWidth);

  if (window_.Begin()) appliedWidth_ = -1;
  if (gated_.Begin()) {
    // The integration starts over: integrated loudness, range, histogram.
    appliedWidth_ = -1;
    range_.Clear();
    sinceGatedReset_ = 0;
    std::fill(std::begin(measured_.loudnesshistogram), std::end(measured_.loudnesshistogram), 0.0f);
  }
  if (commands_.exchange(0, std::memory_order_acq_rel) & kResetPeaks) {
    maxPeak_ = 0.0f;
    maxMomentary_ = -HUGE_VAL;
    peak_.Reset();
  }
  if (IntAt(FMOD_DSP_LOUDNESS_METER_STATE) != FMOD_DSP_LOUDNESS_METER_STATE_ANALYZING) return !block.inputIdle;

  ebur128_state* window = window_.Current();
  ebur128_state* gated = gated_.Current();
  const int width = std::min(block.inWidth, width_);
  Apply(window, gated, width);

  for (unsigned done = 0; done < block.frames;) {
    const unsigned n = std::min(block.frames - done, hop_ - inHop_);
    const float* in = block.in + std::size_t(done) * block.inWidth;
    float* feed = feed_.data();
    for (unsigned f = 0; f < n; ++f)
      for (int c = 0; c < width_; ++c)
        feed[std::size_t(f) * width_ + c] = c < width ? in[std::size_t(f) * block.inWidth + c] * applied_[c] : 0.0f;
    if (window != nullptr) ebur128_add_frames_float(window, feed, n);
    if (gated != nullptr) ebur128_add_frames_float(gated, feed, n);
    maxPeak_ = std::max(maxPeak_, peak_.Scan(in, block.inWidth, n));
    done += n;
    inHop_ += n;
    if (inHop_ == hop_) {
      inHop_ = 0;
      Measure(window, gated);
    }
  }
  measured_.maxtruepeak = maxPeak_ > 0.0f ? std::max(20.0f * std::log10(maxPeak_), kFloor) : kFloor;
  published_.Publish(measured_);
  return !block.inputIdle;
}

FMOD_RESULT LoudnessMeter::SetData(int index, void* data, unsigned length) noexcept {
  if (index == FMOD_DSP_LOUDNESS_METER_INFO) return FMOD_ERR_INVALID_PARAM;  // read only
  if (index != FMOD_DSP_LOUDNESS_METER_WEIGHTING) return FMOD_ERR_INVALID_PARAM;
  if (data == nullptr || length != sizeof(Weighting)) return FMOD_ERR_INVALID_PARAM;
  Weighting w;
  std::memcpy(&w, data, sizeof w);
  for (const float g : w.channelweight)
    if (!std::isfinite(g) || g < 0.0f) return FMOD_ERR_INVALID_PARAM;
  for (int c = 0; c < kWeights; ++c) weights_[c].store(w.channelweight[c], std::memory_order_relaxed);
  return FMOD_OK;
}

FMOD_RESULT LoudnessMeter::GetData(int index, void** data, unsigned* length, char* text) noexcept {
  window_.Collect();
  gated_.Collect();
  if (index == FMOD_DSP_LOUDNESS_METER_WEIGHTING) {
    for (int c = 0; c < kWeights; ++c) weighting_.channelweight[c] = Weight(defaultWidth_, c);
    if (data != nullptr) *data = &weighting_;
    if (length != nullptr) *length = sizeof weighting_;
    if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%d channels", kWeights);
    return FMOD_OK;
  }
  if (index != FMOD_DSP_LOUDNESS_METER_INFO) return FMOD_ERR_INVALID_PARAM;
  info_ = published_.Read();
  if (data != nullptr) *data = &info_;
  if (length != nullptr) *length = sizeof info_;
  if (text != nullptr)
    std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.1f LUFS", double(info_.integratedloudness));
  return FMOD_OK;
}

}  // namespace

std::unique_ptr<Processor> NewMeterEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  switch (type) {
    case FMOD_DSP_TYPE_LOUDNESS_METER: return std::make_unique<LoudnessMeter>(context);
    case FMOD_DSP_TYPE_LADSPAPLUGIN: return NewLadspaHost(context);
    default: return nullptr;
  }
}

}  // namespace sonvel::engine::core
