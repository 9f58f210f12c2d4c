// The FMOD_Channel_* and FMOD_ChannelGroup_* entry points. What channels and
// groups share is written once, as templates over the two kinds.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Mixer.h"
#include "SoundDetail.h"
#include "System.h"

namespace sonvel::engine {
namespace {

template <typename T>
struct Kind;
template <>
struct Kind<Channel> {
  using Handle = FMOD_CHANNEL;
  static FMOD_RESULT Lock(Handle* handle, Locked<Channel>& out) { return LockChannel(handle, out); }
  static FMOD_RESULT LockEndedToo(Handle* handle, Locked<Channel>& out) { return LockChannel(handle, out, true); }
};
template <>
struct Kind<Group> {
  using Handle = FMOD_CHANNELGROUP;
  static FMOD_RESULT Lock(Handle* handle, Locked<Group>& out) { return LockGroup(handle, out); }
  static FMOD_RESULT LockEndedToo(Handle* handle, Locked<Group>& out) { return LockGroup(handle, out); }
};
template <typename T>
using H = typename Kind<T>::Handle;

// Finds and locks the object behind `handle` as `c`, or answers the result.
#define LOCK(T, handle)                                                   \
  Locked<T> c;                                                            \
  if (const FMOD_RESULT found = Kind<T>::Lock(handle, c); found != FMOD_OK) \
    return found

// The same for the few questions an end callback may still ask of its
// channel (its system, user data and sound) until the handle goes.
#define LOCK_ENDED_TOO(T, handle)                                                 \
  Locked<T> c;                                                                    \
  if (const FMOD_RESULT found = Kind<T>::LockEndedToo(handle, c); found != FMOD_OK) \
    return found

bool Finite(float v) { return std::isfinite(v); }
bool Finite(const FMOD_VECTOR* v) { return v == nullptr || (Finite(v->x) && Finite(v->y) && Finite(v->z)); }
bool InRange(float v, float lo, float hi) { return Finite(v) && v >= lo && v <= hi; }
int InWidth(const Control& control) {
  return control.isGroup ? control.matrixOut : static_cast<const Channel&>(control).inChannels;
}

// ---- Shared: state

template <typename T>
FMOD_RESULT GetSystemObject(H<T>* handle, FMOD_SYSTEM** system) {
  LOCK_ENDED_TOO(T, handle);
  if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
  *system = c->systemHandle;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Stop(H<T>* handle) {
  LOCK(T, handle);
  if constexpr (std::is_same_v<T, Channel>) c.mixer->End(*c.object, Channel::State::Ended);
  else c.mixer->StopBelow(*c.object);
  return FMOD_OK;
}

// Setters and getters of one plain field, with a check of the value.
#define FIELD(Name, Type, field, check)                     \
  template <typename T>                                     \
  FMOD_RESULT Set##Name(H<T>* handle, Type value) {         \
    LOCK(T, handle);                                        \
    if (!(check)) return FMOD_ERR_INVALID_PARAM;            \
    c->field = value;                                       \
    return FMOD_OK;                                         \
  }                                                         \
  template <typename T>                                     \
  FMOD_RESULT Get##Name(H<T>* handle, Type* value) {        \
    LOCK(T, handle);                                        \
    if (value == nullptr) return FMOD_ERR_INVALID_PARAM;    \
    *value = c->field;                                      \
    return FMOD_OK;                                         \
  }

FIELD(Volume, float, volume, Finite(value))
FIELD(Pitch, float, pitch, Finite(value) && value >= 0.0f)
FIELD(LowPassGain, float, lowPassGain, InRange(value, 0.0f, 1.0f))
FIELD(Callback_, FMOD_CHANNELCONTROL_CALLBACK, callback, true)
FIELD(3DLevel, float, source.level, InRange(value, 0.0f, 1.0f))
FIELD(3DSpread, float, source.spread, InRange(value, 0.0f, 360.0f))
FIELD(3DDopplerLevel, float, source.dopplerLevel, InRange(value, 0.0f, 5.0f))
#undef FIELD

#define BOOL_FIELD(Name, field)                             \
  template <typename T>                                     \
  FMOD_RESULT Set##Name(H<T>* handle, FMOD_BOOL value) {    \
    LOCK(T, handle);                                        \
    c->field = value != 0;                                  \
    return FMOD_OK;                                         \
  }                                                         \
  template <typename T>                                     \
  FMOD_RESULT Get##Name(H<T>* handle, FMOD_BOOL* value) {   \
    LOCK(T, handle);                                        \
    if (value == nullptr) return FMOD_ERR_INVALID_PARAM;    \
    *value = c->field ? 1 : 0;                              \
    return FMOD_OK;                                         \
  }

