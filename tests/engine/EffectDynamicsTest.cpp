// The dynamics effects against their analytic references: the compressor's
// hard-knee curve and time constants, its sidechain and channel linking; the
// limiter's ceiling, latency and gain ramp; the normaliser's fade, max amp
// and threshold; the envelope follower's one-pole envelope.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

class EffectDynamicsTest : public EffectFixture {
protected:
  void SetFloat(FMOD_DSP* ADsp, int AIndex, float AValue) {
    EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(ADsp, AIndex, AValue), FMOD_OK) << "parameter " << AIndex;
  }
  void SetBool(FMOD_DSP* ADsp, int AIndex, bool AValue) {
    EXPECT_EQ(Lib::FMOD_DSP_SetParameterBool(ADsp, AIndex, AValue ? 1 : 0), FMOD_OK) << "parameter " << AIndex;
  }
  void SetSidechain(FMOD_DSP* ADsp, int AIndex, bool AOn) {
    FMOD_DSP_PARAMETER_SIDECHAIN Side{AOn ? 1 : 0};
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterData(ADsp, AIndex, &Side, sizeof Side), FMOD_OK);
    void* Data = nullptr;
    unsigned Length = 0;
    ASSERT_EQ(Lib::FMOD_DSP_GetParameterData(ADsp, AIndex, &Data, &Length, nullptr, 0), FMOD_OK);
    ASSERT_EQ(Length, sizeof Side);
    EXPECT_EQ(static_cast<FMOD_DSP_PARAMETER_SIDECHAIN*>(Data)->sidechainenable, AOn ? 1 : 0);
  }
  float Envelope(FMOD_DSP* ADsp) {
    float Value = -1.0f;
    EXPECT_EQ(Lib::FMOD_DSP_GetParameterFloat(ADsp, FMOD_DSP_ENVELOPEFOLLOWER_ENVELOPE, &Value, nullptr, 0), FMOD_OK);
    return Value;
  }
  void Release(FMOD_DSP* ADsp) { EXPECT_EQ(Lib::FMOD_DSP_Release(ADsp), FMOD_OK); }
};

TSignal Constant(std::size_t AFrames, float AValue) {
  return Generate(AFrames, 1, [&](std::size_t, int) { return AValue; });
}
// The hard-knee curve: the output level of a peak level ALevel, in dB.
double HardKnee(double ALevel, double AThreshold, double ARatio, double AMakeup) {
  return (ALevel <= AThreshold ? ALevel : AThreshold + (ALevel - AThreshold) / ARatio) + AMakeup;
}
// 20 log10 |out / in| sample by sample, on a signal with no zeros.
std::vector<double> GainDb(const TRender& AOut, const TSignal& AIn, std::size_t AFrames, std::size_t ADelay = 0) {
  std::vector<double> Gain(AFrames);
  for (std::size_t I = 0; I < AFrames; ++I) Gain[I] = Decibels(std::fabs(AOut.At(I + ADelay, 0) / AIn.At(I, 0)));
  return Gain;
}
// The first frame at or after AFrom where AGain has crossed AMark (moving
// from above when AFalling).
std::size_t Crossing(const std::vector<double>& AGain, std::size_t AFrom, double AMark, bool AFalling) {
  for (std::size_t I = AFrom; I < AGain.size(); ++I)
    if (AFalling ? AGain[I] <= AMark : AGain[I] >= AMark) return I;
  return AGain.size();
}

