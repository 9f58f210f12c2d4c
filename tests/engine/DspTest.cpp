// The signal graph as a listener gets it: units of a caller's own and the
// engine's, chains, connections, sends and the oscillator, rendered by the
// non-real-time wav writer and checked sample by sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "GraphTraffic.h"
#include "MixTestSupport.h"

using namespace sonvel::test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 441 Hz sine at half scale: a signal whose every sample differs.
float Wave(std::int64_t AFrame) { return float(0.5 * std::sin(2.0 * kPi * 441.0 * double(AFrame) / kRate)); }

// What a test unit does: out = in * Scale + Offset, or (when it reads its
// sidechain) out = the sidechain. Found through the state's user data.
struct TUnit {
  float Scale = 1.0f;
  float Offset = 0.0f;
  bool FromSidechain = false;
  int Channels = 0;  // the input width it last saw
};

TUnit& UnitOf(FMOD_DSP_STATE* AState) {
  void* Data = nullptr;
  AState->functions->getuserdata(AState, &Data);
  return *static_cast<TUnit*>(Data);
}

void Apply(TUnit& AUnit, const float* AIn, float* AOut, unsigned ALength, int AChannels, FMOD_DSP_STATE* AState) {
  AUnit.Channels = AChannels;
  for (std::size_t I = 0; I < std::size_t(ALength) * std::size_t(AChannels); ++I) {
    const float Side = AState->sidechaindata != nullptr ? AState->sidechaindata[I / AChannels * AState->sidechainchannels] : 0.0f;
    AOut[I] = AUnit.FromSidechain ? Side : AIn[I] * AUnit.Scale + AUnit.Offset;
  }
}

FMOD_RESULT F_CALL ReadUnit(FMOD_DSP_STATE* AState, float* AIn, float* AOut, unsigned int ALength, int AChannels,
                            int* AOutChannels) {
  Apply(UnitOf(AState), AIn, AOut, ALength, AChannels, AState);
  *AOutChannels = AChannels;
  return FMOD_OK;
}

FMOD_RESULT F_CALL ProcessUnit(FMOD_DSP_STATE* AState, unsigned int ALength, const FMOD_DSP_BUFFER_ARRAY* AIn,
                               FMOD_DSP_BUFFER_ARRAY* AOut, FMOD_BOOL AIdle, FMOD_DSP_PROCESS_OPERATION AOp) {
  if (AOp == FMOD_DSP_PROCESS_QUERY) {
    AOut->buffernumchannels[0] = AIn->buffernumchannels[0];
    AOut->speakermode = AIn->speakermode;
    return AIdle ? FMOD_ERR_DSP_DONTPROCESS : FMOD_OK;
  }
  Apply(UnitOf(AState), AIn->buffers[0], AOut->buffers[0], ALength, AIn->buffernumchannels[0], AState);
  return FMOD_OK;
}

class DspTest : public MixFixture {
protected:
  // A unit of the caller's own, working through its read (or process)
  // callback on `AUnit`. The description outlives the unit.
  FMOD_DSP* UserUnit(TUnit& AUnit, bool AProcess = false) {
    FDescriptions.push_back(std::make_unique<FMOD_DSP_DESCRIPTION>());
    FMOD_DSP_DESCRIPTION& D = *FDescriptions.back();
    D.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
    std::snprintf(D.name, sizeof D.name, "test unit");
    D.version = 0x00010203;
    D.numinputbuffers = 1;
    D.numoutputbuffers = 1;
    if (AProcess) D.process = &ProcessUnit;
    else D.read = &ReadUnit;
    D.userdata = &AUnit;
    FMOD_DSP* Dsp = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateDSP(FSystem, &D, &Dsp), FMOD_OK);
    return Dsp;
  }
  FMOD_DSP* Builtin(FMOD_DSP_TYPE AType) {
    FMOD_DSP* Dsp = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateDSPByType(FSystem, AType, &Dsp), FMOD_OK);
    return Dsp;
  }
  FMOD_CHANNELGROUP* Master() {
    FMOD_CHANNELGROUP* Group = nullptr;
    EXPECT_EQ(Lib::FMOD_System_GetMasterChannelGroup(FSystem, &Group), FMOD_OK);
    return Group;
  }
  // A mono sound of AFrames frames of AValue on a channel panned to one side.
  FMOD_CHANNEL* PlayPanned(float APan, const std::function<float(std::int64_t)>& AValue, std::int64_t AFrames = 8 * kBlock) {
    FMOD_CHANNEL* Channel = Play(Sound(AFrames, AValue), true);
    EXPECT_EQ(Lib::FMOD_Channel_SetPan(Channel, APan), FMOD_OK);
    return Channel;
  }

  std::vector<std::unique_ptr<FMOD_DSP_DESCRIPTION>> FDescriptions;
};

