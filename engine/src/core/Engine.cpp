#include "Engine.h"

#include <algorithm>

namespace sonvel::engine::core {

std::shared_ptr<Engine> Engine::Create(const Format& format, int realVoices, Registry& registry,
                                       FMOD_SYSTEM* systemHandle, int systemIndex, const Mixer::Limits& limits) {
  auto engine = std::make_shared<Engine>(format, realVoices, registry, systemHandle, systemIndex, limits);
  // Nobody else sees the engine yet, but the graph's methods want its mutex.
  std::lock_guard lock(engine->graph.mutex);
  engine->graph.Start(engine);
  return engine;
}

Engine::Engine(const Format& format, int realVoices, Registry& registry, FMOD_SYSTEM* systemHandle, int systemIndex,
               const Mixer::Limits& limits)
    : format(format), mixer(format, realVoices, limits), graph(*this, mixer, registry, systemHandle),
      systemIndex_(systemIndex) {
  effects_.sampleRate = format.sampleRate;
  effects_.blockFrames = format.blockFrames;
  effects_.channels = format.channels;
  effects_.speakerMode = format.speakerMode;
  effects_.maxChannels = std::clamp(std::max(format.channels, 8), 1, kMaxWidth);
  effects_.host = this;
  transceivers_ = NewTransceiverBus(effects_);
  effects_.transceivers = transceivers_.get();
}

Engine::~Engine() = default;

void Engine::SetListeners(const spatial::SystemState& space) {
  space_ = space;
  ListenerState state;
  state.count = std::clamp(space.numListeners, 1, FMOD_MAX_LISTENERS);
  for (int i = 0; i < state.count; ++i) {
    const spatial::Listener& l = space.listeners[i];
    state.attributes[i] = FMOD_3D_ATTRIBUTES{l.position, l.velocity, l.forward, l.up};
  }
  apiListeners_ = state;
  listeners_.Publish(state);
}

void Engine::Clock(std::uint64_t& clock, unsigned& offset, unsigned& length) const noexcept {
  offset = 0;
  if (mixer.lock.HeldHere()) {
    // Asked from a unit the mixer is rendering: the block's own clock.
    clock = mixer.BlockClock();
    length = mixer.BlockFrames();
  } else {
    clock = mixer.Clock();
    length = format.blockFrames;
  }
}

int Engine::Listeners(FMOD_3D_ATTRIBUTES* attributes) const noexcept {
  // The mixer reads the published copy; the API's thread (a create
  // callback, with the graph's mutex held) the graph's own.
  const ListenerState& state = mixer.lock.HeldHere() ? listeners_.Read() : apiListeners_;
  std::copy(state.attributes, state.attributes + state.count, attributes);
  return state.count;
}

}  // namespace sonvel::engine::core
