// The value records of the DSP wrapper.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

struct TTembroFMODWetDryMix {
  float PreWet = 0.0f;
  float PostWet = 0.0f;
  float Dry = 0.0f;

  friend bool operator==(const TTembroFMODWetDryMix&, const TTembroFMODWetDryMix&) = default;
};

struct TTembroFMODChannelFormat {
  std::uint32_t ChannelMask = 0;  // FMOD_CHANNELMASK
  std::int32_t NumChannels = 0;
  FMOD_SPEAKERMODE Source_Speakermode{};

  friend bool operator==(const TTembroFMODChannelFormat&, const TTembroFMODChannelFormat&) = default;
};

// What the engine tells about a DSP unit. Name is the address of a buffer
// that receives the unit's name where a caller supplies one; the DSP
// wrapper's GetInfo hands the name back as a string instead.
struct TTembroFMODDSPInfo {
  char* Name = nullptr;
  std::uint32_t Version = 0;
  std::int32_t Channels = 0;
  std::int32_t ConfigWidth = 0;
  std::int32_t ConfigHeight = 0;

  friend bool operator==(const TTembroFMODDSPInfo&, const TTembroFMODDSPInfo&) = default;
};

}  // namespace Tembro::Audio::FMOD