TEST_F(DspTest, AUnitOfTheCallersOwnScalesTheSignalThroughReadOrProcess) {
  for (const bool Process : {false, true}) {
    SCOPED_TRACE(Process ? "process callback" : "read callback");
    Start({});
    TUnit Half{-0.5f};
    FMOD_DSP* Dsp = UserUnit(Half, Process);
    FMOD_CHANNEL* Dry = PlayPanned(-1.0f, Wave);
    FMOD_CHANNEL* Wet = PlayPanned(1.0f, Wave);
    ASSERT_EQ(Lib::FMOD_Channel_AddDSP(Wet, FMOD_CHANNELCONTROL_DSP_TAIL, Dsp), FMOD_OK);
    for (FMOD_CHANNEL* Channel : {Dry, Wet}) ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
    const TMix Mix = this->Mix(4);
    // The unit fades in over its first block; after that every sample is
    // exactly half the dry one, inverted.
    ASSERT_GE(Mix.R.size(), 4 * kBlock);
    for (std::size_t I = kBlock; I < 4 * kBlock; ++I) ASSERT_NEAR(Mix.R[I], -0.5f * Mix.L[I], kTolerance) << I;
    EXPECT_GT(Peak(Mix.L, kBlock, 4 * kBlock), 0.45f);
    EXPECT_EQ(Half.Channels, 1);  // before the fader the unit sees the sound's own width
  }
}

TEST_F(DspTest, TheOrderOfAChainDecidesAndMovingAUnitChangesIt) {
  TUnit Add{1.0f, 0.25f}, Double{2.0f};
  FMOD_DSP* Adder = UserUnit(Add);
  FMOD_DSP* Doubler = UserUnit(Double);
  FMOD_CHANNEL* Channel = Play(Sound(20 * kBlock, Level(0.25f)), true);
  // Index 0 is the head, nearest the output: [adder, doubler, fader].
  ASSERT_EQ(Lib::FMOD_Channel_AddDSP(Channel, 0, Doubler), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_AddDSP(Channel, 0, Adder), FMOD_OK);
  int Count = 0, Index = -1;
  ASSERT_EQ(Lib::FMOD_Channel_GetNumDSPs(Channel, &Count), FMOD_OK);
  EXPECT_EQ(Count, 3);
  ASSERT_EQ(Lib::FMOD_Channel_GetDSPIndex(Channel, Adder, &Index), FMOD_OK);
  EXPECT_EQ(Index, 0);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(4);
  // Doubled, then the quarter added.
  ASSERT_EQ(Lib::FMOD_Channel_SetDSPIndex(Channel, Adder, 1), FMOD_OK);  // [doubler, adder, fader]
  ASSERT_EQ(Lib::FMOD_Channel_GetDSPIndex(Channel, Adder, &Index), FMOD_OK);
  EXPECT_EQ(Index, 1);
  const TMix Mix = this->Mix(6);
  EXPECT_NEAR(Mix.L[3 * kBlock], 0.75f, kTolerance);  // 0.25 * 2 + 0.25
  EXPECT_NEAR(Mix.L[8 * kBlock], 1.0f, kTolerance);   // (0.25 + 0.25) * 2
}

