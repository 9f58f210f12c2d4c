#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Sound.h"
#include "Tembro.Audio.FMOD.SoundGroup.h"
#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;

namespace {

FMOD_SOUNDGROUP* const kGroup = FakeHandle<FMOD_SOUNDGROUP>(0x60);
FMOD_SOUNDGROUP* const kMasterGroup = FakeHandle<FMOD_SOUNDGROUP>(0x61);
FMOD_SOUND* const kSound = FakeHandle<FMOD_SOUND>(0x50);

ITembroFMODSoundGroupPtr BorrowedGroup() {
  return Borrowed<TTembroFMODSoundGroup>(kGroup);
}

void PrepareCreation(FakeEngine& AFake) {
  AFake.Actions.FMOD_System_CreateSoundGroup = [](FMOD_SYSTEM*, const char*, FMOD_SOUNDGROUP** AOut) {
    *AOut = kGroup;
    return FMOD_OK;
  };
  AFake.Actions.FMOD_System_GetMasterSoundGroup = [](FMOD_SYSTEM*, FMOD_SOUNDGROUP** AOut) {
    *AOut = kMasterGroup;
    return FMOD_OK;
  };
}

}  // namespace

TEST(SoundGroupWrapper, CreateMakesANamedGroupThatTheWrapperOwns) {
  FakeEngine Fake;
  PrepareCreation(Fake);
  ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem));
  {
    ITembroFMODSoundGroupPtr Group = TTembroFMODSoundGroup::Create(System, "effects \xc3\xa9");
    EXPECT_EQ(Group->GetInternalHandle(), kGroup);
    EXPECT_EQ(Normalised(Fake.Calls),
              (Strings{"FMOD_System_CreateSoundGroup(system=0x5151, name=\"effects \xc3\xa9\", soundgroup=&)"}));
    Fake.Calls.clear();
  }
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_SoundGroup_Release(soundgroup=0x60)"}));

  Fake.Actions.FMOD_System_CreateSoundGroup = [](FMOD_SYSTEM*, const char*, FMOD_SOUNDGROUP**) {
    return FMOD_ERR_MEMORY;
  };
  Fake.Calls.clear();
  EXPECT_EQ(RaisedText([&] { TTembroFMODSoundGroup::Create(System, "x"); }), "Not enough memory or resources.");
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_CreateSoundGroup"}));
}

TEST(SoundGroupWrapper, TheMasterGroupIsANewBorrowingWrapperOnEveryCall) {
  FakeEngine Fake;
  PrepareCreation(Fake);
  ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem));
  {
    ITembroFMODSoundGroupPtr First = TTembroFMODSoundGroup::GetMasterSoundGroup(System);
    ITembroFMODSoundGroupPtr Second = TTembroFMODSoundGroup::GetMasterSoundGroup(System);
    EXPECT_NE(First.Get(), Second.Get());
    EXPECT_EQ(First->GetInternalHandle(), kMasterGroup);
    EXPECT_EQ(Second->GetInternalHandle(), kMasterGroup);
  }
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_System_GetMasterSoundGroup(system=0x5151, soundgroup=&)",
                     "FMOD_System_GetMasterSoundGroup(system=0x5151, soundgroup=&)"}))
      << "dropping the master group's wrappers releases nothing";
}

TEST(SoundGroupWrapper, ClassLevelOperationsRefuseANullSystem) {
  FakeEngine Fake;
  EXPECT_EQ(RaisedText([] { TTembroFMODSoundGroup::Create(nullptr, "effects"); }), "Create: ASystem is null");
  EXPECT_EQ(RaisedText([] { TTembroFMODSoundGroup::GetMasterSoundGroup(nullptr); }),
            "GetMasterSoundGroup: ASystem is null");
  EXPECT_TRUE(Fake.Calls.empty());
}

