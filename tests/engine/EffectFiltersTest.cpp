// The filters and equalisers: their magnitude responses against the analogue
// prototypes they are the bilinear (or matched) transforms of, their slopes,
// the three-band equaliser's flat sum, glides without clicks, and tails that
// end.
#include <gtest/gtest.h>

#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

using Complex = std::complex<double>;

// One parameter set: an int (filter type, slope) or a float.
struct TSetting {
  int Index;
  double Value;
  bool IsInt = false;
};
TSetting Int(int AIndex, int AValue) { return {AIndex, double(AValue), true}; }

// The frequency response of an impulse response at AFrequency: its DFT at
// that one frequency.
Complex ResponseAt(const std::vector<float>& AH, double AFrequency, int ARate = 48000) {
  Complex Sum = 0.0;
  const Complex Step = std::polar(1.0, -2.0 * kEffectPi * AFrequency / ARate);
  Complex Turn = 1.0;
  for (std::size_t N = 0; N < AH.size(); ++N, Turn *= Step) {
    Sum += double(AH[N]) * Turn;
    if ((N & 1023) == 1023) Turn /= std::abs(Turn);  // keep the rotation on the unit circle
  }
  return Sum;
}
double ResponseDb(const std::vector<float>& AH, double AFrequency) { return Decibels(std::abs(ResponseAt(AH, AFrequency))); }

// ---- Analogue prototypes, evaluated where the bilinear transform takes a
// frequency: Omega = tan(pi f / fs) / tan(pi f0 / fs).
double Omega(double AF, double AF0) { return std::tan(kEffectPi * AF / 48000.0) / std::tan(kEffectPi * AF0 / 48000.0); }
Complex S(double AF, double AF0) { return Complex(0.0, Omega(AF, AF0)); }
Complex Den(Complex s, double Q) { return s * s + s / Q + 1.0; }

using TPrototype = std::function<double(double)>;  // frequency -> magnitude
TPrototype LowPass(double F0, double Q) { return [=](double F) { return std::abs(1.0 / Den(S(F, F0), Q)); }; }
TPrototype HighPass(double F0, double Q) {
  return [=](double F) { const Complex s = S(F, F0); return std::abs(s * s / Den(s, Q)); };
}
TPrototype BandPass(double F0, double Q) {
  return [=](double F) { const Complex s = S(F, F0); return std::abs(s / Q / Den(s, Q)); };
}
TPrototype Notch(double F0, double Q) {
  return [=](double F) { const Complex s = S(F, F0); return std::abs((s * s + 1.0) / Den(s, Q)); };
}
TPrototype Peaking(double F0, double Q, double Db) {
  const double A = std::pow(10.0, Db / 40.0);
  return [=](double F) { const Complex s = S(F, F0); return std::abs((s * s + s * (A / Q) + 1.0) / (s * s + s / (A * Q) + 1.0)); };
}
TPrototype LowShelf(double F0, double Q, double Db) {
  const double A = std::pow(10.0, Db / 40.0), R = std::sqrt(A) / Q;
  return [=](double F) { const Complex s = S(F, F0); return std::abs(A * (s * s + R * s + A) / (A * s * s + R * s + 1.0)); };
}
TPrototype HighShelf(double F0, double Q, double Db) {
  const double A = std::pow(10.0, Db / 40.0), R = std::sqrt(A) / Q;
  return [=](double F) { const Complex s = S(F, F0); return std::abs(A * (A * s * s + R * s + 1.0) / (s * s + R * s + A)); };
}
// Butterworth of order N: 1 / sqrt(1 + Omega^2N).
TPrototype ButterworthLow(double F0, int N) { return [=](double F) { return 1.0 / std::sqrt(1.0 + std::pow(Omega(F, F0), 2 * N)); }; }
TPrototype ButterworthHigh(double F0, int N) { return [=](double F) { return 1.0 / std::sqrt(1.0 + std::pow(Omega(F, F0), -2 * N)); }; }
// One pole matched to the analogue pole p = exp(-2 pi f0 / fs).
TPrototype OnePoleLow(double F0) {
  const double P = std::exp(-2.0 * kEffectPi * F0 / 48000.0);
  return [=](double F) { return (1 - P) / std::abs(1.0 - P * std::polar(1.0, -2.0 * kEffectPi * F / 48000.0)); };
}
TPrototype OnePoleHigh(double F0) {
  const double P = std::exp(-2.0 * kEffectPi * F0 / 48000.0);
  return [=](double F) {
    const Complex Z = std::polar(1.0, -2.0 * kEffectPi * F / 48000.0);
    return (1 + P) / 2 * std::abs(1.0 - Z) / std::abs(1.0 - P * Z);
  };
}
// The Q of a peaking band AOctaves wide (between its half-gain frequencies).
double OctavesQ(double AOctaves) { return std::pow(2.0, AOctaves / 2) / (std::pow(2.0, AOctaves) - 1); }

