// The channel-control family, run once for the channel and once for the
// channel group: the same cases must reach FMOD_Channel_X and
// FMOD_ChannelGroup_X alike.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChannelControlTestSupport.h"
#include "Tembro.Audio.FMOD.DSP.h"

using namespace sonvel::test::channels;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;

namespace {

template <typename TKind>
class ChannelControl : public ::testing::Test {};

struct KindNames {
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, ChannelKind> ? "Channel" : "ChannelGroup";
  }
};

using Kinds = ::testing::Types<ChannelKind, GroupKind>;

// What a setter's action saw behind the addresses it was given.
std::string Seen;

FMOD_RESULT F_CALLBACK SomeCallback(FMOD_CHANNELCONTROL*, FMOD_CHANNELCONTROL_TYPE, FMOD_CHANNELCONTROL_CALLBACK_TYPE,
                                    void*, void*) {
  return FMOD_OK;
}

// One operation of the family: how the fake answers, what the wrapper is
// asked, the one call expected ({P} prefix, {H} handle argument, "&" an
// out-address) and what the wrapper returns, as text ("" for nothing).
template <typename TKind>
struct FamilyCase {
  const char* Operation;
  std::function<void(FakeEngine&)> Arrange;
  std::function<std::string(typename TKind::TInterface&)> Act;
  std::string Call;
  std::string Result;
};

