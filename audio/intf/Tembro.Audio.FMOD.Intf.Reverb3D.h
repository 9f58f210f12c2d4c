// The interface of the 3D reverb wrapper.
#pragma once

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Reverb3D.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

// One engine 3D reverb: a reverb zone with a position, a minimum and a
// maximum distance and a set of reverb properties. Operations are declared
// in slot order; SystemObject answers null.
class ITembroFMODReverb3D : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODReverb3D;

  virtual void* GetUserData() const = 0;                                          // slot 5
  virtual void SetUserData(void* AValue) = 0;                                     // slot 6
  virtual FMOD_BOOL GetActive() const = 0;                                        // slot 7
  virtual void SetActive(FMOD_BOOL AValue) = 0;                                   // slot 8
  virtual FMOD_REVERB_PROPERTIES GetProperties() const = 0;                       // slot 9
  virtual void SetProperties(const FMOD_REVERB_PROPERTIES& AValue) = 0;           // slot 10
  virtual TTembroFMOD3DReverbAttributes Get3DAttributes() const = 0;              // slot 11
  virtual void Set3DAttributes(const TTembroFMOD3DReverbAttributes& AValue) = 0;  // slot 12

protected:
  ~ITembroFMODReverb3D() = default;
};

using ITembroFMODReverb3DPtr = TTembroFMODPtr<ITembroFMODReverb3D>;

}  // namespace Tembro::Audio::FMOD
