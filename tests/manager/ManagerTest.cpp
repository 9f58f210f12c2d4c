// The audio manager against our real engine, loaded through the binding from
// the test binary's folder, where the build also puts the three demo sounds.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.h"

namespace Lib = Tembro::Audio::FMOD::Lib;
using namespace Tembro::Audio::FMOD;

namespace {

std::string Media(const char* AName) { return (Lib::Detail::ExecutableFolder() / AName).string(); }

std::vector<std::byte> ReadBytes(const std::string& APath) {
  std::ifstream In(APath, std::ios::binary);
  std::vector<char> Chars{std::istreambuf_iterator<char>(In), {}};
  std::vector<std::byte> Bytes(Chars.size());
  std::memcpy(Bytes.data(), Chars.data(), Chars.size());
  return Bytes;
}

// Whether the engine's logging build is loaded in this process.
bool EngineLoaded() {
  const std::string Path = (Lib::Detail::ExecutableFolder() / Lib::FMOD_LOGGING_LIBRARY).string();
  void* Handle = ::dlopen(Path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (Handle != nullptr) ::dlclose(Handle);  // NOLOAD still counts a reference
  return Handle != nullptr;
}

// Whether an engine handle still stands for a live object.
bool SoundAlive(void* AHandle) {
  unsigned int Length = 0;
  return Lib::FMOD_Sound_GetLength(static_cast<FMOD_SOUND*>(AHandle), &Length, FMOD_TIMEUNIT_MS) == FMOD_OK;
}
bool GroupAlive(void* AHandle) {
  int Channels = 0;
  return Lib::FMOD_ChannelGroup_GetNumChannels(static_cast<FMOD_CHANNELGROUP*>(AHandle), &Channels) == FMOD_OK;
}

class ManagerTest : public ::testing::Test {
protected:
  void LoadTheThree() {
    for (const char* Name : {"drumloop-2.ogg", "explosion.mp3", "jaguar.wav"}) Manager->LoadSoundFromFile(Media(Name));
  }

  std::unique_ptr<TTembroSonvelManager> Manager = std::make_unique<TTembroSonvelManager>();
};

}  // namespace

TEST_F(ManagerTest, ConstructionLoadsTheLoggingBuildAndCreatesTheSystem) {
  EXPECT_TRUE(EngineLoaded());
  ASSERT_TRUE(Manager->GetSystemObject());
  EXPECT_GE(Manager->GetSystemObject()->GetVersion(), 0x00011008u);
  EXPECT_NO_THROW(Manager->Update());
  Manager.reset();
  EXPECT_FALSE(EngineLoaded());
}

// The engine's API trace, caught through its debug callback, shows the order
// in which the destructor ends things.
namespace {
std::mutex TraceMutex;
std::vector<std::string> Trace;
FMOD_RESULT F_CALLBACK CatchTrace(FMOD_DEBUG_FLAGS, const char*, int, const char*, const char* AMessage) {
  std::lock_guard<std::mutex> Guard(TraceMutex);
  Trace.emplace_back(AMessage != nullptr ? AMessage : "");
  return FMOD_OK;
}
}  // namespace

TEST_F(ManagerTest, DestructionEndsGroupsThenSoundsThenTheSystemThenUnloadsTheEngine) {
  LoadTheThree();
  Manager->AddChannelGroup("effects");
  ASSERT_EQ(Lib::FMOD_Debug_Initialize(Lib::FMOD_LOG_FLAGS, FMOD_DEBUG_MODE_CALLBACK, CatchTrace, nullptr), FMOD_OK);
  Trace.clear();
  Manager.reset();
  EXPECT_FALSE(EngineLoaded());

  std::vector<std::string> Calls;
  for (const std::string& Line : Trace)
    for (const char* Name : {"FMOD_ChannelGroup_Release(", "FMOD_Sound_Release(", "FMOD_System_Close(",
                             "FMOD_System_Release("})
      if (Line.find(Name) != std::string::npos) Calls.emplace_back(Name);
  const std::vector<std::string> Expected{"FMOD_ChannelGroup_Release(", "FMOD_Sound_Release(", "FMOD_Sound_Release(",
                                          "FMOD_Sound_Release(", "FMOD_System_Close(", "FMOD_System_Release("};
  EXPECT_EQ(Calls, Expected);
}

TEST_F(ManagerTest, IndicesOutsideTheListGiveNullAndPlayNothing) {
  LoadTheThree();
  for (int Index : {-1, 3, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(Index);
    EXPECT_FALSE(Manager->GetSound(Index));
    EXPECT_FALSE(Manager->PlaySound(Index, nullptr, false));
  }
  Manager->Update();
  EXPECT_EQ(Manager->IsPlaying(), 0);
  for (int Index : {0, 1, 2}) EXPECT_TRUE(Manager->GetSound(Index)) << Index;
}

TEST_F(ManagerTest, TheThreeLoadsListTheirSoundsInOrder) {
  // The memory form reads the caller's bytes in place, so they outlive the
  // manager here.
  const std::vector<std::byte> Growl = ReadBytes(Media("jaguar.wav"));
  auto Local = std::make_unique<TTembroSonvelManager>();
  Manager.reset();

  const ITembroFMODSoundPtr FromFile = Local->LoadSoundFromFile(Media("drumloop-2.ogg"));
  ITembroFMODSoundPtr FromStream;
  {
    // The stream goes before the sound plays: the sound keeps its own copy.
    std::ifstream Stream(Media("explosion.mp3"), std::ios::binary);
    FromStream = Local->LoadSoundFromStream(Stream);
  }
  const ITembroFMODSoundPtr FromMemory = Local->LoadSoundFromStream(std::span<const std::byte>(Growl));

  EXPECT_EQ(Local->GetSound(0).Get(), FromFile.Get());
  EXPECT_EQ(Local->GetSound(1).Get(), FromStream.Get());
  EXPECT_EQ(Local->GetSound(2).Get(), FromMemory.Get());
  EXPECT_FALSE(Local->GetSound(3));
  EXPECT_EQ(FromStream->GetMode() & TTembroSonvelManager::StreamMode, TTembroSonvelManager::StreamMode);
  EXPECT_EQ(FromFile->GetLength(FMOD_TIMEUNIT_MS), 4000u);
  EXPECT_EQ(FromMemory->GetLength(FMOD_TIMEUNIT_MS), 2500u);

  for (int Index : {0, 1, 2}) EXPECT_TRUE(Local->PlaySound(Index, nullptr, false)) << Index;
  Local->Update();
  EXPECT_EQ(Local->GetSystemObject()->GetChannelsPlaying().Channels, 3);
}

TEST_F(ManagerTest, AFailedLoadRaisesTheEnginesErrorAndListsNothing) {
  Manager->LoadSoundFromFile(Media("jaguar.wav"));
  try {
    Manager->LoadSoundFromFile(Media("no-such-sound.ogg"));
    FAIL() << "a missing file loaded";
  } catch (const Lib::ETembroFMODError& E) {
    EXPECT_EQ(E.Code(), FMOD_ERR_FILE_NOTFOUND);
    EXPECT_STREQ(E.what(), "File not found.");
  }
  EXPECT_TRUE(Manager->GetSound(0));
  EXPECT_FALSE(Manager->GetSound(1));
}

TEST_F(ManagerTest, TheSameFileTwiceListsTwoSounds) {
  const ITembroFMODSoundPtr First = Manager->LoadSoundFromFile(Media("jaguar.wav"));
  const ITembroFMODSoundPtr Second = Manager->LoadSoundFromFile(Media("jaguar.wav"));
  EXPECT_NE(First.Get(), Second.Get());
  EXPECT_NE(First->GetInternalHandle(), Second->GetInternalHandle());
  EXPECT_EQ(Manager->GetSound(0).Get(), First.Get());
  EXPECT_EQ(Manager->GetSound(1).Get(), Second.Get());
}

TEST_F(ManagerTest, PauseTogglesAndTwoPausesRestore) {
  LoadTheThree();
  for (FMOD_BOOL Start : {0, 1}) {
    SCOPED_TRACE(Start);
    const ITembroFMODChannelPtr Channel = Manager->PlaySound(0, nullptr, Start);
    ASSERT_TRUE(Channel);
    EXPECT_EQ(Channel->GetPaused() != 0, Start != 0);
    Manager->Pause(Channel);
    EXPECT_EQ(Channel->GetPaused() != 0, Start == 0);
    Manager->Pause(Channel);
    EXPECT_EQ(Channel->GetPaused() != 0, Start != 0);
    Manager->Stop(Channel);
  }
}

TEST_F(ManagerTest, IsPlayingFollowsTheChannels) {
  LoadTheThree();
  EXPECT_EQ(Manager->IsPlaying(), 0);
  const ITembroFMODChannelPtr Drums = Manager->PlaySound(0, nullptr, false);
  ASSERT_TRUE(Drums);
  EXPECT_EQ(Manager->IsPlaying(), -1);
  Manager->Stop(Drums);
  Manager->Update();
  EXPECT_EQ(Manager->IsPlaying(), 0);
}

TEST_F(ManagerTest, StopAllChannelsStopsEverythingAndLeavesTheMasterGroupInPlace) {
  LoadTheThree();
  Manager->PlaySound(0, nullptr, false);
  Manager->PlaySound(Manager->GetSound(2), nullptr, false);
  const ITembroFMODChannelGroupPtr Effects = Manager->AddChannelGroup("effects");
  Manager->PlaySound(1, Effects, false);
  Manager->Update();
  EXPECT_EQ(Manager->GetSystemObject()->GetChannelsPlaying().Channels, 3);

  Manager->StopAllChannels();
  Manager->Update();
  EXPECT_EQ(Manager->IsPlaying(), 0);

  // Twice, since a wrapper that released the master group would have broken
  // it the first time.
  Manager->StopAllChannels();
  const ITembroFMODChannelGroupPtr Master = Manager->GetSystemObject()->GetMasterChannelGroup();
  EXPECT_TRUE(GroupAlive(Master->GetInternalHandle()));
  EXPECT_TRUE(Manager->PlaySound(0, nullptr, false));
  EXPECT_EQ(Manager->IsPlaying(), -1);
}

TEST_F(ManagerTest, ClearSoundsReleasesTheSoundsNobodyElseHolds) {
  LoadTheThree();
  void* Drums = Manager->GetSound(0)->GetInternalHandle();
  ITembroFMODSoundPtr Held = Manager->GetSound(1);
  void* Growl = Manager->GetSound(2)->GetInternalHandle();

  Manager->ClearSounds();
  EXPECT_FALSE(Manager->GetSound(0));
  EXPECT_FALSE(SoundAlive(Drums));
  EXPECT_FALSE(SoundAlive(Growl));
  void* Explosion = Held->GetInternalHandle();
  EXPECT_TRUE(SoundAlive(Explosion));
  Held.Reset();
  EXPECT_FALSE(SoundAlive(Explosion));
}

TEST_F(ManagerTest, ChannelGroupsAreListedAndRemovedByReference) {
  ITembroFMODChannelGroupPtr First = Manager->AddChannelGroup("effects");
  ITembroFMODChannelGroupPtr Second = Manager->AddChannelGroup("effects");
  void* FirstHandle = First->GetInternalHandle();
  void* SecondHandle = Second->GetInternalHandle();
  EXPECT_NE(FirstHandle, SecondHandle);
  EXPECT_EQ(First->GetName(), "effects");

  // Neither another wrapper of the same engine group, nor an unlisted group,
  // nor null is the listed reference: nothing is removed.
  Manager->RemoveChannelGroup(
      MakeTembroFMOD<ITembroFMODChannelGroup, TTembroFMODChannelGroup>(static_cast<FMOD_CHANNELGROUP*>(FirstHandle),
                                                                       TTembroFMODOwnership::Borrowed));
  Manager->RemoveChannelGroup(Manager->GetSystemObject()->GetMasterChannelGroup());
  Manager->RemoveChannelGroup(nullptr);
  Second.Reset();
  EXPECT_TRUE(GroupAlive(FirstHandle));
  EXPECT_TRUE(GroupAlive(SecondHandle));  // the list still holds it

  Manager->RemoveChannelGroup(First);
  EXPECT_TRUE(GroupAlive(FirstHandle));  // we still hold it
  First.Reset();
  EXPECT_FALSE(GroupAlive(FirstHandle));

  Manager->ClearChannelGroups();
  EXPECT_FALSE(GroupAlive(SecondHandle));
}

TEST_F(ManagerTest, NullArgumentsDoNothingAndGetChannelGroupIsNotAvailable) {
  EXPECT_NO_THROW(Manager->Stop(nullptr));
  EXPECT_NO_THROW(Manager->Pause(nullptr));
  EXPECT_FALSE(Manager->PlaySound(ITembroFMODSoundPtr(), nullptr, false));
  for (const char* Name : {"", "effects"}) {
    try {
      Manager->GetChannelGroup(Name);
      FAIL() << "GetChannelGroup answered";
    } catch (const std::runtime_error& E) {
      EXPECT_STREQ(E.what(), "not implemented yet!");
    }
  }
}

TEST_F(ManagerTest, PlaySoundTakesAnySoundAndTheGroupGiven) {
  LoadTheThree();
  const ITembroFMODChannelGroupPtr Effects = Manager->AddChannelGroup("effects");
  // A sound loaded by the system itself, not listed by the manager.
  const ITembroFMODSoundPtr Unlisted = Manager->GetSystemObject()->CreateSoundFromFile(Media("jaguar.wav"), 0, nullptr);
  const ITembroFMODChannelPtr Channel = Manager->PlaySound(Unlisted, Effects, false);
  ASSERT_TRUE(Channel);
  EXPECT_EQ(Effects->GetNumChannels(), 1);
  EXPECT_FALSE(Manager->GetSound(3));
  Manager->Stop(Channel);
}

TEST_F(ManagerTest, Set3DListenerSetsTheListenerGiven) {
  const TTembroFMOD3DListenerAttr Attr = TTembroFMOD3DListenerAttr::Create({1, 2, 3}, {0.5f, 0, 0});
  Manager->Set3DListener(Attr, 0);
  EXPECT_EQ(Manager->GetSystemObject()->Get3DListenerAttributes(0), Attr);
}