template <typename TKind>
std::vector<FamilyCase<TKind>> PassThroughCases() {
  using A = typename TKind::Actions;
  using I = typename TKind::TInterface;
  auto None = [](FakeEngine&) {};
  return {
      {"GetSystemObject", [](FakeEngine& F) { F.Actions.*A::GetSystemObject = Writes(kSystem); },
       [](I& C) { return Show(C.GetSystemObject()); }, "{P}GetSystemObject({H}, system=&)", Show(kSystem)},
      {"IsPlaying", [](FakeEngine& F) { F.Actions.*A::IsPlaying = Writes<FMOD_BOOL>(1); },
       [](I& C) { return Show(C.IsPlaying()); }, "{P}IsPlaying({H}, isplaying=&)", "1"},
      {"GetPaused", [](FakeEngine& F) { F.Actions.*A::GetPaused = Writes<FMOD_BOOL>(1); },
       [](I& C) { return Show(C.GetPaused()); }, "{P}GetPaused({H}, paused=&)", "1"},
      {"SetPaused", None, [](I& C) { return C.SetPaused(1), ""; }, "{P}SetPaused({H}, paused=1)", ""},
      {"GetVolume", [](FakeEngine& F) { F.Actions.*A::GetVolume = Writes(0.25f); },
       [](I& C) { return Show(C.GetVolume()); }, "{P}GetVolume({H}, volume=&)", "0.25"},
      {"SetVolume", None, [](I& C) { return C.SetVolume(0.5f), ""; }, "{P}SetVolume({H}, volume=0.5)", ""},
      {"GetVolumeRamp", [](FakeEngine& F) { F.Actions.*A::GetVolumeRamp = Writes<FMOD_BOOL>(1); },
       [](I& C) { return Show(C.GetVolumeRamp()); }, "{P}GetVolumeRamp({H}, ramp=&)", "1"},
      {"SetVolumeRamp", None, [](I& C) { return C.SetVolumeRamp(0), ""; }, "{P}SetVolumeRamp({H}, ramp=0)", ""},
      {"GetAudibility", [](FakeEngine& F) { F.Actions.*A::GetAudibility = Writes(0.125f); },
       [](I& C) { return Show(C.GetAudibility()); }, "{P}GetAudibility({H}, audibility=&)", "0.125"},
      {"GetPitch", [](FakeEngine& F) { F.Actions.*A::GetPitch = Writes(1.5f); },
       [](I& C) { return Show(C.GetPitch()); }, "{P}GetPitch({H}, pitch=&)", "1.5"},
      {"SetPitch", None, [](I& C) { return C.SetPitch(2.0f), ""; }, "{P}SetPitch({H}, pitch=2)", ""},
      {"GetMute", [](FakeEngine& F) { F.Actions.*A::GetMute = Writes<FMOD_BOOL>(1); },
       [](I& C) { return Show(C.GetMute()); }, "{P}GetMute({H}, mute=&)", "1"},
      {"SetMute", None, [](I& C) { return C.SetMute(1), ""; }, "{P}SetMute({H}, mute=1)", ""},
      {"GetLowPassGain", [](FakeEngine& F) { F.Actions.*A::GetLowPassGain = Writes(0.75f); },
       [](I& C) { return Show(C.GetLowPassGain()); }, "{P}GetLowPassGain({H}, gain=&)", "0.75"},
      {"SetLowPassGain", None, [](I& C) { return C.SetLowPassGain(0.5f), ""; }, "{P}SetLowPassGain({H}, gain=0.5)",
       ""},
      {"GetMode", [](FakeEngine& F) { F.Actions.*A::GetMode = Writes<FMOD_MODE>(0x12); },
       [](I& C) { return Show(C.GetMode()); }, "{P}GetMode({H}, mode=&)", "18"},
      {"SetMode", None, [](I& C) { return C.SetMode(0x10), ""; }, "{P}SetMode({H}, mode=16)", ""},
      {"GetUserData", [](FakeEngine& F) { F.Actions.*A::GetUserData = Writes(reinterpret_cast<void*>(0x1234)); },
       [](I& C) { return Show(C.GetUserData()); }, "{P}GetUserData({H}, userdata=&)", "0x1234"},
      {"SetUserData", None, [](I& C) { return C.SetUserData(reinterpret_cast<void*>(0x1234)), ""; },
       "{P}SetUserData({H}, userdata=0x1234)", ""},
      {"GetDelay",
       [](FakeEngine& F) {
         F.Actions.*A::GetDelay = [](auto*, unsigned long long* AStart, unsigned long long* AEnd, FMOD_BOOL* AStop) {
           *AStart = 100, *AEnd = 200, *AStop = 1;
           return FMOD_OK;
         };
       },
       [](I& C) {
         const TTembroFMODDelay D = C.GetDelay();
         return Show(D.DSPClock_Start) + " " + Show(D.DSPClock_End) + " " + Show(D.StopChannels);
       },
       "{P}GetDelay({H}, dspclock_start=&, dspclock_end=&, stopchannels=&)", "100 200 1"},
      {"SetDelay", None, [](I& C) { return C.SetDelay({100, 200, 1}), ""; },
       "{P}SetDelay({H}, dspclock_start=100, dspclock_end=200, stopchannels=1)", ""},
      {"Get3DAttributes",
       [](FakeEngine& F) {
         F.Actions.*A::Get3DAttributes = [](auto*, FMOD_VECTOR* APos, FMOD_VECTOR* AVel, FMOD_VECTOR* AAlt) {
           *APos = {1, 2, 3}, *AVel = {4, 5, 6}, *AAlt = {7, 8, 9};
           return FMOD_OK;
         };
       },
       [](I& C) {
         const TTembroFMOD3DAttributes R = C.Get3DAttributes();
         return Show(R.Pos) + Show(R.Velocity) + Show(R.Alt_Pan_Pos);
       },
       "{P}Get3DAttributes({H}, pos=&, vel=&, alt_pan_pos=&)", "(1,2,3)(4,5,6)(7,8,9)"},
      {"Set3DAttributes",
       [](FakeEngine& F) {
         F.Actions.*A::Set3DAttributes = [](auto*, const FMOD_VECTOR* APos, const FMOD_VECTOR* AVel,
                                            const FMOD_VECTOR* AAlt) {
           Seen = Show(APos) + Show(AVel) + Show(AAlt);
           return FMOD_OK;
         };
       },
       [](I& C) { return C.Set3DAttributes({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), Seen; },
       "{P}Set3DAttributes({H}, pos=&, vel=&, alt_pan_pos=&)", "(1,2,3)(4,5,6)(7,8,9)"},
      {"Get3DMinMaxDistance",
       [](FakeEngine& F) {
         F.Actions.*A::Get3DMinMaxDistance = [](auto*, float* AMin, float* AMax) {
           *AMin = 1, *AMax = 100;
           return FMOD_OK;
         };
       },
       [](I& C) {
         const TTembroFMOD3DMinMaxDistance R = C.Get3DMinMaxDistance();
         return Show(R.Min) + " " + Show(R.Max);
       },
       "{P}Get3DMinMaxDistance({H}, mindistance=&, maxdistance=&)", "1 100"},
      {"Set3DMinMaxDistance", None, [](I& C) { return C.Set3DMinMaxDistance({2, 50}), ""; },
       "{P}Set3DMinMaxDistance({H}, mindistance=2, maxdistance=50)", ""},
      {"Get3DConeSettings",
       [](FakeEngine& F) {
         F.Actions.*A::Get3DConeSettings = [](auto*, float* AInside, float* AOutside, float* AVolume) {
           *AInside = 30, *AOutside = 90, *AVolume = 0.5f;
           return FMOD_OK;
         };
       },
       [](I& C) {
         const TTembroFMOD3DConeSettings R = C.Get3DConeSettings();
         return Show(R.InsideConeAngle) + " " + Show(R.OutsideConeAngle) + " " + Show(R.OutsideVolume);
       },
       "{P}Get3DConeSettings({H}, insideconeangle=&, outsideconeangle=&, outsidevolume=&)", "30 90 0.5"},
      {"Set3DConeSettings", None, [](I& C) { return C.Set3DConeSettings({30, 90, 0.5f}), ""; },
       "{P}Set3DConeSettings({H}, insideconeangle=30, outsideconeangle=90, outsidevolume=0.5)", ""},
      {"Get3DConeOrientation",
       [](FakeEngine& F) {
         F.Actions.*A::Get3DConeOrientation = [](auto*, FMOD_VECTOR* AOut) {
           *AOut = {0, 0, 1};
           return FMOD_OK;
         };
       },
       [](I& C) { return Show(C.Get3DConeOrientation()); }, "{P}Get3DConeOrientation({H}, orientation=&)",
       "(0,0,1)"},
      {"Set3DConeOrientation",
       [](FakeEngine& F) {
         F.Actions.*A::Set3DConeOrientation = [](auto*, FMOD_VECTOR* AIn) {
           Seen = Show(AIn);
           return FMOD_OK;
         };
       },
       [](I& C) { return C.Set3DConeOrientation({0, 1, 0}), Seen; }, "{P}Set3DConeOrientation({H}, orientation=&)",
       "(0,1,0)"},
      {"Get3DOcclusion",
       [](FakeEngine& F) {
         F.Actions.*A::Get3DOcclusion = [](auto*, float* ADirect, float* AReverb) {
           *ADirect = 0.25f, *AReverb = 0.75f;
           return FMOD_OK;
         };
       },
       [](I& C) {
         const TTembroFMOD3DOcclusion R = C.Get3DOcclusion();
         return Show(R.DirectOcclusion) + " " + Show(R.ReverbOcclusion);
       },
       "{P}Get3DOcclusion({H}, directocclusion=&, reverbocclusion=&)", "0.25 0.75"},
      {"Set3DOcclusion", None, [](I& C) { return C.Set3DOcclusion({0.25f, 0.75f}), ""; },
       "{P}Set3DOcclusion({H}, directocclusion=0.25, reverbocclusion=0.75)", ""},
      {"Get3DSpread", [](FakeEngine& F) { F.Actions.*A::Get3DSpread = Writes(45.0f); },
       [](I& C) { return Show(C.Get3DSpread()); }, "{P}Get3DSpread({H}, angle=&)", "45"},
      {"Set3DSpread", None, [](I& C) { return C.Set3DSpread(90.0f), ""; }, "{P}Set3DSpread({H}, angle=90)", ""},
      {"Get3DLevel", [](FakeEngine& F) { F.Actions.*A::Get3DLevel = Writes(0.5f); },
       [](I& C) { return Show(C.Get3DLevel()); }, "{P}Get3DLevel({H}, level=&)", "0.5"},
      {"Set3DLevel", None, [](I& C) { return C.Set3DLevel(0.25f), ""; }, "{P}Set3DLevel({H}, level=0.25)", ""},
      {"Get3DDopplerLevel", [](FakeEngine& F) { F.Actions.*A::Get3DDopplerLevel = Writes(2.0f); },
       [](I& C) { return Show(C.Get3DDopplerLevel()); }, "{P}Get3DDopplerLevel({H}, level=&)", "2"},
      {"Set3DDopplerLevel", None, [](I& C) { return C.Set3DDopplerLevel(3.0f), ""; },
       "{P}Set3DDopplerLevel({H}, level=3)", ""},
      {"Get3DDistanceFilter",
       [](FakeEngine& F) {
         F.Actions.*A::Get3DDistanceFilter = [](auto*, FMOD_BOOL* ACustom, float* ALevel, float* AFreq) {
           *ACustom = 1, *ALevel = 0.5f, *AFreq = 1500;
           return FMOD_OK;
         };
       },
       [](I& C) {
         const TTembroFMOD3DDistanceFilter R = C.Get3DDistanceFilter();
         return Show(R.Custom) + " " + Show(R.CustomLevel) + " " + Show(R.CenterFreq);
       },
       "{P}Get3DDistanceFilter({H}, custom=&, customLevel=&, centerFreq=&)", "1 0.5 1500"},
      {"Set3DDistanceFilter", None, [](I& C) { return C.Set3DDistanceFilter({1, 0.5f, 1500}), ""; },
       "{P}Set3DDistanceFilter({H}, custom=1, customLevel=0.5, centerFreq=1500)", ""},
      {"Stop", None, [](I& C) { return C.Stop(), ""; }, "{P}Stop({H})", ""},
      {"SetReverbProperties", None, [](I& C) { return C.SetReverbProperties(1, 0.5f), ""; },
       "{P}SetReverbProperties({H}, instance=1, wet=0.5)", ""},
      {"GetReverbProperties",
       [](FakeEngine& F) {
         F.Actions.*A::GetReverbProperties = [](auto*, int, float* AWet) {
           *AWet = 0.25f;
           return FMOD_OK;
         };
       },
       [](I& C) { return Show(C.GetReverbProperties(2)); }, "{P}GetReverbProperties({H}, instance=2, wet=&)",
       "0.25"},
      {"SetCallback", None, [](I& C) { return C.SetCallback(&SomeCallback), ""; }, "{P}SetCallback({H}, callback=&)",
       ""},
      {"SetCallback(null)", None, [](I& C) { return C.SetCallback(nullptr), ""; },
       "{P}SetCallback({H}, callback=null)", ""},
      {"SetPan", None, [](I& C) { return C.SetPan(-1.0f), ""; }, "{P}SetPan({H}, pan=-1)", ""},
      {"SetMixLevelsOutput", None, [](I& C) { return C.SetMixLevelsOutput({1, 2, 3, 4, 5, 6, 7, 8}), ""; },
       "{P}SetMixLevelsOutput({H}, frontleft=1, frontright=2, center=3, lfe=4, surroundleft=5, surroundright=6, "
       "backleft=7, backright=8)",
       ""},
      {"GetDSPClock",
       [](FakeEngine& F) {
         F.Actions.*A::GetDSPClock = [](auto*, unsigned long long* AClock, unsigned long long* AParent) {
           *AClock = 1000, *AParent = 2000;
           return FMOD_OK;
         };
       },
       [](I& C) {
         std::uint64_t Clock = 1, Parent = 2;
         C.GetDSPClock(Clock, Parent);
         return Show(Clock) + " " + Show(Parent);
       },
       "{P}GetDSPClock({H}, dspclock=&, parentclock=&)", "1000 2000"},
      {"AddFadePoint", None, [](I& C) { return C.AddFadePoint(4096, 0.5f), ""; },
       "{P}AddFadePoint({H}, dspclock=4096, volume=0.5)", ""},
      {"SetFadePointRamp", None, [](I& C) { return C.SetFadePointRamp(8192, 1.0f), ""; },
       "{P}SetFadePointRamp({H}, dspclock=8192, volume=1)", ""},
      {"RemoveFadePoints", None, [](I& C) { return C.RemoveFadePoints(1, 2), ""; },
       "{P}RemoveFadePoints({H}, dspclock_start=1, dspclock_end=2)", ""},
      {"GetNumDSPs", [](FakeEngine& F) { F.Actions.*A::GetNumDSPs = Writes(3); },
       [](I& C) { return Show(C.GetNumDSPs()); }, "{P}GetNumDSPs({H}, numdsps=&)", "3"},
  };
}

ITembroFMODDSPPtr DSPWrapper() { return ITembroFMODDSPPtr(new TTembroFMODDSP(kDSP, TTembroFMODOwnership::Borrowed)); }

}  // namespace

