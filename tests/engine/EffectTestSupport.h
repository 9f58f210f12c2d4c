// Built-in effects rendered offline through the C interface, as floats.
//
// A source unit of the test's own plays a signal into the effect (and, when
// asked, a second one into its sidechain); a capture unit after the effect
// records what the effect put out, sample for sample. The capture unit is an
// input of the master group's head, so the system pulls the chain once per
// FMOD_System_Update with the non-real-time no-sound output.
//
//   class EchoTest : public sonvel::test::EffectFixture {};
//   TEST_F(EchoTest, Delays) {
//     FMOD_DSP* Echo = Effect(FMOD_DSP_TYPE_ECHO);
//     const TRender Out = Render(Echo, Impulse(1), 1, 48000);
//     // Out.Channels == 1, Out.At(Frame, 0) ...
//   }
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "EngineTestSupport.h"

namespace sonvel::test {

constexpr double kEffectPi = 3.14159265358979323846;

// Interleaved frames of one width.
struct TSignal {
  std::vector<float> Samples;
  int Channels = 1;
  std::size_t Frames() const { return Channels > 0 ? Samples.size() / std::size_t(Channels) : 0; }
  float At(std::size_t AFrame, int AChannel) const { return Samples[AFrame * std::size_t(Channels) + std::size_t(AChannel)]; }
  // One channel on its own.
  std::vector<float> Channel(int AChannel) const {
    std::vector<float> Result(Frames());
    for (std::size_t I = 0; I < Result.size(); ++I) Result[I] = At(I, AChannel);
    return Result;
  }
};
using TRender = TSignal;

// A signal of AChannels channels, every channel AValue(frame).
template <typename F>
TSignal Generate(std::size_t AFrames, int AChannels, F AValue) {
  TSignal S;
  S.Channels = AChannels;
  S.Samples.resize(AFrames * std::size_t(AChannels));
  for (std::size_t I = 0; I < AFrames; ++I)
    for (int C = 0; C < AChannels; ++C) S.Samples[I * std::size_t(AChannels) + std::size_t(C)] = float(AValue(I, C));
  return S;
}
inline TSignal Impulse(int AChannels, float AHeight = 1.0f, std::size_t AFrames = 1) {
  return Generate(AFrames, AChannels, [&](std::size_t I, int) { return I == 0 ? AHeight : 0.0f; });
}
inline TSignal Sine(double AFrequency, double AAmplitude, std::size_t AFrames, int AChannels = 1, int ARate = 48000) {
  return Generate(AFrames, AChannels, [&](std::size_t I, int) {
    return AAmplitude * std::sin(2.0 * kEffectPi * AFrequency * double(I) / ARate);
  });
}

// The amplitude of the AFrequency component of ASamples[AFrom, ATo), by a
// Hann-windowed single-bin DFT (exact for a steady sine, leakage -31 dB at
// one bin away).
inline double ToneAmplitude(const std::vector<float>& ASamples, double AFrequency, std::size_t AFrom, std::size_t ATo,
                            int ARate = 48000) {
  ATo = std::min(ATo, ASamples.size());
  if (ATo <= AFrom) return 0.0;
  const std::size_t N = ATo - AFrom;
  std::complex<double> Sum = 0.0;
  double Window = 0.0;
  for (std::size_t I = 0; I < N; ++I) {
    const double W = 0.5 - 0.5 * std::cos(2.0 * kEffectPi * (double(I) + 0.5) / double(N));
    Sum += W * double(ASamples[AFrom + I]) * std::polar(1.0, -2.0 * kEffectPi * AFrequency * double(AFrom + I) / ARate);
    Window += W;
  }
  return 2.0 * std::abs(Sum) / Window;
}
inline double Rms(const std::vector<float>& ASamples, std::size_t AFrom, std::size_t ATo) {
  ATo = std::min(ATo, ASamples.size());
  double Sum = 0.0;
  for (std::size_t I = AFrom; I < ATo; ++I) Sum += double(ASamples[I]) * ASamples[I];
  return ATo > AFrom ? std::sqrt(Sum / double(ATo - AFrom)) : 0.0;
}
inline double Decibels(double AGain) { return 20.0 * std::log10(std::max(AGain, 1e-12)); }

class EffectFixture : public ::testing::Test {
protected:
  static constexpr int kRate = 48000;

