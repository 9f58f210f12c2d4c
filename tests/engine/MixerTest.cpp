// The mix as a listener gets it: channels and groups rendered by our engine
// into the non-real-time wav writer, block by block, and the PCM checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "MixTestSupport.h"

using namespace sonvel::test;

namespace {

class MixerTest : public MixFixture {};

TEST_F(MixerTest, AMonoSoundPlaysAtItsLevelOnBothSidesFromTheFirstSample) {
  Play(Sound(4 * kBlock, Level(0.5f)));
  const TMix Mix = this->Mix(6);
  ASSERT_GE(Mix.L.size(), 6 * kBlock);
  EXPECT_NEAR(Mix.L[0], 0.5f, kTolerance);
  EXPECT_NEAR(Mix.R[4 * kBlock - 1], 0.5f, kTolerance);
  EXPECT_EQ(FirstSound(Mix.L), 0u);
  EXPECT_EQ(LastSound(Mix.L), 4 * kBlock - 1);  // and ends on its last frame
}

struct TLevelCase {
  const char* Name;
  std::function<void(FMOD_CHANNEL*)> Apply;
  float Left, Right;
};

class ChannelLevels : public MixerTest, public ::testing::WithParamInterface<TLevelCase> {};

TEST_P(ChannelLevels, ReachTheMix) {
  FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.5f)));
  GetParam().Apply(Channel);  // before the first block, so nothing ramps
  const TMix Mix = this->Mix(2);
  EXPECT_NEAR(Peak(Mix.L, 0, 2 * kBlock), GetParam().Left, kTolerance);
  EXPECT_NEAR(Peak(Mix.R, 0, 2 * kBlock), GetParam().Right, kTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Mix, ChannelLevels,
    ::testing::Values(
        TLevelCase{"VolumeHalf", [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetVolume(C, 0.5f); }, 0.25f, 0.25f},
        TLevelCase{"Mute", [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetMute(C, true); }, 0.0f, 0.0f},
        TLevelCase{"Paused", [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetPaused(C, true); }, 0.0f, 0.0f},
        TLevelCase{"PanLeft", [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetPan(C, -1.0f); }, 0.5f, 0.0f},
        TLevelCase{"PanHalfRight", [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetPan(C, 0.5f); }, 0.25f, 0.5f},
        TLevelCase{"MixLevels",
                   [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetMixLevelsOutput(C, 0.2f, 1.0f, 0, 0, 0, 0, 0, 0); },
                   0.1f, 0.5f},
        TLevelCase{"MixMatrix",
                   [](FMOD_CHANNEL* C) {
                     float Matrix[2] = {0.0f, 0.5f};
                     Lib::FMOD_Channel_SetMixMatrix(C, Matrix, 2, 1, 0);
                   },
                   0.0f, 0.25f},
        TLevelCase{"LowPassClosed", [](FMOD_CHANNEL* C) { Lib::FMOD_Channel_SetLowPassGain(C, 0.0f); }, 0.0f, 0.0f}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(MixerTest, VolumeChangesRampAcrossABlockInsteadOfJumping) {
  FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.5f)));
  Update(1);
  ASSERT_EQ(Lib::FMOD_Channel_SetVolume(Channel, 0.0f), FMOD_OK);
  const TMix Mix = this->Mix(2);
  // The second block glides from 0.5 down to 0: no step larger than a ramp's.
  for (std::size_t I = kBlock; I < 2 * kBlock; ++I) EXPECT_LT(std::fabs(Mix.L[I] - Mix.L[I - 1]), 0.002f) << I;
  EXPECT_NEAR(Mix.L[kBlock + kBlock / 2], 0.25f, 0.01f);
  EXPECT_NEAR(Peak(Mix.L, 2 * kBlock, 3 * kBlock), 0.0f, kTolerance);
}

TEST_F(MixerTest, PitchTwoPlaysTheSoundInHalfTheTimeAndFrequencyLikewise) {
  Play(Sound(4000, Level(0.5f)), false);
  FMOD_CHANNEL* Fast = Play(Sound(4000, Level(0.25f)), true);
  ASSERT_EQ(Lib::FMOD_Channel_SetPitch(Fast, 2.0f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Fast, false), FMOD_OK);
  FMOD_CHANNEL* Slow = Play(Sound(4000, Level(0.125f)), true);
  ASSERT_EQ(Lib::FMOD_Channel_SetFrequency(Slow, kRate / 4.0f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPan(Slow, 1.0f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Slow, false), FMOD_OK);
  const TMix Mix = this->Mix(20);
  // Left: the plain sound (0.5) plus the fast one (0.25) for its 2000 frames.
  EXPECT_NEAR(Mix.L[1990], 0.75f, kTolerance);
  EXPECT_NEAR(Mix.L[2010], 0.5f, kTolerance);
  EXPECT_EQ(LastSound(Mix.L), 3999u);
  // Right: the slow one alone plays four times as long (16000 frames).
  EXPECT_NEAR(Mix.R[15990] - Mix.L[15990], 0.125f, kTolerance);
  EXPECT_NEAR(LastSound(Mix.R), 15997.0, 4.0);
}

TEST_F(MixerTest, GroupsMultiplyVolumeAndPauseDownTheTree) {
  FMOD_CHANNELGROUP* Outer = nullptr;
  FMOD_CHANNELGROUP* Inner = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "outer", &Outer), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "inner", &Inner), FMOD_OK);
  FMOD_DSPCONNECTION* Connection = nullptr;
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddGroup(Outer, Inner, true, &Connection), FMOD_OK);
  EXPECT_NE(Connection, nullptr);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetVolume(Outer, 0.5f), FMOD_OK);
  FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.8f)), true, Inner);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetVolume(Inner, 0.5f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(1);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetPaused(Outer, true), FMOD_OK);
  Update(1);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetPaused(Outer, false), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetMute(Inner, true), FMOD_OK);
  const TMix Mix = this->Mix(2);
  EXPECT_NEAR(Peak(Mix.L, 0, kBlock), 0.2f, kTolerance);               // 0.8 * 0.5 * 0.5
  EXPECT_NEAR(Peak(Mix.L, kBlock, 2 * kBlock), 0.0f, kTolerance);      // paused above
  EXPECT_NEAR(Peak(Mix.L, 3 * kBlock, 4 * kBlock), 0.0f, kTolerance);  // muted (after its ramp)
}