TYPED_TEST_SUITE(ChannelControl, Kinds, KindNames);

TYPED_TEST(ChannelControl, PassThroughOperationsMakeOneCallAndReturnWhatTheEngineWrote) {
  for (const auto& Case : PassThroughCases<TypeParam>()) {
    FakeEngine Fake;
    Case.Arrange(Fake);
    Seen.clear();
    auto Control = TypeParam::Make();
    EXPECT_EQ(Case.Act(*Control), Case.Result) << Case.Operation;
    EXPECT_EQ(Normalised(Fake.Calls), Strings{Expand<TypeParam>(Case.Call)}) << Case.Operation;
  }
}

TYPED_TEST(ChannelControl, AnEngineFailureRaisesTheEngineTextInEveryOperation) {
  for (const auto& Case : PassThroughCases<TypeParam>()) {
    FakeEngine Fake;
    TypeParam::FailAll(Fake, FMOD_ERR_MEMORY);
    auto Control = TypeParam::Make();
    EXPECT_EQ(RaisedText([&] { Case.Act(*Control); }), "Not enough memory or resources.") << Case.Operation;
  }
}

// A channel ends when its sound does; its handle then answers 30, or 3 once
// the voice plays something else. The channel takes those answers as "not
// playing" in IsPlaying and the paused state only; the group raises them.
TYPED_TEST(ChannelControl, OnlyTheChannelToleratesEndedChannelResultsInIsPlayingAndPaused) {
  for (const FMOD_RESULT Code : {FMOD_ERR_INVALID_HANDLE, FMOD_ERR_CHANNEL_STOLEN}) {
    FakeEngine Fake;
    TypeParam::FailAll(Fake, Code);
    auto Control = TypeParam::Make();
    const std::string Message = Code == FMOD_ERR_INVALID_HANDLE ? kInvalidHandle : kChannelStolen;
    const std::string Tolerated = TypeParam::ToleratesEndedChannel ? "(nothing raised)" : Message;
    FMOD_BOOL Playing = -1, Paused = -1;
    EXPECT_EQ(RaisedText([&] { Playing = Control->IsPlaying(); }), Tolerated) << Code;
    EXPECT_EQ(RaisedText([&] { Paused = Control->GetPaused(); }), Tolerated) << Code;
    EXPECT_EQ(RaisedText([&] { Control->SetPaused(1); }), Tolerated) << Code;
    if (TypeParam::ToleratesEndedChannel) {
      EXPECT_EQ(Playing, 0);
      EXPECT_EQ(Paused, 0);
    }
    EXPECT_EQ(RaisedText([&] { Control->SetVolume(1.0f); }), Message) << Code;
    EXPECT_EQ(RaisedText([&] { Control->Stop(); }), Message) << Code;
  }
  FakeEngine Fake;
  TypeParam::FailAll(Fake, FMOD_ERR_INVALID_PARAM);
  auto Control = TypeParam::Make();
  EXPECT_EQ(RaisedText([&] { Control->IsPlaying(); }), kInvalidParam);
  EXPECT_EQ(RaisedText([&] { Control->SetPaused(0); }), kInvalidParam);
}

