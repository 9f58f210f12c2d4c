// The panners and the transceiver, rendered offline.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

class EffectRoutingTest : public EffectFixture {
protected:
  // A steady level on every channel: the output is the gains themselves.
  static TSignal Level(std::size_t AFrames, int AChannels = 1) {
    return Generate(AFrames, AChannels, [](std::size_t, int) { return 1.0f; });
  }
  static void Place(FMOD_DSP* ADsp, int AIndex, FMOD_VECTOR APosition) {
    FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI P{};
    P.numlisteners = 1;
    P.weight[0] = 1.0f;
    P.relative[0].position = APosition;
    P.relative[0].forward = {0, 0, 1};
    P.relative[0].up = {0, 1, 0};
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterData(ADsp, AIndex, &P, sizeof P), FMOD_OK);
  }
  static float OverallGain(FMOD_DSP* ADsp, int AIndex) {
    void* Data = nullptr;
    unsigned Length = 0;
    EXPECT_EQ(Lib::FMOD_DSP_GetParameterData(ADsp, AIndex, &Data, &Length, nullptr, 0), FMOD_OK);
    EXPECT_EQ(Length, sizeof(FMOD_DSP_PARAMETER_OVERALLGAIN));
    return Data != nullptr ? static_cast<FMOD_DSP_PARAMETER_OVERALLGAIN*>(Data)->linear_gain : -1.0f;
  }

  // A second chain the test keeps connected: a player of ASignal into AEffect
  // into the master group's head, pulled in the same blocks as Render's.
  struct TPlayer {
    TSignal Signal;
    std::size_t Position = 0;
  };
  FMOD_DSP* Chain(FMOD_DSP* AEffect, TPlayer& APlayer) {
    FPlayerDescriptions.push_back(std::make_unique<FMOD_DSP_DESCRIPTION>());
    FMOD_DSP_DESCRIPTION& D = *FPlayerDescriptions.back();
    D.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
    std::snprintf(D.name, sizeof D.name, "%s", "test player");
    D.numoutputbuffers = 1;
    D.userdata = &APlayer;
    D.read = [](FMOD_DSP_STATE* AState, float*, float* AOut, unsigned ALength, int, int* AOutChannels) -> FMOD_RESULT {
      void* Data = nullptr;
      AState->functions->getuserdata(AState, &Data);
      TPlayer& P = *static_cast<TPlayer*>(Data);
      *AOutChannels = P.Signal.Channels;
      for (unsigned J = 0; J < ALength; ++J, ++P.Position)
        for (int C = 0; C < P.Signal.Channels; ++C)
          AOut[J * P.Signal.Channels + C] = P.Position < P.Signal.Frames() ? P.Signal.At(P.Position, C) : 0.0f;
      return FMOD_OK;
    };
    FMOD_DSP* Player = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateDSP(FSystem, &D, &Player), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_SetActive(Player, true), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_SetActive(AEffect, true), FMOD_OK);
    FMOD_DSP* Head = nullptr;
    EXPECT_EQ(Lib::FMOD_ChannelGroup_GetDSP(Master(), FMOD_CHANNELCONTROL_DSP_HEAD, &Head), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_AddInput(AEffect, Player, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_AddInput(Head, AEffect, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    return Player;
  }
  std::vector<std::unique_ptr<FMOD_DSP_DESCRIPTION>> FPlayerDescriptions;
};

// ---- PAN, 2D.

TEST_F(EffectRoutingTest, StereoPositionFollowsTheConstantPowerLaw) {
  for (const float Position : {-100.0f, -50.0f, 0.0f, 100.0f}) {
    SCOPED_TRACE(Position);
    FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_2D_STEREO_POSITION, Position), FMOD_OK);
    const TRender Out = Render(Pan, Level(2048), 2048);
    ASSERT_EQ(Out.Channels, 2);
    const double Theta = (Position / 100.0 + 1.0) * kEffectPi / 4.0;
    EXPECT_NEAR(Out.At(1500, 0), std::cos(Theta), 1e-4);
    EXPECT_NEAR(Out.At(1500, 1), std::sin(Theta), 1e-4);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
  }
}