TEST_F(MixerTest, ADelayStartsAndStopsOnTheExactSample) {
  FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.5f)), true);
  unsigned long long Clock = 0;
  ASSERT_EQ(Lib::FMOD_Channel_GetDSPClock(Channel, nullptr, &Clock), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetDelay(Channel, Clock + 1500, Clock + 3333, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(4);
  FMOD_BOOL Playing = true;
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Channel, &Playing), FMOD_ERR_INVALID_HANDLE);  // stopped by the delay
  const TMix Mix = this->Mix(0);
  EXPECT_EQ(FirstSound(Mix.L), 1500u);
  EXPECT_EQ(LastSound(Mix.L), 3332u);
}

TEST_F(MixerTest, AGroupsDelayHoldsItsChannelsUntilItBegins) {
  FMOD_CHANNELGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "later", &Group), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetDelay(Group, 2 * kBlock, 0, false), FMOD_OK);
  // Frame I holds I / 10000: the mix tells which frame plays when.
  Play(Sound(4 * kBlock, [](std::int64_t I) { return float(I) / 10000.0f; }), false, Group);
  const TMix Mix = this->Mix(4);
  EXPECT_NEAR(Peak(Mix.L, 0, 2 * kBlock), 0.0f, kTolerance);
  EXPECT_NEAR(Mix.L[2 * kBlock + 100], 0.0100f, kTolerance);  // the sound starts from its beginning
}

TEST_F(MixerTest, FadePointsRampTheVolumeBetweenThem) {
  FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.5f)), true);
  ASSERT_EQ(Lib::FMOD_Channel_AddFadePoint(Channel, 0, 1.0f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_AddFadePoint(Channel, 4000, 0.0f), FMOD_OK);
  unsigned int Count = 0;
  ASSERT_EQ(Lib::FMOD_Channel_GetFadePoints(Channel, &Count, nullptr, nullptr), FMOD_OK);
  EXPECT_EQ(Count, 2u);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  const TMix Mix = this->Mix(5);
  EXPECT_NEAR(Mix.L[0], 0.5f, kTolerance);
  EXPECT_NEAR(Mix.L[2000], 0.25f, kTolerance);
  EXPECT_NEAR(Mix.L[3000], 0.125f, kTolerance);
  EXPECT_NEAR(Peak(Mix.L, 4000, 5 * kBlock), 0.0f, kTolerance);
}

TEST_F(MixerTest, ALoopingSoundReplaysItsLoopThenPlaysOut) {
  // Frame I holds I / 1000, so the mix tells which source frame it played.
  FMOD_SOUND* Ramp = Sound(400, [](std::int64_t I) { return float(I) / 1000.0f; }, FMOD_LOOP_NORMAL | FMOD_2D);
  ASSERT_EQ(Lib::FMOD_Sound_SetLoopPoints(Ramp, 100, FMOD_TIMEUNIT_PCM, 199, FMOD_TIMEUNIT_PCM), FMOD_OK);
  FMOD_CHANNEL* Channel = Play(Ramp, true);
  ASSERT_EQ(Lib::FMOD_Channel_SetLoopCount(Channel, 2), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  const TMix Mix = this->Mix(2);
  // 0..199, then 100..199 twice more, then 200..399: 600 frames in all.
  auto Frame = [&](std::size_t I) { return int(std::lround(Mix.L[I] * 1000.0f)); };
  EXPECT_EQ(Frame(199), 199);
  EXPECT_EQ(Frame(200), 100);
  EXPECT_EQ(Frame(299), 199);
  EXPECT_EQ(Frame(300), 100);
  EXPECT_EQ(Frame(399), 199);
  EXPECT_EQ(Frame(400), 200);
  EXPECT_EQ(Frame(599), 399);
  EXPECT_EQ(LastSound(Mix.L), 599u);
}

TEST_F(MixerTest, PositionAndStereoSoundsFollowTheSource) {
  FMOD_SOUND* Stereo = Sound(10 * kBlock, Level(0.25f), FMOD_LOOP_OFF | FMOD_2D, 2);
  FMOD_CHANNEL* Channel = Play(Stereo, true);
  ASSERT_EQ(Lib::FMOD_Channel_SetPosition(Channel, 5 * kBlock, FMOD_TIMEUNIT_PCM), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(2);
  unsigned int Position = 0;
  ASSERT_EQ(Lib::FMOD_Channel_GetPosition(Channel, &Position, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(Position, 7 * kBlock);
  ASSERT_EQ(Lib::FMOD_Channel_GetPosition(Channel, &Position, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(Position, 7 * kBlock * 1000 / kRate);
  EXPECT_EQ(Lib::FMOD_Channel_SetPosition(Channel, 10 * kBlock, FMOD_TIMEUNIT_PCM), FMOD_ERR_INVALID_POSITION);
  const TMix Mix = this->Mix(4);
  EXPECT_NEAR(Mix.R[kBlock], 0.25f, kTolerance);
  EXPECT_EQ(LastSound(Mix.L), 5 * kBlock - 1);  // the second half only
}

TEST_F(MixerTest, ThreeDDistanceAttenuatesByTheChosenModel) {
  struct TCase {
    FMOD_MODE Model;
    float Distance;
    float Gain;  // relative to the gain at the minimum distance
  };
  const TCase Cases[] = {{FMOD_3D_LINEARROLLOFF, 6.0f, 0.5f},       {FMOD_3D_LINEARROLLOFF, 20.0f, 0.0f},
                         {FMOD_3D_INVERSEROLLOFF, 4.0f, 0.25f},     {FMOD_3D_LINEARSQUAREROLLOFF, 6.0f, 0.25f},
                         {FMOD_3D_INVERSEROLLOFF, 0.5f, 1.0f}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::to_string(Case.Model) + " at " + std::to_string(Case.Distance));
    Start({});
    FMOD_SOUND* Tone = Sound(4 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF | Case.Model);
    ASSERT_EQ(Lib::FMOD_Sound_Set3DMinMaxDistance(Tone, 1.0f, 11.0f), FMOD_OK);
    FMOD_CHANNEL* Near = Play(Tone, true);
    FMOD_CHANNEL* Far = Play(Sound(4 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF | Case.Model), true);
    ASSERT_EQ(Lib::FMOD_Channel_Set3DMinMaxDistance(Far, 1.0f, 11.0f), FMOD_OK);
    // The listener faces +z; both sources straight ahead, one at the
    // minimum distance, played one block after the other.
    const FMOD_VECTOR AtMin{0, 0, 1}, AtCase{0, 0, Case.Distance};
    ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Near, &AtMin, nullptr, nullptr), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Far, &AtCase, nullptr, nullptr), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_SetDelay(Near, 0, kBlock, true), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_SetDelay(Far, 2 * kBlock, 3 * kBlock, true), FMOD_OK);
    Lib::FMOD_Channel_SetPaused(Near, false);
    Lib::FMOD_Channel_SetPaused(Far, false);
    const TMix Mix = this->Mix(4);
    const float Reference = Peak(Mix.L, 0, kBlock);
    ASSERT_GT(Reference, 0.1f);
    EXPECT_NEAR(Peak(Mix.L, 2 * kBlock, 3 * kBlock) / Reference, Case.Gain, 0.01f);
    EXPECT_NEAR(Peak(Mix.L, 0, kBlock), Peak(Mix.R, 0, kBlock), kTolerance);  // straight ahead: centred
  }
}

TEST_F(MixerTest, ThreeDPanningFollowsTheListenersHandedness) {
  for (const bool RightHanded : {false, true}) {
    SCOPED_TRACE(RightHanded ? "right-handed" : "left-handed");
    Start({.Flags = RightHanded ? FMOD_INIT_3D_RIGHTHANDED : FMOD_INIT_NORMAL});
    // Listener at the origin facing +z (left-handed: +x is to the right;
    // right-handed, facing -z: +x is to the right as well).
    const FMOD_VECTOR Forward{0, 0, RightHanded ? -1.0f : 1.0f}, Up{0, 1, 0}, Right{3, 0, 0};
    ASSERT_EQ(Lib::FMOD_System_Set3DListenerAttributes(FSystem, 0, nullptr, nullptr, &Forward, &Up), FMOD_OK);
    FMOD_CHANNEL* Channel = Play(Sound(2 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF), true);
    ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Channel, &Right, nullptr, nullptr), FMOD_OK);
    Lib::FMOD_Channel_SetPaused(Channel, false);
    const TMix Mix = this->Mix(1);
    EXPECT_GT(Peak(Mix.R, 0, kBlock), 4 * Peak(Mix.L, 0, kBlock));
  }
}

