// The environmental reverb measured from its rendered impulse responses:
// decay times per octave band, the early and late delays, a tail that only
// ever falls and then ends, and property changes that do not click.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

// A second-order band-pass section (the audio cookbook's, 0 dB peak).
struct TBandPass {
  double B0, B2, A1, A2, S1 = 0, S2 = 0;
  TBandPass(double AFrequency, double AQ, double ARate) {
    const double W = 2 * kEffectPi * AFrequency / ARate, Alpha = std::sin(W) / (2 * AQ), A0 = 1 + Alpha;
    B0 = Alpha / A0;
    B2 = -Alpha / A0;
    A1 = -2 * std::cos(W) / A0;
    A2 = (1 - Alpha) / A0;
  }
  double Run(double X) {
    const double Y = B0 * X + S1;
    S1 = -A1 * Y + S2;
    S2 = B2 * X - A2 * Y;
    return Y;
  }
};

constexpr double kOctave = 1.4142135623730951;  // the band-pass Q of an octave band
constexpr double kThirdOctave = 4.318473046963146;

// The reverberation time from an impulse response in the band around ABand:
// Schroeder's backward-integrated energy (summed over the response's
// channels, as a measurement averages over receivers), a straight line
// fitted from -5 to -35 dB, extended to -60 dB.
double T30(const TSignal& AResponse, double ABand, double AQ = kOctave, int ARate = 48000) {
  std::vector<double> Energy(AResponse.Frames(), 0.0);
  for (int C = 0; C < AResponse.Channels; ++C) {
    TBandPass First(ABand, AQ, ARate), Second(ABand, AQ, ARate);
    for (std::size_t I = 0; I < Energy.size(); ++I) {
      const double Y = Second.Run(First.Run(AResponse.At(I, C)));
      Energy[I] += Y * Y;
    }
  }
  std::vector<double> Curve(Energy.size() + 1, 0.0);
  for (std::size_t I = Energy.size(); I-- > 0;) Curve[I] = Curve[I + 1] + Energy[I];
  const double Total = Curve[0];
  // Least squares of dB against time between the two crossings.
  double N = 0, Sx = 0, Sy = 0, Sxx = 0, Sxy = 0;
  for (std::size_t I = 0; I < Energy.size(); ++I) {
    const double Db = 10 * std::log10(std::max(Curve[I] / Total, 1e-30));
    if (Db > -5) continue;
    if (Db < -35) break;
    const double T = double(I) / ARate;
    N += 1;
    Sx += T;
    Sy += Db;
    Sxx += T * T;
    Sxy += T * Db;
  }
  const double Slope = (N * Sxy - Sx * Sy) / (N * Sxx - Sx * Sx);  // dB per second
  return -60.0 / Slope;
}

std::size_t FirstAbove(const std::vector<float>& ASamples, float AThreshold) {
  for (std::size_t I = 0; I < ASamples.size(); ++I)
    if (std::fabs(ASamples[I]) > AThreshold) return I;
  return ASamples.size();
}

class EffectReverbTest : public EffectFixture {
protected:
  FMOD_DSP* Reverb(std::initializer_list<std::pair<int, float>> ASettings) {
    FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_SFXREVERB);
    for (const auto& [Index, Value] : ASettings) {
      EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, Index, Value), FMOD_OK) << Index;
    }
    return Dsp;
  }
};

