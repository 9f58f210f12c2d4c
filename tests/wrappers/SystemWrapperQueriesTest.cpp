// The system wrapper's configuration and query operations against the
// recording fake: which entry point, which arguments in which order, and what
// comes back.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;

namespace {

// A wrapper around kSystem that leaves the engine system alone when it goes,
// so that the calls of each test are only those of the operations used.
ITembroFMODSystemPtr BorrowedSystem() { return Borrowed<TTembroFMODSystem>(kSystem); }

float F_CALLBACK Rolloff(FMOD_CHANNELCONTROL*, float) { return 1.0f; }

}  // namespace

TEST(SystemWrapperQueries, SettersPassTheirValuesInTheEngineOrder) {
  static FMOD_REVERB_PROPERTIES Props = FMOD_PRESET_CAVE;
  struct Case {
    std::function<void(ITembroFMODSystem&)> Call;
    std::string Expected;
  } const Cases[] = {
      {[](ITembroFMODSystem& S) { S.SetOutput(FMOD_OUTPUTTYPE_NOSOUND_NRT); },
       "FMOD_System_SetOutput(system=0x5151, output=4)"},
      {[](ITembroFMODSystem& S) { S.SetDriver(3); }, "FMOD_System_SetDriver(system=0x5151, driver=3)"},
      {[](ITembroFMODSystem& S) { S.SetSoftwareChannels(64); },
       "FMOD_System_SetSoftwareChannels(system=0x5151, numsoftwarechannels=64)"},
      {[](ITembroFMODSystem& S) { S.SetSoftwareFormat({44100, FMOD_SPEAKERMODE_5POINT1, 2}); },
       "FMOD_System_SetSoftwareFormat(system=0x5151, samplerate=44100, speakermode=6, numrawspeakers=2)"},
      {[](ITembroFMODSystem& S) { S.SetDSPBufferSize({1024, 4}); },
       "FMOD_System_SetDSPBufferSize(system=0x5151, bufferlength=1024, numbuffers=4)"},
      {[](ITembroFMODSystem& S) { S.SetOutputByPlugin(7); },
       "FMOD_System_SetOutputByPlugin(system=0x5151, handle=7)"},
      {[](ITembroFMODSystem& S) { S.SetStreamBufferSize({16384, FMOD_TIMEUNIT_RAWBYTES}); },
       "FMOD_System_SetStreamBufferSize(system=0x5151, filebuffersize=16384, filebuffersizetype=8)"},
      {[](ITembroFMODSystem& S) { S.Set3DSettings({1.5f, 2.25f, 0.5f}); },
       "FMOD_System_Set3DSettings(system=0x5151, dopplerscale=1.5, distancefactor=2.25, rolloffscale=0.5)"},
      {[](ITembroFMODSystem& S) { S.Set3DNumListeners(2); },
       "FMOD_System_Set3DNumListeners(system=0x5151, numlisteners=2)"},
      {[](ITembroFMODSystem& S) { S.SetUserData(reinterpret_cast<void*>(0xABC)); },
       "FMOD_System_SetUserData(system=0x5151, userdata=0xabc)"},
      {[](ITembroFMODSystem& S) { S.SetGeometrySettings(250.0f); },
       "FMOD_System_SetGeometrySettings(system=0x5151, maxworldsize=250)"},
      {[](ITembroFMODSystem& S) { S.SetNetworkProxy("proxy.example:3128"); },
       "FMOD_System_SetNetworkProxy(system=0x5151, proxy=\"proxy.example:3128\")"},
      // Empty text reaches the engine as a zero byte, never as null.
      {[](ITembroFMODSystem& S) { S.SetNetworkProxy(""); }, "FMOD_System_SetNetworkProxy(system=0x5151, proxy=\"\")"},
      {[](ITembroFMODSystem& S) { S.SetNetworkTimeout(1500); },
       "FMOD_System_SetNetworkTimeout(system=0x5151, timeout=1500)"},
      {[](ITembroFMODSystem& S) { S.SetPluginPath("/opt/plugins"); },
       "FMOD_System_SetPluginPath(system=0x5151, path=\"/opt/plugins\")"},
      {[](ITembroFMODSystem& S) { S.SetPluginPath(""); }, "FMOD_System_SetPluginPath(system=0x5151, path=\"\")"},
      {[](ITembroFMODSystem& S) { S.UnloadPlugin(9); }, "FMOD_System_UnloadPlugin(system=0x5151, handle=9)"},
      {[](ITembroFMODSystem& S) { S.SetSpeakerPosition(FMOD_SPEAKER_BACK_LEFT, {-0.5f, 0.25f, 1}); },
       "FMOD_System_SetSpeakerPosition(system=0x5151, speaker=6, x=-0.5, y=0.25, active=1)"},
      {[](ITembroFMODSystem& S) { S.Set3DRolloffCallback(&Rolloff); },
       "FMOD_System_Set3DRolloffCallback(system=0x5151, callback=" + Hex(reinterpret_cast<void*>(&Rolloff)) + ")"},
      {[](ITembroFMODSystem& S) { S.SetReverbProperties(2, Props); },
       "FMOD_System_SetReverbProperties(system=0x5151, instance=2, prop=" + Hex(&Props) + ")"},
      {[](ITembroFMODSystem& S) { S.RecordStop(1); }, "FMOD_System_RecordStop(system=0x5151, id=1)"},
      {[](ITembroFMODSystem& S) { S.MixerSuspend(); }, "FMOD_System_MixerSuspend(system=0x5151)"},
      {[](ITembroFMODSystem& S) { S.MixerResume(); }, "FMOD_System_MixerResume(system=0x5151)"},
      {[](ITembroFMODSystem& S) { S.Update(); }, "FMOD_System_Update(system=0x5151)"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    C.Call(*BorrowedSystem());
    EXPECT_EQ(Fake.Calls, Strings{C.Expected});
  }
}

TEST(SystemWrapperQueries, GettersReturnWhatTheEngineWroteFieldByField) {
  struct Case {
    const char* EntryPoint;
    std::function<void(FakeEngine&)> Arrange;
    std::function<void(ITembroFMODSystem&)> Check;
  } const Cases[] = {
      {"FMOD_System_GetChannelsPlaying",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetChannelsPlaying = [](FMOD_SYSTEM*, int* A, int* B) { return *A = 5, *B = 3, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetChannelsPlaying(), (TTembroFMODChannelsPlaying{5, 3})); }},
      {"FMOD_System_GetCPUUsage",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetCPUUsage = [](FMOD_SYSTEM*, float* A, float* B, float* C, float* D, float* E) {
           return *A = 1, *B = 2, *C = 3, *D = 4, *E = 10, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetCPUUsage(), (TTembroFMODCPUUsage{1, 2, 3, 4, 10})); }},
      {"FMOD_System_GetFileUsage",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetFileUsage = [](FMOD_SYSTEM*, long long* A, long long* B, long long* C) {
           return *A = 1LL << 40, *B = 2, *C = 3, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetFileUsgae(), (TTembroFMODFileUsage{1LL << 40, 2, 3})); }},
      {"FMOD_System_GetSoundRAM",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetSoundRAM = [](FMOD_SYSTEM*, int* A, int* B, int* C) {
           return *A = 100, *B = 200, *C = 300, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetSoundRAM(), (TTembroFMODSoundRAM{100, 200, 300})); }},
      {"FMOD_System_GetNumDrivers",
       [](FakeEngine& F) { F.Actions.FMOD_System_GetNumDrivers = [](FMOD_SYSTEM*, int* A) { return *A = 2, FMOD_OK; }; },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetNumDrivers(), 2); }},
      {"FMOD_System_GetOutput",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetOutput = [](FMOD_SYSTEM*, FMOD_OUTPUTTYPE* A) {
           return *A = FMOD_OUTPUTTYPE_WAVWRITER, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetOutput(), FMOD_OUTPUTTYPE_WAVWRITER); }},
      {"FMOD_System_GetDriver",
       [](FakeEngine& F) { F.Actions.FMOD_System_GetDriver = [](FMOD_SYSTEM*, int* A) { return *A = 1, FMOD_OK; }; },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetDriver(), 1); }},
      {"FMOD_System_GetSoftwareChannels",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetSoftwareChannels = [](FMOD_SYSTEM*, int* A) { return *A = 48, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetSoftwareChannels(), 48); }},
      {"FMOD_System_GetSoftwareFormat",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetSoftwareFormat = [](FMOD_SYSTEM*, int* A, FMOD_SPEAKERMODE* B, int* C) {
           return *A = 48000, *B = FMOD_SPEAKERMODE_QUAD, *C = 4, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) {
         EXPECT_EQ(S.GetSoftwareFormat(), (TTembroFMODSoftwareFormat{48000, FMOD_SPEAKERMODE_QUAD, 4}));
       }},
      {"FMOD_System_GetDSPBufferSize",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetDSPBufferSize = [](FMOD_SYSTEM*, unsigned* A, int* B) {
           return *A = 512, *B = 8, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetDSPBufferSize(), (TTembroFMODDSPBufferSize{512, 8})); }},
      {"FMOD_System_GetOutputByPlugin",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetOutputByPlugin = [](FMOD_SYSTEM*, unsigned* A) { return *A = 77, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetOutputByPlugin(), 77u); }},
      {"FMOD_System_GetStreamBufferSize",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetStreamBufferSize = [](FMOD_SYSTEM*, unsigned* A, FMOD_TIMEUNIT* B) {
           return *A = 4096, *B = FMOD_TIMEUNIT_PCM, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) {
         EXPECT_EQ(S.GetStreamBufferSize(), (TTembroFMODStreamBufferSize{4096, FMOD_TIMEUNIT_PCM}));
       }},
      {"FMOD_System_Get3DSettings",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_Get3DSettings = [](FMOD_SYSTEM*, float* A, float* B, float* C) {
           return *A = 1, *B = 2, *C = 3, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.Get3DSettings(), (TTembroFMOD3DSettings{1, 2, 3})); }},
      {"FMOD_System_Get3DNumListeners",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_Get3DNumListeners = [](FMOD_SYSTEM*, int* A) { return *A = 4, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.Get3DNumListeners(), 4); }},
      {"FMOD_System_GetUserData",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetUserData = [](FMOD_SYSTEM*, void** A) {
           return *A = reinterpret_cast<void*>(0xFEED), FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetUserData(), reinterpret_cast<void*>(0xFEED)); }},
      {"FMOD_System_GetRecordNumDrivers",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetRecordNumDrivers = [](FMOD_SYSTEM*, int* A, int* B) {
           return *A = 3, *B = 1, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetRecordNumDrivers(), (TTembroFMODRecordNumDrivers{3, 1})); }},
      {"FMOD_System_GetGeometrySettings",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetGeometrySettings = [](FMOD_SYSTEM*, float* A) { return *A = 500, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetGeometrySettings(), 500.0f); }},
      {"FMOD_System_GetNetworkTimeout",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetNetworkTimeout = [](FMOD_SYSTEM*, int* A) { return *A = 5000, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetNetworkTimeout(), 5000); }},
      {"FMOD_System_GetNumNestedPlugins",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetNumNestedPlugins = [](FMOD_SYSTEM*, unsigned H, int* A) {
           return *A = static_cast<int>(H) + 1, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetNestedPlugins(4), 5); }},
      {"FMOD_System_GetNestedPlugin",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetNestedPlugin = [](FMOD_SYSTEM*, unsigned H, int I, unsigned* A) {
           return *A = H * 100 + static_cast<unsigned>(I), FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetNestedPlugin(4, 2), 402u); }},
      {"FMOD_System_GetNumPlugins",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetNumPlugins = [](FMOD_SYSTEM*, FMOD_PLUGINTYPE T, int* A) {
           return *A = T == FMOD_PLUGINTYPE_CODEC ? 12 : 0, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetNumPlugins(FMOD_PLUGINTYPE_CODEC), 12); }},
      {"FMOD_System_GetPluginHandle",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetPluginHandle = [](FMOD_SYSTEM*, FMOD_PLUGINTYPE T, int I, unsigned* A) {
           return *A = static_cast<unsigned>(T) * 100 + static_cast<unsigned>(I), FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetPluginHandle(FMOD_PLUGINTYPE_DSP, 3), 203u); }},
      {"FMOD_System_GetSpeakerPosition",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetSpeakerPosition = [](FMOD_SYSTEM*, FMOD_SPEAKER, float* X, float* Y, FMOD_BOOL* A) {
           return *X = -1, *Y = 0.5f, *A = 1, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) {
         EXPECT_EQ(S.GetSpeakerPosition(FMOD_SPEAKER_FRONT_LEFT), (TTembroFMODSpeakerPosition{-1, 0.5f, 1}));
       }},
      {"FMOD_System_GetSpeakerModeChannels",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetSpeakerModeChannels = [](FMOD_SYSTEM*, FMOD_SPEAKERMODE M, int* A) {
           return *A = M == FMOD_SPEAKERMODE_7POINT1 ? 8 : 0, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetSpeakerModeChannels(FMOD_SPEAKERMODE_7POINT1), 8); }},
      {"FMOD_System_GetRecordPosition",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetRecordPosition = [](FMOD_SYSTEM*, int Id, unsigned* A) {
           return *A = 1000u + static_cast<unsigned>(Id), FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_EQ(S.GetRecordPosition(2), 1002u); }},
      {"FMOD_System_IsRecording",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_IsRecording = [](FMOD_SYSTEM*, int Id, FMOD_BOOL* A) { return *A = Id == 1, FMOD_OK; };
       },
       [](ITembroFMODSystem& S) {
         EXPECT_EQ(S.IsRecording(1), 1);
         EXPECT_EQ(S.IsRecording(0), 0);
       }},
      {"FMOD_System_GetDSPInfoByPlugin",
       [](FakeEngine& F) {
         static const FMOD_DSP_DESCRIPTION Description{};
         F.Actions.FMOD_System_GetDSPInfoByPlugin = [](FMOD_SYSTEM*, unsigned, const FMOD_DSP_DESCRIPTION** A) {
           return *A = &Description, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) { EXPECT_NE(S.GetDSPInfoByPlugin(3), nullptr); }},
      {"FMOD_System_GetReverbProperties",
       [](FakeEngine& F) {
         F.Actions.FMOD_System_GetReverbProperties = [](FMOD_SYSTEM*, int, FMOD_REVERB_PROPERTIES* A) {
           return *A = FMOD_PRESET_HANGAR, FMOD_OK;
         };
       },
       [](ITembroFMODSystem& S) {
         const FMOD_REVERB_PROPERTIES P = S.GetReverbProperties(1);
         EXPECT_EQ(std::memcmp(&P, &FMOD_PRESET_HANGAR, sizeof P), 0);
       }},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    C.Arrange(Fake);
    C.Check(*BorrowedSystem());
    EXPECT_FALSE(Fake.Names().empty()) << C.EntryPoint;
    for (const std::string& Name : Fake.Names()) EXPECT_EQ(Name, C.EntryPoint);
    EXPECT_EQ(Fake.Calls.front().rfind(std::string(C.EntryPoint) + "(system=0x5151", 0), 0u) << Fake.Calls.front();
  }
}

