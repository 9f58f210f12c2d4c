#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.Sound.h"
#include "Tembro.Audio.FMOD.SoundGroup.h"
#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;

namespace {

FMOD_SYSTEM* const kOtherSystem = FakeHandle<FMOD_SYSTEM>(0x5252);
FMOD_SOUND* const kSound = FakeHandle<FMOD_SOUND>(0x50);
FMOD_SOUND* const kSubSound = FakeHandle<FMOD_SOUND>(0x51);
FMOD_SOUNDGROUP* const kSoundGroup = FakeHandle<FMOD_SOUNDGROUP>(0x60);
FMOD_CHANNELGROUP* const kChannelGroup = FakeHandle<FMOD_CHANNELGROUP>(0x6600);
FMOD_CHANNEL* const kChannel = FakeHandle<FMOD_CHANNEL>(0xca11);

ITembroFMODSoundPtr BorrowedSound(FMOD_SOUND* AHandle = kSound) {
  return Borrowed<TTembroFMODSound>(AHandle);
}

// A system wrapper around kSystem; it closes and releases the fake system
// when the test drops it, after every expectation on the sound's calls.
ITembroFMODSystemPtr SystemWrapper() { return ITembroFMODSystemPtr(new TTembroFMODSystem(kSystem)); }

void AnswerSystemObject(FakeEngine& AFake, FMOD_SYSTEM* ASystem = kOtherSystem) {
  AFake.Actions.FMOD_Sound_GetSystemObject = [ASystem](FMOD_SOUND*, FMOD_SYSTEM** AOut) {
    *AOut = ASystem;
    return FMOD_OK;
  };
}

// Sound data for the memory forms. It ends in a zero byte because the
// recording fake prints the engine's data argument as text.
constexpr char kDataText[] = "RIFF\x24\x00\x00\x00WAVEfmt sound data";
const std::string kData(kDataText, sizeof kDataText);
const auto kDataLength = static_cast<std::uint32_t>(kData.size());

}  // namespace

// ---------------------------------------------------------------------------
// Construction and ownership

