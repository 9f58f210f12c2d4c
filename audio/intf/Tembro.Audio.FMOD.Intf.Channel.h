// The interface of the channel wrapper.
#pragma once

#include <cstdint>
#include <span>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODChannelGroup;
class ITembroFMODDSP;
class ITembroFMODSound;

// One engine channel: a voice of the mixer, playing a sound or a DSP unit.
// The engine owns its channels; a wrapper never ends one (call Stop for
// that). Once the channel has ended, IsPlaying, GetPaused and GetPosition
// answer false or 0 and SetPaused and SetPosition do nothing, while every
// other operation raises the engine's error for the stale handle.
//
// Operations are declared in slot order. The channel-control family
// (volume, pause, 3D, DSP chain, ...) is the channel group's as well.
class ITembroFMODChannel : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODChannel;

  virtual std::int32_t GetIndex() const = 0;     // slot 5
  virtual FMOD_BOOL IsPlaying() const = 0;       // slot 6
  virtual FMOD_BOOL IsVirtual() const = 0;       // slot 7
  virtual FMOD_BOOL GetPaused() const = 0;       // slot 8
  virtual void SetPaused(FMOD_BOOL AValue) = 0;  // slot 9
  // The playing position in the time unit AIndex (an FMOD_TIMEUNIT).
  virtual std::uint32_t GetPosition(FMOD_TIMEUNIT AIndex) const = 0;  // slot 10
  virtual void SetPosition(FMOD_TIMEUNIT AIndex, std::uint32_t AValue) = 0;  // slot 11
  virtual float GetVolume() const = 0;              // slot 12
  virtual void SetVolume(float AValue) = 0;         // slot 13
  virtual FMOD_BOOL GetVolumeRamp() const = 0;      // slot 14
  virtual void SetVolumeRamp(FMOD_BOOL AValue) = 0;  // slot 15
  virtual float GetAudibility() const = 0;          // slot 16
  virtual float GetPitch() const = 0;               // slot 17
  virtual void SetPitch(float AValue) = 0;          // slot 18
  virtual FMOD_BOOL GetMute() const = 0;            // slot 19
  virtual void SetMute(FMOD_BOOL AValue) = 0;       // slot 20
  virtual float GetLowPassGain() const = 0;         // slot 21
  virtual void SetLowPassGain(float AValue) = 0;    // slot 22
  virtual FMOD_MODE GetMode() const = 0;            // slot 23
  virtual void SetMode(FMOD_MODE AValue) = 0;       // slot 24
  // The matrix comes back with InChannel_Hop 0. A matrix that does not fit
  // the record's 16 coefficients is refused with the engine's
  // invalid-parameter error, on reading and on writing.
  virtual TTembroFMODMixMatrix GetMixMatrix() const = 0;              // slot 25
  virtual void SetMixMatrix(const TTembroFMODMixMatrix& AValue) = 0;  // slot 26
  virtual std::int32_t GetPriority() const = 0;                       // slot 27
  virtual void SetPriority(std::int32_t AValue) = 0;                  // slot 28
  virtual float GetFrequency() const = 0;                             // slot 29
  virtual void SetFrequency(float AValue) = 0;                        // slot 30
  virtual void* GetUserData() const = 0;                              // slot 31
  virtual void SetUserData(void* AValue) = 0;                         // slot 32
  virtual TTembroFMODDelay GetDelay() const = 0;                      // slot 33
  virtual void SetDelay(const TTembroFMODDelay& AValue) = 0;          // slot 34
  virtual TTembroFMOD3DAttributes Get3DAttributes() const = 0;                  // slot 35
  virtual void Set3DAttributes(const TTembroFMOD3DAttributes& AValue) = 0;      // slot 36
  virtual TTembroFMOD3DMinMaxDistance Get3DMinMaxDistance() const = 0;          // slot 37
  virtual void Set3DMinMaxDistance(const TTembroFMOD3DMinMaxDistance& AValue) = 0;  // slot 38
  virtual TTembroFMOD3DConeSettings Get3DConeSettings() const = 0;              // slot 39
  virtual void Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) = 0;  // slot 40
  virtual TPoint3D Get3DConeOrientation() const = 0;                            // slot 41
  virtual void Set3DConeOrientation(const TPoint3D& AValue) = 0;                // slot 42
  // The read copies the engine's points into the record. The write hands the
  // engine the caller's own Points, which it may go on reading after the
  // call, and refuses a NumPoints that is negative or larger than Points.
  virtual TTembroFMOD3DCustomRolloff Get3DCustomRolloff() const = 0;              // slot 43
  virtual void Set3DCustomRolloff(const TTembroFMOD3DCustomRolloff& AValue) = 0;  // slot 44
  virtual TTembroFMOD3DOcclusion Get3DOcclusion() const = 0;                      // slot 45
  virtual void Set3DOcclusion(const TTembroFMOD3DOcclusion& AValue) = 0;          // slot 46
  virtual float Get3DSpread() const = 0;                                          // slot 47
  virtual void Set3DSpread(float AValue) = 0;                                     // slot 48
  virtual float Get3DLevel() const = 0;                                           // slot 49
  virtual void Set3DLevel(float AValue) = 0;                                      // slot 50
  virtual float Get3DDopplerLevel() const = 0;                                    // slot 51
  virtual void Set3DDopplerLevel(float AValue) = 0;                               // slot 52
  virtual TTembroFMOD3DDistanceFilter Get3DDistanceFilter() const = 0;            // slot 53
  virtual void Set3DDistanceFilter(const TTembroFMOD3DDistanceFilter& AValue) = 0;  // slot 54
  virtual std::int32_t GetLoopCount() const = 0;                                  // slot 55
  virtual void SetLoopCount(std::int32_t AValue) = 0;                             // slot 56

  virtual void Stop() = 0;                                                        // slot 57
  virtual void SetReverbProperties(std::int32_t AInstance, float AWet) = 0;       // slot 58
  // The wet level of reverb instance AInstance.
  virtual float GetReverbProperties(std::int32_t AInstance) const = 0;            // slot 59
  // ACallback goes to the engine unchanged; null removes the callback.
  virtual void SetCallback(FMOD_CHANNELCONTROL_CALLBACK ACallback) = 0;           // slot 60
  virtual void SetPan(float APan) = 0;                                            // slot 61
  virtual void SetMixLevelsOutput(const TTembroFMODMixLevelsOutput& AValue) = 0;  // slot 62
  // Hands the engine the first ANumlevels levels of ALevels; a count that
  // is negative or larger than ALevels is refused.
  virtual void SetMixLevelsInput(std::span<const float> ALevels, std::int32_t ANumlevels) = 0;  // slot 63
  virtual void GetDSPClock(std::uint64_t& ADSPClock, std::uint64_t& AParentClock) const = 0;  // slot 64
  virtual void AddFadePoint(std::uint64_t ADSPClock, float AVolume) = 0;                       // slot 65
  virtual void SetFadePointRamp(std::uint64_t ADSPClock, float AVolume) = 0;                   // slot 66
  virtual void RemoveFadePoints(std::uint64_t ADSPClock_Start, std::uint64_t ADSPClock_End) = 0;  // slot 67
  // Both arrays of the result hold AMaxPoints elements, the first NumPoints
  // of them fade points. More fade points than AMaxPoints are refused with
  // the engine's invalid-parameter error; a negative AMaxPoints raises
  // std::out_of_range. Neither reaches the engine's array write.
  virtual TTembroFMODFadePoints GetFadePoints(std::int32_t AMaxPoints) const = 0;  // slot 68
  // The unit at AIndex of the channel's DSP chain. The wrapper borrows it:
  // the chain still holds the unit.
  virtual TTembroFMODPtr<ITembroFMODDSP> GetDSP(std::int32_t AIndex) const = 0;  // slot 69
  // The DSP argument is required; a null one raises std::invalid_argument.
  virtual void AddDSP(std::int32_t AIndex, const TTembroFMODPtr<ITembroFMODDSP>& ADSP) = 0;  // slot 70
  virtual void RemoveDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) = 0;                    // slot 71
  virtual std::int32_t GetNumDSPs() const = 0;                                               // slot 72
  virtual void SetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP, std::int32_t AIndex) = 0;  // slot 73
  virtual std::int32_t GetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) const = 0;      // slot 74

  // Moves the channel into AChannelGroup, which is required.
  virtual void SetChannelGroup(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup) = 0;  // slot 75
  // The group the channel plays into. The wrapper borrows the group.
  virtual TTembroFMODPtr<ITembroFMODChannelGroup> GetChannelGroup() const = 0;  // slot 76
  // The loop points in the units given; the record's own type fields are
  // not used on writing and come back as the two units on reading.
  virtual void SetLoopPoints(FMOD_TIMEUNIT ALoopStartType, FMOD_TIMEUNIT ALoopEndType,
                             const TTembroFMODLoopPoints& AValue) = 0;  // slot 77
  virtual TTembroFMODLoopPoints GetLoopPoints(FMOD_TIMEUNIT ALoopStartType,
                                              FMOD_TIMEUNIT ALoopEndType) const = 0;  // slot 78
  // The sound the channel plays. The wrapper borrows the sound.
  virtual TTembroFMODPtr<ITembroFMODSound> GetCurrentSound() const = 0;  // slot 79

protected:
  ~ITembroFMODChannel() = default;
};

using ITembroFMODChannelPtr = TTembroFMODPtr<ITembroFMODChannel>;

}  // namespace Tembro::Audio::FMOD
