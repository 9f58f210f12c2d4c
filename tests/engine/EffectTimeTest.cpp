// Delays and modulation, rendered offline: echo, tracker echo and delay put
// each repeat at its sample with its exact level and move between delays
// without a click; flange and chorus sweep a fractional delay; tremolo's
// envelope follows each of its parameters; distortion clips softly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

struct TPeak {
  std::size_t Frame;
  int Channel;
  double Value;
};

class EffectTimeTest : public EffectFixture {
protected:
  void Set(FMOD_DSP* ADsp, int AIndex, float AValue) {
    ASSERT_EQ(Lib::FMOD_DSP_SetParameterFloat(ADsp, AIndex, AValue), FMOD_OK) << "parameter " << AIndex;
  }
  // Every sample of AOut is the value of its peak in APeaks, or zero.
  static void ExpectPeaks(const TRender& AOut, const std::vector<TPeak>& APeaks) {
    std::vector<double> Expected(AOut.Samples.size(), 0.0);
    for (const TPeak& P : APeaks) {
      ASSERT_LT(P.Frame, AOut.Frames());
      Expected[P.Frame * std::size_t(AOut.Channels) + std::size_t(P.Channel)] = P.Value;
    }
    int Wrong = 0;
    for (std::size_t I = 0; I < Expected.size() && Wrong < 5; ++I) {
      if (std::fabs(AOut.Samples[I] - Expected[I]) <= 1e-6 * std::max(1.0, std::fabs(Expected[I]))) continue;
      ADD_FAILURE() << "frame " << I / std::size_t(AOut.Channels) << " channel " << I % std::size_t(AOut.Channels)
                    << ": " << AOut.Samples[I] << ", expected " << Expected[I];
      ++Wrong;
    }
  }
  // A sine of AChannels channels starting at frame AFrom of its course.
  static TSignal Tone(double AFrequency, std::size_t AFrom, std::size_t AFrames, int AChannels = 1) {
    return Generate(AFrames, AChannels, [&](std::size_t I, int) {
      return 0.5 * std::sin(2.0 * kEffectPi * AFrequency * double(AFrom + I) / kRate);
    });
  }
};

// ---- Echo, tracker echo, delay.

TEST_F(EffectTimeTest, EchoRepeatsAtTheDelayDecayingByTheFeedbackAtTheSetLevels) {
  struct TCase {
    float DelayMs, Feedback, DryDb, WetDb;
    int Repeats;
  };
  for (const TCase& C : {TCase{100, 50, 0, 0, 4}, TCase{1, 80, -6, 3, 5}, TCase{37.5f, 25, 10, -12, 3},
                         TCase{5000, 100, -80, -10, 2}}) {
    SCOPED_TRACE(std::to_string(C.DelayMs) + " ms");
    FMOD_DSP* Echo = Effect(FMOD_DSP_TYPE_ECHO);
    Set(Echo, FMOD_DSP_ECHO_DELAY, C.DelayMs);
    Set(Echo, FMOD_DSP_ECHO_FEEDBACK, C.Feedback);
    Set(Echo, FMOD_DSP_ECHO_DRYLEVEL, C.DryDb);
    Set(Echo, FMOD_DSP_ECHO_WETLEVEL, C.WetDb);
    const std::size_t Delay = std::size_t(std::lround(C.DelayMs * 48));
    const TRender Out = Render(Echo, Impulse(1), Delay * std::size_t(C.Repeats) + Delay / 2);
    const double Dry = C.DryDb <= -80 ? 0.0 : std::pow(10.0, C.DryDb / 20.0);
    const double Wet = std::pow(10.0, C.WetDb / 20.0);
    std::vector<TPeak> Peaks = {{0, 0, Dry}};
    for (int K = 1; K <= C.Repeats; ++K) Peaks.push_back({Delay * std::size_t(K), 0, Wet * std::pow(C.Feedback / 100.0, K - 1)});
    ExpectPeaks(Out, Peaks);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Echo), FMOD_OK);
  }
}

