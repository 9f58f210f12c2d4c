// The wrapper of the engine's 3D reverb.
#pragma once

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Reverb3D.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODSystem;

// One engine 3D reverb zone; owned, and released when the last reference
// goes.
//
//   ITembroFMODReverb3DPtr Hall = TTembroFMODReverb3D::Create(System);
//   Hall->Set3DAttributes({{0, 0, 0}, 5.0f, 20.0f});
class TTembroFMODReverb3D : public TTembroFMODObject<ITembroFMODReverb3D, FMOD_REVERB3D> {
public:
  explicit TTembroFMODReverb3D(FMOD_REVERB3D* AHandle,
                               TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Releases the engine reverb when the wrapper owns it; the result is
  // ignored.
  ~TTembroFMODReverb3D() override;

  // A new engine 3D reverb of ASystem (required).
  static ITembroFMODReverb3DPtr Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem);

  void* GetUserData() const override;
  void SetUserData(void* AValue) override;
  FMOD_BOOL GetActive() const override;
  void SetActive(FMOD_BOOL AValue) override;
  FMOD_REVERB_PROPERTIES GetProperties() const override;
  void SetProperties(const FMOD_REVERB_PROPERTIES& AValue) override;
  TTembroFMOD3DReverbAttributes Get3DAttributes() const override;
  void Set3DAttributes(const TTembroFMOD3DReverbAttributes& AValue) override;
};

}  // namespace Tembro::Audio::FMOD