TEST_F(MixerTest, VoicesBeyondTheRealOnesGoVirtualAndComeBack) {
  Start({.RealVoices = 2});
  FMOD_CHANNEL* Important = Play(Sound(20 * kBlock, Level(0.1f)), true);
  FMOD_CHANNEL* Quiet = Play(Sound(20 * kBlock, Level(0.1f)), true);
  FMOD_CHANNEL* Least = Play(Sound(20 * kBlock, Level(0.1f)), true);
  ASSERT_EQ(Lib::FMOD_Channel_SetPriority(Important, 0), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetVolume(Quiet, 0.5f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPriority(Least, 200), FMOD_OK);
  for (FMOD_CHANNEL* Channel : {Important, Quiet, Least}) Lib::FMOD_Channel_SetPaused(Channel, false);
  Update(1);
  int All = 0, Real = 0;
  ASSERT_EQ(Lib::FMOD_System_GetChannelsPlaying(FSystem, &All, &Real), FMOD_OK);
  EXPECT_EQ(All, 3);
  EXPECT_EQ(Real, 2);
  FMOD_BOOL Virtual = false;
  ASSERT_EQ(Lib::FMOD_Channel_IsVirtual(Least, &Virtual), FMOD_OK);
  EXPECT_TRUE(Virtual);
  ASSERT_EQ(Lib::FMOD_Channel_IsVirtual(Quiet, &Virtual), FMOD_OK);
  EXPECT_FALSE(Virtual);
  ASSERT_EQ(Lib::FMOD_Channel_Stop(Important), FMOD_OK);
  Update(1);
  ASSERT_EQ(Lib::FMOD_Channel_IsVirtual(Least, &Virtual), FMOD_OK);
  EXPECT_FALSE(Virtual);
  const TMix Mix = this->Mix(1);
  EXPECT_NEAR(Peak(Mix.L, 0, kBlock), 0.15f, kTolerance);           // the virtual one is not heard
  EXPECT_NEAR(Peak(Mix.L, kBlock, 2 * kBlock), 0.15f, kTolerance);  // it came back for the stopped one
}

// Callbacks arrive on the updating thread.
struct TEvents {
  static inline std::vector<std::pair<FMOD_CHANNELCONTROL_CALLBACK_TYPE, std::intptr_t>> Seen;
  static inline void* UserDataAtEnd = nullptr;
  static FMOD_RESULT F_CALL Record(FMOD_CHANNELCONTROL* AControl, FMOD_CHANNELCONTROL_TYPE,
                                   FMOD_CHANNELCONTROL_CALLBACK_TYPE AType, void* AData1, void*) {
    Seen.emplace_back(AType, reinterpret_cast<std::intptr_t>(AData1));
    // The usual thing to do at the end: find one's own record again.
    if (AType == FMOD_CHANNELCONTROL_CALLBACK_END)
      Lib::FMOD_Channel_GetUserData(reinterpret_cast<FMOD_CHANNEL*>(AControl), &UserDataAtEnd);
    return FMOD_OK;
  }
};

TEST_F(MixerTest, AChannelThatEndedCallsBackAndAnswersInvalidHandle) {
  TEvents::Seen.clear();
  TEvents::UserDataAtEnd = nullptr;
  FMOD_SOUND* Short = Sound(1500, Level(0.5f));
  FMOD_SYNCPOINT* Point = nullptr;
  ASSERT_EQ(Lib::FMOD_Sound_AddSyncPoint(Short, 700, FMOD_TIMEUNIT_PCM, "mid", &Point), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Sound_AddSyncPoint(Short, 0, FMOD_TIMEUNIT_PCM, "start", &Point), FMOD_OK);
  FMOD_CHANNEL* Channel = Play(Short, true);
  int Mine = 0;
  ASSERT_EQ(Lib::FMOD_Channel_SetUserData(Channel, &Mine), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetCallback(Channel, &TEvents::Record), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(1);
  FMOD_BOOL Playing = false;
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Channel, &Playing), FMOD_OK);
  EXPECT_TRUE(Playing);
  Update(1);
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Channel, &Playing), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(Lib::FMOD_Channel_SetVolume(Channel, 1.0f), FMOD_ERR_INVALID_HANDLE);
  using ::testing::Pair;
  // Sync points report their index in offset order: "start" is 0, "mid" 1.
  EXPECT_THAT(TEvents::Seen, ::testing::ElementsAre(Pair(FMOD_CHANNELCONTROL_CALLBACK_SYNCPOINT, 0),
                                                    Pair(FMOD_CHANNELCONTROL_CALLBACK_SYNCPOINT, 1),
                                                    Pair(FMOD_CHANNELCONTROL_CALLBACK_END, 0)));
  EXPECT_EQ(TEvents::UserDataAtEnd, &Mine);
}