TEST_F(EffectTimeTest, TrackerEchoDelaysEachSideByItsOwnTimeAndThePanDelaySwapsSides) {
  FMOD_DSP* Echo = Effect(FMOD_DSP_TYPE_ITECHO);
  Set(Echo, FMOD_DSP_ITECHO_WETDRYMIX, 30);
  Set(Echo, FMOD_DSP_ITECHO_FEEDBACK, 50);
  Set(Echo, FMOD_DSP_ITECHO_LEFTDELAY, 100);   // 4800 frames
  Set(Echo, FMOD_DSP_ITECHO_RIGHTDELAY, 150);  // 7200 frames
  ExpectPeaks(Render(Echo, Impulse(2), 15000), {{0, 0, 0.7}, {4800, 0, 0.3}, {9600, 0, 0.15}, {14400, 0, 0.075},
                                                {0, 1, 0.7}, {7200, 1, 0.3}, {14400, 1, 0.15}});

  // With the pan delay, a left impulse echoes left, then right a right delay
  // later, then left again: each repeat on the other side.
  Set(Echo, FMOD_DSP_ITECHO_PANDELAY, 1);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Echo), FMOD_OK);
  const TSignal Left = Generate(1, 2, [](std::size_t, int C) { return C == 0 ? 1.0 : 0.0; });
  ExpectPeaks(Render(Echo, Left, 25000),
              {{0, 0, 0.7}, {4800, 0, 0.3}, {12000, 1, 0.15}, {16800, 0, 0.075}, {24000, 1, 0.0375}});
  EXPECT_EQ(Lib::FMOD_DSP_Release(Echo), FMOD_OK);
}

TEST_F(EffectTimeTest, DelayHoldsEachChannelByItsOwnTimeUpToTheMaximum) {
  FMOD_DSP* Delay = Effect(FMOD_DSP_TYPE_DELAY);
  Set(Delay, FMOD_DSP_DELAY_MAXDELAY, 20);
  Set(Delay, FMOD_DSP_DELAY_CH0, 5);
  Set(Delay, FMOD_DSP_DELAY_CH1, 30);  // above the maximum: 20 ms
  Set(Delay, FMOD_DSP_DELAY_CH3, 2);
  const TSignal In = Impulse(4);
  ExpectPeaks(Render(Delay, In, 2048), {{240, 0, 1}, {960, 1, 1}, {0, 2, 1}, {96, 3, 1}});

  // A longer maximum makes a longer ring; the held channel reaches its time.
  Set(Delay, FMOD_DSP_DELAY_MAXDELAY, 100);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Delay), FMOD_OK);
  ExpectPeaks(Render(Delay, In, 2048), {{240, 0, 1}, {1440, 1, 1}, {0, 2, 1}, {96, 3, 1}});

  // And a shorter one holds the channels again, the ring carrying the signal.
  Set(Delay, FMOD_DSP_DELAY_MAXDELAY, 3);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Delay), FMOD_OK);
  ExpectPeaks(Render(Delay, In, 2048), {{144, 0, 1}, {144, 1, 1}, {0, 2, 1}, {96, 3, 1}});
  EXPECT_EQ(Lib::FMOD_DSP_Release(Delay), FMOD_OK);
}

