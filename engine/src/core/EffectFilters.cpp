// Filters and equalisers: the resonant and one-pole low- and high-passes,
// the tracker-style low-pass, the parametric band, the three-band equaliser
// with Linkwitz-Riley crossovers and the five-band equaliser.
//
// Every unit is a set of biquad sections with one state per channel. The
// mixer thread designs the sections again while a parameter glides toward
// a new value (a version count tells it one changed), and moves each
// section's coefficients to each new design, so a sweep never clicks. While
// the input is idle a unit runs its sections on silence until every
// section's output has fallen below -120 dB; then it clears the states and
// answers silence.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "Effects.h"

namespace sonvel::engine::core {

namespace {

constexpr float kQuiet = 1e-6f;  // -120 dB: a tail below this is over

// Q of the second-order sections of 4th- and 8th-order Butterworth filters.
constexpr double kButterworth2 = 0.70710678118654752;
constexpr double kButterworth4[] = {0.54119610014619698, 1.30656296487637652};
constexpr double kButterworth8[] = {0.50979557910415917, 0.60134488693504528, 0.89997622313641570,
                                    2.56291544774150617};

// ---- Designs the support file does not have.

bool IsIdentity(const BiquadCoefficients& c) noexcept {
  return c.b0 == 1.0 && c.b1 == 0.0 && c.b2 == 0.0 && c.a1 == 0.0 && c.a2 == 0.0;
}
bool Same(const BiquadCoefficients& x, const BiquadCoefficients& y) noexcept {
  return x.b0 == y.b0 && x.b1 == y.b1 && x.b2 == y.b2 && x.a1 == y.a1 && x.a2 == y.a2;
}

// tan(pi f / rate): the bilinear transform's pre-warped frequency.
double Warped(double frequency, double rate) noexcept {
  return std::tan(kPi * std::clamp(frequency, 1.0, rate * 0.49) / rate);
}
// First-order bilinear sections (b2 = a2 = 0): low-pass K/(1+K) (1 + z^-1),
// high-pass 1/(1+K) (1 - z^-1), and the all-pass that is their difference.
BiquadCoefficients FirstLowPass(double frequency, double rate) noexcept {
  const double k = Warped(frequency, rate);
  BiquadCoefficients c;
  c.b0 = c.b1 = k / (1 + k);
  c.a1 = (k - 1) / (k + 1);
  return c;
}
BiquadCoefficients FirstHighPass(double frequency, double rate) noexcept {
  const double k = Warped(frequency, rate);
  BiquadCoefficients c;
  c.b0 = 1 / (1 + k);
  c.b1 = -c.b0;
  c.a1 = (k - 1) / (k + 1);
  return c;
}
BiquadCoefficients FirstAllPass(double frequency, double rate) noexcept {
  const double k = Warped(frequency, rate);
  BiquadCoefficients c;
  c.b0 = c.a1 = (k - 1) / (k + 1);
  c.b1 = 1;
  return c;
}
// A first-order section applied twice, as one biquad.
BiquadCoefficients Squared(const BiquadCoefficients& f) noexcept {
  BiquadCoefficients c;
  c.b0 = f.b0 * f.b0;
  c.b1 = 2 * f.b0 * f.b1;
  c.b2 = f.b1 * f.b1;
  c.a1 = 2 * f.a1;
  c.a2 = f.a1 * f.a1;
  return c;
}
BiquadCoefficients Negated(BiquadCoefficients c) noexcept {
  c.b0 = -c.b0;
  c.b1 = -c.b1;
  c.b2 = -c.b2;
  return c;
}

// The Q of a peaking band `octaves` wide (between the frequencies where the
// gain is half the band's decibels): 1/Q = 2 sinh(ln2/2 * BW * w0/sin w0),
// the analogue relation with the bilinear transform's correction.
double OctavesToQ(double octaves, double frequency, double rate) noexcept {
  const double w0 = 2 * kPi * std::clamp(frequency, 1.0, rate * 0.49) / rate;
  return 1.0 / (2.0 * std::sinh(std::log(2.0) / 2.0 * octaves * w0 / std::sin(w0)));
}

// The tracker family's resonance 0..127 lowers the filter's damping by up to
// 24 dB: damping = 10^(-r * 24 / (128 * 20)), Q = 1 / (2 damping). Resonance
// 0 is a critically damped 2-pole (Q 0.5, no peak); 127 is Q 7.76 (a peak of
// about 17.8 dB at the cutoff).
double TrackerQ(double resonance) noexcept { return 0.5 / std::pow(10.0, -resonance * 24.0 / (128.0 * 20.0)); }

// ---- A cascade of sections with a glide to a new design.
//
// The sections move to a new design a step every kGlideFrames frames (all
// the way, or a part of it after a switch of filter type), the coefficients
// moving linearly within a step. Every point on the way is a blend of two
// stable sections, and the region of stable (a1, a2) is convex, so a section
// stays stable while it glides.

constexpr unsigned kGlideFrames = 32;

BiquadCoefficients Toward(const BiquadCoefficients& from, const BiquadCoefficients& to, double part) noexcept {
  BiquadCoefficients c{from.b0 + (to.b0 - from.b0) * part, from.b1 + (to.b1 - from.b1) * part,
                       from.b2 + (to.b2 - from.b2) * part, from.a1 + (to.a1 - from.a1) * part,
                       from.a2 + (to.a2 - from.a2) * part};
  const double left = std::max({std::fabs(to.b0 - c.b0), std::fabs(to.b1 - c.b1), std::fabs(to.b2 - c.b2),
                                std::fabs(to.a1 - c.a1), std::fabs(to.a2 - c.a2)});
  return left < 1e-9 ? to : c;
}

template <int N>
struct Cascade {
  std::array<Biquad, N> sections;
  std::array<BiquadCoefficients, N> target;  // the design the sections move to
  void Reset() noexcept {
    for (Biquad& s : sections) s.Reset();
  }
  // Takes the target design at once (no signal in the states to click).
  void Jump() noexcept {
    for (int i = 0; i < N; ++i) sections[std::size_t(i)].Set(target[std::size_t(i)]);
  }
  // Filters in place, gliding toward the target: `part` of the way each
  // glide step (1: straight to it across these frames). Answers the largest
  // magnitude any section put out when `measure` is set, else 0.
  float Run(float* data, int width, unsigned frames, bool measure, double part) noexcept {
    float peak = 0.0f;
    for (unsigned done = 0; done < frames;) {
      bool gliding = false;
      for (int i = 0; i < N; ++i)
        gliding = gliding || !Same(sections[std::size_t(i)].Coefficients(), target[std::size_t(i)]);
      const unsigned n = gliding && part < 1.0 ? std::min(kGlideFrames, frames - done) : frames - done;
      float* at = data + std::size_t(done) * std::size_t(width);
      const std::size_t count = std::size_t(n) * std::size_t(width);
      for (int i = 0; i < N; ++i) {
        Biquad& s = sections[std::size_t(i)];
        const BiquadCoefficients& to = target[std::size_t(i)];
        if (Same(s.Coefficients(), to)) {
          if (IsIdentity(to)) continue;
          s.Process(at, width, n);
        } else {
          s.Process(at, width, n, Toward(s.Coefficients(), to, part));
        }
        if (measure)
          for (std::size_t k = 0; k < count; ++k) peak = std::max(peak, std::fabs(at[k]));
      }
      done += n;
    }
    return peak;
  }
};

// Copies `frames` frames of the input's first `width` channels to `out`.
void CopyIn(const ProcessBlock& b, int width) noexcept {
  if (width == b.inWidth) {
    std::copy(b.in, b.in + std::size_t(b.frames) * std::size_t(width), b.out);
    return;
  }
  for (unsigned j = 0; j < b.frames; ++j)
    for (int c = 0; c < width; ++c)
      b.out[std::size_t(j) * std::size_t(width) + std::size_t(c)] = b.in[std::size_t(j) * std::size_t(b.inWidth) + std::size_t(c)];
}

// ---- What every filter here shares: parameters that glide, a design
// version, the tail.
//
// The float parameters glide toward their set values a step every
// kGlideFrames frames (frequencies on a log scale, the rest linearly, a time
// constant of 10 ms) and the sections are designed again at each step,
// so a sweep moves through real filters of the kind rather than through
// blends of coefficients far apart.

constexpr int kMaxParameters = 20;

class FilterBase : public BuiltinProcessor {
public:
  FilterBase(const char* name, const FMOD_DSP_PARAMETER_DESC* const* table, int count, const EffectContext& context)
      : BuiltinProcessor(name, table, count), rate_(double(context.sampleRate)),
        chunk_(std::max(context.blockFrames, 1u)), count_(std::min(count, kMaxParameters)),
        valuePart_(1.0 - std::exp(-double(kGlideFrames) / (0.010 * rate_))),
        switchPart_(1.0 - std::exp(-double(kGlideFrames) / (0.100 * rate_))) {
    for (int i = 0; i < count_; ++i) {
      const FMOD_DSP_PARAMETER_DESC& d = *table[i];
      float_[i] = d.type == FMOD_DSP_PARAMETER_TYPE_FLOAT;
      log_[i] = float_[i] && d.label[0] == 'H' && d.label[1] == 'z' && d.floatdesc.min > 0.0f;
    }
    Settle();
  }