TEST(SoundWrapper, CreateFromFileOpensTheConvertedNameWithModeAndExInfoUnchangedAndOwnsTheSound) {
  FakeEngine Fake;
  Fake.Actions.FMOD_System_CreateSound = [](FMOD_SYSTEM*, const char*, FMOD_MODE, FMOD_CREATESOUNDEXINFO*,
                                            FMOD_SOUND** AOut) {
    *AOut = kSound;
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = SystemWrapper();
  FMOD_CREATESOUNDEXINFO ExInfo{};
  {
    ITembroFMODSoundPtr Sound =
        TTembroFMODSound::CreateFromFile(System, "drumloop-\xc3\xb1.ogg", FMOD_CREATESTREAM, &ExInfo);
    EXPECT_EQ(Sound->GetInternalHandle(), kSound);
    EXPECT_EQ(Normalised(Fake.Calls),
              Normalised(Strings{"FMOD_System_CreateSound(system=0x5151, name_or_data=\"drumloop-\xc3\xb1.ogg\", "
                                 "mode=128, exinfo=" + Hex(&ExInfo) + ", sound=&)"}));
    Fake.Calls.clear();
  }
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_Sound_Release(sound=0x50)"}));
}

TEST(SoundWrapper, ConstructorsRefuseANullSystemAndAFailedCreationMakesNoSound) {
  FakeEngine Fake;
  std::istringstream Stream(kData);
  const std::vector<std::byte> Bytes(4);
  const std::function<void(const ITembroFMODSystemPtr&)> Constructors[] = {
      [](const ITembroFMODSystemPtr& S) { TTembroFMODSound::CreateFromFile(S, "a.wav", 0, nullptr); },
      [](const ITembroFMODSystemPtr& S) { TTembroFMODSound::CreateFromStream(S, kData.data(), 4, 0, nullptr); },
      [&](const ITembroFMODSystemPtr& S) { TTembroFMODSound::CreateFromStream(S, std::span(Bytes), 0, nullptr); },
      [&](const ITembroFMODSystemPtr& S) { TTembroFMODSound::CreateFromStream(S, Stream, 0, nullptr); },
  };
  const char* const Operations[] = {"CreateFromFile", "CreateFromStream", "CreateFromStream", "CreateFromStream"};
  for (int I = 0; I < 4; ++I) {
    EXPECT_EQ(RaisedText([&] { Constructors[I](nullptr); }), std::string(Operations[I]) + ": ASystem is null");
    EXPECT_TRUE(Fake.Calls.empty()) << I;
  }
  Fake.Actions.FMOD_System_CreateSound = [](FMOD_SYSTEM*, const char*, FMOD_MODE, FMOD_CREATESOUNDEXINFO*,
                                            FMOD_SOUND**) { return FMOD_ERR_FILE_NOTFOUND; };
  Fake.Actions.FMOD_System_CreateStream = [](FMOD_SYSTEM*, const char*, FMOD_MODE, FMOD_CREATESOUNDEXINFO*,
                                             FMOD_SOUND**) { return FMOD_ERR_FORMAT; };
  ITembroFMODSystemPtr System = SystemWrapper();
  for (int I = 0; I < 4; ++I) {
    Stream.clear();
    Stream.seekg(0);
    Fake.Calls.clear();
    EXPECT_THROW(Constructors[I](System), Lib::ETembroFMODError) << I;
    EXPECT_EQ(Fake.Calls.size(), 1u) << I;  // the creation only: nothing is released
  }
  EXPECT_EQ(Detail::HeldSoundStreamCopies(), 0u);
}

TEST(SoundWrapper, TheMemoryBlockFormCarriesTheLengthInItsOwnExInfoOnlyWhenNoneIsGiven) {
  FakeEngine Fake;
  FMOD_CREATESOUNDEXINFO Seen{};
  const FMOD_CREATESOUNDEXINFO* SeenAddress = nullptr;
  Fake.Actions.FMOD_System_CreateStream = [&](FMOD_SYSTEM*, const char*, FMOD_MODE, FMOD_CREATESOUNDEXINFO* AExInfo,
                                              FMOD_SOUND** AOut) {
    SeenAddress = AExInfo;
    Seen = *AExInfo;
    *AOut = kSound;
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = SystemWrapper();
  {
    ITembroFMODSoundPtr Sound = TTembroFMODSound::CreateFromStream(System, kData.data(), kDataLength, 0x880, nullptr);
    EXPECT_EQ(Normalised({Fake.Calls.at(0)}),
              (Strings{"FMOD_System_CreateStream(system=0x5151, name_or_data=&, mode=2176, exinfo=&, "
                       "sound=&)"}));
    FMOD_CREATESOUNDEXINFO Expected;
    std::memset(&Expected, 0, sizeof Expected);
    Expected.cbsize = 232;
    Expected.length = kDataLength;
    EXPECT_EQ(std::memcmp(&Seen, &Expected, sizeof Expected), 0) << "a zeroed record with cbsize and length only";
  }
  FMOD_CREATESOUNDEXINFO Caller{};
  Caller.cbsize = sizeof Caller;
  Caller.length = 7;
  { ITembroFMODSoundPtr Sound = TTembroFMODSound::CreateFromStream(System, kData.data(), kDataLength, 0, &Caller); }
  EXPECT_EQ(SeenAddress, &Caller);
  EXPECT_EQ(Caller.length, 7u) << "ALength is not used when the caller gives the record";
}

TEST(SoundWrapper, TheByteSpanFormHandsTheEngineTheCallersBytesInPlace) {
  FakeEngine Fake;
  const void* SeenData = nullptr;
  unsigned SeenLength = 0;
  Fake.Actions.FMOD_System_CreateStream = [&](FMOD_SYSTEM*, const char* AData, FMOD_MODE,
                                              FMOD_CREATESOUNDEXINFO* AExInfo, FMOD_SOUND** AOut) {
    SeenData = AData;
    SeenLength = AExInfo->length;
    *AOut = kSound;
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = SystemWrapper();
  const std::span<const std::byte> Bytes(reinterpret_cast<const std::byte*>(kData.data()), kData.size());
  { ITembroFMODSoundPtr Sound = TTembroFMODSound::CreateFromStream(System, Bytes, FMOD_OPENMEMORY, nullptr); }
  EXPECT_EQ(SeenData, kData.data());
  EXPECT_EQ(SeenLength, kData.size());
  EXPECT_EQ(Detail::HeldSoundStreamCopies(), 0u) << "nothing is copied";
}

TEST(SoundWrapper, TheStreamFormsCopyLivesUntilTheOwningWrapperReleasedTheSound) {
  FakeEngine Fake;
  const char* Streamed = nullptr;
  unsigned StreamedLength = 0;
  Fake.Actions.FMOD_System_CreateStream = [&](FMOD_SYSTEM*, const char* AData, FMOD_MODE,
                                              FMOD_CREATESOUNDEXINFO* AExInfo, FMOD_SOUND** AOut) {
    Streamed = AData;
    StreamedLength = AExInfo->length;
    *AOut = kSound;
    return FMOD_OK;
  };
  // The engine still reads the bytes while it releases the sound.
  std::string ReadAtRelease;
  Fake.Actions.FMOD_Sound_Release = [&](FMOD_SOUND*) {
    ReadAtRelease.assign(Streamed, StreamedLength);
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = SystemWrapper();
  const std::size_t HeldBefore = Detail::HeldSoundStreamCopies();
  ITembroFMODSoundPtr Sound;
  {
    std::istringstream Stream(kData);
    Sound = TTembroFMODSound::CreateFromStream(System, Stream, 0x880, nullptr);
  }
  ASSERT_NE(Streamed, nullptr);
  EXPECT_EQ(StreamedLength, kData.size());
  EXPECT_EQ(std::string(Streamed, StreamedLength), kData) << "the copy outlives the stream";
  EXPECT_EQ(Detail::HeldSoundStreamCopies(), HeldBefore + 1);

  BorrowedSound(kSound).Reset();  // another wrapper of the same sound goes
  EXPECT_EQ(Detail::HeldSoundStreamCopies(), HeldBefore + 1);
  EXPECT_EQ(std::string(Streamed, StreamedLength), kData);

  Sound.Reset();
  EXPECT_EQ(ReadAtRelease, kData);
  EXPECT_EQ(Detail::HeldSoundStreamCopies(), HeldBefore);
}

TEST(SoundWrapper, TheStreamFormReadsTheFullSizeFromTheCurrentPositionOrRaisesTheReadError) {
  FakeEngine Fake;
  std::string Streamed;
  Fake.Actions.FMOD_System_CreateStream = [&](FMOD_SYSTEM*, const char* AData, FMOD_MODE,
                                              FMOD_CREATESOUNDEXINFO* AExInfo, FMOD_SOUND** AOut) {
    Streamed.assign(AData, AExInfo->length);
    *AOut = kSound;
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = SystemWrapper();

  std::istringstream AfterStart(kData);
  AfterStart.seekg(4);
  EXPECT_EQ(RaisedText([&] { TTembroFMODSound::CreateFromStream(System, AfterStart, 0, nullptr); }),
            "Stream read error");
  EXPECT_TRUE(Fake.Calls.empty());

  // A stream that cannot tell its position is read to its end.
  struct TPipeBuffer : std::streambuf {
    explicit TPipeBuffer(std::string& AText) { setg(AText.data(), AText.data(), AText.data() + AText.size()); }
  };
  std::string Text = kData;
  TPipeBuffer Pipe(Text);
  std::istream Unseekable(&Pipe);
  ASSERT_EQ(Unseekable.tellg(), std::istream::pos_type(-1));
  { ITembroFMODSoundPtr Sound = TTembroFMODSound::CreateFromStream(System, Unseekable, 0, nullptr); }
  EXPECT_EQ(Streamed, kData);
}

TEST(SoundWrapper, DestructorReleasesOnlyAnOwnedNonNullSoundAndIgnoresTheResult) {
  struct Case {
    FMOD_SOUND* Handle;
    TTembroFMODOwnership Ownership;
    Strings Calls;
  } const Cases[] = {
      {kSound, TTembroFMODOwnership::Owned, {"FMOD_Sound_Release(sound=0x50)"}},
      {kSound, TTembroFMODOwnership::Borrowed, {}},
      {nullptr, TTembroFMODOwnership::Owned, {}},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_Sound_Release = [](FMOD_SOUND*) { return FMOD_ERR_INVALID_HANDLE; };
    EXPECT_NO_THROW(ITembroFMODSoundPtr(new TTembroFMODSound(C.Handle, C.Ownership)).Reset());
    EXPECT_EQ(Fake.Calls, C.Calls);
  }
}

TEST(SoundWrapper, QueriesForOtherObjectsGiveANewBorrowingWrapperEachTime) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Sound_GetSubSoundParent = [](FMOD_SOUND*, FMOD_SOUND** AOut) {
    *AOut = kSubSound;
    return FMOD_OK;
  };
  Fake.Actions.FMOD_Sound_GetSubSound = [](FMOD_SOUND*, int, FMOD_SOUND** AOut) {
    *AOut = kSubSound;
    return FMOD_OK;
  };
  Fake.Actions.FMOD_Sound_GetSoundGroup = [](FMOD_SOUND*, FMOD_SOUNDGROUP** AOut) {
    *AOut = kSoundGroup;
    return FMOD_OK;
  };
  struct Case {
    const char* Name;
    std::function<TTembroFMODPtr<ITembroFMODInterface>(const ITembroFMODSoundPtr&)> Query;
    void* Handle;
    std::string Call;
  } const Cases[] = {
      {"Parent", [](const ITembroFMODSoundPtr& S) { return S->GetParent(); }, kSubSound,
       "FMOD_Sound_GetSubSoundParent(sound=0x50, parentsound=&)"},
      {"GetSubSound", [](const ITembroFMODSoundPtr& S) { return S->GetSubSound(2); }, kSubSound,
       "FMOD_Sound_GetSubSound(sound=0x50, index=2, subsound=&)"},
      {"GetSoundGroup", [](const ITembroFMODSoundPtr& S) { return S->GetSoundGroup(); }, kSoundGroup,
       "FMOD_Sound_GetSoundGroup(sound=0x50, soundgroup=&)"},
  };
  ITembroFMODSoundPtr Sound = BorrowedSound();
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    {
      TTembroFMODPtr<ITembroFMODInterface> First = C.Query(Sound);
      TTembroFMODPtr<ITembroFMODInterface> Second = C.Query(Sound);
      EXPECT_NE(First.Get(), Second.Get()) << C.Name;
      EXPECT_EQ(First->GetInternalHandle(), C.Handle) << C.Name;
      EXPECT_EQ(Second->GetInternalHandle(), C.Handle) << C.Name;
    }
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call, C.Call})) << C.Name << ": dropping them releases nothing";
  }
  // The group comes back as a sound group.
  EXPECT_TRUE(Sound->GetSoundGroup().TryQuery<ITembroFMODSoundGroup>());
}