TEST_F(EffectTimeTest, ANewMaximumDelayCarriesTheSignalIntoTheNewRing) {
  // A tone 50 ms late, while the maximum delay grows to 200 ms and then
  // shrinks to 60 ms between renders: the ring changes, the output stays
  // the tone 50 ms late sample for sample.
  FMOD_DSP* Delay = Effect(FMOD_DSP_TYPE_DELAY);
  Set(Delay, FMOD_DSP_DELAY_MAXDELAY, 100);
  Set(Delay, FMOD_DSP_DELAY_CH0, 50);
  constexpr std::size_t kPiece = 4 * 1024;
  TRender Out;
  for (const float Max : {100.0f, 200.0f, 60.0f}) {
    Set(Delay, FMOD_DSP_DELAY_MAXDELAY, Max);
    const TRender Piece = Render(Delay, Tone(440, Out.Frames(), kPiece), kPiece);
    Out.Samples.insert(Out.Samples.end(), Piece.Samples.begin(), Piece.Samples.end());
  }
  const TSignal Whole = Tone(440, 0, 3 * kPiece);
  double Error = 0.0;
  for (std::size_t I = 2400; I < 3 * kPiece; ++I) Error = std::max(Error, double(std::fabs(Out.At(I, 0) - Whole.At(I - 2400, 0))));
  EXPECT_LT(Error, 1e-7);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Delay), FMOD_OK);
}

