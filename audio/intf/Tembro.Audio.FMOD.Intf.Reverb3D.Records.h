// The value record of the 3D reverb wrapper.
#pragma once

#include "Tembro.Audio.FMOD.Intf.Records.h"

namespace Tembro::Audio::FMOD {

// Where a 3D reverb sits and how far it reaches.
struct TTembroFMOD3DReverbAttributes {
  TPoint3D Position;
  float MinDistance = 0.0f;
  float MaxDistance = 0.0f;

  friend bool operator==(const TTembroFMOD3DReverbAttributes&, const TTembroFMOD3DReverbAttributes&) = default;
};

}  // namespace Tembro::Audio::FMOD