TEST_F(EffectReverbTest, DecaysInEveryOctaveBandInTheSetDecayTime) {
  for (const float Decay : {0.5f, 1.0f, 2.0f, 5.0f, 10.0f}) {
    SCOPED_TRACE(Decay);
    FMOD_DSP* Dsp = Reverb({{FMOD_DSP_SFXREVERB_DECAYTIME, Decay * 1000},
                            {FMOD_DSP_SFXREVERB_HFDECAYRATIO, 100},
                            {FMOD_DSP_SFXREVERB_DRYLEVEL, -80}});
    const TRender Response = Render(Dsp, Impulse(2), std::size_t((Decay * 1.1 + 0.3) * kRate));
    for (const double Band : {250.0, 500.0, 1000.0, 2000.0, 4000.0}) {
      const double Measured = T30(Response, Band);
      EXPECT_NEAR(Measured, Decay, 0.05 * Decay) << Band << " Hz";
    }
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

TEST_F(EffectReverbTest, HighFrequenciesDecayInTheirShareOfTheDecayTime) {
  FMOD_DSP* Dsp = Reverb({{FMOD_DSP_SFXREVERB_DECAYTIME, 2000},
                          {FMOD_DSP_SFXREVERB_HFREFERENCE, 4000},
                          {FMOD_DSP_SFXREVERB_HFDECAYRATIO, 50},
                          {FMOD_DSP_SFXREVERB_DRYLEVEL, -80}});
  const TRender Response = Render(Dsp, Impulse(2), 3 * kRate);
  EXPECT_NEAR(T30(Response, 4000, kThirdOctave), 1.0, 0.1);
  EXPECT_NEAR(T30(Response, 250), 2.0, 0.1);
}

TEST_F(EffectReverbTest, ReflectionsAndTheLateReverbStartAtTheirDelays) {
  struct TCase {
    float Early, Late;
  };
  for (const TCase Case : {TCase{0, 0}, TCase{20, 40}, TCase{162, 88}, TCase{300, 100}}) {
    SCOPED_TRACE(testing::Message() << Case.Early << " + " << Case.Late << " ms");
    // All early reflections, then all late reverb.
    for (const float Mix : {0.0f, 100.0f}) {
      FMOD_DSP* Dsp = Reverb({{FMOD_DSP_SFXREVERB_EARLYDELAY, Case.Early},
                              {FMOD_DSP_SFXREVERB_LATEDELAY, Case.Late},
                              {FMOD_DSP_SFXREVERB_EARLYLATEMIX, Mix},
                              {FMOD_DSP_SFXREVERB_DRYLEVEL, -80},
                              {FMOD_DSP_SFXREVERB_WETLEVEL, 0}});
      const std::vector<float> Response = Render(Dsp, Impulse(1), kRate / 2).Channel(0);
      const double Onset = double(FirstAbove(Response, 1e-3f)) * 1000.0 / kRate;
      if (Mix == 0) EXPECT_NEAR(Onset, Case.Early, 1.0) << "early";
      else EXPECT_NEAR(Onset, Case.Early + Case.Late, 2.0) << "late";
      EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
    }
  }
}

TEST_F(EffectReverbTest, TheTailOnlyFallsAndThenTheUnitGoesQuiet) {
  FMOD_DSP* Dsp = Reverb({{FMOD_DSP_SFXREVERB_DECAYTIME, 1000}, {FMOD_DSP_SFXREVERB_DRYLEVEL, -80}});
  // Half a second of noise, then nothing.
  std::uint32_t Seed = 1;
  const TSignal Noise = Generate(kRate / 2, 1, [&](std::size_t, int) {
    Seed = Seed * 1664525u + 1013904223u;
    return 0.5 * (double(Seed >> 8) / double(1 << 24) - 0.5);
  });
  const std::vector<float> Out = Render(Dsp, Noise, 12 * kRate).Channel(0);
  // 50 ms windows from 100 ms after the input stopped: each no louder than
  // the one before (plus the fluctuation of a noise-like tail).
  const std::size_t Window = kRate / 20;
  double Before = 1e9;
  std::size_t Silent = Out.size();
  for (std::size_t From = kRate / 2 + kRate / 10; From + Window <= Out.size(); From += Window) {
    const double Level = Rms(Out, From, From + Window);
    if (Level == 0.0) {
      Silent = From;
      break;
    }
    EXPECT_LE(Decibels(Level), Decibels(Before) + 1.0) << "at " << From;
    Before = Level;
  }
  // A 1 s decay falls 120 dB in about 2 s: soon after, the unit is silent,
  // and stays so.
  EXPECT_LT(Silent, std::size_t(4 * kRate));
  for (std::size_t I = Silent; I < Out.size(); ++I) ASSERT_EQ(Out[I], 0.0f) << I;
}

TEST_F(EffectReverbTest, PropertyChangesCrossFadeWithoutAClick) {
  // A steady low tone through the reverb, with every delay and the decay
  // changed between two blocks: no step in the output around the change
  // larger than the steps of the steady sound before it.
  FMOD_DSP* Dsp = Reverb({{FMOD_DSP_SFXREVERB_DECAYTIME, 3000}, {FMOD_DSP_SFXREVERB_WETLEVEL, 0}});
  const std::size_t Half = 16 * FBlock;
  const TSignal Tone = Sine(110, 0.5, 2 * Half);
  TSignal First, Second;
  First.Samples.assign(Tone.Samples.begin(), Tone.Samples.begin() + std::ptrdiff_t(Half));
  Second.Samples.assign(Tone.Samples.begin() + std::ptrdiff_t(Half), Tone.Samples.end());
  TRender Out = Render(Dsp, First, Half);
  for (const auto& [Index, Value] : {std::pair<int, float>{FMOD_DSP_SFXREVERB_EARLYDELAY, 150},
                                     {FMOD_DSP_SFXREVERB_LATEDELAY, 90},
                                     {FMOD_DSP_SFXREVERB_DENSITY, 100},
                                     {FMOD_DSP_SFXREVERB_DECAYTIME, 500},
                                     {FMOD_DSP_SFXREVERB_LOWSHELFGAIN, -12},
                                     {FMOD_DSP_SFXREVERB_HIGHCUT, 2000}}) {
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, Index, Value), FMOD_OK);
  }
  const TRender Rest = Render(Dsp, Second, Half);
  Out.Samples.insert(Out.Samples.end(), Rest.Samples.begin(), Rest.Samples.end());
  auto LargestStep = [&](std::size_t AFrom, std::size_t ATo) {
    double Largest = 0;
    for (std::size_t I = AFrom; I + 1 < ATo; ++I)
      Largest = std::max(Largest, double(std::fabs(Out.Samples[I + 1] - Out.Samples[I])));
    return Largest;
  };
  EXPECT_LT(LargestStep(Half - 2 * FBlock, Half + 2 * FBlock), 1.5 * LargestStep(Half - 10 * FBlock, Half - 2 * FBlock));
}

