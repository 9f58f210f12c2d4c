// The system wrapper's operations that make, find and play engine objects,
// against the recording fake: ownership of what they return, null
// arguments, and the hand-over to the sound and DSP wrappers.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Geometry.h"
#include "Tembro.Audio.FMOD.Reverb3D.h"
#include "Tembro.Audio.FMOD.Sound.h"
#include "Tembro.Audio.FMOD.SoundGroup.h"
#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;
using IInterfacePtr = TTembroFMODPtr<ITembroFMODInterface>;

namespace {

FMOD_SYSTEM* const kOtherSystem = FakeHandle<FMOD_SYSTEM>(0x6262);

ITembroFMODSystemPtr BorrowedSystem() { return Borrowed<TTembroFMODSystem>(kSystem); }

bool StartsWith(const std::string& AText, const std::string& APrefix) { return AText.rfind(APrefix, 0) == 0; }

// Every entry point answers ACode.
void FailEverything(FakeEngine& AFake, FMOD_RESULT ACode) {
#define FMOD_ENTRY(name, params, args) AFake.Actions.name = [ACode](auto&&...) { return ACode; };
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
}

// The sound, group and DSP of the play tests: borrowed, so that dropping them
// adds no calls, and held by an engine system other than the wrapper's.
struct PlayFixture {
  FakeEngine Fake;
  ITembroFMODSystemPtr System = BorrowedSystem();
  ITembroFMODSoundPtr Sound{new TTembroFMODSound(FakeHandle<FMOD_SOUND>(0xA0), TTembroFMODOwnership::Borrowed)};
  ITembroFMODDSPPtr DSP{new TTembroFMODDSP(FakeHandle<FMOD_DSP>(0xD0), TTembroFMODOwnership::Borrowed)};
  ITembroFMODChannelGroupPtr Group{
      new TTembroFMODChannelGroup(FakeHandle<FMOD_CHANNELGROUP>(0xB0), TTembroFMODOwnership::Borrowed)};

  PlayFixture() {
    Fake.Actions.FMOD_Sound_GetSystemObject = [](FMOD_SOUND*, FMOD_SYSTEM** A) { return *A = kOtherSystem, FMOD_OK; };
    Fake.Actions.FMOD_DSP_GetSystemObject = [](FMOD_DSP*, FMOD_SYSTEM** A) { return *A = kOtherSystem, FMOD_OK; };
    Fake.Actions.FMOD_System_PlaySound = [](FMOD_SYSTEM*, FMOD_SOUND*, FMOD_CHANNELGROUP*, FMOD_BOOL,
                                            FMOD_CHANNEL** A) {
      if (A != nullptr) *A = FakeHandle<FMOD_CHANNEL>(0xC0);
      return FMOD_OK;
    };
    Fake.Actions.FMOD_System_PlayDSP = [](FMOD_SYSTEM*, FMOD_DSP*, FMOD_CHANNELGROUP*, FMOD_BOOL, FMOD_CHANNEL** A) {
      if (A != nullptr) *A = FakeHandle<FMOD_CHANNEL>(0xC1);
      return FMOD_OK;
    };
  }
};

}  // namespace

