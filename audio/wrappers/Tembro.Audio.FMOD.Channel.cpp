#include "Tembro.Audio.FMOD.Channel.h"

#include <stdexcept>

#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.Sound.h"
#include "Tembro.Audio.FMOD.Sound.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

TTembroFMODChannel::TTembroFMODChannel(FMOD_CHANNEL* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODChannelControl(AHandle, AOwnership) {}

std::int32_t TTembroFMODChannel::GetIndex() const {
  int Index = 0;
  CheckFMODResult(FMOD_Channel_GetIndex(Handle(), &Index));
  return Index;
}

FMOD_BOOL TTembroFMODChannel::IsVirtual() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(FMOD_Channel_IsVirtual(Handle(), &Value));
  return Value;
}

// An ended channel reads as position 0, and a position written to it is
// dropped, as IsPlaying and the paused state do.
std::uint32_t TTembroFMODChannel::GetPosition(FMOD_TIMEUNIT AIndex) const {
  unsigned int Position = 0;
  CheckTolerant(FMOD_Channel_GetPosition(Handle(), &Position, AIndex));
  return Position;
}

// The engine takes the position before its unit.
void TTembroFMODChannel::SetPosition(FMOD_TIMEUNIT AIndex, std::uint32_t AValue) {
  CheckTolerant(FMOD_Channel_SetPosition(Handle(), AValue, AIndex));
}

std::int32_t TTembroFMODChannel::GetPriority() const {
  int Priority = 0;
  CheckFMODResult(FMOD_Channel_GetPriority(Handle(), &Priority));
  return Priority;
}

void TTembroFMODChannel::SetPriority(std::int32_t AValue) { CheckFMODResult(FMOD_Channel_SetPriority(Handle(), AValue)); }

float TTembroFMODChannel::GetFrequency() const {
  float Frequency = 0.0f;
  CheckFMODResult(FMOD_Channel_GetFrequency(Handle(), &Frequency));
  return Frequency;
}

void TTembroFMODChannel::SetFrequency(float AValue) { CheckFMODResult(FMOD_Channel_SetFrequency(Handle(), AValue)); }

std::int32_t TTembroFMODChannel::GetLoopCount() const {
  int LoopCount = 0;
  CheckFMODResult(FMOD_Channel_GetLoopCount(Handle(), &LoopCount));
  return LoopCount;
}

void TTembroFMODChannel::SetLoopCount(std::int32_t AValue) {
  CheckFMODResult(FMOD_Channel_SetLoopCount(Handle(), AValue));
}

void TTembroFMODChannel::SetChannelGroup(const ITembroFMODChannelGroupPtr& AChannelGroup) {
  if (!AChannelGroup) throw std::invalid_argument("SetChannelGroup: AChannelGroup is null");
  CheckFMODResult(
      FMOD_Channel_SetChannelGroup(Handle(), static_cast<FMOD_CHANNELGROUP*>(AChannelGroup->GetInternalHandle())));
}

// The group (often the master group) belongs to the engine or to whoever
// created it: the wrapper borrows it.
ITembroFMODChannelGroupPtr TTembroFMODChannel::GetChannelGroup() const {
  FMOD_CHANNELGROUP* Group = nullptr;
  CheckFMODResult(FMOD_Channel_GetChannelGroup(Handle(), &Group));
  return ITembroFMODChannelGroupPtr(new TTembroFMODChannelGroup(Group, TTembroFMODOwnership::Borrowed));
}

// The engine takes each position before its unit; the record's own unit
// fields are not used.
void TTembroFMODChannel::SetLoopPoints(FMOD_TIMEUNIT ALoopStartType, FMOD_TIMEUNIT ALoopEndType,
                                       const TTembroFMODLoopPoints& AValue) {
  CheckFMODResult(FMOD_Channel_SetLoopPoints(Handle(), AValue.LoopStart, ALoopStartType, AValue.LoopEnd, ALoopEndType));
}

TTembroFMODLoopPoints TTembroFMODChannel::GetLoopPoints(FMOD_TIMEUNIT ALoopStartType,
                                                        FMOD_TIMEUNIT ALoopEndType) const {
  TTembroFMODLoopPoints Result;
  CheckFMODResult(
      FMOD_Channel_GetLoopPoints(Handle(), &Result.LoopStart, ALoopStartType, &Result.LoopEnd, ALoopEndType));
  Result.LoopStartType = ALoopStartType;
  Result.LoopEndType = ALoopEndType;
  return Result;
}

// The sound belongs to whoever created it: the wrapper borrows it.
TTembroFMODPtr<ITembroFMODSound> TTembroFMODChannel::GetCurrentSound() const {
  FMOD_SOUND* Sound = nullptr;
  CheckFMODResult(FMOD_Channel_GetCurrentSound(Handle(), &Sound));
  return TTembroFMODPtr<ITembroFMODSound>(new TTembroFMODSound(Sound, TTembroFMODOwnership::Borrowed));
}

}  // namespace Tembro::Audio::FMOD
