// The system's reverb instances as a listener hears them: set by property
// records, fed by each channel's and group's wet level, mixed into the
// master output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>
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

// The broadband reverberation time of a mix's left channel from ABegin on:
// Schroeder's integral, a line fitted from -10 to -35 dB (past the onset's
// build-up, above the 16-bit mix's floor), extended to -60 dB.
double DecayTime(const std::vector<float>& ASamples, std::size_t ABegin) {
  std::vector<double> Curve(ASamples.size() - ABegin + 1, 0.0);
  for (std::size_t I = ASamples.size(); I-- > ABegin;) Curve[I - ABegin] = Curve[I - ABegin + 1] + double(ASamples[I]) * ASamples[I];
  double N = 0, Sx = 0, Sy = 0, Sxx = 0, Sxy = 0;
  for (std::size_t I = 0; I + 1 < Curve.size(); ++I) {
    const double Db = 10 * std::log10(std::max(Curve[I] / Curve[0], 1e-30));
    if (Db > -10) continue;
    if (Db < -35) break;
    const double T = double(I) / kRate;
    N += 1, Sx += T, Sy += Db, Sxx += T * T, Sxy += T * Db;
  }
  return -60.0 / ((N * Sxy - Sx * Sy) / (N * Sxx - Sx * Sx));
}

class Reverb3DTest : public SystemReverbTest {
protected:
  FMOD_REVERB3D* Zone(float AMin, float AMax, float ADecayMs = 2000) {
    FMOD_REVERB3D* Zone = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateReverb3D(FSystem, &Zone), FMOD_OK);
    const FMOD_VECTOR At{0, 0, 0};
    EXPECT_EQ(Lib::FMOD_Reverb3D_Set3DAttributes(Zone, &At, AMin, AMax), FMOD_OK);
    FMOD_REVERB_PROPERTIES P = Props();
    P.DecayTime = ADecayMs;
    EXPECT_EQ(Lib::FMOD_Reverb3D_SetProperties(Zone, &P), FMOD_OK);
    return Zone;
  }
  void Listen(float AX) {
    const FMOD_VECTOR At{AX, 0, 0}, Forward{0, 0, 1}, Up{0, 1, 0};
    ASSERT_EQ(Lib::FMOD_System_Set3DListenerAttributes(FSystem, 0, &At, nullptr, &Forward, &Up), FMOD_OK);
  }
  // The tail after a click heard with the listener at AX, zones set up by AZones.
  double TailAt(float AX, const std::function<void()>& AZones) {
    Start({});
    AZones();
    Listen(AX);
    Update();
    Click();
    FMOD_CHANNEL* Channel = nullptr;
    Lib::FMOD_System_GetChannel(FSystem, 0, &Channel);
    EXPECT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
    return Tail(this->Mix(12));
  }
};