TEST(SoundGroupWrapper, DestructorReleasesOnlyAnOwnedNonNullGroupAndIgnoresTheResult) {
  struct Case {
    FMOD_SOUNDGROUP* Handle;
    TTembroFMODOwnership Ownership;
    Strings Calls;
  } const Cases[] = {
      {kGroup, TTembroFMODOwnership::Owned, {"FMOD_SoundGroup_Release(soundgroup=0x60)"}},
      {kGroup, TTembroFMODOwnership::Borrowed, {}},
      {nullptr, TTembroFMODOwnership::Owned, {}},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_SoundGroup_Release = [](FMOD_SOUNDGROUP*) { return FMOD_ERR_INVALID_HANDLE; };
    EXPECT_NO_THROW(ITembroFMODSoundGroupPtr(new TTembroFMODSoundGroup(C.Handle, C.Ownership)).Reset());
    EXPECT_EQ(Fake.Calls, C.Calls);
  }
}

TEST(SoundGroupWrapper, WritesPassTheirValueAfterTheHandle) {
  FakeEngine Fake;
  ITembroFMODSoundGroupPtr Group = BorrowedGroup();
  struct Case {
    std::function<void()> Run;
    std::string Call;
  } const Cases[] = {
      {[&] { Group->SetMaxAudible(4); }, "FMOD_SoundGroup_SetMaxAudible(soundgroup=0x60, maxaudible=4)"},
      {[&] { Group->SetMaxAudibleBehavior(FMOD_SOUNDGROUP_BEHAVIOR_STEALLOWEST); },
       "FMOD_SoundGroup_SetMaxAudibleBehavior(soundgroup=0x60, behavior=2)"},
      {[&] { Group->SetMuteFadeSpeed(0.5f); }, "FMOD_SoundGroup_SetMuteFadeSpeed(soundgroup=0x60, speed=0.5)"},
      {[&] { Group->SetVolume(0.25f); }, "FMOD_SoundGroup_SetVolume(soundgroup=0x60, volume=0.25)"},
      {[&] { Group->SetUserData(reinterpret_cast<void*>(0x99)); },
       "FMOD_SoundGroup_SetUserData(soundgroup=0x60, userdata=0x99)"},
      {[&] { Group->Stop(); }, "FMOD_SoundGroup_Stop(soundgroup=0x60)"},
  };
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run();
    EXPECT_EQ(Fake.Calls, (Strings{C.Call}));
  }
}

TEST(SoundGroupWrapper, ReadsReturnWhatTheEngineWroteAndFailuresRaiseItsText) {
  FakeEngine Fake;
  auto& A = Fake.Actions;
  A.FMOD_SoundGroup_GetSystemObject = [](FMOD_SOUNDGROUP*, FMOD_SYSTEM** S) { return *S = kSystem, FMOD_OK; };
  A.FMOD_SoundGroup_GetMaxAudible = [](FMOD_SOUNDGROUP*, int* V) { return *V = 6, FMOD_OK; };
  A.FMOD_SoundGroup_GetMaxAudibleBehavior = [](FMOD_SOUNDGROUP*, FMOD_SOUNDGROUP_BEHAVIOR* V) {
    return *V = FMOD_SOUNDGROUP_BEHAVIOR_MUTE, FMOD_OK;
  };
  A.FMOD_SoundGroup_GetMuteFadeSpeed = [](FMOD_SOUNDGROUP*, float* V) { return *V = 1.5f, FMOD_OK; };
  A.FMOD_SoundGroup_GetVolume = [](FMOD_SOUNDGROUP*, float* V) { return *V = 0.8f, FMOD_OK; };
  A.FMOD_SoundGroup_GetNumSounds = [](FMOD_SOUNDGROUP*, int* V) { return *V = 3, FMOD_OK; };
  A.FMOD_SoundGroup_GetNumPlaying = [](FMOD_SOUNDGROUP*, int* V) { return *V = 2, FMOD_OK; };
  A.FMOD_SoundGroup_GetUserData = [](FMOD_SOUNDGROUP*, void** V) {
    return *V = reinterpret_cast<void*>(0x77), FMOD_OK;
  };
  ITembroFMODSoundGroupPtr Group = BorrowedGroup();
  EXPECT_EQ(Group->GetSystemObject(), kSystem);
  EXPECT_EQ(Group->GetMaxAudible(), 6);
  EXPECT_EQ(Group->GetMaxAudibleBehavior(), FMOD_SOUNDGROUP_BEHAVIOR_MUTE);
  EXPECT_EQ(Group->GetMuteFadeSpeed(), 1.5f);
  EXPECT_EQ(Group->GetVolume(), 0.8f);
  EXPECT_EQ(Group->GetNumSounds(), 3);
  EXPECT_EQ(Group->GetNumPlaying(), 2);
  EXPECT_EQ(Group->GetUserData(), reinterpret_cast<void*>(0x77));
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_SoundGroup_GetSystemObject(soundgroup=0x60, system=&)",
                     "FMOD_SoundGroup_GetMaxAudible(soundgroup=0x60, maxaudible=&)",
                     "FMOD_SoundGroup_GetMaxAudibleBehavior(soundgroup=0x60, behavior=&)",
                     "FMOD_SoundGroup_GetMuteFadeSpeed(soundgroup=0x60, speed=&)",
                     "FMOD_SoundGroup_GetVolume(soundgroup=0x60, volume=&)",
                     "FMOD_SoundGroup_GetNumSounds(soundgroup=0x60, numsounds=&)",
                     "FMOD_SoundGroup_GetNumPlaying(soundgroup=0x60, numplaying=&)",
                     "FMOD_SoundGroup_GetUserData(soundgroup=0x60, userdata=&)"}));

  A.FMOD_SoundGroup_GetVolume = [](FMOD_SOUNDGROUP*, float*) { return FMOD_ERR_INVALID_HANDLE; };
  A.FMOD_SoundGroup_SetMaxAudible = [](FMOD_SOUNDGROUP*, int) { return FMOD_ERR_INVALID_PARAM; };
  EXPECT_EQ(RaisedText([&] { Group->GetVolume(); }), "An invalid object handle was used.");
  EXPECT_EQ(RaisedText([&] { Group->SetMaxAudible(-2); }), "An invalid parameter was passed to this function.");
}