TEST_F(DspTest, ASendReachesItsReturnAndASidechainItsUnit) {
  // A group whose head sends to a return in a second group: the master
  // hears the group and, at the send's level, the return.
  FMOD_CHANNELGROUP* Source = nullptr;
  FMOD_CHANNELGROUP* Bus = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "source", &Source), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "bus", &Bus), FMOD_OK);
  FMOD_DSP* Send = Builtin(FMOD_DSP_TYPE_SEND);
  FMOD_DSP* Return = Builtin(FMOD_DSP_TYPE_RETURN);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddDSP(Source, 0, Send), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddDSP(Bus, 0, Return), FMOD_OK);
  int ReturnId = -1;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterInt(Return, FMOD_DSP_RETURN_ID, &ReturnId, nullptr, 0), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Return, FMOD_DSP_RETURN_ID, 7), FMOD_ERR_INVALID_PARAM);  // read only
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Send, FMOD_DSP_SEND_LEVEL, 0.5f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Send, FMOD_DSP_SEND_RETURNID, ReturnId), FMOD_OK);
  int Inputs = 0;
  ASSERT_EQ(Lib::FMOD_DSP_GetNumInputs(Return, &Inputs), FMOD_OK);
  EXPECT_EQ(Inputs, 2);  // its group's fader and the send
  Play(Sound(8 * kBlock, Level(0.2f)), false, Source);

  // A unit before a channel's fader that plays what its sidechain brings (a
  // generator's level) instead of the channel's sound; the fader pans it.
  TUnit Probe;
  Probe.FromSidechain = true;
  TUnit Generator{0.0f, 0.125f};
  FMOD_DSP* ProbeDsp = UserUnit(Probe);
  FMOD_DSP* GeneratorDsp = UserUnit(Generator);
  FMOD_CHANNEL* Carrier = PlayPanned(1.0f, Level(0.9f));
  ASSERT_EQ(Lib::FMOD_Channel_AddDSP(Carrier, FMOD_CHANNELCONTROL_DSP_TAIL, ProbeDsp), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_AddInput(ProbeDsp, GeneratorDsp, nullptr, FMOD_DSPCONNECTION_TYPE_SIDECHAIN), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetActive(GeneratorDsp, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Carrier, false), FMOD_OK);

  const TMix Mix = this->Mix(4);
  EXPECT_NEAR(Mix.L[3 * kBlock], 0.2f + 0.1f, kTolerance);  // the group and half of it returned
  // Right: the carrier panned there carries the sidechain, not its sound.
  EXPECT_NEAR(Mix.R[3 * kBlock] - Mix.L[3 * kBlock], 0.125f, kTolerance);
}

