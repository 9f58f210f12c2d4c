// One initialised system's engine: the mixer (render side) and the graph
// (API side), made together at FMOD_System_Init and gone at its close.
#pragma once

#include <memory>

#include "Effects.h"
#include "Graph.h"
#include "Mixer.h"
#include "Snapshot.h"
#include "Spatial.h"
#include "UserUnit.h"

namespace sonvel::engine::core {

class Engine final : public Host, public std::enable_shared_from_this<Engine> {
  // First, so that it outlives every unit that may point at it.
  std::shared_ptr<TransceiverBus> transceivers_;

public:
  // The engine and its master group.
  static std::shared_ptr<Engine> Create(const Format& format, int realVoices, Registry& registry,
                                        FMOD_SYSTEM* systemHandle, int systemIndex,
                                        const Mixer::Limits& limits = Mixer::Limits());
  Engine(const Format& format, int realVoices, Registry& registry, FMOD_SYSTEM* systemHandle, int systemIndex,
         const Mixer::Limits& limits);
  ~Engine() override;

  const Format format;
  Mixer mixer;
  Graph graph;

  // What the built-in effects of this system are made for.
  const EffectContext& Effects() const noexcept { return effects_; }

  // The listeners as the graph last set them (hold graph.mutex to change),
  // for the DSP state's listener query.
  void SetListeners(const spatial::SystemState& space);
  const spatial::SystemState& Space() const noexcept { return space_; }

  // Host: what a caller's DSP may ask.
  int SampleRate() const noexcept override { return format.sampleRate; }
  unsigned BlockFrames() const noexcept override { return format.blockFrames; }
  FMOD_SPEAKERMODE SpeakerMode() const noexcept override { return format.speakerMode; }
  void Clock(std::uint64_t& clock, unsigned& offset, unsigned& length) const noexcept override;
  int Listeners(FMOD_3D_ATTRIBUTES* attributes) const noexcept override;
  int SystemIndex() const noexcept override { return systemIndex_; }

private:
  struct ListenerState {
    int count = 1;
    FMOD_3D_ATTRIBUTES attributes[FMOD_MAX_LISTENERS] = {};
  };
  const int systemIndex_;
  EffectContext effects_;
  spatial::SystemState space_;
  mutable Snapshot<ListenerState> listeners_;
  ListenerState apiListeners_;
};

}  // namespace sonvel::engine::core
