#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Geometry.h"
#include "Tembro.Audio.FMOD.Reverb3D.h"
#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;

namespace {

FMOD_DSP* const kDSP = FakeHandle<FMOD_DSP>(0xd5b0);
FMOD_DSP* const kOtherDSP = FakeHandle<FMOD_DSP>(0xd5b1);
FMOD_DSPCONNECTION* const kConnection = FakeHandle<FMOD_DSPCONNECTION>(0xc044);
FMOD_CHANNEL* const kChannel = FakeHandle<FMOD_CHANNEL>(0xca11);
FMOD_CHANNELGROUP* const kGroup = FakeHandle<FMOD_CHANNELGROUP>(0x6600);

ITembroFMODDSPPtr BorrowedDSP(FMOD_DSP* AHandle = kDSP) {
  return Borrowed<TTembroFMODDSP>(AHandle);
}

ITembroFMODDSPConnectionPtr Connection(FMOD_DSPCONNECTION* AHandle = kConnection) {
  return ITembroFMODDSPConnectionPtr(new TTembroFMODDSPConnection(AHandle));
}

// A channel group wrapper that only has to carry its handle.
ITembroFMODChannelGroupPtr GroupWrapper() {
  return Borrowed<TTembroFMODChannelGroup>(kGroup);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and ownership

TEST(DSPWrapper, ConstructorsCreateTheUnitThroughTheSystemAndOwnIt) {
  struct Case {
    const char* Name;
    std::function<ITembroFMODDSPPtr(const ITembroFMODSystemPtr&)> Create;
    std::string Call;
  };
  static FMOD_DSP_DESCRIPTION Description{};
  const Case Cases[] = {
      {"CreateFromDescription",
       [](const ITembroFMODSystemPtr& S) { return TTembroFMODDSP::CreateFromDescription(S, &Description); },
       "FMOD_System_CreateDSP(system=0x5151, description=&, dsp=&)"},
      {"CreateFromType",
       [](const ITembroFMODSystemPtr& S) { return TTembroFMODDSP::CreateFromType(S, FMOD_DSP_TYPE_ECHO); },
       "FMOD_System_CreateDSPByType(system=0x5151, type=" + std::to_string(FMOD_DSP_TYPE_ECHO) + ", dsp=&)"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    Fake.Actions.FMOD_System_CreateDSP = [](FMOD_SYSTEM*, const FMOD_DSP_DESCRIPTION*, FMOD_DSP** AOut) {
      *AOut = kDSP;
      return FMOD_OK;
    };
    Fake.Actions.FMOD_System_CreateDSPByType = [](FMOD_SYSTEM*, FMOD_DSP_TYPE, FMOD_DSP** AOut) {
      *AOut = kDSP;
      return FMOD_OK;
    };
    ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem));
    {
      ITembroFMODDSPPtr DSP = C.Create(System);
      EXPECT_EQ(DSP->GetInternalHandle(), kDSP) << C.Name;
      EXPECT_EQ(static_cast<TTembroFMODDSP*>(DSP.Get())->Ownership(), TTembroFMODOwnership::Owned) << C.Name;
    }
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call, "FMOD_DSP_Release(dsp=0xd5b0)"})) << C.Name;
    Fake.Calls.clear();

    // A failing engine call raises its text and leaves nothing to release.
    Fake.Actions.FMOD_System_CreateDSP = [](FMOD_SYSTEM*, const FMOD_DSP_DESCRIPTION*, FMOD_DSP**) {
      return FMOD_ERR_MEMORY;
    };
    Fake.Actions.FMOD_System_CreateDSPByType = [](FMOD_SYSTEM*, FMOD_DSP_TYPE, FMOD_DSP**) { return FMOD_ERR_MEMORY; };
    EXPECT_EQ(RaisedText([&] { C.Create(System); }), "Not enough memory or resources.") << C.Name;
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call})) << C.Name;
    Fake.Calls.clear();

    // A missing system is refused before any engine call.
    EXPECT_EQ(RaisedText([&] { C.Create(nullptr); }), std::string(C.Name) + ": ASystem is null");
    EXPECT_TRUE(Fake.Calls.empty()) << C.Name;
  }
}

TEST(DSPWrapper, DestructorsReleaseOnlyWhatTheWrapperOwns) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSP_GetInput = [](FMOD_DSP*, int, FMOD_DSP** ADSP, FMOD_DSPCONNECTION** AConnection) {
    *ADSP = kOtherDSP;
    *AConnection = kConnection;
    return FMOD_OK;
  };
  Fake.Actions.FMOD_DSP_GetOutput = Fake.Actions.FMOD_DSP_GetInput;
  Fake.Actions.FMOD_DSPConnection_GetInput = [](FMOD_DSPCONNECTION*, FMOD_DSP** AOut) {
    *AOut = kOtherDSP;
    return FMOD_OK;
  };
  Fake.Actions.FMOD_DSPConnection_GetOutput = Fake.Actions.FMOD_DSPConnection_GetInput;
  Fake.Actions.FMOD_DSP_AddInput = [](FMOD_DSP*, FMOD_DSP*, FMOD_DSPCONNECTION** AOut, FMOD_DSPCONNECTION_TYPE) {
    *AOut = kConnection;
    return FMOD_OK;
  };
  {
    ITembroFMODDSPPtr Owned(new TTembroFMODDSP(kDSP));
    {
      // Units and connections reached through the graph belong to the graph.
      ITembroFMODDSPPtr Input, Output;
      ITembroFMODDSPConnectionPtr InputConnection, OutputConnection;
      Owned->GetInput(0, Input, InputConnection);
      Owned->GetOutput(0, Output, OutputConnection);
      ITembroFMODDSPPtr Ends[] = {InputConnection->GetInput(), InputConnection->GetOutput()};
      ITembroFMODDSPConnectionPtr Added;
      Owned->AddInput(Ends[0], Added, FMOD_DSPCONNECTION_TYPE_STANDARD);
      ITembroFMODDSPPtr NullUnit(new TTembroFMODDSP(nullptr));
      Fake.Calls.clear();
    }
    EXPECT_EQ(Fake.Calls, Strings{});
  }
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_DSP_Release(dsp=0xd5b0)"}));
  Fake.Calls.clear();

  // The release's own result is ignored.
  Fake.Actions.FMOD_DSP_Release = [](FMOD_DSP*) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_NO_THROW(ITembroFMODDSPPtr(new TTembroFMODDSP(kDSP)));
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_DSP_Release(dsp=0xd5b0)"}));
}

