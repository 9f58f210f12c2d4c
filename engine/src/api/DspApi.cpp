// The FMOD_DSP_* entry points and the system's DSP factories: units made
// from a caller's description or a built-in type, their place in the graph,
// their settings, parameters and meters.
//
// Every call finds the unit behind its handle (30 for anything else) and
// works under its graph's mutex; a caller's parameter callbacks run there,
// on the caller's thread.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Builtins.h"
#include "Log.h"
#include "Registry.h"
#include "System.h"
#include "UserUnit.h"

namespace sonvel::engine {
namespace {

using core::Unit;

// A unit found by its handle, with its graph's mutex held.
struct UnitAccess {
  std::shared_ptr<Unit> unit;
  std::shared_ptr<core::Engine> engine;
  std::unique_lock<std::mutex> lock;
  Unit* operator->() const noexcept { return unit.get(); }
  core::Graph& graph() const noexcept { return engine->graph; }
};

FMOD_RESULT Open(FMOD_DSP* handle, UnitAccess& out) {
  out.unit = Dsps().Find(handle);
  if (!out.unit) return FMOD_ERR_INVALID_HANDLE;
  out.engine = out.unit->engine.lock();
  if (!out.engine) return FMOD_ERR_INVALID_HANDLE;
  out.lock = std::unique_lock(out.engine->graph.mutex);
  if (!out.engine->graph.Running() || out.unit->api.gone) return FMOD_ERR_INVALID_HANDLE;
  return FMOD_OK;
}

template <typename F>
FMOD_RESULT With(FMOD_DSP* handle, F&& f) {
  UnitAccess u;
  if (const FMOD_RESULT found = Open(handle, u); found != FMOD_OK) return found;
  return f(u);
}

// Another unit of the same engine, or the result for one that is not.
FMOD_RESULT Other(const UnitAccess& u, FMOD_DSP* handle, std::shared_ptr<Unit>& other) {
  other = Dsps().Find(handle);
  if (!other || other->api.gone) return FMOD_ERR_INVALID_HANDLE;
  if (other->engine.lock() != u.engine) return FMOD_ERR_INVALID_PARAM;
  return FMOD_OK;
}

// ---- Factories

FMOD_RESULT CreateDSP(FMOD_SYSTEM* system, const FMOD_DSP_DESCRIPTION* description, FMOD_DSP** dsp) {
  std::shared_ptr<core::Engine> engine;
  if (!Systems().Find(system)) return FMOD_ERR_INVALID_HANDLE;
  if (dsp == nullptr) return FMOD_ERR_INVALID_PARAM;
  *dsp = nullptr;
  if (const FMOD_RESULT checked = core::CheckDescription(description); checked != FMOD_OK) return checked;
  if (const FMOD_RESULT found = RunningEngine(system, engine); found != FMOD_OK) return found;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;
  std::shared_ptr<Unit> unit;
  auto processor = std::make_unique<core::UserProcessor>(*description, *engine);
  if (const FMOD_RESULT made = engine->graph.NewUnit(std::move(processor), FMOD_DSP_TYPE_UNKNOWN, unit);
      made != FMOD_OK)
    return made;
  *dsp = unit->handle;
  return FMOD_OK;
}

FMOD_RESULT CreateDSPByType(FMOD_SYSTEM* system, FMOD_DSP_TYPE type, FMOD_DSP** dsp) {
  std::shared_ptr<core::Engine> engine;
  if (!Systems().Find(system)) return FMOD_ERR_INVALID_HANDLE;
  if (dsp == nullptr) return FMOD_ERR_INVALID_PARAM;
  *dsp = nullptr;
  if (int(type) <= int(FMOD_DSP_TYPE_UNKNOWN) || int(type) >= int(FMOD_DSP_TYPE_MAX)) return FMOD_ERR_INVALID_PARAM;
  if (type == FMOD_DSP_TYPE_VSTPLUGIN || type == FMOD_DSP_TYPE_WINAMPPLUGIN) {
    log::Error("CreateDSPByType", type == FMOD_DSP_TYPE_VSTPLUGIN
                                      ? "VST plug-ins are not available on this platform"
                                      : "Winamp plug-ins are not available on this platform");
    return FMOD_ERR_PLUGIN_MISSING;
  }
  if (const FMOD_RESULT found = RunningEngine(system, engine); found != FMOD_OK) return found;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;
  const int returnId = type == FMOD_DSP_TYPE_RETURN ? engine->graph.NextReturnId() : -1;
  std::unique_ptr<core::Processor> processor = core::NewBuiltin(type, engine->Effects(), returnId);
  if (!processor) return FMOD_ERR_PLUGIN_MISSING;  // a type this engine does not have
  std::shared_ptr<Unit> unit;
  if (const FMOD_RESULT made = engine->graph.NewUnit(std::move(processor), type, unit); made != FMOD_OK) return made;
  *dsp = unit->handle;
  return FMOD_OK;
}

// ---- Identity and lifetime

FMOD_RESULT Release(FMOD_DSP* dsp) {
  return With(dsp, [&](UnitAccess& u) { return u.graph().ReleaseUnit(*u.unit); });
}

FMOD_RESULT GetSystemObject(FMOD_DSP* dsp, FMOD_SYSTEM** system) {
  return With(dsp, [&](UnitAccess& u) {
    if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
    *system = u->systemHandle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetType(FMOD_DSP* dsp, FMOD_DSP_TYPE* type) {
  return With(dsp, [&](UnitAccess& u) {
    if (type == nullptr) return FMOD_ERR_INVALID_PARAM;
    *type = u->type;
    return FMOD_OK;
  });
}

FMOD_RESULT GetInfo(FMOD_DSP* dsp, char* name, unsigned int* version, int* channels, int* configWidth,
                    int* configHeight) {
  return With(dsp, [&](UnitAccess& u) {
    char own[32] = {};
    unsigned ownVersion = 0;
    int ownChannels = 0;
    u->processor->Describe(own, ownVersion, ownChannels);
    if (name != nullptr) std::memcpy(name, own, sizeof own);  // the caller's buffer holds 32 bytes
    if (version != nullptr) *version = ownVersion;
    if (channels != nullptr) *channels = ownChannels;
    if (configWidth != nullptr) *configWidth = 0;
    if (configHeight != nullptr) *configHeight = 0;
    return FMOD_OK;
  });
}

FMOD_RESULT ShowConfigDialog(FMOD_DSP* dsp, void* /*hwnd*/, FMOD_BOOL /*show*/) {
  // No unit of this engine has a dialog of its own.
  return With(dsp, [&](UnitAccess&) { return FMOD_ERR_UNSUPPORTED; });
}

FMOD_RESULT SetUserData(FMOD_DSP* dsp, void* userData) {
  return With(dsp, [&](UnitAccess& u) {
    u->userData.store(userData, std::memory_order_relaxed);
    return FMOD_OK;
  });
}

FMOD_RESULT GetUserData(FMOD_DSP* dsp, void** userData) {
  return With(dsp, [&](UnitAccess& u) {
    if (userData == nullptr) return FMOD_ERR_INVALID_PARAM;
    *userData = u->userData.load(std::memory_order_relaxed);
    return FMOD_OK;
  });
}

// ---- Connections

FMOD_RESULT AddInput(FMOD_DSP* dsp, FMOD_DSP* input, FMOD_DSPCONNECTION** connection, FMOD_DSPCONNECTION_TYPE type) {
  if (connection != nullptr) *connection = nullptr;
  return With(dsp, [&](UnitAccess& u) {
    std::shared_ptr<Unit> in;
    if (const FMOD_RESULT found = Other(u, input, in); found != FMOD_OK) return found;
    core::Connection* made = nullptr;
    if (const FMOD_RESULT result = u.graph().AddInput(*u.unit, *in, type, made); result != FMOD_OK) return result;
    if (connection != nullptr) *connection = made->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT DisconnectFrom(FMOD_DSP* dsp, FMOD_DSP* target, FMOD_DSPCONNECTION* connection) {
  return With(dsp, [&](UnitAccess& u) {
    std::shared_ptr<Unit> other;
    if (target != nullptr)
      if (const FMOD_RESULT found = Other(u, target, other); found != FMOD_OK) return found;
    std::shared_ptr<core::Connection> c;
    if (connection != nullptr) {
      c = DspConnections().Find(connection);
      if (!c || c->api.gone) return FMOD_ERR_INVALID_HANDLE;
    }
    return u.graph().Disconnect(*u.unit, other.get(), c.get());
  });
}

FMOD_RESULT DisconnectAll(FMOD_DSP* dsp, FMOD_BOOL inputs, FMOD_BOOL outputs) {
  return With(dsp, [&](UnitAccess& u) { return u.graph().DisconnectAll(*u.unit, inputs != 0, outputs != 0); });
}

FMOD_RESULT GetNumInputs(FMOD_DSP* dsp, int* count) {
  return With(dsp, [&](UnitAccess& u) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = int(u->api.inputs.size());
    return FMOD_OK;
  });
}

FMOD_RESULT GetNumOutputs(FMOD_DSP* dsp, int* count) {
  return With(dsp, [&](UnitAccess& u) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = int(u->api.outputs.size());
    return FMOD_OK;
  });
}

FMOD_RESULT GetInput(FMOD_DSP* dsp, int index, FMOD_DSP** input, FMOD_DSPCONNECTION** connection) {
  if (input != nullptr) *input = nullptr;
  if (connection != nullptr) *connection = nullptr;
  return With(dsp, [&](UnitAccess& u) {
    const auto& inputs = u->api.inputs;
    if (index < 0 || index >= int(inputs.size())) return FMOD_ERR_INVALID_PARAM;
    const core::Connection& c = *inputs[std::size_t(index)];
    if (input != nullptr) *input = c.api.input->handle;
    if (connection != nullptr) *connection = c.handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetOutput(FMOD_DSP* dsp, int index, FMOD_DSP** output, FMOD_DSPCONNECTION** connection) {
  if (output != nullptr) *output = nullptr;
  if (connection != nullptr) *connection = nullptr;
  return With(dsp, [&](UnitAccess& u) {
    const auto& outputs = u->api.outputs;
    if (index < 0 || index >= int(outputs.size())) return FMOD_ERR_INVALID_PARAM;
    const core::Connection& c = *outputs[std::size_t(index)];
    if (output != nullptr) *output = c.api.output->handle;
    if (connection != nullptr) *connection = c.handle;
    return FMOD_OK;
  });
}

// ---- Settings

// Changes a unit's settings through `f` and publishes them.
template <typename F>
FMOD_RESULT Edit(FMOD_DSP* dsp, F&& f) {
  return With(dsp, [&](UnitAccess& u) {
    const FMOD_RESULT result = f(u->api.settings);
    if (result == FMOD_OK) u.graph().Publish(*u.unit);
    return result;
  });
}

FMOD_RESULT SetActive(FMOD_DSP* dsp, FMOD_BOOL active) {
  return Edit(dsp, [&](core::UnitSettings& s) {
    s.active = active != 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetActive(FMOD_DSP* dsp, FMOD_BOOL* active) {
  return With(dsp, [&](UnitAccess& u) {
    if (active == nullptr) return FMOD_ERR_INVALID_PARAM;
    *active = u->api.settings.active ? 1 : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT SetBypass(FMOD_DSP* dsp, FMOD_BOOL bypass) {
  return Edit(dsp, [&](core::UnitSettings& s) {
    s.bypass = bypass != 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetBypass(FMOD_DSP* dsp, FMOD_BOOL* bypass) {
  return With(dsp, [&](UnitAccess& u) {
    if (bypass == nullptr) return FMOD_ERR_INVALID_PARAM;
    *bypass = u->api.settings.bypass ? 1 : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT SetWetDryMix(FMOD_DSP* dsp, float preWet, float postWet, float dry) {
  return Edit(dsp, [&](core::UnitSettings& s) {
    if (!std::isfinite(preWet) || !std::isfinite(postWet) || !std::isfinite(dry)) return FMOD_ERR_INVALID_FLOAT;
    s.preWet = preWet;
    s.postWet = postWet;
    s.dry = dry;
    return FMOD_OK;
  });
}

FMOD_RESULT GetWetDryMix(FMOD_DSP* dsp, float* preWet, float* postWet, float* dry) {
  return With(dsp, [&](UnitAccess& u) {
    if (preWet == nullptr && postWet == nullptr && dry == nullptr) return FMOD_ERR_INVALID_PARAM;
    const core::UnitSettings& s = u->api.settings;
    if (preWet != nullptr) *preWet = s.preWet;
    if (postWet != nullptr) *postWet = s.postWet;
    if (dry != nullptr) *dry = s.dry;
    return FMOD_OK;
  });
}

bool KnownMode(FMOD_SPEAKERMODE mode) { return int(mode) >= 0 && mode < FMOD_SPEAKERMODE_MAX; }

FMOD_RESULT SetChannelFormat(FMOD_DSP* dsp, FMOD_CHANNELMASK mask, int channels, FMOD_SPEAKERMODE mode) {
  return With(dsp, [&](UnitAccess& u) {
    if (channels < 0 || channels > FMOD_MAX_CHANNEL_WIDTH || !KnownMode(mode)) return FMOD_ERR_INVALID_PARAM;
    // A speaker mode alone names its width.
    if (channels == 0 && mode != FMOD_SPEAKERMODE_DEFAULT && mode != FMOD_SPEAKERMODE_RAW)
      channels = core::SpeakerModeChannels(mode);
    if (u->role == core::Role::Free && channels > 0)
      if (const FMOD_RESULT grown = u.graph().EnsureCapacity(*u.unit, channels); grown != FMOD_OK) return grown;
    core::UnitSettings& s = u->api.settings;
    s.formatChannels = channels;
    s.formatMask = mask;
    s.formatMode = mode;
    u.graph().Publish(*u.unit);
    return FMOD_OK;
  });
}

FMOD_RESULT GetChannelFormat(FMOD_DSP* dsp, FMOD_CHANNELMASK* mask, int* channels, FMOD_SPEAKERMODE* mode) {
  return With(dsp, [&](UnitAccess& u) {
    const core::UnitSettings& s = u->api.settings;
    if (mask != nullptr) *mask = s.formatMask;
    if (channels != nullptr) *channels = s.formatChannels;
    if (mode != nullptr) *mode = s.formatMode;
    return FMOD_OK;
  });
}

FMOD_RESULT GetOutputChannelFormat(FMOD_DSP* dsp, FMOD_CHANNELMASK inMask, int inChannels, FMOD_SPEAKERMODE inMode,
                                   FMOD_CHANNELMASK* outMask, int* outChannels, FMOD_SPEAKERMODE* outMode) {
  return With(dsp, [&](UnitAccess& u) {
    if (inChannels < 0 || inChannels > FMOD_MAX_CHANNEL_WIDTH || !KnownMode(inMode)) return FMOD_ERR_INVALID_PARAM;
    FMOD_CHANNELMASK mask = 0;
    int channels = 0;
    FMOD_SPEAKERMODE mode = FMOD_SPEAKERMODE_DEFAULT;
    u->processor->OutputFormat(inMask, inChannels, inMode, mask, channels, mode);
    if (outMask != nullptr) *outMask = mask;
    if (outChannels != nullptr) *outChannels = channels;
    if (outMode != nullptr) *outMode = mode;
    return FMOD_OK;
  });
}

FMOD_RESULT Reset(FMOD_DSP* dsp) {
  return With(dsp, [&](UnitAccess& u) { return u.graph().ResetUnit(*u.unit); });
}

FMOD_RESULT GetIdle(FMOD_DSP* dsp, FMOD_BOOL* idle) {
  return With(dsp, [&](UnitAccess& u) {
    if (idle == nullptr) return FMOD_ERR_INVALID_PARAM;
    *idle = u->idle.load(std::memory_order_relaxed) ? 1 : 0;
    return FMOD_OK;
  });
}

// ---- Parameters

FMOD_RESULT GetNumParameters(FMOD_DSP* dsp, int* count) {
  return With(dsp, [&](UnitAccess& u) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = u->processor->NumParameters();
    return FMOD_OK;
  });
}

FMOD_RESULT GetParameterInfo(FMOD_DSP* dsp, int index, FMOD_DSP_PARAMETER_DESC** desc) {
  return With(dsp, [&](UnitAccess& u) {
    if (desc == nullptr) return FMOD_ERR_INVALID_PARAM;
    const FMOD_DSP_PARAMETER_DESC* found = u->processor->Parameter(index);
    if (found == nullptr) return FMOD_ERR_INVALID_PARAM;
    *desc = const_cast<FMOD_DSP_PARAMETER_DESC*>(found);
    return FMOD_OK;
  });
}

FMOD_RESULT GetDataParameterIndex(FMOD_DSP* dsp, int dataType, int* index) {
  return With(dsp, [&](UnitAccess& u) {
    if (index == nullptr) return FMOD_ERR_INVALID_PARAM;
    const core::Processor& processor = *u->processor;
    for (int i = 0; i < processor.NumParameters(); ++i) {
      const FMOD_DSP_PARAMETER_DESC* d = processor.Parameter(i);
      if (d != nullptr && d->type == FMOD_DSP_PARAMETER_TYPE_DATA && d->datadesc.datatype == dataType) {
        *index = i;
        return FMOD_OK;
      }
    }
    return FMOD_ERR_INVALID_PARAM;  // no parameter of that data type
  });
}

// Sets a parameter through `f` (the processor's setter), then lets the
// graph follow what the parameter means to it.
template <typename F>
FMOD_RESULT SetParameter(FMOD_DSP* dsp, int index, F&& f) {
  return With(dsp, [&](UnitAccess& u) {
    const FMOD_RESULT result = f(*u->processor);
    if (result == FMOD_OK) u.graph().ParameterChanged(*u.unit, index);
    return result;
  });
}

FMOD_RESULT SetParameterFloat(FMOD_DSP* dsp, int index, float value) {
  return SetParameter(dsp, index, [&](core::Processor& p) { return p.SetFloat(index, value); });
}
FMOD_RESULT SetParameterInt(FMOD_DSP* dsp, int index, int value) {
  return SetParameter(dsp, index, [&](core::Processor& p) { return p.SetInt(index, value); });
}
FMOD_RESULT SetParameterBool(FMOD_DSP* dsp, int index, FMOD_BOOL value) {
  return SetParameter(dsp, index, [&](core::Processor& p) { return p.SetBool(index, value != 0); });
}
FMOD_RESULT SetParameterData(FMOD_DSP* dsp, int index, void* data, unsigned int length) {
  return SetParameter(dsp, index, [&](core::Processor& p) { return p.SetData(index, data, length); });
}

// Gets a parameter through `f` with a text buffer of the engine's size, and
// hands the caller as much of the text as its buffer holds.
template <typename F>
FMOD_RESULT GetParameter(FMOD_DSP* dsp, char* text, int textLength, F&& f) {
  return With(dsp, [&](UnitAccess& u) {
    if (text != nullptr && textLength < 0) return FMOD_ERR_INVALID_PARAM;
    char own[FMOD_DSP_GETPARAM_VALUESTR_LENGTH + 1] = {};
    const FMOD_RESULT result = f(*u->processor, own);
    if (result != FMOD_OK) return result;
    own[FMOD_DSP_GETPARAM_VALUESTR_LENGTH] = '\0';
    if (text != nullptr && textLength > 0) CopyName(own, text, textLength);
    return FMOD_OK;
  });
}

FMOD_RESULT GetParameterFloat(FMOD_DSP* dsp, int index, float* value, char* text, int textLength) {
  return GetParameter(dsp, text, textLength, [&](core::Processor& p, char* own) { return p.GetFloat(index, value, own); });
}

FMOD_RESULT GetParameterInt(FMOD_DSP* dsp, int index, int* value, char* text, int textLength) {
  return GetParameter(dsp, text, textLength, [&](core::Processor& p, char* own) { return p.GetInt(index, value, own); });
}

FMOD_RESULT GetParameterBool(FMOD_DSP* dsp, int index, FMOD_BOOL* value, char* text, int textLength) {
  return GetParameter(dsp, text, textLength, [&](core::Processor& p, char* own) {
    bool v = false;
    const FMOD_RESULT result = p.GetBool(index, &v, own);
    if (result == FMOD_OK && value != nullptr) *value = v ? 1 : 0;
    return result;
  });
}

FMOD_RESULT GetParameterData(FMOD_DSP* dsp, int index, void** data, unsigned int* length, char* text, int textLength) {
  return GetParameter(dsp, text, textLength,
                      [&](core::Processor& p, char* own) { return p.GetData(index, data, length, own); });
}

// ---- Metering

FMOD_RESULT SetMeteringEnabled(FMOD_DSP* dsp, FMOD_BOOL input, FMOD_BOOL output) {
  return Edit(dsp, [&](core::UnitSettings& s) {
    s.meterInput = input != 0;
    s.meterOutput = output != 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetMeteringEnabled(FMOD_DSP* dsp, FMOD_BOOL* input, FMOD_BOOL* output) {
  return With(dsp, [&](UnitAccess& u) {
    if (input == nullptr && output == nullptr) return FMOD_ERR_INVALID_PARAM;
    if (input != nullptr) *input = u->api.settings.meterInput ? 1 : 0;
    if (output != nullptr) *output = u->api.settings.meterOutput ? 1 : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetMeteringInfo(FMOD_DSP* dsp, FMOD_DSP_METERING_INFO* input, FMOD_DSP_METERING_INFO* output) {
  return With(dsp, [&](UnitAccess& u) {
    if (input == nullptr && output == nullptr) return FMOD_ERR_INVALID_PARAM;
    // The last block the mixer metered; zeros while a side is off.
    const core::UnitSettings& s = u->api.settings;
    if (input != nullptr) *input = s.meterInput ? u->inputMeter.Read() : FMOD_DSP_METERING_INFO{};
    if (output != nullptr) *output = s.meterOutput ? u->outputMeter.Read() : FMOD_DSP_METERING_INFO{};
    return FMOD_OK;
  });
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_System_CreateDSP = &CreateDSP;
  t.FMOD_System_CreateDSPByType = &CreateDSPByType;
  t.FMOD_DSP_Release = &Release;
  t.FMOD_DSP_GetSystemObject = &GetSystemObject;
  t.FMOD_DSP_AddInput = &AddInput;
  t.FMOD_DSP_DisconnectFrom = &DisconnectFrom;
  t.FMOD_DSP_DisconnectAll = &DisconnectAll;
  t.FMOD_DSP_GetNumInputs = &GetNumInputs;
  t.FMOD_DSP_GetNumOutputs = &GetNumOutputs;
  t.FMOD_DSP_GetInput = &GetInput;
  t.FMOD_DSP_GetOutput = &GetOutput;
  t.FMOD_DSP_SetActive = &SetActive;
  t.FMOD_DSP_GetActive = &GetActive;
  t.FMOD_DSP_SetBypass = &SetBypass;
  t.FMOD_DSP_GetBypass = &GetBypass;
  t.FMOD_DSP_SetWetDryMix = &SetWetDryMix;
  t.FMOD_DSP_GetWetDryMix = &GetWetDryMix;
  t.FMOD_DSP_SetChannelFormat = &SetChannelFormat;
  t.FMOD_DSP_GetChannelFormat = &GetChannelFormat;
  t.FMOD_DSP_GetOutputChannelFormat = &GetOutputChannelFormat;
  t.FMOD_DSP_Reset = &Reset;
  t.FMOD_DSP_SetParameterFloat = &SetParameterFloat;
  t.FMOD_DSP_SetParameterInt = &SetParameterInt;
  t.FMOD_DSP_SetParameterBool = &SetParameterBool;
  t.FMOD_DSP_SetParameterData = &SetParameterData;
  t.FMOD_DSP_GetParameterFloat = &GetParameterFloat;
  t.FMOD_DSP_GetParameterInt = &GetParameterInt;
  t.FMOD_DSP_GetParameterBool = &GetParameterBool;
  t.FMOD_DSP_GetParameterData = &GetParameterData;
  t.FMOD_DSP_GetNumParameters = &GetNumParameters;
  t.FMOD_DSP_GetParameterInfo = &GetParameterInfo;
  t.FMOD_DSP_GetDataParameterIndex = &GetDataParameterIndex;
  t.FMOD_DSP_ShowConfigDialog = &ShowConfigDialog;
  t.FMOD_DSP_GetInfo = &GetInfo;
  t.FMOD_DSP_GetType = &GetType;
  t.FMOD_DSP_GetIdle = &GetIdle;
  t.FMOD_DSP_SetUserData = &SetUserData;
  t.FMOD_DSP_GetUserData = &GetUserData;
  t.FMOD_DSP_SetMeteringEnabled = &SetMeteringEnabled;
  t.FMOD_DSP_GetMeteringEnabled = &GetMeteringEnabled;
  t.FMOD_DSP_GetMeteringInfo = &GetMeteringInfo;
}};

}  // namespace
}  // namespace sonvel::engine