TEST_F(MixerTest, AChannelWhoseVoiceWasTakenAnswersStolen) {
  FMOD_SOUND* Tone = Sound(kBlock, Level(0.1f));
  FMOD_CHANNEL* First = Play(Tone, true);
  ASSERT_EQ(Lib::FMOD_Channel_SetPriority(First, 256), FMOD_OK);  // the least important of all
  for (int I = 1; I < 4096; ++I) Play(Tone, true);
  FMOD_BOOL Paused = false;
  EXPECT_EQ(Lib::FMOD_Channel_GetPaused(First, &Paused), FMOD_OK);
  FMOD_CHANNEL* Taker = Play(Tone, true);
  EXPECT_EQ(Lib::FMOD_Channel_GetPaused(First, &Paused), FMOD_ERR_CHANNEL_STOLEN);
  EXPECT_EQ(Lib::FMOD_Channel_GetPaused(Taker, &Paused), FMOD_OK);
  int All = 0;
  ASSERT_EQ(Lib::FMOD_System_GetChannelsPlaying(FSystem, &All, nullptr), FMOD_OK);
  EXPECT_EQ(All, 4096);
}

TEST_F(MixerTest, GroupsReportTheirTreeAndStopEverythingBelow) {
  FMOD_CHANNELGROUP* Master = nullptr;
  FMOD_CHANNELGROUP* Music = nullptr;
  FMOD_CHANNELGROUP* Drums = nullptr;
  ASSERT_EQ(Lib::FMOD_System_GetMasterChannelGroup(FSystem, &Master), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "music", &Music), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "drums", &Drums), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddGroup(Music, Drums, true, nullptr), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_ChannelGroup_AddGroup(Drums, Music, true, nullptr), FMOD_ERR_INVALID_PARAM);  // a loop
  FMOD_CHANNELGROUP* Parent = nullptr;
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetParentGroup(Drums, &Parent), FMOD_OK);
  EXPECT_EQ(Parent, Music);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetParentGroup(Music, &Parent), FMOD_OK);
  EXPECT_EQ(Parent, Master);
  int Count = 0;
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetNumGroups(Master, &Count), FMOD_OK);
  EXPECT_EQ(Count, 1);
  char Name[4];
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetName(Music, Name, sizeof Name), FMOD_OK);
  EXPECT_STREQ(Name, "mus");  // cut to the caller's buffer
  FMOD_CHANNEL* Channel = Play(Sound(4 * kBlock, Level(0.5f)), false, Drums);
  FMOD_CHANNEL* Outside = Play(Sound(4 * kBlock, Level(0.5f)));
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetNumChannels(Drums, &Count), FMOD_OK);
  EXPECT_EQ(Count, 1);
  FMOD_BOOL Playing = false;
  ASSERT_EQ(Lib::FMOD_ChannelGroup_IsPlaying(Music, &Playing), FMOD_OK);
  EXPECT_TRUE(Playing);
  // The fader is the one unit at the head of every chain.
  FMOD_DSP* Fader = nullptr;
  ASSERT_EQ(Lib::FMOD_Channel_GetDSP(Channel, FMOD_CHANNELCONTROL_DSP_HEAD, &Fader), FMOD_OK);
  int Index = -1;
  ASSERT_EQ(Lib::FMOD_Channel_GetDSPIndex(Channel, Fader, &Index), FMOD_OK);
  EXPECT_EQ(Index, 0);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetNumDSPs(Music, &Count), FMOD_OK);
  EXPECT_EQ(Count, 1);

  ASSERT_EQ(Lib::FMOD_ChannelGroup_Stop(Music), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Channel, &Playing), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Outside, &Playing), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_IsPlaying(Music, &Playing), FMOD_OK);
  EXPECT_FALSE(Playing);
  // A released group hands its sub-groups to the master group.
  ASSERT_EQ(Lib::FMOD_ChannelGroup_Release(Music), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_ChannelGroup_GetNumGroups(Music, &Count), FMOD_ERR_INVALID_HANDLE);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetParentGroup(Drums, &Parent), FMOD_OK);
  EXPECT_EQ(Parent, Master);
  EXPECT_EQ(Lib::FMOD_ChannelGroup_Release(Master), FMOD_ERR_INVALID_PARAM);
}