TEST_F(EffectDynamicsTest, CompressorFollowsTheHardKneeCurveOnSteadyTones) {
  struct TCase {
    float Ratio, Makeup;
  };
  constexpr float kThreshold = -20.0f;
  for (const TCase Case : {TCase{2.0f, 0.0f}, TCase{8.0f, 6.0f}}) {
    for (const double Level : {-40.0, -25.0, -20.0, -14.0, -6.0, 0.0}) {
      SCOPED_TRACE("ratio " + std::to_string(Case.Ratio) + " makeup " + std::to_string(Case.Makeup) + " level " +
                   std::to_string(Level));
      FMOD_DSP* Comp = Effect(FMOD_DSP_TYPE_COMPRESSOR);
      SetFloat(Comp, FMOD_DSP_COMPRESSOR_THRESHOLD, kThreshold);
      SetFloat(Comp, FMOD_DSP_COMPRESSOR_RATIO, Case.Ratio);
      SetFloat(Comp, FMOD_DSP_COMPRESSOR_ATTACK, 5.0f);
      SetFloat(Comp, FMOD_DSP_COMPRESSOR_RELEASE, 50.0f);
      SetFloat(Comp, FMOD_DSP_COMPRESSOR_GAINMAKEUP, Case.Makeup);
      const TRender Out = Render(Comp, Sine(1000.0, std::pow(10.0, Level / 20.0), 24576), 24576);
      const double Got = Decibels(ToneAmplitude(Out.Channel(0), 1000.0, 12288, 24576));
      EXPECT_NEAR(Got, HardKnee(Level, kThreshold, Case.Ratio, Case.Makeup), 0.5);
      Release(Comp);
    }
  }
}

TEST_F(EffectDynamicsTest, CompressorAttackAndReleaseAreTheDetectorsTimeConstants) {
  // A DC step from 0 dB (15 dB of reduction at 4:1 over -20 dB) down to
  // -40 dB (none): the gain in dB covers 63 % of each change in the set time.
  struct TCase {
    float Attack, Release;
  };
  for (const TCase Case : {TCase{2.0f, 50.0f}, TCase{20.0f, 200.0f}}) {
    SCOPED_TRACE("attack " + std::to_string(Case.Attack) + " release " + std::to_string(Case.Release));
    FMOD_DSP* Comp = Effect(FMOD_DSP_TYPE_COMPRESSOR);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_THRESHOLD, -20.0f);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_RATIO, 4.0f);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_ATTACK, Case.Attack);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_RELEASE, Case.Release);
    const std::size_t Step = std::size_t(Case.Attack * 10 * kRate / 1000) + 4800;
    const std::size_t Frames = Step + std::size_t(Case.Release * 8 * kRate / 1000);
    const TSignal In = Generate(Frames, 1, [&](std::size_t I, int) { return I < Step ? 1.0f : 0.01f; });
    const TRender Out = Render(Comp, In, Frames);
    const std::vector<double> Gain = GainDb(Out, In, Frames);
    EXPECT_NEAR(Gain[Step - 1], -15.0, 0.01);
    EXPECT_NEAR(Gain[Frames - 1], 0.0, 0.01);
    const double Mark = 1.0 - std::exp(-1.0);
    const double AttackMs = double(Crossing(Gain, 0, -15.0 * Mark, true)) * 1000.0 / kRate;
    const double ReleaseMs = double(Crossing(Gain, Step, -15.0 * (1.0 - Mark), false) - Step) * 1000.0 / kRate;
    EXPECT_NEAR(AttackMs, Case.Attack, 0.2 * Case.Attack);
    EXPECT_NEAR(ReleaseMs, Case.Release, 0.2 * Case.Release);
    Release(Comp);
  }
}