TEST_F(EffectTimeTest, ADelayChangeMidSignalCrossFadesWithoutAClick) {
  // A 440 Hz tone through a pure delay of 50 ms that becomes 120 ms between
  // two renders: no step of the output exceeds the tone's own largest step
  // (but for 1%: any fade between two phases adds a trace of slope; a click
  // is many times the step), and once the change is over the output is the
  // tone 120 ms late.
  struct TCase {
    FMOD_DSP_TYPE Type;
    int Param;
  };
  for (const TCase& C : {TCase{FMOD_DSP_TYPE_ECHO, FMOD_DSP_ECHO_DELAY}, TCase{FMOD_DSP_TYPE_ITECHO, FMOD_DSP_ITECHO_LEFTDELAY},
                         TCase{FMOD_DSP_TYPE_DELAY, FMOD_DSP_DELAY_CH0}}) {
    SCOPED_TRACE("type " + std::to_string(int(C.Type)));
    FMOD_DSP* Dsp = Effect(C.Type);
    if (C.Type == FMOD_DSP_TYPE_ECHO) {
      Set(Dsp, FMOD_DSP_ECHO_FEEDBACK, 0);
      Set(Dsp, FMOD_DSP_ECHO_DRYLEVEL, -80);
    } else if (C.Type == FMOD_DSP_TYPE_ITECHO) {
      Set(Dsp, FMOD_DSP_ITECHO_FEEDBACK, 0);
      Set(Dsp, FMOD_DSP_ITECHO_WETDRYMIX, 100);
    } else {
      Set(Dsp, FMOD_DSP_DELAY_MAXDELAY, 200);
    }
    Set(Dsp, C.Param, 50);
    constexpr std::size_t kPiece = 9 * 1024;
    TRender Out = Render(Dsp, Tone(440, 0, kPiece), kPiece);
    Set(Dsp, C.Param, 120);
    const TRender Second = Render(Dsp, Tone(440, kPiece, kPiece), kPiece);
    Out.Samples.insert(Out.Samples.end(), Second.Samples.begin(), Second.Samples.end());
    ASSERT_EQ(Out.Frames(), 2 * kPiece);

    const double ToneStep = 0.5 * 2.0 * std::sin(kEffectPi * 440.0 / kRate);
    double Largest = 0.0;
    for (std::size_t I = 2401; I < Out.Frames(); ++I) Largest = std::max(Largest, double(std::fabs(Out.At(I, 0) - Out.At(I - 1, 0))));
    EXPECT_LE(Largest, ToneStep * 1.01) << "the tone's step " << ToneStep;
    const TSignal Whole = Tone(440, 0, 2 * kPiece);
    double Before = 0.0, After = 0.0;
    for (std::size_t I = 2400; I < kPiece; ++I) Before = std::max(Before, double(std::fabs(Out.At(I, 0) - Whole.At(I - 2400, 0))));
    for (std::size_t I = kPiece + 4096; I < 2 * kPiece; ++I)
      After = std::max(After, double(std::fabs(Out.At(I, 0) - Whole.At(I - 5760, 0))));
    EXPECT_LT(Before, 1e-6);
    EXPECT_LT(After, 1e-6);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

TEST_F(EffectTimeTest, TailsSoundOnAfterTheInputEndsUntilTheyDieAway) {
  // An impulse in the first block, then an idle input: the repeats go on
  // (the fifteenth at -90 dB, exactly), and once they are below -120 dB
  // the effect answers silence: exact zeros, where going on would still
  // give the thirtieth repeat at -174 dB.
  struct TCase {
    FMOD_DSP_TYPE Type;
    std::vector<std::pair<int, float>> Params;
    std::size_t Frame;
    double Value;
    std::size_t SilentFrom;
  };
  const std::vector<TCase> Cases = {
      {FMOD_DSP_TYPE_ECHO, {{FMOD_DSP_ECHO_DELAY, 10}}, 15 * 480, std::pow(0.5, 14), 30 * 480},
      {FMOD_DSP_TYPE_ITECHO, {{FMOD_DSP_ITECHO_LEFTDELAY, 10}, {FMOD_DSP_ITECHO_RIGHTDELAY, 10}}, 15 * 480,
       std::pow(0.5, 15), 30 * 480},
      {FMOD_DSP_TYPE_DELAY, {{FMOD_DSP_DELAY_MAXDELAY, 100}, {FMOD_DSP_DELAY_CH0, 50}}, 2400, 1.0, 2401},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE("type " + std::to_string(int(C.Type)));
    FMOD_DSP* Dsp = Effect(C.Type);
    for (const auto& [Index, Value] : C.Params) Set(Dsp, Index, Value);
    const TRender Out = Render(Dsp, Impulse(1), 48000);
    ASSERT_EQ(Out.Frames(), 48000u);
    EXPECT_NEAR(Out.At(C.Frame, 0), C.Value, 1e-6 * C.Value);
    std::size_t Sounding = 0;
    for (std::size_t I = C.SilentFrom; I < Out.Frames(); ++I) Sounding += Out.At(I, 0) != 0.0f ? 1 : 0;
    EXPECT_EQ(Sounding, 0u);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

// ---- Flange and chorus.

// The amplitude of AFrequency in windows of AWindow frames across AOut's
// channel AChannel: its least and greatest.
std::pair<double, double> AmplitudeRange(const TRender& AOut, int AChannel, double AFrequency, std::size_t AFrom,
                                         std::size_t AWindow) {
  const std::vector<float> X = AOut.Channel(AChannel);
  double Low = 1e9, High = 0.0;
  for (std::size_t I = AFrom; I + AWindow <= X.size(); I += AWindow / 2) {
    const double A = ToneAmplitude(X, AFrequency, I, I + AWindow);
    Low = std::min(Low, A);
    High = std::max(High, A);
  }
  return {Low, High};
}

TEST_F(EffectTimeTest, FlangeAndChorusAtMixZeroPassTheInputExactly) {
  for (const FMOD_DSP_TYPE Type : {FMOD_DSP_TYPE_FLANGE, FMOD_DSP_TYPE_CHORUS}) {
    SCOPED_TRACE(int(Type));
    FMOD_DSP* Dsp = Effect(Type);
    Set(Dsp, 0, 0);  // the mix of both
    const TSignal In = Generate(4096, 2, [](std::size_t I, int C) { return std::sin(0.01 * double(I * (C + 1))); });
    const TRender Out = Render(Dsp, In, 4096);
    EXPECT_EQ(Out.Samples, In.Samples);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

TEST_F(EffectTimeTest, FlangeSweepsACombNotchAcrossATone) {
  // Half the tone and half of it delayed by d: the amplitude is |cos(pi f d)|,
  // which the sweep of d from 1 frame toward 40 ms takes through notches and
  // crests. A still delay (rate 0) holds the amplitude.
  FMOD_DSP* Flange = Effect(FMOD_DSP_TYPE_FLANGE);
  Set(Flange, FMOD_DSP_FLANGE_MIX, 50);
  Set(Flange, FMOD_DSP_FLANGE_DEPTH, 1);
  Set(Flange, FMOD_DSP_FLANGE_RATE, 0.05f);
  const TSignal In = Sine(2000, 1.0, 48000);
  auto [Low, High] = AmplitudeRange(Render(Flange, In, 48000), 0, 2000, 960, 480);
  EXPECT_LT(Low, 0.1);
  EXPECT_GT(High, 0.95);

  Set(Flange, FMOD_DSP_FLANGE_RATE, 0);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Flange), FMOD_OK);  // the sweep back at its start: d = 1 frame
  std::tie(Low, High) = AmplitudeRange(Render(Flange, In, 24000), 0, 2000, 960, 480);
  const double Still = std::fabs(std::cos(kEffectPi * 2000.0 / kRate));
  EXPECT_NEAR(Low, Still, 0.01);
  EXPECT_NEAR(High, Still, 0.01);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Flange), FMOD_OK);
}

TEST_F(EffectTimeTest, ChorusModulatesItsVoicesDifferentlyOnEachChannel) {
  FMOD_DSP* Chorus = Effect(FMOD_DSP_TYPE_CHORUS);
  // Without depth, all wet: the input 15 ms late, sample for sample.
  Set(Chorus, FMOD_DSP_CHORUS_MIX, 100);
  Set(Chorus, FMOD_DSP_CHORUS_DEPTH, 0);
  const TSignal Tone1k = Sine(1000, 0.5, 48000, 2);
  const TRender Late = Render(Chorus, Tone1k, 4096);
  double Error = 0.0;
  for (std::size_t I = 720; I < 4096; ++I) Error = std::max(Error, double(std::fabs(Late.At(I, 1) - Tone1k.At(I - 720, 1))));
  EXPECT_LT(Error, 1e-6);

  // With depth and rate, the tone's amplitude moves as the voices drift
  // against each other, and the two channels differ.
  Set(Chorus, FMOD_DSP_CHORUS_MIX, 50);
  Set(Chorus, FMOD_DSP_CHORUS_DEPTH, 3);
  Set(Chorus, FMOD_DSP_CHORUS_RATE, 1);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Chorus), FMOD_OK);
  const TRender Out = Render(Chorus, Tone1k, 48000);
  const auto [Low, High] = AmplitudeRange(Out, 0, 1000, 2048, 960);
  EXPECT_GT(High - Low, 0.1);
  double Apart = 0.0;
  for (std::size_t I = 2048; I < Out.Frames(); ++I) Apart = std::max(Apart, double(std::fabs(Out.At(I, 0) - Out.At(I, 1))));
  EXPECT_GT(Apart, 0.05);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Chorus), FMOD_OK);
}

