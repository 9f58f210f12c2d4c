// The point type of the wrapper library and the channel-control records: the
// small value records through which the channel, the channel group, the sound
// and the DSP connection exchange grouped engine values (a loop start with a
// loop end, a position with a velocity, ...).
//
// Records are plain values: they own no engine object and hold no wrapper;
// the dynamic arrays they hold are their own. A read fills the record as the
// engine wrote it, a write hands the fields over in field order.
//
//   TTembroFMOD3DMinMaxDistance Distance{.Min = 1.0f, .Max = 100.0f};
//   Channel->Set3DMinMaxDistance(Distance);
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

// A point or vector in 3D space, laid out like the engine's FMOD_VECTOR, so
// that wrappers hand the engine its address directly.
struct TPoint3D {
  float X = 0.0f;
  float Y = 0.0f;
  float Z = 0.0f;

  friend bool operator==(const TPoint3D&, const TPoint3D&) = default;
};

static_assert(std::is_standard_layout_v<TPoint3D>);
static_assert(sizeof(TPoint3D) == sizeof(FMOD_VECTOR));
static_assert(offsetof(TPoint3D, X) == offsetof(FMOD_VECTOR, x));
static_assert(offsetof(TPoint3D, Y) == offsetof(FMOD_VECTOR, y));
static_assert(offsetof(TPoint3D, Z) == offsetof(FMOD_VECTOR, z));

// The engine's view of a TPoint3D (and of arrays of them).
inline FMOD_VECTOR* AsFMODVector(TPoint3D* APoint) noexcept { return reinterpret_cast<FMOD_VECTOR*>(APoint); }
inline const FMOD_VECTOR* AsFMODVector(const TPoint3D* APoint) noexcept {
  return reinterpret_cast<const FMOD_VECTOR*>(APoint);
}

// Loop start and end with their FMOD_TIMEUNIT. The type fields never reach
// the engine from the record: GetLoopPoints/SetLoopPoints take the units as
// parameters, and a read stores those two parameters here.
struct TTembroFMODLoopPoints {
  std::uint32_t LoopStart = 0;
  std::uint32_t LoopStartType = 0;
  std::uint32_t LoopEnd = 0;
  std::uint32_t LoopEndType = 0;

  friend bool operator==(const TTembroFMODLoopPoints&, const TTembroFMODLoopPoints&) = default;
};

// A mix matrix in the engine's layout: OutChannels rows of InChannel_Hop
// coefficients (InChannels when InChannel_Hop is 0). Room for at most
// Capacity coefficients; wrappers refuse any matrix that would not fit.
struct TTembroFMODMixMatrix {
  static constexpr std::int32_t Capacity = 16;

  std::array<float, Capacity> Matrix{};
  std::int32_t OutChannels = 0;
  std::int32_t InChannels = 0;
  std::int32_t InChannel_Hop = 0;

  friend bool operator==(const TTembroFMODMixMatrix&, const TTembroFMODMixMatrix&) = default;
};

// The output level for each speaker, in the engine's argument order.
struct TTembroFMODMixLevelsOutput {
  float FrontLeft = 0.0f;
  float FrontRight = 0.0f;
  float Center = 0.0f;
  float LFE = 0.0f;
  float SurroundLeft = 0.0f;
  float SurroundRight = 0.0f;
  float BackLeft = 0.0f;
  float BackRight = 0.0f;

  friend bool operator==(const TTembroFMODMixLevelsOutput&, const TTembroFMODMixLevelsOutput&) = default;
};

struct TTembroFMOD3DMinMaxDistance {
  float Min = 0.0f;
  float Max = 0.0f;

  friend bool operator==(const TTembroFMOD3DMinMaxDistance&, const TTembroFMOD3DMinMaxDistance&) = default;
};

// Position, velocity and the engine's alternate pan position; all three go
// to the engine by address.
struct TTembroFMOD3DAttributes {
  TPoint3D Pos;
  TPoint3D Velocity;
  TPoint3D Alt_Pan_Pos;

  friend bool operator==(const TTembroFMOD3DAttributes&, const TTembroFMOD3DAttributes&) = default;
};

// A custom rolloff curve. On a read the record owns a copy of the engine's
// NumPoints points; on a write the engine receives the address of Points
// and NumPoints, which must not exceed the number of elements in Points.
struct TTembroFMOD3DCustomRolloff {
  std::vector<TPoint3D> Points;
  std::int32_t NumPoints = 0;

  friend bool operator==(const TTembroFMOD3DCustomRolloff&, const TTembroFMOD3DCustomRolloff&) = default;
};

struct TTembroFMOD3DConeSettings {
  float InsideConeAngle = 0.0f;
  float OutsideConeAngle = 0.0f;
  float OutsideVolume = 0.0f;

  friend bool operator==(const TTembroFMOD3DConeSettings&, const TTembroFMOD3DConeSettings&) = default;
};

struct TTembroFMOD3DOcclusion {
  float DirectOcclusion = 0.0f;
  float ReverbOcclusion = 0.0f;

  friend bool operator==(const TTembroFMOD3DOcclusion&, const TTembroFMOD3DOcclusion&) = default;
};

struct TTembroFMOD3DDistanceFilter {
  FMOD_BOOL Custom = 0;  // custom filtering instead of the engine's automatic one
  float CustomLevel = 0.0f;
  float CenterFreq = 0.0f;

  friend bool operator==(const TTembroFMOD3DDistanceFilter&, const TTembroFMOD3DDistanceFilter&) = default;
};

// The parent DSP clocks at which sound starts and ends, and whether it then
// stops (true) rather than pauses.
struct TTembroFMODDelay {
  std::uint64_t DSPClock_Start = 0;
  std::uint64_t DSPClock_End = 0;
  FMOD_BOOL StopChannels = 0;

  friend bool operator==(const TTembroFMODDelay&, const TTembroFMODDelay&) = default;
};

// Fade points as GetFadePoints(AMaxPoints) reports them: both arrays hold
// AMaxPoints elements, of which the first NumPoints carry fade points.
struct TTembroFMODFadePoints {
  std::uint32_t NumPoints = 0;
  std::vector<std::uint64_t> Point_DSPClock;
  std::vector<float> Point_Volume;

  friend bool operator==(const TTembroFMODFadePoints&, const TTembroFMODFadePoints&) = default;
};

}  // namespace Tembro::Audio::FMOD