  // A float parameter's gliding value (mixer thread).
  double Value(int index) const noexcept { return values_[index]; }

  bool Process(ProcessBlock& block) noexcept override {
    const unsigned version = version_.load(std::memory_order_acquire);
    bool redesign = version != seen_;
    seen_ = version;
    if (quiet_) {  // nothing rings in the states: take the settings as they are
      if (redesign) {
        Settle();
        Design();
        Jump();
        redesign = false;
      }
      if (block.inputIdle) return false;
    }
    if (redesign && Switched()) switchLeft_ = unsigned(rate_ * 0.5);
    const int width = std::min({block.inWidth, block.capacity, kMaxWidth});
    block.outWidth = width;
    CopyIn(block, width);
    float peak = 0.0f;
    for (unsigned done = 0; done < block.frames;) {
      const bool moving = Advance();
      if (moving || redesign) Design();
      redesign = false;
      const unsigned n = std::min(block.frames - done, moving ? kGlideFrames : chunk_);
      switching_ = switchLeft_ > 0;
      switchLeft_ -= std::min(switchLeft_, n);
      peak = std::max(peak, Filter(block.out + std::size_t(done) * std::size_t(width), width, n, block.inputIdle));
      done += n;
    }
    if (block.inputIdle && !(peak >= kQuiet)) {  // (a NaN ends the tail too)
      ClearStates();
      quiet_ = true;
      return false;
    }
    quiet_ = false;
    return true;
  }