// ---- Tremolo: through a constant input the output is the gain itself.

class TremoloTest : public EffectTimeTest {
protected:
  // The gain over ASeconds on AChannels channels, with the parameters set.
  std::vector<std::vector<double>> Gain(const std::vector<std::pair<int, float>>& AParams, double ASeconds = 1.0,
                                        int AChannels = 1) {
    FMOD_DSP* Tremolo = Effect(FMOD_DSP_TYPE_TREMOLO);
    for (const auto& [Index, Value] : AParams) Set(Tremolo, Index, Value);
    const std::size_t Frames = std::size_t(ASeconds * kRate);
    const TRender Out = Render(Tremolo, Generate(Frames, AChannels, [](std::size_t, int) { return 0.5; }), Frames);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Tremolo), FMOD_OK);
    std::vector<std::vector<double>> Result(static_cast<std::size_t>(AChannels));
    for (int C = 0; C < AChannels; ++C)
      for (std::size_t I = 0; I < Out.Frames(); ++I) Result[std::size_t(C)].push_back(Out.At(I, C) / 0.5);
    return Result;
  }
  // The frame of the least gain in [AFrom, ATo).
  static std::size_t Trough(const std::vector<double>& AGain, std::size_t AFrom, std::size_t ATo) {
    return std::size_t(std::min_element(AGain.begin() + std::ptrdiff_t(AFrom), AGain.begin() + std::ptrdiff_t(ATo)) -
                       AGain.begin());
  }
  // The share of frames whose gain is above AThreshold.
  static double Above(const std::vector<double>& AGain, double AThreshold) {
    return double(std::count_if(AGain.begin(), AGain.end(), [&](double G) { return G > AThreshold; })) / double(AGain.size());
  }
};

