// A system that writes its mix to a wav file through the non-real-time wav
// writer, one block per update, for tests that check the mix sample by
// sample. Mix() ends the system and reads the file back.
//
//   class MyTest : public sonvel::test::MixFixture {};
//   TEST_F(MyTest, Plays) {
//     Play(Sound(4 * kBlock, Level(0.5f)));
//     const TMix Mix = this->Mix(6);   // 6 blocks, left and right
//   }
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace sonvel::test {

constexpr int kRate = 48000;
constexpr unsigned kBlock = 1024;

// A system writing its mix to a wav file; Mix() closes it and reads it back.
class MixFixture : public ::testing::Test {
protected:
  static void SetUpTestSuite() { FLibrary = Lib::LoadFMODLibrary(false); }
  static void TearDownTestSuite() { Lib::UnloadFMODLibrary(FLibrary); }

  void SetUp() override { Start({}); }
  void TearDown() override {
    if (FSystem != nullptr) Lib::FMOD_System_Release(FSystem);
  }

  // How a test's system is made (anew, replacing the one before).
  struct TSetup {
    int RealVoices = 32;
    FMOD_OUTPUTTYPE Output = FMOD_OUTPUTTYPE_WAVWRITER_NRT;
    FMOD_SPEAKERMODE Speakers = FMOD_SPEAKERMODE_STEREO;
    unsigned Block = kBlock;
    FMOD_INITFLAGS Flags = FMOD_INIT_NORMAL;
  };
  void Start(const TSetup& ASetup) {
    if (FSystem != nullptr) Lib::FMOD_System_Release(FSystem);
    FOutput = (FFolder.Path() / "mix.wav").string();
    ASSERT_EQ(Lib::FMOD_System_Create(&FSystem), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_SetOutput(FSystem, ASetup.Output), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_SetSoftwareFormat(FSystem, kRate, ASetup.Speakers, 0), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_SetDSPBufferSize(FSystem, ASetup.Block, 4), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_System_Init(FSystem, ASetup.RealVoices, ASetup.Flags, FOutput.data()), FMOD_OK);
  }

  // A float wav of AFrames frames whose frame I holds AValue(I) on every channel.
  FMOD_SOUND* Sound(std::int64_t AFrames, const std::function<float(std::int64_t)>& AValue,
                    FMOD_MODE AMode = FMOD_LOOP_OFF | FMOD_2D, int AChannels = 1) {
    const std::string Path = (FFolder.Path() / ("s" + std::to_string(FSounds++) + ".wav")).string();
    SF_INFO Info{};
    Info.channels = AChannels;
    Info.samplerate = kRate;
    Info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* File = sf_open(Path.c_str(), SFM_WRITE, &Info);
    std::vector<float> Data;
    for (std::int64_t I = 0; I < AFrames; ++I)
      for (int C = 0; C < AChannels; ++C) Data.push_back(AValue(I));
    sf_writef_float(File, Data.data(), AFrames);
    sf_close(File);
    FMOD_SOUND* Result = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), AMode, nullptr, &Result), FMOD_OK);
    return Result;
  }

  FMOD_CHANNEL* Play(FMOD_SOUND* ASound, bool APaused = false, FMOD_CHANNELGROUP* AGroup = nullptr) {
    FMOD_CHANNEL* Channel = nullptr;
    EXPECT_EQ(Lib::FMOD_System_PlaySound(FSystem, ASound, AGroup, APaused, &Channel), FMOD_OK);
    return Channel;
  }

  void Update(int ABlocks = 1) {
    for (int I = 0; I < ABlocks; ++I) ASSERT_EQ(Lib::FMOD_System_Update(FSystem), FMOD_OK);
  }

  // Renders ABlocks more blocks, ends the system and answers the whole mix
  // as left and right sample lists.
  struct TMix {
    std::vector<float> L, R;
  };
  TMix Mix(int ABlocks) {
    Update(ABlocks);
    EXPECT_EQ(Lib::FMOD_System_Release(FSystem), FMOD_OK);
    FSystem = nullptr;
    SF_INFO Info{};
    SNDFILE* File = sf_open(FOutput.c_str(), SFM_READ, &Info);
    EXPECT_NE(File, nullptr) << sf_strerror(nullptr);
    TMix Result;
    if (File == nullptr) return Result;
    EXPECT_EQ(Info.channels, 2);
    EXPECT_EQ(Info.samplerate, kRate);
    std::vector<float> Data(std::size_t(Info.frames) * 2);
    sf_readf_float(File, Data.data(), Info.frames);
    sf_close(File);
    for (std::size_t I = 0; I + 1 < Data.size(); I += 2) {
      Result.L.push_back(Data[I]);
      Result.R.push_back(Data[I + 1]);
    }
    return Result;
  }

  static float Peak(const std::vector<float>& ASamples, std::size_t AFrom, std::size_t ATo) {
    float Peak = 0;
    for (std::size_t I = AFrom; I < std::min(ATo, ASamples.size()); ++I) Peak = std::max(Peak, std::fabs(ASamples[I]));
    return Peak;
  }
  static std::size_t FirstSound(const std::vector<float>& ASamples) {
    for (std::size_t I = 0; I < ASamples.size(); ++I)
      if (std::fabs(ASamples[I]) > 1e-3f) return I;
    return ASamples.size();
  }
  static std::size_t LastSound(const std::vector<float>& ASamples) {
    for (std::size_t I = ASamples.size(); I-- > 0;)
      if (std::fabs(ASamples[I]) > 1e-3f) return I;
    return 0;
  }

  static inline Lib::TFMODLibraryHandle FLibrary = nullptr;
  FMOD_SYSTEM* FSystem = nullptr;
  TempFolder FFolder;
  std::string FOutput;
  int FSounds = 0;
};

const auto Level = [](float AValue) { return [AValue](std::int64_t) { return AValue; }; };
constexpr float kTolerance = 2.0f / 32768.0f;  // the wav writer stores 16-bit PCM

}  // namespace sonvel::test
