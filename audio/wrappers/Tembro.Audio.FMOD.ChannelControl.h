// The channel-control family, written once for the channel and the channel
// group. The engine offers each of these controls twice, as FMOD_Channel_X
// and FMOD_ChannelGroup_X with the same parameters; the family is a class
// template over the interface it implements and a table of the entry points
// of one prefix. The two instantiations live in
// Tembro.Audio.FMOD.ChannelControl.cpp.
#pragma once

#include <cstdint>
#include <span>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODDSP;

// The entry points of the family for one prefix (FMOD_Channel_ or
// FMOD_ChannelGroup_), as references into the binding's table.
#define TEMBRO_FMOD_CHANNEL_CONTROL_ENTRY_POINTS(APrefix)                       \
  static constexpr auto& GetSystemObject = Lib::APrefix##GetSystemObject;       \
  static constexpr auto& IsPlaying = Lib::APrefix##IsPlaying;                   \
  static constexpr auto& GetPaused = Lib::APrefix##GetPaused;                   \
  static constexpr auto& SetPaused = Lib::APrefix##SetPaused;                   \
  static constexpr auto& GetVolume = Lib::APrefix##GetVolume;                   \
  static constexpr auto& SetVolume = Lib::APrefix##SetVolume;                   \
  static constexpr auto& GetVolumeRamp = Lib::APrefix##GetVolumeRamp;           \
  static constexpr auto& SetVolumeRamp = Lib::APrefix##SetVolumeRamp;           \
  static constexpr auto& GetAudibility = Lib::APrefix##GetAudibility;           \
  static constexpr auto& GetPitch = Lib::APrefix##GetPitch;                     \
  static constexpr auto& SetPitch = Lib::APrefix##SetPitch;                     \
  static constexpr auto& GetMute = Lib::APrefix##GetMute;                       \
  static constexpr auto& SetMute = Lib::APrefix##SetMute;                       \
  static constexpr auto& GetLowPassGain = Lib::APrefix##GetLowPassGain;         \
  static constexpr auto& SetLowPassGain = Lib::APrefix##SetLowPassGain;         \
  static constexpr auto& GetMode = Lib::APrefix##GetMode;                       \
  static constexpr auto& SetMode = Lib::APrefix##SetMode;                       \
  static constexpr auto& GetMixMatrix = Lib::APrefix##GetMixMatrix;             \
  static constexpr auto& SetMixMatrix = Lib::APrefix##SetMixMatrix;             \
  static constexpr auto& GetUserData = Lib::APrefix##GetUserData;               \
  static constexpr auto& SetUserData = Lib::APrefix##SetUserData;               \
  static constexpr auto& GetDelay = Lib::APrefix##GetDelay;                     \
  static constexpr auto& SetDelay = Lib::APrefix##SetDelay;                     \
  static constexpr auto& Get3DAttributes = Lib::APrefix##Get3DAttributes;       \
  static constexpr auto& Set3DAttributes = Lib::APrefix##Set3DAttributes;       \
  static constexpr auto& Get3DMinMaxDistance = Lib::APrefix##Get3DMinMaxDistance; \
  static constexpr auto& Set3DMinMaxDistance = Lib::APrefix##Set3DMinMaxDistance; \
  static constexpr auto& Get3DConeSettings = Lib::APrefix##Get3DConeSettings;   \
  static constexpr auto& Set3DConeSettings = Lib::APrefix##Set3DConeSettings;   \
  static constexpr auto& Get3DConeOrientation = Lib::APrefix##Get3DConeOrientation; \
  static constexpr auto& Set3DConeOrientation = Lib::APrefix##Set3DConeOrientation; \
  static constexpr auto& Get3DCustomRolloff = Lib::APrefix##Get3DCustomRolloff; \
  static constexpr auto& Set3DCustomRolloff = Lib::APrefix##Set3DCustomRolloff; \
  static constexpr auto& Get3DOcclusion = Lib::APrefix##Get3DOcclusion;         \
  static constexpr auto& Set3DOcclusion = Lib::APrefix##Set3DOcclusion;         \
  static constexpr auto& Get3DSpread = Lib::APrefix##Get3DSpread;               \
  static constexpr auto& Set3DSpread = Lib::APrefix##Set3DSpread;               \
  static constexpr auto& Get3DLevel = Lib::APrefix##Get3DLevel;                 \
  static constexpr auto& Set3DLevel = Lib::APrefix##Set3DLevel;                 \
  static constexpr auto& Get3DDopplerLevel = Lib::APrefix##Get3DDopplerLevel;   \
  static constexpr auto& Set3DDopplerLevel = Lib::APrefix##Set3DDopplerLevel;   \
  static constexpr auto& Get3DDistanceFilter = Lib::APrefix##Get3DDistanceFilter; \
  static constexpr auto& Set3DDistanceFilter = Lib::APrefix##Set3DDistanceFilter; \
  static constexpr auto& Stop = Lib::APrefix##Stop;                             \
  static constexpr auto& SetReverbProperties = Lib::APrefix##SetReverbProperties; \
  static constexpr auto& GetReverbProperties = Lib::APrefix##GetReverbProperties; \
  static constexpr auto& SetCallback = Lib::APrefix##SetCallback;               \
  static constexpr auto& SetPan = Lib::APrefix##SetPan;                         \
  static constexpr auto& SetMixLevelsOutput = Lib::APrefix##SetMixLevelsOutput; \
  static constexpr auto& SetMixLevelsInput = Lib::APrefix##SetMixLevelsInput;   \
  static constexpr auto& GetDSPClock = Lib::APrefix##GetDSPClock;               \
  static constexpr auto& AddFadePoint = Lib::APrefix##AddFadePoint;             \
  static constexpr auto& SetFadePointRamp = Lib::APrefix##SetFadePointRamp;     \
  static constexpr auto& RemoveFadePoints = Lib::APrefix##RemoveFadePoints;     \
  static constexpr auto& GetFadePoints = Lib::APrefix##GetFadePoints;           \
  static constexpr auto& GetDSP = Lib::APrefix##GetDSP;                         \
  static constexpr auto& AddDSP = Lib::APrefix##AddDSP;                         \
  static constexpr auto& RemoveDSP = Lib::APrefix##RemoveDSP;                   \
  static constexpr auto& GetNumDSPs = Lib::APrefix##GetNumDSPs;                 \
  static constexpr auto& SetDSPIndex = Lib::APrefix##SetDSPIndex;               \
  static constexpr auto& GetDSPIndex = Lib::APrefix##GetDSPIndex;

