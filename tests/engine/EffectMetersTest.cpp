// The loudness meter against the EBU test signals (Tech 3341 loudness,
// Tech 3342 loudness range) and a known true peak, and the LADSPA host
// against the SDK's example plug-ins.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

using Info = FMOD_DSP_LOUDNESS_METER_INFO_TYPE;

class LoudnessMeterTest : public EffectFixture {
protected:
  // One level of a stepped test signal.
  struct TStep {
    double Dbfs;     // peak level of the 1 kHz sine on both channels
    double Seconds;
  };
  // A stereo 1 kHz sine at each step's level in turn, the last step lengthened
  // to whole blocks (so that the last measurement sees no trailing silence)
  // and whole periods (so that it ends at a zero crossing, with no step that
  // would overshoot between the samples).
  TSignal Steps(const std::vector<TStep>& ASteps) const {
    std::vector<std::size_t> Ends;
    std::size_t End = 0;
    for (const TStep& S : ASteps) Ends.push_back(End += std::size_t(S.Seconds * kRate + 0.5));
    const std::size_t Whole = std::size_t(FBlock) * 3;  // 1024 * 3 frames hold 64 periods of 48
    Ends.back() = (Ends.back() + Whole - 1) / Whole * Whole;
    std::size_t Step = 0;
    return Generate(Ends.back(), 2, [&](std::size_t I, int) {
      while (I >= Ends[Step]) ++Step;
      return std::pow(10.0, ASteps[Step].Dbfs / 20.0) * std::sin(2.0 * kEffectPi * 1000.0 * double(I) / kRate);
    });
  }
  static Info Read(FMOD_DSP* AMeter) {
    void* Data = nullptr;
    unsigned Length = 0;
    EXPECT_EQ(Lib::FMOD_DSP_GetParameterData(AMeter, FMOD_DSP_LOUDNESS_METER_INFO, &Data, &Length, nullptr, 0), FMOD_OK);
    EXPECT_EQ(Length, sizeof(Info));
    Info Result{};
    if (Data != nullptr) std::memcpy(&Result, Data, sizeof Result);
    return Result;
  }
  void SetState(FMOD_DSP* AMeter, int AState) {
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterInt(AMeter, FMOD_DSP_LOUDNESS_METER_STATE, AState), FMOD_OK);
  }
};

