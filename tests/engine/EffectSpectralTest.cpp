// The spectral effects: the FFT analyser, the convolution reverb and the
// pitch shifter, each measured against an exact or analytic reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

class EffectSpectralTest : public EffectFixture {};

// ---- Convolution reverb.

// An IR as the unit takes it: the channel count, then interleaved 16-bit PCM.
std::vector<std::int16_t> MakeIr(int AChannels, std::size_t AFrames, unsigned ASeed) {
  std::vector<std::int16_t> Ir{std::int16_t(AChannels)};
  std::uint32_t R = ASeed;
  for (std::size_t I = 0; I < AFrames; ++I)
    for (int C = 0; C < AChannels; ++C) {
      R = R * 1664525u + 1013904223u;
      const double Decay = std::exp(-3.0 * double(I) / double(AFrames));
      Ir.push_back(std::int16_t(std::lround(Decay * (double(R >> 8) / double(1u << 24) - 0.5) * 50000.0)));
    }
  return Ir;
}
double IrAt(const std::vector<std::int16_t>& AIr, std::size_t AFrame, int AChannel) {
  const int Channels = AIr[0];
  return double(AIr[1 + AFrame * std::size_t(Channels) + std::size_t(AChannel)]) / 32768.0;
}

void SetIr(FMOD_DSP* ADsp, std::vector<std::int16_t>& AIr) {
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterData(ADsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_IR, AIr.data(),
                                           unsigned(AIr.size() * 2)),
            FMOD_OK);
}

TEST_F(EffectSpectralTest, ConvolutionMatchesTheExactSumFromTheFirstFrame) {
  struct TCase {
    int IrChannels;
    bool Linked;
    float WetDb, DryDb;
    unsigned Block;  // the partition is the block
  };
  const TCase Cases[] = {{1, true, 0.0f, -80.0f, 1024}, {2, true, -6.0f, 0.0f, 1024}, {2, false, 3.0f, -12.0f, 256}};
  constexpr std::size_t IrFrames = 2500;  // not a multiple of the partition
  constexpr std::size_t InFrames = 6000;
  constexpr std::size_t OutFrames = InFrames + IrFrames + 500;
  const TSignal In = Generate(InFrames, 2, [](std::size_t I, int C) {
    return 0.4 * std::sin(0.013 * double(I) * (C + 1)) + 0.2 * std::sin(0.31 * double(I) + C);
  });
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.IrChannels << " IR channels, linked " << Case.Linked << ", block "
                                    << Case.Block);
    Start(Case.Block);
    FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_CONVOLUTIONREVERB);
    std::vector<std::int16_t> Ir = MakeIr(Case.IrChannels, IrFrames, 7u + unsigned(Case.IrChannels));
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterBool(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_LINKED, Case.Linked), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_WET, Case.WetDb), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_DRY, Case.DryDb), FMOD_OK);
    SetIr(Dsp, Ir);
    const TRender Out = Render(Dsp, In, OutFrames);
    ASSERT_EQ(Out.Channels, 2);
    const double Wet = std::pow(10.0, Case.WetDb / 20.0);
    const double Dry = Case.DryDb <= -80.0f ? 0.0 : std::pow(10.0, Case.DryDb / 20.0);
    double Error = 0.0, Power = 0.0;
    for (int C = 0; C < 2; ++C) {
      const int G = C % Case.IrChannels;
      for (std::size_t N = 0; N < OutFrames; ++N) {
        double Sum = 0.0;
        for (std::size_t K = 0; K < IrFrames && K <= N; ++K) {
          if (N - K >= InFrames) continue;
          const double X = Case.Linked ? 0.5 * (double(In.At(N - K, 0)) + In.At(N - K, 1)) : double(In.At(N - K, C));
          Sum += X * IrAt(Ir, K, G);
        }
        const double Expected = Wet * Sum + Dry * (N < InFrames ? double(In.At(N, C)) : 0.0);
        Error += (Out.At(N, C) - Expected) * (Out.At(N, C) - Expected);
        Power += Expected * Expected;
      }
    }
    EXPECT_LE(10.0 * std::log10(Error / Power), -100.0);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