TEST_F(EffectDynamicsTest, CompressorSidechainDucksAndLinkingSharesTheLoudestChannelsGain) {
  // A quiet tone under the threshold; a loud sidechain tone over it.
  const TSignal Quiet = Sine(500.0, 0.0316, 24576);
  const TSignal Loud = Sine(2000.0, 0.9, 24576);
  const double Ducked = -(1.0 - 1.0 / 10.0) * (Decibels(0.9) + 20.0);
  for (const bool On : {true, false}) {
    SCOPED_TRACE(On ? "sidechain on" : "sidechain off");
    FMOD_DSP* Comp = Effect(FMOD_DSP_TYPE_COMPRESSOR);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_THRESHOLD, -20.0f);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_RATIO, 10.0f);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_ATTACK, 1.0f);
    SetSidechain(Comp, FMOD_DSP_COMPRESSOR_USESIDECHAIN, On);
    const TRender Out = Render(Comp, Quiet, 24576, &Loud);
    const double Change = Decibels(ToneAmplitude(Out.Channel(0), 500.0, 12288, 24576) / 0.0316);
    EXPECT_NEAR(Change, On ? Ducked : 0.0, 0.5);
    Release(Comp);
  }
  // Channel 0 at 0 dB (15 dB of reduction at 4:1 over -20 dB), channel 1
  // at -30 dB (none on its own).
  const TSignal Pair = Generate(24576, 2, [](std::size_t I, int C) {
    return (C == 0 ? 1.0 : 0.0316) * std::sin(2.0 * kEffectPi * 1000.0 * double(I) / kRate);
  });
  for (const bool Linked : {true, false}) {
    SCOPED_TRACE(Linked ? "linked" : "unlinked");
    FMOD_DSP* Comp = Effect(FMOD_DSP_TYPE_COMPRESSOR);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_THRESHOLD, -20.0f);
    SetFloat(Comp, FMOD_DSP_COMPRESSOR_RATIO, 4.0f);
    SetBool(Comp, FMOD_DSP_COMPRESSOR_LINKED, Linked);
    const TRender Out = Render(Comp, Pair, 24576);
    ASSERT_EQ(Out.Channels, 2);
    EXPECT_NEAR(Decibels(ToneAmplitude(Out.Channel(0), 1000.0, 12288, 24576)), -15.0, 0.5);
    EXPECT_NEAR(Decibels(ToneAmplitude(Out.Channel(1), 1000.0, 12288, 24576) / 0.0316), Linked ? -15.0 : 0.0, 0.5);
    Release(Comp);
  }
}

// The limiter's look-ahead: 2 ms.
constexpr std::size_t kLookAhead = 96;

TEST_F(EffectDynamicsTest, LimiterKeepsSharpPeaksUnderTheCeiling) {
  constexpr std::size_t kFrames = 12288;
  std::uint32_t Seed = 12345;
  const TSignal Noise = Generate(kFrames, 2, [&](std::size_t, int) {
    Seed = Seed * 1664525u + 1013904223u;
    return 4.0 * (double(Seed >> 8) / double(1 << 24) - 0.5) * 2.0;
  });
  const std::vector<std::pair<const char*, TSignal>> Signals = {
      {"step", Generate(kFrames, 2, [](std::size_t I, int C) { return I < 1000 ? 0.0 : (C == 0 ? 2.5 : -1.5); })},
      {"impulses", Generate(kFrames, 2, [](std::size_t I, int C) {
         const double Spike = I % 701 == 0 ? (C == 0 ? 8.0 : -6.0) : 0.0;
         return Spike + 0.5 * std::sin(2.0 * kEffectPi * 440.0 * double(I) / kRate);
       })},
      {"sines", Generate(kFrames, 2, [](std::size_t I, int C) {
         const double T = double(I) / kRate;
         return 3.0 * std::sin(2.0 * kEffectPi * 1000.0 * T) + (C + 1) * std::sin(2.0 * kEffectPi * 7100.0 * T);
       })},
      {"noise", Noise},
  };
  for (const auto& [Name, In] : Signals) {
    for (const float Ceiling : {0.0f, -6.0f, -12.0f}) {
      for (const float Drive : {0.0f, 6.0f, 12.0f}) {
        for (const bool Linked : {false, true}) {
          SCOPED_TRACE(std::string(Name) + " ceiling " + std::to_string(Ceiling) + " gain " + std::to_string(Drive) +
                       (Linked ? " linked" : " independent"));
          FMOD_DSP* Limiter = Effect(FMOD_DSP_TYPE_LIMITER);
          SetFloat(Limiter, FMOD_DSP_LIMITER_CEILING, Ceiling);
          SetFloat(Limiter, FMOD_DSP_LIMITER_MAXIMIZERGAIN, Drive);
          SetBool(Limiter, FMOD_DSP_LIMITER_MODE, Linked);
          const TRender Out = Render(Limiter, In, kFrames);
          float Peak = 0.0f;
          for (const float V : Out.Samples) Peak = std::max(Peak, std::fabs(V));
          EXPECT_LE(Decibels(Peak), Ceiling + 0.01);
          EXPECT_GT(Decibels(Peak), Ceiling - 3.0);  // it limits, it does not mute
          Release(Limiter);
        }
      }
    }
  }
}