TEST_F(LoudnessMeterTest, MeetsTheEbuMinimumRequirementsCases) {
  // EBU Tech 3341, cases 1-5: stereo 1 kHz sines. Cases 1 and 2 are steady,
  // so momentary and short-term read the same as integrated at their end.
  struct TCase {
    const char* Name;
    std::vector<TStep> Signal;
    double Expected;  // LUFS
    bool Steady;
  };
  const TCase Cases[] = {
      {"case 1", {{-23, 20}}, -23.0, true},
      {"case 2", {{-33, 20}}, -33.0, true},
      {"case 3", {{-36, 10}, {-23, 60}, {-36, 10}}, -23.0, false},
      {"case 4", {{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, -23.0, false},
      {"case 5", {{-26, 20}, {-20, 20.1}, {-26, 20}}, -23.0, false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    FMOD_DSP* Meter = Effect(FMOD_DSP_TYPE_LOUDNESS_METER);
    const TSignal In = Steps(C.Signal);
    const TRender Out = Render(Meter, In, In.Frames());
    const Info I = Read(Meter);
    EXPECT_NEAR(I.integratedloudness, C.Expected, 0.1);
    if (C.Steady) {
      EXPECT_NEAR(I.momentaryloudness, C.Expected, 0.1);
      EXPECT_NEAR(I.shorttermloudness, C.Expected, 0.1);
      EXPECT_NEAR(I.maxmomentaryloudness, C.Expected, 0.1);
      // The meter leaves the audio as it is.
      ASSERT_EQ(Out.Samples, In.Samples);
    }
    EXPECT_EQ(Lib::FMOD_DSP_Release(Meter), FMOD_OK);
  }
}

TEST_F(LoudnessMeterTest, MeasuresTruePeakBetweenTheSamples) {
  // A sine at fs/4, 45 degrees off the sample grid, has its samples 3 dB
  // under its peak; the oversampled peak finds the peak itself.
  struct TCase {
    double Frequency, Phase, Amplitude;
  };
  for (const TCase& C : {TCase{12000.0, kEffectPi / 4, 0.5}, TCase{997.0, 0.3, 0.9}, TCase{12000.0, kEffectPi / 4, 1.0}}) {
    SCOPED_TRACE(C.Frequency);
    FMOD_DSP* Meter = Effect(FMOD_DSP_TYPE_LOUDNESS_METER);
    // Faded in and out over 10 ms: a step at either end would overshoot
    // between the samples by itself.
    const TSignal In = Generate(48000, 2, [&](std::size_t I, int) {
      const double Edge = std::min(1.0, double(std::min(I, 47999 - I)) / 480.0);
      const double Fade = 0.5 - 0.5 * std::cos(kEffectPi * Edge);
      return Fade * C.Amplitude * std::sin(2.0 * kEffectPi * C.Frequency * double(I) / kRate + C.Phase);
    });
    Render(Meter, In, In.Frames());
    float SamplePeak = 0.0f;
    for (const float S : In.Samples) SamplePeak = std::max(SamplePeak, std::fabs(S));
    const Info I = Read(Meter);
    EXPECT_NEAR(I.maxtruepeak, Decibels(C.Amplitude), 0.2) << "sample peak " << Decibels(SamplePeak);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Meter), FMOD_OK);
  }
}

TEST_F(LoudnessMeterTest, MeasuresTheLoudnessRangeOfATwoLevelSignal) {
  // EBU Tech 3342 case 1: 20 s at -20 dBFS then 20 s at -30 dBFS, a range of
  // 10 LU; the percentiles sit at the two levels.
  FMOD_DSP* Meter = Effect(FMOD_DSP_TYPE_LOUDNESS_METER);
  const TSignal In = Steps({{-20, 20}, {-30, 20}});
  Render(Meter, In, In.Frames());
  const Info I = Read(Meter);
  EXPECT_NEAR(I.loudness95thpercentile - I.loudness10thpercentile, 10.0, 1.0);
  EXPECT_NEAR(I.loudness95thpercentile, -20.0, 0.5);
  EXPECT_NEAR(I.loudness10thpercentile, -30.0, 0.5);
  // The histogram holds the short-term values, bin i for [i - 65, i - 64) LUFS,
  // almost all of them in the bins of the two levels.
  float Total = 0.0f;
  for (const float N : I.loudnesshistogram) Total += N;
  EXPECT_GT(Total, 300.0f);
  EXPECT_GT(I.loudnesshistogram[45] + I.loudnesshistogram[44] + I.loudnesshistogram[35] + I.loudnesshistogram[34],
            0.9f * Total);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Meter), FMOD_OK);
}

