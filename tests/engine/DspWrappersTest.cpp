// The DSP and connection wrappers on our real engine, loaded through the
// binding: what a program using the wrapper library meets.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"
#include "Tembro.Audio.FMOD.System.h"

namespace Lib = Tembro::Audio::FMOD::Lib;
using namespace Tembro::Audio::FMOD;

namespace {

class DspWrappersTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { FLibrary = Lib::LoadFMODLibrary(false); }
  static void TearDownTestSuite() { Lib::UnloadFMODLibrary(FLibrary); }
  static inline Lib::TFMODLibraryHandle FLibrary = nullptr;
};

TEST_F(DspWrappersTest, AUnitPlaysIsRewiredAndMeteredThroughItsWrappers) {
  ITembroFMODSystemPtr System = TTembroFMODSystem::Create();
  ITembroFMODDSPPtr Tone = System->CreateDSPByType(FMOD_DSP_TYPE_OSCILLATOR);
  Tone->SetParameterFloat(FMOD_DSP_OSCILLATOR_RATE, 440.0f);
  float Rate = 0;
  std::string Text;
  Tone->GetParameterFloat(FMOD_DSP_OSCILLATOR_RATE, Rate, Text);
  EXPECT_EQ(Rate, 440.0f);
  EXPECT_EQ(Text, "440.00");
  std::string Name;
  Tone->GetInfo(Name);
  EXPECT_EQ(Name, "Oscillator");
  EXPECT_EQ(Tone->GetType(), FMOD_DSP_TYPE_OSCILLATOR);
  EXPECT_EQ(Tone->GetSystemObject(), System->GetInternalHandle());
  EXPECT_EQ(Tone->GetDataParameterIndex(FMOD_DSP_PARAMETER_DATA_TYPE_FFT), -1);  // none: -1, no error

  ITembroFMODChannelPtr Channel = Tone->PlayWithChannel(nullptr, false);
  ASSERT_TRUE(Channel);
  EXPECT_TRUE(Channel->IsPlaying());
  ITembroFMODDSPPtr Fader;
  ITembroFMODDSPConnectionPtr Link;
  Tone->GetOutput(0, Fader, Link);
  ASSERT_TRUE(Fader && Link);
  EXPECT_EQ(Link->GetInput()->GetInternalHandle(), Tone->GetInternalHandle());
  EXPECT_EQ(Link->GetMix(), 1.0f);
  Link->SetMix(0.5f);
  EXPECT_EQ(Link->GetMix(), 0.5f);
  TTembroFMODMixMatrix Matrix;
  Matrix.OutChannels = 2, Matrix.InChannels = 2;
  Matrix.Matrix = {0.0f, 1.0f, 1.0f, 0.0f};
  Link->SetMixMatrix(Matrix);
  EXPECT_EQ(Link->GetMixMatrix(), Matrix);

  // A mixer unit taps the tone a second time.
  ITembroFMODDSPPtr Tap = System->CreateDSPByType(FMOD_DSP_TYPE_MIXER);
  ITembroFMODDSPConnectionPtr Added;
  Tap->AddInput(Tone, Added, FMOD_DSPCONNECTION_TYPE_STANDARD);
  ASSERT_TRUE(Added);
  EXPECT_EQ(Added->GetOutput()->GetInternalHandle(), Tap->GetInternalHandle());
  EXPECT_EQ(Tone->GetNumOutputs(), 2);
  // A loop back into the tone is refused with the engine's own text.
  ITembroFMODDSPConnectionPtr Refused;
  try {
    Tone->AddInput(Tap, Refused, FMOD_DSPCONNECTION_TYPE_STANDARD);
    ADD_FAILURE() << "a loop was accepted";
  } catch (const Lib::ETembroFMODError& E) {
    EXPECT_EQ(E.Code(), FMOD_ERR_DSP_CONNECTION);
  }
  EXPECT_FALSE(Refused);

  Tone->SetMeteringEnabled(false, true);
  FMOD_DSP_METERING_INFO In{}, Out{};
  for (int Tries = 0; Tries < 200 && Out.numsamples == 0; ++Tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Tone->GetMeteringInfo(In, Out);
  }
  EXPECT_GT(Out.numsamples, 0);
  EXPECT_NEAR(Out.peaklevel[0], 1.0f, 0.01f);

  Channel->Stop();
  Tap->DisconnectAll(true, true);
  EXPECT_EQ(Tone->GetNumOutputs(), 0);
  // The wrappers go before the system; the owned units release, the ones
  // the graph lent do not.
}

}  // namespace