class EffectFiltersTest : public EffectFixture {
protected:
  FMOD_DSP* Made(FMOD_DSP_TYPE AType, const std::vector<TSetting>& ASettings) {
    FMOD_DSP* Dsp = Effect(AType);
    for (const TSetting& Set : ASettings) Apply(Dsp, Set);
    return Dsp;
  }
  static void Apply(FMOD_DSP* ADsp, const TSetting& ASet) {
    if (ASet.IsInt)
      EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(ADsp, ASet.Index, int(ASet.Value)), FMOD_OK) << "parameter " << ASet.Index;
    else
      EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(ADsp, ASet.Index, float(ASet.Value)), FMOD_OK) << "parameter " << ASet.Index;
  }
  // The impulse response of a fresh effect, channel 0 (the input keeps
  // flowing as zeros, so the filter never cuts its tail short).
  std::vector<float> ImpulseResponse(FMOD_DSP_TYPE AType, const std::vector<TSetting>& ASettings,
                                     std::size_t AFrames = 32768) {
    FMOD_DSP* Dsp = Made(AType, ASettings);
    const TRender Out = Render(Dsp, Impulse(1, 1.0f, AFrames), AFrames);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
    return Out.Channel(0);
  }
};

struct TDesignCase {
  const char* Name;
  FMOD_DSP_TYPE Type;
  std::vector<TSetting> Settings;
  double Corner;  // the frequencies measured spread around it
  TPrototype Reference;
};

