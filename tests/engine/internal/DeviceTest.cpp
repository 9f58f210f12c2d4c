// Output devices against real files, real threads and whatever audio
// device the machine has (none on a build server: the default output must
// then fall back to no sound).
#include <SDL.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "Device.h"

namespace sonvel::engine {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Writes a known ramp (sample n of the stream is Ramp(n)) and counts calls.
class RampTarget final : public RenderTarget {
public:
  explicit RampTarget(int channels) : channels_(channels) {}

  static float Ramp(long long n) { return static_cast<float>(n % 2000 - 1000) / 1024.0f; }

  void Render(float* interleaved, unsigned frames) noexcept override {
    if (inRender_.exchange(true)) overlapped_ = true;
    for (unsigned i = 0; i < frames * channels_; ++i) interleaved[i] = Ramp(next_++);
    lastFrames_ = frames;
    calls_.fetch_add(1);
    inRender_ = false;
  }

  int Calls() const { return calls_.load(); }
  bool Overlapped() const { return overlapped_.load(); }
  unsigned LastFrames() const { return lastFrames_.load(); }

private:
  const unsigned channels_;
  long long next_ = 0;  // only touched inside Render, which never overlaps itself
  std::atomic<int> calls_{0};
  std::atomic<bool> inRender_{false};
  std::atomic<bool> overlapped_{false};
  std::atomic<unsigned> lastFrames_{0};
};

class DeviceTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("sonvel_device_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::unique_ptr<Device> Open(FMOD_OUTPUTTYPE type, const DeviceFormat& format, const char* file = nullptr) {
    FMOD_RESULT error = FMOD_ERR_INTERNAL;
    auto device = OpenDevice(type, 0, format, const_cast<char*>(file), error);
    EXPECT_EQ(error, FMOD_OK);
    EXPECT_NE(device, nullptr);
    return device;
  }

  struct Wav {
    SF_INFO info{};
    std::vector<float> samples;
  };
  static Wav ReadWav(const fs::path& path) {
    Wav w;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
    EXPECT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
    if (f == nullptr) return w;
    w.samples.resize(static_cast<size_t>(w.info.frames) * w.info.channels);
    EXPECT_EQ(sf_readf_float(f, w.samples.data(), w.info.frames), w.info.frames);
    sf_close(f);
    return w;
  }

  fs::path dir_;
};

TEST_F(DeviceTest, NonRealTimeWavWriterWritesExactlyTheMixedBlocks) {
  const DeviceFormat format{22050, 3, 256, 4};
  const std::string path = (dir_ / "out.wav").string();
  auto device = Open(FMOD_OUTPUTTYPE_WAVWRITER_NRT, format, path.c_str());
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(device->RealTime());
  EXPECT_EQ(device->Type(), FMOD_OUTPUTTYPE_WAVWRITER_NRT);
  EXPECT_NE(device->Handle(), nullptr);

  RampTarget ramp(format.channels);
  ASSERT_EQ(device->Start(ramp), FMOD_OK);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ramp.Calls(), 0) << "a non-real-time device mixes only when asked";
  for (int i = 0; i < 5; ++i) ASSERT_EQ(device->MixOneBlock(), FMOD_OK);
  EXPECT_EQ(ramp.LastFrames(), format.blockFrames);
  device->Stop();
  EXPECT_EQ(device->MixOneBlock(), FMOD_ERR_UNINITIALIZED);
  EXPECT_EQ(ramp.Calls(), 5);

  const Wav w = ReadWav(path);
  EXPECT_EQ(w.info.frames, 5 * 256);
  EXPECT_EQ(w.info.samplerate, 22050);
  EXPECT_EQ(w.info.channels, 3);
  EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  ASSERT_EQ(w.samples.size(), 5u * 256 * 3);
  for (size_t i = 0; i < w.samples.size(); ++i) {
    const float expected = std::clamp(RampTarget::Ramp(static_cast<long long>(i)), -1.0f, 1.0f);
    ASSERT_NEAR(w.samples[i], expected, 2.0f / 32768) << "sample " << i;
  }
}

TEST_F(DeviceTest, WavWriterDefaultFileGoesToTheWorkingDirectory) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  {
    auto device = Open(FMOD_OUTPUTTYPE_WAVWRITER_NRT, DeviceFormat{48000, 2, 512, 4});
    RampTarget ramp(2);
    if (device != nullptr && device->Start(ramp) == FMOD_OK) {
      device->MixOneBlock();
      device->Stop();
    }
  }
  fs::current_path(previous);
  ASSERT_TRUE(fs::exists(dir_ / "fmodoutput.wav"));
  EXPECT_EQ(ReadWav(dir_ / "fmodoutput.wav").info.frames, 512);
}