TEST(DSPWrapper, SystemObjectAsksTheEngineWhileTheConnectionHasNone) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSP_GetSystemObject = [](FMOD_DSP*, FMOD_SYSTEM** AOut) {
    *AOut = kSystem;
    return FMOD_OK;
  };
  EXPECT_EQ(BorrowedDSP()->GetSystemObject(), kSystem);
  EXPECT_EQ(Connection()->GetSystemObject(), nullptr);
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_DSP_GetSystemObject(dsp=0xd5b0, system=&)"}));
  Fake.Actions.FMOD_DSP_GetSystemObject = [](FMOD_DSP*, FMOD_SYSTEM**) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_EQ(RaisedText([] { BorrowedDSP()->GetSystemObject(); }), "An invalid object handle was used.");
}

// ---------------------------------------------------------------------------
// Pass-through operations

TEST(DSPWrapper, PassThroughOperationsHandTheEngineTheirArgumentsAndReturnWhatItWrote) {
  FakeEngine Fake;
  auto& A = Fake.Actions;
  A.FMOD_DSP_GetNumInputs = [](FMOD_DSP*, int* O) { return *O = 3, FMOD_OK; };
  A.FMOD_DSP_GetNumOutputs = [](FMOD_DSP*, int* O) { return *O = 4, FMOD_OK; };
  A.FMOD_DSP_GetActive = [](FMOD_DSP*, FMOD_BOOL* O) { return *O = 1, FMOD_OK; };
  A.FMOD_DSP_GetBypass = [](FMOD_DSP*, FMOD_BOOL* O) { return *O = -1, FMOD_OK; };
  A.FMOD_DSP_GetWetDryMix = [](FMOD_DSP*, float* P, float* Q, float* D) {
    *P = 0.5f, *Q = 0.25f, *D = 2.0f;
    return FMOD_OK;
  };
  A.FMOD_DSP_GetChannelFormat = [](FMOD_DSP*, FMOD_CHANNELMASK* M, int* N, FMOD_SPEAKERMODE* S) {
    *M = 0x3, *N = 2, *S = FMOD_SPEAKERMODE_STEREO;
    return FMOD_OK;
  };
  A.FMOD_DSP_GetNumParameters = [](FMOD_DSP*, int* O) { return *O = 7, FMOD_OK; };
  A.FMOD_DSP_GetType = [](FMOD_DSP*, FMOD_DSP_TYPE* O) { return *O = FMOD_DSP_TYPE_ECHO, FMOD_OK; };
  A.FMOD_DSP_GetIdle = [](FMOD_DSP*, FMOD_BOOL* O) { return *O = 1, FMOD_OK; };
  A.FMOD_DSP_GetUserData = [](FMOD_DSP*, void** O) { return *O = reinterpret_cast<void*>(0xbeef), FMOD_OK; };
  A.FMOD_DSP_GetOutputChannelFormat = [](FMOD_DSP*, FMOD_CHANNELMASK InMask, int InChannels, FMOD_SPEAKERMODE,
                                         FMOD_CHANNELMASK* M, int* N, FMOD_SPEAKERMODE* S) {
    *M = InMask << 1, *N = InChannels * 2, *S = FMOD_SPEAKERMODE_QUAD;
    return FMOD_OK;
  };
  static FMOD_DSP_PARAMETER_DESC Desc{};
  A.FMOD_DSP_GetParameterInfo = [](FMOD_DSP*, int, FMOD_DSP_PARAMETER_DESC** O) { return *O = &Desc, FMOD_OK; };
  A.FMOD_DSP_GetMeteringEnabled = [](FMOD_DSP*, FMOD_BOOL* I, FMOD_BOOL* O) {
    *I = 1, *O = 0;
    return FMOD_OK;
  };
  A.FMOD_DSP_GetMeteringInfo = [](FMOD_DSP*, FMOD_DSP_METERING_INFO* I, FMOD_DSP_METERING_INFO* O) {
    I->numsamples = 256, O->numsamples = 512;
    return FMOD_OK;
  };
  A.FMOD_DSP_GetDataParameterIndex = [](FMOD_DSP*, int, int* O) { return *O = 5, FMOD_OK; };

  const std::string Stereo = std::to_string(FMOD_SPEAKERMODE_STEREO);
  const std::string Echo = std::to_string(FMOD_DSP_TYPE_ECHO);
  const std::string Send = std::to_string(FMOD_DSPCONNECTION_TYPE_SEND);
  struct Case {
    std::string Call;
    std::function<void(ITembroFMODDSP&)> Run;
  };
  const Case Cases[] = {
      {"FMOD_DSP_GetNumInputs(dsp=0xd5b0, numinputs=&)", [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetNumInputs(), 3); }},
      {"FMOD_DSP_GetNumOutputs(dsp=0xd5b0, numoutputs=&)", [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetNumOutputs(), 4); }},
      {"FMOD_DSP_GetActive(dsp=0xd5b0, active=&)", [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetActive(), 1); }},
      {"FMOD_DSP_SetActive(dsp=0xd5b0, active=-1)", [](ITembroFMODDSP& D) { D.SetActive(-1); }},
      {"FMOD_DSP_GetBypass(dsp=0xd5b0, bypass=&)", [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetBypass(), -1); }},
      {"FMOD_DSP_SetBypass(dsp=0xd5b0, bypass=0)", [](ITembroFMODDSP& D) { D.SetBypass(0); }},
      {"FMOD_DSP_GetWetDryMix(dsp=0xd5b0, prewet=&, postwet=&, dry=&)",
       [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetWetDryMix(), (TTembroFMODWetDryMix{0.5f, 0.25f, 2.0f})); }},
      {"FMOD_DSP_SetWetDryMix(dsp=0xd5b0, prewet=0.1, postwet=0.2, dry=0.3)",
       [](ITembroFMODDSP& D) { D.SetWetDryMix({0.1f, 0.2f, 0.3f}); }},
      {"FMOD_DSP_GetChannelFormat(dsp=0xd5b0, channelmask=&, numchannels=&, source_speakermode=&)",
       [](ITembroFMODDSP& D) {
         EXPECT_EQ(D.GetChannelFormat(), (TTembroFMODChannelFormat{0x3, 2, FMOD_SPEAKERMODE_STEREO}));
       }},
      {"FMOD_DSP_SetChannelFormat(dsp=0xd5b0, channelmask=12, numchannels=6, source_speakermode=" + Stereo + ")",
       [](ITembroFMODDSP& D) { D.SetChannelFormat({12, 6, FMOD_SPEAKERMODE_STEREO}); }},
      {"FMOD_DSP_GetNumParameters(dsp=0xd5b0, numparams=&)",
       [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetNumParameters(), 7); }},
      {"FMOD_DSP_GetType(dsp=0xd5b0, type=&)", [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetType(), FMOD_DSP_TYPE_ECHO); }},
      {"FMOD_DSP_GetIdle(dsp=0xd5b0, idle=&)", [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetIdle(), 1); }},
      {"FMOD_DSP_GetUserData(dsp=0xd5b0, userdata=&)",
       [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetUserData(), reinterpret_cast<void*>(0xbeef)); }},
      {"FMOD_DSP_SetUserData(dsp=0xd5b0, userdata=0xfeed)",
       [](ITembroFMODDSP& D) { D.SetUserData(reinterpret_cast<void*>(0xfeed)); }},
      {"FMOD_DSP_DisconnectAll(dsp=0xd5b0, inputs=1, outputs=0)", [](ITembroFMODDSP& D) { D.DisconnectAll(1, 0); }},
      {"FMOD_DSP_GetOutputChannelFormat(dsp=0xd5b0, inmask=3, inchannels=2, inspeakermode=" + Stereo +
           ", outmask=&, outchannels=&, outspeakermode=&)",
       [](ITembroFMODDSP& D) {
         EXPECT_EQ(D.GetOutputChannelFormat(3, 2, FMOD_SPEAKERMODE_STEREO),
                   (TTembroFMODChannelFormat{6, 4, FMOD_SPEAKERMODE_QUAD}));
       }},
      {"FMOD_DSP_GetOutputChannelFormat(dsp=0xd5b0, inmask=3, inchannels=2, inspeakermode=" + Stereo +
           ", outmask=&, outchannels=&, outspeakermode=&)",
       [](ITembroFMODDSP& D) {
         EXPECT_EQ(D.GetOutputChannelFormat(TTembroFMODChannelFormat{3, 2, FMOD_SPEAKERMODE_STEREO}),
                   (TTembroFMODChannelFormat{6, 4, FMOD_SPEAKERMODE_QUAD}));
       }},
      {"FMOD_DSP_Reset(dsp=0xd5b0)", [](ITembroFMODDSP& D) { D.Reset(); }},
      {"FMOD_DSP_SetParameterFloat(dsp=0xd5b0, index=2, value=0.75)",
       [](ITembroFMODDSP& D) { D.SetParameterFloat(2, 0.75f); }},
      {"FMOD_DSP_SetParameterInt(dsp=0xd5b0, index=3, value=-40)", [](ITembroFMODDSP& D) { D.SetParameterInt(3, -40); }},
      {"FMOD_DSP_SetParameterBool(dsp=0xd5b0, index=4, value=1)", [](ITembroFMODDSP& D) { D.SetParameterBool(4, 1); }},
      {"FMOD_DSP_SetParameterData(dsp=0xd5b0, index=5, data=0xda7a, length=64)",
       [](ITembroFMODDSP& D) { D.SetParameterData(5, reinterpret_cast<void*>(0xda7a), 64); }},
      {"FMOD_DSP_GetParameterInfo(dsp=0xd5b0, index=6, desc=&)",
       [](ITembroFMODDSP& D) {
         FMOD_DSP_PARAMETER_DESC* Out = nullptr;
         D.GetParameterInfo(6, Out);
         EXPECT_EQ(Out, &Desc);
       }},
      {"FMOD_DSP_GetDataParameterIndex(dsp=0xd5b0, datatype=-1, index=&)",
       [](ITembroFMODDSP& D) { EXPECT_EQ(D.GetDataParameterIndex(-1), 5); }},
      {"FMOD_DSP_ShowConfigDialog(dsp=0xd5b0, hwnd=0x1234, show=1)",
       [](ITembroFMODDSP& D) { D.ShowConfigDialog(reinterpret_cast<void*>(0x1234), 1); }},
      {"FMOD_DSP_SetMeteringEnabled(dsp=0xd5b0, inputEnabled=0, outputEnabled=1)",
       [](ITembroFMODDSP& D) { D.SetMeteringEnabled(0, 1); }},
      {"FMOD_DSP_GetMeteringEnabled(dsp=0xd5b0, inputEnabled=&, outputEnabled=&)",
       [](ITembroFMODDSP& D) {
         FMOD_BOOL In = 7, Out = 7;
         D.GetMeteringEnabled(In, Out);
         EXPECT_EQ(In, 1);
         EXPECT_EQ(Out, 0);
       }},
      {"FMOD_DSP_GetMeteringInfo(dsp=0xd5b0, inputInfo=&, outputInfo=&)",
       [](ITembroFMODDSP& D) {
         FMOD_DSP_METERING_INFO In{}, Out{};
         D.GetMeteringInfo(In, Out);
         EXPECT_EQ(In.numsamples, 256);
         EXPECT_EQ(Out.numsamples, 512);
       }},
  };
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run(*DSP);
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call}));
  }

  // Every one of them raises the engine's text on failure.
  FakeEngine::ActionTable Failing;