TEST_F(LoudnessMeterTest, PausesAndResetsOnCommand) {
  FMOD_DSP* Meter = Effect(FMOD_DSP_TYPE_LOUDNESS_METER);
  const TSignal Loud = Steps({{-23, 5}}), Louder = Steps({{-10, 5}}), Quiet = Steps({{-33, 5}});
  Render(Meter, Loud, Loud.Frames());
  EXPECT_NEAR(Read(Meter).integratedloudness, -23.0, 0.1);

  // Paused: nothing of what plays is measured.
  SetState(Meter, FMOD_DSP_LOUDNESS_METER_STATE_PAUSED);
  Render(Meter, Louder, Louder.Frames());
  Info I = Read(Meter);
  EXPECT_NEAR(I.integratedloudness, -23.0, 0.1);
  EXPECT_NEAR(I.maxtruepeak, -23.0, 0.2);

  // A reset of the integration starts it over and keeps the peak; the state
  // then reads as analysing.
  SetState(Meter, FMOD_DSP_LOUDNESS_METER_STATE_RESET_INTEGRATED);
  int State = -10;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterInt(Meter, FMOD_DSP_LOUDNESS_METER_STATE, &State, nullptr, 0), FMOD_OK);
  EXPECT_EQ(State, FMOD_DSP_LOUDNESS_METER_STATE_ANALYZING);
  Render(Meter, Quiet, Quiet.Frames());
  I = Read(Meter);
  EXPECT_NEAR(I.integratedloudness, -33.0, 0.1);
  EXPECT_NEAR(I.maxtruepeak, -23.0, 0.2);

  // A reset of the peaks forgets the louder past.
  SetState(Meter, FMOD_DSP_LOUDNESS_METER_STATE_RESET_MAXPEAK);
  Render(Meter, Quiet, Quiet.Frames());
  I = Read(Meter);
  EXPECT_NEAR(I.maxtruepeak, -33.0, 0.2);
  EXPECT_NEAR(I.maxmomentaryloudness, -33.0, 0.1);
  EXPECT_NEAR(I.integratedloudness, -33.0, 0.1);

  // A reset of everything, then silence: nothing measured.
  SetState(Meter, FMOD_DSP_LOUDNESS_METER_STATE_RESET_ALL);
  Render(Meter, TSignal{{}, 2}, 48000);
  I = Read(Meter);
  EXPECT_LE(I.integratedloudness, -70.0f);
  EXPECT_LE(I.maxtruepeak, -70.0f);
  EXPECT_LE(I.momentaryloudness, -70.0f);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Meter), FMOD_OK);
}

TEST_F(LoudnessMeterTest, WeightsEachChannel) {
  // Only the left channel counts: half the power, 3.01 LU down.
  FMOD_DSP* Meter = Effect(FMOD_DSP_TYPE_LOUDNESS_METER);
  FMOD_DSP_LOUDNESS_METER_WEIGHTING_TYPE W{};
  W.channelweight[0] = 1.0f;
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterData(Meter, FMOD_DSP_LOUDNESS_METER_WEIGHTING, &W, sizeof W), FMOD_OK);
  W.channelweight[1] = -1.0f;
  EXPECT_EQ(Lib::FMOD_DSP_SetParameterData(Meter, FMOD_DSP_LOUDNESS_METER_WEIGHTING, &W, sizeof W),
            FMOD_ERR_INVALID_PARAM);
  const TSignal In = Steps({{-23, 5}});
  Render(Meter, In, In.Frames());
  EXPECT_NEAR(Read(Meter).integratedloudness, -23.0 - 10.0 * std::log10(2.0), 0.1);
  void* Data = nullptr;
  unsigned Length = 0;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterData(Meter, FMOD_DSP_LOUDNESS_METER_WEIGHTING, &Data, &Length, nullptr, 0),
            FMOD_OK);
  ASSERT_EQ(Length, sizeof W);
  EXPECT_EQ(static_cast<const float*>(Data)[0], 1.0f);
  EXPECT_EQ(static_cast<const float*>(Data)[1], 0.0f);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Meter), FMOD_OK);
}

// ---------------------------------------------------------------------------

class LadspaHostTest : public EffectFixture {
protected:
  static FMOD_RESULT Load(FMOD_DSP* AHost, const std::string& ALibrary, int AIndex) {
    const FMOD_RESULT R = Lib::FMOD_DSP_SetParameterInt(AHost, 1, AIndex);
    if (R != FMOD_OK) return R;
    return Lib::FMOD_DSP_SetParameterData(AHost, 0, const_cast<char*>(ALibrary.c_str()), unsigned(ALibrary.size() + 1));
  }
  static int Count(FMOD_DSP* AHost) {
    int N = -1;
    EXPECT_EQ(Lib::FMOD_DSP_GetNumParameters(AHost, &N), FMOD_OK);
    return N;
  }
  static std::string Name(FMOD_DSP* AHost, int AIndex) {
    FMOD_DSP_PARAMETER_DESC* D = nullptr;
    EXPECT_EQ(Lib::FMOD_DSP_GetParameterInfo(AHost, AIndex, &D), FMOD_OK);
    return D != nullptr ? D->name : "";
  }
  // Two different channels of music-like material.
  static TSignal Material(std::size_t AFrames) {
    return Generate(AFrames, 2, [](std::size_t I, int C) {
      return 0.4 * std::sin(0.01 * double(I) * (C + 1)) + 0.2 * std::sin(0.173 * double(I));
    });
  }
  // The one-pole low-pass of the SDK's filters: y = (1 - a) x + a y[-1],
  // a = c - sqrt(c^2 - 1) with c = 2 - cos(2 pi fc / fs).
  static std::complex<double> OnePole(double ACutoff, double AFrequency) {
    const double Cosine = 2.0 - std::cos(2.0 * kEffectPi * ACutoff / kRate);
    const double A = Cosine - std::sqrt(Cosine * Cosine - 1.0);
    return (1.0 - A) / (1.0 - A * std::polar(1.0, -2.0 * kEffectPi * AFrequency / kRate));
  }
};