TEST_F(EffectSpectralTest, ConvolutionAnImpulseGivesTheIrAtOnceAndNoIrLeavesTheDrySignal) {
  FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_CONVOLUTIONREVERB);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_DRY, -80.0f), FMOD_OK);
  std::vector<std::int16_t> Ir = MakeIr(1, 1500, 3);
  SetIr(Dsp, Ir);
  const TRender Out = Render(Dsp, Impulse(2), 3072);
  for (std::size_t N = 0; N < 3072; ++N) {
    const double Expected = N < 1500 ? IrAt(Ir, N, 0) : 0.0;
    ASSERT_NEAR(Out.At(N, 0), Expected, 1e-6) << "frame " << N;
    ASSERT_NEAR(Out.At(N, 1), Expected, 1e-6) << "frame " << N;
  }
  // Without an IR: the dry level only (once its ramp has settled).
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterData(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_IR, nullptr, 0), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_DRY, -6.0f), FMOD_OK);
  const TSignal Tone = Sine(1000.0, 0.5, 2048, 2);
  const TRender Dry = Render(Dsp, Tone, 2048);
  for (std::size_t N = 1024; N < 2048; ++N) ASSERT_NEAR(Dry.At(N, 1), Tone.At(N, 1) * 0.501187, 1e-5) << N;
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
}

TEST_F(EffectSpectralTest, ConvolutionReplacingTheIrWhilePlayingCrossFades) {
  FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_CONVOLUTIONREVERB);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_CONVOLUTION_REVERB_PARAM_DRY, -80.0f), FMOD_OK);
  std::vector<std::int16_t> A = MakeIr(2, 3000, 11), B = MakeIr(1, 700, 12);
  SetIr(Dsp, A);
  constexpr std::size_t Half = 8192;
  const TSignal Tone = Sine(300.0, 0.5, 2 * Half, 1);
  TSignal First = Tone, Second = Tone;
  First.Samples.resize(Half);
  Second.Samples.erase(Second.Samples.begin(), Second.Samples.begin() + Half);
  const TRender Before = Render(Dsp, First, Half);
  SetIr(Dsp, B);
  const TRender After = Render(Dsp, Second, Half);
  // The largest step from one sample to the next in the steady parts, and
  // across the change.
  auto MaxStep = [](const TRender& R, std::size_t From, std::size_t To) {
    double Step = 0.0;
    for (std::size_t N = From + 1; N < To; ++N) Step = std::max(Step, double(std::abs(R.At(N, 0) - R.At(N - 1, 0))));
    return Step;
  };
  const double Steady = std::max(MaxStep(Before, 4096, Half), MaxStep(After, 4096, Half));
  const double Change = std::max(MaxStep(After, 0, 4096), double(std::abs(After.At(0, 0) - Before.At(Half - 1, 0))));
  EXPECT_GT(Steady, 0.0);
  EXPECT_LE(Change, 1.5 * Steady);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
}

// ---- Pitch shifter.

// The frequency near AGuess with the strongest Hann-windowed DFT over
// ASamples[AFrom, ATo): a scan, then a parabola through the best three.
double FineFrequency(const std::vector<float>& ASamples, double AGuess, std::size_t AFrom, std::size_t ATo) {
  const double Span = AGuess * (std::pow(2.0, 40.0 / 1200.0) - 1.0);
  const int Steps = 80;
  std::vector<double> A(Steps + 1);
  int Best = 0;
  for (int I = 0; I <= Steps; ++I) {
    A[I] = ToneAmplitude(ASamples, AGuess - Span + 2 * Span * I / Steps, AFrom, ATo);
    if (A[I] > A[Best]) Best = I;
  }
  Best = std::clamp(Best, 1, Steps - 1);
  const double D = A[Best - 1] - 2 * A[Best] + A[Best + 1];
  const double Offset = D < 0 ? 0.5 * (A[Best - 1] - A[Best + 1]) / D : 0.0;
  return AGuess - Span + 2 * Span * (Best + Offset) / Steps;
}