TEST_F(MixerTest, ASoundReleasedWhilePlayingEndsItsChannels) {
  FMOD_SOUND* Tone = Sound(20 * kBlock, Level(0.5f));
  FMOD_CHANNEL* Channel = Play(Tone);
  FMOD_CHANNEL* Paused = Play(Tone, true);
  Update(1);
  ASSERT_EQ(Lib::FMOD_Sound_Release(Tone), FMOD_OK);
  Update(1);
  FMOD_BOOL Playing = false;
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Channel, &Playing), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(Lib::FMOD_Channel_IsPlaying(Paused, &Playing), FMOD_ERR_INVALID_HANDLE);
  const TMix Mix = this->Mix(1);
  EXPECT_NEAR(Peak(Mix.L, 2 * kBlock, 3 * kBlock), 0.0f, kTolerance);
}

// The real-time output mixes on its own thread while API threads play,
// change and stop channels and groups (run under the thread sanitizer too).
TEST_F(MixerTest, CallsFromSeveralThreadsWhileTheMixerRunsAreSafe) {
  Start({.RealVoices = 8, .Output = FMOD_OUTPUTTYPE_NOSOUND, .Block = 256});
  FMOD_SOUND* Tone = Sound(4 * kBlock, Level(0.1f), FMOD_LOOP_NORMAL | FMOD_3D);
  const std::string StreamPath = (FFolder.Path() / "stream.wav").string();
  ASSERT_FALSE(WriteSoundFile(StreamPath, TSoundFileSpec{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 44100, {}})
                   .empty());
  FMOD_SOUND* Stream = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateStream(FSystem, StreamPath.c_str(), FMOD_LOOP_NORMAL, nullptr, &Stream), FMOD_OK);
  FMOD_CHANNELGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "busy", &Group), FMOD_OK);
  std::atomic<bool> Stop{false};
  std::vector<std::thread> Threads;
  for (int T = 0; T < 3; ++T)
    Threads.emplace_back([&, T] {
      unsigned Seed = 12345u + unsigned(T);
      std::vector<FMOD_CHANNEL*> Mine;
      while (!Stop) {
        Seed = Seed * 1103515245u + 12345u;
        FMOD_CHANNEL* Channel = nullptr;
        const FMOD_VECTOR Where{float(Seed % 7), 0, 2};
        switch (Seed % 8) {
          case 0: Lib::FMOD_System_PlaySound(FSystem, T == 0 && Seed % 3 == 0 ? Stream : Tone, Group, false, &Channel);
                  if (Channel != nullptr) Mine.push_back(Channel);
                  break;
          case 1: if (!Mine.empty()) Lib::FMOD_Channel_Stop(Mine[Seed % Mine.size()]); break;
          case 2: if (!Mine.empty()) Lib::FMOD_Channel_SetVolume(Mine[Seed % Mine.size()], 0.5f); break;
          case 3: if (!Mine.empty()) Lib::FMOD_Channel_Set3DAttributes(Mine[Seed % Mine.size()], &Where, nullptr, nullptr); break;
          case 4: Lib::FMOD_ChannelGroup_SetPitch(Group, 0.5f + float(Seed % 4) / 2.0f); break;
          case 5: Lib::FMOD_System_Update(FSystem); break;
          case 6: Lib::FMOD_System_Set3DListenerAttributes(FSystem, 0, &Where, nullptr, nullptr, nullptr); break;
          default: if (!Mine.empty()) Lib::FMOD_Channel_SetPaused(Mine[Seed % Mine.size()], Seed % 2); break;
        }
        if (Mine.size() > 64) Mine.erase(Mine.begin(), Mine.begin() + 32);
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  Stop = true;
  for (std::thread& Thread : Threads) Thread.join();
  int All = 0, Real = 0;
  ASSERT_EQ(Lib::FMOD_System_GetChannelsPlaying(FSystem, &All, &Real), FMOD_OK);
  EXPECT_LE(Real, 8);
  EXPECT_EQ(Lib::FMOD_System_Close(FSystem), FMOD_OK);
}

// Suspending the mixer or locking it holds the DSP clock still, on the
// real-time output as on the one that mixes on update.
TEST_F(MixerTest, MixerSuspendAndLockDSPHoldTheMix) {
  FMOD_CHANNELGROUP* Master = nullptr;
  const auto Clock = [&] {
    unsigned long long Value = 0;
    EXPECT_EQ(Lib::FMOD_ChannelGroup_GetDSPClock(Master, &Value, nullptr), FMOD_OK);
    return Value;
  };
  ASSERT_EQ(Lib::FMOD_System_GetMasterChannelGroup(FSystem, &Master), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_MixerSuspend(FSystem), FMOD_OK);
  Update(2);
  EXPECT_EQ(Clock(), 0u);
  ASSERT_EQ(Lib::FMOD_System_MixerResume(FSystem), FMOD_OK);
  Update(2);
  EXPECT_EQ(Clock(), 2 * kBlock);

  Start({.Output = FMOD_OUTPUTTYPE_NOSOUND, .Block = 256});
  ASSERT_EQ(Lib::FMOD_System_GetMasterChannelGroup(FSystem, &Master), FMOD_OK);
  const auto Advances = [&] {
    const unsigned long long Before = Clock();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return Clock() > Before;
  };
  EXPECT_TRUE(Advances());
  ASSERT_EQ(Lib::FMOD_System_LockDSP(FSystem), FMOD_OK);
  EXPECT_FALSE(Advances());  // this thread holds the mixer (the lock is re-entrant for it)
  ASSERT_EQ(Lib::FMOD_System_UnlockDSP(FSystem), FMOD_OK);
  EXPECT_TRUE(Advances());
  ASSERT_EQ(Lib::FMOD_System_MixerSuspend(FSystem), FMOD_OK);
  EXPECT_FALSE(Advances());
  ASSERT_EQ(Lib::FMOD_System_MixerResume(FSystem), FMOD_OK);
  EXPECT_TRUE(Advances());
}

// 3D pans over every speaker of the software format: a source ahead sounds
// in front, one behind in the surrounds, and nothing is lost or NaN.
TEST_F(MixerTest, ThreeDPansOverTheSpeakersOfTheSoftwareFormat) {
  struct TCase {
    FMOD_SPEAKERMODE Mode;
    int Speakers;
    FMOD_VECTOR Where;
    std::vector<int> Loud;  // speakers that must carry the sound
  };
  const TCase Cases[] = {{FMOD_SPEAKERMODE_5POINT1, 6, {0, 0, 2}, {0, 1, 2}},
                         {FMOD_SPEAKERMODE_5POINT1, 6, {0, 0, -2}, {4, 5}},
                         {FMOD_SPEAKERMODE_7POINT1POINT4, 12, {0, 0, 2}, {0, 1, 2}},
                         {FMOD_SPEAKERMODE_MONO, 1, {2, 0, 0}, {0}}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::to_string(Case.Speakers) + " speakers, source at z=" + std::to_string(Case.Where.z));
    Start({.Speakers = Case.Mode});
    FMOD_CHANNEL* Channel = Play(Sound(2 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF), true);
    ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Channel, &Case.Where, nullptr, nullptr), FMOD_OK);
    const FMOD_VECTOR Bad{std::nanf(""), 0, 0};
    EXPECT_EQ(Lib::FMOD_Channel_Set3DAttributes(Channel, nullptr, &Bad, nullptr), FMOD_ERR_INVALID_PARAM);
    Lib::FMOD_Channel_SetPaused(Channel, false);
    Update(1);
    ASSERT_EQ(Lib::FMOD_System_Release(FSystem), FMOD_OK);
    FSystem = nullptr;
    SF_INFO Info{};
    SNDFILE* File = sf_open(FOutput.c_str(), SFM_READ, &Info);
    ASSERT_NE(File, nullptr);
    ASSERT_EQ(Info.channels, Case.Speakers);
    std::vector<float> Data(std::size_t(Info.frames) * Info.channels);
    sf_readf_float(File, Data.data(), Info.frames);
    sf_close(File);
    std::vector<float> SpeakerPeak(std::size_t(Case.Speakers), 0.0f);
    for (std::size_t I = 0; I < Data.size(); ++I) {
      ASSERT_FALSE(std::isnan(Data[I]));
      SpeakerPeak[I % Case.Speakers] = std::max(SpeakerPeak[I % Case.Speakers], std::fabs(Data[I]));
    }
    float Total = 0;
    for (float Peak : SpeakerPeak) Total += Peak * Peak;
    EXPECT_GT(Total, 0.01f);
    float Loud = 0;
    for (int Speaker : Case.Loud) Loud += SpeakerPeak[std::size_t(Speaker)] * SpeakerPeak[std::size_t(Speaker)];
    EXPECT_GT(Loud, 0.9f * Total);  // the energy lies where the source is
  }
}