// ---------------------------------------------------------------------------
// Mix matrix: 16 coefficients in the record, no capacity told to the engine

TYPED_TEST(ChannelControl, MixMatrixReadCopiesAFittingMatrixWithRowWidthZero) {
  using A = typename TypeParam::Actions;
  FakeEngine Fake;
  Fake.Actions.*A::GetMixMatrix = [](auto*, float* AMatrix, int* AOut, int* AIn, int) {
    *AOut = 2, *AIn = 3;
    for (int I = 0; I < 6; ++I) AMatrix[I] = static_cast<float>(I + 1);
    return FMOD_OK;
  };
  auto Control = TypeParam::Make();
  const TTembroFMODMixMatrix Matrix = Control->GetMixMatrix();
  EXPECT_EQ(Normalised(Fake.Calls),
            Strings{Expand<TypeParam>("{P}GetMixMatrix({H}, matrix=&, outchannels=&, inchannels=&, inchannel_hop=0)")});
  EXPECT_EQ(Matrix.OutChannels, 2);
  EXPECT_EQ(Matrix.InChannels, 3);
  EXPECT_EQ(Matrix.InChannel_Hop, 0);
  const std::array<float, 16> Expected{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(Matrix.Matrix, Expected);
}

// Obvious fault 3: a matrix of more coefficients than the record holds.
TYPED_TEST(ChannelControl, MixMatrixReadRefusesAMatrixLargerThanTheRecord) {
  using A = typename TypeParam::Actions;
  struct Case {
    int Out, In;
    bool Refused;
  } const Cases[] = {{4, 4, false}, {1, 16, false}, {4, 5, true}, {8, 8, true}, {32, 32, true}};
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.*A::GetMixMatrix = [C](auto*, float* AMatrix, int* AOut, int* AIn, int) {
      *AOut = C.Out, *AIn = C.In;
      for (int I = 0; I < C.Out * C.In; ++I) AMatrix[I] = 0.5f;  // the engine writes the whole matrix
      return FMOD_OK;
    };
    auto Control = TypeParam::Make();
    EXPECT_EQ(RaisedText([&] { Control->GetMixMatrix(); }), C.Refused ? kInvalidParam : "(nothing raised)")
        << C.Out << "x" << C.In;
  }
}

