#include "UserUnit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Log.h"
#include "Objects.h"

namespace sonvel::engine::core {

namespace {

UserProcessor& Of(FMOD_DSP_STATE* state) { return *static_cast<UserProcessor*>(state->instance); }

// ---- The state's functions.

void* F_CALL Alloc(unsigned int size, FMOD_MEMORY_TYPE, const char*) { return std::malloc(size); }
void* F_CALL Realloc(void* pointer, unsigned int size, FMOD_MEMORY_TYPE, const char*) { return std::realloc(pointer, size); }
void F_CALL Free(void* pointer, FMOD_MEMORY_TYPE, const char*) { std::free(pointer); }

FMOD_RESULT F_CALL GetSampleRate(FMOD_DSP_STATE* state, int* rate) {
  if (state == nullptr || rate == nullptr) return FMOD_ERR_INVALID_PARAM;
  *rate = Of(state).host.SampleRate();
  return FMOD_OK;
}

FMOD_RESULT F_CALL GetBlockSize(FMOD_DSP_STATE* state, unsigned int* size) {
  if (state == nullptr || size == nullptr) return FMOD_ERR_INVALID_PARAM;
  *size = Of(state).host.BlockFrames();
  return FMOD_OK;
}

FMOD_RESULT F_CALL GetSpeakerMode(FMOD_DSP_STATE* state, FMOD_SPEAKERMODE* mixer, FMOD_SPEAKERMODE* output) {
  if (state == nullptr) return FMOD_ERR_INVALID_PARAM;
  const FMOD_SPEAKERMODE mode = Of(state).host.SpeakerMode();
  if (mixer != nullptr) *mixer = mode;
  if (output != nullptr) *output = mode;
  return FMOD_OK;
}

FMOD_RESULT F_CALL GetClock(FMOD_DSP_STATE* state, unsigned long long* clock, unsigned int* offset, unsigned int* length) {
  if (state == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::uint64_t c = 0;
  unsigned o = 0, l = 0;
  Of(state).host.Clock(c, o, l);
  if (clock != nullptr) *clock = c;
  if (offset != nullptr) *offset = o;
  if (length != nullptr) *length = l;
  return FMOD_OK;
}

FMOD_RESULT F_CALL GetListenerAttributes(FMOD_DSP_STATE* state, int* count, FMOD_3D_ATTRIBUTES* attributes) {
  if (state == nullptr) return FMOD_ERR_INVALID_PARAM;
  FMOD_3D_ATTRIBUTES all[FMOD_MAX_LISTENERS] = {};
  const int n = Of(state).host.Listeners(all);
  if (count != nullptr) *count = n;
  if (attributes != nullptr) std::copy(all, all + n, attributes);
  return FMOD_OK;
}

FMOD_RESULT F_CALL GetUserData(FMOD_DSP_STATE* state, void** userData) {
  if (state == nullptr || userData == nullptr) return FMOD_ERR_INVALID_PARAM;
  const Unit* unit = Of(state).unit;
  *userData = unit != nullptr ? unit->userData.load(std::memory_order_relaxed) : nullptr;
  return FMOD_OK;
}

void F_CALL Log(FMOD_DEBUG_FLAGS level, const char*, int, const char* function, const char* format, ...) {
  if (format == nullptr) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  log::Write(level, function != nullptr ? function : "dsp", text);
}

// A real discrete Fourier transform of a power-of-two size (radix 2).
bool Transform(std::vector<std::complex<float>>& x, bool inverse) {
  const std::size_t n = x.size();
  if (n == 0 || (n & (n - 1)) != 0) return false;
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (std::size_t length = 2; length <= n; length <<= 1) {
    const double angle = (inverse ? 2.0 : -2.0) * 3.14159265358979323846 / double(length);
    const std::complex<float> step(float(std::cos(angle)), float(std::sin(angle)));
    for (std::size_t i = 0; i < n; i += length) {
      std::complex<float> w(1.0f, 0.0f);
      for (std::size_t k = 0; k < length / 2; ++k) {
        const std::complex<float> u = x[i + k], v = x[i + k + length / 2] * w;
        x[i + k] = u + v;
        x[i + k + length / 2] = u - v;
        w *= step;
      }
    }
  }
  return true;
}

FMOD_RESULT F_CALL FftReal(FMOD_DSP_STATE*, int size, const float* signal, FMOD_COMPLEX* dft, const float* window,
                          int hop) {
  if (size <= 0 || signal == nullptr || dft == nullptr) return FMOD_ERR_INVALID_PARAM;
  auto x = std::vector<std::complex<float>>(std::size_t(size));
  for (int i = 0; i < size; ++i)
    x[std::size_t(i)] = {signal[std::size_t(i) * std::size_t(std::max(hop, 1))] * (window != nullptr ? window[i] : 1.0f),
                         0.0f};
  if (!Transform(x, false)) return FMOD_ERR_INVALID_PARAM;
  for (int i = 0; i < size; ++i) dft[i] = {x[std::size_t(i)].real(), x[std::size_t(i)].imag()};
  return FMOD_OK;
}

FMOD_RESULT F_CALL InverseFftReal(FMOD_DSP_STATE*, int size, const FMOD_COMPLEX* dft, float* signal, const float* window,
                                 int hop) {
  if (size <= 0 || signal == nullptr || dft == nullptr) return FMOD_ERR_INVALID_PARAM;
  auto x = std::vector<std::complex<float>>(std::size_t(size));
  for (int i = 0; i < size; ++i) x[std::size_t(i)] = {dft[i].real, dft[i].imag};
  if (!Transform(x, true)) return FMOD_ERR_INVALID_PARAM;
  for (int i = 0; i < size; ++i)
    signal[std::size_t(i) * std::size_t(std::max(hop, 1))] =
        x[std::size_t(i)].real() / float(size) * (window != nullptr ? window[i] : 1.0f);
  return FMOD_OK;
}

// The pan helpers are not offered: each answers that it is not supported.
FMOD_RESULT F_CALL NoMonoMatrix(FMOD_DSP_STATE*, FMOD_SPEAKERMODE, float, float, float*) { return FMOD_ERR_UNSUPPORTED; }
FMOD_RESULT F_CALL NoStereoMatrix(FMOD_DSP_STATE*, FMOD_SPEAKERMODE, float, float, float, int, float*) {
  return FMOD_ERR_UNSUPPORTED;
}
FMOD_RESULT F_CALL NoSurroundMatrix(FMOD_DSP_STATE*, FMOD_SPEAKERMODE, FMOD_SPEAKERMODE, float, float, float, float,
                                    float, int, float*, FMOD_DSP_PAN_SURROUND_FLAGS) {
  return FMOD_ERR_UNSUPPORTED;
}
FMOD_RESULT F_CALL NoMonoToSurround(FMOD_DSP_STATE*, FMOD_SPEAKERMODE, float, float, float, float, int, float*) {
  return FMOD_ERR_UNSUPPORTED;
}
FMOD_RESULT F_CALL NoStereoToSurround(FMOD_DSP_STATE*, FMOD_SPEAKERMODE, float, float, float, float, float, int,
                                      float*) {
  return FMOD_ERR_UNSUPPORTED;
}
FMOD_RESULT F_CALL NoRolloff(FMOD_DSP_STATE*, FMOD_DSP_PAN_3D_ROLLOFF_TYPE, float, float, float, float*) {
  return FMOD_ERR_UNSUPPORTED;
}

FMOD_DSP_STATE_DFT_FUNCTIONS gDft{&FftReal, &InverseFftReal};
FMOD_DSP_STATE_PAN_FUNCTIONS gPan{&NoMonoMatrix,     &NoStereoMatrix,     &NoSurroundMatrix,
                                  &NoMonoToSurround, &NoStereoToSurround, &NoRolloff};
FMOD_DSP_STATE_FUNCTIONS gFunctions{&Alloc,          &Realloc,         &Free,  &GetSampleRate,
                                    &GetBlockSize,   &gDft,            &gPan,  &GetSpeakerMode,
                                    &GetClock,       &GetListenerAttributes, &Log, &GetUserData};

bool ValidType(FMOD_DSP_PARAMETER_TYPE type) {
  return type >= FMOD_DSP_PARAMETER_TYPE_FLOAT && type < FMOD_DSP_PARAMETER_TYPE_MAX;
}

// Writes a value's text when the callback left it empty.
void FillText(char* text, const char* format, double value) {
  if (text != nullptr && text[0] == '\0') std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, format, value);
}

}  // namespace

FMOD_RESULT CheckDescription(const FMOD_DSP_DESCRIPTION* d) noexcept {
  if (d == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (d->pluginsdkversion != FMOD_PLUGIN_SDK_VERSION) return FMOD_ERR_PLUGIN_VERSION;
  if (d->numinputbuffers < 0 || d->numinputbuffers > 1 || d->numoutputbuffers < 0 || d->numoutputbuffers > 1)
    return FMOD_ERR_INVALID_PARAM;
  if (d->numparameters < 0 || d->numparameters > 4096) return FMOD_ERR_INVALID_PARAM;
  if (d->numparameters > 0 && d->paramdesc == nullptr) return FMOD_ERR_INVALID_PARAM;
  for (int i = 0; i < d->numparameters; ++i)
    if (d->paramdesc[i] == nullptr || !ValidType(d->paramdesc[i]->type)) return FMOD_ERR_INVALID_PARAM;
  return FMOD_OK;
}

UserProcessor::UserProcessor(const FMOD_DSP_DESCRIPTION& description, Host& host)
    : host(host), description_(description) {
  description_.name[sizeof description_.name - 1] = '\0';
  state_.instance = this;
  state_.functions = &gFunctions;
  state_.source_speakermode = host.SpeakerMode();
  state_.systemobject = host.SystemIndex();
}

FMOD_RESULT UserProcessor::Created(Unit& owner) noexcept {
  unit = &owner;
  owner.userData.store(description_.userdata, std::memory_order_relaxed);
  if (description_.create != nullptr) {
    const FMOD_RESULT result = description_.create(&state_);
    if (result != FMOD_OK) return result;
  }
  created_ = true;
  return FMOD_OK;
}

void UserProcessor::Releasing() noexcept {
  if (created_ && description_.release != nullptr) description_.release(&state_);
  created_ = false;
}

void UserProcessor::Reset() noexcept {
  if (description_.reset != nullptr) description_.reset(&state_);
}

void UserProcessor::SetPosition(unsigned position) noexcept {
  if (description_.setposition != nullptr) description_.setposition(&state_, position);
}

bool UserProcessor::Process(ProcessBlock& block) noexcept {
  const int width = std::min(block.inWidth, block.capacity);
  const FMOD_SPEAKERMODE mode = SpeakerModeOf(block.inWidth);
  state_.sidechaindata = const_cast<float*>(block.side);
  state_.sidechainchannels = block.side != nullptr ? block.sideWidth : 0;
  state_.source_speakermode = mode;
  if (description_.read != nullptr) {
    if (description_.shouldiprocess != nullptr &&
        description_.shouldiprocess(&state_, block.inputIdle ? 1 : 0, block.frames, 0, block.inWidth, mode) != FMOD_OK)
      return false;
    int outChannels = width;
    if (description_.read(&state_, const_cast<float*>(block.in), block.out, block.frames, block.inWidth,
                          &outChannels) != FMOD_OK)
      return false;
    block.outWidth = std::clamp(outChannels, 1, block.capacity);
    return true;
  }
  if (description_.process != nullptr) {
    int inChannels = block.inWidth, outChannels = width;
    FMOD_CHANNELMASK inMask = 0, outMask = 0;
    float* inBuffer = const_cast<float*>(block.in);
    float* outBuffer = block.out;
    FMOD_DSP_BUFFER_ARRAY in{description_.numinputbuffers, &inChannels, &inMask, &inBuffer, mode};
    FMOD_DSP_BUFFER_ARRAY out{1, &outChannels, &outMask, &outBuffer, mode};
    const FMOD_BOOL idle = block.inputIdle ? 1 : 0;
    if (description_.process(&state_, block.frames, &in, &out, idle, FMOD_DSP_PROCESS_QUERY) != FMOD_OK) return false;
    // The unit asks for its output width in the query; the buffer is as
    // wide as any signal in the engine.
    outChannels = std::clamp(outChannels, 1, block.capacity);
    if (description_.process(&state_, block.frames, &in, &out, idle, FMOD_DSP_PROCESS_PERFORM) != FMOD_OK) return false;
    block.outWidth = outChannels;
    return true;
  }
  // Neither callback: the input passes through.
  if (block.inputIdle) return false;
  block.outWidth = width;
  for (unsigned j = 0; j < block.frames; ++j)
    for (int c = 0; c < width; ++c) block.out[std::size_t(j) * width + c] = block.in[std::size_t(j) * block.inWidth + c];
  return true;
}

const FMOD_DSP_PARAMETER_DESC* UserProcessor::Parameter(int index) const noexcept {
  return index >= 0 && index < description_.numparameters ? description_.paramdesc[index] : nullptr;
}

bool UserProcessor::Is(int index, FMOD_DSP_PARAMETER_TYPE type) const noexcept {
  const FMOD_DSP_PARAMETER_DESC* d = Parameter(index);
  return d != nullptr && d->type == type;
}

FMOD_RESULT UserProcessor::SetFloat(int index, float value) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_FLOAT)) return FMOD_ERR_INVALID_PARAM;
  if (!std::isfinite(value)) return FMOD_ERR_INVALID_FLOAT;
  const FMOD_DSP_PARAMETER_DESC_FLOAT& d = description_.paramdesc[index]->floatdesc;
  if (value < d.min || value > d.max) return FMOD_ERR_INVALID_PARAM;
  if (description_.setparameterfloat == nullptr) return FMOD_ERR_UNSUPPORTED;
  return description_.setparameterfloat(&state_, index, value);
}

