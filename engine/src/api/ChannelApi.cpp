// The FMOD_Channel_* and FMOD_ChannelGroup_* entry points. What channels and
// groups share is written once, as templates over the two kinds. Each call
// finds its object, takes its graph's mutex, takes in what the mixer
// reported (so that a channel that ended answers as ended) and then reads or
// changes the object's API side; changed settings are published to the
// mixer as a snapshot, changes to the graph go as commands.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Registry.h"
#include "SoundDetail.h"
#include "System.h"

namespace sonvel::engine {
namespace {

using core::Channel;
using core::Control;
using core::ControlSettings;
using core::Group;

// A channel or group found by its handle, with its graph's mutex held for
// the length of the call.
template <typename T>
struct Access {
  std::shared_ptr<T> object;
  std::shared_ptr<core::Engine> engine;
  std::unique_lock<std::mutex> lock;
  T* operator->() const noexcept { return object.get(); }
  core::Graph& graph() const noexcept { return engine->graph; }
};

template <typename T>
FMOD_RESULT Enter(Access<T>& out) {
  out.engine = out.object->engine.lock();
  if (!out.engine) return FMOD_ERR_INVALID_HANDLE;
  out.lock = std::unique_lock(out.engine->graph.mutex);
  if (!out.engine->graph.Running()) return FMOD_ERR_INVALID_HANDLE;
  out.engine->graph.Poll();
  return FMOD_OK;
}

// FMOD_OK, or the engine's result for a dead handle: 30 for garbage, a
// released group or a channel that ended, 3 for a channel whose voice
// another sound took. `endedToo` lets a channel that ended through until its
// handle goes (its end callback may still ask about it).
FMOD_RESULT Open(FMOD_CHANNEL* handle, Access<Channel>& out, bool endedToo) {
  out.object = Channels().Find(handle);
  if (!out.object) return FMOD_ERR_INVALID_HANDLE;
  if (const FMOD_RESULT entered = Enter(out); entered != FMOD_OK) return entered;
  switch (out.object->channelApi.state) {
    case Channel::State::Playing: return FMOD_OK;
    case Channel::State::Stolen: return FMOD_ERR_CHANNEL_STOLEN;
    default: return endedToo ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
  }
}

FMOD_RESULT Open(FMOD_CHANNELGROUP* handle, Access<Group>& out, bool) {
  out.object = Groups().Find(handle);
  if (!out.object) return FMOD_ERR_INVALID_HANDLE;
  if (const FMOD_RESULT entered = Enter(out); entered != FMOD_OK) return entered;
  // A group released while this call waited for the mutex is gone.
  return out.object->api.gone ? FMOD_ERR_INVALID_HANDLE : FMOD_OK;
}

template <typename T>
struct Kind;
template <>
struct Kind<Channel> {
  using Handle = FMOD_CHANNEL;
};
template <>
struct Kind<Group> {
  using Handle = FMOD_CHANNELGROUP;
};
template <typename T>
using H = typename Kind<T>::Handle;

// Runs `f` on the live object behind `handle`, or answers why there is none.
template <typename T, typename F>
FMOD_RESULT With(H<T>* handle, F&& f, bool endedToo = false) {
  Access<T> c;
  if (const FMOD_RESULT found = Open(handle, c, endedToo); found != FMOD_OK) return found;
  return f(c);
}

// Changes a control's settings through `f` and publishes them.
template <typename T, typename F>
FMOD_RESULT Edit(H<T>* handle, F&& f) {
  return With<T>(handle, [&](Access<T>& c) {
    const FMOD_RESULT result = f(c->api.settings);
    if (result == FMOD_OK) c.graph().Publish(*c.object);
    return result;
  });
}

bool Finite(float v) { return std::isfinite(v); }
bool Finite(const FMOD_VECTOR* v) { return v == nullptr || (Finite(v->x) && Finite(v->y) && Finite(v->z)); }
bool InRange(float v, float lo, float hi) { return Finite(v) && v >= lo && v <= hi; }

// Sets a control's mix matrix to the default for its input and output.
void DefaultMatrix(ControlSettings& s) {
  s.matrix.assign(std::size_t(s.matrixOut) * std::size_t(s.matrixIn), 0.0f);
  core::DefaultMatrix(s.matrix.data(), s.matrixOut, s.matrixIn);
}

// ---- Shared: state

template <typename T>
FMOD_RESULT GetSystemObject(H<T>* handle, FMOD_SYSTEM** system) {
  return With<T>(handle, [&](Access<T>& c) {
    if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
    *system = c->systemHandle;
    return FMOD_OK;
  }, true);
}

template <typename T>
FMOD_RESULT Stop(H<T>* handle) {
  return With<T>(handle, [&](Access<T>& c) {
    if constexpr (std::is_same_v<T, Channel>) c.graph().Stop(*c.object);
    else c.graph().StopBelow(*c.object);
    return FMOD_OK;
  });
}

// Setters and getters of one plain setting, with a check of the value.
#define SONVEL_SETTING(Name, Type, field, check)                     \
  template <typename T>                                              \
  FMOD_RESULT Set##Name(H<T>* handle, Type value) {                  \
    return Edit<T>(handle, [&](ControlSettings& s) {                 \
      if (!(check)) return FMOD_ERR_INVALID_PARAM;                   \
      s.field = value;                                               \
      return FMOD_OK;                                                \
    });                                                              \
  }                                                                  \
  template <typename T>                                              \
  FMOD_RESULT Get##Name(H<T>* handle, Type* value) {                 \
    return With<T>(handle, [&](Access<T>& c) {                       \
      if (value == nullptr) return FMOD_ERR_INVALID_PARAM;           \
      *value = c->api.settings.field;                                \
      return FMOD_OK;                                                \
    });                                                              \
  }