TYPED_TEST(ChannelControl, MixMatrixWriteHandsOverTheRecordAndRefusesWhatDoesNotFit) {
  using A = typename TypeParam::Actions;
  struct Case {
    int Out, In, Hop;
    bool Refused;
  } const Cases[] = {
      {2, 2, 0, false},   {4, 4, 0, false},  {2, 4, 8, false},  {0, 0, 0, false}, {1, 16, 0, false},
      {4, 5, 0, true},    {3, 4, 8, true},   {2, 16, 8, true},  {1, 17, 0, true}, {-1, 2, 0, true},
      {2, -1, 0, true},   {2, 2, -1, true},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.*A::SetMixMatrix = [](auto*, float* AMatrix, int, int, int) {
      Seen = Show(AMatrix[0]) + " " + Show(AMatrix[1]);
      return FMOD_OK;
    };
    auto Control = TypeParam::Make();
    TTembroFMODMixMatrix Matrix;
    Matrix.Matrix[0] = 0.25f, Matrix.Matrix[1] = 0.75f;
    Matrix.OutChannels = C.Out, Matrix.InChannels = C.In, Matrix.InChannel_Hop = C.Hop;
    const std::string Raised = RaisedText([&] { Control->SetMixMatrix(Matrix); });
    const std::string Label = std::to_string(C.Out) + "x" + std::to_string(C.In) + " hop " + std::to_string(C.Hop);
    if (C.Refused) {
      EXPECT_EQ(Raised, kInvalidParam) << Label;
      EXPECT_TRUE(Fake.Calls.empty()) << Label;
      continue;
    }
    EXPECT_EQ(Raised, "(nothing raised)") << Label;
    EXPECT_EQ(Normalised(Fake.Calls),
              Strings{Expand<TypeParam>("{P}SetMixMatrix({H}, matrix=&, outchannels=" + std::to_string(C.Out) +
                                        ", inchannels=" + std::to_string(C.In) +
                                        ", inchannel_hop=" + std::to_string(C.Hop) + ")")})
        << Label;
    EXPECT_EQ(Seen, "0.25 0.75") << Label;
  }
}

