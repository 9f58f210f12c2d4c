#include "Builtins.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "EffectSupport.h"
#include "Effects.h"
#include "Objects.h"

namespace sonvel::engine::core {

namespace {

// ---- Parameter tables.

const FMOD_DSP_PARAMETER_DESC kFaderGain = FloatParameter("Gain", "dB", "Gain in decibels.", -80.0f, 10.0f, 0.0f);
const FMOD_DSP_PARAMETER_DESC kFaderOverall =
    DataParameter("Overall Gain", "", "The overall gain of the fader.", FMOD_DSP_PARAMETER_DATA_TYPE_OVERALLGAIN);
const FMOD_DSP_PARAMETER_DESC* const kFader[] = {&kFaderGain, &kFaderOverall};

const char* const kWaveforms[] = {"Sine", "Square", "Saw Up", "Saw Down", "Triangle", "Noise"};
const FMOD_DSP_PARAMETER_DESC kOscillatorType =
    IntParameter("Type", "", "Waveform: sine, square, saw up, saw down, triangle or noise.", 0, 5, 0, kWaveforms);
const FMOD_DSP_PARAMETER_DESC kOscillatorRate =
    FloatParameter("Rate", "Hz", "Frequency of the tone in hertz.", 0.0f, 22000.0f, 220.0f);
const FMOD_DSP_PARAMETER_DESC* const kOscillator[] = {&kOscillatorType, &kOscillatorRate};

const FMOD_DSP_PARAMETER_DESC kSendReturn = IntParameter("Return ID", "", "The ID of the return to send to; -1 for none.", -1,
                                                 1 << 20, -1);
const FMOD_DSP_PARAMETER_DESC kSendLevel = FloatParameter("Send level", "", "Level of the signal sent (linear).", 0.0f, 1.0f, 1.0f);
const FMOD_DSP_PARAMETER_DESC* const kSend[] = {&kSendReturn, &kSendLevel};

const char* const kSpeakerModes[] = {"Default", "Raw", "Mono", "Stereo", "Quad", "Surround", "5.1", "7.1", "7.1.4"};
const FMOD_DSP_PARAMETER_DESC kReturnId = IntParameter("Return ID", "", "The ID of this return (read only).", -1, 1 << 20, -1);
const FMOD_DSP_PARAMETER_DESC kReturnMode = IntParameter("Input mode", "", "Speaker mode of the signal the return takes.", 0,
                                                int(FMOD_SPEAKERMODE_MAX) - 1, 0, kSpeakerModes);
const FMOD_DSP_PARAMETER_DESC* const kReturn[] = {&kReturnId, &kReturnMode};

const char* const kGroupings[] = {"Default", "All Mono", "All Stereo", "All Quad", "All 5.1", "All 7.1", "All LFE"};

struct ChannelMixTable {
  FMOD_DSP_PARAMETER_DESC descs[1 + kMaxWidth];
  const FMOD_DSP_PARAMETER_DESC* table[1 + kMaxWidth];
  char names[kMaxWidth][16];
  ChannelMixTable() {
    descs[0] = IntParameter("Output", "", "How the output's channels map to speakers.", 0, 6, 0, kGroupings);
    table[0] = &descs[0];
    for (int c = 0; c < kMaxWidth; ++c) {
      std::snprintf(names[c], sizeof names[c], "Channel %d", c);
      descs[1 + c] = FloatParameter(names[c], "dB", "Gain of one input channel in decibels.", -80.0f, 10.0f, 0.0f);
      table[1 + c] = &descs[1 + c];
    }
  }
};
const ChannelMixTable& ChannelMixParameters() {
  static const ChannelMixTable table;
  return table;
}

void PassThrough(ProcessBlock& b) noexcept {
  b.outWidth = std::min(b.inWidth, b.capacity);
  if (b.outWidth == b.inWidth) {
    std::copy(b.in, b.in + std::size_t(b.frames) * b.inWidth, b.out);
    return;
  }
  for (unsigned j = 0; j < b.frames; ++j)
    for (int c = 0; c < b.outWidth; ++c) b.out[std::size_t(j) * b.outWidth + c] = b.in[std::size_t(j) * b.inWidth + c];
}

}  // namespace

// ---------------------------------------------------------------------------

BuiltinProcessor::BuiltinProcessor(const char* name, const FMOD_DSP_PARAMETER_DESC* const* table, int count)
    : name_(name), table_(table), count_(count), floats_(std::make_unique<std::atomic<float>[]>(std::size_t(count))),
      ints_(std::make_unique<std::atomic<int>[]>(std::size_t(count))) {
  for (int i = 0; i < count; ++i) {
    const FMOD_DSP_PARAMETER_DESC& d = *table[i];
    floats_[i].store(d.type == FMOD_DSP_PARAMETER_TYPE_FLOAT ? d.floatdesc.defaultval : 0.0f);
    ints_[i].store(d.type == FMOD_DSP_PARAMETER_TYPE_INT    ? d.intdesc.defaultval
                   : d.type == FMOD_DSP_PARAMETER_TYPE_BOOL ? d.booldesc.defaultval
                                                            : 0);
  }
}

const FMOD_DSP_PARAMETER_DESC* BuiltinProcessor::Parameter(int index) const noexcept {
  return index >= 0 && index < count_ ? table_[index] : nullptr;
}

bool BuiltinProcessor::Is(int index, FMOD_DSP_PARAMETER_TYPE type) const noexcept {
  return index >= 0 && index < count_ && table_[index]->type == type;
}

FMOD_RESULT BuiltinProcessor::SetFloat(int index, float value) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_FLOAT)) return FMOD_ERR_INVALID_PARAM;
  const FMOD_DSP_PARAMETER_DESC_FLOAT& d = table_[index]->floatdesc;
  if (!std::isfinite(value)) return FMOD_ERR_INVALID_FLOAT;
  if (value < d.min || value > d.max) return FMOD_ERR_INVALID_PARAM;
  floats_[index].store(value, std::memory_order_relaxed);
  Changed(index);
  return FMOD_OK;
}