#define FMOD_ENTRY(name, params, args) \
  Failing.name = [](auto...) { return FMOD_ERR_INVALID_HANDLE; };
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  Fake.Actions = Failing;
  for (const Case& C : Cases)
    EXPECT_EQ(RaisedText([&] { C.Run(*DSP); }), "An invalid object handle was used.") << C.Call;
}

TEST(DSPConnectionWrapper, PassThroughOperationsHandTheEngineTheirArgumentsAndReturnWhatItWrote) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSPConnection_GetMix = [](FMOD_DSPCONNECTION*, float* O) { return *O = 0.75f, FMOD_OK; };
  Fake.Actions.FMOD_DSPConnection_GetType = [](FMOD_DSPCONNECTION*, FMOD_DSPCONNECTION_TYPE* O) {
    return *O = FMOD_DSPCONNECTION_TYPE_SEND, FMOD_OK;
  };
  Fake.Actions.FMOD_DSPConnection_GetUserData = [](FMOD_DSPCONNECTION*, void** O) {
    return *O = reinterpret_cast<void*>(0xbeef), FMOD_OK;
  };
  struct Case {
    std::string Call;
    std::function<void(ITembroFMODDSPConnection&)> Run;
  };
  const Case Cases[] = {
      {"FMOD_DSPConnection_GetMix(dspconnection=0xc044, volume=&)",
       [](ITembroFMODDSPConnection& C) { EXPECT_EQ(C.GetMix(), 0.75f); }},
      {"FMOD_DSPConnection_SetMix(dspconnection=0xc044, volume=0.5)",
       [](ITembroFMODDSPConnection& C) { C.SetMix(0.5f); }},
      {"FMOD_DSPConnection_GetType(dspconnection=0xc044, type=&)",
       [](ITembroFMODDSPConnection& C) { EXPECT_EQ(C.GetType(), FMOD_DSPCONNECTION_TYPE_SEND); }},
      {"FMOD_DSPConnection_GetUserData(dspconnection=0xc044, userdata=&)",
       [](ITembroFMODDSPConnection& C) { EXPECT_EQ(C.GetUserData(), reinterpret_cast<void*>(0xbeef)); }},
      {"FMOD_DSPConnection_SetUserData(dspconnection=0xc044, userdata=0xfeed)",
       [](ITembroFMODDSPConnection& C) { C.SetUserData(reinterpret_cast<void*>(0xfeed)); }},
  };
  ITembroFMODDSPConnectionPtr Wrapper = Connection();
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run(*Wrapper);
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call}));
  }
  Fake.Actions.FMOD_DSPConnection_GetMix = [](FMOD_DSPCONNECTION*, float*) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_EQ(RaisedText([&] { Wrapper->GetMix(); }), "An invalid object handle was used.");
}