TEST_F(DspTest, AConnectionsMixAndMatrixScaleAndRoute) {
  FMOD_CHANNELGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateChannelGroup(FSystem, "routed", &Group), FMOD_OK);
  FMOD_DSPCONNECTION* Connection = nullptr;
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddGroup(Master(), Group, true, &Connection), FMOD_OK);
  FMOD_CHANNEL* Channel = PlayPanned(-1.0f, Level(0.8f));
  ASSERT_EQ(Lib::FMOD_Channel_SetChannelGroup(Channel, Group), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSPConnection_SetMix(Connection, 0.5f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(2);
  float Mix = 0;
  ASSERT_EQ(Lib::FMOD_DSPConnection_GetMix(Connection, &Mix), FMOD_OK);
  EXPECT_EQ(Mix, 0.5f);
  // Left and right swapped, at a quarter.
  float Swap[4] = {0.0f, 0.25f, 0.25f, 0.0f};
  ASSERT_EQ(Lib::FMOD_DSPConnection_SetMixMatrix(Connection, Swap, 2, 2, 0), FMOD_OK);
  float Back[4] = {};
  int Out = 0, In = 0;
  ASSERT_EQ(Lib::FMOD_DSPConnection_GetMixMatrix(Connection, Back, &Out, &In, 0), FMOD_OK);
  EXPECT_EQ(Out, 2);
  EXPECT_EQ(In, 2);
  EXPECT_EQ(Back[1], 0.25f);
  EXPECT_EQ(Lib::FMOD_DSPConnection_SetMixMatrix(Connection, Swap, 2, 2, 1), FMOD_ERR_INVALID_PARAM);  // hop < in
  const TMix Result = this->Mix(3);
  EXPECT_NEAR(Result.L[kBlock], 0.4f, kTolerance);  // 0.8 at the connection's half
  EXPECT_NEAR(Result.R[kBlock], 0.0f, kTolerance);
  EXPECT_NEAR(Result.L[4 * kBlock], 0.0f, kTolerance);  // after the matrix's ramp
  EXPECT_NEAR(Result.R[4 * kBlock], 0.1f, kTolerance);  // 0.8 * 0.5 * 0.25
  // The matrix change ramps across its block instead of jumping.
  for (std::size_t I = 2 * kBlock + 1; I < 3 * kBlock; ++I) EXPECT_LT(std::fabs(Result.L[I] - Result.L[I - 1]), 0.002f);
}

TEST_F(DspTest, BypassActiveAndWetDryMixTheProcessedWithTheDrySignal) {
  struct TCase {
    const char* Name;
    std::function<void(FMOD_DSP*)> Apply;
    float Gain;  // of the dry signal at the output
  };
  const TCase Cases[] = {
      {"processed", [](FMOD_DSP*) {}, -0.5f},
      {"bypassed", [](FMOD_DSP* D) { Lib::FMOD_DSP_SetBypass(D, true); }, 1.0f},
      {"inactive", [](FMOD_DSP* D) { Lib::FMOD_DSP_SetActive(D, false); }, 0.0f},
      {"wet and dry", [](FMOD_DSP* D) { Lib::FMOD_DSP_SetWetDryMix(D, 1.0f, 0.5f, 0.5f); }, 0.25f},
      {"pre-wet", [](FMOD_DSP* D) { Lib::FMOD_DSP_SetWetDryMix(D, 0.5f, 1.0f, 0.0f); }, -0.25f},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Start({});
    TUnit Half{-0.5f};
    FMOD_DSP* Dsp = UserUnit(Half);
    FMOD_CHANNEL* Channel = Play(Sound(8 * kBlock, Level(0.4f)), true);
    ASSERT_EQ(Lib::FMOD_Channel_AddDSP(Channel, 0, Dsp), FMOD_OK);
    Case.Apply(Dsp);
    ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
    const TMix Mix = this->Mix(3);
    EXPECT_NEAR(Mix.L[2 * kBlock], 0.4f * Case.Gain, kTolerance);
  }
}

TEST_F(DspTest, MeteringReportsThePeakAndRmsOfTheBlockItMeasured) {
  TUnit Half{-0.5f};
  FMOD_DSP* Dsp = UserUnit(Half);
  // The unit at the master's head: what it outputs is what the file gets.
  ASSERT_EQ(Lib::FMOD_ChannelGroup_AddDSP(Master(), 0, Dsp), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetMeteringEnabled(Dsp, true, true), FMOD_OK);
  FMOD_BOOL In = false, Out = false;
  ASSERT_EQ(Lib::FMOD_DSP_GetMeteringEnabled(Dsp, &In, &Out), FMOD_OK);
  EXPECT_TRUE(In && Out);
  // Nothing metered yet: zeros, not whatever the memory held.
  FMOD_DSP_METERING_INFO Input{}, Output{};
  std::memset(&Output, 0x5a, sizeof Output);
  ASSERT_EQ(Lib::FMOD_DSP_GetMeteringInfo(Dsp, nullptr, &Output), FMOD_OK);
  EXPECT_EQ(Output.numsamples, 0);
  EXPECT_EQ(Output.peaklevel[0], 0.0f);
  Play(Sound(8 * kBlock, Wave));
  Update(3);
  ASSERT_EQ(Lib::FMOD_DSP_GetMeteringInfo(Dsp, &Input, &Output), FMOD_OK);
  const TMix Mix = this->Mix(0);
  // The third block, as written.
  float Peak = 0;
  double Squares = 0;
  for (std::size_t I = 2 * kBlock; I < 3 * kBlock; ++I) {
    Peak = std::max(Peak, std::fabs(Mix.L[I]));
    Squares += double(Mix.L[I]) * Mix.L[I];
  }
  const float Rms = float(std::sqrt(Squares / kBlock));
  EXPECT_EQ(Output.numsamples, int(kBlock));
  EXPECT_EQ(Output.numchannels, 2);
  EXPECT_NEAR(Output.peaklevel[0], Peak, kTolerance);
  EXPECT_NEAR(Output.rmslevel[0], Rms, kTolerance);
  EXPECT_NEAR(Output.rmslevel[1], Rms, kTolerance);
  EXPECT_NEAR(Input.peaklevel[0], 2.0f * Peak, 2 * kTolerance);  // before the unit halved it
}

TEST_F(DspTest, TheOscillatorPlaysItsRateAsAChannel) {
  FMOD_DSP* Oscillator = Builtin(FMOD_DSP_TYPE_OSCILLATOR);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Oscillator, FMOD_DSP_OSCILLATOR_RATE, 750.0f), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Oscillator, FMOD_DSP_OSCILLATOR_TYPE, 0), FMOD_OK);
  char Text[32] = {};
  float Rate = 0;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterFloat(Oscillator, FMOD_DSP_OSCILLATOR_RATE, &Rate, Text, sizeof Text), FMOD_OK);
  EXPECT_EQ(Rate, 750.0f);
  EXPECT_STREQ(Text, "750.00");
  int Type = -1;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterInt(Oscillator, FMOD_DSP_OSCILLATOR_TYPE, &Type, Text, sizeof Text), FMOD_OK);
  EXPECT_STREQ(Text, "Sine");
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(Oscillator, FMOD_DSP_OSCILLATOR_RATE, 1e6f), FMOD_ERR_INVALID_PARAM);

  FMOD_CHANNEL* Channel = nullptr;
  ASSERT_EQ(Lib::FMOD_System_PlayDSP(FSystem, Oscillator, nullptr, false, &Channel), FMOD_OK);
  ASSERT_NE(Channel, nullptr);
  EXPECT_EQ(Lib::FMOD_System_PlayDSP(FSystem, Oscillator, nullptr, false, nullptr), FMOD_ERR_DSP_INUSE);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Oscillator), FMOD_ERR_DSP_INUSE);  // it plays
  int Outputs = 0;
  ASSERT_EQ(Lib::FMOD_DSP_GetNumOutputs(Oscillator, &Outputs), FMOD_OK);
  EXPECT_EQ(Outputs, 1);
  Update(10);
  ASSERT_EQ(Lib::FMOD_Channel_Stop(Channel), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_GetNumOutputs(Oscillator, &Outputs), FMOD_OK);
  EXPECT_EQ(Outputs, 0);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Oscillator), FMOD_OK);
  const TMix Mix = this->Mix(0);
  // Rising zero crossings over the ten blocks give the frequency.
  int Crossings = 0;
  for (std::size_t I = 1; I < 10 * kBlock; ++I)
    if (Mix.L[I - 1] < 0.0f && Mix.L[I] >= 0.0f) ++Crossings;
  EXPECT_NEAR(double(Crossings) * kRate / (10.0 * kBlock), 750.0, 8.0);
  EXPECT_NEAR(Peak(Mix.L, kBlock, 10 * kBlock), 1.0f, 0.01f);
}

