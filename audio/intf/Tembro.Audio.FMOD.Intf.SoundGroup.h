// The interface of the engine sound group's wrapper.
#pragma once

#include <cstdint>
#include <string>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

// One engine sound group: a named set of sounds with a shared volume and a
// limit on how many of them are heard at once. Operations are declared in
// slot order; SystemObject answers the engine system that owns the group.
class ITembroFMODSoundGroup : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODSoundGroup;

  // The group's name, trimmed of blanks and control characters at both ends.
  virtual std::string GetName() const = 0;                                           // slot 5
  virtual std::int32_t GetMaxAudible() const = 0;                                    // slot 6
  virtual void SetMaxAudible(std::int32_t AValue) = 0;                               // slot 7
  virtual FMOD_SOUNDGROUP_BEHAVIOR GetMaxAudibleBehavior() const = 0;                // slot 8
  virtual void SetMaxAudibleBehavior(FMOD_SOUNDGROUP_BEHAVIOR AValue) = 0;           // slot 9
  virtual float GetMuteFadeSpeed() const = 0;                                        // slot 10
  virtual void SetMuteFadeSpeed(float AValue) = 0;                                   // slot 11
  virtual float GetVolume() const = 0;                                               // slot 12
  virtual void SetVolume(float AValue) = 0;                                          // slot 13
  virtual std::int32_t GetNumSounds() const = 0;                                     // slot 14
  virtual std::int32_t GetNumPlaying() const = 0;                                    // slot 15
  virtual void* GetUserData() const = 0;                                             // slot 16
  virtual void SetUserData(void* AValue) = 0;                                        // slot 17
  // Stops every sound of the group.
  virtual void Stop() = 0;  // slot 18
  // Sound AIndex of the group, as a new sound wrapper that borrows the
  // engine sound, seen through the base interface: query it for
  // ITembroFMODSound to use it as a sound.
  virtual TTembroFMODPtr<ITembroFMODInterface> GetSound(std::int32_t AIndex) const = 0;  // slot 19

protected:
  ~ITembroFMODSoundGroup() = default;
};

using ITembroFMODSoundGroupPtr = TTembroFMODPtr<ITembroFMODSoundGroup>;

}  // namespace Tembro::Audio::FMOD