TEST(SoundWrapper, ParentOfASoundThatIsNoSubSoundIsAWrapperAroundNull) {
  FakeEngine Fake;
  ITembroFMODSoundPtr Parent = BorrowedSound()->GetParent();
  ASSERT_TRUE(Parent);
  EXPECT_EQ(Parent->GetInternalHandle(), nullptr);
  Fake.Calls.clear();
  Parent.Reset();
  EXPECT_TRUE(Fake.Calls.empty());
}

// ---------------------------------------------------------------------------
// Pass-through operations

TEST(SoundWrapper, OperationsPassTheirArgumentsInTheEnginesOrder) {
  FakeEngine Fake;
  ITembroFMODSoundPtr Sound = BorrowedSound();
  void* Ptr1 = nullptr;
  void* Ptr2 = nullptr;
  std::uint32_t Len1 = 0, Len2 = 0;
  struct Case {
    std::function<void()> Run;
    std::string Call;
  };
  const Case Cases[] = {
      {[&] { Sound->SetMode(0x880); }, "FMOD_Sound_SetMode(sound=0x50, mode=2176)"},
      {[&] { Sound->SetDefaults({44100.0f, 128}); }, "FMOD_Sound_SetDefaults(sound=0x50, frequency=44100, priority=128)"},
      {[&] { Sound->Set3DMinMaxDistance({1.5f, 100.0f}); },
       "FMOD_Sound_Set3DMinMaxDistance(sound=0x50, min=1.5, max=100)"},
      {[&] { Sound->Set3DConeSettings({30.0f, 60.0f, 0.5f}); },
       "FMOD_Sound_Set3DConeSettings(sound=0x50, insideconeangle=30, outsideconeangle=60, outsidevolume=0.5)"},
      {[&] { Sound->SetLoopCount(-1); }, "FMOD_Sound_SetLoopCount(sound=0x50, loopcount=-1)"},
      {[&] { Sound->SetMusicSpeed(1.25f); }, "FMOD_Sound_SetMusicSpeed(sound=0x50, speed=1.25)"},
      {[&] { Sound->SetUserData(reinterpret_cast<void*>(0x99)); }, "FMOD_Sound_SetUserData(sound=0x50, userdata=0x99)"},
      {[&] { Sound->Lock(16, 32, &Ptr1, &Ptr2, Len1, Len2); },
       "FMOD_Sound_Lock(sound=0x50, offset=16, length=32, ptr1=" + Hex(&Ptr1) + ", ptr2=" + Hex(&Ptr2) +
           ", len1=" + Hex(&Len1) + ", len2=" + Hex(&Len2) + ")"},
      {[&] { Sound->Unlock(reinterpret_cast<void*>(0x11), nullptr, 8, 0); },
       "FMOD_Sound_Unlock(sound=0x50, ptr1=0x11, ptr2=null, len1=8, len2=0)"},
      {[&] { Sound->SeekData(4096); }, "FMOD_Sound_SeekData(sound=0x50, pcm=4096)"},
      {[&] { Sound->DeleteSyncPoint(FakeHandle<FMOD_SYNCPOINT>(0x77)); },
       "FMOD_Sound_DeleteSyncPoint(sound=0x50, point=0x77)"},
      {[&] { Sound->AddSyncPoint(100, FMOD_TIMEUNIT_MS, ""); },
       "FMOD_Sound_AddSyncPoint(sound=0x50, offset=100, offsettype=1, name=\"\", point=&)"},
      {[&] { Sound->AddSyncPoint(5, 2, "b\xc3\xa4r"); },
       "FMOD_Sound_AddSyncPoint(sound=0x50, offset=5, offsettype=2, name=\"b\xc3\xa4r\", point=&)"},
      // The units come from the parameters, never from the record.
      {[&] { Sound->SetLoopPoints(1, 2, {100, 99, 200, 98}); },
       "FMOD_Sound_SetLoopPoints(sound=0x50, loopstart=100, loopstarttype=1, loopend=200, loopendtype=2)"},
      {[&] { Sound->SetMusicChannelVolume(3, 0.25f); },
       "FMOD_Sound_SetMusicChannelVolume(sound=0x50, channel=3, volume=0.25)"},
      {[&] { Sound->GetLength(4); }, "FMOD_Sound_GetLength(sound=0x50, length=&, lengthtype=4)"},
      {[&] { Sound->GetMusicChannelVolume(7); },
       "FMOD_Sound_GetMusicChannelVolume(sound=0x50, channel=7, volume=&)"},
      {[&] { Sound->GetSyncPoint(2); }, "FMOD_Sound_GetSyncPoint(sound=0x50, index=2, point=&)"},
      {[&] { Sound->ReadData(&Ptr1, 8); },
       "FMOD_Sound_ReadData(sound=0x50, buffer=" + Hex(&Ptr1) + ", length=8, read=&)"},
  };
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run();
    EXPECT_EQ(Normalised(Fake.Calls), Normalised(Strings{C.Call}));
  }
}