TEST_F(DspTest, TheGraphRefusesCyclesSecondChainsAndReleasesInUse) {
  TUnit A, B, C;
  FMOD_DSP* First = UserUnit(A);
  FMOD_DSP* Second = UserUnit(B);
  FMOD_DSP* Third = UserUnit(C);
  FMOD_DSPCONNECTION* Connection = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_AddInput(First, Second, &Connection, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_AddInput(Second, Third, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
  FMOD_DSPCONNECTION* Refused = reinterpret_cast<FMOD_DSPCONNECTION*>(1);
  EXPECT_EQ(Lib::FMOD_DSP_AddInput(Third, First, &Refused, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_ERR_DSP_CONNECTION);
  EXPECT_EQ(Refused, nullptr);
  EXPECT_EQ(Lib::FMOD_DSP_AddInput(First, First, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_ERR_DSP_CONNECTION);
  int Count = -1;
  ASSERT_EQ(Lib::FMOD_DSP_GetNumInputs(Third, &Count), FMOD_OK);
  EXPECT_EQ(Count, 0);  // nothing changed
  // A send only reads what its input made last: a loop through one is fine.
  EXPECT_EQ(Lib::FMOD_DSP_AddInput(Third, First, nullptr, FMOD_DSPCONNECTION_TYPE_SEND), FMOD_OK);

  FMOD_DSP* Input = nullptr;
  FMOD_DSPCONNECTION* Found = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_GetInput(First, 0, &Input, &Found), FMOD_OK);
  EXPECT_EQ(Input, Second);
  EXPECT_EQ(Found, Connection);
  FMOD_DSP* End = nullptr;
  ASSERT_EQ(Lib::FMOD_DSPConnection_GetOutput(Connection, &End), FMOD_OK);
  EXPECT_EQ(End, First);
  FMOD_DSPCONNECTION_TYPE Type = FMOD_DSPCONNECTION_TYPE_MAX;
  ASSERT_EQ(Lib::FMOD_DSPConnection_GetType(Connection, &Type), FMOD_OK);
  EXPECT_EQ(Type, FMOD_DSPCONNECTION_TYPE_STANDARD);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Second), FMOD_ERR_DSP_INUSE);  // still connected

  TUnit D;
  FMOD_DSP* Chained = UserUnit(D);
  FMOD_CHANNEL* One = Play(Sound(4 * kBlock, Level(0.1f)), true);
  FMOD_CHANNEL* Other = Play(Sound(4 * kBlock, Level(0.1f)), true);
  ASSERT_EQ(Lib::FMOD_Channel_AddDSP(One, 0, Chained), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Channel_AddDSP(Other, 0, Chained), FMOD_ERR_DSP_INUSE);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Chained), FMOD_ERR_DSP_INUSE);
  FMOD_DSP* Fader = nullptr;
  ASSERT_EQ(Lib::FMOD_Channel_GetDSP(One, FMOD_CHANNELCONTROL_DSP_FADER, &Fader), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Fader), FMOD_ERR_DSP_RESERVED);
  EXPECT_EQ(Lib::FMOD_Channel_RemoveDSP(One, Fader), FMOD_ERR_DSP_RESERVED);
  EXPECT_EQ(Lib::FMOD_Channel_RemoveDSP(Other, Chained), FMOD_ERR_DSP_NOTFOUND);
  ASSERT_EQ(Lib::FMOD_Channel_RemoveDSP(One, Chained), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Chained), FMOD_OK);

  ASSERT_EQ(Lib::FMOD_DSP_DisconnectFrom(First, Second, nullptr), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_DSPConnection_GetMix(Connection, nullptr), FMOD_ERR_INVALID_HANDLE);  // gone with it
  ASSERT_EQ(Lib::FMOD_DSP_DisconnectAll(Third, true, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_DisconnectAll(Second, true, true), FMOD_OK);
  for (FMOD_DSP* Unit : {First, Second, Third}) EXPECT_EQ(Lib::FMOD_DSP_Release(Unit), FMOD_OK);
}