FMOD_RESULT UserProcessor::SetInt(int index, int value) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_INT)) return FMOD_ERR_INVALID_PARAM;
  const FMOD_DSP_PARAMETER_DESC_INT& d = description_.paramdesc[index]->intdesc;
  if (value < d.min || value > d.max) return FMOD_ERR_INVALID_PARAM;
  if (description_.setparameterint == nullptr) return FMOD_ERR_UNSUPPORTED;
  return description_.setparameterint(&state_, index, value);
}

FMOD_RESULT UserProcessor::SetBool(int index, bool value) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_BOOL)) return FMOD_ERR_INVALID_PARAM;
  if (description_.setparameterbool == nullptr) return FMOD_ERR_UNSUPPORTED;
  return description_.setparameterbool(&state_, index, value ? 1 : 0);
}

FMOD_RESULT UserProcessor::SetData(int index, void* data, unsigned length) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_DATA)) return FMOD_ERR_INVALID_PARAM;
  if (description_.setparameterdata == nullptr) return FMOD_ERR_UNSUPPORTED;
  return description_.setparameterdata(&state_, index, data, length);
}

FMOD_RESULT UserProcessor::GetFloat(int index, float* value, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_FLOAT)) return FMOD_ERR_INVALID_PARAM;
  if (description_.getparameterfloat == nullptr) return FMOD_ERR_UNSUPPORTED;
  float v = 0.0f;
  const FMOD_RESULT result = description_.getparameterfloat(&state_, index, &v, text);
  if (result != FMOD_OK) return result;
  if (value != nullptr) *value = v;
  FillText(text, "%.2f", double(v));
  return FMOD_OK;
}