TEST_F(EffectDynamicsTest, LimiterDelaysByItsLookAheadAndRampsItsGain) {
  // Under the ceiling the signal comes out delayed and times the
  // maximiser gain, nothing else.
  {
    FMOD_DSP* Limiter = Effect(FMOD_DSP_TYPE_LIMITER);
    SetFloat(Limiter, FMOD_DSP_LIMITER_MAXIMIZERGAIN, 6.0f);
    const TSignal In = Sine(997.0, 0.2, 4096);
    const TRender Out = Render(Limiter, In, 4096 + 1024);
    const float Drive = std::pow(10.0f, 6.0f / 20.0f);
    for (std::size_t I = 0; I < kLookAhead; ++I) ASSERT_EQ(Out.At(I, 0), 0.0f) << I;
    for (std::size_t I = 0; I < 4096; ++I) ASSERT_NEAR(Out.At(I + kLookAhead, 0), In.At(I, 0) * Drive, 1e-6) << I;
    Release(Limiter);
  }
  // A DC step from 0.5 to 2 on channel 0 (channel 1 stays at 0.5) and back:
  // the gain ramps to 1/2 across the look-ahead, reaching it by the step,
  // and recovers afterwards; linked, channel 1 takes channel 0's gain.
  for (const bool Linked : {false, true}) {
    SCOPED_TRACE(Linked ? "linked" : "independent");
    constexpr std::size_t kUp = 2000, kDown = 6000, kFrames = 14336;
    FMOD_DSP* Limiter = Effect(FMOD_DSP_TYPE_LIMITER);
    SetFloat(Limiter, FMOD_DSP_LIMITER_RELEASETIME, 10.0f);
    SetBool(Limiter, FMOD_DSP_LIMITER_MODE, Linked);
    const TSignal In =
        Generate(kFrames, 2, [](std::size_t I, int C) { return C == 0 && I >= kUp && I < kDown ? 2.0 : 0.5; });
    const TRender Out = Render(Limiter, In, kFrames + kLookAhead);
    double Largest = 0.0;
    for (std::size_t I = 1; I < kFrames; ++I) {
      const double Before = Out.At(I - 1 + kLookAhead, 0) / In.At(I - 1, 0);
      const double Now = Out.At(I + kLookAhead, 0) / In.At(I, 0);
      Largest = std::max(Largest, std::fabs(Now - Before));
    }
    EXPECT_LE(Largest, 0.5 / double(kLookAhead) * 1.05);  // a ramp over the look-ahead, no step
    EXPECT_NEAR(Out.At(kUp + kLookAhead, 0) / 2.0, 0.5, 1e-4);
    EXPECT_NEAR(Out.At(kDown - 1 + kLookAhead, 1) / 0.5, Linked ? 0.5 : 1.0, 1e-4);
    EXPECT_NEAR(Out.At(kFrames - 1 + kLookAhead, 0) / 0.5, 1.0, 1e-3);  // recovered after 10 release times
    Release(Limiter);
  }
}

