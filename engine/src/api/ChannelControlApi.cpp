// The entry points channels and channel groups share (FMOD_Channel_* and
// FMOD_ChannelGroup_* of the same name), written once as templates over the
// two kinds. Each call finds its object, takes its graph's mutex, takes in
// what the mixer reported (so that a channel that ended answers as ended)
// and then reads or changes the object's API side; changed settings are
// published to the mixer as a snapshot, changes to the graph go as commands.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ChannelAccess.h"

namespace sonvel::engine {
namespace {

using namespace controls;

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
  return With<T>(handle, [&](Access<T>& c) { return c.graph().SetReverbWet(*c.object, instance, wet); });
}

template <typename T>
FMOD_RESULT GetReverbProperties(H<T>* handle, int instance, float* wet) {
  return With<T>(handle, [&](Access<T>& c) {
    if (instance < 0 || instance >= FMOD_REVERB_MAXINSTANCES) return FMOD_ERR_REVERB_INSTANCE;
    if (wet == nullptr) return FMOD_ERR_INVALID_PARAM;
    *wet = c->api.reverbWet[instance];
    return FMOD_OK;
  });
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
    c.graph().RefreshReverbSends(*c.object);  // what reaches the reverb instances
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
}};

#undef SONVEL_BOTH

}  // namespace
}  // namespace sonvel::engine
