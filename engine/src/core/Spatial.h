// 3D sound: the system's 3D settings and listener, a channel's 3D state, and
// the function that turns them into an attenuation, pan gains, a doppler
// pitch factor and a low-pass amount. It runs on the API side (the system's
// update), so the program's rolloff callback is called on the caller's
// thread with the channel it is asked about.
#pragma once

#include <vector>

#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine::spatial {

constexpr int kMaxListeners = 8;       // FMOD_MAX_LISTENERS
constexpr int kMaxSpeakers = 8;        // up to 7.1

// The system's 3D settings (FMOD_System_Set3DSettings) and listeners.
struct Settings {
  float dopplerScale = 1.0f;
  float distanceFactor = 1.0f;  // units per metre
  float rolloffScale = 1.0f;
  bool rightHanded = false;     // FMOD_INIT_3D_RIGHTHANDED
  bool distanceFilter = false;  // FMOD_INIT_CHANNEL_DISTANCEFILTER: filter by distance
};

struct Listener {
  FMOD_VECTOR position{0, 0, 0};
  FMOD_VECTOR velocity{0, 0, 0};
  FMOD_VECTOR forward{0, 0, 1};
  FMOD_VECTOR up{0, 1, 0};
};

// Everything the system keeps about 3D.
struct SystemState {
  Settings settings;
  int numListeners = 1;
  Listener listeners[kMaxListeners];
  FMOD_3D_ROLLOFF_CALLBACK rolloffCallback = nullptr;
};

// One channel's (or channel group's) 3D state, set by the
// FMOD_Channel[Group]_Set3D* entry points. Defaults are the engine's.
struct Source {
  bool is3D = false;              // FMOD_3D in the channel's mode
  bool headRelative = false;      // FMOD_3D_HEADRELATIVE
  FMOD_MODE rolloff = FMOD_3D_INVERSEROLLOFF;  // one of the FMOD_3D_*ROLLOFF bits
  FMOD_VECTOR position{0, 0, 0};
  FMOD_VECTOR velocity{0, 0, 0};
  float minDistance = 1.0f;
  float maxDistance = 10000.0f;
  float coneInsideAngle = 360.0f;
  float coneOutsideAngle = 360.0f;
  float coneOutsideVolume = 1.0f;
  FMOD_VECTOR coneOrientation{0, 0, 1};
  float level = 1.0f;             // 3D pan level: 0 = 2D pan, 1 = full 3D
  float spread = 0.0f;            // degrees
  float dopplerLevel = 1.0f;
  float directOcclusion = 0.0f;
  float reverbOcclusion = 0.0f;
  bool distanceFilter = false;      // the custom level overrides the filter by distance
  float distanceFilterLevel = 1.0f;  // 1: no filtering
  float distanceFilterCenterFreq = 1500.0f;
  std::vector<FMOD_VECTOR> customRolloff;  // x distance, y volume
};

// What 3D does to one channel.
struct Result {
  float attenuation = 1.0f;  // distance * cone * occlusion
  // The pan to the output's speakers (constant power); the mixer blends it
  // with the channel's 2D mix by the source's 3D level.
  float panGains[kMaxSpeakers] = {1, 1, 1, 1, 1, 1, 1, 1};
  float pitchFactor = 1.0f;  // doppler
  float lowpassGain = 1.0f;  // distance filter / occlusion, 1 = open
};

// Evaluates `source` heard by listener 0 of `system` on an output of
// `speakerMode` (FMOD_SPEAKERMODE_*) with `speakers` channels; `control` is
// the channel the rolloff callback is told about. For a 2D source answers
// the neutral result.
Result Evaluate(const SystemState& system, const Source& source, FMOD_SPEAKERMODE speakerMode, int speakers,
                FMOD_CHANNELCONTROL* control = nullptr) noexcept;

// The constant-power gains (kMaxSpeakers of them, past `speakers` zero) of a
// direction in listener space (x right, y up, z forward; zero: ahead)
// widened by `spreadDeg`, on the speakers of `speakerMode`. Output channels
// whose bit in `enabled` is clear take no part; the others share the sound.
// A layout with no panning (raw) leaves the neutral gains, 1.
void PanDirection(FMOD_SPEAKERMODE speakerMode, int speakers, const FMOD_VECTOR& direction, float spreadDeg,
                  unsigned enabled, float* gains) noexcept;

// Volume by distance alone for a rolloff model (for tests and voice stealing).
float DistanceGain(const Source& source, float distance, float rolloffScale) noexcept;

}  // namespace sonvel::engine::spatial