// ---------------------------------------------------------------------------
// Playing

TEST(DSPWrapper, PlayGoesThroughTheUnitsOwnSystemWithTheGroupOrNull) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSP_GetSystemObject = [](FMOD_DSP*, FMOD_SYSTEM** AOut) { return *AOut = kSystem, FMOD_OK; };
  Fake.Actions.FMOD_System_PlayDSP = [](FMOD_SYSTEM*, FMOD_DSP*, FMOD_CHANNELGROUP*, FMOD_BOOL, FMOD_CHANNEL** AOut) {
    if (AOut != nullptr) *AOut = kChannel;
    return FMOD_OK;
  };
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  ITembroFMODChannelGroupPtr Group = GroupWrapper();
  const std::string AskSystem = "FMOD_DSP_GetSystemObject(dsp=0xd5b0, system=&)";

  DSP->Play(Group, 1);
  DSP->Play(nullptr, 0);
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{AskSystem,
                     "FMOD_System_PlayDSP(system=0x5151, dsp=0xd5b0, channelgroup=0x6600, paused=1, channel=null)",
                     AskSystem,
                     "FMOD_System_PlayDSP(system=0x5151, dsp=0xd5b0, channelgroup=null, paused=0, channel=null)"}));
  Fake.Calls.clear();

  ITembroFMODChannelPtr First = DSP->PlayWithChannel(Group, 0);
  ITembroFMODChannelPtr Second = DSP->PlayWithChannel(nullptr, 1);
  EXPECT_EQ(First->GetInternalHandle(), kChannel);
  EXPECT_EQ(Second->GetInternalHandle(), kChannel);
  EXPECT_NE(First.Get(), Second.Get());
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{AskSystem,
                     "FMOD_System_PlayDSP(system=0x5151, dsp=0xd5b0, channelgroup=0x6600, paused=0, channel=&)",
                     AskSystem,
                     "FMOD_System_PlayDSP(system=0x5151, dsp=0xd5b0, channelgroup=null, paused=1, channel=&)"}));
  Fake.Calls.clear();

  // Without its system the unit plays nothing.
  Fake.Actions.FMOD_DSP_GetSystemObject = [](FMOD_DSP*, FMOD_SYSTEM**) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_EQ(RaisedText([&] { DSP->Play(Group, 0); }), "An invalid object handle was used.");
  EXPECT_EQ(RaisedText([&] { DSP->PlayWithChannel(Group, 0); }), "An invalid object handle was used.");
  EXPECT_EQ(Fake.Names(), (Strings{"FMOD_DSP_GetSystemObject", "FMOD_DSP_GetSystemObject"}));

  Fake.Actions.FMOD_DSP_GetSystemObject = [](FMOD_DSP*, FMOD_SYSTEM** AOut) { return *AOut = kSystem, FMOD_OK; };
  Fake.Actions.FMOD_System_PlayDSP = [](FMOD_SYSTEM*, FMOD_DSP*, FMOD_CHANNELGROUP*, FMOD_BOOL, FMOD_CHANNEL**) {
    return FMOD_ERR_CHANNEL_ALLOC;
  };
  EXPECT_THROW(DSP->PlayWithChannel(nullptr, 0), Lib::ETembroFMODError);
}