TEST_F(EffectSpectralTest, PitchShiftLandsWithinFiveCentsWithLittleEnergyElsewhere) {
  constexpr std::size_t Frames = 48000;
  const TSignal In = Sine(440.0, 0.5, Frames, 1);
  for (const int Semitones : {-12, -7, 7, 12}) {
    SCOPED_TRACE(testing::Message() << Semitones << " semitones");
    FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_PITCHSHIFT);
    const double Pitch = std::pow(2.0, Semitones / 12.0);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_PITCHSHIFT_PITCH, float(Pitch)), FMOD_OK);
    const TRender Out = Render(Dsp, In, Frames);
    const std::vector<float> Y = Out.Channel(0);
    const std::size_t From = 8192, To = Frames - 1024;
    const double Target = 440.0 * Pitch;
    const double Found = FineFrequency(Y, Target, From, To);
    EXPECT_LE(std::abs(1200.0 * std::log2(Found / Target)), 5.0) << Found << " Hz";
    // Least-squares fit of a sine at the found frequency; what it leaves is
    // the energy off the target.
    double Scc = 0, Sss = 0, Scs = 0, Syc = 0, Sys = 0;
    for (std::size_t N = From; N < To; ++N) {
      const double W = 2.0 * kEffectPi * Found * double(N) / kRate;
      const double Cs = std::cos(W), Sn = std::sin(W);
      Scc += Cs * Cs, Sss += Sn * Sn, Scs += Cs * Sn, Syc += Y[N] * Cs, Sys += Y[N] * Sn;
    }
    const double Det = Scc * Sss - Scs * Scs;
    const double A = (Syc * Sss - Sys * Scs) / Det, B = (Sys * Scc - Syc * Scs) / Det;
    double Residual = 0.0, Fit = 0.0;
    for (std::size_t N = From; N < To; ++N) {
      const double W = 2.0 * kEffectPi * Found * double(N) / kRate;
      const double V = A * std::cos(W) + B * std::sin(W);
      Residual += (Y[N] - V) * (Y[N] - V);
      Fit += V * V;
    }
    EXPECT_LE(10.0 * std::log10(Residual / Fit), -30.0);
    const double Amplitude = std::hypot(A, B);
    EXPECT_NEAR(Decibels(Amplitude / 0.5), 0.0, 1.0);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

TEST_F(EffectSpectralTest, PitchShiftDelaysByTwiceTheFftSizeAndRefusesOtherSizes) {
  FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_PITCHSHIFT);
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_PITCHSHIFT_FFTSIZE, 1000), FMOD_ERR_INVALID_PARAM);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_PITCHSHIFT_FFTSIZE, 512), FMOD_OK);
  // A tone that starts at frame 0 at pitch 1: silence until the delay, then
  // the tone in phase with the input delayed by 1024 frames.
  const TSignal In = Sine(500.0, 0.5, 8192, 1);
  const TRender Out = Render(Dsp, In, 8192);
  EXPECT_LT(Rms(Out.Channel(0), 0, 1024 - 256), 1e-6);
  double Error = 0.0;
  for (std::size_t N = 4096; N < 8192; ++N) Error = std::max(Error, double(std::abs(Out.At(N, 0) - In.At(N - 1024, 0))));
  EXPECT_LT(Error, 0.02);

  // A new size while playing: the old state fades out, the new one sounds
  // after its own delay, and nothing blows up in between.
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_PITCHSHIFT_FFTSIZE, 2048), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, FMOD_DSP_PITCHSHIFT_PITCH, 1.5f), FMOD_OK);
  const TRender Next = Render(Dsp, Sine(500.0, 0.5, 16384, 1), 16384);
  for (const float V : Next.Samples) ASSERT_LE(std::abs(V), 1.0f);
  EXPECT_NEAR(Decibels(ToneAmplitude(Next.Channel(0), 750.0, 8192, 16384) / 0.5), 0.0, 1.0);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
}

