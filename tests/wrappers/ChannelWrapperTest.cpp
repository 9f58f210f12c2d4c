// The channel's own operations; the family it shares with the channel group
// is in ChannelControlWrapperTest.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChannelControlTestSupport.h"
#include "Tembro.Audio.FMOD.Intf.Sound.h"
#include "Tembro.Audio.FMOD.Sound.h"

using namespace sonvel::test::channels;
using sonvel::test::FakeEngine;

namespace {

ITembroFMODChannelPtr Channel() { return ChannelKind::Make(); }

ITembroFMODChannelGroupPtr Group(FMOD_CHANNELGROUP* AHandle = kGroup) {
  return ITembroFMODChannelGroupPtr(new TTembroFMODChannelGroup(AHandle, TTembroFMODOwnership::Borrowed));
}

}  // namespace

TEST(ChannelWrapper, OwnPropertiesMakeOneCallAndReturnWhatTheEngineWrote) {
  struct Case {
    const char* Operation;
    std::function<void(FakeEngine&)> Arrange;
    std::function<std::string(ITembroFMODChannel&)> Act;
    std::string Call;
    std::string Result;
  };
  auto None = [](FakeEngine&) {};
  const Case Cases[] = {
      {"GetIndex", [](FakeEngine& F) { F.Actions.FMOD_Channel_GetIndex = Writes(7); },
       [](ITembroFMODChannel& C) { return Show(C.GetIndex()); }, "FMOD_Channel_GetIndex(channel=0xca11, index=&)",
       "7"},
      {"IsVirtual", [](FakeEngine& F) { F.Actions.FMOD_Channel_IsVirtual = Writes<FMOD_BOOL>(1); },
       [](ITembroFMODChannel& C) { return Show(C.IsVirtual()); },
       "FMOD_Channel_IsVirtual(channel=0xca11, isvirtual=&)", "1"},
      {"GetPriority", [](FakeEngine& F) { F.Actions.FMOD_Channel_GetPriority = Writes(128); },
       [](ITembroFMODChannel& C) { return Show(C.GetPriority()); },
       "FMOD_Channel_GetPriority(channel=0xca11, priority=&)", "128"},
      {"SetPriority", None, [](ITembroFMODChannel& C) { return C.SetPriority(12), ""; },
       "FMOD_Channel_SetPriority(channel=0xca11, priority=12)", ""},
      {"GetFrequency", [](FakeEngine& F) { F.Actions.FMOD_Channel_GetFrequency = Writes(44100.0f); },
       [](ITembroFMODChannel& C) { return Show(C.GetFrequency()); },
       "FMOD_Channel_GetFrequency(channel=0xca11, frequency=&)", "44100"},
      {"SetFrequency", None, [](ITembroFMODChannel& C) { return C.SetFrequency(22050.0f), ""; },
       "FMOD_Channel_SetFrequency(channel=0xca11, frequency=22050)", ""},
      {"GetLoopCount", [](FakeEngine& F) { F.Actions.FMOD_Channel_GetLoopCount = Writes(-1); },
       [](ITembroFMODChannel& C) { return Show(C.GetLoopCount()); },
       "FMOD_Channel_GetLoopCount(channel=0xca11, loopcount=&)", "-1"},
      {"SetLoopCount", None, [](ITembroFMODChannel& C) { return C.SetLoopCount(3), ""; },
       "FMOD_Channel_SetLoopCount(channel=0xca11, loopcount=3)", ""},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    C.Arrange(Fake);
    ITembroFMODChannelPtr Wrapper = Channel();
    EXPECT_EQ(C.Act(*Wrapper), C.Result) << C.Operation;
    EXPECT_EQ(Normalised(Fake.Calls), Strings{C.Call}) << C.Operation;

    Fake.Calls.clear();
    const FMOD_RESULT Failure = FMOD_ERR_INVALID_HANDLE;  // not tolerated outside IsPlaying, Paused, Position
    Fake.Actions.FMOD_Channel_GetIndex = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_IsVirtual = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_GetPriority = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_SetPriority = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_GetFrequency = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_SetFrequency = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_GetLoopCount = [=](auto...) { return Failure; };
    Fake.Actions.FMOD_Channel_SetLoopCount = [=](auto...) { return Failure; };
    EXPECT_EQ(RaisedText([&] { C.Act(*Wrapper); }), kInvalidHandle) << C.Operation;
  }
}