SONVEL_SETTING(Volume, float, volume, Finite(value))
SONVEL_SETTING(Pitch, float, pitch, Finite(value) && value >= 0.0f)
SONVEL_SETTING(LowPassGain, float, lowPassGain, InRange(value, 0.0f, 1.0f))
#undef SONVEL_SETTING

#define SONVEL_FLAG(Name, field)                                     \
  template <typename T>                                              \
  FMOD_RESULT Set##Name(H<T>* handle, FMOD_BOOL value) {             \
    return Edit<T>(handle, [&](ControlSettings& s) {                 \
      s.field = value != 0;                                          \
      return FMOD_OK;                                                \
    });                                                              \
  }                                                                  \
  template <typename T>                                              \
  FMOD_RESULT Get##Name(H<T>* handle, FMOD_BOOL* value) {            \
    return With<T>(handle, [&](Access<T>& c) {                       \
      if (value == nullptr) return FMOD_ERR_INVALID_PARAM;           \
      *value = c->api.settings.field ? 1 : 0;                        \
      return FMOD_OK;                                                \
    });                                                              \
  }

SONVEL_FLAG(Paused, paused)
SONVEL_FLAG(Mute, mute)
SONVEL_FLAG(VolumeRamp, volumeRamp)
#undef SONVEL_FLAG

// 3D settings: taken up at the next update, when 3D is worked out.
#define SONVEL_SOURCE(Name, field, check)                            \
  template <typename T>                                              \
  FMOD_RESULT Set##Name(H<T>* handle, float value) {                 \
    return With<T>(handle, [&](Access<T>& c) {                       \
      if (!(check)) return FMOD_ERR_INVALID_PARAM;                   \
      c->api.source.field = value;                                   \
      return FMOD_OK;                                                \
    });                                                              \
  }                                                                  \
  template <typename T>                                              \
  FMOD_RESULT Get##Name(H<T>* handle, float* value) {                \
    return With<T>(handle, [&](Access<T>& c) {                       \
      if (value == nullptr) return FMOD_ERR_INVALID_PARAM;           \
      *value = c->api.source.field;                                  \
      return FMOD_OK;                                                \
    });                                                              \
  }

SONVEL_SOURCE(3DLevel, level, InRange(value, 0.0f, 1.0f))
SONVEL_SOURCE(3DSpread, spread, InRange(value, 0.0f, 360.0f))
SONVEL_SOURCE(3DDopplerLevel, dopplerLevel, InRange(value, 0.0f, 5.0f))
#undef SONVEL_SOURCE