TEST_F(EffectFiltersTest, MagnitudeResponsesFollowTheirDesignsWithinATenthOfADecibel) {
  const double ItQ0 = 0.5, ItQ127 = 0.5 / std::pow(10.0, -127.0 * 24.0 / (128.0 * 20.0));
  const int A = FMOD_DSP_MULTIBAND_EQ_A_FILTER, AF = FMOD_DSP_MULTIBAND_EQ_A_FREQUENCY, AQ = FMOD_DSP_MULTIBAND_EQ_A_Q,
            AG = FMOD_DSP_MULTIBAND_EQ_A_GAIN;
  const std::vector<TDesignCase> Cases = {
      {"lowpass Q1", FMOD_DSP_TYPE_LOWPASS, {{FMOD_DSP_LOWPASS_CUTOFF, 1000}}, 1000, LowPass(1000, 1)},
      {"lowpass Q8", FMOD_DSP_TYPE_LOWPASS, {{FMOD_DSP_LOWPASS_CUTOFF, 3000}, {FMOD_DSP_LOWPASS_RESONANCE, 8}}, 3000,
       LowPass(3000, 8)},
      {"highpass Q2", FMOD_DSP_TYPE_HIGHPASS, {{FMOD_DSP_HIGHPASS_CUTOFF, 500}, {FMOD_DSP_HIGHPASS_RESONANCE, 2}}, 500,
       HighPass(500, 2)},
      {"simple lowpass", FMOD_DSP_TYPE_LOWPASS_SIMPLE, {{FMOD_DSP_LOWPASS_SIMPLE_CUTOFF, 2000}}, 2000, OnePoleLow(2000)},
      {"simple highpass", FMOD_DSP_TYPE_HIGHPASS_SIMPLE, {{FMOD_DSP_HIGHPASS_SIMPLE_CUTOFF, 300}}, 300, OnePoleHigh(300)},
      {"tracker resonance 0", FMOD_DSP_TYPE_ITLOWPASS,
       {{FMOD_DSP_ITLOWPASS_CUTOFF, 2000}, {FMOD_DSP_ITLOWPASS_RESONANCE, 0}}, 2000, LowPass(2000, ItQ0)},
      {"tracker resonance 127", FMOD_DSP_TYPE_ITLOWPASS,
       {{FMOD_DSP_ITLOWPASS_CUTOFF, 2000}, {FMOD_DSP_ITLOWPASS_RESONANCE, 127}}, 2000, LowPass(2000, ItQ127)},
      {"parametric band", FMOD_DSP_TYPE_PARAMEQ,
       {{FMOD_DSP_PARAMEQ_CENTER, 1000}, {FMOD_DSP_PARAMEQ_BANDWIDTH, 2}, {FMOD_DSP_PARAMEQ_GAIN, 9}}, 1000,
       Peaking(1000, OctavesQ(2), 9)},
      {"multiband default", FMOD_DSP_TYPE_MULTIBAND_EQ, {}, 8000, ButterworthLow(8000, 2)},
      {"multiband lowpass 24", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_24DB), {AF, 1000}},
       1000, ButterworthLow(1000, 4)},
      {"multiband lowpass 48", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_48DB), {AF, 1000}},
       1000, ButterworthLow(1000, 8)},
      {"multiband highpass 12 Q3", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_12DB), {AF, 500}, {AQ, 3}}, 500, HighPass(500, 3)},
      {"multiband highpass 24", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_24DB), {AF, 500}},
       500, ButterworthHigh(500, 4)},
      {"multiband highpass 48", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_48DB), {AF, 500}},
       500, ButterworthHigh(500, 8)},
      {"multiband low shelf", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWSHELF), {AF, 300}, {AG, -9}}, 300, LowShelf(300, 0.707, -9)},
      {"multiband high shelf", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHSHELF), {AF, 4000}, {AQ, 1}, {AG, 6}}, 4000, HighShelf(4000, 1, 6)},
      {"multiband peaking", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_PEAKING), {AF, 1000}, {AQ, 2}, {AG, -12}}, 1000, Peaking(1000, 2, -12)},
      {"multiband band-pass", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_BANDPASS), {AF, 1000}, {AQ, 1}}, 1000, BandPass(1000, 1)},
      {"multiband notch", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_NOTCH), {AF, 1000}, {AQ, 4}},
       1000, Notch(1000, 4)},
      {"multiband all-pass", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_ALLPASS), {AF, 1000}}, 1000,
       [](double) { return 1.0; }},
      // Bands in series: a high-pass in A, a boost in C, E's default off.
      {"multiband two bands", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_12DB), {AF, 1000},
        Int(FMOD_DSP_MULTIBAND_EQ_C_FILTER, FMOD_DSP_MULTIBAND_EQ_FILTER_PEAKING), {FMOD_DSP_MULTIBAND_EQ_C_FREQUENCY, 2000},
        {FMOD_DSP_MULTIBAND_EQ_C_Q, 1}, {FMOD_DSP_MULTIBAND_EQ_C_GAIN, 10}},
       1000, [](double F) { return ButterworthHigh(1000, 2)(F) * Peaking(2000, 1, 10)(F); }},
  };
  for (const TDesignCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::vector<float> H = ImpulseResponse(Case.Type, Case.Settings);
    for (int K = 0; K < 10; ++K) {
      // From a third of the corner to two and a half times it, off its exact
      // value (a notch's zero).
      const double F = Case.Corner * std::pow(2.0, (K - 5.5) / 3.0);
      EXPECT_NEAR(ResponseDb(H, F), Decibels(Case.Reference(F)), 0.1) << F << " Hz";
    }
  }
}

TEST_F(EffectFiltersTest, ChannelsAreFilteredApart) {
  // Stereo impulses of different heights: each channel's response is its own
  // (a state shared between channels would mix them).
  FMOD_DSP* Dsp = Made(FMOD_DSP_TYPE_LOWPASS, {{FMOD_DSP_LOWPASS_CUTOFF, 500}, {FMOD_DSP_LOWPASS_RESONANCE, 4}});
  const TSignal In = Generate(1, 2, [](std::size_t, int C) { return C == 0 ? 1.0 : -0.5; });
  const TRender Out = Render(Dsp, In, 4096);
  ASSERT_EQ(Out.Channels, 2);
  double Energy = 0.0;
  for (std::size_t I = 0; I < Out.Frames(); ++I) {
    ASSERT_NEAR(Out.At(I, 1), -0.5 * Out.At(I, 0), 1e-6) << "frame " << I;
    Energy += double(Out.At(I, 0)) * Out.At(I, 0);
  }
  EXPECT_GT(Energy, 0.01);
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
}