// ---------------------------------------------------------------------------
// Custom rolloff

TYPED_TEST(ChannelControl, CustomRolloffReadCopiesTheEnginePoints) {
  using A = typename TypeParam::Actions;
  static FMOD_VECTOR EnginePoints[3] = {{0, 1, 0}, {10, 0.5f, 0}, {20, 0, 0}};
  FakeEngine Fake;
  Fake.Actions.*A::Get3DCustomRolloff = [](auto*, FMOD_VECTOR** APoints, int* ANum) {
    *APoints = EnginePoints, *ANum = 3;
    return FMOD_OK;
  };
  auto Control = TypeParam::Make();
  const TTembroFMOD3DCustomRolloff Rolloff = Control->Get3DCustomRolloff();
  EXPECT_EQ(Normalised(Fake.Calls), Strings{Expand<TypeParam>("{P}Get3DCustomRolloff({H}, points=&, numpoints=&)")});
  EnginePoints[1].y = 99;  // the record owns its copy
  ASSERT_EQ(Rolloff.NumPoints, 3);
  ASSERT_EQ(Rolloff.Points.size(), 3u);
  EXPECT_EQ(Show(Rolloff.Points[0]) + Show(Rolloff.Points[1]) + Show(Rolloff.Points[2]), "(0,1,0)(10,0.5,0)(20,0,0)");

  Fake.Actions.*A::Get3DCustomRolloff = [](auto*, FMOD_VECTOR** APoints, int* ANum) {
    *APoints = nullptr, *ANum = 0;
    return FMOD_OK;
  };
  const TTembroFMOD3DCustomRolloff None = Control->Get3DCustomRolloff();
  EXPECT_EQ(None.NumPoints, 0);
  EXPECT_TRUE(None.Points.empty());
}

// Obvious fault 3: NumPoints travels with the caller's array.
TYPED_TEST(ChannelControl, CustomRolloffWriteHandsOverTheCallersArrayAndRefusesACountBeyondIt) {
  using A = typename TypeParam::Actions;
  struct Case {
    std::size_t Size;
    int NumPoints;
    bool Refused;
  } const Cases[] = {{3, 3, false}, {3, 2, false}, {0, 0, false}, {3, 4, true}, {0, 1, true}, {3, -1, true}};
  for (const Case& C : Cases) {
    FakeEngine Fake;
    const FMOD_VECTOR* Received = nullptr;
    Fake.Actions.*A::Set3DCustomRolloff = [&Received](auto*, FMOD_VECTOR* APoints, int) {
      Received = APoints;
      return FMOD_OK;
    };
    auto Control = TypeParam::Make();
    TTembroFMOD3DCustomRolloff Rolloff;
    Rolloff.Points.assign(C.Size, TPoint3D{1, 2, 3});
    Rolloff.NumPoints = C.NumPoints;
    const std::string Raised = RaisedText([&] { Control->Set3DCustomRolloff(Rolloff); });
    const std::string Label = std::to_string(C.Size) + " points, NumPoints " + std::to_string(C.NumPoints);
    if (C.Refused) {
      EXPECT_EQ(Raised, kInvalidParam) << Label;
      EXPECT_TRUE(Fake.Calls.empty()) << Label;
      continue;
    }
    EXPECT_EQ(Raised, "(nothing raised)") << Label;
    const std::string Points = C.Size == 0 ? "null" : "&";
    EXPECT_EQ(Normalised(Fake.Calls),
              Strings{Expand<TypeParam>("{P}Set3DCustomRolloff({H}, points=" + Points +
                                        ", numpoints=" + std::to_string(C.NumPoints) + ")")})
        << Label;
    EXPECT_EQ(static_cast<const void*>(Received), C.Size == 0 ? nullptr : static_cast<const void*>(Rolloff.Points.data()))
        << Label;
  }
}