TEST_F(DspTest, RemovingAUnitWhileItPlaysGivesNoStep) {
  TUnit Invert{-0.5f};
  FMOD_DSP* Dsp = UserUnit(Invert);
  FMOD_CHANNEL* Channel = Play(Sound(12 * kBlock, Wave), true);
  ASSERT_EQ(Lib::FMOD_Channel_AddDSP(Channel, 0, Dsp), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Channel_SetPaused(Channel, false), FMOD_OK);
  Update(3);
  ASSERT_EQ(Lib::FMOD_Channel_RemoveDSP(Channel, Dsp), FMOD_OK);
  int Count = 0;
  ASSERT_EQ(Lib::FMOD_Channel_GetNumDSPs(Channel, &Count), FMOD_OK);
  EXPECT_EQ(Count, 1);
  const TMix Mix = this->Mix(4);
  float SignalStep = 0, Step = 0;
  for (std::size_t I = 1; I < 7 * kBlock; ++I) {
    const float Dry = Wave(std::int64_t(I)) - Wave(std::int64_t(I) - 1);
    SignalStep = std::max(SignalStep, std::fabs(Dry));
    Step = std::max(Step, std::fabs(Mix.L[I] - Mix.L[I - 1]));
  }
  EXPECT_LT(Step, 1.1f * SignalStep + kTolerance);
  EXPECT_NEAR(Mix.L[6 * kBlock], Wave(6 * kBlock), kTolerance);  // the dry signal again
  EXPECT_NEAR(Mix.L[2 * kBlock], -0.5f * Wave(2 * kBlock), kTolerance);
}