// ---------------------------------------------------------------------------
// Faults a reading of the first mixer found, each held down here.

struct TEndRecord {
  static inline std::vector<std::pair<FMOD_RESULT, void*>> Seen;
  static FMOD_RESULT F_CALL Record(FMOD_CHANNELCONTROL* AControl, FMOD_CHANNELCONTROL_TYPE,
                                   FMOD_CHANNELCONTROL_CALLBACK_TYPE AType, void*, void*) {
    if (AType != FMOD_CHANNELCONTROL_CALLBACK_END) return FMOD_OK;
    void* Data = nullptr;
    const FMOD_RESULT Result = Lib::FMOD_Channel_GetUserData(reinterpret_cast<FMOD_CHANNEL*>(AControl), &Data);
    Seen.emplace_back(Result, Data);
    return FMOD_OK;
  }
};

// Channels that end between two updates (here many, on the real-time
// output) keep their user data for their end callback, however many plays
// come between.
TEST_F(MixerTest, ChannelsEndingBetweenUpdatesKeepTheirDataForTheirEndCallbacks) {
  Start({.RealVoices = 32, .Output = FMOD_OUTPUTTYPE_NOSOUND, .Block = 256});
  TEndRecord::Seen.clear();
  FMOD_SOUND* Blip = Sound(64, Level(0.1f));
  std::vector<int> Owners(300);
  for (int& Owner : Owners) {
    FMOD_CHANNEL* Channel = Play(Blip, true);
    ASSERT_EQ(Lib::FMOD_Channel_SetUserData(Channel, &Owner), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_SetCallback(Channel, &TEndRecord::Record), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  }
  int All = -1;
  for (int Tries = 0; Tries < 2000 && All != 0; ++Tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(Lib::FMOD_System_GetChannelsPlaying(FSystem, &All, nullptr), FMOD_OK);
  }
  ASSERT_EQ(All, 0);
  for (int I = 0; I < 20; ++I) Play(Blip, true);  // plays between the ends and the update
  ASSERT_EQ(Lib::FMOD_System_Update(FSystem), FMOD_OK);
  // Every channel's own data, once each (in whatever order they ended).
  ASSERT_EQ(TEndRecord::Seen.size(), Owners.size());
  std::vector<void*> Expected, Found;
  for (int& Owner : Owners) Expected.push_back(&Owner);
  for (const auto& [Result, Data] : TEndRecord::Seen) {
    EXPECT_EQ(Result, FMOD_OK);
    Found.push_back(Data);
  }
  std::sort(Expected.begin(), Expected.end());
  std::sort(Found.begin(), Found.end());
  EXPECT_EQ(Found, Expected);
}

// Direct occlusion and the distance filter's own level are two settings:
// setting one leaves the other, and occlusion alone attenuates.
TEST_F(MixerTest, OcclusionAndTheDistanceFilterLevelAreSeparateSettings) {
  FMOD_SOUND* Tone = Sound(8 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF);
  FMOD_CHANNEL* Open = Play(Tone, true);
  FMOD_CHANNEL* Occluded = Play(Sound(8 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF), true);
  const FMOD_VECTOR Ahead{0, 0, 1};
  for (FMOD_CHANNEL* Channel : {Open, Occluded})
    ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Channel, &Ahead, nullptr, nullptr), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_Set3DOcclusion(Occluded, 0.5f, 0.25f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_Set3DDistanceFilter(Occluded, true, 0.8f, 1500.0f), FMOD_OK);
  float Direct = 0, Reverb = 0, Level = 0, Centre = 0;
  FMOD_BOOL Custom = false;
  ASSERT_EQ(Lib::FMOD_Channel_Get3DOcclusion(Occluded, &Direct, &Reverb), FMOD_OK);
  EXPECT_EQ(Direct, 0.5f);
  EXPECT_EQ(Reverb, 0.25f);
  ASSERT_EQ(Lib::FMOD_Channel_Get3DDistanceFilter(Occluded, &Custom, &Level, &Centre), FMOD_OK);
  EXPECT_TRUE(Custom);
  EXPECT_EQ(Level, 0.8f);
  EXPECT_EQ(Centre, 1500.0f);
  ASSERT_EQ(Lib::FMOD_Channel_SetDelay(Open, 0, 3 * kBlock, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetDelay(Occluded, 4 * kBlock, 0, true), FMOD_OK);
  for (FMOD_CHANNEL* Channel : {Open, Occluded}) ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  const TMix Mix = this->Mix(8);
  // Both filters pass a constant level once settled: what is left is the
  // occlusion's attenuation.
  EXPECT_NEAR(Mix.L[7 * kBlock] / Mix.L[2 * kBlock], 0.5f, 0.01f);
}

// Unlocking a playing sound publishes new frames whole; what is heard
// changes, and a thread that keeps unlocking while the real-time output
// reads never races with it (the thread sanitizer watches this one).
TEST_F(MixerTest, UnlockingAPlayingSoundReplacesItsFramesWhole) {
  FMOD_SOUND* Loop = Sound(4 * kBlock, Level(0.25f), FMOD_LOOP_NORMAL | FMOD_2D);
  Play(Loop);
  Update(2);
  void* Data = nullptr;
  unsigned int Length = 0;
  ASSERT_EQ(Lib::FMOD_Sound_Lock(Loop, 0, 4 * kBlock * sizeof(float), &Data, nullptr, &Length, nullptr), FMOD_OK);
  std::fill_n(static_cast<float*>(Data), Length / sizeof(float), 0.5f);
  ASSERT_EQ(Lib::FMOD_Sound_Unlock(Loop, Data, nullptr, Length, 0), FMOD_OK);
  const TMix Mix = this->Mix(3);
  EXPECT_NEAR(Mix.L[kBlock], 0.25f, kTolerance);
  EXPECT_NEAR(Mix.L[4 * kBlock], 0.5f, kTolerance);

  Start({.Output = FMOD_OUTPUTTYPE_NOSOUND, .Block = 256});
  FMOD_SOUND* Busy = Sound(4 * kBlock, Level(0.25f), FMOD_LOOP_NORMAL | FMOD_2D);
  Play(Busy);
  Play(Busy);
  std::atomic<bool> Stop{false};
  std::thread Writer([&] {
    for (float Value = 0.0f; !Stop; Value += 0.01f) {
      void* Part = nullptr;
      unsigned int Bytes = 0;
      if (Lib::FMOD_Sound_Lock(Busy, 0, 1024, &Part, nullptr, &Bytes, nullptr) != FMOD_OK) continue;
      std::fill_n(static_cast<float*>(Part), Bytes / sizeof(float), Value);
      Lib::FMOD_Sound_Unlock(Busy, Part, nullptr, Bytes, 0);
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Stop = true;
  Writer.join();
}

// A channel's audibility is one product, wherever it is asked for: its
// volume, its 3D attenuation and every group's volume above it; the voice
// choice uses the same.
TEST_F(MixerTest, AudibilityIsOneProductForTheQuestionAndTheVoiceChoice) {
  Start({.RealVoices = 1});
  FMOD_CHANNELGROUP* Quiet = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "quiet", &Quiet), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetVolume(Quiet, 0.1f), FMOD_OK);
  FMOD_CHANNEL* Far = Play(Sound(8 * kBlock, Level(0.1f), FMOD_3D | FMOD_LOOP_OFF), true, Quiet);
  const FMOD_VECTOR Away{0, 0, 4};
  ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Far, &Away, nullptr, nullptr), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetVolume(Far, 0.5f), FMOD_OK);
  FMOD_CHANNEL* Near = Play(Sound(8 * kBlock, Level(0.1f)), true);
  ASSERT_EQ(Lib::FMOD_Channel_SetVolume(Near, 0.2f), FMOD_OK);
  for (FMOD_CHANNEL* Channel : {Far, Near}) ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(2);
  float Audibility = 0;
  ASSERT_EQ(Lib::FMOD_Channel_GetAudibility(Far, &Audibility), FMOD_OK);
  EXPECT_NEAR(Audibility, 0.5f * 0.25f * 0.1f, 1e-5f);  // volume, inverse rolloff at 4, the group
  ASSERT_EQ(Lib::FMOD_Channel_GetAudibility(Near, &Audibility), FMOD_OK);
  EXPECT_NEAR(Audibility, 0.2f, 1e-6f);
  FMOD_BOOL Virtual = false;
  ASSERT_EQ(Lib::FMOD_Channel_IsVirtual(Far, &Virtual), FMOD_OK);
  EXPECT_TRUE(Virtual);  // the quieter one by that product
  ASSERT_EQ(Lib::FMOD_Channel_IsVirtual(Near, &Virtual), FMOD_OK);
  EXPECT_FALSE(Virtual);
}