// ---------------------------------------------------------------------------
// Input levels

// Obvious fault 3: ANumlevels travels with ALevels.
TYPED_TEST(ChannelControl, SetMixLevelsInputHandsOverTheArrayAndRefusesACountBeyondIt) {
  using A = typename TypeParam::Actions;
  struct Case {
    std::size_t Size;
    int NumLevels;
    bool Refused;
  } const Cases[] = {{3, 2, false}, {3, 3, false}, {0, 0, false}, {2, 3, true}, {0, 1, true}, {2, -1, true}};
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.*A::SetMixLevelsInput = [](auto*, float* ALevels, int ANum) {
      Seen.clear();
      for (int I = 0; I < ANum; ++I) Seen += Show(ALevels[I]) + ";";
      return FMOD_OK;
    };
    auto Control = TypeParam::Make();
    std::vector<float> Levels(C.Size);
    for (std::size_t I = 0; I < C.Size; ++I) Levels[I] = 0.25f * static_cast<float>(I + 1);
    Seen.clear();
    const std::string Raised = RaisedText([&] { Control->SetMixLevelsInput(Levels, C.NumLevels); });
    const std::string Label = std::to_string(C.Size) + " levels, ANumlevels " + std::to_string(C.NumLevels);
    if (C.Refused) {
      EXPECT_EQ(Raised, kInvalidParam) << Label;
      EXPECT_TRUE(Fake.Calls.empty()) << Label;
      continue;
    }
    EXPECT_EQ(Raised, "(nothing raised)") << Label;
    const std::string Address = C.Size == 0 ? "null" : "&";
    EXPECT_EQ(Normalised(Fake.Calls),
              Strings{Expand<TypeParam>("{P}SetMixLevelsInput({H}, levels=" + Address +
                                        ", numlevels=" + std::to_string(C.NumLevels) + ")")})
        << Label;
    std::string Read;
    for (int I = 0; I < C.NumLevels; ++I) Read += Show(Levels[I]) + ";";
    EXPECT_EQ(Seen, Read) << Label;
  }
}

// ---------------------------------------------------------------------------
// Fade points

// A fake whose object has ANumPoints fade points (clocks 100, 200, ...,
// volumes 0.5, 0.25, ...) and which writes all of them whenever it is given
// arrays, as the engine does.
template <typename TKind>
void HaveFadePoints(FakeEngine& AFake, unsigned AnumPoints) {
  using A = typename TKind::Actions;
  AFake.Actions.*A::GetFadePoints = [AnumPoints](auto*, unsigned int* ANum, unsigned long long* AClocks,
                                                 float* AVolumes) {
    *ANum = AnumPoints;
    for (unsigned I = 0; AClocks != nullptr && I < AnumPoints; ++I) AClocks[I] = 100 * (I + 1);
    for (unsigned I = 0; AVolumes != nullptr && I < AnumPoints; ++I) AVolumes[I] = 0.5f / static_cast<float>(1 << I);
    return FMOD_OK;
  };
}

