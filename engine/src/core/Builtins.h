// The graph's own unit types: mixer, fader, oscillator, send, return and
// channel mix. Their parameters are described by static tables and held in
// atomics, so that the API sets them while the mixer reads them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "Processor.h"

namespace sonvel::engine::core {

class Control;
struct EffectContext;

// A unit whose parameters are described by a table and stored as atomics.
class BuiltinProcessor : public Processor {
public:
  BuiltinProcessor(const char* name, const FMOD_DSP_PARAMETER_DESC* const* table, int count);

  int NumParameters() const noexcept override { return count_; }
  const FMOD_DSP_PARAMETER_DESC* Parameter(int index) const noexcept override;
  FMOD_RESULT SetFloat(int index, float value) noexcept override;
  FMOD_RESULT SetInt(int index, int value) noexcept override;
  FMOD_RESULT SetBool(int index, bool value) noexcept override;
  FMOD_RESULT GetFloat(int index, float* value, char* text) noexcept override;
  FMOD_RESULT GetInt(int index, int* value, char* text) noexcept override;
  FMOD_RESULT GetBool(int index, bool* value, char* text) noexcept override;
  void Describe(char* name, unsigned& version, int& channels) const noexcept override;

  // The current value of a parameter, any thread.
  float FloatAt(int index) const noexcept { return floats_[index].load(std::memory_order_relaxed); }
  int IntAt(int index) const noexcept { return ints_[index].load(std::memory_order_relaxed); }

protected:
  // The parameter `index` is of `type`.
  bool Is(int index, FMOD_DSP_PARAMETER_TYPE type) const noexcept;
  // Called after a parameter took a new value (the API's thread).
  virtual void Changed(int /*index*/) noexcept {}
  // Stores a value without the range check (values the unit sets itself).
  void StoreInt(int index, int value) noexcept { ints_[index].store(value, std::memory_order_relaxed); }

private:
  const char* name_;
  const FMOD_DSP_PARAMETER_DESC* const* table_;
  int count_;
  std::unique_ptr<std::atomic<float>[]> floats_;
  std::unique_ptr<std::atomic<int>[]> ints_;
};

// Passes its input on: the mixing head of every group, and FMOD_DSP_TYPE_MIXER.
class MixerProcessor final : public BuiltinProcessor {
public:
  MixerProcessor();
  bool Process(ProcessBlock& block) noexcept override;
};

// The fader of a channel or group: the mixer applies the control's volume,
// pan and matrix; the unit adds its own gain parameter.
class FaderProcessor final : public BuiltinProcessor {
public:
  explicit FaderProcessor(const Control* control);
  bool Process(ProcessBlock& block) noexcept override;  // a fader on its own: its gain
  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override;
  // The gain parameter as a factor.
  float Gain() const noexcept { return gain_.load(std::memory_order_relaxed); }

protected:
  void Changed(int index) noexcept override;

private:
  const Control* control_;
  std::atomic<float> gain_{1.0f};
  FMOD_DSP_PARAMETER_OVERALLGAIN overall_{};
};

// A tone: sine, square, rising and falling saw, triangle or white noise.
class OscillatorProcessor final : public BuiltinProcessor {
public:
  explicit OscillatorProcessor(int sampleRate);
  bool Process(ProcessBlock& block) noexcept override;
  void Reset() noexcept override;
  bool Generates() const noexcept override { return true; }

private:
  const int sampleRate_;
  double phase_ = 0.0;  // in cycles, [0, 1)
  std::uint32_t noise_ = 0x9E3779B9u;
};

// Passes its input on and sends it, at its level, to the return with its
// return id (the graph makes the send connection).
class SendProcessor final : public BuiltinProcessor {
public:
  SendProcessor();
  bool Process(ProcessBlock& block) noexcept override;
};

// Mixes what the sends with its id deliver. The id is given by the graph
// and read-only to callers.
class ReturnProcessor final : public BuiltinProcessor {
public:
  explicit ReturnProcessor(int id);
  bool Process(ProcessBlock& block) noexcept override;
  FMOD_RESULT SetInt(int index, int value) noexcept override;
  int Id() const noexcept { return IntAt(FMOD_DSP_RETURN_ID); }
};

// A gain per channel, and the speaker grouping its output is read with.
class ChannelMixProcessor final : public BuiltinProcessor {
public:
  ChannelMixProcessor();
  bool Process(ProcessBlock& block) noexcept override;

protected:
  void Changed(int index) noexcept override;

private:
  std::atomic<float> gains_[kMaxWidth];
};

// A new processor for a built-in type, or null for a type the engine does
// not have (FMOD_ERR_PLUGIN_MISSING).
std::unique_ptr<Processor> NewBuiltin(FMOD_DSP_TYPE type, const EffectContext& context, int returnId);

}  // namespace sonvel::engine::core