struct TRolloffRecord {
  static inline std::vector<FMOD_CHANNELCONTROL*> Controls;
  static inline std::vector<std::thread::id> Threads;
  static inline void* Data = nullptr;
  static float F_CALL Record(FMOD_CHANNELCONTROL* AControl, float ADistance) {
    Controls.push_back(AControl);
    Threads.push_back(std::this_thread::get_id());
    // Finding one's own record from inside works: no lock of the engine's is held.
    Lib::FMOD_Channel_GetUserData(reinterpret_cast<FMOD_CHANNEL*>(AControl), &Data);
    return 1.0f / (1.0f + ADistance);
  }
};

TEST_F(MixerTest, TheRolloffCallbackIsToldItsChannelOnTheUpdatingThread) {
  TRolloffRecord::Controls.clear();
  TRolloffRecord::Threads.clear();
  ASSERT_EQ(Lib::FMOD_System_Set3DRolloffCallback(FSystem, &TRolloffRecord::Record), FMOD_OK);
  FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.5f), FMOD_3D | FMOD_LOOP_OFF), true);
  int Mine = 0;
  ASSERT_EQ(Lib::FMOD_Channel_SetUserData(Channel, &Mine), FMOD_OK);
  const FMOD_VECTOR Where{0, 0, 3};
  ASSERT_EQ(Lib::FMOD_Channel_Set3DAttributes(Channel, &Where, nullptr, nullptr), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(2);
  ASSERT_FALSE(TRolloffRecord::Controls.empty());
  for (FMOD_CHANNELCONTROL* Control : TRolloffRecord::Controls)
    EXPECT_EQ(Control, reinterpret_cast<FMOD_CHANNELCONTROL*>(Channel));
  for (std::thread::id Thread : TRolloffRecord::Threads) EXPECT_EQ(Thread, std::this_thread::get_id());
  EXPECT_EQ(TRolloffRecord::Data, &Mine);
  float Audibility = 0;
  ASSERT_EQ(Lib::FMOD_Channel_GetAudibility(Channel, &Audibility), FMOD_OK);
  EXPECT_NEAR(Audibility, 0.25f, 1e-5f);  // the callback's 1 / (1 + 3)
}