TYPED_TEST(ChannelControl, FadePointsFillArraysOfAMaxPointsAfterAskingForTheCount) {
  FakeEngine Fake;
  HaveFadePoints<TypeParam>(Fake, 2);
  auto Control = TypeParam::Make();
  const TTembroFMODFadePoints Points = Control->GetFadePoints(8);
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{Expand<TypeParam>("{P}GetFadePoints({H}, numpoints=&, point_dspclock=null, point_volume=null)"),
                     Expand<TypeParam>("{P}GetFadePoints({H}, numpoints=&, point_dspclock=&, point_volume=&)")}));
  EXPECT_EQ(Points.NumPoints, 2u);
  EXPECT_EQ(Points.Point_DSPClock, (std::vector<std::uint64_t>{100, 200, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Points.Point_Volume, (std::vector<float>{0.5f, 0.25f, 0, 0, 0, 0, 0, 0}));
}

TYPED_TEST(ChannelControl, FadePointsOfAnObjectWithoutAnyHandTheEngineNoArrays) {
  FakeEngine Fake;
  HaveFadePoints<TypeParam>(Fake, 0);
  auto Control = TypeParam::Make();
  for (const int MaxPoints : {0, 4}) {
    Fake.Calls.clear();
    const TTembroFMODFadePoints Points = Control->GetFadePoints(MaxPoints);
    EXPECT_EQ(Normalised(Fake.Calls),
              Strings{Expand<TypeParam>("{P}GetFadePoints({H}, numpoints=&, point_dspclock=null, point_volume=null)")});
    EXPECT_EQ(Points.NumPoints, 0u);
    EXPECT_EQ(Points.Point_DSPClock, std::vector<std::uint64_t>(MaxPoints, 0));
    EXPECT_EQ(Points.Point_Volume, std::vector<float>(MaxPoints, 0.0f));
  }
}

// Obvious fault 3: the engine writes every fade point it has, so more points
// than AMaxPoints must never reach its array write.
TYPED_TEST(ChannelControl, FadePointsRefuseMorePointsThanAMaxPointsAndANegativeCount) {
  FakeEngine Fake;
  HaveFadePoints<TypeParam>(Fake, 5);
  auto Control = TypeParam::Make();
  EXPECT_EQ(RaisedText([&] { Control->GetFadePoints(4); }), kInvalidParam);
  EXPECT_EQ(Normalised(Fake.Calls),
            Strings{Expand<TypeParam>("{P}GetFadePoints({H}, numpoints=&, point_dspclock=null, point_volume=null)")});
  Fake.Calls.clear();
  EXPECT_THROW(Control->GetFadePoints(-1), std::out_of_range);
  EXPECT_TRUE(Fake.Calls.empty());
  EXPECT_EQ(Control->GetFadePoints(5).NumPoints, 5u);
}

// ---------------------------------------------------------------------------
// DSP chain

// Obvious fault 1: the chain still holds the unit, so the wrapper borrows it.
TYPED_TEST(ChannelControl, GetDSPMakesANewBorrowedWrapperPerCall) {
  using A = typename TypeParam::Actions;
  FakeEngine Fake;
  Fake.Actions.*A::GetDSP = [](auto*, int, FMOD_DSP** AOut) {
    *AOut = kDSP;
    return FMOD_OK;
  };
  auto Control = TypeParam::Make();
  {
    ITembroFMODDSPPtr First = Control->GetDSP(0);
    ITembroFMODDSPPtr Second = Control->GetDSP(0);
    EXPECT_NE(First.Get(), Second.Get());
    EXPECT_EQ(First->GetInternalHandle(), kDSP);
    EXPECT_EQ(Second->GetInternalHandle(), kDSP);
    EXPECT_TRUE(First.template TryQuery<ITembroFMODInterface>());
  }
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{Expand<TypeParam>("{P}GetDSP({H}, index=0, dsp=&)"),
                                             Expand<TypeParam>("{P}GetDSP({H}, index=0, dsp=&)")}));

  Fake.Actions.*A::GetDSP = [](auto*, int, FMOD_DSP**) { return FMOD_ERR_INVALID_PARAM; };
  EXPECT_EQ(RaisedText([&] { Control->GetDSP(7); }), kInvalidParam);
}

TYPED_TEST(ChannelControl, DSPArgumentsGoToTheEngineInItsOwnOrder) {
  using A = typename TypeParam::Actions;
  FakeEngine Fake;
  Fake.Actions.*A::GetDSPIndex = [](auto*, FMOD_DSP*, int* AIndex) {
    *AIndex = 4;
    return FMOD_OK;
  };
  auto Control = TypeParam::Make();
  const ITembroFMODDSPPtr DSP = DSPWrapper();
  Control->AddDSP(2, DSP);
  Control->SetDSPIndex(DSP, 3);
  EXPECT_EQ(Control->GetDSPIndex(DSP), 4);
  Control->RemoveDSP(DSP);
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{
                                        Expand<TypeParam>("{P}AddDSP({H}, index=2, dsp=0xd5b0)"),
                                        Expand<TypeParam>("{P}SetDSPIndex({H}, dsp=0xd5b0, index=3)"),
                                        Expand<TypeParam>("{P}GetDSPIndex({H}, dsp=0xd5b0, index=&)"),
                                        Expand<TypeParam>("{P}RemoveDSP({H}, dsp=0xd5b0)"),
                                    }));
}

// Obvious fault 4: a null DSP is refused before the engine is called.
TYPED_TEST(ChannelControl, ANullDSPIsRefusedWithoutAnEngineCall) {
  FakeEngine Fake;
  auto Control = TypeParam::Make();
  const ITembroFMODDSPPtr Null;
  EXPECT_EQ(RaisedText([&] { Control->AddDSP(0, Null); }), "AddDSP: ADSP is null");
  EXPECT_EQ(RaisedText([&] { Control->RemoveDSP(Null); }), "RemoveDSP: ADSP is null");
  EXPECT_EQ(RaisedText([&] { Control->SetDSPIndex(Null, 0); }), "SetDSPIndex: ADSP is null");
  EXPECT_EQ(RaisedText([&] { Control->GetDSPIndex(Null); }), "GetDSPIndex: ADSP is null");
  EXPECT_THROW(Control->AddDSP(0, Null), std::invalid_argument);
  EXPECT_TRUE(Fake.Calls.empty());
}
