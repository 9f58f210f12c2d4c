// The value records of the sound wrapper.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

struct TTembroFMODSoundDefaults {
  float Frequency = 0.0f;
  std::int32_t Priority = 0;

  friend bool operator==(const TTembroFMODSoundDefaults&, const TTembroFMODSoundDefaults&) = default;
};

struct TTembroFMODSoundFormat {
  FMOD_SOUND_TYPE Type{};  // container type
  FMOD_SOUND_FORMAT Format{};
  std::int32_t Channels = 0;
  std::int32_t Bits = 0;

  friend bool operator==(const TTembroFMODSoundFormat&, const TTembroFMODSoundFormat&) = default;
};

struct TTembroFMODSoundNumTags {
  std::int32_t NumTags = 0;
  std::int32_t NumTagsUpdated = 0;  // updated since the previous query

  friend bool operator==(const TTembroFMODSoundNumTags&, const TTembroFMODSoundNumTags&) = default;
};

struct TTembroFMODOpenState {
  FMOD_OPENSTATE OpenState{};
  std::uint32_t PercentBuffered = 0;
  FMOD_BOOL Starving = 0;
  FMOD_BOOL DiskBusy = 0;

  friend bool operator==(const TTembroFMODOpenState&, const TTembroFMODOpenState&) = default;
};

// A sync point of a sound: Point is the engine's sync point itself, Offset
// its position in the unit OffsetType (an FMOD_TIMEUNIT).
struct TTembroFMODSyncPointInfo {
  FMOD_SYNCPOINT* Point = nullptr;
  std::uint32_t Offset = 0;
  std::uint32_t OffsetType = 0;

  friend bool operator==(const TTembroFMODSyncPointInfo&, const TTembroFMODSyncPointInfo&) = default;
};

}  // namespace Tembro::Audio::FMOD
