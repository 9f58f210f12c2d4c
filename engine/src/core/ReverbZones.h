// 3D reverb zones: reverb properties placed in the world. The listener's
// position blends the active zones, and what weight they leave goes to the
// ambient properties of the instance they drive.
#pragma once

#include <vector>

#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine::core {

struct ReverbZone {
  FMOD_VECTOR position{};
  float minDistance = 0.0f;  // full weight within this distance
  float maxDistance = 0.0f;  // none beyond this one
  FMOD_REVERB_PROPERTIES properties = FMOD_PRESET_OFF;
  bool active = true;
  void* userData = nullptr;
};

// The instance the zones drive.
constexpr int kZoneInstance = 0;

// A zone's weight for a listener at `at`: 1 within its minimum distance, 0
// beyond its maximum, falling smoothly (with no step in value or slope)
// between.
float ZoneWeight(const ReverbZone& zone, const FMOD_VECTOR& at) noexcept;

// The properties a listener at `at` hears: each active zone at its weight
// (the weights shared out when they sum past 1), the ambient properties at
// what is left. Times and frequencies blend in the log domain (delays, which
// may be 0, linearly), levels in decibels, shares in percent linearly.
FMOD_REVERB_PROPERTIES BlendZones(const std::vector<const ReverbZone*>& zones, const FMOD_VECTOR& at,
                                  const FMOD_REVERB_PROPERTIES& ambient) noexcept;

}  // namespace sonvel::engine::core