  void Reset() noexcept override {
    ClearStates();
    quiet_ = true;
  }

protected:
  void Changed(int /*index*/) noexcept override { version_.fetch_add(1, std::memory_order_acq_rel); }

  // Mixer thread: computes the target designs from the gliding values.
  virtual void Design() noexcept = 0;
  // Makes the sections take their targets now.
  virtual void Jump() noexcept = 0;
  virtual void ClearStates() noexcept = 0;
  // Filters `frames` interleaved frames in place (at most a chunk); answers
  // the peak of every section's output when `measure` is set.
  virtual float Filter(float* data, int width, unsigned frames, bool measure) noexcept = 0;

  // How far the sections move toward their design per glide step: all the
  // way while only the float values glide (each step's design is close to
  // the last), a part of it for half a second after a switch of filter type
  // or slope.
  double Part() const noexcept { return switching_ ? switchPart_ : 1.0; }

  const double rate_;
  const unsigned chunk_;  // the most frames filtered at once (scratch size)

private:
  // The gliding values take the set ones.
  void Settle() noexcept {
    for (int i = 0; i < count_; ++i) {
      values_[i] = float_[i] ? double(FloatAt(i)) : 0.0;
      ints_[i] = float_[i] ? 0 : IntAt(i);
    }
    switchLeft_ = 0;
  }
  // Whether an int parameter (a filter type, a slope) changed.
  bool Switched() noexcept {
    bool switched = false;
    for (int i = 0; i < count_; ++i) {
      if (float_[i] || ints_[i] == IntAt(i)) continue;
      ints_[i] = IntAt(i);
      switched = true;
    }
    return switched;
  }
  // One glide step; answers whether any value moved.
  bool Advance() noexcept {
    bool moved = false;
    for (int i = 0; i < count_; ++i) {
      if (!float_[i]) continue;
      const double target = FloatAt(i);
      double& v = values_[i];
      if (v == target) continue;
      moved = true;
      if (log_[i]) {
        const double step = std::log(target / v);
        v = std::fabs(step) < 1e-4 ? target : v * std::exp(step * valuePart_);
      } else {
        const double step = target - v;
        v = std::fabs(step) < 1e-3 ? target : v + step * valuePart_;
      }
    }
    return moved;
  }