// Each factory hands this system and its arguments to the created class,
// which makes the engine object; the new wrapper owns it.
TEST(SystemWrapperObjects, FactoriesCreateOwnedWrappersThroughTheCreatedClass) {
  static const FMOD_DSP_DESCRIPTION Description{};
  static const std::array<std::byte, 4> Bytes{std::byte{'R'}, std::byte{'I'}, std::byte{'F'}, std::byte{'F'}};
  static const char GeometryData[16] = {};
  struct Case {
    std::function<IInterfacePtr(ITembroFMODSystem&)> Make;
    std::string FirstCall;  // the beginning of the engine's creating call
    std::string Release;    // what dropping the wrapper makes
  } const Cases[] = {
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateSoundFromFile("drumloop-2.ogg", 0x80, nullptr); },
       "FMOD_System_CreateSound(system=0x5151, name_or_data=\"drumloop-2.ogg\", mode=128, exinfo=null, sound=0x",
       "FMOD_Sound_Release(sound=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr {
         return S.CreateSoundFromStream(std::span<const std::byte>(Bytes), 0x880, nullptr);
       },
       "FMOD_System_CreateStream(system=0x5151, ", "FMOD_Sound_Release(sound=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateDSP(&Description); },
       "FMOD_System_CreateDSP(system=0x5151, description=0x", "FMOD_DSP_Release(dsp=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateDSPByType(FMOD_DSP_TYPE_LOWPASS); },
       "FMOD_System_CreateDSPByType(system=0x5151, type=3, dsp=0x", "FMOD_DSP_Release(dsp=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateChannelGroup("music"); },
       "FMOD_System_CreateChannelGroup(system=0x5151, name=\"music\", channelgroup=0x",
       "FMOD_ChannelGroup_Release(channelgroup=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateSoundGroup("effects"); },
       "FMOD_System_CreateSoundGroup(system=0x5151, name=\"effects\", soundgroup=0x",
       "FMOD_SoundGroup_Release(soundgroup=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateReverb3D(); },
       "FMOD_System_CreateReverb3D(system=0x5151, reverb=0x", "FMOD_Reverb3D_Release(reverb3d=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.CreateGeometry(8, 32); },
       "FMOD_System_CreateGeometry(system=0x5151, maxpolygons=8, maxvertices=32, geometry=0x",
       "FMOD_Geometry_Release(geometry=0xa0)"},
      {[](ITembroFMODSystem& S) -> IInterfacePtr { return S.LoadGeometry(GeometryData, 16); },
       "FMOD_System_LoadGeometry(system=0x5151, data=0x", "FMOD_Geometry_Release(geometry=0xa0)"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_System_CreateSound = Fake.Actions.FMOD_System_CreateStream =
        [](FMOD_SYSTEM*, const char*, FMOD_MODE, FMOD_CREATESOUNDEXINFO*, FMOD_SOUND** A) {
          return *A = FakeHandle<FMOD_SOUND>(0xA0), FMOD_OK;
        };
    Fake.Actions.FMOD_System_CreateDSP = [](FMOD_SYSTEM*, const FMOD_DSP_DESCRIPTION*, FMOD_DSP** A) {
      return *A = FakeHandle<FMOD_DSP>(0xA0), FMOD_OK;
    };
    Fake.Actions.FMOD_System_CreateDSPByType = [](FMOD_SYSTEM*, FMOD_DSP_TYPE, FMOD_DSP** A) {
      return *A = FakeHandle<FMOD_DSP>(0xA0), FMOD_OK;
    };
    Fake.Actions.FMOD_System_CreateChannelGroup = [](FMOD_SYSTEM*, const char*, FMOD_CHANNELGROUP** A) {
      return *A = FakeHandle<FMOD_CHANNELGROUP>(0xA0), FMOD_OK;
    };
    Fake.Actions.FMOD_System_CreateSoundGroup = [](FMOD_SYSTEM*, const char*, FMOD_SOUNDGROUP** A) {
      return *A = FakeHandle<FMOD_SOUNDGROUP>(0xA0), FMOD_OK;
    };
    Fake.Actions.FMOD_System_CreateReverb3D = [](FMOD_SYSTEM*, FMOD_REVERB3D** A) {
      return *A = FakeHandle<FMOD_REVERB3D>(0xA0), FMOD_OK;
    };
    Fake.Actions.FMOD_System_CreateGeometry = [](FMOD_SYSTEM*, int, int, FMOD_GEOMETRY** A) {
      return *A = FakeHandle<FMOD_GEOMETRY>(0xA0), FMOD_OK;
    };
    Fake.Actions.FMOD_System_LoadGeometry = [](FMOD_SYSTEM*, const void*, int, FMOD_GEOMETRY** A) {
      return *A = FakeHandle<FMOD_GEOMETRY>(0xA0), FMOD_OK;
    };
    ITembroFMODSystemPtr System = BorrowedSystem();
    IInterfacePtr Made = C.Make(*System);
    ASSERT_TRUE(Made) << C.FirstCall;
    EXPECT_EQ(Made->GetInternalHandle(), reinterpret_cast<void*>(0xA0)) << C.FirstCall;
    ASSERT_FALSE(Fake.Calls.empty());
    EXPECT_TRUE(StartsWith(Fake.Calls[0], C.FirstCall)) << Fake.Calls[0];
    Fake.Calls.clear();
    Made.Reset();
    EXPECT_EQ(Fake.Calls, Strings{C.Release});
  }
}