TEST(SoundWrapper, ReadsReturnWhatTheEngineWrote) {
  FakeEngine Fake;
  auto& A = Fake.Actions;
  A.FMOD_Sound_GetMode = [](FMOD_SOUND*, FMOD_MODE* M) { return *M = 0x880, FMOD_OK; };
  A.FMOD_Sound_GetDefaults = [](FMOD_SOUND*, float* F, int* P) { return *F = 22050.0f, *P = 64, FMOD_OK; };
  A.FMOD_Sound_Get3DMinMaxDistance = [](FMOD_SOUND*, float* Min, float* Max) {
    return *Min = 2.0f, *Max = 50.0f, FMOD_OK;
  };
  A.FMOD_Sound_Get3DConeSettings = [](FMOD_SOUND*, float* I, float* O, float* V) {
    return *I = 40.0f, *O = 90.0f, *V = 0.3f, FMOD_OK;
  };
  A.FMOD_Sound_GetFormat = [](FMOD_SOUND*, FMOD_SOUND_TYPE* T, FMOD_SOUND_FORMAT* F, int* C, int* B) {
    return *T = FMOD_SOUND_TYPE_WAV, *F = FMOD_SOUND_FORMAT_PCM16, *C = 2, *B = 16, FMOD_OK;
  };
  A.FMOD_Sound_GetNumSubSounds = [](FMOD_SOUND*, int* N) { return *N = 3, FMOD_OK; };
  A.FMOD_Sound_GetNumTags = [](FMOD_SOUND*, int* N, int* U) { return *N = 5, *U = 1, FMOD_OK; };
  A.FMOD_Sound_GetOpenState = [](FMOD_SOUND*, FMOD_OPENSTATE* S, unsigned* P, FMOD_BOOL* St, FMOD_BOOL* D) {
    return *S = FMOD_OPENSTATE_BUFFERING, *P = 40, *St = 1, *D = 0, FMOD_OK;
  };
  A.FMOD_Sound_GetNumSyncPoints = [](FMOD_SOUND*, int* N) { return *N = 4, FMOD_OK; };
  A.FMOD_Sound_GetLoopCount = [](FMOD_SOUND*, int* N) { return *N = -1, FMOD_OK; };
  A.FMOD_Sound_GetMusicNumChannels = [](FMOD_SOUND*, int* N) { return *N = 8, FMOD_OK; };
  A.FMOD_Sound_GetMusicSpeed = [](FMOD_SOUND*, float* S) { return *S = 1.5f, FMOD_OK; };
  A.FMOD_Sound_GetUserData = [](FMOD_SOUND*, void** U) { return *U = reinterpret_cast<void*>(0x99), FMOD_OK; };
  A.FMOD_Sound_GetMusicChannelVolume = [](FMOD_SOUND*, int, float* V) { return *V = 0.75f, FMOD_OK; };
  A.FMOD_Sound_GetSyncPoint = [](FMOD_SOUND*, int, FMOD_SYNCPOINT** P) {
    return *P = FakeHandle<FMOD_SYNCPOINT>(0x71), FMOD_OK;
  };
  A.FMOD_Sound_AddSyncPoint = [](FMOD_SOUND*, unsigned, FMOD_TIMEUNIT, const char*, FMOD_SYNCPOINT** P) {
    return *P = FakeHandle<FMOD_SYNCPOINT>(0x72), FMOD_OK;
  };
  A.FMOD_Sound_ReadData = [](FMOD_SOUND*, void*, unsigned, unsigned* R) { return *R = 6, FMOD_OK; };
  A.FMOD_Sound_Lock = [](FMOD_SOUND*, unsigned, unsigned, void** P1, void** P2, unsigned* L1, unsigned* L2) {
    return *P1 = reinterpret_cast<void*>(0xa1), *P2 = nullptr, *L1 = 32, *L2 = 0, FMOD_OK;
  };
  AnswerSystemObject(Fake);
  // The read ignores what the engine does with the units and reports the
  // parameters.
  A.FMOD_Sound_GetLoopPoints = [](FMOD_SOUND*, unsigned* S, FMOD_TIMEUNIT, unsigned* E, FMOD_TIMEUNIT) {
    return *S = 10, *E = 20, FMOD_OK;
  };

  ITembroFMODSoundPtr Sound = BorrowedSound();
  EXPECT_EQ(Sound->GetMode(), 0x880u);
  EXPECT_EQ(Sound->GetDefaults(), (TTembroFMODSoundDefaults{22050.0f, 64}));
  EXPECT_EQ(Sound->Get3DMinMaxDistance(), (TTembroFMOD3DMinMaxDistance{2.0f, 50.0f}));
  EXPECT_EQ(Sound->Get3DConeSettings(), (TTembroFMOD3DConeSettings{40.0f, 90.0f, 0.3f}));
  EXPECT_EQ(Sound->GetFormat(), (TTembroFMODSoundFormat{FMOD_SOUND_TYPE_WAV, FMOD_SOUND_FORMAT_PCM16, 2, 16}));
  EXPECT_EQ(Sound->GetNumSubSounds(), 3);
  EXPECT_EQ(Sound->GetNumTags(), (TTembroFMODSoundNumTags{5, 1}));
  EXPECT_EQ(Sound->GetOpenState(), (TTembroFMODOpenState{FMOD_OPENSTATE_BUFFERING, 40, 1, 0}));
  EXPECT_EQ(Sound->GetNumSyncPoints(), 4);
  EXPECT_EQ(Sound->GetLoopCount(), -1);
  EXPECT_EQ(Sound->GetMusicNumChannels(), 8);
  EXPECT_EQ(Sound->GetMusicSpeed(), 1.5f);
  EXPECT_EQ(Sound->GetUserData(), reinterpret_cast<void*>(0x99));
  EXPECT_EQ(Sound->GetMusicChannelVolume(0), 0.75f);
  EXPECT_EQ(Sound->GetSyncPoint(0), FakeHandle<FMOD_SYNCPOINT>(0x71));
  EXPECT_EQ(Sound->AddSyncPoint(0, 1, "x"), FakeHandle<FMOD_SYNCPOINT>(0x72));
  EXPECT_EQ(Sound->ReadData(nullptr, 8), 6u);
  EXPECT_EQ(Sound->GetSystemObject(), kOtherSystem);
  EXPECT_EQ(Sound->GetLoopPoints(1, 2), (TTembroFMODLoopPoints{10, 1, 20, 2}));
  EXPECT_EQ(Normalised({Fake.Calls.back()}),
            (Strings{"FMOD_Sound_GetLoopPoints(sound=0x50, loopstart=&, loopstarttype=1, loopend=&, loopendtype=2)"}));
  void* Ptr1 = nullptr;
  void* Ptr2 = reinterpret_cast<void*>(0x1);
  std::uint32_t Len1 = 0, Len2 = 9;
  Sound->Lock(0, 32, &Ptr1, &Ptr2, Len1, Len2);
  EXPECT_EQ(Ptr1, reinterpret_cast<void*>(0xa1));
  EXPECT_EQ(Ptr2, nullptr);
  EXPECT_EQ(Len1, 32u);
  EXPECT_EQ(Len2, 0u);
}

