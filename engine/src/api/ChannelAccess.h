// What the channel and channel group entry points share: finding a channel
// or group by its handle with its graph's mutex held, and the small checks
// and steps they have in common.
#pragma once

#include <cmath>
#include <memory>
#include <mutex>

#include "Registry.h"
#include "SoundDetail.h"
#include "System.h"

namespace sonvel::engine::controls {

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
inline FMOD_RESULT Enter(Access<T>& out) {
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
inline FMOD_RESULT Open(FMOD_CHANNEL* handle, Access<Channel>& out, bool endedToo) {
  out.object = Channels().Find(handle);
  if (!out.object) return FMOD_ERR_INVALID_HANDLE;
  if (const FMOD_RESULT entered = Enter(out); entered != FMOD_OK) return entered;
  switch (out.object->channelApi.state) {
    case Channel::State::Playing: return FMOD_OK;
    case Channel::State::Stolen: return FMOD_ERR_CHANNEL_STOLEN;
    default: return endedToo ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
  }
}

inline FMOD_RESULT Open(FMOD_CHANNELGROUP* handle, Access<Group>& out, bool) {
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

inline bool Finite(float v) { return std::isfinite(v); }
inline bool Finite(const FMOD_VECTOR* v) { return v == nullptr || (Finite(v->x) && Finite(v->y) && Finite(v->z)); }
inline bool InRange(float v, float lo, float hi) { return Finite(v) && v >= lo && v <= hi; }

// Sets a control's mix matrix to the default for its input and output.
inline void DefaultMatrix(ControlSettings& s) {
  s.matrix.assign(std::size_t(s.matrixOut) * std::size_t(s.matrixIn), 0.0f);
  core::DefaultMatrix(s.matrix.data(), s.matrixOut, s.matrixIn);
}

// Hands a channel's loop to its voice, and to its stream when it plays one.
inline FMOD_RESULT SendLoop(Access<Channel>& c) {
  const Channel::ChannelApiSide& api = c->channelApi;
  if (c->PlaysSound() && c->sound->IsStream())
    if (std::shared_ptr<Sound> sound = Sounds().Find(c->soundHandle))
      sound->SetStreamLoop(api.loopMode, api.loopStart, api.loopEnd, api.loopCount);
  return c.graph().SendLoop(*c.object);
}

}  // namespace sonvel::engine::controls