TEST_F(Reverb3DTest, AZoneKeepsItsPlaceItsPropertiesAndItsSwitchAndRefusesBadOnes) {
  FMOD_REVERB3D* Zone = this->Zone(2, 8);
  FMOD_VECTOR At{};
  float Min = 0, Max = 0;
  ASSERT_EQ(Lib::FMOD_Reverb3D_Get3DAttributes(Zone, &At, &Min, &Max), FMOD_OK);
  EXPECT_EQ(Min, 2);
  EXPECT_EQ(Max, 8);
  FMOD_REVERB_PROPERTIES P{};
  ASSERT_EQ(Lib::FMOD_Reverb3D_GetProperties(Zone, &P), FMOD_OK);
  EXPECT_EQ(P.DecayTime, 2000);
  FMOD_BOOL Active = 0;
  ASSERT_EQ(Lib::FMOD_Reverb3D_GetActive(Zone, &Active), FMOD_OK);
  EXPECT_EQ(Active, 1);
  ASSERT_EQ(Lib::FMOD_Reverb3D_SetActive(Zone, false), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Reverb3D_GetActive(Zone, &Active), FMOD_OK);
  EXPECT_EQ(Active, 0);
  int Mine = 0;
  void* Data = nullptr;
  ASSERT_EQ(Lib::FMOD_Reverb3D_SetUserData(Zone, &Mine), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Reverb3D_GetUserData(Zone, &Data), FMOD_OK);
  EXPECT_EQ(Data, &Mine);

  EXPECT_EQ(Lib::FMOD_Reverb3D_Set3DAttributes(Zone, &At, 5, 1), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Reverb3D_Set3DAttributes(Zone, &At, -1, 1), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Reverb3D_Set3DAttributes(Zone, &At, NAN, 1), FMOD_ERR_INVALID_FLOAT);
  P.Density = 200;
  EXPECT_EQ(Lib::FMOD_Reverb3D_SetProperties(Zone, &P), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Reverb3D_SetProperties(Zone, nullptr), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Reverb3D_GetProperties(Zone, nullptr), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_System_CreateReverb3D(FSystem, nullptr), FMOD_ERR_INVALID_PARAM);

  // Released, and never made: every call answers an invalid handle.
  ASSERT_EQ(Lib::FMOD_Reverb3D_Release(Zone), FMOD_OK);
  for (FMOD_REVERB3D* Bad : {Zone, reinterpret_cast<FMOD_REVERB3D*>(0x1234), static_cast<FMOD_REVERB3D*>(nullptr)}) {
    EXPECT_EQ(Lib::FMOD_Reverb3D_Release(Bad), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_Set3DAttributes(Bad, &At, 1, 2), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_Get3DAttributes(Bad, &At, &Min, &Max), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_SetProperties(Bad, &P), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_GetProperties(Bad, &P), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_SetActive(Bad, true), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_GetActive(Bad, &Active), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_SetUserData(Bad, nullptr), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(Lib::FMOD_Reverb3D_GetUserData(Bad, &Data), FMOD_ERR_INVALID_HANDLE);
  }
}

TEST_F(Reverb3DTest, TheListenersPlaceBlendsAZoneInFullWithinItsMinimumAndNotBeyondItsMaximum) {
  // With no ambient reverb, the tail follows the listener's distance from a
  // zone reaching from 5 to 15: full, then falling, then none; and just
  // either side of each edge it is what the edge has (no step there).
  const auto OneZone = [&] { Zone(5, 15); };
  const double Inside = TailAt(0, OneZone);
  EXPECT_GT(Inside, 0.01);
  EXPECT_NEAR(TailAt(4.9f, OneZone), Inside, 0.02 * Inside);
  EXPECT_NEAR(TailAt(5.2f, OneZone), Inside, 0.05 * Inside);
  double Before = Inside;
  for (const float X : {6.0f, 8.0f, 10.0f, 12.0f, 14.0f}) {
    const double Level = TailAt(X, OneZone);
    EXPECT_LE(Level, Before * 1.02) << X;
    EXPECT_GT(Level, 0.0) << X;
    Before = Level;
  }
  EXPECT_LT(TailAt(14.8f, OneZone), 0.01 * Inside);
  EXPECT_LT(TailAt(15.1f, OneZone), 2 * kTolerance);
  // A zone switched off is not heard; the ambient properties fill in
  // outside every zone.
  EXPECT_LT(TailAt(0, [&] { Lib::FMOD_Reverb3D_SetActive(Zone(5, 15), false); }), 2 * kTolerance);
  const double Ambient = TailAt(20, [&] {
    Zone(5, 15);
    const FMOD_REVERB_PROPERTIES P = Props();
    Lib::FMOD_System_SetReverbProperties(FSystem, 0, &P);
  });
  EXPECT_NEAR(Ambient, Inside, 0.1 * Inside);
}

TEST_F(Reverb3DTest, InsideAZoneTheTailDecaysInTheZonesDecayTime) {
  for (const float Decay : {800.0f, 2500.0f}) {
    Start({});
    Zone(5, 15, Decay);
    Listen(0);
    Update();
    ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Click(), false), FMOD_OK);
    const TMix Mix = this->Mix(int(Decay / 1000.0f * kRate / kBlock) + 4);
    EXPECT_NEAR(DecayTime(Mix.L, kBlock / 4), Decay / 1000.0, 0.1 * Decay / 1000.0) << Decay;
  }
}

}  // namespace