  const int count_;
  // Of the distance closed per glide step: by a value (a time constant of
  // 10 ms), and by the sections after a switch of filter type or slope
  // (100 ms: a blend between unlike designs swells the level on the way, and
  // a slow morph keeps that swell small).
  const double valuePart_, switchPart_;
  double values_[kMaxParameters] = {};
  bool float_[kMaxParameters] = {};
  bool log_[kMaxParameters] = {};
  int ints_[kMaxParameters] = {};
  unsigned switchLeft_ = 0;  // frames the sections still morph after a switch
  std::atomic<unsigned> version_{1};
  unsigned seen_ = 0;
  bool quiet_ = true;
  bool switching_ = false;
};

// A unit that is one cascade of sections.
template <int N>
class SeriesFilter : public FilterBase {
public:
  using DesignFunction = void (*)(const FilterBase& unit, double rate, BiquadCoefficients* sections);
  SeriesFilter(const char* name, const FMOD_DSP_PARAMETER_DESC* const* table, int count, const EffectContext& context,
               DesignFunction design)
      : FilterBase(name, table, count, context), design_(design) {}

protected:
  void Design() noexcept override {
    BiquadCoefficients made[N];
    design_(*this, rate_, made);
    for (int i = 0; i < N; ++i) cascade_.target[std::size_t(i)] = made[i];
  }
  void Jump() noexcept override { cascade_.Jump(); }
  void ClearStates() noexcept override { cascade_.Reset(); }
  float Filter(float* data, int width, unsigned frames, bool measure) noexcept override {
    return cascade_.Run(data, width, frames, measure, Part());
  }

private:
  DesignFunction design_;
  Cascade<N> cascade_;
};

// ---- Parameter tables and designs of the single-band filters.

const FMOD_DSP_PARAMETER_DESC kLowPassCutoff =
    FloatParameter("Cutoff freq", "Hz", "Lowpass cutoff frequency in hertz.", 1.0f, 22000.0f, 5000.0f);
const FMOD_DSP_PARAMETER_DESC kLowPassResonance =
    FloatParameter("Resonance", "", "Lowpass resonance Q value: 1 is gentle, 10 rings.", 1.0f, 10.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC* const kLowPass[] = {&kLowPassCutoff, &kLowPassResonance};

const FMOD_DSP_PARAMETER_DESC kItCutoff =
    FloatParameter("Cutoff freq", "Hz", "Lowpass cutoff frequency in hertz.", 1.0f, 22000.0f, 5000.0f);
const FMOD_DSP_PARAMETER_DESC kItResonance =
    FloatParameter("Resonance", "", "Lowpass resonance, 0 (none) to 127 (strongest).", 0.0f, 127.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC* const kItLowPass[] = {&kItCutoff, &kItResonance};

const FMOD_DSP_PARAMETER_DESC kHighPassCutoff =
    FloatParameter("Cutoff freq", "Hz", "Highpass cutoff frequency in hertz.", 1.0f, 22000.0f, 5000.0f);
const FMOD_DSP_PARAMETER_DESC kHighPassResonance =
    FloatParameter("Resonance", "", "Highpass resonance Q value: 1 is gentle, 10 rings.", 1.0f, 10.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC* const kHighPass[] = {&kHighPassCutoff, &kHighPassResonance};

const FMOD_DSP_PARAMETER_DESC kSimpleLowCutoff = FloatParameter(
    "Cutoff freq", "Hz", "Lowpass cutoff frequency in hertz (6 dB per octave).", 10.0f, 22000.0f, 22000.0f);
const FMOD_DSP_PARAMETER_DESC* const kLowPassSimple[] = {&kSimpleLowCutoff};

const FMOD_DSP_PARAMETER_DESC kSimpleHighCutoff = FloatParameter(
    "Cutoff freq", "Hz", "Highpass cutoff frequency in hertz (6 dB per octave).", 10.0f, 22000.0f, 1000.0f);
const FMOD_DSP_PARAMETER_DESC* const kHighPassSimple[] = {&kSimpleHighCutoff};

const FMOD_DSP_PARAMETER_DESC kEqCenter =
    FloatParameter("Center freq", "Hz", "Frequency at the centre of the band in hertz.", 20.0f, 22000.0f, 8000.0f);
const FMOD_DSP_PARAMETER_DESC kEqBandwidth =
    FloatParameter("Bandwidth", "octaves", "Width of the band in octaves.", 0.2f, 5.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC kEqGain =
    FloatParameter("Gain", "dB", "Boost or cut of the band in decibels.", -30.0f, 30.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC* const kParamEq[] = {&kEqCenter, &kEqBandwidth, &kEqGain};

void DesignLowPass(const FilterBase& u, double rate, BiquadCoefficients* s) {
  s[0] = BiquadCoefficients::LowPass(u.Value(FMOD_DSP_LOWPASS_CUTOFF), u.Value(FMOD_DSP_LOWPASS_RESONANCE), rate);
}
void DesignItLowPass(const FilterBase& u, double rate, BiquadCoefficients* s) {
  s[0] = BiquadCoefficients::LowPass(u.Value(FMOD_DSP_ITLOWPASS_CUTOFF),
                                     TrackerQ(u.Value(FMOD_DSP_ITLOWPASS_RESONANCE)), rate);
}
void DesignHighPass(const FilterBase& u, double rate, BiquadCoefficients* s) {
  s[0] = BiquadCoefficients::HighPass(u.Value(FMOD_DSP_HIGHPASS_CUTOFF), u.Value(FMOD_DSP_HIGHPASS_RESONANCE), rate);
}
void DesignLowPassSimple(const FilterBase& u, double rate, BiquadCoefficients* s) {
  s[0] = BiquadCoefficients::OnePoleLowPass(u.Value(FMOD_DSP_LOWPASS_SIMPLE_CUTOFF), rate);
}
void DesignHighPassSimple(const FilterBase& u, double rate, BiquadCoefficients* s) {
  s[0] = BiquadCoefficients::OnePoleHighPass(u.Value(FMOD_DSP_HIGHPASS_SIMPLE_CUTOFF), rate);
}
void DesignParamEq(const FilterBase& u, double rate, BiquadCoefficients* s) {
  const double center = u.Value(FMOD_DSP_PARAMEQ_CENTER);
  s[0] = BiquadCoefficients::Peaking(center, OctavesToQ(u.Value(FMOD_DSP_PARAMEQ_BANDWIDTH), center, rate),
                                     u.Value(FMOD_DSP_PARAMEQ_GAIN), rate);
}

// ---- Five-band equaliser.

constexpr int kBands = 5;
constexpr int kBandSections = 4;  // a 48 dB per octave pass is four sections
constexpr int kBandParameters = 4;

const char* const kBandFilters[] = {"Disabled",      "Lowpass 12dB",  "Lowpass 24dB", "Lowpass 48dB", "Highpass 12dB",
                                    "Highpass 24dB", "Highpass 48dB", "Low-shelf",    "High-shelf",   "Peaking",
                                    "Band-pass",     "Notch",         "All-pass"};

struct MultibandTable {
  FMOD_DSP_PARAMETER_DESC descs[kBands * kBandParameters];
  const FMOD_DSP_PARAMETER_DESC* table[kBands * kBandParameters];
  char names[kBands * kBandParameters][16];
  MultibandTable() {
    for (int b = 0; b < kBands; ++b) {
      const char band = char('A' + b);
      const int i = b * kBandParameters;
      std::snprintf(names[i], sizeof names[i], "%c Filter", band);
      std::snprintf(names[i + 1], sizeof names[i + 1], "%c Frequency", band);
      std::snprintf(names[i + 2], sizeof names[i + 2], "%c Q", band);
      std::snprintf(names[i + 3], sizeof names[i + 3], "%c Gain", band);
      descs[i] = IntParameter(names[i], "", "Filter of the band: disabled, a pass, a shelf, peaking, band-pass, notch or all-pass.", 0,
                              int(std::size(kBandFilters)) - 1,
                              b == 0 ? FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_12DB : FMOD_DSP_MULTIBAND_EQ_FILTER_DISABLED,
                              kBandFilters);
      descs[i + 1] = FloatParameter(names[i + 1], "Hz",
                                    "Frequency of the band in hertz: cutoff, shelf midpoint or centre.", 20.0f, 22000.0f,
                                    8000.0f);
      descs[i + 2] = FloatParameter(names[i + 2], "",
                                    "Quality factor: resonance of a pass, steepness of a shelf, narrowness of a band.", 0.1f,
                                    10.0f, 0.707f);
      descs[i + 3] = FloatParameter(names[i + 3], "dB", "Boost or cut of a shelf or peaking band in decibels.", -30.0f,
                                    30.0f, 0.0f);
      for (int k = 0; k < kBandParameters; ++k) table[i + k] = &descs[i + k];
    }
  }
};
const MultibandTable& MultibandParameters() {
  static const MultibandTable table;
  return table;
}

// A pass of 12, 24 or 48 dB per octave: one, two or four sections of the
// Butterworth filter of that order. The band's Q scales the most resonant
// section, so the default 0.707 is the maximally flat Butterworth and a
// higher Q peaks at the corner.
void PassSections(bool high, int sections, double frequency, double q, double rate, BiquadCoefficients* s) {
  const double* qs = sections == 1 ? &kButterworth2 : sections == 2 ? kButterworth4 : kButterworth8;
  for (int i = 0; i < sections; ++i) {
    const double qi = i == sections - 1 ? qs[i] * q / kButterworth2 : qs[i];
    s[i] = high ? BiquadCoefficients::HighPass(frequency, qi, rate) : BiquadCoefficients::LowPass(frequency, qi, rate);
  }
}

void DesignMultiband(const FilterBase& u, double rate, BiquadCoefficients* s) {
  for (int b = 0; b < kBands; ++b) {
    const int p = b * kBandParameters;
    BiquadCoefficients* band = s + b * kBandSections;
    for (int i = 0; i < kBandSections; ++i) band[i] = BiquadCoefficients{};
    const double f = u.Value(p + 1), q = u.Value(p + 2), gain = u.Value(p + 3);
    switch (u.IntAt(p)) {
      case FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_12DB: PassSections(false, 1, f, q, rate, band); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_24DB: PassSections(false, 2, f, q, rate, band); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_48DB: PassSections(false, 4, f, q, rate, band); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_12DB: PassSections(true, 1, f, q, rate, band); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_24DB: PassSections(true, 2, f, q, rate, band); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_48DB: PassSections(true, 4, f, q, rate, band); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_LOWSHELF: band[0] = BiquadCoefficients::LowShelf(f, q, gain, rate); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHSHELF: band[0] = BiquadCoefficients::HighShelf(f, q, gain, rate); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_PEAKING: band[0] = BiquadCoefficients::Peaking(f, q, gain, rate); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_BANDPASS: band[0] = BiquadCoefficients::BandPass(f, q, rate); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_NOTCH: band[0] = BiquadCoefficients::Notch(f, q, rate); break;
      case FMOD_DSP_MULTIBAND_EQ_FILTER_ALLPASS: band[0] = BiquadCoefficients::AllPass(f, q, rate); break;
      default: break;  // disabled: the sections stay identities
    }
  }
}

// ---- Three-band equaliser.
//
// Linkwitz-Riley crossovers split the signal at the low and high crossover:
//   low  = LP_low . AP_high           (AP_high = LP_high + HP_high, phase only)
//   mid  = HP_low . LP_high
//   high = HP_low . HP_high
// LR 24 and 48 dB are Butterworth 2nd and 4th order squared, whose low and
// high halves add up to an all-pass; the low band goes through the high
// crossover's all-pass so that all three add up to AP_low . AP_high, flat in
// magnitude. LR 12 dB (a first order squared) adds up to an all-pass as
// LP - HP, so the mid band is inverted at that slope.

const FMOD_DSP_PARAMETER_DESC kThreeLow =
    FloatParameter("Low gain", "dB", "Gain of the low band in decibels.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kThreeMid =
    FloatParameter("Mid gain", "dB", "Gain of the mid band in decibels.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kThreeHigh =
    FloatParameter("High gain", "dB", "Gain of the high band in decibels.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kThreeLowCross = FloatParameter(
    "Low Crossover", "Hz", "Crossover frequency between the low and mid bands in hertz.", 10.0f, 22000.0f, 400.0f);
const FMOD_DSP_PARAMETER_DESC kThreeHighCross = FloatParameter(
    "High Crossover", "Hz", "Crossover frequency between the mid and high bands in hertz.", 10.0f, 22000.0f, 4000.0f);
const char* const kSlopes[] = {"12dB", "24dB", "48dB"};
const FMOD_DSP_PARAMETER_DESC kThreeSlope =
    IntParameter("Crossover Slope", "", "Slope of the crossovers: 12, 24 or 48 dB per octave.", 0, 2,
                 FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_24DB, kSlopes);
const FMOD_DSP_PARAMETER_DESC* const kThreeEq[] = {&kThreeLow,      &kThreeMid,       &kThreeHigh,
                                                   &kThreeLowCross, &kThreeHighCross, &kThreeSlope};

class ThreeEq final : public FilterBase {
public:
  explicit ThreeEq(const EffectContext& context)
      : FilterBase("Three EQ", kThreeEq, int(std::size(kThreeEq)), context),
        low_(std::size_t(chunk_) * kMaxWidth), high_(std::size_t(chunk_) * kMaxWidth) {
    for (int b = 0; b < 3; ++b) gains_[b].Jump(1.0f);
  }

protected:
  void Design() noexcept override {
    const double fl = Value(FMOD_DSP_THREE_EQ_LOWCROSSOVER), fh = Value(FMOD_DSP_THREE_EQ_HIGHCROSSOVER);
    for (auto* c : {&lowPass_, &restPass_, &midPass_, &highPass_}) c->target.fill(BiquadCoefficients{});
    allPass_.target.fill(BiquadCoefficients{});
    switch (IntAt(FMOD_DSP_THREE_EQ_CROSSOVERSLOPE)) {
      case FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_12DB:
        lowPass_.target[0] = Squared(FirstLowPass(fl, rate_));
        allPass_.target[0] = FirstAllPass(fh, rate_);
        restPass_.target[0] = Squared(FirstHighPass(fl, rate_));
        midPass_.target[0] = Negated(Squared(FirstLowPass(fh, rate_)));
        highPass_.target[0] = Squared(FirstHighPass(fh, rate_));
        break;
      case FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_48DB:
        for (int i = 0; i < 4; ++i) {
          const double q = kButterworth4[i % 2];
          lowPass_.target[std::size_t(i)] = BiquadCoefficients::LowPass(fl, q, rate_);
          restPass_.target[std::size_t(i)] = BiquadCoefficients::HighPass(fl, q, rate_);
          midPass_.target[std::size_t(i)] = BiquadCoefficients::LowPass(fh, q, rate_);
          highPass_.target[std::size_t(i)] = BiquadCoefficients::HighPass(fh, q, rate_);
        }
        for (int i = 0; i < 2; ++i) allPass_.target[std::size_t(i)] = BiquadCoefficients::AllPass(fh, kButterworth4[i], rate_);
        break;
      default:  // 24 dB
        for (int i = 0; i < 2; ++i) {
          lowPass_.target[std::size_t(i)] = BiquadCoefficients::LowPass(fl, kButterworth2, rate_);
          restPass_.target[std::size_t(i)] = BiquadCoefficients::HighPass(fl, kButterworth2, rate_);
          midPass_.target[std::size_t(i)] = BiquadCoefficients::LowPass(fh, kButterworth2, rate_);
          highPass_.target[std::size_t(i)] = BiquadCoefficients::HighPass(fh, kButterworth2, rate_);
        }
        allPass_.target[0] = BiquadCoefficients::AllPass(fh, kButterworth2, rate_);
        break;
    }
  }
  void Jump() noexcept override {
    for (auto* c : {&lowPass_, &restPass_, &midPass_, &highPass_}) c->Jump();
    allPass_.Jump();
    for (int b = 0; b < 3; ++b) gains_[b].Jump(DecibelsToGain(float(Value(FMOD_DSP_THREE_EQ_LOWGAIN + b))));
  }
  void ClearStates() noexcept override {
    for (auto* c : {&lowPass_, &restPass_, &midPass_, &highPass_}) c->Reset();
    allPass_.Reset();
  }
  float Filter(float* data, int width, unsigned frames, bool measure) noexcept override {
    const std::size_t n = std::size_t(frames) * std::size_t(width);
    float* low = low_.data();
    float* high = high_.data();
    std::copy(data, data + n, low);
    float peak = lowPass_.Run(low, width, frames, measure, Part());
    peak = std::max(peak, allPass_.Run(low, width, frames, measure, Part()));
    peak = std::max(peak, restPass_.Run(data, width, frames, measure, Part()));
    std::copy(data, data + n, high);
    peak = std::max(peak, highPass_.Run(high, width, frames, measure, Part()));
    peak = std::max(peak, midPass_.Run(data, width, frames, measure, Part()));
    for (int b = 0; b < 3; ++b) gains_[b].Set(DecibelsToGain(float(Value(FMOD_DSP_THREE_EQ_LOWGAIN + b))), frames);
    for (unsigned j = 0; j < frames; ++j) {
      const float gl = gains_[0].Next(), gm = gains_[1].Next(), gh = gains_[2].Next();
      const std::size_t at = std::size_t(j) * std::size_t(width);
      for (int c = 0; c < width; ++c) {
        const std::size_t k = at + std::size_t(c);
        data[k] = gl * low[k] + gm * data[k] + gh * high[k];
      }
    }
    return peak;
  }

private:
  Cascade<4> lowPass_, restPass_, midPass_, highPass_;
  Cascade<2> allPass_;
  Ramp gains_[3];
  std::vector<float> low_, high_;  // the low and high bands of one chunk
};

}  // namespace

std::unique_ptr<Processor> NewFilterEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  switch (type) {
    case FMOD_DSP_TYPE_LOWPASS:
      return std::make_unique<SeriesFilter<1>>("Lowpass", kLowPass, int(std::size(kLowPass)), context, DesignLowPass);
    case FMOD_DSP_TYPE_ITLOWPASS:
      return std::make_unique<SeriesFilter<1>>("IT Lowpass", kItLowPass, int(std::size(kItLowPass)), context,
                                               DesignItLowPass);
    case FMOD_DSP_TYPE_HIGHPASS:
      return std::make_unique<SeriesFilter<1>>("Highpass", kHighPass, int(std::size(kHighPass)), context,
                                               DesignHighPass);
    case FMOD_DSP_TYPE_LOWPASS_SIMPLE:
      return std::make_unique<SeriesFilter<1>>("Lowpass Simple", kLowPassSimple, int(std::size(kLowPassSimple)), context,
                                               DesignLowPassSimple);
    case FMOD_DSP_TYPE_HIGHPASS_SIMPLE:
      return std::make_unique<SeriesFilter<1>>("Highpass Simple", kHighPassSimple, int(std::size(kHighPassSimple)),
                                               context, DesignHighPassSimple);
    case FMOD_DSP_TYPE_PARAMEQ:
      return std::make_unique<SeriesFilter<1>>("ParamEQ", kParamEq, int(std::size(kParamEq)), context, DesignParamEq);
    case FMOD_DSP_TYPE_THREE_EQ: return std::make_unique<ThreeEq>(context);
    case FMOD_DSP_TYPE_MULTIBAND_EQ: {
      const MultibandTable& t = MultibandParameters();
      return std::make_unique<SeriesFilter<kBands * kBandSections>>("Multiband EQ", t.table, kBands * kBandParameters,
                                                                    context, DesignMultiband);
    }
    default: return nullptr;
  }
}

}  // namespace sonvel::engine::core
