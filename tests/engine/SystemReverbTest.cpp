// The system's reverb instances as a listener hears them: set by property
// records, fed by each channel's and group's wet level, mixed into the
// master output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "MixTestSupport.h"

using namespace sonvel::test;

namespace {

class SystemReverbTest : public MixFixture {
protected:
  FMOD_REVERB_PROPERTIES Props(float AWetLevel = 0.0f) {
    FMOD_REVERB_PROPERTIES P = FMOD_PRESET_CONCERTHALL;
    P.WetLevel = AWetLevel;
    return P;
  }
  // A short click played on a channel; answers the channel, paused.
  FMOD_CHANNEL* Click(FMOD_CHANNELGROUP* AGroup = nullptr) {
    return Play(Sound(256, [](std::int64_t I) { return I < 64 ? 0.8f : 0.0f; }), true, AGroup);
  }
  // The level of what sounds well after the click has ended: the tail.
  static double Tail(const TMix& AMix) { return Peak(AMix.L, 4 * kBlock, 12 * kBlock); }
};

TEST_F(SystemReverbTest, EachInstanceKeepsTheRecordItWasGivenAndRefusesBadOnes) {
  FMOD_REVERB_PROPERTIES Got{};
  ASSERT_EQ(Lib::FMOD_System_GetReverbProperties(FSystem, 2, &Got), FMOD_OK);
  EXPECT_EQ(Got.WetLevel, FMOD_PRESET_OFF.WetLevel);  // never set: off
  const FMOD_REVERB_PROPERTIES Presets[] = {FMOD_PRESET_GENERIC, FMOD_PRESET_BATHROOM, FMOD_PRESET_FOREST,
                                            FMOD_PRESET_MOUNTAINS};
  for (int I = 0; I < 4; ++I) ASSERT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, I, &Presets[I]), FMOD_OK) << I;
  for (int I = 0; I < 4; ++I) {
    ASSERT_EQ(Lib::FMOD_System_GetReverbProperties(FSystem, I, &Got), FMOD_OK);
    EXPECT_EQ(std::memcmp(&Got, &Presets[I], sizeof Got), 0) << I;
  }
  for (const int Bad : {-1, 4}) {
    EXPECT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, Bad, &Presets[0]), FMOD_ERR_REVERB_INSTANCE);
    EXPECT_EQ(Lib::FMOD_System_GetReverbProperties(FSystem, Bad, &Got), FMOD_ERR_REVERB_INSTANCE);
  }
  EXPECT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, 0, nullptr), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_System_GetReverbProperties(FSystem, 0, nullptr), FMOD_ERR_INVALID_PARAM);
  // A field out of its range, or not a number: refused, the record kept whole.
  FMOD_REVERB_PROPERTIES Wrong = FMOD_PRESET_ROOM;
  Wrong.DecayTime = 50000;
  EXPECT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, 0, &Wrong), FMOD_ERR_INVALID_PARAM);
  Wrong = FMOD_PRESET_ROOM;
  Wrong.HighCut = NAN;
  EXPECT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, 0, &Wrong), FMOD_ERR_INVALID_FLOAT);
  ASSERT_EQ(Lib::FMOD_System_GetReverbProperties(FSystem, 0, &Got), FMOD_OK);
  EXPECT_EQ(std::memcmp(&Got, &Presets[0], sizeof Got), 0);

  FMOD_CHANNEL* Channel = Click();
  float Wet = -1;
  ASSERT_EQ(Lib::FMOD_Channel_GetReverbProperties(Channel, 0, &Wet), FMOD_OK);
  EXPECT_EQ(Wet, 1.0f);  // channels send to every instance unless told otherwise
  EXPECT_EQ(Lib::FMOD_Channel_SetReverbProperties(Channel, 4, 0.5f), FMOD_ERR_REVERB_INSTANCE);
  EXPECT_EQ(Lib::FMOD_Channel_SetReverbProperties(Channel, 0, 1.5f), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Channel_GetReverbProperties(Channel, -1, &Wet), FMOD_ERR_REVERB_INSTANCE);
  FMOD_CHANNELGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_GetMasterChannelGroup(FSystem, &Group), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_GetReverbProperties(Group, 0, &Wet), FMOD_OK);
  EXPECT_EQ(Wet, 0.0f);  // groups send to none
}

TEST_F(SystemReverbTest, AChannelIsHeardWithATailAtItsWetLevel) {
  // The tail after a click, for each way of setting the send.
  struct TCase {
    const char* Name;
    int Instance;    // the instance that is set
    float Wet;       // the channel's wet level for it (-1: left as it is)
    float Occlusion; // the channel's reverb occlusion
    double Expected; // the tail against a full send to instance 0
  };
  const TCase Cases[] = {
      {"default send", 0, -1, 0, 1.0},   {"half send", 0, 0.5f, 0, 0.5},   {"no send", 0, 0, 0, 0},
      {"other instance", 3, -1, 0, 1.0}, {"occluded", 0, -1, 1, 0},       {"half occluded", 0, -1, 0.5f, 0.5},
  };
  double Full = 0;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Start({});
    const FMOD_REVERB_PROPERTIES P = Props();
    ASSERT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, Case.Instance, &P), FMOD_OK);
    FMOD_CHANNEL* Channel = Click();
    if (Case.Wet >= 0) {
      ASSERT_EQ(Lib::FMOD_Channel_SetReverbProperties(Channel, Case.Instance, Case.Wet), FMOD_OK);
    }
    ASSERT_EQ(Lib::FMOD_Channel_Set3DOcclusion(Channel, 0, Case.Occlusion), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
    const TMix Mix = this->Mix(12);
    // The click itself passes as it is.
    EXPECT_NEAR(Peak(Mix.L, 0, kBlock), 0.8f, 0.05f);
    const double Level = Tail(Mix);
    if (Full == 0) {
      Full = Level;
      EXPECT_GT(Full, 0.01);
      continue;
    }
    if (Case.Expected == 0) {
      EXPECT_LT(Level, 2 * kTolerance);
    } else {
      EXPECT_NEAR(Level / Full, Case.Expected, 0.05);
    }
  }
}

TEST_F(SystemReverbTest, AGroupSendsWhenGivenAWetLevelAndTheOffPresetSilencesAnInstance) {
  FMOD_REVERB_PROPERTIES P = Props();
  ASSERT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, 1, &P), FMOD_OK);
  FMOD_CHANNELGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "sends", &Group), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_SetReverbProperties(Group, 1, 1.0f), FMOD_OK);
  FMOD_CHANNEL* Channel = Click(Group);
  ASSERT_EQ(Lib::FMOD_Channel_SetReverbProperties(Channel, 1, 0.0f), FMOD_OK);  // only the group sends
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  EXPECT_GT(Tail(this->Mix(12)), 0.01);

  Start({});
  P = FMOD_PRESET_OFF;
  ASSERT_EQ(Lib::FMOD_System_SetReverbProperties(FSystem, 0, &P), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Click(), false), FMOD_OK);
  EXPECT_LT(Tail(this->Mix(12)), 2 * kTolerance);
}

}  // namespace