TEST(SoundGroupWrapper, NameReadsAZeroFilled512ByteBufferAndTrimsBothEnds) {
  struct Case {
    std::string Written;
    std::string Name;
  } const Cases[] = {
      {"effects", "effects"},
      {"\t master group \n", "master group"},
      {std::string(512, 'g'), std::string(512, 'g')},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    bool ZeroFilled = true;
    Fake.Actions.FMOD_SoundGroup_GetName = [&](FMOD_SOUNDGROUP*, char* ABuffer, int ALength) {
      for (int I = 0; I < ALength; ++I) ZeroFilled = ZeroFilled && ABuffer[I] == '\0';
      std::memcpy(ABuffer, C.Written.data(), C.Written.size());
      return FMOD_OK;
    };
    EXPECT_EQ(BorrowedGroup()->GetName(), C.Name);
    EXPECT_TRUE(ZeroFilled);
    EXPECT_NE(Fake.Calls.at(0).find(", namelen=512)"), std::string::npos) << Fake.Calls.at(0);
  }
}

TEST(SoundGroupWrapper, GetSoundGivesABorrowingSoundWrapperThroughTheBaseInterface) {
  FakeEngine Fake;
  Fake.Actions.FMOD_SoundGroup_GetSound = [](FMOD_SOUNDGROUP*, int, FMOD_SOUND** AOut) {
    *AOut = kSound;
    return FMOD_OK;
  };
  ITembroFMODSoundGroupPtr Group = BorrowedGroup();
  {
    TTembroFMODPtr<ITembroFMODInterface> First = Group->GetSound(1);
    TTembroFMODPtr<ITembroFMODInterface> Second = Group->GetSound(1);
    EXPECT_NE(First.Get(), Second.Get());
    EXPECT_EQ(Second->GetInternalHandle(), kSound);
    ITembroFMODSoundPtr Sound = First.TryQuery<ITembroFMODSound>();
    ASSERT_TRUE(Sound);
    EXPECT_EQ(Sound->GetInternalHandle(), kSound);
    Sound->SetLoopCount(2);  // it acts on the engine sound
  }
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_SoundGroup_GetSound(soundgroup=0x60, index=1, sound=&)",
                                             "FMOD_SoundGroup_GetSound(soundgroup=0x60, index=1, sound=&)",
                                             "FMOD_Sound_SetLoopCount(sound=0x50, loopcount=2)"}))
      << "dropping the sound wrappers releases nothing";
}