FMOD_RESULT BuiltinProcessor::SetInt(int index, int value) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_INT)) return FMOD_ERR_INVALID_PARAM;
  const FMOD_DSP_PARAMETER_DESC_INT& d = table_[index]->intdesc;
  if (value < d.min || value > d.max) return FMOD_ERR_INVALID_PARAM;
  ints_[index].store(value, std::memory_order_relaxed);
  Changed(index);
  return FMOD_OK;
}

FMOD_RESULT BuiltinProcessor::SetBool(int index, bool value) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_BOOL)) return FMOD_ERR_INVALID_PARAM;
  ints_[index].store(value ? 1 : 0, std::memory_order_relaxed);
  Changed(index);
  return FMOD_OK;
}

FMOD_RESULT BuiltinProcessor::GetFloat(int index, float* value, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_FLOAT)) return FMOD_ERR_INVALID_PARAM;
  const float v = FloatAt(index);
  if (value != nullptr) *value = v;
  if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.2f", double(v));
  return FMOD_OK;
}

FMOD_RESULT BuiltinProcessor::GetInt(int index, int* value, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_INT)) return FMOD_ERR_INVALID_PARAM;
  const FMOD_DSP_PARAMETER_DESC_INT& d = table_[index]->intdesc;
  const int v = IntAt(index);
  if (value != nullptr) *value = v;
  if (text != nullptr) {
    if (d.valuenames != nullptr && v >= d.min && v <= d.max)
      std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", d.valuenames[v - d.min]);
    else
      std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%d", v);
  }
  return FMOD_OK;
}