TEST_F(LadspaHostTest, RunsTheAmplifierOnEveryChannel) {
  // amp_mono runs one instance per channel, amp_stereo one for both; either
  // way the output is the gain times the input.
  struct TCase {
    const char* Library;
    int Index;
  };
  for (const TCase& C : {TCase{"amp.so", 0}, TCase{"amp.so", 1}, TCase{"/usr/lib/ladspa/amp.so", 0}}) {
    SCOPED_TRACE(std::string(C.Library) + " " + std::to_string(C.Index));
    FMOD_DSP* Host = Effect(FMOD_DSP_TYPE_LADSPAPLUGIN);
    ASSERT_EQ(Count(Host), 2);
    ASSERT_EQ(Load(Host, C.Library, C.Index), FMOD_OK);
    ASSERT_EQ(Count(Host), 3);
    EXPECT_EQ(Name(Host, 2), "Gain");
    float Gain = 0.0f;
    ASSERT_EQ(Lib::FMOD_DSP_GetParameterFloat(Host, 2, &Gain, nullptr, 0), FMOD_OK);
    EXPECT_EQ(Gain, 1.0f);  // the port's default
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Host, 2, 0.5f), FMOD_OK);
    const TSignal In = Material(5000);
    const TRender Out = Render(Host, In, 5000);
    ASSERT_EQ(Out.Channels, 2);
    for (std::size_t I = 0; I < In.Samples.size(); ++I) ASSERT_NEAR(Out.Samples[I], 0.5f * In.Samples[I], 1e-6f) << I;
    EXPECT_EQ(Lib::FMOD_DSP_Release(Host), FMOD_OK);
  }
}

TEST_F(LadspaHostTest, DelaysAnImpulseWithTheDryWetBalance) {
  FMOD_DSP* Host = Effect(FMOD_DSP_TYPE_LADSPAPLUGIN);
  ASSERT_EQ(Load(Host, "delay.so", 0), FMOD_OK);
  ASSERT_EQ(Count(Host), 4);
  EXPECT_EQ(Name(Host, 2), "Delay");
  FMOD_DSP_PARAMETER_DESC* D = nullptr;
  ASSERT_EQ(Lib::FMOD_DSP_GetParameterInfo(Host, 2, &D), FMOD_OK);
  EXPECT_STREQ(D->label, "Seconds");
  EXPECT_EQ(D->floatdesc.min, 0.0f);
  EXPECT_EQ(D->floatdesc.max, 5.0f);
  EXPECT_EQ(D->floatdesc.defaultval, 1.0f);
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Host, 2, 0.01f), FMOD_OK);  // 480 frames
  ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Host, 3, 0.25f), FMOD_OK);
  const TRender Out = Render(Host, Impulse(2), 4096);
  for (int C = 0; C < 2; ++C) {
    for (std::size_t I = 0; I < Out.Frames(); ++I) {
      const float Expected = I == 0 ? 0.75f : I == 480 ? 0.25f : 0.0f;
      ASSERT_NEAR(Out.At(I, C), Expected, 1e-6f) << "frame " << I << " channel " << C;
    }
  }
  EXPECT_EQ(Lib::FMOD_DSP_Release(Host), FMOD_OK);
}