TEST_F(EffectFiltersTest, ParametricBandwidthIsMeasuredInOctavesBetweenItsHalfGainPoints) {
  for (const double Octaves : {0.5, 1.0, 3.0}) {
    SCOPED_TRACE(Octaves);
    const std::vector<float> H = ImpulseResponse(
        FMOD_DSP_TYPE_PARAMEQ,
        {{FMOD_DSP_PARAMEQ_CENTER, 1000}, {FMOD_DSP_PARAMEQ_BANDWIDTH, Octaves}, {FMOD_DSP_PARAMEQ_GAIN, 12}});
    EXPECT_NEAR(ResponseDb(H, 1000), 12.0, 0.05);
    EXPECT_NEAR(ResponseDb(H, 1000 * std::pow(2.0, -Octaves / 2)), 6.0, 0.1);
    EXPECT_NEAR(ResponseDb(H, 1000 * std::pow(2.0, Octaves / 2)), 6.0, 0.1);
  }
}

struct TSlopeCase {
  const char* Name;
  FMOD_DSP_TYPE Type;
  std::vector<TSetting> Settings;
  double From, To;  // an octave well past the corner
  double DbPerOctave;
};

TEST_F(EffectFiltersTest, SlopesFallAtTheirRateWithinADecibelPerOctave) {
  const int A = FMOD_DSP_MULTIBAND_EQ_A_FILTER, AF = FMOD_DSP_MULTIBAND_EQ_A_FREQUENCY;
  const std::vector<TSlopeCase> Cases = {
      {"lowpass", FMOD_DSP_TYPE_LOWPASS, {{FMOD_DSP_LOWPASS_CUTOFF, 200}}, 800, 1600, 12},
      {"highpass", FMOD_DSP_TYPE_HIGHPASS, {{FMOD_DSP_HIGHPASS_CUTOFF, 4000}}, 1000, 500, 12},
      {"tracker lowpass", FMOD_DSP_TYPE_ITLOWPASS, {{FMOD_DSP_ITLOWPASS_CUTOFF, 200}}, 800, 1600, 12},
      {"simple lowpass", FMOD_DSP_TYPE_LOWPASS_SIMPLE, {{FMOD_DSP_LOWPASS_SIMPLE_CUTOFF, 100}}, 800, 1600, 6},
      {"simple highpass", FMOD_DSP_TYPE_HIGHPASS_SIMPLE, {{FMOD_DSP_HIGHPASS_SIMPLE_CUTOFF, 4000}}, 500, 250, 6},
      {"lowpass 12", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_12DB), {AF, 200}}, 800, 1600, 12},
      {"lowpass 24", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_24DB), {AF, 200}}, 800, 1600, 24},
      {"lowpass 48", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_48DB), {AF, 200}}, 400, 800, 48},
      {"highpass 12", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_12DB), {AF, 4000}}, 1000, 500, 12},
      {"highpass 24", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_24DB), {AF, 4000}}, 1000, 500, 24},
      {"highpass 48", FMOD_DSP_TYPE_MULTIBAND_EQ, {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_48DB), {AF, 4000}}, 2000, 1000, 48},
  };
  for (const TSlopeCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::vector<float> H = ImpulseResponse(Case.Type, Case.Settings);
    EXPECT_NEAR(ResponseDb(H, Case.From) - ResponseDb(H, Case.To), Case.DbPerOctave, 1.0);
  }
}

TEST_F(EffectFiltersTest, ThreeBandsAtZeroDecibelsSumFlatAtEverySlope) {
  for (const int Slope : {FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_12DB, FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_24DB,
                          FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_48DB}) {
    for (const auto& [Low, High] : {std::pair{400.0, 4000.0}, std::pair{150.0, 600.0}}) {
      SCOPED_TRACE("slope " + std::to_string(Slope) + " crossovers " + std::to_string(Low) + ", " + std::to_string(High));
      const std::vector<float> H = ImpulseResponse(
          FMOD_DSP_TYPE_THREE_EQ, {Int(FMOD_DSP_THREE_EQ_CROSSOVERSLOPE, Slope), {FMOD_DSP_THREE_EQ_LOWCROSSOVER, Low},
                                   {FMOD_DSP_THREE_EQ_HIGHCROSSOVER, High}});
      double Worst = 0.0;
      for (int K = 0; K <= 40; ++K) {
        const double F = 20.0 * std::pow(1000.0, K / 40.0);  // 20 Hz .. 20 kHz
        Worst = std::max(Worst, std::fabs(ResponseDb(H, F)));
      }
      EXPECT_LT(Worst, 0.05);
    }
  }
}

