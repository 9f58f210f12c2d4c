// The channel group's own operations, its creation and its ownership; the
// family it shares with the channel is in ChannelControlWrapperTest.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChannelControlTestSupport.h"
#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Intf.DSP.h"
#include "Tembro.Audio.FMOD.System.h"

using namespace sonvel::test::channels;
using sonvel::test::FakeEngine;

namespace {

// A borrowed wrapper of kGroup, so that dropping it adds no call.
ITembroFMODChannelGroupPtr Group() { return GroupKind::Make(); }

ITembroFMODChannelGroupPtr Borrowed(FMOD_CHANNELGROUP* AHandle) {
  return ITembroFMODChannelGroupPtr(new TTembroFMODChannelGroup(AHandle, TTembroFMODOwnership::Borrowed));
}

// A system wrapper around kSystem that the engine's fake lets go quietly.
ITembroFMODSystemPtr System() { return ITembroFMODSystemPtr(new TTembroFMODSystem(kSystem)); }

// A fake whose group is named by the bytes of AName (terminating zero
// included when it fits), written into the wrapper's buffer.
void NameGroup(FakeEngine& AFake, std::string AName) {
  AFake.Actions.FMOD_ChannelGroup_GetName = [AName](FMOD_CHANNELGROUP*, char* ABuffer, int ALength) {
    std::memcpy(ABuffer, AName.data(), std::min<std::size_t>(AName.size(), static_cast<std::size_t>(ALength)));
    return FMOD_OK;
  };
}

}  // namespace

TEST(ChannelGroupWrapper, CreateMakesAnOwnedGroupThroughTheSystem) {
  FakeEngine Fake;
  Fake.Actions.FMOD_System_CreateChannelGroup = [](FMOD_SYSTEM*, const char*, FMOD_CHANNELGROUP** AOut) {
    *AOut = kGroup;
    return FMOD_OK;
  };
  ITembroFMODSystemPtr Sys = System();
  {
    ITembroFMODChannelGroupPtr Music = TTembroFMODChannelGroup::Create(Sys, "Music");
    EXPECT_EQ(Music->GetInternalHandle(), kGroup);
    TTembroFMODChannelGroup::Create(Sys, "");  // dropped at once
  }
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_System_CreateChannelGroup(system=0x5151, name=\"Music\", channelgroup=&)",
                     "FMOD_System_CreateChannelGroup(system=0x5151, name=\"\", channelgroup=&)",
                     "FMOD_ChannelGroup_Release(channelgroup=0x6600)",
                     "FMOD_ChannelGroup_Release(channelgroup=0x6600)"}));
}

// Obvious fault 4: a null system is refused before the engine is called.
TEST(ChannelGroupWrapper, CreateRaisesOnAFailedCreationOrANullSystemAndLeavesNothing) {
  FakeEngine Fake;
  Fake.Actions.FMOD_System_CreateChannelGroup = [](FMOD_SYSTEM*, const char*, FMOD_CHANNELGROUP**) {
    return FMOD_ERR_MEMORY;
  };
  ITembroFMODSystemPtr Sys = System();
  EXPECT_EQ(RaisedText([&] { TTembroFMODChannelGroup::Create(Sys, "Music"); }), "Not enough memory or resources.");
  EXPECT_EQ(Fake.Names(), Strings{"FMOD_System_CreateChannelGroup"});
  Fake.Calls.clear();
  EXPECT_THROW(TTembroFMODChannelGroup::Create(nullptr, "Music"), std::invalid_argument);
  EXPECT_EQ(RaisedText([&] { TTembroFMODChannelGroup::Create(nullptr, "Music"); }), "Create: ASystem is null");
  EXPECT_TRUE(Fake.Calls.empty());
}

