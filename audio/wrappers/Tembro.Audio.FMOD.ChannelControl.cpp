#include "Tembro.Audio.FMOD.ChannelControl.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Intf.DSP.h"

namespace Tembro::Audio::FMOD {

using Lib::CheckFMODResult;

namespace {

// The widest matrix the engine keeps: as many output as input channels, at
// most FMOD_MAX_CHANNEL_WIDTH each.
constexpr std::size_t MaxMatrixCoefficients = FMOD_MAX_CHANNEL_WIDTH * FMOD_MAX_CHANNEL_WIDTH;

[[noreturn]] void RefuseInvalidParam() { throw Lib::ETembroFMODError(FMOD_ERR_INVALID_PARAM); }

FMOD_DSP* RequiredDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP, const char* AOperation) {
  if (!ADSP) throw std::invalid_argument(std::string(AOperation) + ": ADSP is null");
  return static_cast<FMOD_DSP*>(ADSP->GetInternalHandle());
}

}  // namespace

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::CheckTolerant(FMOD_RESULT AResult) {
  if constexpr (TEntryPoints::ToleratesEndedChannel) {
    if (IsEndedChannelResult(AResult)) return;
  }
  CheckFMODResult(AResult);
}

template <typename TInterface, typename TEntryPoints>
void* TTembroFMODChannelControl<TInterface, TEntryPoints>::GetSystemObject() const {
  FMOD_SYSTEM* System = nullptr;
  CheckFMODResult(TEntryPoints::GetSystemObject(this->Handle(), &System));
  return System;
}