// ---------------------------------------------------------------------------
// Wiring

TEST(DSPWrapper, AddInputConnectsTheInputAndReturnsTheConnection) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSP_AddInput = [](FMOD_DSP*, FMOD_DSP*, FMOD_DSPCONNECTION** AOut, FMOD_DSPCONNECTION_TYPE) {
    return *AOut = kConnection, FMOD_OK;
  };
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  ITembroFMODDSPConnectionPtr Result;
  DSP->AddInput(BorrowedDSP(kOtherDSP), Result, FMOD_DSPCONNECTION_TYPE_SIDECHAIN);
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->GetInternalHandle(), kConnection);
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_DSP_AddInput(dsp=0xd5b0, input=0xd5b1, connection=&, type=" +
                     std::to_string(FMOD_DSPCONNECTION_TYPE_SIDECHAIN) + ")"}));
  Fake.Calls.clear();

  Fake.Actions.FMOD_DSP_AddInput = [](FMOD_DSP*, FMOD_DSP*, FMOD_DSPCONNECTION**, FMOD_DSPCONNECTION_TYPE) {
    return FMOD_ERR_DSP_CONNECTION;
  };
  // A failed call leaves the connection null, whatever it held before.
  EXPECT_THROW(DSP->AddInput(BorrowedDSP(kOtherDSP), Result, FMOD_DSPCONNECTION_TYPE_STANDARD), Lib::ETembroFMODError);
  EXPECT_FALSE(Result);
  Fake.Actions.FMOD_DSP_AddInput = [](FMOD_DSP*, FMOD_DSP*, FMOD_DSPCONNECTION** AOut, FMOD_DSPCONNECTION_TYPE) {
    return *AOut = kConnection, FMOD_OK;
  };
  DSP->AddInput(BorrowedDSP(kOtherDSP), Result, FMOD_DSPCONNECTION_TYPE_STANDARD);
  ASSERT_TRUE(Result);
  Fake.Calls.clear();
  EXPECT_EQ(RaisedText([&] { DSP->AddInput(nullptr, Result, FMOD_DSPCONNECTION_TYPE_STANDARD); }),
            "AddInput: AInput is null");
  EXPECT_FALSE(Result);
  Fake.Calls.clear();
}

TEST(DSPWrapper, DisconnectFromNeedsBothTargetAndConnection) {
  FakeEngine Fake;
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  struct Case {
    ITembroFMODDSPPtr Target;
    ITembroFMODDSPConnectionPtr Connection;
    std::string Outcome;  // the call made, or the error raised
  } const Cases[] = {
      {BorrowedDSP(kOtherDSP), Connection(), "FMOD_DSP_DisconnectFrom(dsp=0xd5b0, target=0xd5b1, connection=0xc044)"},
      {nullptr, Connection(), "DisconnectFrom: ATarget is null"},
      {BorrowedDSP(kOtherDSP), nullptr, "DisconnectFrom: AConnection is null"},
  };
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    std::string Outcome = RaisedText([&] { DSP->DisconnectFrom(C.Target, C.Connection); });
    if (!Fake.Calls.empty()) Outcome = Fake.Calls.front();
    EXPECT_EQ(Outcome, C.Outcome);
  }
}

TEST(DSPWrapper, GetInputAndGetOutputGiveNewBorrowedWrappersAndClearTheOutsOnFailure) {
  using TQuery = void (ITembroFMODDSP::*)(std::int32_t, ITembroFMODDSPPtr&, ITembroFMODDSPConnectionPtr&);
  struct Case {
    const char* Entry;
    TQuery Query;
  } const Cases[] = {
      {"FMOD_DSP_GetInput", &ITembroFMODDSP::GetInput},
      {"FMOD_DSP_GetOutput", &ITembroFMODDSP::GetOutput},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    auto Answer = [](FMOD_DSP*, int, FMOD_DSP** ADSP, FMOD_DSPCONNECTION** AConnection) {
      *ADSP = kOtherDSP;
      *AConnection = kConnection;
      return FMOD_OK;
    };
    Fake.Actions.FMOD_DSP_GetInput = Answer;
    Fake.Actions.FMOD_DSP_GetOutput = Answer;
    ITembroFMODDSPPtr DSP = BorrowedDSP();
    ITembroFMODDSPPtr Unit1, Unit2;
    ITembroFMODDSPConnectionPtr Connection1, Connection2;
    ((*DSP).*C.Query)(2, Unit1, Connection1);
    ((*DSP).*C.Query)(2, Unit2, Connection2);
    const std::string Call = std::string(C.Entry) + "(dsp=0xd5b0, index=2, " +
                             (C.Query == &ITembroFMODDSP::GetInput ? "input=&, inputconnection=&)"
                                                                   : "output=&, outputconnection=&)");
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{Call, Call}));
    EXPECT_NE(Unit1.Get(), Unit2.Get()) << C.Entry;
    EXPECT_NE(Connection1.Get(), Connection2.Get()) << C.Entry;
    EXPECT_EQ(Unit1->GetInternalHandle(), kOtherDSP);
    EXPECT_EQ(Unit2->GetInternalHandle(), kOtherDSP);
    EXPECT_EQ(Connection1->GetInternalHandle(), kConnection);
    EXPECT_EQ(Connection2->GetInternalHandle(), kConnection);
    EXPECT_EQ(static_cast<TTembroFMODDSP*>(Unit1.Get())->Ownership(), TTembroFMODOwnership::Borrowed);

    auto Fail = [](FMOD_DSP*, int, FMOD_DSP**, FMOD_DSPCONNECTION**) { return FMOD_ERR_INVALID_PARAM; };
    Fake.Actions.FMOD_DSP_GetInput = Fail;
    Fake.Actions.FMOD_DSP_GetOutput = Fail;
    EXPECT_EQ(RaisedText([&] { ((*DSP).*C.Query)(9, Unit1, Connection1); }), kInvalidParam);
    EXPECT_FALSE(Unit1) << C.Entry;
    EXPECT_FALSE(Connection1) << C.Entry;
  }
}