FMOD_RESULT UserProcessor::GetInt(int index, int* value, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_INT)) return FMOD_ERR_INVALID_PARAM;
  if (description_.getparameterint == nullptr) return FMOD_ERR_UNSUPPORTED;
  int v = 0;
  const FMOD_RESULT result = description_.getparameterint(&state_, index, &v, text);
  if (result != FMOD_OK) return result;
  if (value != nullptr) *value = v;
  const FMOD_DSP_PARAMETER_DESC_INT& d = description_.paramdesc[index]->intdesc;
  if (text != nullptr && text[0] == '\0' && d.valuenames != nullptr && v >= d.min && v <= d.max &&
      d.valuenames[v - d.min] != nullptr)
    std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", d.valuenames[v - d.min]);
  FillText(text, "%.0f", double(v));
  return FMOD_OK;
}

FMOD_RESULT UserProcessor::GetBool(int index, bool* value, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_BOOL)) return FMOD_ERR_INVALID_PARAM;
  if (description_.getparameterbool == nullptr) return FMOD_ERR_UNSUPPORTED;
  FMOD_BOOL v = 0;
  const FMOD_RESULT result = description_.getparameterbool(&state_, index, &v, text);
  if (result != FMOD_OK) return result;
  if (value != nullptr) *value = v != 0;
  if (text != nullptr && text[0] == '\0') std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", v ? "On" : "Off");
  return FMOD_OK;
}

FMOD_RESULT UserProcessor::GetData(int index, void** data, unsigned* length, char* text) noexcept {
  if (!Is(index, FMOD_DSP_PARAMETER_TYPE_DATA)) return FMOD_ERR_INVALID_PARAM;
  if (description_.getparameterdata == nullptr) return FMOD_ERR_UNSUPPORTED;
  void* d = nullptr;
  unsigned n = 0;
  const FMOD_RESULT result = description_.getparameterdata(&state_, index, &d, &n, text);
  if (result != FMOD_OK) return result;
  if (data != nullptr) *data = d;
  if (length != nullptr) *length = n;
  return FMOD_OK;
}

void UserProcessor::Describe(char* name, unsigned& version, int& channels) const noexcept {
  std::snprintf(name, 32, "%s", description_.name);
  version = description_.version;
  channels = 0;
}

}  // namespace sonvel::engine::core