FMOD_RESULT BuiltinProcessor::GetBool(int index, bool* value, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_BOOL)) return FMOD_ERR_INVALID_PARAM;
  const bool v = IntAt(index) != 0;
  if (value != nullptr) *value = v;
  if (text != nullptr) {
    const char* const* names = table_[index]->booldesc.valuenames;
    std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", names != nullptr ? names[v ? 1 : 0] : (v ? "On" : "Off"));
  }
  return FMOD_OK;
}

void BuiltinProcessor::Describe(char* name, unsigned& version, int& channels) const noexcept {
  std::snprintf(name, 32, "%s", name_);
  version = 0x00010000;
  channels = 0;
}

// ---------------------------------------------------------------------------

MixerProcessor::MixerProcessor() : BuiltinProcessor("Mixer", nullptr, 0) {}

bool MixerProcessor::Process(ProcessBlock& block) noexcept {
  if (block.inputIdle) return false;
  PassThrough(block);
  return true;
}

FaderProcessor::FaderProcessor(const Control* control)
    : BuiltinProcessor("Fader", kFader, int(std::size(kFader))), control_(control) {}

void FaderProcessor::Changed(int index) noexcept {
  if (index == FMOD_DSP_FADER_GAIN) gain_.store(DecibelsToGain(FloatAt(FMOD_DSP_FADER_GAIN)), std::memory_order_relaxed);
}

bool FaderProcessor::Process(ProcessBlock& block) noexcept {
  // Only a fader made on its own runs here; a channel's or group's is the
  // mixer's, which applies its control's settings too.
  if (block.inputIdle) return false;
  PassThrough(block);
  const float g = Gain();
  for (std::size_t k = 0; k < std::size_t(block.frames) * block.outWidth; ++k) block.out[k] *= g;
  return true;
}

FMOD_RESULT FaderProcessor::GetData(int index, void** data, unsigned* length, char* text) noexcept {
  if (index != FMOD_DSP_FADER_OVERALL_GAIN) return FMOD_ERR_INVALID_PARAM;
  // What the fader lets through as a whole: its control's volume (and 3D
  // attenuation) times its own gain. Read on the API's side.
  float gain = Gain();
  if (control_ != nullptr) gain *= ControlGain(control_->api.settings, 0);
  overall_.linear_gain = gain;
  overall_.linear_gain_additive = 0.0f;
  if (data != nullptr) *data = &overall_;
  if (length != nullptr) *length = sizeof overall_;
  if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.2f", double(gain));
  return FMOD_OK;
}

OscillatorProcessor::OscillatorProcessor(int sampleRate)
    : BuiltinProcessor("Oscillator", kOscillator, int(std::size(kOscillator))), sampleRate_(sampleRate) {}

void OscillatorProcessor::Reset() noexcept { phase_ = 0.0; }

bool OscillatorProcessor::Process(ProcessBlock& block) noexcept {
  const int type = IntAt(FMOD_DSP_OSCILLATOR_TYPE);
  const double step = double(FloatAt(FMOD_DSP_OSCILLATOR_RATE)) / double(sampleRate_);
  const int width = std::max(1, std::min(block.inWidth, block.capacity));
  block.outWidth = width;
  double phase = phase_;
  for (unsigned j = 0; j < block.frames; ++j) {
    float v;
    switch (type) {
      case 1: v = phase < 0.5 ? 1.0f : -1.0f; break;               // square
      case 2: v = float(2.0 * phase - 1.0); break;                  // saw up
      case 3: v = float(1.0 - 2.0 * phase); break;                  // saw down
      case 4: v = float(phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase); break;  // triangle
      case 5:                                                       // white noise (xorshift)
        noise_ ^= noise_ << 13;
        noise_ ^= noise_ >> 17;
        noise_ ^= noise_ << 5;
        v = float(double(noise_) / 2147483648.0 - 1.0);
        break;
      default: v = float(std::sin(2.0 * kPi * phase)); break;       // sine
    }
    float* out = block.out + std::size_t(j) * width;
    for (int c = 0; c < width; ++c) out[c] = v;
    phase += step;
    phase -= std::floor(phase);
  }
  phase_ = phase;
  return true;
}

