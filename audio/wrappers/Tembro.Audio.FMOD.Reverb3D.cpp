#include "Tembro.Audio.FMOD.Reverb3D.h"

#include <stdexcept>

#include "Tembro.Audio.FMOD.Intf.System.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

TTembroFMODReverb3D::TTembroFMODReverb3D(FMOD_REVERB3D* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

TTembroFMODReverb3D::~TTembroFMODReverb3D() {
  if (!OwnsEngineObject()) return;
  // The result is ignored; a release through an empty table slot raises,
  // which a destructor reports instead of letting out.
  try {
    static_cast<void>(FMOD_Reverb3D_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

// FMOD_System_CreateReverb3D
ITembroFMODReverb3DPtr TTembroFMODReverb3D::Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem) {
  if (!ASystem) throw std::invalid_argument("Create: ASystem is null");
  FMOD_REVERB3D* Reverb = nullptr;
  CheckFMODResult(FMOD_System_CreateReverb3D(static_cast<FMOD_SYSTEM*>(ASystem->GetInternalHandle()), &Reverb));
  return ITembroFMODReverb3DPtr(new TTembroFMODReverb3D(Reverb, TTembroFMODOwnership::Owned));
}

// FMOD_Reverb3D_GetUserData
void* TTembroFMODReverb3D::GetUserData() const {
  void* Value = nullptr;
  CheckFMODResult(FMOD_Reverb3D_GetUserData(FHandle, &Value));
  return Value;
}

// FMOD_Reverb3D_SetUserData
void TTembroFMODReverb3D::SetUserData(void* AValue) { CheckFMODResult(FMOD_Reverb3D_SetUserData(FHandle, AValue)); }

// FMOD_Reverb3D_GetActive
FMOD_BOOL TTembroFMODReverb3D::GetActive() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(FMOD_Reverb3D_GetActive(FHandle, &Value));
  return Value;
}

// FMOD_Reverb3D_SetActive
void TTembroFMODReverb3D::SetActive(FMOD_BOOL AValue) { CheckFMODResult(FMOD_Reverb3D_SetActive(FHandle, AValue)); }

// FMOD_Reverb3D_GetProperties
FMOD_REVERB_PROPERTIES TTembroFMODReverb3D::GetProperties() const {
  FMOD_REVERB_PROPERTIES Result{};
  CheckFMODResult(FMOD_Reverb3D_GetProperties(FHandle, &Result));
  return Result;
}

// FMOD_Reverb3D_SetProperties
void TTembroFMODReverb3D::SetProperties(const FMOD_REVERB_PROPERTIES& AValue) {
  CheckFMODResult(FMOD_Reverb3D_SetProperties(FHandle, &AValue));
}

// FMOD_Reverb3D_Get3DAttributes
TTembroFMOD3DReverbAttributes TTembroFMODReverb3D::Get3DAttributes() const {
  TTembroFMOD3DReverbAttributes Result{};
  CheckFMODResult(FMOD_Reverb3D_Get3DAttributes(FHandle, AsFMODVector(&Result.Position),
                                                &Result.MinDistance, &Result.MaxDistance));
  return Result;
}

// FMOD_Reverb3D_Set3DAttributes
void TTembroFMODReverb3D::Set3DAttributes(const TTembroFMOD3DReverbAttributes& AValue) {
  CheckFMODResult(FMOD_Reverb3D_Set3DAttributes(FHandle, AsFMODVector(&AValue.Position),
                                                AValue.MinDistance, AValue.MaxDistance));
}

}  // namespace Tembro::Audio::FMOD