template <typename T>
FMOD_RESULT SetUserData(H<T>* handle, void* value) {
  return With<T>(handle, [&](Access<T>& c) {
    c->api.userData = value;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetUserData(H<T>* handle, void** value) {
  return With<T>(handle, [&](Access<T>& c) {
    if (value == nullptr) return FMOD_ERR_INVALID_PARAM;
    *value = c->api.userData;
    return FMOD_OK;
  }, true);
}

template <typename T>
FMOD_RESULT SetCallback(H<T>* handle, FMOD_CHANNELCONTROL_CALLBACK callback) {
  return With<T>(handle, [&](Access<T>& c) {
    c->api.callback = callback;
    c->api.settings.callback = callback != nullptr;
    c.graph().Publish(*c.object);
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetAudibility(H<T>* handle, float* audibility) {
  return With<T>(handle, [&](Access<T>& c) {
    if (audibility == nullptr) return FMOD_ERR_INVALID_PARAM;
    *audibility = c.graph().AudibilityOf(*c.object);
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetReverbProperties(H<T>* handle, int instance, float wet) {
  return With<T>(handle, [&](Access<T>& c) {
    if (instance < 0 || instance >= 4 || !InRange(wet, 0.0f, 1.0f)) return FMOD_ERR_INVALID_PARAM;
    c->api.reverbWet[instance] = wet;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetReverbProperties(H<T>* handle, int instance, float* wet) {
  return With<T>(handle, [&](Access<T>& c) {
    if (instance < 0 || instance >= 4 || wet == nullptr) return FMOD_ERR_INVALID_PARAM;
    *wet = c->api.reverbWet[instance];
    return FMOD_OK;
  });
}

// The mode bits a channel or group can change after creation.
constexpr FMOD_MODE kLoopBits = FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI;

// Hands a channel's loop to its voice, and to its stream when it plays one.
FMOD_RESULT SendLoop(Access<Channel>& c) {
  const Channel::ChannelApiSide& api = c->channelApi;
  if (c->PlaysSound() && c->sound->IsStream())
    if (std::shared_ptr<Sound> sound = Sounds().Find(c->soundHandle))
      sound->SetStreamLoop(api.loopMode, api.loopStart, api.loopEnd, api.loopCount);
  return c.graph().SendLoop(*c.object);
}

template <typename T>
FMOD_RESULT SetMode(H<T>* handle, FMOD_MODE mode) {
  return With<T>(handle, [&](Access<T>& c) {
    // The groups of bits `mode` names replace the control's, as for sounds.
    const FMOD_MODE merged = MergeMode(c->api.mode, mode) | (mode & FMOD_VIRTUAL_PLAYFROMSTART);
    c->UseMode(merged);
    c.graph().Publish(*c.object);
    if constexpr (std::is_same_v<T, Channel>) {
      c->channelApi.loopMode = merged & kLoopBits;
      return SendLoop(c);
    }
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetMode(H<T>* handle, FMOD_MODE* mode) {
  return With<T>(handle, [&](Access<T>& c) {
    if (mode == nullptr) return FMOD_ERR_INVALID_PARAM;
    *mode = c->api.mode;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT IsPlaying(H<T>* handle, FMOD_BOOL* playing) {
  return With<T>(handle, [&](Access<T>& c) {
    if (playing == nullptr) return FMOD_ERR_INVALID_PARAM;
    if constexpr (std::is_same_v<T, Channel>) *playing = 1;
    else *playing = c.graph().IsPlayingBelow(*c.object) ? 1 : 0;
    return FMOD_OK;
  });
}

// ---- Shared: the mix

template <typename T>
FMOD_RESULT SetPan(H<T>* handle, float pan) {
  return Edit<T>(handle, [&](ControlSettings& s) {
    if (!Finite(pan)) return FMOD_ERR_INVALID_PARAM;
    // The balance law: the far side fades out, the near side stays at full
    // level, so centre is the default mix and nothing is ever boosted.
    DefaultMatrix(s);
    if (s.matrixOut < 2) return FMOD_OK;
    pan = std::clamp(pan, -1.0f, 1.0f);
    const float left = pan > 0 ? 1.0f - pan : 1.0f;
    const float right = pan < 0 ? 1.0f + pan : 1.0f;
    for (int i = 0; i < s.matrixIn; ++i) {
      s.matrix[std::size_t(i)] *= left;
      s.matrix[std::size_t(s.matrixIn) + std::size_t(i)] *= right;
    }
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetMixLevelsOutput(H<T>* handle, float fl, float fr, float center, float lfe, float sl, float sr,
                               float bl, float br) {
  return Edit<T>(handle, [&](ControlSettings& s) {
    const float levels[8] = {fl, fr, center, lfe, sl, sr, bl, br};
    for (float level : levels)
      if (!Finite(level)) return FMOD_ERR_INVALID_PARAM;
    DefaultMatrix(s);
    const int in = s.matrixIn;
    for (int o = 0; o < s.matrixOut; ++o)
      for (int i = 0; i < in; ++i) {
        float& m = s.matrix[std::size_t(o) * in + i];
        // A mono input feeds every speaker at its level; wider inputs keep
        // their own speakers and scale them.
        m = in == 1 ? (o < 8 ? levels[o] : 0.0f) : m * (o < 8 ? levels[o] : 0.0f);
      }
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetMixLevelsInput(H<T>* handle, float* levels, int count) {
  return Edit<T>(handle, [&](ControlSettings& s) {
    if (levels == nullptr || count < 0 || count > FMOD_MAX_CHANNEL_WIDTH) return FMOD_ERR_INVALID_PARAM;
    for (int i = 0; i < count; ++i)
      if (!Finite(levels[i])) return FMOD_ERR_INVALID_PARAM;
    DefaultMatrix(s);
    for (int i = 0; i < std::min(count, s.matrixIn); ++i)
      for (int o = 0; o < s.matrixOut; ++o) s.matrix[std::size_t(o) * s.matrixIn + i] *= levels[i];
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetMixMatrix(H<T>* handle, float* matrix, int outChannels, int inChannels, int hop) {
  return Edit<T>(handle, [&](ControlSettings& s) {
    if (matrix == nullptr) {
      DefaultMatrix(s);
      return FMOD_OK;
    }
    if (hop == 0) hop = inChannels;
    if (outChannels < 1 || inChannels < 1 || outChannels > FMOD_MAX_CHANNEL_WIDTH ||
        inChannels > FMOD_MAX_CHANNEL_WIDTH || hop < inChannels)
      return FMOD_ERR_INVALID_PARAM;
    std::vector<float> next(std::size_t(s.matrixOut) * s.matrixIn, 0.0f);
    for (int o = 0; o < std::min(outChannels, s.matrixOut); ++o)
      for (int i = 0; i < std::min(inChannels, s.matrixIn); ++i) {
        const float v = matrix[std::size_t(o) * hop + i];
        if (!Finite(v)) return FMOD_ERR_INVALID_PARAM;
        next[std::size_t(o) * s.matrixIn + i] = v;
      }
    s.matrix = std::move(next);
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetMixMatrix(H<T>* handle, float* matrix, int* outChannels, int* inChannels, int hop) {
  return With<T>(handle, [&](Access<T>& c) {
    const ControlSettings& s = c->api.settings;
    if (outChannels != nullptr) *outChannels = s.matrixOut;
    if (inChannels != nullptr) *inChannels = s.matrixIn;
    if (matrix == nullptr) return FMOD_OK;
    if (hop == 0) hop = s.matrixIn;
    if (hop < s.matrixIn) return FMOD_ERR_INVALID_PARAM;
    for (int o = 0; o < s.matrixOut; ++o)
      for (int i = 0; i < s.matrixIn; ++i) matrix[std::size_t(o) * hop + i] = s.matrix[std::size_t(o) * s.matrixIn + i];
    return FMOD_OK;
  });
}

// ---- Shared: the DSP clock, delays and fades

template <typename T>
FMOD_RESULT GetDSPClock(H<T>* handle, unsigned long long* clock, unsigned long long* parentClock) {
  return With<T>(handle, [&](Access<T>& c) {
    const std::uint64_t now = c.engine->mixer.Clock();
    if (clock != nullptr) *clock = now;
    if (parentClock != nullptr) *parentClock = now;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetDelay(H<T>* handle, unsigned long long start, unsigned long long end, FMOD_BOOL stopChannels) {
  return Edit<T>(handle, [&](ControlSettings& s) {
    if (end != 0 && end < start) return FMOD_ERR_INVALID_PARAM;
    s.delayStart = start;
    s.delayEnd = end;
    s.delayStops = stopChannels != 0;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetDelay(H<T>* handle, unsigned long long* start, unsigned long long* end, FMOD_BOOL* stopChannels) {
  return With<T>(handle, [&](Access<T>& c) {
    const ControlSettings& s = c->api.settings;
    if (start != nullptr) *start = s.delayStart;
    if (end != nullptr) *end = s.delayEnd;
    if (stopChannels != nullptr) *stopChannels = s.delayStops ? 1 : 0;
    return FMOD_OK;
  });
}

// Points wholly in the past go: only the last one at or before `now`
// still matters (it holds the level until the next).
void Prune(std::vector<core::FadePoint>& fades, std::uint64_t now) {
  auto firstFuture = std::upper_bound(fades.begin(), fades.end(), now,
                                      [](std::uint64_t c, const core::FadePoint& p) { return c < p.clock; });
  if (firstFuture - fades.begin() > 1) fades.erase(fades.begin(), firstFuture - 1);
}

void PutFade(std::vector<core::FadePoint>& fades, unsigned long long clock, float volume) {
  auto at = std::lower_bound(fades.begin(), fades.end(), clock,
                             [](const core::FadePoint& p, unsigned long long c) { return p.clock < c; });
  if (at != fades.end() && at->clock == clock) at->volume = volume;
  else fades.insert(at, core::FadePoint{clock, volume});
}

template <typename T>
FMOD_RESULT AddFadePoint(H<T>* handle, unsigned long long clock, float volume) {
  return With<T>(handle, [&](Access<T>& c) {
    if (!Finite(volume)) return FMOD_ERR_INVALID_PARAM;
    auto& fades = c->api.settings.fades;
    Prune(fades, c.engine->mixer.Clock());
    PutFade(fades, clock, volume);
    c.graph().Publish(*c.object);
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetFadePointRamp(H<T>* handle, unsigned long long clock, float volume) {
  // A ramp from the present level now to `volume` at `clock`, replacing
  // whatever points lay between.
  return With<T>(handle, [&](Access<T>& c) {
    if (!Finite(volume)) return FMOD_ERR_INVALID_PARAM;
    const std::uint64_t now = c.engine->mixer.Clock();
    auto& fades = c->api.settings.fades;
    const float present = c->api.settings.FadeAt(now);
    fades.erase(std::remove_if(fades.begin(), fades.end(),
                               [&](const core::FadePoint& p) { return p.clock >= now && p.clock <= clock; }),
                fades.end());
    if (clock > now) PutFade(fades, now, present);
    PutFade(fades, clock, volume);
    Prune(fades, now);
    c.graph().Publish(*c.object);
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT RemoveFadePoints(H<T>* handle, unsigned long long start, unsigned long long end) {
  return Edit<T>(handle, [&](ControlSettings& s) {
    if (end < start) return FMOD_ERR_INVALID_PARAM;
    s.fades.erase(std::remove_if(s.fades.begin(), s.fades.end(),
                                 [&](const core::FadePoint& p) { return p.clock >= start && p.clock <= end; }),
                  s.fades.end());
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT GetFadePoints(H<T>* handle, unsigned int* count, unsigned long long* clocks, float* volumes) {
  return With<T>(handle, [&](Access<T>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    const auto& fades = c->api.settings.fades;
    *count = static_cast<unsigned int>(fades.size());
    for (std::size_t i = 0; i < fades.size(); ++i) {
      if (clocks != nullptr) clocks[i] = fades[i].clock;
      if (volumes != nullptr) volumes[i] = fades[i].volume;
    }
    return FMOD_OK;
  });
}

// ---- Shared: the DSP chain

// A unit of this control's system, or the result for one that is not.
template <typename T>
FMOD_RESULT UnitOf(Access<T>& c, FMOD_DSP* handle, std::shared_ptr<core::Unit>& unit) {
  unit = Dsps().Find(handle);
  if (!unit || unit->api.gone) return FMOD_ERR_INVALID_HANDLE;
  if (unit->systemHandle != c->systemHandle) return FMOD_ERR_INVALID_PARAM;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetDSP(H<T>* handle, int index, FMOD_DSP** dsp) {
  return With<T>(handle, [&](Access<T>& c) {
    if (dsp == nullptr) return FMOD_ERR_INVALID_PARAM;
    const auto& chain = c->api.chain;
    if (index == FMOD_CHANNELCONTROL_DSP_HEAD) index = 0;
    else if (index == FMOD_CHANNELCONTROL_DSP_TAIL) index = int(chain.size()) - 1;
    else if (index == FMOD_CHANNELCONTROL_DSP_FADER)
      index = int(std::find(chain.begin(), chain.end(), c->fader.get()) - chain.begin());
    if (index < 0 || index >= int(chain.size())) return FMOD_ERR_INVALID_PARAM;
    *dsp = chain[std::size_t(index)]->handle;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT AddDSP(H<T>* handle, int index, FMOD_DSP* dsp) {
  return With<T>(handle, [&](Access<T>& c) {
    std::shared_ptr<core::Unit> unit;
    if (const FMOD_RESULT found = UnitOf(c, dsp, unit); found != FMOD_OK) return found;
    return c.graph().InsertUnit(*c.object, index, *unit);
  });
}

template <typename T>
FMOD_RESULT RemoveDSP(H<T>* handle, FMOD_DSP* dsp) {
  return With<T>(handle, [&](Access<T>& c) {
    std::shared_ptr<core::Unit> unit;
    if (const FMOD_RESULT found = UnitOf(c, dsp, unit); found != FMOD_OK) return found;
    return c.graph().RemoveUnit(*c.object, *unit);
  });
}

template <typename T>
FMOD_RESULT GetNumDSPs(H<T>* handle, int* count) {
  return With<T>(handle, [&](Access<T>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = static_cast<int>(c->api.chain.size());
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT SetDSPIndex(H<T>* handle, FMOD_DSP* dsp, int index) {
  return With<T>(handle, [&](Access<T>& c) {
    std::shared_ptr<core::Unit> unit;
    if (const FMOD_RESULT found = UnitOf(c, dsp, unit); found != FMOD_OK) return found;
    return c.graph().MoveUnit(*c.object, *unit, index);
  });
}

template <typename T>
FMOD_RESULT GetDSPIndex(H<T>* handle, FMOD_DSP* dsp, int* index) {
  return With<T>(handle, [&](Access<T>& c) {
    if (index == nullptr) return FMOD_ERR_INVALID_PARAM;
    std::shared_ptr<core::Unit> unit;
    if (const FMOD_RESULT found = UnitOf(c, dsp, unit); found != FMOD_OK) return found;
    const auto& chain = c->api.chain;
    const auto at = std::find(chain.begin(), chain.end(), unit.get());
    if (at == chain.end()) return FMOD_ERR_DSP_NOTFOUND;
    *index = int(at - chain.begin());
    return FMOD_OK;
  });
}

// ---- Shared: 3D, taken up at the next update

template <typename T>
FMOD_RESULT Set3DAttributes(H<T>* handle, const FMOD_VECTOR* position, const FMOD_VECTOR* velocity,
                            const FMOD_VECTOR* /*altPanPosition*/) {
  return With<T>(handle, [&](Access<T>& c) {
    if (!Finite(position) || !Finite(velocity)) return FMOD_ERR_INVALID_PARAM;
    if (position != nullptr) c->api.source.position = *position;
    if (velocity != nullptr) c->api.source.velocity = *velocity;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DAttributes(H<T>* handle, FMOD_VECTOR* position, FMOD_VECTOR* velocity, FMOD_VECTOR* altPanPosition) {
  return With<T>(handle, [&](Access<T>& c) {
    if (position != nullptr) *position = c->api.source.position;
    if (velocity != nullptr) *velocity = c->api.source.velocity;
    if (altPanPosition != nullptr) *altPanPosition = FMOD_VECTOR{0, 0, 0};
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Set3DMinMaxDistance(H<T>* handle, float minDistance, float maxDistance) {
  return With<T>(handle, [&](Access<T>& c) {
    if (!Finite(minDistance) || !Finite(maxDistance) || minDistance < 0 || maxDistance < minDistance)
      return FMOD_ERR_INVALID_PARAM;
    c->api.source.minDistance = minDistance;
    c->api.source.maxDistance = maxDistance;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DMinMaxDistance(H<T>* handle, float* minDistance, float* maxDistance) {
  return With<T>(handle, [&](Access<T>& c) {
    if (minDistance != nullptr) *minDistance = c->api.source.minDistance;
    if (maxDistance != nullptr) *maxDistance = c->api.source.maxDistance;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Set3DConeSettings(H<T>* handle, float inside, float outside, float outsideVolume) {
  return With<T>(handle, [&](Access<T>& c) {
    if (!InRange(inside, 0, 360) || !InRange(outside, 0, 360) || inside > outside || !InRange(outsideVolume, 0, 1))
      return FMOD_ERR_INVALID_PARAM;
    c->api.source.coneInsideAngle = inside;
    c->api.source.coneOutsideAngle = outside;
    c->api.source.coneOutsideVolume = outsideVolume;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DConeSettings(H<T>* handle, float* inside, float* outside, float* outsideVolume) {
  return With<T>(handle, [&](Access<T>& c) {
    if (inside != nullptr) *inside = c->api.source.coneInsideAngle;
    if (outside != nullptr) *outside = c->api.source.coneOutsideAngle;
    if (outsideVolume != nullptr) *outsideVolume = c->api.source.coneOutsideVolume;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Set3DConeOrientation(H<T>* handle, FMOD_VECTOR* orientation) {
  return With<T>(handle, [&](Access<T>& c) {
    if (orientation == nullptr || !Finite(orientation)) return FMOD_ERR_INVALID_PARAM;
    c->api.source.coneOrientation = *orientation;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DConeOrientation(H<T>* handle, FMOD_VECTOR* orientation) {
  return With<T>(handle, [&](Access<T>& c) {
    if (orientation == nullptr) return FMOD_ERR_INVALID_PARAM;
    *orientation = c->api.source.coneOrientation;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Set3DCustomRolloff(H<T>* handle, FMOD_VECTOR* points, int count) {
  return With<T>(handle, [&](Access<T>& c) {
    if (count < 0 || (count > 0 && points == nullptr)) return FMOD_ERR_INVALID_PARAM;
    for (int i = 0; i < count; ++i)
      if (!Finite(&points[i]) || (i > 0 && points[i].x < points[i - 1].x))
        return FMOD_ERR_INVALID_PARAM;  // distances must rise
    c->api.source.customRolloff.assign(points, points + count);
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DCustomRolloff(H<T>* handle, FMOD_VECTOR** points, int* count) {
  return With<T>(handle, [&](Access<T>& c) {
    auto& curve = c->api.source.customRolloff;
    if (points != nullptr) *points = curve.empty() ? nullptr : curve.data();
    if (count != nullptr) *count = static_cast<int>(curve.size());
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Set3DOcclusion(H<T>* handle, float direct, float reverb) {
  return With<T>(handle, [&](Access<T>& c) {
    if (!InRange(direct, 0, 1) || !InRange(reverb, 0, 1)) return FMOD_ERR_INVALID_PARAM;
    c->api.source.directOcclusion = direct;
    c->api.source.reverbOcclusion = reverb;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DOcclusion(H<T>* handle, float* direct, float* reverb) {
  return With<T>(handle, [&](Access<T>& c) {
    if (direct != nullptr) *direct = c->api.source.directOcclusion;
    if (reverb != nullptr) *reverb = c->api.source.reverbOcclusion;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Set3DDistanceFilter(H<T>* handle, FMOD_BOOL custom, float customLevel, float centerFreq) {
  return With<T>(handle, [&](Access<T>& c) {
    if (!InRange(customLevel, 0, 1) || !Finite(centerFreq) || centerFreq < 0) return FMOD_ERR_INVALID_PARAM;
    c->api.source.distanceFilter = custom != 0;
    c->api.source.distanceFilterLevel = customLevel;
    if (centerFreq > 0) c->api.source.distanceFilterCenterFreq = centerFreq;
    return FMOD_OK;
  });
}

template <typename T>
FMOD_RESULT Get3DDistanceFilter(H<T>* handle, FMOD_BOOL* custom, float* customLevel, float* centerFreq) {
  return With<T>(handle, [&](Access<T>& c) {
    if (custom != nullptr) *custom = c->api.source.distanceFilter ? 1 : 0;
    if (customLevel != nullptr) *customLevel = c->api.source.distanceFilterLevel;
    if (centerFreq != nullptr) *centerFreq = c->api.source.distanceFilterCenterFreq;
    return FMOD_OK;
  });
}

// ---- Channels only

// The sound a channel plays, for its time units; null for a unit played as
// a channel (or a sound released meanwhile).
std::shared_ptr<Sound> SoundOf(const Channel& channel) {
  return channel.PlaysSound() ? Sounds().Find(channel.soundHandle) : nullptr;
}

FMOD_RESULT SetFrequency(FMOD_CHANNEL* handle, float frequency) {
  return Edit<Channel>(handle, [&](ControlSettings& s) {
    if (!Finite(frequency) || frequency < 0) return FMOD_ERR_INVALID_PARAM;
    s.frequency = frequency;
    return FMOD_OK;
  });
}

FMOD_RESULT GetFrequency(FMOD_CHANNEL* handle, float* frequency) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (frequency == nullptr) return FMOD_ERR_INVALID_PARAM;
    *frequency = c->api.settings.frequency;
    return FMOD_OK;
  });
}

FMOD_RESULT SetPriority(FMOD_CHANNEL* handle, int priority) {
  return Edit<Channel>(handle, [&](ControlSettings& s) {
    if (priority < 0 || priority > 256) return FMOD_ERR_INVALID_PARAM;
    s.priority = priority;
    return FMOD_OK;
  });
}

FMOD_RESULT GetPriority(FMOD_CHANNEL* handle, int* priority) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (priority == nullptr) return FMOD_ERR_INVALID_PARAM;
    *priority = c->api.settings.priority;
    return FMOD_OK;
  });
}

FMOD_RESULT SetPosition(FMOD_CHANNEL* handle, unsigned int position, FMOD_TIMEUNIT unit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (core::Unit* played = c->played.get()) {
      if (unit != FMOD_TIMEUNIT_PCM) return FMOD_ERR_FORMAT;
      return c.graph().SetUnitPosition(*played, position);
    }
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) return FMOD_ERR_INVALID_HANDLE;
    std::uint64_t frame = 0;
    if (!ToFrames(*sound, position, unit, frame)) return FMOD_ERR_FORMAT;
    if (frame >= sound->LengthFrames()) return FMOD_ERR_INVALID_POSITION;
    return c.graph().Seek(*c.object, frame);
  });
}

FMOD_RESULT GetPosition(FMOD_CHANNEL* handle, unsigned int* position, FMOD_TIMEUNIT unit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (position == nullptr) return FMOD_ERR_INVALID_PARAM;
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) {
      *position = 0;
      return unit == FMOD_TIMEUNIT_PCM ? FMOD_OK : FMOD_ERR_FORMAT;
    }
    if (!FromFrames(*sound, c.graph().PositionOf(*c.object), unit, *position)) return FMOD_ERR_FORMAT;
    return FMOD_OK;
  });
}

FMOD_RESULT SetChannelGroup(FMOD_CHANNEL* handle, FMOD_CHANNELGROUP* groupHandle) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (groupHandle == nullptr) return c.graph().SetParent(*c.object, c.graph().Master());
    std::shared_ptr<Group> group = Groups().Find(groupHandle);
    if (!group || group->api.gone) return FMOD_ERR_INVALID_HANDLE;
    if (group->engine.lock() != c.engine) return FMOD_ERR_INVALID_PARAM;  // another system's group
    return c.graph().SetParent(*c.object, *group);
  });
}

FMOD_RESULT GetChannelGroup(FMOD_CHANNEL* handle, FMOD_CHANNELGROUP** group) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
    *group = c->api.parent != nullptr ? c->api.parent->handle : nullptr;
    return FMOD_OK;
  });
}

FMOD_RESULT SetLoopCount(FMOD_CHANNEL* handle, int count) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (count < -1) return FMOD_ERR_INVALID_PARAM;
    c->channelApi.loopCount = count;
    return SendLoop(c);
  });
}

FMOD_RESULT GetLoopCount(FMOD_CHANNEL* handle, int* count) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = c->channelApi.loopCount;
    return FMOD_OK;
  });
}

FMOD_RESULT SetLoopPoints(FMOD_CHANNEL* handle, unsigned int start, FMOD_TIMEUNIT startUnit, unsigned int end,
                          FMOD_TIMEUNIT endUnit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) return FMOD_ERR_FORMAT;
    std::uint64_t first = 0, last = 0;
    if (!ToFrames(*sound, start, startUnit, first) || !ToFrames(*sound, end, endUnit, last)) return FMOD_ERR_FORMAT;
    if (first >= last || last >= sound->LengthFrames()) return FMOD_ERR_INVALID_PARAM;
    c->channelApi.loopStart = std::uint32_t(first);
    c->channelApi.loopEnd = std::uint32_t(last);
    return SendLoop(c);
  });
}

FMOD_RESULT GetLoopPoints(FMOD_CHANNEL* handle, unsigned int* start, FMOD_TIMEUNIT startUnit, unsigned int* end,
                          FMOD_TIMEUNIT endUnit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) return FMOD_ERR_FORMAT;
    if (start != nullptr && !FromFrames(*sound, c->channelApi.loopStart, startUnit, *start)) return FMOD_ERR_FORMAT;
    if (end != nullptr && !FromFrames(*sound, c->channelApi.loopEnd, endUnit, *end)) return FMOD_ERR_FORMAT;
    return FMOD_OK;
  });
}

FMOD_RESULT IsVirtual(FMOD_CHANNEL* handle, FMOD_BOOL* isVirtual) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (isVirtual == nullptr) return FMOD_ERR_INVALID_PARAM;
    *isVirtual = c->isVirtual.load(std::memory_order_relaxed) ? 1 : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetCurrentSound(FMOD_CHANNEL* handle, FMOD_SOUND** sound) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (sound == nullptr) return FMOD_ERR_INVALID_PARAM;
    *sound = c->soundHandle;
    return FMOD_OK;
  }, true);
}

FMOD_RESULT GetIndex(FMOD_CHANNEL* handle, int* index) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (index == nullptr) return FMOD_ERR_INVALID_PARAM;
    *index = c->index;
    return FMOD_OK;
  });
}

// ---- Groups only

FMOD_RESULT Release(FMOD_CHANNELGROUP* handle) {
  return With<Group>(handle, [&](Access<Group>& c) { return c.graph().ReleaseGroup(*c.object); });
}

FMOD_RESULT AddGroup(FMOD_CHANNELGROUP* handle, FMOD_CHANNELGROUP* childHandle, FMOD_BOOL /*propagateClock*/,
                     FMOD_DSPCONNECTION** connection) {
  if (connection != nullptr) *connection = nullptr;
  return With<Group>(handle, [&](Access<Group>& c) {
    if (childHandle == nullptr) return FMOD_ERR_INVALID_PARAM;
    std::shared_ptr<Group> child = Groups().Find(childHandle);
    if (!child || child->api.gone) return FMOD_ERR_INVALID_HANDLE;
    if (child->engine.lock() != c.engine) return FMOD_ERR_INVALID_PARAM;
    core::Connection* made = nullptr;
    if (const FMOD_RESULT result = c.graph().AddGroup(*c.object, *child, made); result != FMOD_OK) return result;
    if (connection != nullptr) *connection = made->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetNumGroups(FMOD_CHANNELGROUP* handle, int* count) {
  return With<Group>(handle, [&](Access<Group>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = static_cast<int>(c->groupApi.groups.size());
    return FMOD_OK;
  });
}

FMOD_RESULT GetGroup(FMOD_CHANNELGROUP* handle, int index, FMOD_CHANNELGROUP** group) {
  return With<Group>(handle, [&](Access<Group>& c) {
    const auto& groups = c->groupApi.groups;
    if (group == nullptr || index < 0 || index >= static_cast<int>(groups.size())) return FMOD_ERR_INVALID_PARAM;
    *group = groups[std::size_t(index)]->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetParentGroup(FMOD_CHANNELGROUP* handle, FMOD_CHANNELGROUP** group) {
  return With<Group>(handle, [&](Access<Group>& c) {
    if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
    *group = c->api.parent != nullptr ? c->api.parent->handle : nullptr;
    return FMOD_OK;
  });
}

FMOD_RESULT GetName(FMOD_CHANNELGROUP* handle, char* name, int length) {
  return With<Group>(handle, [&](Access<Group>& c) { return CopyName(c->name, name, length); });
}

FMOD_RESULT GetNumChannels(FMOD_CHANNELGROUP* handle, int* count) {
  return With<Group>(handle, [&](Access<Group>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = static_cast<int>(c->groupApi.channels.size());
    return FMOD_OK;
  });
}

FMOD_RESULT GetChannel(FMOD_CHANNELGROUP* handle, int index, FMOD_CHANNEL** channel) {
  return With<Group>(handle, [&](Access<Group>& c) {
    const auto& channels = c->groupApi.channels;
    if (channel == nullptr || index < 0 || index >= static_cast<int>(channels.size())) return FMOD_ERR_INVALID_PARAM;
    *channel = channels[std::size_t(index)]->handle;
    return FMOD_OK;
  });
}

#define SONVEL_BOTH(name)                       \
  t.FMOD_Channel_##name = &name<Channel>;       \
  t.FMOD_ChannelGroup_##name = &name<Group>;

const ApiRegistration kRegistration{[](ApiTable& t) {
  SONVEL_BOTH(GetSystemObject) SONVEL_BOTH(Stop) SONVEL_BOTH(SetPaused) SONVEL_BOTH(GetPaused)
  SONVEL_BOTH(SetVolume) SONVEL_BOTH(GetVolume) SONVEL_BOTH(SetVolumeRamp) SONVEL_BOTH(GetVolumeRamp)
  SONVEL_BOTH(GetAudibility) SONVEL_BOTH(SetPitch) SONVEL_BOTH(GetPitch) SONVEL_BOTH(SetMute) SONVEL_BOTH(GetMute)
  SONVEL_BOTH(SetReverbProperties) SONVEL_BOTH(GetReverbProperties) SONVEL_BOTH(SetLowPassGain)
  SONVEL_BOTH(GetLowPassGain) SONVEL_BOTH(SetMode) SONVEL_BOTH(GetMode) SONVEL_BOTH(SetCallback)
  SONVEL_BOTH(IsPlaying) SONVEL_BOTH(SetPan) SONVEL_BOTH(SetMixLevelsOutput) SONVEL_BOTH(SetMixLevelsInput)
  SONVEL_BOTH(SetMixMatrix) SONVEL_BOTH(GetMixMatrix) SONVEL_BOTH(GetDSPClock) SONVEL_BOTH(SetDelay)
  SONVEL_BOTH(GetDelay) SONVEL_BOTH(AddFadePoint) SONVEL_BOTH(SetFadePointRamp) SONVEL_BOTH(RemoveFadePoints)
  SONVEL_BOTH(GetFadePoints) SONVEL_BOTH(GetDSP) SONVEL_BOTH(AddDSP) SONVEL_BOTH(RemoveDSP) SONVEL_BOTH(GetNumDSPs)
  SONVEL_BOTH(SetDSPIndex) SONVEL_BOTH(GetDSPIndex) SONVEL_BOTH(Set3DAttributes) SONVEL_BOTH(Get3DAttributes)
  SONVEL_BOTH(Set3DMinMaxDistance) SONVEL_BOTH(Get3DMinMaxDistance) SONVEL_BOTH(Set3DConeSettings)
  SONVEL_BOTH(Get3DConeSettings) SONVEL_BOTH(Set3DConeOrientation) SONVEL_BOTH(Get3DConeOrientation)
  SONVEL_BOTH(Set3DCustomRolloff) SONVEL_BOTH(Get3DCustomRolloff) SONVEL_BOTH(Set3DOcclusion)
  SONVEL_BOTH(Get3DOcclusion) SONVEL_BOTH(Set3DSpread) SONVEL_BOTH(Get3DSpread) SONVEL_BOTH(Set3DLevel)
  SONVEL_BOTH(Get3DLevel) SONVEL_BOTH(Set3DDopplerLevel) SONVEL_BOTH(Get3DDopplerLevel)
  SONVEL_BOTH(Set3DDistanceFilter) SONVEL_BOTH(Get3DDistanceFilter) SONVEL_BOTH(SetUserData)
  SONVEL_BOTH(GetUserData)

  t.FMOD_Channel_SetFrequency = &SetFrequency;
  t.FMOD_Channel_GetFrequency = &GetFrequency;
  t.FMOD_Channel_SetPriority = &SetPriority;
  t.FMOD_Channel_GetPriority = &GetPriority;
  t.FMOD_Channel_SetPosition = &SetPosition;
  t.FMOD_Channel_GetPosition = &GetPosition;
  t.FMOD_Channel_SetChannelGroup = &SetChannelGroup;
  t.FMOD_Channel_GetChannelGroup = &GetChannelGroup;
  t.FMOD_Channel_SetLoopCount = &SetLoopCount;
  t.FMOD_Channel_GetLoopCount = &GetLoopCount;
  t.FMOD_Channel_SetLoopPoints = &SetLoopPoints;
  t.FMOD_Channel_GetLoopPoints = &GetLoopPoints;
  t.FMOD_Channel_IsVirtual = &IsVirtual;
  t.FMOD_Channel_GetCurrentSound = &GetCurrentSound;
  t.FMOD_Channel_GetIndex = &GetIndex;

  t.FMOD_ChannelGroup_Release = &Release;
  t.FMOD_ChannelGroup_AddGroup = &AddGroup;
  t.FMOD_ChannelGroup_GetNumGroups = &GetNumGroups;
  t.FMOD_ChannelGroup_GetGroup = &GetGroup;
  t.FMOD_ChannelGroup_GetParentGroup = &GetParentGroup;
  t.FMOD_ChannelGroup_GetName = &GetName;
  t.FMOD_ChannelGroup_GetNumChannels = &GetNumChannels;
  t.FMOD_ChannelGroup_GetChannel = &GetChannel;
}};

#undef SONVEL_BOTH

}  // namespace
}  // namespace sonvel::engine
