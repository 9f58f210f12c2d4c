#include "Tembro.Audio.FMOD.SoundGroup.h"

#include <exception>
#include <stdexcept>

#include "Tembro.Audio.FMOD.Intf.System.h"
#include "Tembro.Audio.FMOD.Sound.h"
#include "Tembro.Audio.FMOD.Strings.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

namespace {

FMOD_SYSTEM* SystemHandle(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const char* AOperation) {
  if (!ASystem) throw std::invalid_argument(std::string(AOperation) + ": ASystem is null");
  return static_cast<FMOD_SYSTEM*>(ASystem->GetInternalHandle());
}

}  // namespace

TTembroFMODSoundGroup::TTembroFMODSoundGroup(FMOD_SOUNDGROUP* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

TTembroFMODSoundGroup::~TTembroFMODSoundGroup() {
  if (!OwnsEngineObject()) return;
  try {
    static_cast<void>(FMOD_SoundGroup_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

// FMOD_System_CreateSoundGroup
ITembroFMODSoundGroupPtr TTembroFMODSoundGroup::Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                       const std::string& AName) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "Create");
  const std::string Name = ToEngineString(AName);
  FMOD_SOUNDGROUP* Group = nullptr;
  CheckFMODResult(FMOD_System_CreateSoundGroup(System, Name.c_str(), &Group));
  try {
    return ITembroFMODSoundGroupPtr(new TTembroFMODSoundGroup(Group, TTembroFMODOwnership::Owned));
  } catch (...) {
    if (Group != nullptr) static_cast<void>(FMOD_SoundGroup_Release(Group));
    throw;
  }
}

// FMOD_System_GetMasterSoundGroup
ITembroFMODSoundGroupPtr TTembroFMODSoundGroup::GetMasterSoundGroup(const TTembroFMODPtr<ITembroFMODSystem>& ASystem) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "GetMasterSoundGroup");
  FMOD_SOUNDGROUP* Group = nullptr;
  CheckFMODResult(FMOD_System_GetMasterSoundGroup(System, &Group));
  return ITembroFMODSoundGroupPtr(new TTembroFMODSoundGroup(Group, TTembroFMODOwnership::Borrowed));
}

// FMOD_SoundGroup_GetSystemObject
void* TTembroFMODSoundGroup::GetSystemObject() const {
  FMOD_SYSTEM* System = nullptr;
  CheckFMODResult(FMOD_SoundGroup_GetSystemObject(Handle(), &System));
  return System;
}

// FMOD_SoundGroup_GetName
std::string TTembroFMODSoundGroup::GetName() const {
  char Buffer[NameLength] = {};
  CheckFMODResult(FMOD_SoundGroup_GetName(Handle(), Buffer, NameLength));
  return FromEngineBuffer(Buffer, sizeof Buffer);
}

// FMOD_SoundGroup_GetMaxAudible
std::int32_t TTembroFMODSoundGroup::GetMaxAudible() const {
  int Value = 0;
  CheckFMODResult(FMOD_SoundGroup_GetMaxAudible(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_SetMaxAudible
void TTembroFMODSoundGroup::SetMaxAudible(std::int32_t AValue) {
  CheckFMODResult(FMOD_SoundGroup_SetMaxAudible(Handle(), AValue));
}

// FMOD_SoundGroup_GetMaxAudibleBehavior
FMOD_SOUNDGROUP_BEHAVIOR TTembroFMODSoundGroup::GetMaxAudibleBehavior() const {
  FMOD_SOUNDGROUP_BEHAVIOR Value{};
  CheckFMODResult(FMOD_SoundGroup_GetMaxAudibleBehavior(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_SetMaxAudibleBehavior
void TTembroFMODSoundGroup::SetMaxAudibleBehavior(FMOD_SOUNDGROUP_BEHAVIOR AValue) {
  CheckFMODResult(FMOD_SoundGroup_SetMaxAudibleBehavior(Handle(), AValue));
}

// FMOD_SoundGroup_GetMuteFadeSpeed
float TTembroFMODSoundGroup::GetMuteFadeSpeed() const {
  float Value = 0.0f;
  CheckFMODResult(FMOD_SoundGroup_GetMuteFadeSpeed(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_SetMuteFadeSpeed
void TTembroFMODSoundGroup::SetMuteFadeSpeed(float AValue) {
  CheckFMODResult(FMOD_SoundGroup_SetMuteFadeSpeed(Handle(), AValue));
}

// FMOD_SoundGroup_GetVolume
float TTembroFMODSoundGroup::GetVolume() const {
  float Value = 0.0f;
  CheckFMODResult(FMOD_SoundGroup_GetVolume(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_SetVolume
void TTembroFMODSoundGroup::SetVolume(float AValue) { CheckFMODResult(FMOD_SoundGroup_SetVolume(Handle(), AValue)); }

// FMOD_SoundGroup_GetNumSounds
std::int32_t TTembroFMODSoundGroup::GetNumSounds() const {
  int Value = 0;
  CheckFMODResult(FMOD_SoundGroup_GetNumSounds(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_GetNumPlaying
std::int32_t TTembroFMODSoundGroup::GetNumPlaying() const {
  int Value = 0;
  CheckFMODResult(FMOD_SoundGroup_GetNumPlaying(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_GetUserData
void* TTembroFMODSoundGroup::GetUserData() const {
  void* Value = nullptr;
  CheckFMODResult(FMOD_SoundGroup_GetUserData(Handle(), &Value));
  return Value;
}

// FMOD_SoundGroup_SetUserData
void TTembroFMODSoundGroup::SetUserData(void* AValue) {
  CheckFMODResult(FMOD_SoundGroup_SetUserData(Handle(), AValue));
}

// FMOD_SoundGroup_Stop
void TTembroFMODSoundGroup::Stop() { CheckFMODResult(FMOD_SoundGroup_Stop(Handle())); }

// FMOD_SoundGroup_GetSound; the group does not own its sounds, so the
// wrapper borrows the engine sound.
TTembroFMODPtr<ITembroFMODInterface> TTembroFMODSoundGroup::GetSound(std::int32_t AIndex) const {
  FMOD_SOUND* Sound = nullptr;
  CheckFMODResult(FMOD_SoundGroup_GetSound(Handle(), AIndex, &Sound));
  return TTembroFMODPtr<ITembroFMODInterface>(new TTembroFMODSound(Sound, TTembroFMODOwnership::Borrowed));
}

}  // namespace Tembro::Audio::FMOD