// Obvious fault 1: only a group the wrapper created is released; groups
// reached through queries are borrowed. A failed release is not raised.
TEST(ChannelGroupWrapper, DestructorReleasesExactlyWhatTheWrapperOwns) {
  struct Case {
    const char* Name;
    FMOD_CHANNELGROUP* Handle;
    TTembroFMODOwnership Ownership;
    Strings Calls;
  } const Cases[] = {
      {"owned", kGroup, TTembroFMODOwnership::Owned, {"FMOD_ChannelGroup_Release(channelgroup=0x6600)"}},
      {"borrowed", kGroup, TTembroFMODOwnership::Borrowed, {}},
      {"null", nullptr, TTembroFMODOwnership::Owned, {}},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_ChannelGroup_Release = [](FMOD_CHANNELGROUP*) { return FMOD_ERR_INVALID_HANDLE; };
    EXPECT_NO_THROW({ ITembroFMODChannelGroupPtr G(new TTembroFMODChannelGroup(C.Handle, C.Ownership)); }) << C.Name;
    EXPECT_EQ(Fake.Calls, C.Calls) << C.Name;
  }
}

TEST(ChannelGroupWrapper, NameIsReadFromA512ByteBufferAndTrimmed) {
  struct Case {
    std::string Written;
    std::string Name;
  } const Cases[] = {
      {"Music", "Music"},
      {"", ""},
      {" \tSFX\n", "SFX"},
      {"M\xC3\xBCsik", "M\xC3\xBCsik"},
      {std::string(511, 'a'), std::string(511, 'a')},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    NameGroup(Fake, C.Written);
    ITembroFMODChannelGroupPtr Wrapper = Group();
    EXPECT_EQ(Wrapper->GetName(), C.Name) << C.Written;
    EXPECT_EQ(Normalised(Fake.Calls),
              Strings{"FMOD_ChannelGroup_GetName(channelgroup=0x6600, name=&, namelen=512)"})
        << C.Written;
  }
}

TEST(ChannelGroupWrapper, CountsMakeOneCallEachAndRaiseEngineErrors) {
  FakeEngine Fake;
  Fake.Actions.FMOD_ChannelGroup_GetNumChannels = Writes(5);
  Fake.Actions.FMOD_ChannelGroup_GetNumGroups = Writes(2);
  ITembroFMODChannelGroupPtr Wrapper = Group();
  EXPECT_EQ(Wrapper->GetNumChannels(), 5);
  EXPECT_EQ(Wrapper->GetNumGroups(), 2);
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_ChannelGroup_GetNumChannels(channelgroup=0x6600, numchannels=&)",
                     "FMOD_ChannelGroup_GetNumGroups(channelgroup=0x6600, numgroups=&)"}));
  Fake.Actions.FMOD_ChannelGroup_GetNumChannels = [](FMOD_CHANNELGROUP*, int*) { return FMOD_ERR_INVALID_HANDLE; };
  Fake.Actions.FMOD_ChannelGroup_GetName = [](FMOD_CHANNELGROUP*, char*, int) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_EQ(RaisedText([&] { Wrapper->GetNumChannels(); }), kInvalidHandle);
  EXPECT_EQ(RaisedText([&] { Wrapper->GetName(); }), kInvalidHandle);
}

// Obvious fault 4 (null AGroup) and the connection wrapper AddGroup returns.
TEST(ChannelGroupWrapper, AddGroupReturnsTheConnectionAndRefusesANullGroup) {
  FakeEngine Fake;
  Fake.Actions.FMOD_ChannelGroup_AddGroup = [](FMOD_CHANNELGROUP*, FMOD_CHANNELGROUP*, FMOD_BOOL,
                                               FMOD_DSPCONNECTION** AOut) {
    *AOut = kConnection;
    return FMOD_OK;
  };
  ITembroFMODChannelGroupPtr Wrapper = Group();
  {
    ITembroFMODDSPConnectionPtr Connection = Wrapper->AddGroup(Borrowed(kOtherGroup), 1);
    EXPECT_EQ(Connection->GetInternalHandle(), kConnection);
    EXPECT_TRUE(Connection.TryQuery<ITembroFMODDSPConnection>());
    EXPECT_TRUE(Connection.TryQuery<ITembroFMODInterface>());
  }
  EXPECT_EQ(Normalised(Fake.Calls), Strings{"FMOD_ChannelGroup_AddGroup(channelgroup=0x6600, group=0x6601, "
                                            "propagatedspclock=1, connection=&)"});
  Fake.Calls.clear();
  EXPECT_EQ(RaisedText([&] { Wrapper->AddGroup(nullptr, 0); }), "AddGroup: AGroup is null");
  EXPECT_THROW(Wrapper->AddGroup(nullptr, 0), std::invalid_argument);
  EXPECT_TRUE(Fake.Calls.empty());
  Fake.Actions.FMOD_ChannelGroup_AddGroup = [](FMOD_CHANNELGROUP*, FMOD_CHANNELGROUP*, FMOD_BOOL,
                                               FMOD_DSPCONNECTION**) { return FMOD_ERR_DSP_CONNECTION; };
  EXPECT_THROW(Wrapper->AddGroup(Borrowed(kOtherGroup), 0), Tembro::Audio::FMOD::Lib::ETembroFMODError);
}