TEST_F(EffectRoutingTest, DirectionAndExtentLightTheExpectedSpeakersOfFivePointOne) {
  Start(1024, FMOD_SPEAKERMODE_5POINT1);
  struct TCase {
    float Direction, Extent;
    int Mask;
    std::vector<int> Lit;  // the speakers that sound; the others are silent
  };
  const TCase Cases[] = {
      {0.0f, 0.0f, 4095, {2}},            // ahead: centre
      {-30.0f, 0.0f, 4095, {0}},          // front left
      {110.0f, 0.0f, 4095, {5}},          // surround right
      {-15.0f, 0.0f, 4095, {0, 2}},       // between front left and centre
      {0.0f, 360.0f, 4095, {0, 1, 2, 4, 5}},  // all round, never the LFE
      {0.0f, 360.0f, 4095 & ~(1 << 2) & ~(1 << 4), {0, 1, 5}},  // centre and surround left disabled
      {0.0f, 0.0f, 4095 & ~(1 << 2), {0, 1}},  // ahead with no centre: the front pair shares it
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE("direction " + std::to_string(C.Direction) + " extent " + std::to_string(C.Extent));
    FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_2D_DIRECTION, C.Direction), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_2D_EXTENT, C.Extent), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Pan, FMOD_DSP_PAN_ENABLED_SPEAKERS, C.Mask), FMOD_OK);
    const TRender Out = Render(Pan, Level(2048), 2048);
    ASSERT_EQ(Out.Channels, 6);
    double Power = 0.0;
    for (int S = 0; S < 6; ++S) {
      const bool Lit = std::find(C.Lit.begin(), C.Lit.end(), S) != C.Lit.end();
      const float G = Out.At(1500, S);
      Power += double(G) * G;
      if (Lit) {
        EXPECT_GT(G, 0.05f) << "speaker " << S;
      } else {
        EXPECT_NEAR(G, 0.0f, 1e-6) << "speaker " << S;
      }
    }
    EXPECT_NEAR(Power, 1.0, 1e-3);  // constant power, over the speakers left
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
  }
}

TEST_F(EffectRoutingTest, TheLfeTakesTheInputsLfeOrTheUpmixAtTheLfeLevel) {
  Start(1024, FMOD_SPEAKERMODE_5POINT1);
  const float Level6 = std::pow(10.0f, -6.0f / 20.0f);
  // A 5.1 input's LFE channel, and a mono input with the upmix on.
  const TSignal LfeOnly = Generate(2048, 6, [](std::size_t, int C) { return C == 3 ? 1.0f : 0.0f; });
  for (const bool Upmix : {false, true}) {
    SCOPED_TRACE(Upmix);
    FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_2D_LFE_LEVEL, -6.0f), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Pan, FMOD_DSP_PAN_LFE_UPMIX_ENABLED, Upmix ? 1 : 0), FMOD_OK);
    const TRender Out = Render(Pan, Upmix ? Level(2048) : LfeOnly, 2048);
    ASSERT_EQ(Out.Channels, 6);
    EXPECT_NEAR(Out.At(1500, 3), Level6, 1e-4);
    if (!Upmix) {
      for (const int S : {0, 1, 2, 4, 5}) EXPECT_EQ(Out.At(1500, S), 0.0f) << "speaker " << S;
    }
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
  }
}