TEST_F(TremoloTest, DepthAndFrequencyAreThoseOfTheEnvelope) {
  struct TCase {
    float Frequency, Depth;
  };
  for (const TCase& C : {TCase{4, 0.6f}, TCase{11, 1}, TCase{0.5f, 0.25f}}) {
    SCOPED_TRACE(std::to_string(C.Frequency) + " Hz");
    const std::vector<double> G =
        Gain({{FMOD_DSP_TREMOLO_FREQUENCY, C.Frequency}, {FMOD_DSP_TREMOLO_DEPTH, C.Depth}, {FMOD_DSP_TREMOLO_SHAPE, 1}}, 2.0)[0];
    const auto [Low, High] = std::minmax_element(G.begin(), G.end());
    EXPECT_NEAR(*High, 1.0, 1e-4);
    EXPECT_NEAR(*High - *Low, C.Depth, 1e-3);
    // Upward crossings of the middle, over two seconds.
    const double Middle = 1.0 - C.Depth / 2;
    int Crossings = 0;
    for (std::size_t I = 1; I < G.size(); ++I) Crossings += G[I - 1] < Middle && G[I] >= Middle ? 1 : 0;
    EXPECT_EQ(Crossings, int(std::lround(2.0 * C.Frequency)));
  }
}

TEST_F(TremoloTest, ShapeSquareSkewAndDutyFormTheWave) {
  // At 1 Hz, depth 1: the share of the cycle near the extremes tells the
  // shapes apart; the share above the middle is the duty; skew moves the
  // trough from half way to (1 + skew) / 2 of the cycle.
  auto NearExtremes = [](const std::vector<double>& G) { return 1.0 - Above(G, 0.05) + Above(G, 0.95); };
  const std::vector<double> Triangle = Gain({{FMOD_DSP_TREMOLO_FREQUENCY, 1}})[0];
  const std::vector<double> Sine = Gain({{FMOD_DSP_TREMOLO_FREQUENCY, 1}, {FMOD_DSP_TREMOLO_SHAPE, 1}})[0];
  const std::vector<double> Square = Gain({{FMOD_DSP_TREMOLO_FREQUENCY, 1}, {FMOD_DSP_TREMOLO_SQUARE, 1}})[0];
  EXPECT_NEAR(NearExtremes(Triangle), 0.1, 0.005);
  EXPECT_NEAR(NearExtremes(Sine), 2.0 * std::acos(0.9) / kEffectPi, 0.005);
  EXPECT_GT(NearExtremes(Square), 0.95);
  EXPECT_NEAR(Trough(Triangle, 0, 48000), 24000, 2);

  for (const float Duty : {0.2f, 0.5f, 0.8f}) {
    SCOPED_TRACE(Duty);
    const std::vector<double> G = Gain({{FMOD_DSP_TREMOLO_FREQUENCY, 1}, {FMOD_DSP_TREMOLO_DUTY, Duty}})[0];
    EXPECT_NEAR(Above(G, 0.5), Duty, 0.002);
  }
  for (const float Skew : {-0.5f, 0.5f}) {
    SCOPED_TRACE(Skew);
    const std::vector<double> G = Gain({{FMOD_DSP_TREMOLO_FREQUENCY, 1}, {FMOD_DSP_TREMOLO_SKEW, Skew}})[0];
    EXPECT_NEAR(double(Trough(G, 0, 48000)), 48000.0 * (1 + Skew) / 2, 2);
  }
}