TEST_F(DeviceTest, NonRealTimeMixesOnlyWhileStartedAndNotSuspended) {
  auto device = Open(FMOD_OUTPUTTYPE_NOSOUND_NRT, DeviceFormat{});
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->Handle(), nullptr);
  RampTarget ramp(2);
  EXPECT_EQ(device->MixOneBlock(), FMOD_ERR_UNINITIALIZED);
  ASSERT_EQ(device->Start(ramp), FMOD_OK);
  device->Suspend();
  EXPECT_EQ(device->MixOneBlock(), FMOD_OK);
  EXPECT_EQ(ramp.Calls(), 0);
  device->Resume();
  EXPECT_EQ(device->MixOneBlock(), FMOD_OK);
  EXPECT_EQ(ramp.Calls(), 1);
}

TEST_F(DeviceTest, AutodetectOpensADeviceOrFallsBackToNoSoundAndStopsCleanly) {
  auto device = Open(FMOD_OUTPUTTYPE_AUTODETECT, DeviceFormat{48000, 2, 512, 4});
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(device->RealTime());
  EXPECT_TRUE(device->Type() == FMOD_OUTPUTTYPE_AUTODETECT || device->Type() == FMOD_OUTPUTTYPE_PULSEAUDIO ||
              device->Type() == FMOD_OUTPUTTYPE_ALSA || device->Type() == FMOD_OUTPUTTYPE_NOSOUND)
      << device->Type();
  if (NumDrivers(FMOD_OUTPUTTYPE_AUTODETECT) == 0) {
    EXPECT_EQ(device->Type(), FMOD_OUTPUTTYPE_NOSOUND);
  }

  RampTarget ramp(device->Format().channels);
  ASSERT_EQ(device->Start(ramp), FMOD_OK);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (ramp.Calls() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_GE(ramp.Calls(), 3);
  EXPECT_EQ(ramp.LastFrames(), 512u);
  device->Stop();
  const int calls = ramp.Calls();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ramp.Calls(), calls) << "Render was called after Stop";
  EXPECT_FALSE(ramp.Overlapped());
}