TEST(DSPConnectionWrapper, InputAndOutputGiveNewBorrowedWrappersOfTheEnds) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSPConnection_GetInput = [](FMOD_DSPCONNECTION*, FMOD_DSP** AOut) {
    return *AOut = kOtherDSP, FMOD_OK;
  };
  Fake.Actions.FMOD_DSPConnection_GetOutput = [](FMOD_DSPCONNECTION*, FMOD_DSP** AOut) {
    return *AOut = kDSP, FMOD_OK;
  };
  ITembroFMODDSPConnectionPtr Wrapper = Connection();
  ITembroFMODDSPPtr In1 = Wrapper->GetInput(), In2 = Wrapper->GetInput(), Out = Wrapper->GetOutput();
  EXPECT_NE(In1.Get(), In2.Get());
  EXPECT_EQ(In1->GetInternalHandle(), kOtherDSP);
  EXPECT_EQ(In2->GetInternalHandle(), kOtherDSP);
  EXPECT_EQ(Out->GetInternalHandle(), kDSP);
  EXPECT_EQ(static_cast<TTembroFMODDSP*>(Out.Get())->Ownership(), TTembroFMODOwnership::Borrowed);
  EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_DSPConnection_GetInput(dspconnection=0xc044, input=&)",
                                             "FMOD_DSPConnection_GetInput(dspconnection=0xc044, input=&)",
                                             "FMOD_DSPConnection_GetOutput(dspconnection=0xc044, output=&)"}));
  Fake.Actions.FMOD_DSPConnection_GetOutput = [](FMOD_DSPCONNECTION*, FMOD_DSP**) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_EQ(RaisedText([&] { Wrapper->GetOutput(); }), "An invalid object handle was used.");
}

// ---------------------------------------------------------------------------
// Parameters

TEST(DSPWrapper, ParameterReadsHandTheEngineA32ByteTextBufferAndReturnValueAndText) {
  FakeEngine Fake;
  auto Text = [](char* ABuffer, int ALength) {
    EXPECT_EQ(ALength, 32);
    std::memcpy(ABuffer, " value ", 7);
  };
  static char Blob[4];
  Fake.Actions.FMOD_DSP_GetParameterFloat = [&](FMOD_DSP*, int, float* V, char* S, int L) {
    *V = 1.5f, Text(S, L);
    return FMOD_OK;
  };
  Fake.Actions.FMOD_DSP_GetParameterInt = [&](FMOD_DSP*, int, int* V, char* S, int L) {
    *V = -7, Text(S, L);
    return FMOD_OK;
  };
  Fake.Actions.FMOD_DSP_GetParameterBool = [&](FMOD_DSP*, int, FMOD_BOOL* V, char* S, int L) {
    *V = 1, Text(S, L);
    return FMOD_OK;
  };
  Fake.Actions.FMOD_DSP_GetParameterData = [&](FMOD_DSP*, int, void** D, unsigned int* N, char* S, int L) {
    *D = Blob, *N = sizeof Blob, Text(S, L);
    return FMOD_OK;
  };
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  std::string Strs[4];
  float F = 0;
  std::int32_t I = 0;
  FMOD_BOOL B = 0;
  void* D = nullptr;
  std::uint32_t N = 0;
  DSP->GetParameterFloat(1, F, Strs[0]);
  DSP->GetParameterInt(2, I, Strs[1]);
  DSP->GetParameterBool(3, B, Strs[2]);
  DSP->GetParameterData(4, D, N, Strs[3]);
  EXPECT_EQ(F, 1.5f);
  EXPECT_EQ(I, -7);
  EXPECT_EQ(B, 1);
  EXPECT_EQ(D, Blob);
  EXPECT_EQ(N, sizeof Blob);
  for (const std::string& S : Strs) EXPECT_EQ(S, "value");
  EXPECT_EQ(Normalised(Fake.Calls),
            (Strings{"FMOD_DSP_GetParameterFloat(dsp=0xd5b0, index=1, value=&, valuestr=&, valuestrlen=32)",
                     "FMOD_DSP_GetParameterInt(dsp=0xd5b0, index=2, value=&, valuestr=&, valuestrlen=32)",
                     "FMOD_DSP_GetParameterBool(dsp=0xd5b0, index=3, value=&, valuestr=&, valuestrlen=32)",
                     "FMOD_DSP_GetParameterData(dsp=0xd5b0, index=4, data=&, length=&, valuestr=&, valuestrlen=32)"}));
}