TEST(SystemWrapperObjects, AFailingFactoryPassesTheErrorOnAndMakesNothing) {
  FakeEngine Fake;
  Fake.Actions.FMOD_System_CreateSound = [](FMOD_SYSTEM*, const char*, FMOD_MODE, FMOD_CREATESOUNDEXINFO*,
                                            FMOD_SOUND**) { return FMOD_ERR_FILE_NOTFOUND; };
  try {
    BorrowedSystem()->CreateSoundFromFile("missing.wav", 0, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const Lib::ETembroFMODError& E) {
    EXPECT_EQ(E.Code(), FMOD_ERR_FILE_NOTFOUND);
    EXPECT_STREQ(E.what(), "File not found.");
  }
  EXPECT_EQ(Fake.Names(), Strings{"FMOD_System_CreateSound"});
}

TEST(SystemWrapperObjects, TwoFactoryCallsMakeTwoEngineObjectsAndTwoWrappers) {
  FakeEngine Fake;
  std::uintptr_t Next = 0xA0;
  Fake.Actions.FMOD_System_CreateChannelGroup = [&](FMOD_SYSTEM*, const char*, FMOD_CHANNELGROUP** A) {
    return *A = FakeHandle<FMOD_CHANNELGROUP>(Next++), FMOD_OK;
  };
  ITembroFMODSystemPtr System = BorrowedSystem();
  ITembroFMODChannelGroupPtr First = System->CreateChannelGroup("bus");
  ITembroFMODChannelGroupPtr Second = System->CreateChannelGroup("bus");
  EXPECT_NE(First, Second);
  EXPECT_NE(First->GetInternalHandle(), Second->GetInternalHandle());
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_CreateChannelGroup", "FMOD_System_CreateChannelGroup"}));
}

// The master groups and channels belong to the engine system: their wrappers
// borrow them, every read makes a new wrapper, and a failed read makes none.
TEST(SystemWrapperObjects, QueriedObjectsAreNewBorrowedWrappersEveryTime) {
  struct Case {
    std::string Name;
    std::function<void(FakeEngine&, FMOD_RESULT)> Arrange;
    std::function<IInterfacePtr(ITembroFMODSystem&)> Read;
    std::string Call;
  } const Cases[] = {
      {"MasterChannelGroup",
       [](FakeEngine& F, FMOD_RESULT R) {
         F.Actions.FMOD_System_GetMasterChannelGroup = [R](FMOD_SYSTEM*, FMOD_CHANNELGROUP** A) {
           if (R == FMOD_OK) *A = FakeHandle<FMOD_CHANNELGROUP>(0xE0);
           return R;
         };
       },
       [](ITembroFMODSystem& S) -> IInterfacePtr { return S.GetMasterChannelGroup(); },
       "FMOD_System_GetMasterChannelGroup(system=0x5151, channelgroup=0x"},
      {"MasterSoundGroup",
       [](FakeEngine& F, FMOD_RESULT R) {
         F.Actions.FMOD_System_GetMasterSoundGroup = [R](FMOD_SYSTEM*, FMOD_SOUNDGROUP** A) {
           if (R == FMOD_OK) *A = FakeHandle<FMOD_SOUNDGROUP>(0xE0);
           return R;
         };
       },
       [](ITembroFMODSystem& S) -> IInterfacePtr { return S.GetMasterSoundGroup(); },
       "FMOD_System_GetMasterSoundGroup(system=0x5151, soundgroup=0x"},
      {"GetChannel",
       [](FakeEngine& F, FMOD_RESULT R) {
         F.Actions.FMOD_System_GetChannel = [R](FMOD_SYSTEM*, int, FMOD_CHANNEL** A) {
           if (R == FMOD_OK) *A = FakeHandle<FMOD_CHANNEL>(0xE0);
           return R;
         };
       },
       [](ITembroFMODSystem& S) -> IInterfacePtr { return S.GetChannel(7); },
       "FMOD_System_GetChannel(system=0x5151, channelid=7, channel=0x"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    C.Arrange(Fake, FMOD_OK);
    ITembroFMODSystemPtr System = BorrowedSystem();
    IInterfacePtr First = C.Read(*System);
    IInterfacePtr Second = C.Read(*System);
    ASSERT_EQ(Fake.Calls.size(), 2u) << C.Name;
    EXPECT_TRUE(StartsWith(Fake.Calls[0], C.Call)) << Fake.Calls[0];
    EXPECT_NE(First, Second) << C.Name;
    EXPECT_EQ(First->GetInternalHandle(), reinterpret_cast<void*>(0xE0)) << C.Name;
    EXPECT_EQ(Second->GetInternalHandle(), First->GetInternalHandle()) << C.Name;
    Fake.Calls.clear();
    First.Reset();
    Second.Reset();
    EXPECT_TRUE(Fake.Calls.empty()) << C.Name << " released the engine object: " << Fake.Calls.front();

    C.Arrange(Fake, FMOD_ERR_INVALID_HANDLE);
    EXPECT_THROW(C.Read(*System), Lib::ETembroFMODError) << C.Name;
    EXPECT_EQ(Fake.Calls.size(), 1u) << C.Name;  // the query, and no release of anything
  }
}

// A DSP that a plugin creates is handed over: the wrapper owns and releases
// it, and two calls give two units.
TEST(SystemWrapperObjects, CreateDSPByPluginOwnsTheNewUnit) {
  FakeEngine Fake;
  std::uintptr_t Next = 0xD0;
  Fake.Actions.FMOD_System_CreateDSPByPlugin = [&](FMOD_SYSTEM*, unsigned, FMOD_DSP** A) {
    return *A = FakeHandle<FMOD_DSP>(Next++), FMOD_OK;
  };
  ITembroFMODSystemPtr System = BorrowedSystem();
  {
    ITembroFMODDSPPtr First = System->CreateDSPByPlugin(5);
    ITembroFMODDSPPtr Second = System->CreateDSPByPlugin(5);
    EXPECT_EQ(Fake.Calls.at(0).rfind("FMOD_System_CreateDSPByPlugin(system=0x5151, handle=5, dsp=0x", 0), 0u);
    EXPECT_EQ(First->GetInternalHandle(), reinterpret_cast<void*>(0xD0));
    EXPECT_EQ(Second->GetInternalHandle(), reinterpret_cast<void*>(0xD1));
    Fake.Calls.clear();
  }
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_DSP_Release(dsp=0xd1)", "FMOD_DSP_Release(dsp=0xd0)"}));

  Fake.Calls.clear();
  Fake.Actions.FMOD_System_CreateDSPByPlugin = [](FMOD_SYSTEM*, unsigned, FMOD_DSP**) { return FMOD_ERR_PLUGIN; };
  EXPECT_THROW(System->CreateDSPByPlugin(5), Lib::ETembroFMODError);
  EXPECT_EQ(Fake.Names(), Strings{"FMOD_System_CreateDSPByPlugin"});
}

// The played object plays itself on the engine system that holds it, not on
// the one of the system wrapper that was asked.
TEST(SystemWrapperObjects, PlayingHandsTheCallToTheSoundOrDSP) {
  PlayFixture F;
  ITembroFMODChannelPtr Channel = F.System->PlaySoundWithChannel(F.Sound, nullptr, 0);
  ASSERT_TRUE(Channel);
  EXPECT_EQ(Channel->GetInternalHandle(), reinterpret_cast<void*>(0xC0));
  ASSERT_EQ(F.Fake.Calls.size(), 2u);
  EXPECT_TRUE(StartsWith(F.Fake.Calls[0], "FMOD_Sound_GetSystemObject(sound=0xa0, system=0x"));
  EXPECT_TRUE(StartsWith(F.Fake.Calls[1],
                         "FMOD_System_PlaySound(system=0x6262, sound=0xa0, channelgroup=null, paused=0, channel=0x"))
      << F.Fake.Calls[1];
  F.Fake.Calls.clear();
  Channel.Reset();  // the engine channel plays on
  EXPECT_TRUE(F.Fake.Calls.empty());

  F.System->PlaySound(F.Sound, F.Group, 1);
  EXPECT_EQ(F.Fake.Calls.back(), "FMOD_System_PlaySound(system=0x6262, sound=0xa0, channelgroup=0xb0, paused=1, channel=null)");

  F.System->PlayDSP(F.DSP, F.Group, 0);
  EXPECT_EQ(F.Fake.Calls.back(), "FMOD_System_PlayDSP(system=0x6262, dsp=0xd0, channelgroup=0xb0, paused=0, channel=null)");
  Channel = F.System->PlayDSPWithChannel(F.DSP, nullptr, 1);
  ASSERT_TRUE(Channel);
  EXPECT_EQ(Channel->GetInternalHandle(), reinterpret_cast<void*>(0xC1));
  EXPECT_TRUE(StartsWith(F.Fake.Calls.back(), "FMOD_System_PlayDSP(system=0x6262, dsp=0xd0, channelgroup=null, paused=1, channel=0x"));
}

// A null object to play, attach or record into makes no engine call and
// raises nothing.
TEST(SystemWrapperObjects, NullObjectsToPlayPortOrRecordDoNothing) {
  PlayFixture F;
  F.System->PlaySound(nullptr, F.Group, 0);
  EXPECT_FALSE(F.System->PlaySoundWithChannel(nullptr, F.Group, 0));
  F.System->PlayDSP(nullptr, F.Group, 0);
  EXPECT_FALSE(F.System->PlayDSPWithChannel(nullptr, F.Group, 0));
  F.System->AttachChannelGroupToPort(FMOD_PORT_TYPE_MUSIC, 0, nullptr, 1);
  F.System->DetachChannelGroupFromPort(nullptr);
  F.System->RecordStart(0, nullptr, 1);
  EXPECT_TRUE(F.Fake.Calls.empty()) << F.Fake.Calls.front();
}

TEST(SystemWrapperObjects, PortsAndRecordingPassTheObjectsHandles) {
  PlayFixture F;
  F.System->AttachChannelGroupToPort(FMOD_PORT_TYPE_VOICE, 0x1234567890ULL, F.Group, 1);
  F.System->DetachChannelGroupFromPort(F.Group);
  F.System->RecordStart(1, F.Sound, 1);
  EXPECT_EQ(F.Fake.Calls, (Strings{
                              "FMOD_System_AttachChannelGroupToPort(system=0x5151, portType=2, "
                              "portIndex=78187493520, channelgroup=0xb0, passThru=1)",
                              "FMOD_System_DetachChannelGroupFromPort(system=0x5151, channelgroup=0xb0)",
                              "FMOD_System_RecordStart(system=0x5151, id=1, sound=0xa0, loop=1)",
                          }));
}

TEST(SystemWrapperObjects, LockAndSuspendReachTheEngineExactlyAsMade) {
  FakeEngine Fake;
  ITembroFMODSystemPtr System = BorrowedSystem();
  System->LockDSP();
  System->LockDSP();
  System->UnlockDSP();
  System->MixerSuspend();
  System->MixerResume();
  System->MixerResume();
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_LockDSP", "FMOD_System_LockDSP", "FMOD_System_UnlockDSP",
                                   "FMOD_System_MixerSuspend", "FMOD_System_MixerResume", "FMOD_System_MixerResume"}));
}