// SDL's "dummy" back-end runs the real SDL device path (its audio thread,
// its own buffer size) without sound hardware.
TEST_F(DeviceTest, SdlDeviceRendersWholeBlocksAndHonoursSuspendAndStop) {
  SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
  FMOD_RESULT error = FMOD_ERR_INTERNAL;
  auto device = OpenDevice(FMOD_OUTPUTTYPE_AUTODETECT, 0, DeviceFormat{48000, 2, 300, 4}, nullptr, error);
  SDL_SetHint(SDL_HINT_AUDIODRIVER, nullptr);
  ASSERT_NE(device, nullptr);
  if (device->Type() != FMOD_OUTPUTTYPE_AUTODETECT) GTEST_SKIP() << "SDL has no dummy audio driver";
  EXPECT_NE(device->Handle(), nullptr);
  RampTarget ramp(2);
  ASSERT_EQ(device->Start(ramp), FMOD_OK);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (ramp.Calls() < 5 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_GE(ramp.Calls(), 5);
  EXPECT_EQ(ramp.LastFrames(), 300u) << "blocks keep the configured size whatever SDL asks for";
  device->Suspend();
  const int held = ramp.Calls();
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(ramp.Calls(), held);
  device->Resume();
  device->Stop();
  const int stopped = ramp.Calls();
  std::this_thread::sleep_for(40ms);
  EXPECT_EQ(ramp.Calls(), stopped);
  EXPECT_EQ(device->Handle(), nullptr);
  EXPECT_FALSE(ramp.Overlapped());
}

TEST_F(DeviceTest, RealTimeNoSoundRendersOneBlockPerPeriodAndSuspendHoldsIt) {
  // 480 frames at 48 kHz: a block every 10 ms.
  auto device = Open(FMOD_OUTPUTTYPE_NOSOUND, DeviceFormat{48000, 2, 480, 4});
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(device->RealTime());
  RampTarget ramp(2);
  ASSERT_EQ(device->Start(ramp), FMOD_OK);
  std::this_thread::sleep_for(200ms);
  const int calls = ramp.Calls();
  EXPECT_GE(calls, 10);
  EXPECT_LE(calls, 40);

  device->Suspend();
  const int held = ramp.Calls();
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(ramp.Calls(), held) << "Render was called while suspended";
  device->Resume();
  std::this_thread::sleep_for(60ms);
  EXPECT_GT(ramp.Calls(), held);
  device->Stop();
  EXPECT_FALSE(ramp.Overlapped());
}

TEST_F(DeviceTest, RealTimeWavWriterLeavesAReadableFileOfWholeBlocks) {
  const std::string path = (dir_ / "rt.wav").string();
  auto device = Open(FMOD_OUTPUTTYPE_WAVWRITER, DeviceFormat{44100, 2, 441, 4}, path.c_str());
  ASSERT_NE(device, nullptr);
  RampTarget ramp(2);
  ASSERT_EQ(device->Start(ramp), FMOD_OK);
  std::this_thread::sleep_for(100ms);
  device->Stop();
  const Wav w = ReadWav(path);
  EXPECT_EQ(w.info.frames, static_cast<sf_count_t>(ramp.Calls()) * 441);
  EXPECT_GT(w.info.frames, 0);
  EXPECT_EQ(w.info.samplerate, 44100);
}

TEST_F(DeviceTest, RefusesWhatItCannotOpen) {
  struct Case {
    const char* name;
    FMOD_OUTPUTTYPE type;
    int driver;
    DeviceFormat format;
    const char* file;
    FMOD_RESULT expected;
  };
  const std::string badPath = (dir_ / "missing" / "dir" / "x.wav").string();
  const Case cases[] = {
      {"other platform's output", FMOD_OUTPUTTYPE_WASAPI, 0, {}, nullptr, FMOD_ERR_OUTPUT_INIT},
      {"unknown output", FMOD_OUTPUTTYPE_UNKNOWN, 0, {}, nullptr, FMOD_ERR_OUTPUT_INIT},
      {"type out of range", static_cast<FMOD_OUTPUTTYPE>(999), 0, {}, nullptr, FMOD_ERR_INVALID_PARAM},
      {"zero channels", FMOD_OUTPUTTYPE_NOSOUND_NRT, 0, {48000, 0, 1024, 4}, nullptr, FMOD_ERR_INVALID_PARAM},
      {"zero rate", FMOD_OUTPUTTYPE_NOSOUND, 0, {0, 2, 1024, 4}, nullptr, FMOD_ERR_INVALID_PARAM},
      {"zero block", FMOD_OUTPUTTYPE_NOSOUND, 0, {48000, 2, 0, 4}, nullptr, FMOD_ERR_INVALID_PARAM},
      {"second no-sound driver", FMOD_OUTPUTTYPE_NOSOUND, 1, {}, nullptr, FMOD_ERR_INVALID_PARAM},
      {"driver out of range", FMOD_OUTPUTTYPE_AUTODETECT, 1000, {}, nullptr, FMOD_ERR_INVALID_PARAM},
      {"unwritable wav path", FMOD_OUTPUTTYPE_WAVWRITER_NRT, 0, {}, badPath.c_str(), FMOD_ERR_FILE_NOTFOUND},
  };
  for (const auto& c : cases) {
    FMOD_RESULT error = FMOD_OK;
    auto device = OpenDevice(c.type, c.driver, c.format, const_cast<char*>(c.file), error);
    EXPECT_EQ(device, nullptr) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
  }
}

TEST_F(DeviceTest, NamedBackEndsOpenOrFailWithoutFallingBack) {
  for (FMOD_OUTPUTTYPE type : {FMOD_OUTPUTTYPE_PULSEAUDIO, FMOD_OUTPUTTYPE_ALSA}) {
    FMOD_RESULT error = FMOD_OK;
    auto device = OpenDevice(type, 0, DeviceFormat{}, nullptr, error);
    if (device != nullptr) {
      EXPECT_EQ(device->Type(), type);
      EXPECT_NE(device->Handle(), nullptr);
    } else {
      EXPECT_EQ(error, FMOD_ERR_OUTPUT_INIT) << type;
    }
  }
}

TEST_F(DeviceTest, DriverListsHaveStableNamesAndGuids) {
  EXPECT_EQ(NumDrivers(FMOD_OUTPUTTYPE_NOSOUND), 1);
  EXPECT_EQ(NumDrivers(FMOD_OUTPUTTYPE_WAVWRITER_NRT), 1);
  EXPECT_EQ(NumDrivers(FMOD_OUTPUTTYPE_WASAPI), 0);
  DriverInfo a, b, w;
  ASSERT_TRUE(GetDriverInfo(FMOD_OUTPUTTYPE_NOSOUND, 0, a));
  ASSERT_TRUE(GetDriverInfo(FMOD_OUTPUTTYPE_NOSOUND, 0, b));
  ASSERT_TRUE(GetDriverInfo(FMOD_OUTPUTTYPE_WAVWRITER, 0, w));
  EXPECT_FALSE(a.name.empty());
  EXPECT_EQ(std::memcmp(&a.guid, &b.guid, sizeof a.guid), 0);
  EXPECT_NE(std::memcmp(&a.guid, &w.guid, sizeof a.guid), 0);
  EXPECT_FALSE(GetDriverInfo(FMOD_OUTPUTTYPE_NOSOUND, 1, a));
  EXPECT_FALSE(GetDriverInfo(FMOD_OUTPUTTYPE_NOSOUND, -1, a));

  const int sdlDrivers = NumDrivers(FMOD_OUTPUTTYPE_AUTODETECT);
  EXPECT_GE(sdlDrivers, 0);
  for (int i = 0; i < sdlDrivers; ++i) {
    DriverInfo info;
    EXPECT_TRUE(GetDriverInfo(FMOD_OUTPUTTYPE_AUTODETECT, i, info)) << i;
    EXPECT_FALSE(info.name.empty()) << i;
  }
  EXPECT_FALSE(GetDriverInfo(FMOD_OUTPUTTYPE_AUTODETECT, sdlDrivers, a));
}

}  // namespace
}  // namespace sonvel::engine