TEST(DSPWrapper, ParameterTextIsTrimmedAtBothEndsAndNeverReadPastTheBuffer) {
  struct Case {
    std::string Written;  // the bytes the engine writes, at most 32
    std::string Expected;
  } const Cases[] = {
      {"  250.00 ms", "250.00 ms"},
      {"\t-3 dB \n\r", "-3 dB"},
      {"on", "on"},
      {"", ""},
      {"   ", ""},
      {"12 \xC2\xB5s", "12 \xC2\xB5s"},
      {std::string(32, 'x'), std::string(32, 'x')},  // no terminator in the buffer
  };
  FakeEngine Fake;
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  for (const Case& C : Cases) {
    Fake.Actions.FMOD_DSP_GetParameterFloat = [&](FMOD_DSP*, int, float*, char* S, int L) {
      std::memcpy(S, C.Written.data(), std::min<std::size_t>(C.Written.size(), static_cast<std::size_t>(L)));
      return FMOD_OK;
    };
    float Value = 0;
    std::string Text = "previous";
    DSP->GetParameterFloat(0, Value, Text);
    EXPECT_EQ(Text, C.Expected) << '"' << C.Written << '"';
  }
}

TEST(DSPWrapper, AFailedParameterReadLeavesTheTextButKeepsWhatTheEngineWrote) {
  FakeEngine Fake;
  Fake.Actions.FMOD_DSP_GetParameterInt = [](FMOD_DSP*, int, int* V, char* S, int) {
    *V = 42;
    std::memcpy(S, "42", 2);
    return FMOD_ERR_INVALID_PARAM;
  };
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  std::int32_t Value = 0;
  std::string Text = "previous";
  EXPECT_EQ(RaisedText([&] { DSP->GetParameterInt(0, Value, Text); }), kInvalidParam);
  EXPECT_EQ(Text, "previous");
  EXPECT_EQ(Value, 42);
}

TEST(DSPWrapper, GetDataParameterIndexAnswersMinusOneForTheInvalidParameterResultOnly) {
  struct Case {
    FMOD_RESULT Result;
    std::string Outcome;
  } const Cases[] = {
      {FMOD_OK, "5"},
      {FMOD_ERR_INVALID_PARAM, "-1"},
      {FMOD_ERR_INVALID_HANDLE, "An invalid object handle was used."},
      {FMOD_ERR_UNSUPPORTED, Lib::FMODResultMessage(FMOD_ERR_UNSUPPORTED)},
  };
  FakeEngine Fake;
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  for (const Case& C : Cases) {
    Fake.Actions.FMOD_DSP_GetDataParameterIndex = [&](FMOD_DSP*, int, int* AOut) {
      *AOut = 5;
      return C.Result;
    };
    std::string Outcome;
    try {
      Outcome = std::to_string(DSP->GetDataParameterIndex(FMOD_DSP_PARAMETER_DATA_TYPE_FFT));
    } catch (const Lib::ETembroFMODError& E) {
      Outcome = E.what();
    }
    EXPECT_EQ(Outcome, C.Outcome) << C.Result;
  }
}

TEST(DSPWrapper, GetInfoGivesTheNameThroughTheWrappersOwnBuffer) {
  FakeEngine Fake;
  std::string Written;
  Fake.Actions.FMOD_DSP_GetInfo = [&](FMOD_DSP*, char* AName, unsigned int* AVersion, int* AChannels, int* AWidth,
                                      int* AHeight) {
    if (AName == nullptr) return FMOD_ERR_INVALID_PARAM;
    std::memcpy(AName, Written.data(), Written.size());
    *AVersion = 0x00010200, *AChannels = 2, *AWidth = 320, *AHeight = 200;
    return FMOD_OK;
  };
  ITembroFMODDSPPtr DSP = BorrowedDSP();
  for (const std::string& Name : {std::string("Sonvel Echo  "), std::string(32, 'N')}) {
    Written = Name;
    std::string Out = "previous";
    const TTembroFMODDSPInfo Info = DSP->GetInfo(Out);
    EXPECT_EQ(Out, Name.substr(0, Name.find_last_not_of(' ') + 1));
    EXPECT_EQ(Info.Name, nullptr);  // the buffer was the wrapper's and is gone
    EXPECT_EQ(Info.Version, 0x00010200u);
    EXPECT_EQ(Info.Channels, 2);
    EXPECT_EQ(Info.ConfigWidth, 320);
    EXPECT_EQ(Info.ConfigHeight, 200);
  }
  EXPECT_EQ(Normalised({Fake.Calls.front()}),
            (Strings{"FMOD_DSP_GetInfo(dsp=0xd5b0, name=&, version=&, channels=&, configwidth=&, configheight=&)"}));
  Fake.Actions.FMOD_DSP_GetInfo = [](FMOD_DSP*, char*, unsigned int*, int*, int*, int*) { return FMOD_ERR_INVALID_HANDLE; };
  std::string Out = "previous";
  EXPECT_EQ(RaisedText([&] { DSP->GetInfo(Out); }), "An invalid object handle was used.");
  EXPECT_EQ(Out, "previous");
}

// ---------------------------------------------------------------------------
// The connection's mix matrix