// The engine takes the position before its time unit, the reverse of
// SetPosition's parameters.
TEST(ChannelWrapper, PositionHandsTheEngineTheValueBeforeTheUnit) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Channel_GetPosition = [](FMOD_CHANNEL*, unsigned int* APosition, FMOD_TIMEUNIT AUnit) {
    *APosition = AUnit == 2 ? 4410 : 100;
    return FMOD_OK;
  };
  ITembroFMODChannelPtr Wrapper = Channel();
  EXPECT_EQ(Wrapper->GetPosition(2), 4410u);
  Wrapper->SetPosition(1, 500);
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_Channel_GetPosition(channel=0xca11, position=&, postype=2)",
                                             "FMOD_Channel_SetPosition(channel=0xca11, position=500, postype=1)"}));
}

// A position read on an ended channel yields 0 and a write does nothing;
// any other failure raises.
TEST(ChannelWrapper, PositionToleratesEndedChannelResultsOnly) {
  struct Case {
    FMOD_RESULT Code;
    const char* Raised;
  } const Cases[] = {
      {FMOD_ERR_INVALID_HANDLE, "(nothing raised)"},
      {FMOD_ERR_CHANNEL_STOLEN, "(nothing raised)"},
      {FMOD_ERR_INVALID_POSITION, "An invalid seek position was passed to this function."},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_Channel_GetPosition = [C](FMOD_CHANNEL*, unsigned int*, FMOD_TIMEUNIT) { return C.Code; };
    Fake.Actions.FMOD_Channel_SetPosition = [C](FMOD_CHANNEL*, unsigned int, FMOD_TIMEUNIT) { return C.Code; };
    ITembroFMODChannelPtr Wrapper = Channel();
    std::uint32_t Position = 99;
    EXPECT_EQ(RaisedText([&] { Position = Wrapper->GetPosition(1); }), C.Raised) << C.Code;
    EXPECT_EQ(RaisedText([&] { Wrapper->SetPosition(1, 10); }), C.Raised) << C.Code;
    if (C.Code != FMOD_ERR_INVALID_POSITION) {
      EXPECT_EQ(Position, 0u) << C.Code;
    }
  }
}

// The record's own unit fields never reach the engine; a read returns the
// two units asked for.
TEST(ChannelWrapper, LoopPointsTakeTheirUnitsFromTheParameters) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Channel_GetLoopPoints = [](FMOD_CHANNEL*, unsigned int* AStart, FMOD_TIMEUNIT, unsigned int* AEnd,
                                               FMOD_TIMEUNIT) {
    *AStart = 10, *AEnd = 20;
    return FMOD_OK;
  };
  ITembroFMODChannelPtr Wrapper = Channel();
  Wrapper->SetLoopPoints(1, 2, TTembroFMODLoopPoints{100, 8, 200, 8});
  const TTembroFMODLoopPoints Points = Wrapper->GetLoopPoints(4, 2);
  EXPECT_EQ(Points, (TTembroFMODLoopPoints{10, 4, 20, 2}));
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_Channel_SetLoopPoints(channel=0xca11, loopstart=100, loopstarttype=1, loopend=200, "
                     "loopendtype=2)",
                     "FMOD_Channel_GetLoopPoints(channel=0xca11, loopstart=&, loopstarttype=4, loopend=&, "
                     "loopendtype=2)"}));
}

