// What the channel, channel-group and channel-control wrapper tests share:
// the two kinds of channel control (their wrapper, entry-point prefix and
// fake actions), normalised call texts and small formatting helpers.
#pragma once

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "WrapperTestSupport.h"

namespace sonvel::test::channels {

using namespace Tembro::Audio::FMOD;
using wrappers::Strings;
using wrappers::kSystem;
using wrappers::kInvalidParam;
using wrappers::kInvalidHandle;
using wrappers::Normalised;
using wrappers::RaisedText;

inline FMOD_CHANNEL* const kChannel = FakeHandle<FMOD_CHANNEL>(0xca11);
inline FMOD_CHANNELGROUP* const kGroup = FakeHandle<FMOD_CHANNELGROUP>(0x6600);
inline FMOD_CHANNELGROUP* const kOtherGroup = FakeHandle<FMOD_CHANNELGROUP>(0x6601);
inline FMOD_DSP* const kDSP = FakeHandle<FMOD_DSP>(0xd5b0);
inline FMOD_SOUND* const kSound = FakeHandle<FMOD_SOUND>(0x5011);
inline FMOD_DSPCONNECTION* const kConnection = FakeHandle<FMOD_DSPCONNECTION>(0xc044);

inline const char* const kChannelStolen = "The specified channel has been reused to play another sound.";

inline std::string Show(float AValue) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%g", static_cast<double>(AValue));
  return Buffer;
}
inline std::string Show(const void* AValue) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%p", AValue);
  return Buffer;
}
template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
std::string Show(T AValue) {
  return std::to_string(AValue);
}
inline std::string Show(const TPoint3D& AValue) {
  return "(" + Show(AValue.X) + "," + Show(AValue.Y) + "," + Show(AValue.Z) + ")";
}
inline std::string Show(const FMOD_VECTOR* AValue) {
  return AValue == nullptr ? "null" : Show(TPoint3D{AValue->x, AValue->y, AValue->z});
}

// Every entry point of the channel-control family, by its ending.
#define SONVEL_CHANNEL_CONTROL_ENDINGS(X, P)                                                                \
  X(P, GetSystemObject) X(P, IsPlaying) X(P, GetPaused) X(P, SetPaused) X(P, GetVolume) X(P, SetVolume)     \
  X(P, GetVolumeRamp) X(P, SetVolumeRamp) X(P, GetAudibility) X(P, GetPitch) X(P, SetPitch) X(P, GetMute)   \
  X(P, SetMute) X(P, GetLowPassGain) X(P, SetLowPassGain) X(P, GetMode) X(P, SetMode) X(P, GetMixMatrix)    \
  X(P, SetMixMatrix) X(P, GetUserData) X(P, SetUserData) X(P, GetDelay) X(P, SetDelay)                      \
  X(P, Get3DAttributes) X(P, Set3DAttributes) X(P, Get3DMinMaxDistance) X(P, Set3DMinMaxDistance)           \
  X(P, Get3DConeSettings) X(P, Set3DConeSettings) X(P, Get3DConeOrientation) X(P, Set3DConeOrientation)     \
  X(P, Get3DCustomRolloff) X(P, Set3DCustomRolloff) X(P, Get3DOcclusion) X(P, Set3DOcclusion)               \
  X(P, Get3DSpread) X(P, Set3DSpread) X(P, Get3DLevel) X(P, Set3DLevel) X(P, Get3DDopplerLevel)             \
  X(P, Set3DDopplerLevel) X(P, Get3DDistanceFilter) X(P, Set3DDistanceFilter) X(P, Stop)                    \
  X(P, SetReverbProperties) X(P, GetReverbProperties) X(P, SetCallback) X(P, SetPan)                        \
  X(P, SetMixLevelsOutput) X(P, SetMixLevelsInput) X(P, GetDSPClock) X(P, AddFadePoint)                     \
  X(P, SetFadePointRamp) X(P, RemoveFadePoints) X(P, GetFadePoints) X(P, GetDSP) X(P, AddDSP)               \
  X(P, RemoveDSP) X(P, GetNumDSPs) X(P, SetDSPIndex) X(P, GetDSPIndex)

#define SONVEL_ACTION_MEMBER(P, E) static constexpr auto E = &FakeEngine::ActionTable::P##E;
#define SONVEL_FAIL_ACTION(P, E) \
  AFake.Actions.P##E = [AResult](auto...) { return AResult; };

// The channel as one kind of channel control: its wrapper (borrowed, so that
// dropping it adds no call), the prefix and handle text of its entry points
// and its fake actions by ending.
struct ChannelKind {
  using TInterface = ITembroFMODChannel;
  using TPtr = ITembroFMODChannelPtr;
  static constexpr const char* Prefix = "FMOD_Channel_";
  static constexpr const char* HandleArg = "channel=0xca11";
  static constexpr bool ToleratesEndedChannel = true;
  struct Actions {
    SONVEL_CHANNEL_CONTROL_ENDINGS(SONVEL_ACTION_MEMBER, FMOD_Channel_)
  };
  static TPtr Make() { return TPtr(new TTembroFMODChannel(kChannel, TTembroFMODOwnership::Borrowed)); }
  static void FailAll(FakeEngine& AFake, FMOD_RESULT AResult) {
    SONVEL_CHANNEL_CONTROL_ENDINGS(SONVEL_FAIL_ACTION, FMOD_Channel_)
  }
};

struct GroupKind {
  using TInterface = ITembroFMODChannelGroup;
  using TPtr = ITembroFMODChannelGroupPtr;
  static constexpr const char* Prefix = "FMOD_ChannelGroup_";
  static constexpr const char* HandleArg = "channelgroup=0x6600";
  static constexpr bool ToleratesEndedChannel = false;
  struct Actions {
    SONVEL_CHANNEL_CONTROL_ENDINGS(SONVEL_ACTION_MEMBER, FMOD_ChannelGroup_)
  };
  static TPtr Make() { return TPtr(new TTembroFMODChannelGroup(kGroup, TTembroFMODOwnership::Borrowed)); }
  static void FailAll(FakeEngine& AFake, FMOD_RESULT AResult) {
    SONVEL_CHANNEL_CONTROL_ENDINGS(SONVEL_FAIL_ACTION, FMOD_ChannelGroup_)
  }
};

#undef SONVEL_FAIL_ACTION
#undef SONVEL_ACTION_MEMBER

// ACall with "{P}" replaced by the kind's prefix and "{H}" by its handle
// argument.
template <typename TKind>
std::string Expand(std::string ACall) {
  for (std::size_t At; (At = ACall.find("{P}")) != std::string::npos;) ACall.replace(At, 3, TKind::Prefix);
  for (std::size_t At; (At = ACall.find("{H}")) != std::string::npos;) ACall.replace(At, 3, TKind::HandleArg);
  return ACall;
}

// An action for a getter with one out-value: writes AValue and succeeds.
template <typename T>
auto Writes(T AValue) {
  return [AValue](auto*, T* AOut) {
    *AOut = AValue;
    return FMOD_OK;
  };
}

}  // namespace sonvel::test::channels