TEST(DSPConnectionWrapper, MixMatrixReadFillsTheRecordWithHopZeroAndRefusesMoreThanSixteenCoefficients) {
  struct Case {
    int Out, In;
    bool Refused;
  } const Cases[] = {
      {2, 2, false}, {4, 4, false}, {1, 16, false}, {0, 0, false}, {4, 5, true}, {8, 8, true}, {32, 32, true},
  };
  FakeEngine Fake;
  ITembroFMODDSPConnectionPtr Wrapper = Connection();
  for (const Case& C : Cases) {
    int Hop = -1;
    Fake.Actions.FMOD_DSPConnection_GetMixMatrix = [&](FMOD_DSPCONNECTION*, float* M, int* O, int* I, int AHop) {
      Hop = AHop;
      // The engine writes the whole matrix wherever it was told to.
      for (int K = 0; K < C.Out * C.In; ++K) M[K] = static_cast<float>(K + 1);
      *O = C.Out, *I = C.In;
      return FMOD_OK;
    };
    std::string Outcome = RaisedText([&] {
      const TTembroFMODMixMatrix Matrix = Wrapper->GetMixMatrix();
      EXPECT_EQ(Matrix.OutChannels, C.Out);
      EXPECT_EQ(Matrix.InChannels, C.In);
      EXPECT_EQ(Matrix.InChannel_Hop, 0);
      for (int K = 0; K < 16; ++K) EXPECT_EQ(Matrix.Matrix[K], K < C.Out * C.In ? K + 1.0f : 0.0f);
    });
    EXPECT_EQ(Outcome, C.Refused ? kInvalidParam : "(nothing raised)") << C.Out << "x" << C.In;
    EXPECT_EQ(Hop, 0);
  }
  EXPECT_EQ(Normalised({Fake.Calls.front()}),
            (Strings{"FMOD_DSPConnection_GetMixMatrix(dspconnection=0xc044, matrix=&, outchannels=&, inchannels=&, "
                     "inchannel_hop=0)"}));
  Fake.Actions.FMOD_DSPConnection_GetMixMatrix = [](FMOD_DSPCONNECTION*, float*, int*, int*, int) {
    return FMOD_ERR_INVALID_HANDLE;
  };
  EXPECT_THROW(Wrapper->GetMixMatrix(), Lib::ETembroFMODError);
}

TEST(DSPConnectionWrapper, MixMatrixWriteHandsOverACopyOfTheCoefficientsAndRefusesMalformedShapes) {
  struct Case {
    int Out, In, Hop;
    bool Refused;
  } const Cases[] = {
      {4, 4, 0, false},  {2, 8, 0, false},  {2, 2, 10, false},  // rows 10 apart: coefficients 0, 1, 10, 11
      {0, 0, 0, false},  {4, 5, 0, true},   {3, 6, 0, true},    {2, 2, 15, true},  // the last one would be 16
      {5, 3, 4, true},   {4, 3, 4, false},  {4, 4, 4, false},  // last row ends at 14 and 15
      {-1, 2, 0, true},  {2, -1, 0, true},  {2, 2, -3, true},   {2, 4, 2, true},  // negative, or rows overlap
  };
  FakeEngine Fake;
  ITembroFMODDSPConnectionPtr Wrapper = Connection();
  for (const Case& C : Cases) {
    TTembroFMODMixMatrix Record;
    for (int K = 0; K < 16; ++K) Record.Matrix[K] = K * 0.5f;
    Record.OutChannels = C.Out, Record.InChannels = C.In, Record.InChannel_Hop = C.Hop;
    const float* Seen = nullptr;
    std::array<float, 16> Values{};
    Fake.Actions.FMOD_DSPConnection_SetMixMatrix = [&](FMOD_DSPCONNECTION*, float* M, int, int, int) {
      Seen = M;
      std::copy_n(M, Values.size(), Values.begin());
      return FMOD_OK;
    };
    Fake.Calls.clear();
    const std::string Outcome = RaisedText([&] { Wrapper->SetMixMatrix(Record); });
    if (C.Refused) {
      EXPECT_EQ(Outcome, kInvalidParam) << C.Out << "x" << C.In << " hop " << C.Hop;
      EXPECT_TRUE(Fake.Calls.empty());
      continue;
    }
    EXPECT_NE(Seen, Record.Matrix.data());  // a copy, not the caller's const record
    EXPECT_EQ(Values, Record.Matrix);
    EXPECT_EQ(Normalised(Fake.Calls),
              (Strings{"FMOD_DSPConnection_SetMixMatrix(dspconnection=0xc044, matrix=&, outchannels=" +
                       std::to_string(C.Out) + ", inchannels=" + std::to_string(C.In) +
                       ", inchannel_hop=" + std::to_string(C.Hop) + ")"}));
  }
}

namespace {

std::vector<std::string> GReported;
void Collect(const char* AMessage) noexcept { GReported.emplace_back(AMessage); }

}  // namespace

// With no engine loaded every table slot is empty and calling one raises;
// the destructors that release report that instead of letting it out.
TEST(DSPWrapper, DestructorsReportAReleaseThroughAnEmptyEntryPoint) {
  GReported.clear();
  SetTembroFMODErrorSink(&Collect);
  auto* Unit = reinterpret_cast<FMOD_DSP*>(0xd5b0);
  auto* Shape = reinterpret_cast<FMOD_GEOMETRY*>(0x6e0);
  auto* Zone = reinterpret_cast<FMOD_REVERB3D*>(0x3d0);
  EXPECT_NO_THROW(ITembroFMODDSPPtr(new TTembroFMODDSP(Unit, TTembroFMODOwnership::Owned)).Reset());
  EXPECT_NO_THROW(ITembroFMODGeometryPtr(new TTembroFMODGeometry(Shape, TTembroFMODOwnership::Owned)).Reset());
  EXPECT_NO_THROW(ITembroFMODReverb3DPtr(new TTembroFMODReverb3D(Zone, TTembroFMODOwnership::Owned)).Reset());
  SetTembroFMODErrorSink(nullptr);
  ASSERT_EQ(GReported.size(), 3u);
  EXPECT_NE(GReported[0].find("FMOD_DSP_Release"), std::string::npos);
  EXPECT_NE(GReported[1].find("FMOD_Geometry_Release"), std::string::npos);
  EXPECT_NE(GReported[2].find("FMOD_Reverb3D_Release"), std::string::npos);
}