TEST_F(DspTest, UnitsDescribeThemselvesAndTheirParameters) {
  TUnit Own;
  FMOD_DSP* Dsp = UserUnit(Own);
  char Name[32] = {};
  unsigned int Version = 0;
  int Channels = -1, Width = -1, Height = -1;
  ASSERT_EQ(Lib::FMOD_DSP_GetInfo(Dsp, Name, &Version, &Channels, &Width, &Height), FMOD_OK);
  EXPECT_STREQ(Name, "test unit");
  EXPECT_EQ(Version, 0x00010203u);
  FMOD_DSP_TYPE Type = FMOD_DSP_TYPE_MAX;
  ASSERT_EQ(Lib::FMOD_DSP_GetType(Dsp, &Type), FMOD_OK);
  EXPECT_EQ(Type, FMOD_DSP_TYPE_UNKNOWN);
  void* Data = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_GetUserData(Dsp, &Data), FMOD_OK);
  EXPECT_EQ(Data, &Own);  // the description's user data to begin with
  EXPECT_EQ(Lib::FMOD_DSP_ShowConfigDialog(Dsp, nullptr, true), FMOD_ERR_UNSUPPORTED);
  FMOD_BOOL Idle = false;
  ASSERT_EQ(Lib::FMOD_DSP_GetIdle(Dsp, &Idle), FMOD_OK);
  EXPECT_TRUE(Idle);

  FMOD_DSP* Fader = Builtin(FMOD_DSP_TYPE_FADER);
  int Count = 0;
  ASSERT_EQ(Lib::FMOD_DSP_GetNumParameters(Fader, &Count), FMOD_OK);
  EXPECT_EQ(Count, 2);
  FMOD_DSP_PARAMETER_DESC* Desc = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterInfo(Fader, FMOD_DSP_FADER_GAIN, &Desc), FMOD_OK);
  EXPECT_EQ(Desc->type, FMOD_DSP_PARAMETER_TYPE_FLOAT);
  EXPECT_EQ(Desc->floatdesc.defaultval, 0.0f);
  int Index = -1;
  ASSERT_EQ(Lib::FMOD_DSP_GetDataParameterIndex(Fader, FMOD_DSP_PARAMETER_DATA_TYPE_OVERALLGAIN, &Index), FMOD_OK);
  EXPECT_EQ(Index, int(FMOD_DSP_FADER_OVERALL_GAIN));
  EXPECT_EQ(Lib::FMOD_DSP_GetDataParameterIndex(Fader, FMOD_DSP_PARAMETER_DATA_TYPE_FFT, &Index), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Fader, FMOD_DSP_FADER_GAIN, 1), FMOD_ERR_INVALID_PARAM);  // a float
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(Fader, 9, 1.0f), FMOD_ERR_INVALID_PARAM);
  FMOD_DSP* Missing = reinterpret_cast<FMOD_DSP*>(1);
  EXPECT_EQ(Lib::FMOD_System_CreateDSPByType(FSystem, FMOD_DSP_TYPE_VSTPLUGIN, &Missing), FMOD_ERR_PLUGIN_MISSING);
  EXPECT_EQ(Missing, nullptr);
  EXPECT_EQ(Lib::FMOD_System_CreateDSPByType(FSystem, FMOD_DSP_TYPE_MAX, &Missing), FMOD_ERR_INVALID_PARAM);

  FMOD_DSP_DESCRIPTION Old{};
  Old.pluginsdkversion = 109;
  EXPECT_EQ(Lib::FMOD_System_CreateDSP(FSystem, &Old, &Missing), FMOD_ERR_PLUGIN_VERSION);
  EXPECT_EQ(Lib::FMOD_System_CreateDSP(FSystem, nullptr, &Missing), FMOD_ERR_INVALID_PARAM);
}