TEST_F(TremoloTest, PhaseShiftsTheWaveAndSpreadOffsetsTheChannels) {
  // At 2 Hz (24000 frames a cycle) on four channels: phase 0.25 brings the
  // trough a quarter cycle early; spread s puts channel c s * c / 4 cycles
  // ahead of channel 0.
  auto Circular = [](double A, double B) {
    const double D = std::fmod(A - B + 48000.0, 24000.0);
    return D > 12000.0 ? D - 24000.0 : D;
  };
  for (const float Spread : {0.0f, 0.5f, -1.0f}) {
    SCOPED_TRACE(Spread);
    const auto G = Gain({{FMOD_DSP_TREMOLO_FREQUENCY, 2}, {FMOD_DSP_TREMOLO_PHASE, 0.25f}, {FMOD_DSP_TREMOLO_SPREAD, Spread}},
                        0.5, 4);
    EXPECT_NEAR(Circular(double(Trough(G[0], 0, 24000)), 12000.0), -6000.0, 2);
    for (int C = 1; C < 4; ++C)
      EXPECT_NEAR(Circular(double(Trough(G[std::size_t(C)], 0, 24000)), double(Trough(G[0], 0, 24000))),
                  Circular(-24000.0 * Spread * C / 4, 0.0), 2)
          << "channel " << C;
  }
}

// ---- Distortion.

TEST_F(EffectTimeTest, DistortionIsCleanAtLevelZeroAndClipsSoftlyAtFullLevel) {
  FMOD_DSP* Dist = Effect(FMOD_DSP_TYPE_DISTORTION);
  Set(Dist, FMOD_DSP_DISTORTION_LEVEL, 0);
  const TSignal Loud = Sine(1000, 0.9, 24000);
  EXPECT_EQ(Render(Dist, Loud, 24000).Samples, Loud.Samples);

  Set(Dist, FMOD_DSP_DISTORTION_LEVEL, 1);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Dist), FMOD_OK);
  auto Peak = [](const TRender& R) {
    double P = 0.0;
    for (std::size_t I = 4800; I < R.Samples.size(); ++I) P = std::max(P, double(std::fabs(R.Samples[I])));
    return P;
  };
  const TRender Hard = Render(Dist, Loud, 24000);
  const double HardPeak = Peak(Hard);
  // Peaks flattened: a sine's crest factor is 1.41, a square's 1.
  EXPECT_LT(HardPeak / Rms(Hard.Samples, 4800, 24000), 1.15);
  // Compressed: 39 dB less input comes out far less than 39 dB lower.
  const TRender Quiet = Render(Dist, Sine(1000, 0.01, 24000), 24000);
  EXPECT_GT(Decibels(Peak(Quiet) / HardPeak), -20.0);
  // Bounded, however loud the input.
  EXPECT_LT(Peak(Render(Dist, Sine(1000, 8.0, 24000), 24000)), 1.05);
  // No DC from a lopsided wave of zero mean.
  const TSignal Lopsided = Generate(48000, 1, [](std::size_t I, int) {
    const double T = 2.0 * kEffectPi * 200.0 * double(I) / kRate;
    return 0.6 * std::sin(T) + 0.3 * std::cos(2.0 * T);
  });
  const TRender Skewed = Render(Dist, Lopsided, 48000);
  double Mean = 0.0;
  for (std::size_t I = 24000; I < 48000; ++I) Mean += Skewed.Samples[I];
  EXPECT_LT(std::fabs(Mean / 24000.0), 1e-3);
  // Aliasing kept down: the ninth harmonic of 5 kHz folds back to 3 kHz.
  const TRender High = Render(Dist, Sine(5000, 0.9, 48000), 48000);
  const double Fundamental = ToneAmplitude(High.Samples, 5000, 4800, 48000);
  const double Alias = ToneAmplitude(High.Samples, 3000, 4800, 48000);
  EXPECT_LT(Decibels(Alias / Fundamental), -30.0);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dist), FMOD_OK);
}

}  // namespace