TEST(SoundWrapper, AFailingCallRaisesTheEnginesText) {
  FakeEngine Fake;
  auto& A = Fake.Actions;
  A.FMOD_Sound_GetMode = [](FMOD_SOUND*, FMOD_MODE*) { return FMOD_ERR_INVALID_HANDLE; };
  A.FMOD_Sound_SetLoopCount = [](FMOD_SOUND*, int) { return FMOD_ERR_INVALID_PARAM; };
  A.FMOD_Sound_GetSystemObject = [](FMOD_SOUND*, FMOD_SYSTEM**) { return FMOD_ERR_INVALID_HANDLE; };
  // ReadData raises at the end of the data too.
  A.FMOD_Sound_ReadData = [](FMOD_SOUND*, void*, unsigned, unsigned* R) { return *R = 3, FMOD_ERR_FILE_EOF; };
  ITembroFMODSoundPtr Sound = BorrowedSound();
  EXPECT_EQ(RaisedText([&] { Sound->GetMode(); }), "An invalid object handle was used.");
  EXPECT_EQ(RaisedText([&] { Sound->SetLoopCount(2); }), kInvalidParam);
  EXPECT_EQ(RaisedText([&] { Sound->GetSystemObject(); }), "An invalid object handle was used.");
  EXPECT_EQ(RaisedText([&] { Sound->ReadData(nullptr, 4); }),
            "End of file unexpectedly reached while trying to read essential data (truncated?).");
}