// The channel's family. An engine channel ends whenever its sound does, and
// its handle then answers FMOD_ERR_INVALID_HANDLE, or FMOD_ERR_CHANNEL_STOLEN
// once the voice plays another sound; the channel's IsPlaying, GetPaused,
// SetPaused (and its own position) take those answers as "not playing".
struct TTembroFMODChannelEntryPoints {
  using THandle = FMOD_CHANNEL;
  static constexpr bool ToleratesEndedChannel = true;
  TEMBRO_FMOD_CHANNEL_CONTROL_ENTRY_POINTS(FMOD_Channel_)
};

// The group's family: a group lives until it is released, so every engine
// error is raised.
struct TTembroFMODChannelGroupEntryPoints {
  using THandle = FMOD_CHANNELGROUP;
  static constexpr bool ToleratesEndedChannel = false;
  TEMBRO_FMOD_CHANNEL_CONTROL_ENTRY_POINTS(FMOD_ChannelGroup_)
};

#undef TEMBRO_FMOD_CHANNEL_CONTROL_ENTRY_POINTS

// The results an ended channel answers with.
inline bool IsEndedChannelResult(FMOD_RESULT AResult) noexcept {
  return AResult == FMOD_ERR_CHANNEL_STOLEN || AResult == FMOD_ERR_INVALID_HANDLE;
}

// Implements the channel-control family of TInterface (ITembroFMODChannel or
// ITembroFMODChannelGroup) through the entry points TEntryPoints names. Each
// operation is one engine call with the stored handle first, checked,
// unless its comment says otherwise.
template <typename TInterface, typename TEntryPoints>
class TTembroFMODChannelControl : public TTembroFMODObject<TInterface, typename TEntryPoints::THandle> {
  using TBase = TTembroFMODObject<TInterface, typename TEntryPoints::THandle>;

public:
  using THandle = typename TEntryPoints::THandle;