TEST_F(EffectRoutingTest, APositionJumpGlidesAcrossABlock) {
  FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_2D_STEREO_POSITION, -100.0f), FMOD_OK);
  Render(Pan, Level(1024), 1024);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_2D_STEREO_POSITION, 100.0f), FMOD_OK);
  const TRender Out = Render(Pan, Level(2048), 2048);
  EXPECT_NEAR(Out.At(0, 0), 1.0f, 0.01f);
  EXPECT_NEAR(Out.At(0, 1), 0.0f, 0.01f);
  float Step = 0.0f;
  for (std::size_t I = 1; I < Out.Frames(); ++I)
    for (int C = 0; C < 2; ++C) Step = std::max(Step, std::fabs(Out.At(I, C) - Out.At(I - 1, C)));
  EXPECT_LT(Step, 0.005f);  // a jump of 1 spread over the block
  EXPECT_NEAR(Out.At(1500, 0), 0.0f, 1e-5);
  EXPECT_NEAR(Out.At(1500, 1), 1.0f, 1e-5);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
}

// ---- PAN and OBJECTPAN, 3D.

// The attenuation of each rolloff at distance D between min 1 and max 20.
double Expected(int ARolloff, double D) {
  const double Linear = 1.0 - (D - 1.0) / 19.0;
  switch (ARolloff) {
    case FMOD_DSP_PAN_3D_ROLLOFF_LINEARSQUARED: return Linear * Linear;
    case FMOD_DSP_PAN_3D_ROLLOFF_LINEAR: return Linear;
    case FMOD_DSP_PAN_3D_ROLLOFF_INVERSE: return 1.0 / D;
    case FMOD_DSP_PAN_3D_ROLLOFF_INVERSETAPERED: return std::min(1.0 / D, Linear * Linear);
    default: return 1.0;  // custom: the caller applies its own curve upstream
  }
}

TEST_F(EffectRoutingTest, ThreeDimensionalRolloffAttenuatesAndASourceOnTheLeftLandsLeft) {
  for (int Rolloff = 0; Rolloff <= FMOD_DSP_PAN_3D_ROLLOFF_CUSTOM; ++Rolloff)
    for (const double D : {0.5, 5.0, 12.0}) {
      SCOPED_TRACE("rolloff " + std::to_string(Rolloff) + " distance " + std::to_string(D));
      FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
      ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_3D_PAN_BLEND, 1.0f), FMOD_OK);
      ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Pan, FMOD_DSP_PAN_3D_ROLLOFF, Rolloff), FMOD_OK);
      Place(Pan, FMOD_DSP_PAN_3D_POSITION, {-float(D), 0, 0});
      const TRender Out = Render(Pan, Level(2048), 2048);
      const double Want = D <= 1.0 ? 1.0 : Expected(Rolloff, D);
      EXPECT_NEAR(Out.At(1500, 0), Want, 1e-4);
      EXPECT_NEAR(Out.At(1500, 1), 0.0, 1e-4);
      EXPECT_NEAR(OverallGain(Pan, FMOD_DSP_PAN_OVERALL_GAIN), Want, 1e-5);
      EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
    }
}

TEST_F(EffectRoutingTest, PanBlendMovesFromTheTwoDimensionalToTheThreeDimensionalPan) {
  // A source 5 units to the left, linear rolloff: 2D is the centred stereo
  // position, 3D the attenuated left.
  const double Attenuation = Expected(FMOD_DSP_PAN_3D_ROLLOFF_LINEAR, 5.0);
  for (const float Blend : {0.0f, 0.5f, 1.0f}) {
    SCOPED_TRACE(Blend);
    FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_3D_PAN_BLEND, Blend), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Pan, FMOD_DSP_PAN_3D_ROLLOFF, FMOD_DSP_PAN_3D_ROLLOFF_LINEAR), FMOD_OK);
    Place(Pan, FMOD_DSP_PAN_3D_POSITION, {-5, 0, 0});
    const TRender Out = Render(Pan, Level(2048), 2048);
    const double Half = std::sqrt(0.5);
    EXPECT_NEAR(Out.At(1500, 0), (1 - Blend) * Half + Blend * Attenuation, 1e-4);
    EXPECT_NEAR(Out.At(1500, 1), (1 - Blend) * Half, 1e-4);
    EXPECT_NEAR(OverallGain(Pan, FMOD_DSP_PAN_OVERALL_GAIN), (1 - Blend) + Blend * Attenuation, 1e-5);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
  }
}