TEST(SoundWrapper, LengthToleratesAStolenChannelAndAnInvalidHandleAndRaisesOtherwise) {
  struct Case {
    FMOD_RESULT Result;
    bool Writes;           // whether the engine writes 1234 before answering
    std::uint32_t Length;  // returned when nothing is raised
    const char* Raised;
  } const Cases[] = {
      {FMOD_OK, true, 1234, nullptr},
      {FMOD_ERR_CHANNEL_STOLEN, true, 1234, nullptr},
      {FMOD_ERR_CHANNEL_STOLEN, false, 0, nullptr},
      {FMOD_ERR_INVALID_HANDLE, true, 1234, nullptr},
      {FMOD_ERR_INVALID_HANDLE, false, 0, nullptr},
      {FMOD_ERR_INVALID_PARAM, true, 0, kInvalidParam},
      {FMOD_ERR_NOTREADY, false, 0, "Operation could not be performed because specified sound/DSP connection is not ready."},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_Sound_GetLength = [&C](FMOD_SOUND*, unsigned* ALength, FMOD_TIMEUNIT) {
      if (C.Writes) *ALength = 1234;
      return C.Result;
    };
    ITembroFMODSoundPtr Sound = BorrowedSound();
    if (C.Raised == nullptr)
      EXPECT_EQ(Sound->GetLength(FMOD_TIMEUNIT_MS), C.Length) << C.Result;
    else
      EXPECT_EQ(RaisedText([&] { Sound->GetLength(FMOD_TIMEUNIT_MS); }), C.Raised) << C.Result;
  }
}

TEST(SoundWrapper, NameReadsAZeroFilled512ByteBufferAndTrimsBothEnds) {
  struct Case {
    std::string Written;
    std::string Name;
  } const Cases[] = {
      {"drumloop", "drumloop"},
      {" \t explosion \r\n", "explosion"},
      {"jaguar \xc3\xa9t\xc3\xa9", "jaguar \xc3\xa9t\xc3\xa9"},
      {std::string(512, 'x'), std::string(512, 'x')},  // no terminator: nothing read past the buffer
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    bool ZeroFilled = true;
    Fake.Actions.FMOD_Sound_GetName = [&](FMOD_SOUND*, char* ABuffer, int ALength) {
      for (int I = 0; I < ALength; ++I) ZeroFilled = ZeroFilled && ABuffer[I] == '\0';
      std::memcpy(ABuffer, C.Written.data(), C.Written.size());
      return FMOD_OK;
    };
    EXPECT_EQ(BorrowedSound()->GetName(), C.Name);
    EXPECT_TRUE(ZeroFilled);
    EXPECT_NE(Fake.Calls.at(0).find(", namelen=512)"), std::string::npos) << Fake.Calls.at(0);
  }
}

// ---------------------------------------------------------------------------
// Custom rolloff

TEST(SoundWrapper, CustomRolloffReadCopiesTheEnginesPoints) {
  FakeEngine Fake;
  FMOD_VECTOR Curve[3] = {{0, 1, 0}, {10, 0.5f, 0}, {20, 0, 0}};
  int Count = 3;
  Fake.Actions.FMOD_Sound_Get3DCustomRolloff = [&](FMOD_SOUND*, FMOD_VECTOR** APoints, int* ANumPoints) {
    *APoints = Count > 0 ? Curve : nullptr;
    *ANumPoints = Count;
    return FMOD_OK;
  };
  ITembroFMODSoundPtr Sound = BorrowedSound();
  TTembroFMOD3DCustomRolloff Read = Sound->Get3DCustomRolloff();
  Curve[1].y = 99.0f;  // the record owns a copy
  EXPECT_EQ(Read.NumPoints, 3);
  EXPECT_EQ(Read.Points, (std::vector<TPoint3D>{{0, 1, 0}, {10, 0.5f, 0}, {20, 0, 0}}));

  Count = 0;
  Read = Sound->Get3DCustomRolloff();
  EXPECT_EQ(Read.NumPoints, 0);
  EXPECT_TRUE(Read.Points.empty());
}