// Every DSP and connection entry point answers 30 for a garbage handle and
// for one whose object was released, whatever else it is given.
TEST_F(DspTest, GarbageAndStaleHandlesAnswerInvalidHandleEverywhere) {
  TUnit Gone;
  FMOD_DSP* Stale = UserUnit(Gone);
  FMOD_DSP* Other = Builtin(FMOD_DSP_TYPE_MIXER);
  FMOD_DSPCONNECTION* StaleConnection = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_AddInput(Other, Stale, &StaleConnection, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_DisconnectAll(Other, true, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_Release(Stale), FMOD_OK);
  void* const Garbage[] = {reinterpret_cast<void*>(0x1234), reinterpret_cast<void*>(~std::uintptr_t(0) - 7),
                           Stale, StaleConnection, FSystem};
  int Checked = 0;
  for (void* Handle : Garbage) {
#define FMOD_ENTRY(name, params, args)                                                       \
  {                                                                                          \
    const std::string_view Name = #name;                                                     \
    if (Name.rfind("FMOD_DSP_", 0) == 0 || Name.rfind("FMOD_DSPConnection_", 0) == 0) {      \
      EXPECT_EQ(CallWithFirst(Lib::name, Handle), FMOD_ERR_INVALID_HANDLE) << Name << " " << Handle; \
      ++Checked;                                                                             \
    }                                                                                        \
  }
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  }
  EXPECT_EQ(Checked, 5 * (39 + 9));
}

// Four threads edit the graph, play, stop and set parameters while the
// real-time output mixes (run under the thread sanitizer too).
TEST_F(DspTest, TheGraphTakesEditsFromFourThreadsWhileTheMixerRuns) {
  Start({.RealVoices = 16, .Output = FMOD_OUTPUTTYPE_NOSOUND, .Block = 256});
  {
    GraphTraffic Traffic(FSystem);
    Traffic.Start(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Traffic.Stop();
    EXPECT_GT(Traffic.Operations.load(), 1000u);
  }
  int All = 0, Real = 0;
  ASSERT_EQ(Lib::FMOD_System_GetChannelsPlaying(FSystem, &All, &Real), FMOD_OK);
  EXPECT_LE(Real, 16);
  EXPECT_EQ(Lib::FMOD_System_Close(FSystem), FMOD_OK);
}

}  // namespace