TEST_F(EffectRoutingTest, ObjectPanPlacesLikeThePanAndAppliesItsOutputGain) {
  for (const FMOD_VECTOR At : {FMOD_VECTOR{-5, 0, 0}, FMOD_VECTOR{3, 0, 4}}) {
    FMOD_DSP* Pan = Effect(FMOD_DSP_TYPE_PAN);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pan, FMOD_DSP_PAN_3D_PAN_BLEND, 1.0f), FMOD_OK);
    Place(Pan, FMOD_DSP_PAN_3D_POSITION, At);
    const TRender Reference = Render(Pan, Level(2048), 2048);
    FMOD_DSP* Object = Effect(FMOD_DSP_TYPE_OBJECTPAN);
    Place(Object, FMOD_DSP_OBJECTPAN_3D_POSITION, At);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Object, FMOD_DSP_OBJECTPAN_OUTPUTGAIN, 2.0f), FMOD_OK);
    const TRender Out = Render(Object, Level(2048), 2048);
    ASSERT_EQ(Out.Channels, 2);
    for (int C = 0; C < 2; ++C) EXPECT_NEAR(Out.At(1500, C), 2.0f * Reference.At(1500, C), 1e-4);
    EXPECT_NEAR(OverallGain(Object, FMOD_DSP_OBJECTPAN_OVERALL_GAIN), 2.0 * Expected(0, 5.0), 1e-5);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pan), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Object), FMOD_OK);
  }
}

// ---- TRANSCEIVER.

// The receiver's output against the expected signal, at the bus's latency:
// none when the transmitter ran first in the block, one block when after.
void ExpectHeard(const TRender& AOut, const std::vector<float>& AWant, int AChannel, unsigned ABlock) {
  bool Matched = false;
  for (const unsigned Lag : {0u, ABlock}) {
    bool Same = true;
    for (std::size_t I = 0; I + Lag < AOut.Frames() && I < AWant.size() && Same; ++I)
      Same = std::fabs(AOut.At(I + Lag, AChannel) - AWant[I]) < 1e-5f;
    Matched = Matched || Same;
  }
  EXPECT_TRUE(Matched) << "channel " << AChannel;
}