TEST(SystemWrapperQueries, NetworkProxyReadsA512ByteBufferAndTrimsTheText) {
  struct Case {
    std::string Written;  // what the engine writes into the buffer
    std::string Expected;
  } const Cases[] = {
      {"", ""},
      {"proxy.example:3128", "proxy.example:3128"},
      {" \t proxy.example:3128 \r\n", "proxy.example:3128"},
      {"in ner", "in ner"},
      {std::string(511, 'p'), std::string(511, 'p')},
      {"gr\xC3\xBC\xC3\x9F" "e", "gr\xC3\xBC\xC3\x9F" "e"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    int Capacity = 0;
    bool ZeroFilled = true;
    Fake.Actions.FMOD_System_GetNetworkProxy = [&](FMOD_SYSTEM*, char* ABuffer, int ALength) {
      Capacity = ALength;
      for (int I = 0; I < ALength; ++I) ZeroFilled = ZeroFilled && ABuffer[I] == 0;
      std::memcpy(ABuffer, C.Written.data(), C.Written.size());
      return FMOD_OK;
    };
    EXPECT_EQ(BorrowedSystem()->GetNetworkProxy(), C.Expected);
    EXPECT_EQ(Capacity, 512);
    EXPECT_TRUE(ZeroFilled);
  }
}

// The names that the engine writes for drivers and plugins reach the caller
// through AName, from a buffer the wrapper owns.
TEST(SystemWrapperQueries, DriverAndPluginInfoHandTheNameBackWithTheRecord) {
  constexpr FMOD_GUID kGuid{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  const TGUID kExpectedGuid = TGUID::Parse("{12345678-9ABC-DEF0-0102-030405060708}");
  auto WriteName = [](char* ABuffer, int ALength) {
    EXPECT_NE(ABuffer, nullptr);
    EXPECT_EQ(ALength, 512);
    if (ABuffer != nullptr) std::strcpy(ABuffer, "  Speakers (USB)\n");
  };
  {
    FakeEngine Fake;
    Fake.Actions.FMOD_System_GetDriverInfo = [&](FMOD_SYSTEM*, int AId, char* AName, int ALength, FMOD_GUID* AGuid,
                                                 int* ARate, FMOD_SPEAKERMODE* AMode, int* AChannels) {
      EXPECT_EQ(AId, 1);
      WriteName(AName, ALength);
      return *AGuid = kGuid, *ARate = 48000, *AMode = FMOD_SPEAKERMODE_STEREO, *AChannels = 2, FMOD_OK;
    };
    std::string Name = "old";
    const TTembroFMODDriverInfo Info = BorrowedSystem()->GetDriverInfo(1, Name);
    EXPECT_EQ(Name, "Speakers (USB)");
    EXPECT_EQ(Info, (TTembroFMODDriverInfo{kExpectedGuid, 48000, FMOD_SPEAKERMODE_STEREO, 2}));
  }
  {
    FakeEngine Fake;
    Fake.Actions.FMOD_System_GetRecordDriverInfo = [&](FMOD_SYSTEM*, int AId, char* AName, int ALength,
                                                       FMOD_GUID* AGuid, int* ARate, FMOD_SPEAKERMODE* AMode,
                                                       int* AChannels, FMOD_DRIVER_STATE* AState) {
      EXPECT_EQ(AId, 2);
      WriteName(AName, ALength);
      *AGuid = kGuid;
      return *ARate = 44100, *AMode = FMOD_SPEAKERMODE_MONO, *AChannels = 1, *AState = 3, FMOD_OK;
    };
    std::string Name;
    const TTembroFMODRecordDriverInfo Info = BorrowedSystem()->GetRecordDriverInfo(2, Name);
    EXPECT_EQ(Name, "Speakers (USB)");
    EXPECT_EQ(Info, (TTembroFMODRecordDriverInfo{kExpectedGuid, 44100, FMOD_SPEAKERMODE_MONO, 1, 3}));
  }
  {
    FakeEngine Fake;
    Fake.Actions.FMOD_System_GetPluginInfo = [&](FMOD_SYSTEM*, unsigned AHandle, FMOD_PLUGINTYPE* AType, char* AName,
                                                 int ALength, unsigned* AVersion) {
      EXPECT_EQ(AHandle, 17u);
      WriteName(AName, ALength);
      return *AType = FMOD_PLUGINTYPE_OUTPUT, *AVersion = 0x00010002, FMOD_OK;
    };
    std::string Name;
    const TTembroFMODPluginInfo Info = BorrowedSystem()->GetPluginInfo(17, Name);
    EXPECT_EQ(Name, "Speakers (USB)");
    EXPECT_EQ(Info, (TTembroFMODPluginInfo{FMOD_PLUGINTYPE_OUTPUT, 0x00010002}));
  }
  {  // a failed query raises and leaves the caller's name alone
    FakeEngine Fake;
    Fake.Actions.FMOD_System_GetDriverInfo = [](FMOD_SYSTEM*, int, char*, int, FMOD_GUID*, int*, FMOD_SPEAKERMODE*,
                                                int*) { return FMOD_ERR_INVALID_PARAM; };
    std::string Name = "kept";
    EXPECT_THROW(BorrowedSystem()->GetDriverInfo(9, Name), Lib::ETembroFMODError);
    EXPECT_EQ(Name, "kept");
  }
}

// LoadPlugin and GetDefaultMixMatrix take their arguments in another order
// than the engine's entry points.
TEST(SystemWrapperQueries, ArgumentsThatChangePlacesReachTheEngineInItsOrder) {
  {
    FakeEngine Fake;
    Fake.Actions.FMOD_System_LoadPlugin = [](FMOD_SYSTEM*, const char*, unsigned* AHandle, unsigned) {
      return *AHandle = 42, FMOD_OK;
    };
    EXPECT_EQ(BorrowedSystem()->LoadPlugin("codec.so", 7), 42u);
    ASSERT_EQ(Fake.Calls.size(), 1u);
    const std::string& Call = Fake.Calls[0];
    EXPECT_EQ(Call.rfind("FMOD_System_LoadPlugin(system=0x5151, filename=\"codec.so\", handle=0x", 0), 0u) << Call;
    EXPECT_EQ(Call.substr(Call.size() - 11), "priority=7)") << Call;
  }
  {
    FakeEngine Fake;
    BorrowedSystem()->LoadPlugin("", 0);
    EXPECT_EQ(Fake.Calls.at(0).rfind("FMOD_System_LoadPlugin(system=0x5151, filename=\"\", handle=0x", 0), 0u);
  }
  {
    FakeEngine Fake;
    float Matrix[32] = {};
    Fake.Actions.FMOD_System_GetDefaultMixMatrix = [](FMOD_SYSTEM*, FMOD_SPEAKERMODE, FMOD_SPEAKERMODE, float* AMatrix,
                                                      int) { return AMatrix[0] = 0.7f, FMOD_OK; };
    BorrowedSystem()->GetDefaultMixMatrix(FMOD_SPEAKERMODE_STEREO, FMOD_SPEAKERMODE_5POINT1, 4, Matrix);
    EXPECT_EQ(Fake.Calls, Strings{"FMOD_System_GetDefaultMixMatrix(system=0x5151, sourcespeakermode=3, "
                                  "targetspeakermode=6, matrix=" + Hex(Matrix) + ", matrixhop=4)"});
    EXPECT_EQ(Matrix[0], 0.7f);
  }
  {  // RegisterCodec: the new handle's out-address comes before the priority
    FakeEngine Fake;
    Fake.Actions.FMOD_System_RegisterCodec = [](FMOD_SYSTEM*, FMOD_CODEC_DESCRIPTION*, unsigned* AHandle,
                                                unsigned APriority) { return *AHandle = APriority + 1, FMOD_OK; };
    FMOD_CODEC_DESCRIPTION Codec{};
    EXPECT_EQ(BorrowedSystem()->RegisterCodec(Codec, 30), 31u);
    EXPECT_EQ(Fake.Calls.at(0).substr(Fake.Calls[0].size() - 12), "priority=30)");
  }
}

// The engine gets a copy of the description, alive for the call, with the
// caller's content.
TEST(SystemWrapperQueries, RegistrationsHandTheEngineACopyOfTheDescription) {
  FakeEngine Fake;
  FMOD_CODEC_DESCRIPTION Codec{};
  Codec.name = "ours";
  Codec.version = 3;
  FMOD_DSP_DESCRIPTION DSP{};
  std::strcpy(DSP.name, "gain");
  DSP.version = 4;
  FMOD_OUTPUT_DESCRIPTION Output{};
  Output.name = "sink";
  Output.version = 5;
  std::vector<const void*> Seen;
  Fake.Actions.FMOD_System_RegisterCodec = [&](FMOD_SYSTEM*, FMOD_CODEC_DESCRIPTION* A, unsigned* H, unsigned) {
    Seen.push_back(A);
    EXPECT_EQ(std::memcmp(A, &Codec, sizeof Codec), 0);
    return *H = 1, FMOD_OK;
  };
  Fake.Actions.FMOD_System_RegisterDSP = [&](FMOD_SYSTEM*, const FMOD_DSP_DESCRIPTION* A, unsigned* H) {
    Seen.push_back(A);
    EXPECT_EQ(std::memcmp(A, &DSP, sizeof DSP), 0);
    return *H = 2, FMOD_OK;
  };
  Fake.Actions.FMOD_System_RegisterOutput = [&](FMOD_SYSTEM*, const FMOD_OUTPUT_DESCRIPTION* A, unsigned* H) {
    Seen.push_back(A);
    EXPECT_EQ(std::memcmp(A, &Output, sizeof Output), 0);
    return *H = 3, FMOD_OK;
  };
  ITembroFMODSystemPtr System = BorrowedSystem();
  EXPECT_EQ(System->RegisterCodec(Codec, 0), 1u);
  EXPECT_EQ(System->RegisterDSP(DSP), 2u);
  EXPECT_EQ(System->RegisterOutput(Output), 3u);
  ASSERT_EQ(Seen.size(), 3u);
  EXPECT_NE(Seen[0], static_cast<const void*>(&Codec));
  EXPECT_NE(Seen[1], static_cast<const void*>(&DSP));
  EXPECT_NE(Seen[2], static_cast<const void*>(&Output));
}

TEST(SystemWrapperQueries, AdvancedSettingsReadPresetsTheSizeAndWritePassesTheCallersRecord) {
  FakeEngine Fake;
  int SizeSeen = 0;
  Fake.Actions.FMOD_System_GetAdvancedSettings = [&](FMOD_SYSTEM*, FMOD_ADVANCEDSETTINGS* A) {
    SizeSeen = A->cbSize;
    A->maxVorbisCodecs = 16;
    return FMOD_OK;
  };
  FMOD_ADVANCEDSETTINGS Written{};
  Written.cbSize = 120;
  Written.randomSeed = 99;
  Fake.Actions.FMOD_System_SetAdvancedSettings = [&](FMOD_SYSTEM*, FMOD_ADVANCEDSETTINGS* A) {
    EXPECT_EQ(std::memcmp(A, &Written, sizeof Written), 0);
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = BorrowedSystem();
  const FMOD_ADVANCEDSETTINGS Read = System->GetAdvancedSettings();
  EXPECT_EQ(SizeSeen, 120);
  EXPECT_EQ(Read.maxVorbisCodecs, 16);
  System->SetAdvancedSettings(Written);
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_GetAdvancedSettings", "FMOD_System_SetAdvancedSettings"}));
}

TEST(SystemWrapperQueries, ListenerAndOcclusionVectorsGoByAddress) {
  FakeEngine Fake;
  const TTembroFMOD3DListenerAttr Attr{{1, 2, 3}, {4, 5, 6}, {0, 0, 1}, {0, 1, 0}};
  Fake.Actions.FMOD_System_Set3DListenerAttributes = [&](FMOD_SYSTEM*, int AListener, const FMOD_VECTOR* APos,
                                                         const FMOD_VECTOR* AVel, const FMOD_VECTOR* AForward,
                                                         const FMOD_VECTOR* AUp) {
    EXPECT_EQ(AListener, 1);
    EXPECT_EQ(static_cast<const void*>(APos), &Attr.Pos);
    EXPECT_EQ(static_cast<const void*>(AVel), &Attr.Vel);
    EXPECT_EQ(static_cast<const void*>(AForward), &Attr.Forward);
    EXPECT_EQ(static_cast<const void*>(AUp), &Attr.Up);
    return FMOD_OK;
  };
  Fake.Actions.FMOD_System_Get3DListenerAttributes = [](FMOD_SYSTEM*, int, FMOD_VECTOR* APos, FMOD_VECTOR* AVel,
                                                        FMOD_VECTOR* AForward, FMOD_VECTOR* AUp) {
    *APos = {1, 2, 3}, *AVel = {4, 5, 6}, *AForward = {7, 8, 9}, *AUp = {10, 11, 12};
    return FMOD_OK;
  };
  Fake.Actions.FMOD_System_GetGeometryOcclusion = [](FMOD_SYSTEM*, const FMOD_VECTOR* AListener,
                                                     const FMOD_VECTOR* ASource, float* ADirect, float* AReverb) {
    *ADirect = AListener->x + ASource->x;  // 1 + 10
    *AReverb = AListener->z + ASource->z;  // 3 + 30
    return FMOD_OK;
  };
  ITembroFMODSystemPtr System = BorrowedSystem();
  System->Set3DListenerAttributes(1, Attr);
  EXPECT_EQ(System->Get3DListenerAttributes(0),
            (TTembroFMOD3DListenerAttr{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}}));
  EXPECT_EQ(System->GetGeometryOcclusion({1, 2, 3}, {10, 20, 30}), (TTembroFMODGeometryOcclusion{11, 33}));
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_System_Set3DListenerAttributes", "FMOD_System_Get3DListenerAttributes",
                                   "FMOD_System_GetGeometryOcclusion"}));
}
