#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Reverb3D.h"
#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;

namespace {

FMOD_REVERB3D* const kReverb = FakeHandle<FMOD_REVERB3D>(0x3e7);
FMOD_REVERB3D* const kOtherReverb = FakeHandle<FMOD_REVERB3D>(0x3e8);

}  // namespace

TEST(Reverb3DWrapper, CreateMakesIndependentOwnedReverbsThroughTheSystem) {
  FakeEngine Fake;
  std::vector<FMOD_REVERB3D*> Handles = {kReverb, kOtherReverb};
  Fake.Actions.FMOD_System_CreateReverb3D = [&](FMOD_SYSTEM*, FMOD_REVERB3D** AOut) {
    *AOut = Handles.front();
    Handles.erase(Handles.begin());
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem));
  ITembroFMODReverb3DPtr First = TTembroFMODReverb3D::Create(System);
  ITembroFMODReverb3DPtr Second = TTembroFMODReverb3D::Create(System);
  EXPECT_EQ(First->GetInternalHandle(), kReverb);
  EXPECT_EQ(Second->GetInternalHandle(), kOtherReverb);
  EXPECT_EQ(First->GetSystemObject(), nullptr);
  First.Reset();
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_System_CreateReverb3D(system=0x5151, reverb=&)",
                                             "FMOD_System_CreateReverb3D(system=0x5151, reverb=&)",
                                             "FMOD_Reverb3D_Release(reverb3d=0x3e7)"}));
  Fake.Calls.clear();
  Second->SetActive(1);  // the other one is untouched and still usable
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_Reverb3D_SetActive(reverb3d=0x3e8, active=1)"}));
  Second.Reset();
  Fake.Calls.clear();

  Fake.Actions.FMOD_System_CreateReverb3D = [](FMOD_SYSTEM*, FMOD_REVERB3D**) { return FMOD_ERR_MEMORY; };
  EXPECT_EQ(RaisedText([&] { TTembroFMODReverb3D::Create(System); }), "Not enough memory or resources.");
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_CreateReverb3D"}));
  Fake.Calls.clear();
  EXPECT_EQ(RaisedText([] { TTembroFMODReverb3D::Create(nullptr); }), "Create: ASystem is null");
  EXPECT_TRUE(Fake.Calls.empty());
}

TEST(Reverb3DWrapper, DestructorReleasesOnlyAnOwnedNonNullReverbAndIgnoresTheResult) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Reverb3D_Release = [](FMOD_REVERB3D*) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_NO_THROW(ITembroFMODReverb3DPtr(new TTembroFMODReverb3D(kReverb)));
  { ITembroFMODReverb3DPtr Null(new TTembroFMODReverb3D(nullptr)); }
  { ITembroFMODReverb3DPtr Borrowed(new TTembroFMODReverb3D(kReverb, TTembroFMODOwnership::Borrowed)); }
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_Reverb3D_Release(reverb3d=0x3e7)"}));
}

TEST(Reverb3DWrapper, PassThroughOperationsHandTheEngineTheirArgumentsAndReturnWhatItWrote) {
  FakeEngine Fake;
  auto& A = Fake.Actions;
  A.FMOD_Reverb3D_GetUserData = [](FMOD_REVERB3D*, void** O) { return *O = reinterpret_cast<void*>(0xbeef), FMOD_OK; };
  A.FMOD_Reverb3D_GetActive = [](FMOD_REVERB3D*, FMOD_BOOL* O) { return *O = 1, FMOD_OK; };
  A.FMOD_Reverb3D_GetProperties = [](FMOD_REVERB3D*, FMOD_REVERB_PROPERTIES* O) {
    return *O = FMOD_PRESET_CAVE, FMOD_OK;
  };
  A.FMOD_Reverb3D_Get3DAttributes = [](FMOD_REVERB3D*, FMOD_VECTOR* P, float* Min, float* Max) {
    *P = {1, 2, 3}, *Min = 5, *Max = 20;
    return FMOD_OK;
  };
  const FMOD_REVERB_PROPERTIES* PropertiesSeen = nullptr;
  A.FMOD_Reverb3D_SetProperties = [&](FMOD_REVERB3D*, const FMOD_REVERB_PROPERTIES* P) {
    PropertiesSeen = P;
    return FMOD_OK;
  };
  TPoint3D PositionSeen;
  A.FMOD_Reverb3D_Set3DAttributes = [&](FMOD_REVERB3D*, const FMOD_VECTOR* P, float, float) {
    PositionSeen = {P->x, P->y, P->z};
    return FMOD_OK;
  };

  struct Case {
    std::string Call;
    std::function<void(ITembroFMODReverb3D&)> Run;
  };
  const Case Cases[] = {
      {"FMOD_Reverb3D_GetUserData(reverb3d=0x3e7, userdata=&)",
       [](ITembroFMODReverb3D& R) { EXPECT_EQ(R.GetUserData(), reinterpret_cast<void*>(0xbeef)); }},
      {"FMOD_Reverb3D_SetUserData(reverb3d=0x3e7, userdata=0xfeed)",
       [](ITembroFMODReverb3D& R) { R.SetUserData(reinterpret_cast<void*>(0xfeed)); }},
      {"FMOD_Reverb3D_GetActive(reverb3d=0x3e7, active=&)", [](ITembroFMODReverb3D& R) { EXPECT_EQ(R.GetActive(), 1); }},
      {"FMOD_Reverb3D_SetActive(reverb3d=0x3e7, active=0)", [](ITembroFMODReverb3D& R) { R.SetActive(0); }},
      {"FMOD_Reverb3D_GetProperties(reverb3d=0x3e7, properties=&)",
       [](ITembroFMODReverb3D& R) {
         const FMOD_REVERB_PROPERTIES P = R.GetProperties();
         EXPECT_EQ(P.DecayTime, FMOD_PRESET_CAVE.DecayTime);
         EXPECT_EQ(P.WetLevel, FMOD_PRESET_CAVE.WetLevel);
       }},
      {"FMOD_Reverb3D_SetProperties(reverb3d=0x3e7, properties=&)",
       [&](ITembroFMODReverb3D& R) {
         const FMOD_REVERB_PROPERTIES Hall = FMOD_PRESET_CONCERTHALL;
         R.SetProperties(Hall);
         EXPECT_EQ(PropertiesSeen, &Hall);
       }},
      {"FMOD_Reverb3D_Get3DAttributes(reverb3d=0x3e7, position=&, mindistance=&, maxdistance=&)",
       [](ITembroFMODReverb3D& R) {
         EXPECT_EQ(R.Get3DAttributes(), (TTembroFMOD3DReverbAttributes{{1, 2, 3}, 5, 20}));
       }},
      {"FMOD_Reverb3D_Set3DAttributes(reverb3d=0x3e7, position=&, mindistance=2.5, maxdistance=40)",
       [&](ITembroFMODReverb3D& R) {
         R.Set3DAttributes({{-4, 0, 8}, 2.5f, 40});
         EXPECT_EQ(PositionSeen, (TPoint3D{-4, 0, 8}));
       }},
  };
  ITembroFMODReverb3DPtr Wrapper = Borrowed<TTembroFMODReverb3D>(kReverb);
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run(*Wrapper);
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call}));
  }

  FakeEngine::ActionTable Failing;
#define FMOD_ENTRY(name, params, args) Failing.name = [](auto...) { return FMOD_ERR_INVALID_HANDLE; };
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  Fake.Actions = Failing;
  for (const Case& C : Cases)
    EXPECT_EQ(RaisedText([&] { C.Run(*Wrapper); }), "An invalid object handle was used.") << C.Call;
}