  static void SetUpTestSuite() { FLibrary = Lib::LoadFMODLibrary(false); }
  static void TearDownTestSuite() {
    Lib::UnloadFMODLibrary(FLibrary);
    FLibrary = nullptr;
  }
  void SetUp() override { Start(); }
  void TearDown() override { Stop(); }

  // A system of ASpeakers at 48 kHz mixing ABlock frames per update.
  void Start(unsigned ABlock = 1024, FMOD_SPEAKERMODE ASpeakers = FMOD_SPEAKERMODE_STEREO) {
    Stop();
    ASSERT_NE(FLibrary, nullptr);
    FBlock = ABlock;
    ASSERT_EQ(Lib::FMOD_System_Create(&FSystem), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_SetOutput(FSystem, FMOD_OUTPUTTYPE_NOSOUND_NRT), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_SetSoftwareFormat(FSystem, kRate, ASpeakers, 0), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_SetDSPBufferSize(FSystem, ABlock, 4), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_Init(FSystem, 32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  }
  void Stop() {
    if (FSystem != nullptr) {
      EXPECT_EQ(Lib::FMOD_System_Release(FSystem), FMOD_OK);
    }
    FSystem = nullptr;
  }

  FMOD_DSP* Effect(FMOD_DSP_TYPE AType) {
    FMOD_DSP* Dsp = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateDSPByType(FSystem, AType, &Dsp), FMOD_OK) << "type " << int(AType);
    return Dsp;
  }
  FMOD_CHANNELGROUP* Master() {
    FMOD_CHANNELGROUP* Group = nullptr;
    EXPECT_EQ(Lib::FMOD_System_GetMasterChannelGroup(FSystem, &Group), FMOD_OK);
    return Group;
  }

  // Plays AInput (silence after its end) through AEffect for AFrames frames
  // (rounded up to whole blocks) and answers what the effect put out. With
  // ASide, that signal feeds the effect's sidechain.
  TRender Render(FMOD_DSP* AEffect, const TSignal& AInput, std::size_t AFrames, const TSignal* ASide = nullptr) {
    TSource Main{&AInput}, Side{ASide};
    TCapture Capture;
    Capture.Samples.reserve(AFrames * 8);
    FMOD_DSP* Source = Unit(&Main, &ReadSource, 0);
    FMOD_DSP* SideSource = ASide != nullptr ? Unit(&Side, &ReadSource, 0) : nullptr;
    FMOD_DSP* Probe = Unit(&Capture, &ReadCapture, 1);
    FMOD_DSP* Head = nullptr;
    EXPECT_EQ(Lib::FMOD_ChannelGroup_GetDSP(Master(), FMOD_CHANNELCONTROL_DSP_HEAD, &Head), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_SetActive(AEffect, true), FMOD_OK);  // a unit made on its own starts inactive
    EXPECT_EQ(Lib::FMOD_DSP_AddInput(AEffect, Source, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    if (SideSource != nullptr) {
      EXPECT_EQ(Lib::FMOD_DSP_AddInput(AEffect, SideSource, nullptr, FMOD_DSPCONNECTION_TYPE_SIDECHAIN), FMOD_OK);
    }
    EXPECT_EQ(Lib::FMOD_DSP_AddInput(Probe, AEffect, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_AddInput(Head, Probe, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD), FMOD_OK);
    for (int Empty = 0; Capture.Frames < AFrames;) {
      const std::size_t Before = Capture.Frames;
      EXPECT_EQ(Lib::FMOD_System_Update(FSystem), FMOD_OK);
      if (Capture.Frames == Before && ++Empty == 8) {
        ADD_FAILURE() << "the updates render nothing";
        break;
      }
    }
    for (FMOD_DSP* U : {Probe, SideSource, Source}) {
      if (U == nullptr) continue;
      EXPECT_EQ(Lib::FMOD_DSP_DisconnectAll(U, true, true), FMOD_OK);
      EXPECT_EQ(Lib::FMOD_DSP_Release(U), FMOD_OK);
    }
    EXPECT_EQ(Lib::FMOD_DSP_DisconnectAll(AEffect, true, true), FMOD_OK);
    TRender Result;
    Result.Channels = std::max(Capture.Channels, 1);
    Result.Samples = std::move(Capture.Samples);
    Result.Samples.resize(std::min(Result.Samples.size(), AFrames * std::size_t(Result.Channels)));
    return Result;
  }

  static inline Lib::TFMODLibraryHandle FLibrary = nullptr;
  FMOD_SYSTEM* FSystem = nullptr;
  unsigned FBlock = 1024;

private:
  struct TSource {
    const TSignal* Signal = nullptr;
    std::size_t Position = 0;
  };
  struct TCapture {
    std::vector<float> Samples;
    int Channels = 0;
    std::size_t Frames = 0;
  };

  template <typename T>
  static T& DataOf(FMOD_DSP_STATE* AState) {
    void* Data = nullptr;
    AState->functions->getuserdata(AState, &Data);
    return *static_cast<T*>(Data);
  }
  // Plays the signal, then says it is silent (as a sound that ended does).
  static FMOD_RESULT F_CALL ReadSource(FMOD_DSP_STATE* AState, float*, float* AOut, unsigned int ALength, int,
                                       int* AOutChannels) {
    TSource& S = DataOf<TSource>(AState);
    const int Width = S.Signal->Channels;
    *AOutChannels = Width;
    if (S.Position >= S.Signal->Frames()) {
      S.Position += ALength;
      return FMOD_ERR_DSP_SILENCE;
    }
    for (unsigned J = 0; J < ALength; ++J, ++S.Position) {
      for (int C = 0; C < Width; ++C)
        AOut[std::size_t(J) * Width + C] = S.Position < S.Signal->Frames() ? S.Signal->At(S.Position, C) : 0.0f;
    }
    return FMOD_OK;
  }
  static FMOD_RESULT F_CALL ReadCapture(FMOD_DSP_STATE* AState, float* AIn, float* AOut, unsigned int ALength,
                                        int AChannels, int* AOutChannels) {
    TCapture& C = DataOf<TCapture>(AState);
    if (C.Channels == 0) C.Channels = AChannels;
    for (unsigned J = 0; J < ALength; ++J) {
      for (int K = 0; K < C.Channels; ++K) C.Samples.push_back(K < AChannels ? AIn[std::size_t(J) * AChannels + K] : 0.0f);
    }
    C.Frames += ALength;
    *AOutChannels = AChannels;
    for (std::size_t I = 0; I < std::size_t(ALength) * AChannels; ++I) AOut[I] = 0.0f;
    return FMOD_OK;
  }
  FMOD_DSP* Unit(void* AData, FMOD_DSP_READ_CALLBACK ARead, int AInputs) {
    FDescriptions.push_back(std::make_unique<FMOD_DSP_DESCRIPTION>());
    FMOD_DSP_DESCRIPTION& D = *FDescriptions.back();
    D.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
    std::snprintf(D.name, sizeof D.name, "%s", AInputs == 0 ? "test source" : "test capture");
    D.numinputbuffers = AInputs;
    D.numoutputbuffers = 1;
    D.read = ARead;
    D.userdata = AData;
    FMOD_DSP* Dsp = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateDSP(FSystem, &D, &Dsp), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_DSP_SetActive(Dsp, true), FMOD_OK);
    return Dsp;
  }
  std::vector<std::unique_ptr<FMOD_DSP_DESCRIPTION>> FDescriptions;
};

}  // namespace sonvel::test