TEST(SoundWrapper, CustomRolloffWriteSendsNumPointsPointsAndRefusesACountBeyondThem) {
  std::vector<TPoint3D> Points{{0, 1, 0}, {10, 0.5f, 0}, {20, 0, 0}};
  struct Case {
    std::int32_t NumPoints;
    std::string Call;  // empty when refused
  } const Cases[] = {
      {0, "FMOD_Sound_Set3DCustomRolloff(sound=0x50, points=null, numpoints=0)"},
      {-2, "FMOD_Sound_Set3DCustomRolloff(sound=0x50, points=null, numpoints=0)"},
      {2, "FMOD_Sound_Set3DCustomRolloff(sound=0x50, points=ADDRESS, numpoints=2)"},
      {3, "FMOD_Sound_Set3DCustomRolloff(sound=0x50, points=ADDRESS, numpoints=3)"},
      {4, ""},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    TTembroFMOD3DCustomRolloff Value{Points, C.NumPoints};
    ITembroFMODSoundPtr Sound = BorrowedSound();
    if (C.Call.empty()) {
      EXPECT_EQ(RaisedText([&] { Sound->Set3DCustomRolloff(Value); }), kInvalidParam);
      EXPECT_TRUE(Fake.Calls.empty());
      continue;
    }
    Sound->Set3DCustomRolloff(Value);
    EXPECT_EQ(Fake.Calls, (Strings{std::regex_replace(C.Call, std::regex("ADDRESS"), Hex(Value.Points.data()))}));
  }
  // An empty curve with a positive count is refused as well.
  FakeEngine Fake;
  EXPECT_EQ(RaisedText([] { BorrowedSound()->Set3DCustomRolloff({{}, 1}); }), kInvalidParam);
  EXPECT_TRUE(Fake.Calls.empty());
}

// ---------------------------------------------------------------------------
// Playing

TEST(SoundWrapper, PlayAsksTheSoundForItsSystemAndPassesTheGroupOrNull) {
  FakeEngine Fake;
  AnswerSystemObject(Fake);
  Fake.Actions.FMOD_System_PlaySound = [](FMOD_SYSTEM*, FMOD_SOUND*, FMOD_CHANNELGROUP*, FMOD_BOOL,
                                          FMOD_CHANNEL** AOut) {
    if (AOut != nullptr) *AOut = kChannel;
    return FMOD_OK;
  };
  ITembroFMODSoundPtr Sound = BorrowedSound();
  const ITembroFMODChannelGroupPtr Group(new TTembroFMODChannelGroup(kChannelGroup, TTembroFMODOwnership::Borrowed));
  struct Case {
    std::function<void()> Run;
    std::string PlayCall;
  } const Cases[] = {
      {[&] { Sound->Play(nullptr, 0); },
       "FMOD_System_PlaySound(system=0x5252, sound=0x50, channelgroup=null, paused=0, channel=null)"},
      {[&] { Sound->Play(Group, 1); },
       "FMOD_System_PlaySound(system=0x5252, sound=0x50, channelgroup=0x6600, paused=1, channel=null)"},
      {[&] { EXPECT_EQ(Sound->PlayWithChannel(nullptr, 1)->GetInternalHandle(), kChannel); },
       "FMOD_System_PlaySound(system=0x5252, sound=0x50, channelgroup=null, paused=1, channel=&)"},
      {[&] { EXPECT_EQ(Sound->PlayWithChannel(Group, 0)->GetInternalHandle(), kChannel); },
       "FMOD_System_PlaySound(system=0x5252, sound=0x50, channelgroup=0x6600, paused=0, channel=&)"},
  };
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run();  // the channel wrapper is dropped at once and leaves the channel alone
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_Sound_GetSystemObject(sound=0x50, system=&)", C.PlayCall}));
  }
  Fake.Actions.FMOD_Sound_GetSystemObject = [](FMOD_SOUND*, FMOD_SYSTEM**) { return FMOD_ERR_INVALID_HANDLE; };
  Fake.Calls.clear();
  EXPECT_THROW(Sound->PlayWithChannel(nullptr, 0), Lib::ETembroFMODError);
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_Sound_GetSystemObject"}));
}

// ---------------------------------------------------------------------------
// Sound groups, tags and sync points

TEST(SoundWrapper, SetSoundGroupPassesTheGroupsHandleAndRefusesNull) {
  FakeEngine Fake;
  ITembroFMODSoundPtr Sound = BorrowedSound();
  EXPECT_EQ(RaisedText([&] { Sound->SetSoundGroup(nullptr); }), "SetSoundGroup: ASoundGroup is null");
  EXPECT_TRUE(Fake.Calls.empty());
  const ITembroFMODSoundGroupPtr Group(new TTembroFMODSoundGroup(kSoundGroup, TTembroFMODOwnership::Borrowed));
  Sound->SetSoundGroup(Group);
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_Sound_SetSoundGroup(sound=0x50, soundgroup=0x60)"}));
}

TEST(SoundWrapper, GetTagPassesNullForAnEmptyNameAndAllTagsCopiesEachTagInOrder) {
  FakeEngine Fake;
  int NumTags = 0;
  static char Names[2][8] = {"TITLE", "ARTIST"};
  Fake.Actions.FMOD_Sound_GetNumTags = [&](FMOD_SOUND*, int* N, int* U) { return *N = NumTags, *U = 0, FMOD_OK; };
  Fake.Actions.FMOD_Sound_GetTag = [](FMOD_SOUND*, const char*, int AIndex, FMOD_TAG* ATag) {
    ATag->name = Names[AIndex];
    ATag->datalen = static_cast<unsigned>(10 + AIndex);
    return FMOD_OK;
  };
  ITembroFMODSoundPtr Sound = BorrowedSound();
  FMOD_TAG Tag{};
  Sound->GetTag("ARTIST", 1, &Tag);
  Sound->GetTag("", 0, &Tag);
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_Sound_GetTag(sound=0x50, name=\"ARTIST\", index=1, tag=" + Hex(&Tag) + ")",
                                 "FMOD_Sound_GetTag(sound=0x50, name=null, index=0, tag=" + Hex(&Tag) + ")"}));

  Fake.Calls.clear();
  EXPECT_TRUE(Sound->GetAllTagsAsList().empty());
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_Sound_GetNumTags"}));

  NumTags = 2;
  Fake.Calls.clear();
  const std::vector<FMOD_TAG> Tags = Sound->GetAllTagsAsList();
  ASSERT_EQ(Tags.size(), 2u);
  EXPECT_EQ(Tags[0].name, Names[0]);
  EXPECT_EQ(Tags[1].name, Names[1]);
  EXPECT_EQ(Tags[1].datalen, 11u);
  const Strings Calls = Normalised(Fake.Calls);
  EXPECT_EQ(Calls, (Strings{"FMOD_Sound_GetNumTags(sound=0x50, numtags=&, numtagsupdated=&)",
                            "FMOD_Sound_GetTag(sound=0x50, name=null, index=0, tag=&)",
                            "FMOD_Sound_GetTag(sound=0x50, name=null, index=1, tag=&)"}));

  Fake.Actions.FMOD_Sound_GetTag = [](FMOD_SOUND*, const char*, int, FMOD_TAG*) { return FMOD_ERR_TAGNOTFOUND; };
  EXPECT_THROW(Sound->GetAllTagsAsList(), Lib::ETembroFMODError);
}