// Every operation that calls the engine raises the engine's error, from the
// entry point of its slot.
TEST(SystemWrapperObjects, EveryEngineFailureIsRaised) {
  static const FMOD_DSP_DESCRIPTION Description{};
  struct Case {
    const char* EntryPoint;
    std::function<void(PlayFixture&)> Call;
  } const Cases[] = {
      {"FMOD_System_GetVersion", [](PlayFixture& F) { F.System->GetVersion(); }},
      {"FMOD_System_GetOutputHandle", [](PlayFixture& F) { F.System->GetOutputHandle(); }},
      {"FMOD_System_GetMasterChannelGroup", [](PlayFixture& F) { F.System->GetMasterChannelGroup(); }},
      {"FMOD_System_GetMasterSoundGroup", [](PlayFixture& F) { F.System->GetMasterSoundGroup(); }},
      {"FMOD_System_GetChannelsPlaying", [](PlayFixture& F) { F.System->GetChannelsPlaying(); }},
      {"FMOD_System_GetCPUUsage", [](PlayFixture& F) { F.System->GetCPUUsage(); }},
      {"FMOD_System_GetFileUsage", [](PlayFixture& F) { F.System->GetFileUsgae(); }},
      {"FMOD_System_GetSoundRAM", [](PlayFixture& F) { F.System->GetSoundRAM(); }},
      {"FMOD_System_GetNumDrivers", [](PlayFixture& F) { F.System->GetNumDrivers(); }},
      {"FMOD_System_GetOutput", [](PlayFixture& F) { F.System->GetOutput(); }},
      {"FMOD_System_SetOutput", [](PlayFixture& F) { F.System->SetOutput(FMOD_OUTPUTTYPE_NOSOUND); }},
      {"FMOD_System_GetDriver", [](PlayFixture& F) { F.System->GetDriver(); }},
      {"FMOD_System_SetDriver", [](PlayFixture& F) { F.System->SetDriver(0); }},
      {"FMOD_System_GetSoftwareChannels", [](PlayFixture& F) { F.System->GetSoftwareChannels(); }},
      {"FMOD_System_SetSoftwareChannels", [](PlayFixture& F) { F.System->SetSoftwareChannels(1); }},
      {"FMOD_System_GetSoftwareFormat", [](PlayFixture& F) { F.System->GetSoftwareFormat(); }},
      {"FMOD_System_SetSoftwareFormat", [](PlayFixture& F) { F.System->SetSoftwareFormat({}); }},
      {"FMOD_System_GetDSPBufferSize", [](PlayFixture& F) { F.System->GetDSPBufferSize(); }},
      {"FMOD_System_SetDSPBufferSize", [](PlayFixture& F) { F.System->SetDSPBufferSize({}); }},
      {"FMOD_System_GetAdvancedSettings", [](PlayFixture& F) { F.System->GetAdvancedSettings(); }},
      {"FMOD_System_SetAdvancedSettings", [](PlayFixture& F) { F.System->SetAdvancedSettings({}); }},
      {"FMOD_System_GetOutputByPlugin", [](PlayFixture& F) { F.System->GetOutputByPlugin(); }},
      {"FMOD_System_SetOutputByPlugin", [](PlayFixture& F) { F.System->SetOutputByPlugin(1); }},
      {"FMOD_System_GetStreamBufferSize", [](PlayFixture& F) { F.System->GetStreamBufferSize(); }},
      {"FMOD_System_SetStreamBufferSize", [](PlayFixture& F) { F.System->SetStreamBufferSize({}); }},
      {"FMOD_System_Get3DSettings", [](PlayFixture& F) { F.System->Get3DSettings(); }},
      {"FMOD_System_Set3DSettings", [](PlayFixture& F) { F.System->Set3DSettings({}); }},
      {"FMOD_System_Get3DNumListeners", [](PlayFixture& F) { F.System->Get3DNumListeners(); }},
      {"FMOD_System_Set3DNumListeners", [](PlayFixture& F) { F.System->Set3DNumListeners(1); }},
      {"FMOD_System_GetUserData", [](PlayFixture& F) { F.System->GetUserData(); }},
      {"FMOD_System_SetUserData", [](PlayFixture& F) { F.System->SetUserData(nullptr); }},
      {"FMOD_System_GetRecordNumDrivers", [](PlayFixture& F) { F.System->GetRecordNumDrivers(); }},
      {"FMOD_System_GetGeometrySettings", [](PlayFixture& F) { F.System->GetGeometrySettings(); }},
      {"FMOD_System_SetGeometrySettings", [](PlayFixture& F) { F.System->SetGeometrySettings(1); }},
      {"FMOD_System_GetNetworkProxy", [](PlayFixture& F) { F.System->GetNetworkProxy(); }},
      {"FMOD_System_SetNetworkProxy", [](PlayFixture& F) { F.System->SetNetworkProxy("p"); }},
      {"FMOD_System_GetNetworkTimeout", [](PlayFixture& F) { F.System->GetNetworkTimeout(); }},
      {"FMOD_System_SetNetworkTimeout", [](PlayFixture& F) { F.System->SetNetworkTimeout(1); }},
      {"FMOD_System_Update", [](PlayFixture& F) { F.System->Update(); }},
      {"FMOD_System_GetDriverInfo", [](PlayFixture& F) { std::string N; F.System->GetDriverInfo(0, N); }},
      {"FMOD_System_SetPluginPath", [](PlayFixture& F) { F.System->SetPluginPath("p"); }},
      {"FMOD_System_LoadPlugin", [](PlayFixture& F) { F.System->LoadPlugin("p", 0); }},
      {"FMOD_System_UnloadPlugin", [](PlayFixture& F) { F.System->UnloadPlugin(1); }},
      {"FMOD_System_GetNumNestedPlugins", [](PlayFixture& F) { F.System->GetNestedPlugins(1); }},
      {"FMOD_System_GetNestedPlugin", [](PlayFixture& F) { F.System->GetNestedPlugin(1, 0); }},
      {"FMOD_System_GetNumPlugins", [](PlayFixture& F) { F.System->GetNumPlugins(FMOD_PLUGINTYPE_DSP); }},
      {"FMOD_System_GetPluginHandle", [](PlayFixture& F) { F.System->GetPluginHandle(FMOD_PLUGINTYPE_DSP, 0); }},
      {"FMOD_System_GetPluginInfo", [](PlayFixture& F) { std::string N; F.System->GetPluginInfo(1, N); }},
      {"FMOD_System_CreateDSPByPlugin", [](PlayFixture& F) { F.System->CreateDSPByPlugin(1); }},
      {"FMOD_System_GetDSPInfoByPlugin", [](PlayFixture& F) { F.System->GetDSPInfoByPlugin(1); }},
      {"FMOD_System_RegisterCodec", [](PlayFixture& F) { F.System->RegisterCodec({}, 0); }},
      {"FMOD_System_RegisterDSP", [](PlayFixture& F) { F.System->RegisterDSP({}); }},
      {"FMOD_System_RegisterOutput", [](PlayFixture& F) { F.System->RegisterOutput({}); }},
      {"FMOD_System_GetSpeakerPosition", [](PlayFixture& F) { F.System->GetSpeakerPosition(FMOD_SPEAKER_FRONT_LEFT); }},
      {"FMOD_System_SetSpeakerPosition", [](PlayFixture& F) { F.System->SetSpeakerPosition(FMOD_SPEAKER_FRONT_LEFT, {}); }},
      {"FMOD_System_Get3DListenerAttributes", [](PlayFixture& F) { F.System->Get3DListenerAttributes(0); }},
      {"FMOD_System_Set3DListenerAttributes", [](PlayFixture& F) { F.System->Set3DListenerAttributes(0, {}); }},
      {"FMOD_System_Set3DRolloffCallback", [](PlayFixture& F) { F.System->Set3DRolloffCallback(nullptr); }},
      {"FMOD_System_MixerSuspend", [](PlayFixture& F) { F.System->MixerSuspend(); }},
      {"FMOD_System_MixerResume", [](PlayFixture& F) { F.System->MixerResume(); }},
      {"FMOD_System_GetDefaultMixMatrix",
       [](PlayFixture& F) {
         float M[4];
         F.System->GetDefaultMixMatrix(FMOD_SPEAKERMODE_MONO, FMOD_SPEAKERMODE_STEREO, 1, M);
       }},
      {"FMOD_System_GetSpeakerModeChannels", [](PlayFixture& F) { F.System->GetSpeakerModeChannels(FMOD_SPEAKERMODE_MONO); }},
      {"FMOD_System_CreateSound", [](PlayFixture& F) { F.System->CreateSoundFromFile("a.wav", 0, nullptr); }},
      {"FMOD_System_CreateStream",
       [](PlayFixture& F) {
         static const std::byte Data[4] = {};
         F.System->CreateSoundFromStream(Data, 0x880, nullptr);
       }},
      {"FMOD_System_CreateDSP", [](PlayFixture& F) { F.System->CreateDSP(&Description); }},
      {"FMOD_System_CreateDSPByType", [](PlayFixture& F) { F.System->CreateDSPByType(FMOD_DSP_TYPE_MIXER); }},
      {"FMOD_System_CreateChannelGroup", [](PlayFixture& F) { F.System->CreateChannelGroup("g"); }},
      {"FMOD_System_CreateSoundGroup", [](PlayFixture& F) { F.System->CreateSoundGroup("g"); }},
      {"FMOD_System_CreateReverb3D", [](PlayFixture& F) { F.System->CreateReverb3D(); }},
      {"FMOD_Sound_GetSystemObject", [](PlayFixture& F) { F.System->PlaySound(F.Sound, nullptr, 0); }},
      {"FMOD_Sound_GetSystemObject", [](PlayFixture& F) { F.System->PlaySoundWithChannel(F.Sound, nullptr, 0); }},
      {"FMOD_DSP_GetSystemObject", [](PlayFixture& F) { F.System->PlayDSP(F.DSP, nullptr, 0); }},
      {"FMOD_DSP_GetSystemObject", [](PlayFixture& F) { F.System->PlayDSPWithChannel(F.DSP, nullptr, 0); }},
      {"FMOD_System_GetChannel", [](PlayFixture& F) { F.System->GetChannel(0); }},
      {"FMOD_System_AttachChannelGroupToPort",
       [](PlayFixture& F) { F.System->AttachChannelGroupToPort(FMOD_PORT_TYPE_AUX, 0, F.Group, 0); }},
      {"FMOD_System_DetachChannelGroupFromPort", [](PlayFixture& F) { F.System->DetachChannelGroupFromPort(F.Group); }},
      {"FMOD_System_SetReverbProperties", [](PlayFixture& F) { F.System->SetReverbProperties(0, {}); }},
      {"FMOD_System_GetReverbProperties", [](PlayFixture& F) { F.System->GetReverbProperties(0); }},
      {"FMOD_System_LockDSP", [](PlayFixture& F) { F.System->LockDSP(); }},
      {"FMOD_System_UnlockDSP", [](PlayFixture& F) { F.System->UnlockDSP(); }},
      {"FMOD_System_GetRecordDriverInfo", [](PlayFixture& F) { std::string N; F.System->GetRecordDriverInfo(0, N); }},
      {"FMOD_System_GetRecordPosition", [](PlayFixture& F) { F.System->GetRecordPosition(0); }},
      {"FMOD_System_RecordStart", [](PlayFixture& F) { F.System->RecordStart(0, F.Sound, 0); }},
      {"FMOD_System_RecordStop", [](PlayFixture& F) { F.System->RecordStop(0); }},
      {"FMOD_System_IsRecording", [](PlayFixture& F) { F.System->IsRecording(0); }},
      {"FMOD_System_CreateGeometry", [](PlayFixture& F) { F.System->CreateGeometry(1, 3); }},
      {"FMOD_System_LoadGeometry", [](PlayFixture& F) { F.System->LoadGeometry("x", 1); }},
      {"FMOD_System_GetGeometryOcclusion", [](PlayFixture& F) { F.System->GetGeometryOcclusion({}, {}); }},
  };
  for (const Case& C : Cases) {
    PlayFixture F;
    FailEverything(F.Fake, FMOD_ERR_INVALID_HANDLE);
    try {
      C.Call(F);
      ADD_FAILURE() << C.EntryPoint << ": no error";
    } catch (const Lib::ETembroFMODError& E) {
      EXPECT_EQ(E.Code(), FMOD_ERR_INVALID_HANDLE) << C.EntryPoint;
    }
    EXPECT_EQ(F.Fake.Names(), Strings{C.EntryPoint});
  }
}

TEST(SystemWrapperObjects, ABorrowedSystemWrapperNeitherClosesNorReleases) {
  FakeEngine Fake;
  { ITembroFMODSystemPtr System = BorrowedSystem(); }
  EXPECT_TRUE(Fake.Calls.empty());
}
