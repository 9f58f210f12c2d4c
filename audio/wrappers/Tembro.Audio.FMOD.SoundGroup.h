// The wrapper of the engine sound group.
#pragma once

#include <cstdint>
#include <string>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.SoundGroup.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODSystem;

// One engine sound group. A group the wrapper created (Create(ASystem,
// AName)) is owned and released when the last reference goes; the master
// group and a group reached through a sound are borrowed and left alone,
// since the engine and other sounds still use them.
//
//   ITembroFMODSoundGroupPtr Effects = TTembroFMODSoundGroup::Create(System, "effects");
//   Effects->SetMaxAudible(4);
//   Explosion->SetSoundGroup(Effects);
class TTembroFMODSoundGroup : public TTembroFMODObject<ITembroFMODSoundGroup, FMOD_SOUNDGROUP> {
public:
  // Bytes of the buffer that receives the group's name.
  static constexpr int NameLength = 512;

  explicit TTembroFMODSoundGroup(FMOD_SOUNDGROUP* AHandle,
                                 TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Releases the engine group when the wrapper owns it; the result is
  // ignored.
  ~TTembroFMODSoundGroup() override;

  // A new engine group named AName (UTF-8) in ASystem (required), owned.
  static ITembroFMODSoundGroupPtr Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const std::string& AName);
  // The master group of ASystem (required), as a new wrapper that borrows it.
  static ITembroFMODSoundGroupPtr GetMasterSoundGroup(const TTembroFMODPtr<ITembroFMODSystem>& ASystem);

  void* GetSystemObject() const override;  // FMOD_SoundGroup_GetSystemObject

  std::string GetName() const override;
  std::int32_t GetMaxAudible() const override;
  void SetMaxAudible(std::int32_t AValue) override;
  FMOD_SOUNDGROUP_BEHAVIOR GetMaxAudibleBehavior() const override;
  void SetMaxAudibleBehavior(FMOD_SOUNDGROUP_BEHAVIOR AValue) override;
  float GetMuteFadeSpeed() const override;
  void SetMuteFadeSpeed(float AValue) override;
  float GetVolume() const override;
  void SetVolume(float AValue) override;
  std::int32_t GetNumSounds() const override;
  std::int32_t GetNumPlaying() const override;
  void* GetUserData() const override;
  void SetUserData(void* AValue) override;
  void Stop() override;
  TTembroFMODPtr<ITembroFMODInterface> GetSound(std::int32_t AIndex) const override;
};

}  // namespace Tembro::Audio::FMOD