// The three bands' sum as the analogue Linkwitz-Riley prototypes give it:
// low . AP_high + mid + high, the low and high halves of an order-2k
// crossover being a Butterworth order k squared (the mid band inverted at
// 12 dB, where LP - HP is the all-pass).
Complex ThreeBands(int ASlope, double AF, double ALow, double AHigh, double AGainLow, double AGainMid, double AGainHigh) {
  const auto Butterworth = [&](Complex s) {
    switch (ASlope) {
      case FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_12DB: return 1.0 / (s + 1.0);
      case FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_24DB: return 1.0 / (s * s + std::sqrt(2.0) * s + 1.0);
      default: return 1.0 / (Den(s, 0.54119610014619698) * Den(s, 1.30656296487637652));
    }
  };
  const int Order = ASlope == FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_12DB ? 1 : ASlope == FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_24DB ? 2 : 4;
  const Complex SL = S(AF, ALow), SH = S(AF, AHigh);
  const Complex LowL = std::pow(Butterworth(SL), 2), HighL = std::pow(Butterworth(SL) * std::pow(SL, Order), 2);
  const Complex LowH = std::pow(Butterworth(SH), 2), HighH = std::pow(Butterworth(SH) * std::pow(SH, Order), 2);
  const double Sign = Order == 1 ? -1.0 : 1.0;
  const Complex AllH = LowH + Sign * HighH;
  const auto G = [](double Db) { return std::pow(10.0, Db / 20.0); };
  return G(AGainLow) * LowL * AllH + Sign * G(AGainMid) * HighL * LowH + G(AGainHigh) * HighL * HighH;
}

TEST_F(EffectFiltersTest, ThreeBandsTakeTheirGains) {
  // Low -12 dB, mid +6 dB, high -9 dB with crossovers at 200 Hz and 5 kHz:
  // the response follows the prototypes' sum within a tenth of a decibel,
  // and well inside each band it is that band's gain (within 0.1 dB at 24
  // and 48 dB; the gentle 12 dB crossover lets a neighbour in by up to 1 dB).
  struct TCase {
    int Slope;
    double Tolerance;
  };
  for (const TCase Case : {TCase{FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_12DB, 1.0}, TCase{FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_24DB, 0.1},
                           TCase{FMOD_DSP_THREE_EQ_CROSSOVERSLOPE_48DB, 0.1}}) {
    SCOPED_TRACE("slope " + std::to_string(Case.Slope));
    const std::vector<float> H = ImpulseResponse(
        FMOD_DSP_TYPE_THREE_EQ,
        {Int(FMOD_DSP_THREE_EQ_CROSSOVERSLOPE, Case.Slope), {FMOD_DSP_THREE_EQ_LOWCROSSOVER, 200},
         {FMOD_DSP_THREE_EQ_HIGHCROSSOVER, 5000}, {FMOD_DSP_THREE_EQ_LOWGAIN, -12}, {FMOD_DSP_THREE_EQ_MIDGAIN, 6},
         {FMOD_DSP_THREE_EQ_HIGHGAIN, -9}},
        65536);
    for (int K = 0; K < 10; ++K) {
      const double F = 30.0 * std::pow(600.0, K / 9.0);  // 30 Hz .. 18 kHz
      EXPECT_NEAR(ResponseDb(H, F), Decibels(std::abs(ThreeBands(Case.Slope, F, 200, 5000, -12, 6, -9))), 0.1) << F << " Hz";
    }
    EXPECT_NEAR(ResponseDb(H, 20), -12.0, Case.Tolerance);
    EXPECT_NEAR(ResponseDb(H, 1000), 6.0, Case.Tolerance);
    EXPECT_NEAR(ResponseDb(H, 20000), -9.0, Case.Tolerance);
  }
}

struct TChangeCase {
  const char* Name;
  FMOD_DSP_TYPE Type;
  std::vector<TSetting> Before, After;
  double Tone;  // Hz
};

