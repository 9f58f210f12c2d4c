// What the built-in units share: parameter descriptions built by value,
// decibel conversions, parameter ramps and the biquad section every filter,
// equaliser and reverb tone control is made of.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Format.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"

namespace sonvel::engine::core {

constexpr double kPi = 3.14159265358979323846;

// ---- Parameter descriptions (static tables of each unit type).

inline FMOD_DSP_PARAMETER_DESC ParameterBase(FMOD_DSP_PARAMETER_TYPE type, const char* name, const char* label,
                                             const char* description) {
  FMOD_DSP_PARAMETER_DESC d{};
  d.type = type;
  std::snprintf(d.name, sizeof d.name, "%s", name);
  std::snprintf(d.label, sizeof d.label, "%s", label);
  d.description = description;
  return d;
}

inline FMOD_DSP_PARAMETER_DESC FloatParameter(const char* name, const char* label, const char* description, float min,
                                              float max, float defaultValue) {
  FMOD_DSP_PARAMETER_DESC d = ParameterBase(FMOD_DSP_PARAMETER_TYPE_FLOAT, name, label, description);
  d.floatdesc.min = min;
  d.floatdesc.max = max;
  d.floatdesc.defaultval = defaultValue;
  d.floatdesc.mapping.type = FMOD_DSP_PARAMETER_FLOAT_MAPPING_TYPE_AUTO;
  return d;
}

inline FMOD_DSP_PARAMETER_DESC IntParameter(const char* name, const char* label, const char* description, int min,
                                            int max, int defaultValue, const char* const* names = nullptr,
                                            bool goesToInfinity = false) {
  FMOD_DSP_PARAMETER_DESC d = ParameterBase(FMOD_DSP_PARAMETER_TYPE_INT, name, label, description);
  d.intdesc.min = min;
  d.intdesc.max = max;
  d.intdesc.defaultval = defaultValue;
  d.intdesc.goestoinf = goesToInfinity ? 1 : 0;
  d.intdesc.valuenames = names;
  return d;
}

inline FMOD_DSP_PARAMETER_DESC BoolParameter(const char* name, const char* label, const char* description,
                                             bool defaultValue, const char* const* names = nullptr) {
  FMOD_DSP_PARAMETER_DESC d = ParameterBase(FMOD_DSP_PARAMETER_TYPE_BOOL, name, label, description);
  d.booldesc.defaultval = defaultValue ? 1 : 0;
  d.booldesc.valuenames = names;
  return d;
}

inline FMOD_DSP_PARAMETER_DESC DataParameter(const char* name, const char* label, const char* description, int type) {
  FMOD_DSP_PARAMETER_DESC d = ParameterBase(FMOD_DSP_PARAMETER_TYPE_DATA, name, label, description);
  d.datadesc.datatype = type;
  return d;
}

// ---- Levels.

// -80 dB and below is silence.
inline float DecibelsToGain(float db) noexcept { return db <= -80.0f ? 0.0f : std::pow(10.0f, db / 20.0f); }
inline float GainToDecibels(float gain) noexcept { return gain <= 1e-4f ? -80.0f : 20.0f * std::log10(gain); }

// A value that moves to its target in a straight line over a fixed number of
// frames, so that a parameter change never steps. Mixer thread only.
class Ramp {
public:
  explicit Ramp(float value = 0.0f) noexcept : value_(value), target_(value) {}
  // Starts moving toward `target` over `frames` frames (now when 0).
  void Set(float target, unsigned frames) noexcept {
    if (target == target_) return;
    target_ = target;
    left_ = frames;
    step_ = frames > 0 ? (target_ - value_) / float(frames) : 0.0f;
    if (frames == 0) value_ = target_;
  }
  void Jump(float value) noexcept {
    value_ = target_ = value;
    left_ = 0;
  }
  // The value for the next frame.
  float Next() noexcept {
    if (left_ > 0) {
      value_ = --left_ == 0 ? target_ : value_ + step_;
    }
    return value_;
  }
  float Value() const noexcept { return value_; }
  float Target() const noexcept { return target_; }
  bool Moving() const noexcept { return left_ > 0; }

private:
  float value_;
  float target_;
  float step_ = 0.0f;
  unsigned left_ = 0;
};

// ---- Biquad sections (the audio cookbook designs, normalised so a0 = 1).

struct BiquadCoefficients {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

  static BiquadCoefficients LowPass(double frequency, double q, double rate) noexcept;
  static BiquadCoefficients HighPass(double frequency, double q, double rate) noexcept;
  static BiquadCoefficients BandPass(double frequency, double q, double rate) noexcept;  // 0 dB peak
  static BiquadCoefficients Notch(double frequency, double q, double rate) noexcept;
  static BiquadCoefficients AllPass(double frequency, double q, double rate) noexcept;
  static BiquadCoefficients Peaking(double frequency, double q, double gainDb, double rate) noexcept;
  // Shelves with the cookbook's Q (0.7071 for the steepest without overshoot).
  static BiquadCoefficients LowShelf(double frequency, double q, double gainDb, double rate) noexcept;
  static BiquadCoefficients HighShelf(double frequency, double q, double gainDb, double rate) noexcept;
  // One-pole sections in the same form (b2 = a2 = 0).
  static BiquadCoefficients OnePoleLowPass(double frequency, double rate) noexcept;
  static BiquadCoefficients OnePoleHighPass(double frequency, double rate) noexcept;

  // The magnitude of the response at `frequency` (for tests and metering).
  double Magnitude(double frequency, double rate) const noexcept;
};

// The state of one section for up to kMaxWidth channels, transposed direct
// form II. The coefficients can be swapped at a block boundary; moving them
// across the block (Process with `to`) keeps a sweeping filter from
// clicking.
class Biquad {
public:
  void Reset() noexcept {
    for (auto& s : s1_) s = 0.0;
    for (auto& s : s2_) s = 0.0;
  }
  void Set(const BiquadCoefficients& c) noexcept { c_ = c; }
  const BiquadCoefficients& Coefficients() const noexcept { return c_; }

  // Filters `frames` interleaved frames of `width` channels in place.
  void Process(float* data, int width, unsigned frames) noexcept;
  // Filters while moving the coefficients linearly to `to` across the block.
  void Process(float* data, int width, unsigned frames, const BiquadCoefficients& to) noexcept;

private:
  BiquadCoefficients c_;
  double s1_[kMaxWidth] = {};
  double s2_[kMaxWidth] = {};
};

}  // namespace sonvel::engine::core
