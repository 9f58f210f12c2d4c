#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeEngine.h"
#include "Tembro.Audio.FMOD.System.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using Strings = std::vector<std::string>;

namespace {

FMOD_SYSTEM* const kSystem = FakeHandle<FMOD_SYSTEM>(0x5151);

const std::string kCreate = "FMOD_System_Create(system=0x";  // the out-address varies
const std::string kGetVersion = "FMOD_System_GetVersion(system=0x5151, version=0x";
const std::string kInit = "FMOD_System_Init(system=0x5151, maxchannels=32, flags=4, extradriverdata=null)";
const std::string kClose = "FMOD_System_Close(system=0x5151)";
const std::string kRelease = "FMOD_System_Release(system=0x5151)";

// A fake engine whose system creation succeeds with kSystem and whose
// library reports AVersion.
void PrepareSystem(FakeEngine& AFake, unsigned AVersion) {
  AFake.Actions.FMOD_System_Create = [](FMOD_SYSTEM** ASystem) {
    *ASystem = kSystem;
    return FMOD_OK;
  };
  AFake.Actions.FMOD_System_GetVersion = [AVersion](FMOD_SYSTEM*, unsigned int* AOut) {
    *AOut = AVersion;
    return FMOD_OK;
  };
}

bool StartsWith(const std::string& AText, const std::string& APrefix) { return AText.rfind(APrefix, 0) == 0; }

std::vector<std::string> Messages;
void RecordMessage(const char* AMessage) noexcept { Messages.emplace_back(AMessage); }

}  // namespace

TEST(SystemWrapper, CreateChecksTheVersionThenInitialisesAndDestroyClosesThenReleases) {
  FakeEngine Fake;
  PrepareSystem(Fake, 0x00011008);
  {
    ITembroFMODSystemPtr System = TTembroFMODSystem::Create();
    ASSERT_EQ(Fake.Calls.size(), 3u);
    EXPECT_TRUE(StartsWith(Fake.Calls[0], kCreate));
    EXPECT_TRUE(StartsWith(Fake.Calls[1], kGetVersion));
    EXPECT_EQ(Fake.Calls[2], kInit);
    EXPECT_EQ(System->GetInternalHandle(), kSystem);
    EXPECT_EQ(System->GetSystemObject(), nullptr);
    Fake.Calls.clear();
  }
  EXPECT_EQ(Fake.Calls, (Strings{kClose, kRelease}));
}

TEST(SystemWrapper, AcceptsTheHeaderVersionAndNewerAndRefusesOlder) {
  struct Case {
    unsigned Version;
    const char* Error;  // null when accepted
  } const Cases[] = {
      {69640, nullptr},
      {131072, nullptr},
      {69639, "FMOD lib version 69639 doesn\u00b4t match header version 69640\", version"},
      {0, "FMOD lib version 0 doesn\u00b4t match header version 69640\", version"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    PrepareSystem(Fake, C.Version);
    if (C.Error == nullptr) {
      EXPECT_NO_THROW(TTembroFMODSystem::Create()) << C.Version;
      continue;
    }
    try {
      TTembroFMODSystem::Create();
      ADD_FAILURE() << C.Version << " was accepted";
    } catch (const std::runtime_error& E) {
      EXPECT_STREQ(E.what(), C.Error);
    }
    EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_Create", "FMOD_System_GetVersion"})) << C.Version;
  }
}

TEST(SystemWrapper, AFailureAtAnyStepRaisesTheEngineTextAndReleasesNothing) {
  using Setup = void (*)(FakeEngine&);
  struct Case {
    const char* Step;
    Setup Fail;
    Strings Calls;
  } const Cases[] = {
      {"create", [](FakeEngine& F) { F.Actions.FMOD_System_Create = [](FMOD_SYSTEM**) { return FMOD_ERR_MEMORY; }; },
       {"FMOD_System_Create"}},
      {"version",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetVersion = [](FMOD_SYSTEM*, unsigned int*) { return FMOD_ERR_MEMORY; };
       },
       {"FMOD_System_Create", "FMOD_System_GetVersion"}},
      {"init",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_Init = [](FMOD_SYSTEM*, int, FMOD_INITFLAGS, void*) { return FMOD_ERR_MEMORY; };
       },
       {"FMOD_System_Create", "FMOD_System_GetVersion", "FMOD_System_Init"}},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    PrepareSystem(Fake, 69640);
    C.Fail(Fake);
    try {
      TTembroFMODSystem::Create();
      ADD_FAILURE() << C.Step << " did not raise";
    } catch (const Lib::ETembroFMODError& E) {
      EXPECT_EQ(E.Code(), FMOD_ERR_MEMORY);
      EXPECT_STREQ(E.what(), "Not enough memory or resources.");
    }
    EXPECT_EQ(Fake.Names(), C.Calls) << C.Step;
  }
}

TEST(SystemWrapper, OperationsPassTheHandleAndReturnWhatTheEngineWrote) {
  FakeEngine Fake;
  Fake.Actions.FMOD_System_GetVersion = [](FMOD_SYSTEM*, unsigned int* AOut) {
    *AOut = 0x20000;
    return FMOD_OK;
  };
  Fake.Actions.FMOD_System_GetOutputHandle = [](FMOD_SYSTEM*, void** AOut) {
    *AOut = reinterpret_cast<void*>(0x77);
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem));
  EXPECT_EQ(System->GetVersion(), 0x20000u);
  EXPECT_EQ(System->GetOutputHandle(), reinterpret_cast<void*>(0x77));
  System->Update();
  EXPECT_EQ(Fake.Calls.back(), "FMOD_System_Update(system=0x5151)");
  Fake.Actions.FMOD_System_Update = [](FMOD_SYSTEM*) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_THROW(System->Update(), Lib::ETembroFMODError);
}

TEST(SystemWrapper, AFailedCloseIsReportedNotRaisedAndSkipsTheRelease) {
  FakeEngine Fake;
  Fake.Actions.FMOD_System_Close = [](FMOD_SYSTEM*) { return FMOD_ERR_INVALID_HANDLE; };
  Messages.clear();
  SetTembroFMODErrorSink(&RecordMessage);
  { ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem)); }
  SetTembroFMODErrorSink(nullptr);
  EXPECT_EQ(Fake.Calls, (Strings{kClose}));
  EXPECT_EQ(Messages, (Strings{"An invalid object handle was used."}));
}

TEST(SystemWrapper, AWrapperAroundNullMakesNoEngineCallWhenDestroyed) {
  FakeEngine Fake;
  { ITembroFMODSystemPtr System(new TTembroFMODSystem(nullptr)); }
  EXPECT_TRUE(Fake.Calls.empty());
}

TEST(SystemWrapper, ACallThroughAnEmptyEntryNamesTheEntryPoint) {
  ASSERT_FALSE(Lib::FMOD_System_Update);
  TTembroFMODSystem System(nullptr);
  try {
    System.Update();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& E) {
    EXPECT_NE(std::string(E.what()).find("FMOD_System_Update"), std::string::npos) << E.what();
  }
}
