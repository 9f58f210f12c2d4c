// The interface of the channel group's wrapper.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODChannel;
class ITembroFMODDSP;
class ITembroFMODDSPConnection;

// One engine channel group: a named mixing bus that channels and other
// groups play into. Everything a channel can be given (volume, pause, 3D,
// a DSP chain) can be given to a whole group at once.
//
// Operations are declared in slot order. The channel-control family is the
// channel's as well, except that the group raises on every engine error.
class ITembroFMODChannelGroup : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODChannelGroup;

  // The group's name, trimmed of blanks and control characters at both ends.
  virtual std::string GetName() const = 0;        // slot 5
  // Channels and groups that play into the group.
  virtual std::int32_t GetNumChannels() const = 0;  // slot 6
  virtual std::int32_t GetNumGroups() const = 0;    // slot 7
  virtual FMOD_BOOL IsPlaying() const = 0;          // slot 8
  virtual FMOD_BOOL GetPaused() const = 0;          // slot 9
  virtual void SetPaused(FMOD_BOOL AValue) = 0;     // slot 10
  virtual float GetVolume() const = 0;              // slot 11
  virtual void SetVolume(float AValue) = 0;         // slot 12
  virtual FMOD_BOOL GetVolumeRamp() const = 0;      // slot 13
  virtual void SetVolumeRamp(FMOD_BOOL AValue) = 0;  // slot 14
  virtual float GetAudibility() const = 0;          // slot 15
  virtual float GetPitch() const = 0;               // slot 16
  virtual void SetPitch(float AValue) = 0;          // slot 17
  virtual FMOD_BOOL GetMute() const = 0;            // slot 18
  virtual void SetMute(FMOD_BOOL AValue) = 0;       // slot 19
  virtual float GetLowPassGain() const = 0;         // slot 20
  virtual void SetLowPassGain(float AValue) = 0;    // slot 21
  virtual FMOD_MODE GetMode() const = 0;            // slot 22
  virtual void SetMode(FMOD_MODE AValue) = 0;       // slot 23
  // The matrix comes back with InChannel_Hop 0. A matrix that does not fit
  // the record's 16 coefficients is refused with the engine's
  // invalid-parameter error, on reading and on writing.
  virtual TTembroFMODMixMatrix GetMixMatrix() const = 0;              // slot 24
  virtual void SetMixMatrix(const TTembroFMODMixMatrix& AValue) = 0;  // slot 25
  virtual TTembroFMODDelay GetDelay() const = 0;                      // slot 26
  virtual void SetDelay(const TTembroFMODDelay& AValue) = 0;          // slot 27
  virtual void* GetUserData() const = 0;                              // slot 28
  virtual void SetUserData(void* AValue) = 0;                         // slot 29
  virtual TTembroFMOD3DAttributes Get3DAttributes() const = 0;                  // slot 30
  virtual void Set3DAttributes(const TTembroFMOD3DAttributes& AValue) = 0;      // slot 31
  virtual TTembroFMOD3DMinMaxDistance Get3DMinMaxDistance() const = 0;          // slot 32
  virtual void Set3DMinMaxDistance(const TTembroFMOD3DMinMaxDistance& AValue) = 0;  // slot 33
  virtual TTembroFMOD3DConeSettings Get3DConeSettings() const = 0;              // slot 34
  virtual void Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) = 0;  // slot 35
  virtual TPoint3D Get3DConeOrientation() const = 0;                            // slot 36
  virtual void Set3DConeOrientation(const TPoint3D& AValue) = 0;                // slot 37
  // The read copies the engine's points into the record. The write hands the
  // engine the caller's own Points, which it may go on reading after the
  // call, and refuses a NumPoints that is negative or larger than Points.
  virtual TTembroFMOD3DCustomRolloff Get3DCustomRolloff() const = 0;              // slot 38
  virtual void Set3DCustomRolloff(const TTembroFMOD3DCustomRolloff& AValue) = 0;  // slot 39
  virtual TTembroFMOD3DOcclusion Get3DOcclusion() const = 0;                      // slot 40
  virtual void Set3DOcclusion(const TTembroFMOD3DOcclusion& AValue) = 0;          // slot 41
  virtual float Get3DSpread() const = 0;                                          // slot 42
  virtual void Set3DSpread(float AValue) = 0;                                     // slot 43
  virtual float Get3DLevel() const = 0;                                           // slot 44
  virtual void Set3DLevel(float AValue) = 0;                                      // slot 45
  virtual float Get3DDopplerLevel() const = 0;                                    // slot 46
  virtual void Set3DDopplerLevel(float AValue) = 0;                               // slot 47
  virtual TTembroFMOD3DDistanceFilter Get3DDistanceFilter() const = 0;            // slot 48
  virtual void Set3DDistanceFilter(const TTembroFMOD3DDistanceFilter& AValue) = 0;  // slot 49

  // Stops every channel that plays into the group.
  virtual void Stop() = 0;                                                        // slot 50
  virtual void SetReverbProperties(std::int32_t AInstance, float AWet) = 0;       // slot 51
  // The wet level of reverb instance AInstance.
  virtual float GetReverbProperties(std::int32_t AInstance) const = 0;            // slot 52
  // ACallback goes to the engine unchanged; null removes the callback.
  virtual void SetCallback(FMOD_CHANNELCONTROL_CALLBACK ACallback) = 0;           // slot 53
  virtual void SetPan(float APan) = 0;                                            // slot 54
  virtual void SetMixLevelsOutput(const TTembroFMODMixLevelsOutput& AValue) = 0;  // slot 55
  // Hands the engine the first ANumlevels levels of ALevels; a count that
  // is negative or larger than ALevels is refused.
  virtual void SetMixLevelsInput(std::span<const float> ALevels, std::int32_t ANumlevels) = 0;  // slot 56
  virtual void GetDSPClock(std::uint64_t& ADSPClock, std::uint64_t& AParentClock) const = 0;  // slot 57
  virtual void AddFadePoint(std::uint64_t ADSPClock, float AVolume) = 0;                       // slot 58
  virtual void SetFadePointRamp(std::uint64_t ADSPClock, float AVolume) = 0;                   // slot 59
  virtual void RemoveFadePoints(std::uint64_t ADSPClock_Start, std::uint64_t ADSPClock_End) = 0;  // slot 60
  // Both arrays of the result hold AMaxPoints elements, the first NumPoints
  // of them fade points. More fade points than AMaxPoints are refused with
  // the engine's invalid-parameter error; a negative AMaxPoints raises
  // std::out_of_range.
  virtual TTembroFMODFadePoints GetFadePoints(std::int32_t AMaxPoints) const = 0;  // slot 61
  // The unit at AIndex of the group's DSP chain. The wrapper borrows it: the
  // chain still holds the unit.
  virtual TTembroFMODPtr<ITembroFMODDSP> GetDSP(std::int32_t AIndex) const = 0;  // slot 62
  // The DSP argument is required; a null one raises std::invalid_argument.
  virtual void AddDSP(std::int32_t AIndex, const TTembroFMODPtr<ITembroFMODDSP>& ADSP) = 0;  // slot 63
  virtual void RemoveDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) = 0;                    // slot 64
  virtual std::int32_t GetNumDSPs() const = 0;                                               // slot 65
  virtual void SetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP, std::int32_t AIndex) = 0;  // slot 66
  virtual std::int32_t GetDSPIndex(const TTembroFMODPtr<ITembroFMODDSP>& ADSP) const = 0;      // slot 67

  // Makes AGroup (required) an input of this group and returns the new
  // connection. The engine ends connections itself; the wrapper never does.
  virtual TTembroFMODPtr<ITembroFMODDSPConnection> AddGroup(const TTembroFMODPtr<ITembroFMODChannelGroup>& AGroup,
                                                            FMOD_BOOL APropagatedSPClock) = 0;  // slot 68
  // The group at AIndex among this group's inputs, and the group this one
  // plays into. The wrappers borrow the groups.
  virtual TTembroFMODPtr<ITembroFMODChannelGroup> GetGroup(std::int32_t AIndex) const = 0;  // slot 69
  virtual TTembroFMODPtr<ITembroFMODChannelGroup> GetParentGroup() const = 0;             // slot 70
  // The channel at AIndex among those that play into the group.
  virtual TTembroFMODPtr<ITembroFMODChannel> GetChannel(std::int32_t AIndex) const = 0;  // slot 71

protected:
  ~ITembroFMODChannelGroup() = default;
};

using ITembroFMODChannelGroupPtr = TTembroFMODPtr<ITembroFMODChannelGroup>;

}  // namespace Tembro::Audio::FMOD