// Obvious fault 4: a null group is refused before the engine is called.
TEST(ChannelWrapper, SetChannelGroupPassesTheGroupsHandleAndRefusesNull) {
  FakeEngine Fake;
  ITembroFMODChannelPtr Wrapper = Channel();
  Wrapper->SetChannelGroup(Group(kOtherGroup));
  EXPECT_EQ(Fake.Calls, Strings{"FMOD_Channel_SetChannelGroup(channel=0xca11, channelgroup=0x6601)"});
  Fake.Calls.clear();
  EXPECT_THROW(Wrapper->SetChannelGroup(nullptr), std::invalid_argument);
  EXPECT_EQ(RaisedText([&] { Wrapper->SetChannelGroup(nullptr); }), "SetChannelGroup: AChannelGroup is null");
  EXPECT_TRUE(Fake.Calls.empty());
}

// Obvious fault 1: the channel's group (often the master group) and its
// sound belong to others, so the wrappers borrow them and release nothing.
TEST(ChannelWrapper, GroupAndSoundQueriesMakeANewBorrowedWrapperPerCall) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Channel_GetChannelGroup = Writes(kGroup);
  Fake.Actions.FMOD_Channel_GetCurrentSound = Writes(kSound);
  ITembroFMODChannelPtr Wrapper = Channel();
  {
    ITembroFMODChannelGroupPtr First = Wrapper->GetChannelGroup();
    ITembroFMODChannelGroupPtr Second = Wrapper->GetChannelGroup();
    EXPECT_NE(First.Get(), Second.Get());
    EXPECT_EQ(First->GetInternalHandle(), kGroup);
    EXPECT_EQ(Second->GetInternalHandle(), kGroup);
    TTembroFMODPtr<ITembroFMODSound> Sound = Wrapper->GetCurrentSound();
    TTembroFMODPtr<ITembroFMODSound> Again = Wrapper->GetCurrentSound();
    EXPECT_NE(Sound.Get(), Again.Get());
    EXPECT_EQ(Sound->GetInternalHandle(), kSound);
  }
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_Channel_GetChannelGroup", "FMOD_Channel_GetChannelGroup",
                                   "FMOD_Channel_GetCurrentSound", "FMOD_Channel_GetCurrentSound"}));

  // With no sound, the engine answers a null handle: still a wrapper.
  Fake.Calls.clear();
  Fake.Actions.FMOD_Channel_GetCurrentSound = Writes<FMOD_SOUND*>(nullptr);
  { EXPECT_EQ(Wrapper->GetCurrentSound()->GetInternalHandle(), nullptr); }
  EXPECT_EQ(Fake.Names(), Strings{"FMOD_Channel_GetCurrentSound"});
}

TEST(ChannelWrapper, AFailedQueryRaisesBeforeAnyWrapperIsMade) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Channel_GetChannelGroup = [](FMOD_CHANNEL*, FMOD_CHANNELGROUP**) {
    return FMOD_ERR_INVALID_HANDLE;
  };
  Fake.Actions.FMOD_Channel_GetCurrentSound = [](FMOD_CHANNEL*, FMOD_SOUND**) { return FMOD_ERR_CHANNEL_STOLEN; };
  ITembroFMODChannelPtr Wrapper = Channel();
  EXPECT_EQ(RaisedText([&] { Wrapper->GetChannelGroup(); }), kInvalidHandle);
  EXPECT_EQ(RaisedText([&] { Wrapper->GetCurrentSound(); }), kChannelStolen);
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_Channel_GetChannelGroup", "FMOD_Channel_GetCurrentSound"}));
}

// The engine owns its channels: dropping a wrapper leaves the channel
// playing, whichever ownership the wrapper was given.
TEST(ChannelWrapper, DroppingTheLastReferenceMakesNoEngineCall) {
  FakeEngine Fake;
  for (const TTembroFMODOwnership Ownership : {TTembroFMODOwnership::Owned, TTembroFMODOwnership::Borrowed}) {
    ITembroFMODChannelPtr Wrapper(new TTembroFMODChannel(kChannel, Ownership));
    EXPECT_EQ(Wrapper->GetInternalHandle(), kChannel);
  }
  EXPECT_TRUE(Fake.Calls.empty());
}