namespace {

// A fake sound with sync points named as given; sync point I is the engine
// object 0x900 + I at offset 1000 * (I + 1) in the asked unit's number.
void PrepareSyncPoints(FakeEngine& AFake, const Strings& ANames) {
  AFake.Actions.FMOD_Sound_GetNumSyncPoints = [ANames](FMOD_SOUND*, int* ACount) {
    *ACount = static_cast<int>(ANames.size());
    return FMOD_OK;
  };
  AFake.Actions.FMOD_Sound_GetSyncPoint = [](FMOD_SOUND*, int AIndex, FMOD_SYNCPOINT** APoint) {
    *APoint = FakeHandle<FMOD_SYNCPOINT>(0x900 + AIndex);
    return FMOD_OK;
  };
  AFake.Actions.FMOD_Sound_GetSyncPointInfo = [ANames](FMOD_SOUND*, FMOD_SYNCPOINT* APoint, char* AName, int ANameLen,
                                                       unsigned* AOffset, FMOD_TIMEUNIT AOffsetType) {
    const auto Index = reinterpret_cast<std::uintptr_t>(APoint) - 0x900;
    if (Index >= ANames.size() || AName == nullptr || ANameLen <= 0) return FMOD_ERR_INVALID_PARAM;
    const std::string& Name = ANames[Index];
    const std::size_t Copied = std::min<std::size_t>(Name.size(), static_cast<std::size_t>(ANameLen) - 1);
    std::memcpy(AName, Name.data(), Copied);
    AName[Copied] = '\0';
    *AOffset = static_cast<unsigned>(1000 * (Index + 1) * AOffsetType);
    return FMOD_OK;
  };
}

}  // namespace

TEST(SoundWrapper, GetSyncPointInfoDescribesTheSyncPointOfThatName) {
  const std::string Long(600, 'a');
  FakeEngine Fake;
  PrepareSyncPoints(Fake, {"intro", "chorus", " padded ", Long, "chorus"});
  ITembroFMODSoundPtr Sound = BorrowedSound();
  struct Case {
    std::string Name;
    std::uintptr_t Point;  // 0: refused
    std::uint32_t Offset;
  } const Cases[] = {
      {"intro", 0x900, 1000},
      {"chorus", 0x901, 2000},  // the first of two
      {" padded ", 0x902, 3000},
      {Long, 0x903, 4000},  // longer than the usual name buffer
      {std::string(599, 'a'), 0, 0},  // a prefix of a cut name is not that name
      {"padded", 0, 0},
      {"verse", 0, 0},
      {"", 0, 0},
  };
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    if (C.Point == 0) {
      EXPECT_EQ(RaisedText([&] { Sound->GetSyncPointInfo(C.Name, FMOD_TIMEUNIT_MS); }), kInvalidParam) << C.Name;
      continue;
    }
    const TTembroFMODSyncPointInfo Info = Sound->GetSyncPointInfo(C.Name, 2);
    EXPECT_EQ(Info.Point, FakeHandle<FMOD_SYNCPOINT>(C.Point)) << C.Name;
    EXPECT_EQ(Info.Offset, 2 * C.Offset) << C.Name;
    EXPECT_EQ(Info.OffsetType, 2u) << C.Name;
  }
  // Each sync point is asked about with its own handle and a wrapper-owned
  // buffer of at least 512 bytes.
  Fake.Calls.clear();
  Sound->GetSyncPointInfo("chorus", 1);
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_Sound_GetNumSyncPoints(sound=0x50, numsyncpoints=&)",
                     "FMOD_Sound_GetSyncPoint(sound=0x50, index=0, point=&)",
                     "FMOD_Sound_GetSyncPointInfo(sound=0x50, point=0x900, name=&, namelen=512, offset=&, offsettype=1)",
                     "FMOD_Sound_GetSyncPoint(sound=0x50, index=1, point=&)",
                     "FMOD_Sound_GetSyncPointInfo(sound=0x50, point=0x901, name=&, namelen=512, offset=&, "
                     "offsettype=1)"}));
}

TEST(SoundWrapper, GetSyncPointInfoOnASoundWithoutSyncPointsRaisesTheInvalidParameterText) {
  FakeEngine Fake;
  PrepareSyncPoints(Fake, {});
  EXPECT_EQ(RaisedText([] { BorrowedSound()->GetSyncPointInfo("intro", 1); }), kInvalidParam);
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_Sound_GetNumSyncPoints"}));
}