TEST_F(LadspaHostTest, FiltersAsTheOnePoleDesign) {
  // lpf (index 0) and hpf (index 1) at a tone far above or below their
  // cutoff: the measured gain matches the one-pole response (the high-pass
  // is the input less the low-pass).
  struct TCase {
    int Index;
    double Cutoff, Tone;
  };
  for (const TCase& C : {TCase{0, 500.0, 8000.0}, TCase{0, 2000.0, 200.0}, TCase{1, 4000.0, 150.0}, TCase{1, 200.0, 6000.0}}) {
    SCOPED_TRACE(std::to_string(C.Index) + " at " + std::to_string(C.Tone));
    FMOD_DSP* Host = Effect(FMOD_DSP_TYPE_LADSPAPLUGIN);
    ASSERT_EQ(Load(Host, "filter.so", C.Index), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Host, 2, float(C.Cutoff)), FMOD_OK);
    const TRender Out = Render(Host, Sine(C.Tone, 0.5, 24000, 2), 24000);
    const std::complex<double> Low = OnePole(C.Cutoff, C.Tone);
    const double Expected = 20.0 * std::log10(std::abs(C.Index == 0 ? Low : 1.0 - Low));
    for (int Ch = 0; Ch < 2; ++Ch)
      EXPECT_NEAR(Decibels(ToneAmplitude(Out.Channel(Ch), C.Tone, 8000, 24000) / 0.5), Expected, 0.1);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Host), FMOD_OK);
  }
}

TEST_F(LadspaHostTest, RefusesWhatItCannotLoadAndKeepsWhatItHad) {
  const std::string Text = ::testing::TempDir() + "/not-ladspa.so";
  std::ofstream(Text) << "not a library\n";
  FMOD_DSP* Host = Effect(FMOD_DSP_TYPE_LADSPAPLUGIN);
  struct TCase {
    std::string Library;
    int Index;
    FMOD_RESULT Expected;
  };
  const TCase Cases[] = {
      {"no-such-plugin.so", 0, FMOD_ERR_FILE_NOTFOUND},
      {"/no/such/folder/amp.so", 0, FMOD_ERR_FILE_NOTFOUND},
      {Text, 0, FMOD_ERR_PLUGIN},
      {"amp.so", 7, FMOD_ERR_PLUGIN},
  };
  const TSignal In = Material(3000);
  for (const bool Loaded : {false, true}) {
    if (Loaded) {
      ASSERT_EQ(Load(Host, "amp.so", 0), FMOD_OK);
      ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(Host, 2, 0.25f), FMOD_OK);
    }
    const float Gain = Loaded ? 0.25f : 1.0f;
    for (const TCase& C : Cases) {
      SCOPED_TRACE(C.Library + (Loaded ? " over amp_mono" : " on an empty host"));
      EXPECT_EQ(Load(Host, C.Library, C.Index), C.Expected);
      EXPECT_EQ(Count(Host), Loaded ? 3 : 2);
      const TRender Out = Render(Host, In, 3000);
      ASSERT_EQ(Out.Samples.size(), In.Samples.size());
      for (std::size_t I = 0; I < In.Samples.size(); ++I) ASSERT_NEAR(Out.Samples[I], Gain * In.Samples[I], 1e-6f) << I;
    }
    // Picking another plug-in of the loaded library reloads; a bad one is refused.
    if (Loaded) {
      EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Host, 1, 9), FMOD_ERR_PLUGIN);
      int Index = -1;
      ASSERT_EQ(Lib::FMOD_DSP_GetParameterInt(Host, 1, &Index, nullptr, 0), FMOD_OK);
      EXPECT_EQ(Index, 0);
      EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Host, 1, 1), FMOD_OK);
      EXPECT_EQ(Count(Host), 3);
    }
  }
  EXPECT_EQ(Lib::FMOD_DSP_Release(Host), FMOD_OK);
}

}  // namespace