TEST_F(EffectReverbTest, TheDryAndWetLevelsAreTheirDecibels) {
  // Wet off: the dry level alone, exactly.
  FMOD_DSP* Dsp = Reverb({{FMOD_DSP_SFXREVERB_WETLEVEL, -80}, {FMOD_DSP_SFXREVERB_DRYLEVEL, -6}});
  const TSignal In = Sine(440, 0.5, 4 * FBlock, 2);
  const TRender Out = Render(Dsp, In, 4 * FBlock);
  ASSERT_EQ(Out.Channels, 2);
  const float Dry = std::pow(10.0f, -6.0f / 20.0f);
  for (std::size_t I = 0; I < In.Samples.size(); ++I) ASSERT_NEAR(Out.Samples[I], Dry * In.Samples[I], 1e-6f) << I;
  // Wet up 6 dB: the reverb comes out twice as loud.
  FMOD_DSP* Loud = Reverb({{FMOD_DSP_SFXREVERB_WETLEVEL, 6}, {FMOD_DSP_SFXREVERB_DRYLEVEL, -80}});
  FMOD_DSP* Soft = Reverb({{FMOD_DSP_SFXREVERB_WETLEVEL, 0}, {FMOD_DSP_SFXREVERB_DRYLEVEL, -80}});
  const std::vector<float> A = Render(Loud, Impulse(1), kRate / 2).Channel(0);
  const std::vector<float> B = Render(Soft, Impulse(1), kRate / 2).Channel(0);
  EXPECT_NEAR(Rms(A, 0, A.size()) / Rms(B, 0, B.size()), std::pow(10.0, 6.0 / 20.0), 1e-3);
}

}  // namespace