SendProcessor::SendProcessor() : BuiltinProcessor("Send", kSend, int(std::size(kSend))) {}

bool SendProcessor::Process(ProcessBlock& block) noexcept {
  if (block.inputIdle) return false;
  PassThrough(block);
  return true;
}

ReturnProcessor::ReturnProcessor(int id) : BuiltinProcessor("Return", kReturn, int(std::size(kReturn))) {
  StoreInt(FMOD_DSP_RETURN_ID, id);
}

FMOD_RESULT ReturnProcessor::SetInt(int index, int value) noexcept {
  if (index == FMOD_DSP_RETURN_ID) return FMOD_ERR_INVALID_PARAM;  // given by the engine
  return BuiltinProcessor::SetInt(index, value);
}

bool ReturnProcessor::Process(ProcessBlock& block) noexcept {
  if (block.inputIdle) return false;
  PassThrough(block);
  return true;
}

ChannelMixProcessor::ChannelMixProcessor()
    : BuiltinProcessor("Channel Mix", ChannelMixParameters().table, 1 + kMaxWidth) {
  for (auto& g : gains_) g.store(1.0f, std::memory_order_relaxed);
}

void ChannelMixProcessor::Changed(int index) noexcept {
  if (index >= FMOD_DSP_CHANNELMIX_GAIN_CH0 && index < FMOD_DSP_CHANNELMIX_GAIN_CH0 + kMaxWidth)
    gains_[index - FMOD_DSP_CHANNELMIX_GAIN_CH0].store(DecibelsToGain(FloatAt(index)), std::memory_order_relaxed);
}

bool ChannelMixProcessor::Process(ProcessBlock& block) noexcept {
  if (block.inputIdle) return false;
  PassThrough(block);
  const int width = block.outWidth;
  float gains[kMaxWidth];
  for (int c = 0; c < width; ++c) gains[c] = gains_[c].load(std::memory_order_relaxed);
  for (unsigned j = 0; j < block.frames; ++j)
    for (int c = 0; c < width; ++c) block.out[std::size_t(j) * width + c] *= gains[c];
  constexpr Layout kLayouts[] = {Layout::Speakers,   Layout::AllMono,    Layout::AllStereo, Layout::AllQuad,
                                 Layout::All5Point1, Layout::All7Point1, Layout::AllLfe};
  block.outLayout = kLayouts[std::clamp(IntAt(FMOD_DSP_CHANNELMIX_OUTPUTGROUPING), 0, 6)];
  return true;
}

std::unique_ptr<Processor> NewBuiltin(FMOD_DSP_TYPE type, const EffectContext& context, int returnId) {
  switch (type) {
    case FMOD_DSP_TYPE_MIXER: return std::make_unique<MixerProcessor>();
    case FMOD_DSP_TYPE_FADER: return std::make_unique<FaderProcessor>(nullptr);
    case FMOD_DSP_TYPE_OSCILLATOR: return std::make_unique<OscillatorProcessor>(context.sampleRate);
    case FMOD_DSP_TYPE_SEND: return std::make_unique<SendProcessor>();
    case FMOD_DSP_TYPE_RETURN: return std::make_unique<ReturnProcessor>(returnId);
    case FMOD_DSP_TYPE_CHANNELMIX: return std::make_unique<ChannelMixProcessor>();
    default: break;
  }
  using Factory = std::unique_ptr<Processor> (*)(FMOD_DSP_TYPE, const EffectContext&);
  constexpr Factory kFamilies[] = {NewFilterEffect, NewTimeEffect,  NewDynamicsEffect, NewSpectralEffect,
                                   NewReverbEffect, NewMeterEffect, NewRoutingEffect};
  for (Factory family : kFamilies)
    if (std::unique_ptr<Processor> made = family(type, context)) return made;
  return nullptr;
}

}  // namespace sonvel::engine::core