// Obvious fault 1: child and parent groups and the group's channels belong
// to others; a new borrowed wrapper per call, equal handles, no release.
TEST(ChannelGroupWrapper, GroupAndChannelQueriesMakeANewBorrowedWrapperPerCall) {
  FakeEngine Fake;
  Fake.Actions.FMOD_ChannelGroup_GetGroup = [](FMOD_CHANNELGROUP*, int, FMOD_CHANNELGROUP** AOut) {
    *AOut = kOtherGroup;
    return FMOD_OK;
  };
  Fake.Actions.FMOD_ChannelGroup_GetParentGroup = Writes<FMOD_CHANNELGROUP*>(nullptr);  // the master group has none
  Fake.Actions.FMOD_ChannelGroup_GetChannel = [](FMOD_CHANNELGROUP*, int, FMOD_CHANNEL** AOut) {
    *AOut = kChannel;
    return FMOD_OK;
  };
  ITembroFMODChannelGroupPtr Wrapper = Group();
  {
    ITembroFMODChannelGroupPtr First = Wrapper->GetGroup(0);
    ITembroFMODChannelGroupPtr Second = Wrapper->GetGroup(0);
    EXPECT_NE(First.Get(), Second.Get());
    EXPECT_EQ(First->GetInternalHandle(), kOtherGroup);
    EXPECT_EQ(Second->GetInternalHandle(), kOtherGroup);
    EXPECT_EQ(Wrapper->GetParentGroup()->GetInternalHandle(), nullptr);
    ITembroFMODChannelPtr Channel = Wrapper->GetChannel(3);
    EXPECT_EQ(Channel->GetInternalHandle(), kChannel);
  }
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_ChannelGroup_GetGroup(channelgroup=0x6600, index=0, group=&)",
                     "FMOD_ChannelGroup_GetGroup(channelgroup=0x6600, index=0, group=&)",
                     "FMOD_ChannelGroup_GetParentGroup(channelgroup=0x6600, group=&)",
                     "FMOD_ChannelGroup_GetChannel(channelgroup=0x6600, index=3, channel=&)"}));

  Fake.Actions.FMOD_ChannelGroup_GetGroup = [](FMOD_CHANNELGROUP*, int, FMOD_CHANNELGROUP**) {
    return FMOD_ERR_INVALID_PARAM;
  };
  Fake.Actions.FMOD_ChannelGroup_GetChannel = [](FMOD_CHANNELGROUP*, int, FMOD_CHANNEL**) {
    return FMOD_ERR_INVALID_PARAM;
  };
  EXPECT_EQ(RaisedText([&] { Wrapper->GetGroup(9); }), kInvalidParam);
  EXPECT_EQ(RaisedText([&] { Wrapper->GetChannel(9); }), kInvalidParam);
}

// A channel and a group of one engine system answer the same system handle,
// and no wrapper is made for it.
TEST(ChannelGroupWrapper, SystemObjectIsTheEnginesHandleForChannelAndGroupAlike) {
  FakeEngine Fake;
  Fake.Actions.FMOD_ChannelGroup_GetSystemObject = Writes(kSystem);
  Fake.Actions.FMOD_Channel_GetSystemObject = Writes(kSystem);
  EXPECT_EQ(Group()->GetSystemObject(), kSystem);
  EXPECT_EQ(ChannelKind::Make()->GetSystemObject(), kSystem);
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_ChannelGroup_GetSystemObject", "FMOD_Channel_GetSystemObject"}));
}
