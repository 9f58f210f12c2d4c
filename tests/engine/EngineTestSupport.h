// Shared set-up for tests that drive our engine through its C interface.
//
// EngineFixture loads the engine library once per suite and gives each test a
// fresh system with the non-real-time no-sound output, so that nothing plays
// and mixing advances only on FMOD_System_Update. FFolder is a temporary
// folder for test files; WriteSoundFile fills one with libsndfile.
//
//   class ChannelTest : public sonvel::test::EngineFixture {};
//   TEST_F(ChannelTest, Plays) {
//     const auto Path = WriteSoundFile(FFolder.Path() / "tone.wav");
//     FMOD_SOUND* Sound = nullptr;
//     ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), FMOD_DEFAULT, nullptr, &Sound), FMOD_OK);
//   }
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <tuple>
#include <type_traits>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.API.h"
#include "TempFolder.h"

namespace sonvel::test {

namespace Lib = Tembro::Audio::FMOD::Lib;

class EngineFixture : public ::testing::Test {
protected:
  static void SetUpTestSuite() { FLibrary = Lib::LoadFMODLibrary(false); }
  static void TearDownTestSuite() {
    Lib::UnloadFMODLibrary(FLibrary);
    FLibrary = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(FLibrary, nullptr);
    ASSERT_EQ(Lib::FMOD_System_Create(&FSystem), FMOD_OK);
    // The output must be chosen before Init.
    const FMOD_RESULT Output = Lib::FMOD_System_SetOutput(FSystem, FMOD_OUTPUTTYPE_NOSOUND_NRT);
    ASSERT_TRUE(Output == FMOD_OK || Output == FMOD_ERR_UNIMPLEMENTED) << "SetOutput answered " << Output;
    ASSERT_EQ(Lib::FMOD_System_Init(FSystem, 32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  }

  void TearDown() override {
    if (FSystem == nullptr) return;
    EXPECT_EQ(Lib::FMOD_System_Close(FSystem), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_System_Release(FSystem), FMOD_OK);
  }

  static inline Lib::TFMODLibraryHandle FLibrary = nullptr;
  FMOD_SYSTEM* FSystem = nullptr;
  TempFolder FFolder;
};

// The test signal: a sine per channel (440 Hz, 660 Hz, ...) at half scale.
inline float TestSignal(std::int64_t AFrame, int AChannel, int ASampleRate) {
  const double Frequency = 440.0 * (1.0 + 0.5 * AChannel);
  constexpr double Pi = 3.14159265358979323846;
  return static_cast<float>(0.5 * std::sin(2.0 * Pi * Frequency * double(AFrame) / double(ASampleRate)));
}

struct TSoundFileSpec {
  int Format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;  // libsndfile's SF_FORMAT_* bits
  int Channels = 1;
  int SampleRate = 44100;
  std::int64_t Frames = 4410;
  // Called with the open file before the samples are written (tags, cues).
  std::function<void(SNDFILE*)> Prepare;
};

// Writes TestSignal in the given layout with libsndfile. Answers APath, or an
// empty path when libsndfile cannot write that format here.
inline std::filesystem::path WriteSoundFile(const std::filesystem::path& APath, const TSoundFileSpec& ASpec = {}) {
  SF_INFO Info{};
  Info.channels = ASpec.Channels;
  Info.samplerate = ASpec.SampleRate;
  Info.format = ASpec.Format;
  SNDFILE* File = sf_open(APath.c_str(), SFM_WRITE, &Info);
  if (File == nullptr) return {};
  if (ASpec.Prepare) ASpec.Prepare(File);
  std::vector<float> Data(std::size_t(ASpec.Frames) * std::size_t(ASpec.Channels));
  for (std::int64_t I = 0; I < ASpec.Frames; ++I)
    for (int C = 0; C < ASpec.Channels; ++C)
      Data[std::size_t(I) * std::size_t(ASpec.Channels) + std::size_t(C)] = TestSignal(I, C, ASpec.SampleRate);
  const sf_count_t Written = sf_writef_float(File, Data.data(), ASpec.Frames);
  sf_close(File);
  if (Written != ASpec.Frames) return {};
  return APath;
}

// Calls an entry point with AFirst as its first argument and zero or null
// for every other one.
template <typename... TArgs>
FMOD_RESULT CallWithFirst(const Lib::TFMODEntryPoint<FMOD_RESULT F_CALL(TArgs...)>& AEntry, void* AFirst) {
  std::tuple<std::decay_t<TArgs>...> Args{};
  using TFirst = std::tuple_element_t<0, std::tuple<std::decay_t<TArgs>...>>;
  if constexpr (std::is_pointer_v<TFirst>) std::get<0>(Args) = reinterpret_cast<TFirst>(AFirst);
  return std::apply(AEntry, Args);
}

}  // namespace sonvel::test
