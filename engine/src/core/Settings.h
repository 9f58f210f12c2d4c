// The settings the API changes and the mixer reads, one record per kind of
// object. The API keeps the authoritative copy and publishes a snapshot of
// it (Snapshot.h) after each change; the mixer reads the snapshot once per
// block. Plain values only: no pointers into the graph.
#pragma once

#include <cstdint>
#include <vector>

#include "Format.h"
#include "Spatial.h"

namespace sonvel::engine::core {

struct FadePoint {
  std::uint64_t clock = 0;
  float volume = 1.0f;
};

// What 3D does to a channel, worked out on the API side (the system's update
// and a channel's start) from the listener and the channel's 3D settings.
struct Placement {
  bool enabled = false;    // the channel is 3D
  float level = 1.0f;      // 3D pan level: 0 = the 2D mix, 1 = fully panned
  float attenuation = 1.0f;
  float pitchFactor = 1.0f;  // doppler
  float lowpass = 1.0f;      // distance filter and occlusion, 1 = open
  float pan[spatial::kMaxSpeakers] = {1, 1, 1, 1, 1, 1, 1, 1};
};

// A channel's or channel group's settings.
struct ControlSettings {
  bool paused = false;
  bool mute = false;
  bool volumeRamp = true;
  float volume = 1.0f;
  float pitch = 1.0f;
  float lowPassGain = 1.0f;
  float faderGain = 1.0f;  // the fader unit's own gain parameter, as a factor
  // Channels only: the playback rate, priority and what a virtual voice
  // does when it becomes real again.
  float frequency = 44100.0f;
  int priority = 128;
  bool playFromStart = false;
  // Whether the program wants callbacks (sync points, virtual voices).
  bool callback = false;
  // The mix matrix, `matrixOut` rows of `matrixIn` gains.
  int matrixOut = 0;
  int matrixIn = 0;
  std::vector<float> matrix;
  // Delay by DSP clock; 0 for "no start" / "no end".
  std::uint64_t delayStart = 0;
  std::uint64_t delayEnd = 0;
  bool delayStops = false;
  std::vector<FadePoint> fades;  // in clock order
  Placement placement;

  // The volume the fade points give at `clock` (1 without points).
  float FadeAt(std::uint64_t clock) const noexcept;
};

// The gain a control itself applies at `clock`: mute, volume, fade points
// and 3D attenuation. A channel's audibility is the product of this over the
// channel and every group above it (the API and the mixer both compute it
// with this one function).
float ControlGain(const ControlSettings& settings, std::uint64_t clock) noexcept;

// The frames of a block of `frames` from `clock` on in which a control's
// delay lets it sound, and whether its delay end falls in this block.
struct Window {
  unsigned from = 0;
  unsigned to = 0;
  bool ends = false;
};
Window WindowOf(const ControlSettings& settings, std::uint64_t clock, unsigned frames) noexcept;

// A DSP unit's settings.
struct UnitSettings {
  bool active = false;
  bool bypass = false;
  float preWet = 1.0f;
  float postWet = 1.0f;
  float dry = 0.0f;
  // The input format the unit asked for; 0 channels: its inputs'.
  int formatChannels = 0;
  FMOD_CHANNELMASK formatMask = 0;
  FMOD_SPEAKERMODE formatMode = FMOD_SPEAKERMODE_DEFAULT;
  bool meterInput = false;
  bool meterOutput = false;
};

// A connection's settings: a level and an optional matrix (empty: the
// default mix from the input's width to the output's).
struct ConnectionSettings {
  float mix = 1.0f;
  int matrixOut = 0;
  int matrixIn = 0;
  std::vector<float> matrix;
};

}  // namespace sonvel::engine::core