TEST_F(EffectRoutingTest, AReceiverHearsTheTransmittersOfItsChannelAtTheirGains) {
  const TSignal Tone = Sine(440.0, 0.5, 8192);
  const TSignal Other = Sine(1000.0, 0.25, 8192);
  FMOD_DSP* Tx = Effect(FMOD_DSP_TYPE_TRANSCEIVER);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterBool(Tx, FMOD_DSP_TRANSCEIVER_TRANSMIT, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Tx, FMOD_DSP_TRANSCEIVER_CHANNEL, 3), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Tx, FMOD_DSP_TRANSCEIVER_GAIN, -6.0f), FMOD_OK);
  // A mono input sent as stereo: the channel carries it on both speakers.
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Tx, FMOD_DSP_TRANSCEIVER_TRANSMITSPEAKERMODE,
                                          FMOD_DSP_TRANSCEIVER_SPEAKERMODE_STEREO),
            FMOD_OK);
  TPlayer Player{Tone};
  FMOD_DSP* Source = Chain(Tx, Player);

  FMOD_DSP* Rx = Effect(FMOD_DSP_TYPE_TRANSCEIVER);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Rx, FMOD_DSP_TRANSCEIVER_CHANNEL, 3), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Rx, FMOD_DSP_TRANSCEIVER_GAIN, -3.0f), FMOD_OK);
  const float Gain = std::pow(10.0f, -9.0f / 20.0f);
  std::vector<float> Want(8192);
  for (std::size_t I = 0; I < Want.size(); ++I) Want[I] = Gain * Tone.At(I, 0);
  {
    const TRender Out = Render(Rx, Impulse(2, 0.0f), 4096);
    ASSERT_EQ(Out.Channels, 2);
    // (The receiver's own input, silence here, is replaced by the channel.)
    for (int C = 0; C < 2; ++C) ExpectHeard(Out, std::vector<float>(Want.begin() + 0, Want.end()), C, FBlock);
  }

  // Channel 4 hears nothing of it, and a receiver's own input is replaced.
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Rx, FMOD_DSP_TRANSCEIVER_CHANNEL, 4), FMOD_OK);
  {
    const TRender Out = Render(Rx, Level(2048, 2), 2048);
    EXPECT_EQ(Rms(Out.Samples, 0, Out.Samples.size()), 0.0);
  }
  // A transmitter passes its input on untouched (here on a channel of its own).
  {
    FMOD_DSP* Pass = Effect(FMOD_DSP_TYPE_TRANSCEIVER);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterBool(Pass, FMOD_DSP_TRANSCEIVER_TRANSMIT, true), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Pass, FMOD_DSP_TRANSCEIVER_CHANNEL, 5), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Pass, FMOD_DSP_TRANSCEIVER_GAIN, -20.0f), FMOD_OK);
    const TRender Out = Render(Pass, Other, 2048);
    ASSERT_EQ(Out.Channels, 1);
    for (std::size_t I = 0; I < 2048; ++I) ASSERT_EQ(Out.At(I, 0), Other.At(I, 0)) << "frame " << I;
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pass), FMOD_OK);
  }

  // Two transmitters on one channel sum; a mono one is spread over the
  // channel's stereo at its level.
  FMOD_DSP* Tx2 = Effect(FMOD_DSP_TYPE_TRANSCEIVER);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterBool(Tx2, FMOD_DSP_TRANSCEIVER_TRANSMIT, true), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Tx2, FMOD_DSP_TRANSCEIVER_CHANNEL, 3), FMOD_OK);
  TPlayer Player2{Other};
  FMOD_DSP* Source2 = Chain(Tx2, Player2);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Rx, FMOD_DSP_TRANSCEIVER_CHANNEL, 3), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Rx, FMOD_DSP_TRANSCEIVER_GAIN, 0.0f), FMOD_OK);
  {
    // Both players restart together, so the sum is steady from frame 0.
    Player.Position = Player2.Position = 0;
    const TRender Out = Render(Rx, Impulse(2, 0.0f), 4096);
    ASSERT_EQ(Out.Channels, 2);
    const float Sent = std::pow(10.0f, -6.0f / 20.0f);
    // From the second block on the receiver's gain has settled.
    const double Rms1 = Rms(Out.Channel(0), 2048, 4096);
    const double Rms2 = std::sqrt(std::pow(Sent * 0.5, 2) / 2 + std::pow(0.25, 2) / 2);
    EXPECT_NEAR(Rms1, Rms2, 0.02 * Rms2);
    EXPECT_NEAR(ToneAmplitude(Out.Channel(1), 440.0, 2048, 4096), Sent * 0.5, 0.01);
    EXPECT_NEAR(ToneAmplitude(Out.Channel(1), 1000.0, 2048, 4096), 0.25, 0.01);
  }

  // Released transmitters leave silence behind.
  for (FMOD_DSP* U : {Source, Tx, Source2, Tx2}) {
    EXPECT_EQ(Lib::FMOD_DSP_DisconnectAll(U, true, true), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_Release(U), FMOD_OK);
  }
  {
    const TRender Out = Render(Rx, Impulse(2, 0.0f), 3072);
    EXPECT_EQ(Rms(Out.Samples, 0, Out.Samples.size()), 0.0);
  }
  EXPECT_EQ(Lib::FMOD_DSP_Release(Rx), FMOD_OK);
}

}  // namespace