// ---- FFT analyser.

TEST_F(EffectSpectralTest, FftFindsTheDominantFrequencyAndEachWindowPeaksAtItsBin) {
  constexpr double Bin = 48000.0 / 2048.0;
  const double Bins[] = {100.25, 233.4, 371.8};
  for (int Window = FMOD_DSP_FFT_WINDOW_RECT; Window <= FMOD_DSP_FFT_WINDOW_BLACKMANHARRIS; ++Window) {
    for (const double B : Bins) {
      SCOPED_TRACE(testing::Message() << "window " << Window << ", bin " << B);
      FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_FFT);
      ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_FFT_WINDOWTYPE, Window), FMOD_OK);
      const TSignal In = Sine(B * Bin, 1.0, 8192, 2);
      const TRender Out = Render(Dsp, In, 8192);
      EXPECT_EQ(Out.Samples, In.Samples);  // passes its input on
      float Dominant = 0.0f;
      ASSERT_EQ(Lib::FMOD_DSP_GetParameterFloat(Dsp, FMOD_DSP_FFT_DOMINANT_FREQ, &Dominant, nullptr, 0), FMOD_OK);
      EXPECT_NEAR(Dominant / Bin, B, 0.02);
      void* Data = nullptr;
      unsigned Length = 0;
      ASSERT_EQ(Lib::FMOD_DSP_GetParameterData(Dsp, FMOD_DSP_FFT_SPECTRUMDATA, &Data, &Length, nullptr, 0), FMOD_OK);
      ASSERT_EQ(Length, sizeof(FMOD_DSP_PARAMETER_FFT));
      const auto* Fft = static_cast<const FMOD_DSP_PARAMETER_FFT*>(Data);
      ASSERT_EQ(Fft->length, 2048);
      ASSERT_EQ(Fft->numchannels, 2);
      for (int C = 0; C < 2; ++C) {
        int Peak = 0;
        for (int K = 1; K <= 1024; ++K)
          if (Fft->spectrum[C][K] > Fft->spectrum[C][Peak]) Peak = K;
        EXPECT_EQ(Peak, int(std::lround(B)));
        EXPECT_GT(Fft->spectrum[C][Peak], 0.6f);  // about 1 at a bin's centre, less between bins
        EXPECT_LT(Fft->spectrum[C][Peak], 1.05f);
      }
      EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
    }
  }
}

TEST_F(EffectSpectralTest, FftSpectrumTakesTheSetSizeAndAFullScaleBinCentredSineReadsOne) {
  FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE_FFT);
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_FFT_WINDOWSIZE, 1000), FMOD_ERR_INVALID_PARAM);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_FFT_WINDOWSIZE, 512), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, FMOD_DSP_FFT_WINDOWTYPE, FMOD_DSP_FFT_WINDOW_HANNING), FMOD_OK);
  const TRender Out = Render(Dsp, Sine(40 * 48000.0 / 512, 1.0, 4096, 1), 4096);
  void* Data = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterData(Dsp, FMOD_DSP_FFT_SPECTRUMDATA, &Data, nullptr, nullptr, 0), FMOD_OK);
  const auto* Fft = static_cast<const FMOD_DSP_PARAMETER_FFT*>(Data);
  ASSERT_EQ(Fft->length, 512);
  ASSERT_EQ(Fft->numchannels, 1);
  EXPECT_NEAR(Fft->spectrum[0][40], 1.0f, 1e-3f);
  EXPECT_NEAR(Fft->spectrum[0][39], 0.5f, 1e-3f);  // the Hann window's neighbours
  EXPECT_LT(Fft->spectrum[0][45], 1e-4f);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
}

}  // namespace