// IsPlaying and the paused state: the value starts false, so that an ended
// channel that the engine answers without writing reads as not playing and
// not paused.
template <typename TInterface, typename TEntryPoints>
FMOD_BOOL TTembroFMODChannelControl<TInterface, TEntryPoints>::IsPlaying() const {
  FMOD_BOOL Value = 0;
  CheckTolerant(TEntryPoints::IsPlaying(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
FMOD_BOOL TTembroFMODChannelControl<TInterface, TEntryPoints>::GetPaused() const {
  FMOD_BOOL Value = 0;
  CheckTolerant(TEntryPoints::GetPaused(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetPaused(FMOD_BOOL AValue) {
  CheckTolerant(TEntryPoints::SetPaused(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::GetVolume() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::GetVolume(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetVolume(float AValue) {
  CheckFMODResult(TEntryPoints::SetVolume(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
FMOD_BOOL TTembroFMODChannelControl<TInterface, TEntryPoints>::GetVolumeRamp() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(TEntryPoints::GetVolumeRamp(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetVolumeRamp(FMOD_BOOL AValue) {
  CheckFMODResult(TEntryPoints::SetVolumeRamp(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::GetAudibility() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::GetAudibility(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::GetPitch() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::GetPitch(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetPitch(float AValue) {
  CheckFMODResult(TEntryPoints::SetPitch(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
FMOD_BOOL TTembroFMODChannelControl<TInterface, TEntryPoints>::GetMute() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(TEntryPoints::GetMute(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetMute(FMOD_BOOL AValue) {
  CheckFMODResult(TEntryPoints::SetMute(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::GetLowPassGain() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::GetLowPassGain(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetLowPassGain(float AValue) {
  CheckFMODResult(TEntryPoints::SetLowPassGain(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
FMOD_MODE TTembroFMODChannelControl<TInterface, TEntryPoints>::GetMode() const {
  FMOD_MODE Value = 0;
  CheckFMODResult(TEntryPoints::GetMode(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetMode(FMOD_MODE AValue) {
  CheckFMODResult(TEntryPoints::SetMode(this->Handle(), AValue));
}

// The engine is told no capacity when it writes the matrix, so it writes into
// a buffer that holds the widest matrix it keeps; only a matrix that fits the
// record's Matrix is copied out, anything larger is refused. The row width
// handed over is 0: the rows come back InChannels wide.
template <typename TInterface, typename TEntryPoints>
TTembroFMODMixMatrix TTembroFMODChannelControl<TInterface, TEntryPoints>::GetMixMatrix() const {
  std::vector<float> Scratch(MaxMatrixCoefficients, 0.0f);
  int OutChannels = 0;
  int InChannels = 0;
  CheckFMODResult(TEntryPoints::GetMixMatrix(this->Handle(), Scratch.data(), &OutChannels, &InChannels, 0));
  if (OutChannels < 0 || InChannels < 0 ||
      static_cast<std::int64_t>(OutChannels) * InChannels > TTembroFMODMixMatrix::Capacity)
    RefuseInvalidParam();
  TTembroFMODMixMatrix Result;
  std::copy_n(Scratch.begin(), OutChannels * InChannels, Result.Matrix.begin());
  Result.OutChannels = OutChannels;
  Result.InChannels = InChannels;
  Result.InChannel_Hop = 0;
  return Result;
}

// The engine reads OutChannels rows of InChannels coefficients, row r
// starting at r * row width (InChannel_Hop, or InChannels when that is 0); a
// matrix whose last coefficient lies beyond the record's Matrix is refused.
template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetMixMatrix(const TTembroFMODMixMatrix& AValue) {
  const std::int64_t Out = AValue.OutChannels;
  const std::int64_t In = AValue.InChannels;
  const std::int64_t Hop = AValue.InChannel_Hop;
  if (Out < 0 || In < 0 || Hop < 0) RefuseInvalidParam();
  const std::int64_t RowWidth = Hop != 0 ? Hop : In;
  if (Out > 0 && In > 0 && (Out - 1) * RowWidth + In > TTembroFMODMixMatrix::Capacity) RefuseInvalidParam();
  std::array<float, TTembroFMODMixMatrix::Capacity> Matrix = AValue.Matrix;  // the engine takes a writable address
  CheckFMODResult(TEntryPoints::SetMixMatrix(this->Handle(), Matrix.data(), AValue.OutChannels, AValue.InChannels,
                                             AValue.InChannel_Hop));
}

template <typename TInterface, typename TEntryPoints>
void* TTembroFMODChannelControl<TInterface, TEntryPoints>::GetUserData() const {
  void* Value = nullptr;
  CheckFMODResult(TEntryPoints::GetUserData(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetUserData(void* AValue) {
  CheckFMODResult(TEntryPoints::SetUserData(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
TTembroFMODDelay TTembroFMODChannelControl<TInterface, TEntryPoints>::GetDelay() const {
  unsigned long long Start = 0;
  unsigned long long End = 0;
  FMOD_BOOL StopChannels = 0;
  CheckFMODResult(TEntryPoints::GetDelay(this->Handle(), &Start, &End, &StopChannels));
  return TTembroFMODDelay{Start, End, StopChannels};
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetDelay(const TTembroFMODDelay& AValue) {
  CheckFMODResult(
      TEntryPoints::SetDelay(this->Handle(), AValue.DSPClock_Start, AValue.DSPClock_End, AValue.StopChannels));
}

template <typename TInterface, typename TEntryPoints>
TTembroFMOD3DAttributes TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DAttributes() const {
  TTembroFMOD3DAttributes Result;
  CheckFMODResult(TEntryPoints::Get3DAttributes(this->Handle(), AsFMODVector(&Result.Pos),
                                                AsFMODVector(&Result.Velocity), AsFMODVector(&Result.Alt_Pan_Pos)));
  return Result;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DAttributes(const TTembroFMOD3DAttributes& AValue) {
  CheckFMODResult(TEntryPoints::Set3DAttributes(this->Handle(), AsFMODVector(&AValue.Pos),
                                                AsFMODVector(&AValue.Velocity), AsFMODVector(&AValue.Alt_Pan_Pos)));
}

template <typename TInterface, typename TEntryPoints>
TTembroFMOD3DMinMaxDistance TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DMinMaxDistance() const {
  TTembroFMOD3DMinMaxDistance Result;
  CheckFMODResult(TEntryPoints::Get3DMinMaxDistance(this->Handle(), &Result.Min, &Result.Max));
  return Result;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DMinMaxDistance(
    const TTembroFMOD3DMinMaxDistance& AValue) {
  CheckFMODResult(TEntryPoints::Set3DMinMaxDistance(this->Handle(), AValue.Min, AValue.Max));
}

template <typename TInterface, typename TEntryPoints>
TTembroFMOD3DConeSettings TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DConeSettings() const {
  TTembroFMOD3DConeSettings Result;
  CheckFMODResult(TEntryPoints::Get3DConeSettings(this->Handle(), &Result.InsideConeAngle, &Result.OutsideConeAngle,
                                                  &Result.OutsideVolume));
  return Result;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) {
  CheckFMODResult(TEntryPoints::Set3DConeSettings(this->Handle(), AValue.InsideConeAngle, AValue.OutsideConeAngle,
                                                  AValue.OutsideVolume));
}

template <typename TInterface, typename TEntryPoints>
TPoint3D TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DConeOrientation() const {
  TPoint3D Result;
  CheckFMODResult(TEntryPoints::Get3DConeOrientation(this->Handle(), AsFMODVector(&Result)));
  return Result;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DConeOrientation(const TPoint3D& AValue) {
  TPoint3D Orientation = AValue;  // the engine takes a writable address
  CheckFMODResult(TEntryPoints::Set3DConeOrientation(this->Handle(), AsFMODVector(&Orientation)));
}

// The engine hands out the address of its own points; the record gets a copy.
template <typename TInterface, typename TEntryPoints>
TTembroFMOD3DCustomRolloff TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DCustomRolloff() const {
  FMOD_VECTOR* Points = nullptr;
  int NumPoints = 0;
  CheckFMODResult(TEntryPoints::Get3DCustomRolloff(this->Handle(), &Points, &NumPoints));
  TTembroFMOD3DCustomRolloff Result;
  if (Points == nullptr || NumPoints <= 0) return Result;
  Result.Points.resize(static_cast<std::size_t>(NumPoints));
  for (int I = 0; I < NumPoints; ++I) Result.Points[I] = TPoint3D{Points[I].x, Points[I].y, Points[I].z};
  Result.NumPoints = NumPoints;
  return Result;
}

// The engine receives the caller's own array (the engine may go on reading
// it after the call, so no copy is made) and NumPoints, which must not
// exceed it.
template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DCustomRolloff(
    const TTembroFMOD3DCustomRolloff& AValue) {
  if (AValue.NumPoints < 0 || static_cast<std::size_t>(AValue.NumPoints) > AValue.Points.size()) RefuseInvalidParam();
  FMOD_VECTOR* Points =
      AValue.Points.empty() ? nullptr : const_cast<FMOD_VECTOR*>(AsFMODVector(AValue.Points.data()));
  CheckFMODResult(TEntryPoints::Set3DCustomRolloff(this->Handle(), Points, AValue.NumPoints));
}

template <typename TInterface, typename TEntryPoints>
TTembroFMOD3DOcclusion TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DOcclusion() const {
  TTembroFMOD3DOcclusion Result;
  CheckFMODResult(TEntryPoints::Get3DOcclusion(this->Handle(), &Result.DirectOcclusion, &Result.ReverbOcclusion));
  return Result;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DOcclusion(const TTembroFMOD3DOcclusion& AValue) {
  CheckFMODResult(TEntryPoints::Set3DOcclusion(this->Handle(), AValue.DirectOcclusion, AValue.ReverbOcclusion));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DSpread() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::Get3DSpread(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DSpread(float AValue) {
  CheckFMODResult(TEntryPoints::Set3DSpread(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DLevel() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::Get3DLevel(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DLevel(float AValue) {
  CheckFMODResult(TEntryPoints::Set3DLevel(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DDopplerLevel() const {
  float Value = 0.0f;
  CheckFMODResult(TEntryPoints::Get3DDopplerLevel(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DDopplerLevel(float AValue) {
  CheckFMODResult(TEntryPoints::Set3DDopplerLevel(this->Handle(), AValue));
}

template <typename TInterface, typename TEntryPoints>
TTembroFMOD3DDistanceFilter TTembroFMODChannelControl<TInterface, TEntryPoints>::Get3DDistanceFilter() const {
  TTembroFMOD3DDistanceFilter Result;
  CheckFMODResult(
      TEntryPoints::Get3DDistanceFilter(this->Handle(), &Result.Custom, &Result.CustomLevel, &Result.CenterFreq));
  return Result;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Set3DDistanceFilter(
    const TTembroFMOD3DDistanceFilter& AValue) {
  CheckFMODResult(
      TEntryPoints::Set3DDistanceFilter(this->Handle(), AValue.Custom, AValue.CustomLevel, AValue.CenterFreq));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::Stop() {
  CheckFMODResult(TEntryPoints::Stop(this->Handle()));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetReverbProperties(std::int32_t AInstance, float AWet) {
  CheckFMODResult(TEntryPoints::SetReverbProperties(this->Handle(), AInstance, AWet));
}

template <typename TInterface, typename TEntryPoints>
float TTembroFMODChannelControl<TInterface, TEntryPoints>::GetReverbProperties(std::int32_t AInstance) const {
  float Wet = 0.0f;
  CheckFMODResult(TEntryPoints::GetReverbProperties(this->Handle(), AInstance, &Wet));
  return Wet;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetCallback(FMOD_CHANNELCONTROL_CALLBACK ACallback) {
  CheckFMODResult(TEntryPoints::SetCallback(this->Handle(), ACallback));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetPan(float APan) {
  CheckFMODResult(TEntryPoints::SetPan(this->Handle(), APan));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetMixLevelsOutput(
    const TTembroFMODMixLevelsOutput& AValue) {
  CheckFMODResult(TEntryPoints::SetMixLevelsOutput(this->Handle(), AValue.FrontLeft, AValue.FrontRight, AValue.Center,
                                                   AValue.LFE, AValue.SurroundLeft, AValue.SurroundRight,
                                                   AValue.BackLeft, AValue.BackRight));
}

// The engine reads ANumlevels levels from the caller's array.
template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetMixLevelsInput(std::span<const float> ALevels,
                                                                            std::int32_t ANumlevels) {
  if (ANumlevels < 0 || static_cast<std::size_t>(ANumlevels) > ALevels.size()) RefuseInvalidParam();
  float* Levels = ALevels.empty() ? nullptr : const_cast<float*>(ALevels.data());
  CheckFMODResult(TEntryPoints::SetMixLevelsInput(this->Handle(), Levels, ANumlevels));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::GetDSPClock(std::uint64_t& ADSPClock,
                                                                      std::uint64_t& AParentClock) const {
  unsigned long long DSPClock = ADSPClock;
  unsigned long long ParentClock = AParentClock;
  CheckFMODResult(TEntryPoints::GetDSPClock(this->Handle(), &DSPClock, &ParentClock));
  ADSPClock = DSPClock;
  AParentClock = ParentClock;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::AddFadePoint(std::uint64_t ADSPClock, float AVolume) {
  CheckFMODResult(TEntryPoints::AddFadePoint(this->Handle(), ADSPClock, AVolume));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetFadePointRamp(std::uint64_t ADSPClock, float AVolume) {
  CheckFMODResult(TEntryPoints::SetFadePointRamp(this->Handle(), ADSPClock, AVolume));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::RemoveFadePoints(std::uint64_t ADSPClock_Start,
                                                                           std::uint64_t ADSPClock_End) {
  CheckFMODResult(TEntryPoints::RemoveFadePoints(this->Handle(), ADSPClock_Start, ADSPClock_End));
}

// The engine writes all its fade points, with no capacity given, so the
// wrapper first asks for their number (no arrays) and lets the engine fill
// the arrays only when that number fits AMaxPoints.
template <typename TInterface, typename TEntryPoints>
TTembroFMODFadePoints TTembroFMODChannelControl<TInterface, TEntryPoints>::GetFadePoints(
    std::int32_t AMaxPoints) const {
  if (AMaxPoints < 0) throw std::out_of_range("GetFadePoints: AMaxPoints is negative");
  const auto Capacity = static_cast<std::size_t>(AMaxPoints);
  TTembroFMODFadePoints Result;
  Result.Point_DSPClock.assign(Capacity, 0);
  Result.Point_Volume.assign(Capacity, 0.0f);
  unsigned int NumPoints = 0;
  CheckFMODResult(TEntryPoints::GetFadePoints(this->Handle(), &NumPoints, nullptr, nullptr));
  if (NumPoints > Capacity) RefuseInvalidParam();
  if (NumPoints > 0) {
    std::vector<unsigned long long> Clocks(Capacity, 0);
    CheckFMODResult(TEntryPoints::GetFadePoints(this->Handle(), &NumPoints, Clocks.data(), Result.Point_Volume.data()));
    if (NumPoints > Capacity) RefuseInvalidParam();  // points were added between the two calls
    std::copy(Clocks.begin(), Clocks.end(), Result.Point_DSPClock.begin());
  }
  Result.NumPoints = NumPoints;
  return Result;
}

template <typename TInterface, typename TEntryPoints>
TTembroFMODPtr<ITembroFMODDSP> TTembroFMODChannelControl<TInterface, TEntryPoints>::GetDSP(std::int32_t AIndex) const {
  FMOD_DSP* DSP = nullptr;
  CheckFMODResult(TEntryPoints::GetDSP(this->Handle(), AIndex, &DSP));
  return ITembroFMODDSPPtr(new TTembroFMODDSP(DSP, TTembroFMODOwnership::Borrowed));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::AddDSP(std::int32_t AIndex,
                                                                 const TTembroFMODPtr<ITembroFMODDSP>& ADSP) {
  FMOD_DSP* DSP = RequiredDSP(ADSP, "AddDSP");
  CheckFMODResult(TEntryPoints::AddDSP(this->Handle(), AIndex, DSP));
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::RemoveDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) {
  FMOD_DSP* DSP = RequiredDSP(ADSP, "RemoveDSP");
  CheckFMODResult(TEntryPoints::RemoveDSP(this->Handle(), DSP));
}

template <typename TInterface, typename TEntryPoints>
std::int32_t TTembroFMODChannelControl<TInterface, TEntryPoints>::GetNumDSPs() const {
  int Value = 0;
  CheckFMODResult(TEntryPoints::GetNumDSPs(this->Handle(), &Value));
  return Value;
}

template <typename TInterface, typename TEntryPoints>
void TTembroFMODChannelControl<TInterface, TEntryPoints>::SetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP,
                                                                      std::int32_t AIndex) {
  FMOD_DSP* DSP = RequiredDSP(ADSP, "SetDSPIndex");
  CheckFMODResult(TEntryPoints::SetDSPIndex(this->Handle(), DSP, AIndex));
}

template <typename TInterface, typename TEntryPoints>
std::int32_t TTembroFMODChannelControl<TInterface, TEntryPoints>::GetDSPIndex(
    const TTembroFMODPtr<ITembroFMODDSP>& ADSP) const {
  FMOD_DSP* DSP = RequiredDSP(ADSP, "GetDSPIndex");
  int Index = 0;
  CheckFMODResult(TEntryPoints::GetDSPIndex(this->Handle(), DSP, &Index));
  return Index;
}

template class TTembroFMODChannelControl<ITembroFMODChannel, TTembroFMODChannelEntryPoints>;
template class TTembroFMODChannelControl<ITembroFMODChannelGroup, TTembroFMODChannelGroupEntryPoints>;

}  // namespace Tembro::Audio::FMOD