// Where a loop wraps inside a block, the frames after the wrap are known by
// their own positions: sync points there fire, and the position is right,
// for a stream as for a sample.
TEST_F(MixerTest, PositionsAndSyncPointsFollowALoopWrapInsideABlock) {
  const std::string Path = (FFolder.Path() / "ramp.wav").string();
  {
    SF_INFO Info{};
    Info.channels = 1;
    Info.samplerate = kRate;
    Info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* File = sf_open(Path.c_str(), SFM_WRITE, &Info);
    std::vector<float> Data(3000);
    for (std::size_t I = 0; I < Data.size(); ++I) Data[I] = float(I) / 10000.0f;
    sf_writef_float(File, Data.data(), sf_count_t(Data.size()));
    sf_close(File);
  }
  for (const bool Stream : {false, true}) {
    SCOPED_TRACE(Stream ? "stream" : "sample");
    Start({});
    TEvents::Seen.clear();
    FMOD_SOUND* Ramp = nullptr;
    const FMOD_MODE Mode = FMOD_LOOP_NORMAL | FMOD_2D | (Stream ? FMOD_CREATESTREAM : FMOD_DEFAULT);
    ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), Mode, nullptr, &Ramp), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Sound_SetLoopPoints(Ramp, 0, FMOD_TIMEUNIT_PCM, 1499, FMOD_TIMEUNIT_PCM), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Sound_AddSyncPoint(Ramp, 100, FMOD_TIMEUNIT_PCM, "early", nullptr), FMOD_OK);
    FMOD_CHANNEL* Channel = Play(Ramp, true);
    ASSERT_EQ(Lib::FMOD_Channel_SetCallback(Channel, &TEvents::Record), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
    Update(2);  // 0..1499, then 0..547 in the second block
    unsigned int Position = 0;
    ASSERT_EQ(Lib::FMOD_Channel_GetPosition(Channel, &Position, FMOD_TIMEUNIT_PCM), FMOD_OK);
    EXPECT_EQ(Position, 2 * kBlock - 1500);
    const auto Syncs = std::count_if(TEvents::Seen.begin(), TEvents::Seen.end(), [](const auto& AEvent) {
      return AEvent.first == FMOD_CHANNELCONTROL_CALLBACK_SYNCPOINT;
    });
    EXPECT_EQ(Syncs, 2);
    const TMix Mix = this->Mix(0);
    EXPECT_NEAR(Mix.L[1600], 0.0100f, kTolerance);  // frame 100 of the second pass
  }
}

// Suspending the mixer, locking it, and stopping or counting a sound
// group's channels from several threads at once never deadlock (they once
// took the system's and the mixer's locks in opposite orders).
TEST_F(MixerTest, SuspendLockAndSoundGroupCallsFromSeveralThreadsNeverDeadlock) {
  Start({.Output = FMOD_OUTPUTTYPE_NOSOUND, .Block = 256});
  FMOD_SOUND* Tone = Sound(4 * kBlock, Level(0.1f), FMOD_LOOP_NORMAL | FMOD_2D);
  FMOD_SOUNDGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSoundGroup(FSystem, "busy", &Group), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Sound_SetSoundGroup(Tone, Group), FMOD_OK);
  std::atomic<bool> Stop{false};
  std::atomic<int> Finished{0};
  std::atomic<std::uint64_t> Rounds{0};
  std::vector<std::thread> Threads;
  const std::function<void()> Work[] = {
      [&] { Lib::FMOD_System_MixerSuspend(FSystem); Lib::FMOD_System_MixerResume(FSystem); },
      [&] { Lib::FMOD_System_LockDSP(FSystem); Play(Tone); Lib::FMOD_System_UnlockDSP(FSystem); },
      [&] { int Count = 0; Lib::FMOD_SoundGroup_GetNumPlaying(Group, &Count); Lib::FMOD_SoundGroup_Stop(Group); },
      [&] { Lib::FMOD_System_Update(FSystem); Play(Tone); },
  };
  for (const auto& Step : Work)
    Threads.emplace_back([&, Step] {
      while (!Stop) {
        Step();
        ++Rounds;
      }
      ++Finished;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Stop = true;
  for (int Tries = 0; Tries < 500 && Finished < 4; ++Tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (Finished < 4) {
    ADD_FAILURE() << "deadlocked";
    std::abort();  // the threads cannot be joined
  }
  for (std::thread& Thread : Threads) Thread.join();
  EXPECT_GT(Rounds.load(), 100u);
}

}  // namespace