BOOL_FIELD(Paused, paused)
BOOL_FIELD(Mute, mute)
BOOL_FIELD(VolumeRamp, volumeRamp)
#undef BOOL_FIELD

template <typename T>
FMOD_RESULT SetUserData(H<T>* handle, void* value) {
  LOCK(T, handle);
  c->userData = value;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetUserData(H<T>* handle, void** value) {
  LOCK_ENDED_TOO(T, handle);
  if (value == nullptr) return FMOD_ERR_INVALID_PARAM;
  *value = c->userData;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetCallback(H<T>* handle, FMOD_CHANNELCONTROL_CALLBACK callback) {
  return SetCallback_<T>(handle, callback);
}

template <typename T>
FMOD_RESULT GetAudibility(H<T>* handle, float* audibility) {
  LOCK(T, handle);
  if (audibility == nullptr) return FMOD_ERR_INVALID_PARAM;
  float level = c->mute ? 0.0f : c->volume * c->FadeAt(c.mixer->clock);
  if constexpr (std::is_same_v<T, Channel>) level *= c->attenuation;
  for (const Group* g = c->parent; g != nullptr; g = g->parent) level *= g->mute ? 0.0f : g->volume;
  *audibility = level;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetReverbProperties(H<T>* handle, int instance, float wet) {
  LOCK(T, handle);
  if (instance < 0 || instance >= 4 || !InRange(wet, 0.0f, 1.0f)) return FMOD_ERR_INVALID_PARAM;
  c->reverbWet[instance] = wet;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetReverbProperties(H<T>* handle, int instance, float* wet) {
  LOCK(T, handle);
  if (instance < 0 || instance >= 4 || wet == nullptr) return FMOD_ERR_INVALID_PARAM;
  *wet = c->reverbWet[instance];
  return FMOD_OK;
}

// The mode bits a channel or group can change after creation.
constexpr FMOD_MODE kLoopBits = FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI;

template <typename T>
FMOD_RESULT SetMode(H<T>* handle, FMOD_MODE mode) {
  LOCK(T, handle);
  // The groups of bits `mode` names replace the control's, as for sounds.
  const FMOD_MODE merged = MergeMode(c->mode, mode) | (mode & FMOD_VIRTUAL_PLAYFROMSTART);
  c->UseMode(merged);
  if constexpr (std::is_same_v<T, Channel>) {
    if (c->sound->IsStream())
      c->sound->SetStreamLoop(merged & kLoopBits, c->loopStart, c->loopEnd, c->loopCount);
  }
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetMode(H<T>* handle, FMOD_MODE* mode) {
  LOCK(T, handle);
  if (mode == nullptr) return FMOD_ERR_INVALID_PARAM;
  *mode = c->mode;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT IsPlaying(H<T>* handle, FMOD_BOOL* playing) {
  LOCK(T, handle);
  if (playing == nullptr) return FMOD_ERR_INVALID_PARAM;
  if constexpr (std::is_same_v<T, Channel>) *playing = 1;
  else *playing = c.mixer->IsPlayingBelow(*c.object) ? 1 : 0;
  return FMOD_OK;
}

// ---- Shared: the mix

template <typename T>
FMOD_RESULT SetPan(H<T>* handle, float pan) {
  LOCK(T, handle);
  if (!Finite(pan)) return FMOD_ERR_INVALID_PARAM;
  c.mixer->PanMatrix(*c.object, pan);
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetMixLevelsOutput(H<T>* handle, float fl, float fr, float center, float lfe, float sl, float sr,
                               float bl, float br) {
  LOCK(T, handle);
  const float levels[8] = {fl, fr, center, lfe, sl, sr, bl, br};
  for (float level : levels)
    if (!Finite(level)) return FMOD_ERR_INVALID_PARAM;
  Control& control = *c.object;
  const int in = InWidth(control);
  c.mixer->DefaultMatrix(control, in);
  for (int o = 0; o < control.matrixOut; ++o)
    for (int i = 0; i < in; ++i) {
      float& m = control.matrix[std::size_t(o) * in + i];
      // A mono input feeds every speaker at its level; wider inputs keep
      // their own speakers and scale them.
      m = in == 1 ? (o < 8 ? levels[o] : 0.0f) : m * (o < 8 ? levels[o] : 0.0f);
    }
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetMixLevelsInput(H<T>* handle, float* levels, int count) {
  LOCK(T, handle);
  Control& control = *c.object;
  const int in = InWidth(control);
  if (levels == nullptr || count < 0 || count > FMOD_MAX_CHANNEL_WIDTH) return FMOD_ERR_INVALID_PARAM;
  c.mixer->DefaultMatrix(control, in);
  for (int i = 0; i < std::min(count, in); ++i) {
    if (!Finite(levels[i])) return FMOD_ERR_INVALID_PARAM;
    for (int o = 0; o < control.matrixOut; ++o) control.matrix[std::size_t(o) * in + i] *= levels[i];
  }
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetMixMatrix(H<T>* handle, float* matrix, int outChannels, int inChannels, int hop) {
  LOCK(T, handle);
  Control& control = *c.object;
  const int in = InWidth(control);
  if (matrix == nullptr) {
    c.mixer->DefaultMatrix(control, in);
    return FMOD_OK;
  }
  if (hop == 0) hop = inChannels;
  if (outChannels < 1 || inChannels < 1 || outChannels > FMOD_MAX_CHANNEL_WIDTH ||
      inChannels > FMOD_MAX_CHANNEL_WIDTH || hop < inChannels)
    return FMOD_ERR_INVALID_PARAM;
  std::vector<float> next(std::size_t(control.matrixOut) * in, 0.0f);
  for (int o = 0; o < std::min(outChannels, control.matrixOut); ++o)
    for (int i = 0; i < std::min(inChannels, in); ++i) {
      const float v = matrix[std::size_t(o) * hop + i];
      if (!Finite(v)) return FMOD_ERR_INVALID_PARAM;
      next[std::size_t(o) * in + i] = v;
    }
  control.matrix = std::move(next);
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetMixMatrix(H<T>* handle, float* matrix, int* outChannels, int* inChannels, int hop) {
  LOCK(T, handle);
  const Control& control = *c.object;
  const int in = InWidth(control);
  if (outChannels != nullptr) *outChannels = control.matrixOut;
  if (inChannels != nullptr) *inChannels = in;
  if (matrix == nullptr) return FMOD_OK;
  if (hop == 0) hop = in;
  if (hop < in) return FMOD_ERR_INVALID_PARAM;
  for (int o = 0; o < control.matrixOut; ++o)
    for (int i = 0; i < in; ++i) matrix[std::size_t(o) * hop + i] = control.matrix[std::size_t(o) * in + i];
  return FMOD_OK;
}

// ---- Shared: the DSP clock, delays and fades

template <typename T>
FMOD_RESULT GetDSPClock(H<T>* handle, unsigned long long* clock, unsigned long long* parentClock) {
  LOCK(T, handle);
  if (clock != nullptr) *clock = c.mixer->clock;
  if (parentClock != nullptr) *parentClock = c.mixer->clock;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetDelay(H<T>* handle, unsigned long long start, unsigned long long end, FMOD_BOOL stopChannels) {
  LOCK(T, handle);
  if (end != 0 && end < start) return FMOD_ERR_INVALID_PARAM;
  c->delayStart = start;
  c->delayEnd = end;
  c->delayStops = stopChannels != 0;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetDelay(H<T>* handle, unsigned long long* start, unsigned long long* end, FMOD_BOOL* stopChannels) {
  LOCK(T, handle);
  if (start != nullptr) *start = c->delayStart;
  if (end != nullptr) *end = c->delayEnd;
  if (stopChannels != nullptr) *stopChannels = c->delayStops ? 1 : 0;
  return FMOD_OK;
}

// Points wholly in the past go: only the last one at or before `now`
// still matters (it holds the level until the next).
void Prune(std::vector<FadePoint>& fades, std::uint64_t now) {
  auto firstFuture = std::upper_bound(fades.begin(), fades.end(), now,
                                      [](std::uint64_t c, const FadePoint& p) { return c < p.clock; });
  if (firstFuture - fades.begin() > 1) fades.erase(fades.begin(), firstFuture - 1);
}

void PutFade(std::vector<FadePoint>& fades, unsigned long long clock, float volume) {
  auto at = std::lower_bound(fades.begin(), fades.end(), clock,
                             [](const FadePoint& p, unsigned long long c) { return p.clock < c; });
  if (at != fades.end() && at->clock == clock) at->volume = volume;
  else fades.insert(at, FadePoint{clock, volume});
}

template <typename T>
FMOD_RESULT AddFadePoint(H<T>* handle, unsigned long long clock, float volume) {
  LOCK(T, handle);
  if (!Finite(volume)) return FMOD_ERR_INVALID_PARAM;
  Prune(c->fades, c.mixer->clock);
  PutFade(c->fades, clock, volume);
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetFadePointRamp(H<T>* handle, unsigned long long clock, float volume) {
  // A ramp from the present level now to `volume` at `clock`, replacing
  // whatever points lay between.
  LOCK(T, handle);
  if (!Finite(volume)) return FMOD_ERR_INVALID_PARAM;
  const std::uint64_t now = c.mixer->clock;
  const float present = c->FadeAt(now);
  auto& fades = c->fades;
  fades.erase(std::remove_if(fades.begin(), fades.end(),
                             [&](const FadePoint& p) { return p.clock >= now && p.clock <= clock; }),
              fades.end());
  if (clock > now) PutFade(fades, now, present);
  PutFade(fades, clock, volume);
  Prune(fades, now);
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT RemoveFadePoints(H<T>* handle, unsigned long long start, unsigned long long end) {
  LOCK(T, handle);
  if (end < start) return FMOD_ERR_INVALID_PARAM;
  auto& fades = c->fades;
  fades.erase(std::remove_if(fades.begin(), fades.end(),
                             [&](const FadePoint& p) { return p.clock >= start && p.clock <= end; }),
              fades.end());
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT GetFadePoints(H<T>* handle, unsigned int* count, unsigned long long* clocks, float* volumes) {
  LOCK(T, handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = static_cast<unsigned int>(c->fades.size());
  for (std::size_t i = 0; i < c->fades.size(); ++i) {
    if (clocks != nullptr) clocks[i] = c->fades[i].clock;
    if (volumes != nullptr) volumes[i] = c->fades[i].volume;
  }
  return FMOD_OK;
}

// ---- Shared: the DSP chain (the fader alone, for now)

template <typename T>
FMOD_RESULT GetDSP(H<T>* handle, int index, FMOD_DSP** dsp) {
  LOCK(T, handle);
  if (dsp == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (index != 0 && index != FMOD_CHANNELCONTROL_DSP_HEAD && index != FMOD_CHANNELCONTROL_DSP_FADER &&
      index != FMOD_CHANNELCONTROL_DSP_TAIL)
    return FMOD_ERR_INVALID_PARAM;
  *dsp = c->fader->handle;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT AddDSP(H<T>* handle, int /*index*/, FMOD_DSP* dsp) {
  LOCK(T, handle);
  if (!Dsps().Find(dsp)) return FMOD_ERR_INVALID_HANDLE;
  if (dsp == c->fader->handle) return FMOD_ERR_DSP_INUSE;
  return FMOD_ERR_UNSUPPORTED;  // only the fader runs in a chain so far
}

template <typename T>
FMOD_RESULT RemoveDSP(H<T>* handle, FMOD_DSP* dsp) {
  LOCK(T, handle);
  if (!Dsps().Find(dsp)) return FMOD_ERR_INVALID_HANDLE;
  if (dsp == c->fader->handle) return FMOD_ERR_INVALID_PARAM;  // the fader stays
  return FMOD_ERR_DSP_NOTFOUND;
}

template <typename T>
FMOD_RESULT GetNumDSPs(H<T>* handle, int* count) {
  LOCK(T, handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = 1;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT SetDSPIndex(H<T>* handle, FMOD_DSP* dsp, int index) {
  LOCK(T, handle);
  if (!Dsps().Find(dsp)) return FMOD_ERR_INVALID_HANDLE;
  if (dsp != c->fader->handle) return FMOD_ERR_DSP_NOTFOUND;
  return index == 0 ? FMOD_OK : FMOD_ERR_INVALID_PARAM;
}

template <typename T>
FMOD_RESULT GetDSPIndex(H<T>* handle, FMOD_DSP* dsp, int* index) {
  LOCK(T, handle);
  if (index == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (!Dsps().Find(dsp)) return FMOD_ERR_INVALID_HANDLE;
  if (dsp != c->fader->handle) return FMOD_ERR_DSP_NOTFOUND;
  *index = 0;
  return FMOD_OK;
}

// ---- Shared: 3D

template <typename T>
FMOD_RESULT Set3DAttributes(H<T>* handle, const FMOD_VECTOR* position, const FMOD_VECTOR* velocity,
                            const FMOD_VECTOR* /*altPanPosition*/) {
  LOCK(T, handle);
  if (!Finite(position) || !Finite(velocity)) return FMOD_ERR_INVALID_PARAM;
  if (position != nullptr) c->source.position = *position;
  if (velocity != nullptr) c->source.velocity = *velocity;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DAttributes(H<T>* handle, FMOD_VECTOR* position, FMOD_VECTOR* velocity, FMOD_VECTOR* altPanPosition) {
  LOCK(T, handle);
  if (position != nullptr) *position = c->source.position;
  if (velocity != nullptr) *velocity = c->source.velocity;
  if (altPanPosition != nullptr) *altPanPosition = FMOD_VECTOR{0, 0, 0};
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Set3DMinMaxDistance(H<T>* handle, float minDistance, float maxDistance) {
  LOCK(T, handle);
  if (!Finite(minDistance) || !Finite(maxDistance) || minDistance < 0 || maxDistance < minDistance)
    return FMOD_ERR_INVALID_PARAM;
  c->source.minDistance = minDistance;
  c->source.maxDistance = maxDistance;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DMinMaxDistance(H<T>* handle, float* minDistance, float* maxDistance) {
  LOCK(T, handle);
  if (minDistance != nullptr) *minDistance = c->source.minDistance;
  if (maxDistance != nullptr) *maxDistance = c->source.maxDistance;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Set3DConeSettings(H<T>* handle, float inside, float outside, float outsideVolume) {
  LOCK(T, handle);
  if (!InRange(inside, 0, 360) || !InRange(outside, 0, 360) || inside > outside || !InRange(outsideVolume, 0, 1))
    return FMOD_ERR_INVALID_PARAM;
  c->source.coneInsideAngle = inside;
  c->source.coneOutsideAngle = outside;
  c->source.coneOutsideVolume = outsideVolume;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DConeSettings(H<T>* handle, float* inside, float* outside, float* outsideVolume) {
  LOCK(T, handle);
  if (inside != nullptr) *inside = c->source.coneInsideAngle;
  if (outside != nullptr) *outside = c->source.coneOutsideAngle;
  if (outsideVolume != nullptr) *outsideVolume = c->source.coneOutsideVolume;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Set3DConeOrientation(H<T>* handle, FMOD_VECTOR* orientation) {
  LOCK(T, handle);
  if (orientation == nullptr || !Finite(orientation)) return FMOD_ERR_INVALID_PARAM;
  c->source.coneOrientation = *orientation;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DConeOrientation(H<T>* handle, FMOD_VECTOR* orientation) {
  LOCK(T, handle);
  if (orientation == nullptr) return FMOD_ERR_INVALID_PARAM;
  *orientation = c->source.coneOrientation;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Set3DCustomRolloff(H<T>* handle, FMOD_VECTOR* points, int count) {
  LOCK(T, handle);
  if (count < 0 || (count > 0 && points == nullptr)) return FMOD_ERR_INVALID_PARAM;
  for (int i = 0; i < count; ++i)
    if (!Finite(&points[i]) || (i > 0 && points[i].x < points[i - 1].x))
      return FMOD_ERR_INVALID_PARAM;  // distances must rise
  c->source.customRolloff.assign(points, points + count);
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DCustomRolloff(H<T>* handle, FMOD_VECTOR** points, int* count) {
  LOCK(T, handle);
  auto& curve = c->source.customRolloff;
  if (points != nullptr) *points = curve.empty() ? nullptr : curve.data();
  if (count != nullptr) *count = static_cast<int>(curve.size());
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Set3DOcclusion(H<T>* handle, float direct, float reverb) {
  LOCK(T, handle);
  if (!InRange(direct, 0, 1) || !InRange(reverb, 0, 1)) return FMOD_ERR_INVALID_PARAM;
  c->source.directOcclusion = direct;
  c->source.reverbOcclusion = reverb;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DOcclusion(H<T>* handle, float* direct, float* reverb) {
  LOCK(T, handle);
  if (direct != nullptr) *direct = c->source.directOcclusion;
  if (reverb != nullptr) *reverb = c->source.reverbOcclusion;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Set3DDistanceFilter(H<T>* handle, FMOD_BOOL custom, float customLevel, float centerFreq) {
  LOCK(T, handle);
  if (!InRange(customLevel, 0, 1) || !Finite(centerFreq) || centerFreq < 0) return FMOD_ERR_INVALID_PARAM;
  c->source.distanceFilter = custom != 0;
  c->source.directOcclusion = custom != 0 ? 1.0f - customLevel : c->source.directOcclusion;
  if (centerFreq > 0) c->source.distanceFilterCenterFreq = centerFreq;
  return FMOD_OK;
}

template <typename T>
FMOD_RESULT Get3DDistanceFilter(H<T>* handle, FMOD_BOOL* custom, float* customLevel, float* centerFreq) {
  LOCK(T, handle);
  if (custom != nullptr) *custom = c->source.distanceFilter ? 1 : 0;
  if (customLevel != nullptr) *customLevel = 1.0f - c->source.directOcclusion;
  if (centerFreq != nullptr) *centerFreq = c->source.distanceFilterCenterFreq;
  return FMOD_OK;
}

// ---- Channels only

FMOD_RESULT SetFrequency(FMOD_CHANNEL* handle, float frequency) {
  LOCK(Channel, handle);
  if (!Finite(frequency) || frequency < 0) return FMOD_ERR_INVALID_PARAM;
  c->frequency = frequency;
  return FMOD_OK;
}

FMOD_RESULT GetFrequency(FMOD_CHANNEL* handle, float* frequency) {
  LOCK(Channel, handle);
  if (frequency == nullptr) return FMOD_ERR_INVALID_PARAM;
  *frequency = c->frequency;
  return FMOD_OK;
}

FMOD_RESULT SetPriority(FMOD_CHANNEL* handle, int priority) {
  LOCK(Channel, handle);
  if (priority < 0 || priority > 256) return FMOD_ERR_INVALID_PARAM;
  c->priority = priority;
  return FMOD_OK;
}

FMOD_RESULT GetPriority(FMOD_CHANNEL* handle, int* priority) {
  LOCK(Channel, handle);
  if (priority == nullptr) return FMOD_ERR_INVALID_PARAM;
  *priority = c->priority;
  return FMOD_OK;
}

FMOD_RESULT SetPosition(FMOD_CHANNEL* handle, unsigned int position, FMOD_TIMEUNIT unit) {
  LOCK(Channel, handle);
  std::uint64_t frame = 0;
  if (!ToFrames(*c->sound, position, unit, frame)) return FMOD_ERR_FORMAT;
  if (frame >= c->sound->LengthFrames()) return FMOD_ERR_INVALID_POSITION;
  c->readPos = std::int64_t(frame);
  c->backwards = false;
  c->started = false;
  c->sourceEnded = false;
  c->phase = 0;
  c->positionA = frame;
  if (c->sound->IsStream()) c->sound->SeekStream(frame);
  return FMOD_OK;
}

FMOD_RESULT GetPosition(FMOD_CHANNEL* handle, unsigned int* position, FMOD_TIMEUNIT unit) {
  LOCK(Channel, handle);
  if (position == nullptr) return FMOD_ERR_INVALID_PARAM;
  const std::uint64_t frame = c->started ? c->positionA : std::uint64_t(c->readPos);
  if (!FromFrames(*c->sound, frame, unit, *position)) return FMOD_ERR_FORMAT;
  return FMOD_OK;
}

FMOD_RESULT SetChannelGroup(FMOD_CHANNEL* handle, FMOD_CHANNELGROUP* groupHandle) {
  LOCK(Channel, handle);
  if (groupHandle == nullptr) {
    c.mixer->Attach(*c.object, *c.mixer->master);
    return FMOD_OK;
  }
  std::shared_ptr<Group> group = Groups().Find(groupHandle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (group->mixer.lock() != c.mixer) return FMOD_ERR_INVALID_PARAM;  // another system's group
  c.mixer->Attach(*c.object, *group);
  return FMOD_OK;
}

FMOD_RESULT GetChannelGroup(FMOD_CHANNEL* handle, FMOD_CHANNELGROUP** group) {
  LOCK(Channel, handle);
  if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
  *group = c->parent != nullptr ? c->parent->handle : nullptr;
  return FMOD_OK;
}

FMOD_RESULT SetLoopCount(FMOD_CHANNEL* handle, int count) {
  LOCK(Channel, handle);
  if (count < -1) return FMOD_ERR_INVALID_PARAM;
  c->loopCount = count;
  if (c->sound->IsStream())
    c->sound->SetStreamLoop(c->mode & kLoopBits, c->loopStart, c->loopEnd, c->loopCount);
  return FMOD_OK;
}

FMOD_RESULT GetLoopCount(FMOD_CHANNEL* handle, int* count) {
  LOCK(Channel, handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = c->loopCount;
  return FMOD_OK;
}

FMOD_RESULT SetLoopPoints(FMOD_CHANNEL* handle, unsigned int start, FMOD_TIMEUNIT startUnit, unsigned int end,
                          FMOD_TIMEUNIT endUnit) {
  LOCK(Channel, handle);
  std::uint64_t first = 0, last = 0;
  if (!ToFrames(*c->sound, start, startUnit, first) || !ToFrames(*c->sound, end, endUnit, last))
    return FMOD_ERR_FORMAT;
  if (first >= last || last >= c->sound->LengthFrames()) return FMOD_ERR_INVALID_PARAM;
  c->loopStart = std::uint32_t(first);
  c->loopEnd = std::uint32_t(last);
  if (c->sound->IsStream())
    c->sound->SetStreamLoop(c->mode & kLoopBits, c->loopStart, c->loopEnd, c->loopCount);
  return FMOD_OK;
}

FMOD_RESULT GetLoopPoints(FMOD_CHANNEL* handle, unsigned int* start, FMOD_TIMEUNIT startUnit, unsigned int* end,
                          FMOD_TIMEUNIT endUnit) {
  LOCK(Channel, handle);
  if (start != nullptr && !FromFrames(*c->sound, c->loopStart, startUnit, *start)) return FMOD_ERR_FORMAT;
  if (end != nullptr && !FromFrames(*c->sound, c->loopEnd, endUnit, *end)) return FMOD_ERR_FORMAT;
  return FMOD_OK;
}

FMOD_RESULT IsVirtual(FMOD_CHANNEL* handle, FMOD_BOOL* isVirtual) {
  LOCK(Channel, handle);
  if (isVirtual == nullptr) return FMOD_ERR_INVALID_PARAM;
  *isVirtual = c->isVirtual ? 1 : 0;
  return FMOD_OK;
}

FMOD_RESULT GetCurrentSound(FMOD_CHANNEL* handle, FMOD_SOUND** sound) {
  LOCK_ENDED_TOO(Channel, handle);
  if (sound == nullptr) return FMOD_ERR_INVALID_PARAM;
  *sound = c->sound->handle;
  return FMOD_OK;
}

FMOD_RESULT GetIndex(FMOD_CHANNEL* handle, int* index) {
  LOCK(Channel, handle);
  if (index == nullptr) return FMOD_ERR_INVALID_PARAM;
  *index = c->index;
  return FMOD_OK;
}

// ---- Groups only

FMOD_RESULT Release(FMOD_CHANNELGROUP* handle) {
  LOCK(Group, handle);
  if (c->isMaster) return FMOD_ERR_INVALID_PARAM;  // the master group goes with the system
  c.mixer->ReleaseGroup(*c.object);
  return FMOD_OK;
}

FMOD_RESULT AddGroup(FMOD_CHANNELGROUP* handle, FMOD_CHANNELGROUP* childHandle, FMOD_BOOL /*propagateClock*/,
                     FMOD_DSPCONNECTION** connection) {
  LOCK(Group, handle);
  if (childHandle == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::shared_ptr<Group> child = Groups().Find(childHandle);
  if (!child) return FMOD_ERR_INVALID_HANDLE;
  if (child->mixer.lock() != c.mixer || child->isMaster) return FMOD_ERR_INVALID_PARAM;
  if (!c.mixer->Attach(*child, *c.object)) return FMOD_ERR_INVALID_PARAM;  // would make a loop
  if (child->connection) DspConnections().Remove(child->connection->handle);
  child->connection = std::make_shared<DspConnection>();
  child->connection->handle = DspConnections().Add<FMOD_DSPCONNECTION>(child->connection);
  if (connection != nullptr) *connection = child->connection->handle;
  return FMOD_OK;
}

FMOD_RESULT GetNumGroups(FMOD_CHANNELGROUP* handle, int* count) {
  LOCK(Group, handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = static_cast<int>(c->groups.size());
  return FMOD_OK;
}

FMOD_RESULT GetGroup(FMOD_CHANNELGROUP* handle, int index, FMOD_CHANNELGROUP** group) {
  LOCK(Group, handle);
  if (group == nullptr || index < 0 || index >= static_cast<int>(c->groups.size())) return FMOD_ERR_INVALID_PARAM;
  *group = c->groups[std::size_t(index)]->handle;
  return FMOD_OK;
}

FMOD_RESULT GetParentGroup(FMOD_CHANNELGROUP* handle, FMOD_CHANNELGROUP** group) {
  LOCK(Group, handle);
  if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
  *group = c->parent != nullptr ? c->parent->handle : nullptr;
  return FMOD_OK;
}

FMOD_RESULT GetName(FMOD_CHANNELGROUP* handle, char* name, int length) {
  LOCK(Group, handle);
  return CopyName(c->name, name, length);
}

FMOD_RESULT GetNumChannels(FMOD_CHANNELGROUP* handle, int* count) {
  LOCK(Group, handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = static_cast<int>(c->channels.size());
  return FMOD_OK;
}

FMOD_RESULT GetChannel(FMOD_CHANNELGROUP* handle, int index, FMOD_CHANNEL** channel) {
  LOCK(Group, handle);
  if (channel == nullptr || index < 0 || index >= static_cast<int>(c->channels.size())) return FMOD_ERR_INVALID_PARAM;
  *channel = c->channels[std::size_t(index)]->handle;
  return FMOD_OK;
}

#undef LOCK
#undef LOCK_ENDED_TOO

#define BOTH(name)                                   \
  t.FMOD_Channel_##name = &name<Channel>;            \
  t.FMOD_ChannelGroup_##name = &name<Group>;

const ApiRegistration kRegistration{[](ApiTable& t) {
  BOTH(GetSystemObject) BOTH(Stop) BOTH(SetPaused) BOTH(GetPaused) BOTH(SetVolume) BOTH(GetVolume)
  BOTH(SetVolumeRamp) BOTH(GetVolumeRamp) BOTH(GetAudibility) BOTH(SetPitch) BOTH(GetPitch) BOTH(SetMute)
  BOTH(GetMute) BOTH(SetReverbProperties) BOTH(GetReverbProperties) BOTH(SetLowPassGain) BOTH(GetLowPassGain)
  BOTH(SetMode) BOTH(GetMode) BOTH(SetCallback) BOTH(IsPlaying) BOTH(SetPan) BOTH(SetMixLevelsOutput)
  BOTH(SetMixLevelsInput) BOTH(SetMixMatrix) BOTH(GetMixMatrix) BOTH(GetDSPClock) BOTH(SetDelay) BOTH(GetDelay)
  BOTH(AddFadePoint) BOTH(SetFadePointRamp) BOTH(RemoveFadePoints) BOTH(GetFadePoints) BOTH(GetDSP) BOTH(AddDSP)
  BOTH(RemoveDSP) BOTH(GetNumDSPs) BOTH(SetDSPIndex) BOTH(GetDSPIndex) BOTH(Set3DAttributes) BOTH(Get3DAttributes)
  BOTH(Set3DMinMaxDistance) BOTH(Get3DMinMaxDistance) BOTH(Set3DConeSettings) BOTH(Get3DConeSettings)
  BOTH(Set3DConeOrientation) BOTH(Get3DConeOrientation) BOTH(Set3DCustomRolloff) BOTH(Get3DCustomRolloff)
  BOTH(Set3DOcclusion) BOTH(Get3DOcclusion) BOTH(Set3DSpread) BOTH(Get3DSpread) BOTH(Set3DLevel) BOTH(Get3DLevel)
  BOTH(Set3DDopplerLevel) BOTH(Get3DDopplerLevel) BOTH(Set3DDistanceFilter) BOTH(Get3DDistanceFilter)
  BOTH(SetUserData) BOTH(GetUserData)

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

#undef BOTH

}  // namespace
}  // namespace sonvel::engine