TEST_F(EffectFiltersTest, ParameterChangesMidSignalGlideWithoutAClick) {
  // A steady tone through the effect; between two renders (the effect keeps
  // its state, the tone goes on in phase) a parameter jumps. No output step
  // may be bigger than the signal's own largest step, with room for the lift
  // a resonance gives the tone as a sweep passes it (Q 1 lifts by 1.155); a
  // click is a step of the order of the tone's amplitude, several times more.
  const int A = FMOD_DSP_MULTIBAND_EQ_A_FILTER, AF = FMOD_DSP_MULTIBAND_EQ_A_FREQUENCY;
  const std::vector<TChangeCase> Cases = {
      {"lowpass sweep", FMOD_DSP_TYPE_LOWPASS, {{FMOD_DSP_LOWPASS_CUTOFF, 8000}}, {{FMOD_DSP_LOWPASS_CUTOFF, 100}}, 1000},
      {"highpass sweep", FMOD_DSP_TYPE_HIGHPASS, {{FMOD_DSP_HIGHPASS_CUTOFF, 20}}, {{FMOD_DSP_HIGHPASS_CUTOFF, 10000}}, 1000},
      {"tracker resonance", FMOD_DSP_TYPE_ITLOWPASS, {{FMOD_DSP_ITLOWPASS_CUTOFF, 8000}},
       {{FMOD_DSP_ITLOWPASS_CUTOFF, 200}, {FMOD_DSP_ITLOWPASS_RESONANCE, 0}}, 1000},
      {"simple lowpass", FMOD_DSP_TYPE_LOWPASS_SIMPLE, {}, {{FMOD_DSP_LOWPASS_SIMPLE_CUTOFF, 50}}, 1000},
      {"simple highpass", FMOD_DSP_TYPE_HIGHPASS_SIMPLE, {{FMOD_DSP_HIGHPASS_SIMPLE_CUTOFF, 10}},
       {{FMOD_DSP_HIGHPASS_SIMPLE_CUTOFF, 20000}}, 1000},
      {"parametric cut", FMOD_DSP_TYPE_PARAMEQ, {{FMOD_DSP_PARAMEQ_CENTER, 1000}}, {{FMOD_DSP_PARAMEQ_GAIN, -30}}, 1000},
      {"three bands gain", FMOD_DSP_TYPE_THREE_EQ, {{FMOD_DSP_THREE_EQ_LOWGAIN, -80}}, {{FMOD_DSP_THREE_EQ_LOWGAIN, 0}}, 100},
      {"three bands slope", FMOD_DSP_TYPE_THREE_EQ, {}, {Int(FMOD_DSP_THREE_EQ_CROSSOVERSLOPE, 0)}, 400},
      {"multiband type", FMOD_DSP_TYPE_MULTIBAND_EQ, {{AF, 2000}},
       {Int(A, FMOD_DSP_MULTIBAND_EQ_FILTER_HIGHPASS_48DB), {AF, 4000}}, 1000},
  };
  constexpr double kAmplitude = 0.5;
  constexpr std::size_t kHalf = 8192;
  for (const TChangeCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    FMOD_DSP* Dsp = Made(Case.Type, Case.Before);
    const TSignal Tone = Sine(Case.Tone, kAmplitude, 2 * kHalf);
    TSignal First, Second;
    First.Samples.assign(Tone.Samples.begin(), Tone.Samples.begin() + kHalf);
    Second.Samples.assign(Tone.Samples.begin() + kHalf, Tone.Samples.end());
    std::vector<float> Out = Render(Dsp, First, kHalf).Channel(0);
    for (const TSetting& Set : Case.After) Apply(Dsp, Set);
    const std::vector<float> Rest = Render(Dsp, Second, kHalf).Channel(0);
    Out.insert(Out.end(), Rest.begin(), Rest.end());
    // The signal's own step: the tone's, or the filtered tone's before and
    // well after the change where the filter lifts it.
    double Own = 2.0 * kAmplitude * std::sin(kEffectPi * Case.Tone / kRate);
    for (std::size_t I = kHalf / 2; I < kHalf; ++I) Own = std::max(Own, std::fabs(double(Out[I]) - Out[I - 1]));
    for (std::size_t I = 2 * kHalf - kHalf / 4; I < 2 * kHalf; ++I) Own = std::max(Own, std::fabs(double(Out[I]) - Out[I - 1]));
    double Worst = 0.0;
    std::size_t At = 0;
    for (std::size_t I = kHalf; I < Out.size(); ++I) {
      const double Step = std::fabs(double(Out[I]) - Out[I - 1]);
      if (Step > Worst) Worst = Step, At = I;
    }
    EXPECT_LE(Worst, Own * 1.25) << "at frame " << At;
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

// A source that answers silence (not zeros) once its signal has ended, and a
// capture that records, block by block, whether the effect answered silence:
// the fixture's own source never falls silent, so a tail could not end.
struct TTailRig {
  const TSignal* Signal = nullptr;
  std::size_t Position = 0;
  std::vector<float> Samples;
  std::vector<bool> Idle;  // per block: the effect answered silence

  static TTailRig& Of(FMOD_DSP_STATE* AState) {
    void* Data = nullptr;
    AState->functions->getuserdata(AState, &Data);
    return *static_cast<TTailRig*>(Data);
  }
  static FMOD_RESULT F_CALL Read(FMOD_DSP_STATE* AState, float*, float* AOut, unsigned int ALength, int, int* AOutChannels) {
    TTailRig& R = Of(AState);
    if (R.Position >= R.Signal->Frames()) return FMOD_ERR_DSP_SILENCE;
    *AOutChannels = 1;
    for (unsigned J = 0; J < ALength; ++J, ++R.Position)
      AOut[J] = R.Position < R.Signal->Frames() ? R.Signal->At(R.Position, 0) : 0.0f;
    return FMOD_OK;
  }
  static FMOD_RESULT F_CALL Watch(FMOD_DSP_STATE* AState, FMOD_BOOL AInputsIdle, unsigned int, FMOD_CHANNELMASK, int,
                                  FMOD_SPEAKERMODE) {
    Of(AState).Idle.push_back(AInputsIdle != 0);
    return FMOD_OK;
  }
  static FMOD_RESULT F_CALL Capture(FMOD_DSP_STATE* AState, float* AIn, float* AOut, unsigned int ALength, int AChannels,
                                    int* AOutChannels) {
    TTailRig& R = Of(AState);
    for (unsigned J = 0; J < ALength; ++J) R.Samples.push_back(AIn[std::size_t(J) * AChannels]);
    *AOutChannels = AChannels;
    std::fill(AOut, AOut + std::size_t(ALength) * AChannels, 0.0f);
    return FMOD_OK;
  }
};

TEST_F(EffectFiltersTest, TailsDieAwayIntoSilenceAfterTheInputEnds) {
  // A burst of noise, then a silent input: every filter rings down (its
  // output is not cut while still above -100 dB) and then answers silence,
  // block after block, rather than running on.
  struct TCase {
    const char* Name;
    FMOD_DSP_TYPE Type;
    std::vector<TSetting> Settings;
  };
  const std::vector<TCase> Cases = {
      {"resonant lowpass", FMOD_DSP_TYPE_LOWPASS, {{FMOD_DSP_LOWPASS_CUTOFF, 300}, {FMOD_DSP_LOWPASS_RESONANCE, 10}}},
      {"tracker lowpass", FMOD_DSP_TYPE_ITLOWPASS, {{FMOD_DSP_ITLOWPASS_CUTOFF, 300}, {FMOD_DSP_ITLOWPASS_RESONANCE, 127}}},
      {"highpass", FMOD_DSP_TYPE_HIGHPASS, {}},
      {"simple lowpass", FMOD_DSP_TYPE_LOWPASS_SIMPLE, {{FMOD_DSP_LOWPASS_SIMPLE_CUTOFF, 10}}},
      {"simple highpass", FMOD_DSP_TYPE_HIGHPASS_SIMPLE, {}},
      {"parametric", FMOD_DSP_TYPE_PARAMEQ, {{FMOD_DSP_PARAMEQ_BANDWIDTH, 0.2}, {FMOD_DSP_PARAMEQ_GAIN, 30}}},
      {"three bands", FMOD_DSP_TYPE_THREE_EQ, {Int(FMOD_DSP_THREE_EQ_CROSSOVERSLOPE, 2)}},
      {"multiband", FMOD_DSP_TYPE_MULTIBAND_EQ,
       {Int(FMOD_DSP_MULTIBAND_EQ_A_FILTER, FMOD_DSP_MULTIBAND_EQ_FILTER_LOWPASS_48DB), {FMOD_DSP_MULTIBAND_EQ_A_FREQUENCY, 50},
        {FMOD_DSP_MULTIBAND_EQ_A_Q, 2}}},
  };
  constexpr std::size_t kBurst = 2048;
  constexpr int kBlocks = 96;  // 2 s
  std::uint32_t Seed = 12345;
  const TSignal Noise = Generate(kBurst, 1, [&](std::size_t, int) {
    Seed = Seed * 1664525u + 1013904223u;
    return 0.5 * (double(Seed >> 8) / double(1u << 24) * 2.0 - 1.0);
  });
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    FMOD_DSP* Dsp = Made(Case.Type, Case.Settings);
    TTailRig Rig;
    Rig.Signal = &Noise;
    FMOD_DSP_DESCRIPTION SourceDesc{}, CaptureDesc{};
    SourceDesc.pluginsdkversion = CaptureDesc.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
    SourceDesc.numoutputbuffers = CaptureDesc.numoutputbuffers = CaptureDesc.numinputbuffers = 1;
    SourceDesc.read = &TTailRig::Read;
    CaptureDesc.read = &TTailRig::Capture;
    CaptureDesc.shouldiprocess = &TTailRig::Watch;
    SourceDesc.userdata = CaptureDesc.userdata = &Rig;
    FMOD_DSP *Source = nullptr, *Probe = nullptr, *Head = nullptr;
    ASSERT_EQ(Lib::FMOD_System_CreateDSP(FSystem, &SourceDesc, &Source), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_CreateDSP(FSystem, &CaptureDesc, &Probe), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_ChannelGroup_GetDSP(Master(), FMOD_CHANNELCONTROL_DSP_HEAD, &Head), FMOD_OK);
    for (FMOD_DSP* U : {Source, Probe, Dsp}) ASSERT_EQ(Lib::FMOD_DSP_SetActive(U, true), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_AddInput(Dsp, Source, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_AddInput(Probe, Dsp, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_DSP_AddInput(Head, Probe, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    for (int K = 0; K < kBlocks; ++K) ASSERT_EQ(Lib::FMOD_System_Update(FSystem), FMOD_OK);
    for (FMOD_DSP* U : {Probe, Source, Dsp}) EXPECT_EQ(Lib::FMOD_DSP_DisconnectAll(U, true, true), FMOD_OK);
    for (FMOD_DSP* U : {Probe, Source, Dsp}) EXPECT_EQ(Lib::FMOD_DSP_Release(U), FMOD_OK);

    ASSERT_GE(Rig.Idle.size(), std::size_t(kBlocks / 2));
    const std::size_t Block = Rig.Samples.size() / Rig.Idle.size();
    // The first block from which the effect stays silent.
    std::size_t Quiet = Rig.Idle.size();
    while (Quiet > 0 && Rig.Idle[Quiet - 1]) --Quiet;
    EXPECT_LT(Quiet, Rig.Idle.size() - 8) << "still sounding at the end";
    EXPECT_GT(Quiet * Block, kBurst) << "silent before the burst ended";
    if (Quiet == 0 || Quiet * Block > Rig.Samples.size()) continue;
    // What was cut was below -100 dB.
    double Cut = 0.0;
    for (std::size_t I = Quiet * Block - 64; I < Quiet * Block; ++I) Cut = std::max(Cut, std::fabs(double(Rig.Samples[I])));
    EXPECT_LT(Cut, 1e-5);
  }
}

TEST_F(EffectFiltersTest, ResetClearsTheFilterStates) {
  // A tone stopped mid-ring: after a reset the next render starts as from a
  // fresh filter.
  const std::vector<TSetting> Settings = {{FMOD_DSP_LOWPASS_CUTOFF, 300}, {FMOD_DSP_LOWPASS_RESONANCE, 10}};
  const std::vector<float> Fresh = ImpulseResponse(FMOD_DSP_TYPE_LOWPASS, Settings, 2048);
  FMOD_DSP* Dsp = Made(FMOD_DSP_TYPE_LOWPASS, Settings);
  Render(Dsp, Sine(300, 0.5, 1024), 1024);
  ASSERT_EQ(Lib::FMOD_DSP_Reset(Dsp), FMOD_OK);
  const std::vector<float> After = Render(Dsp, Impulse(1), 2048).Channel(0);
  for (std::size_t I = 0; I < Fresh.size(); ++I) ASSERT_FLOAT_EQ(After[I], Fresh[I]) << "frame " << I;
  EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
}

}  // namespace