TEST_F(EffectDynamicsTest, NormalizeFadesToFullScaleWithinItsLimits) {
  struct TCase {
    const char* Name;
    double Amplitude;
    float Threshold, MaxAmp;
    double Expected;  // the output's tone once settled
  };
  const TCase Cases[] = {
      {"to full scale", 0.05, 0.01f, 100.0f, 1.0},
      {"max amp", 0.001, 0.0001f, 20.0f, 0.02},
      {"under the threshold", 0.05, 0.1f, 100.0f, 0.05},
      {"loud", 2.0, 0.1f, 20.0f, 1.0},
  };
  constexpr float kFade = 500.0f;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    FMOD_DSP* Normalize = Effect(FMOD_DSP_TYPE_NORMALIZE);
    SetFloat(Normalize, FMOD_DSP_NORMALIZE_FADETIME, kFade);
    SetFloat(Normalize, FMOD_DSP_NORMALIZE_THRESHHOLD, Case.Threshold);
    SetFloat(Normalize, FMOD_DSP_NORMALIZE_MAXAMP, Case.MaxAmp);
    const TRender Out = Render(Normalize, Sine(1000.0, Case.Amplitude, 36864), 36864);
    const std::vector<float> Samples = Out.Channel(0);
    // Settled by the end of the fade time.
    EXPECT_NEAR(Decibels(ToneAmplitude(Samples, 1000.0, 24000, 36864) / Case.Expected), 0.0, 0.1);
    float Peak = 0.0f;
    for (const float V : Samples) Peak = std::max(Peak, std::fabs(V));
    EXPECT_LE(Peak, std::max(1.0, Case.Amplitude * Case.MaxAmp) + 1e-5);
    if (Case.Expected / Case.Amplitude > 10.0) {
      // On the way: the gain rises from unity to the max amp in the fade time.
      const double At100ms = Decibels(ToneAmplitude(Samples, 1000.0, 4320, 5280) / Case.Amplitude);
      EXPECT_NEAR(At100ms, Decibels(Case.MaxAmp) * 100.0 / kFade, 0.5);
    }
    Release(Normalize);
  }
}

TEST_F(EffectDynamicsTest, EnvelopeFollowerTracksItsInputOrSidechainAndPassesTheAudio) {
  constexpr double kAttack = 10.0, kRelease = 50.0;
  const double A = std::exp(-1000.0 / (kAttack * kRate)), R = std::exp(-1000.0 / (kRelease * kRate));
  FMOD_DSP* Follower = Effect(FMOD_DSP_TYPE_ENVELOPEFOLLOWER);
  SetFloat(Follower, FMOD_DSP_ENVELOPEFOLLOWER_ATTACK, float(kAttack));
  SetFloat(Follower, FMOD_DSP_ENVELOPEFOLLOWER_RELEASE, float(kRelease));
  EXPECT_EQ(Envelope(Follower), 0.0f);
  // A step to 0.5, then to 0, one block at a time.
  const TSignal Step = Constant(1024, 0.5f), Zero = Constant(1024, 0.0f);
  double Expected = 0.0;
  for (int Block = 0; Block < 12; ++Block) {
    const bool Up = Block < 6;
    const TRender Out = Render(Follower, Up ? Step : Zero, 1024);
    ASSERT_EQ(Out.Samples, (Up ? Step : Zero).Samples) << "block " << Block;
    Expected = Up ? 0.5 + (Expected - 0.5) * std::pow(A, 1024) : Expected * std::pow(R, 1024);
    EXPECT_NEAR(Envelope(Follower), Expected, 1e-4) << "block " << Block;
  }
  Release(Follower);
  // A quiet input and a loud sidechain: the envelope follows the sidechain
  // when it is enabled, the input when not.
  const TSignal Quiet = Constant(9216, 0.1f), Loud = Constant(9216, 0.8f);
  for (const bool On : {true, false}) {
    SCOPED_TRACE(On ? "sidechain on" : "sidechain off");
    FMOD_DSP* Side = Effect(FMOD_DSP_TYPE_ENVELOPEFOLLOWER);
    SetFloat(Side, FMOD_DSP_ENVELOPEFOLLOWER_ATTACK, float(kAttack));
    SetSidechain(Side, FMOD_DSP_ENVELOPEFOLLOWER_USESIDECHAIN, On);
    const TRender Out = Render(Side, Quiet, 9216, &Loud);
    EXPECT_EQ(Out.Samples, Quiet.Samples);
    EXPECT_NEAR(Envelope(Side), (On ? 0.8 : 0.1) * (1.0 - std::pow(A, 9216)), 1e-4);
    Release(Side);
  }
}

}  // namespace