  explicit TTembroFMODChannelControl(THandle* AHandle,
                                     TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept
      : TBase(AHandle, AOwnership) {}

  // The engine system's handle, not a wrapper.
  void* GetSystemObject() const override;

  FMOD_BOOL IsPlaying() const override;
  FMOD_BOOL GetPaused() const override;
  void SetPaused(FMOD_BOOL AValue) override;
  float GetVolume() const override;
  void SetVolume(float AValue) override;
  FMOD_BOOL GetVolumeRamp() const override;
  void SetVolumeRamp(FMOD_BOOL AValue) override;
  float GetAudibility() const override;
  float GetPitch() const override;
  void SetPitch(float AValue) override;
  FMOD_BOOL GetMute() const override;
  void SetMute(FMOD_BOOL AValue) override;
  float GetLowPassGain() const override;
  void SetLowPassGain(float AValue) override;
  FMOD_MODE GetMode() const override;
  void SetMode(FMOD_MODE AValue) override;
  TTembroFMODMixMatrix GetMixMatrix() const override;
  void SetMixMatrix(const TTembroFMODMixMatrix& AValue) override;
  void* GetUserData() const override;
  void SetUserData(void* AValue) override;
  TTembroFMODDelay GetDelay() const override;
  void SetDelay(const TTembroFMODDelay& AValue) override;
  TTembroFMOD3DAttributes Get3DAttributes() const override;
  void Set3DAttributes(const TTembroFMOD3DAttributes& AValue) override;
  TTembroFMOD3DMinMaxDistance Get3DMinMaxDistance() const override;
  void Set3DMinMaxDistance(const TTembroFMOD3DMinMaxDistance& AValue) override;
  TTembroFMOD3DConeSettings Get3DConeSettings() const override;
  void Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) override;
  TPoint3D Get3DConeOrientation() const override;
  void Set3DConeOrientation(const TPoint3D& AValue) override;
  TTembroFMOD3DCustomRolloff Get3DCustomRolloff() const override;
  void Set3DCustomRolloff(const TTembroFMOD3DCustomRolloff& AValue) override;
  TTembroFMOD3DOcclusion Get3DOcclusion() const override;
  void Set3DOcclusion(const TTembroFMOD3DOcclusion& AValue) override;
  float Get3DSpread() const override;
  void Set3DSpread(float AValue) override;
  float Get3DLevel() const override;
  void Set3DLevel(float AValue) override;
  float Get3DDopplerLevel() const override;
  void Set3DDopplerLevel(float AValue) override;
  TTembroFMOD3DDistanceFilter Get3DDistanceFilter() const override;
  void Set3DDistanceFilter(const TTembroFMOD3DDistanceFilter& AValue) override;

  void Stop() override;
  void SetReverbProperties(std::int32_t AInstance, float AWet) override;
  float GetReverbProperties(std::int32_t AInstance) const override;
  void SetCallback(FMOD_CHANNELCONTROL_CALLBACK ACallback) override;
  void SetPan(float APan) override;
  void SetMixLevelsOutput(const TTembroFMODMixLevelsOutput& AValue) override;
  void SetMixLevelsInput(std::span<const float> ALevels, std::int32_t ANumlevels) override;
  void GetDSPClock(std::uint64_t& ADSPClock, std::uint64_t& AParentClock) const override;
  void AddFadePoint(std::uint64_t ADSPClock, float AVolume) override;
  void SetFadePointRamp(std::uint64_t ADSPClock, float AVolume) override;
  void RemoveFadePoints(std::uint64_t ADSPClock_Start, std::uint64_t ADSPClock_End) override;
  TTembroFMODFadePoints GetFadePoints(std::int32_t AMaxPoints) const override;
  TTembroFMODPtr<ITembroFMODDSP> GetDSP(std::int32_t AIndex) const override;
  void AddDSP(std::int32_t AIndex, const TTembroFMODPtr<ITembroFMODDSP>& ADSP) override;
  void RemoveDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) override;
  std::int32_t GetNumDSPs() const override;
  void SetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP, std::int32_t AIndex) override;
  std::int32_t GetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) const override;

protected:
  // Checks AResult, letting the ended-channel results through where the
  // family tolerates them.
  static void CheckTolerant(FMOD_RESULT AResult);
};

}  // namespace Tembro::Audio::FMOD
