// Sounds and sound groups through the engine's C interface: decoding checked
// against sox, memory/raw/user sounds, streams, non-blocking opens, lengths,
// loops, sync points, tags, Lock/ReadData, bad input and stale handles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>

#include "EngineTestSupport.h"

using namespace sonvel::test;

namespace {

// ---- Helpers

std::vector<unsigned char> FileBytes(const std::filesystem::path& APath) {
  std::ifstream In(APath, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& APath, const void* AData, std::size_t ASize) {
  std::ofstream Out(APath, std::ios::binary);
  Out.write(static_cast<const char*>(AData), std::streamsize(ASize));
}

// Appends a "LIST"/"adtl" chunk naming WAV cue points (libsndfile writes
// the cues but not their names) and fixes the RIFF size.
void AppendCueLabels(const std::filesystem::path& APath,
                     const std::vector<std::pair<std::uint32_t, std::string>>& ALabels) {
  auto Bytes = FileBytes(APath);
  auto Put32 = [](std::vector<unsigned char>& AOut, std::uint32_t AValue) {
    for (int I = 0; I < 4; ++I) AOut.push_back(static_cast<unsigned char>(AValue >> (8 * I)));
  };
  std::vector<unsigned char> Body = {'a', 'd', 't', 'l'};
  for (const auto& [Id, Text] : ALabels) {
    Body.insert(Body.end(), {'l', 'a', 'b', 'l'});
    const auto Size = std::uint32_t(4 + Text.size() + 1);
    Put32(Body, Size);
    Put32(Body, Id);
    Body.insert(Body.end(), Text.begin(), Text.end());
    Body.push_back(0);
    if (Size & 1) Body.push_back(0);
  }
  Bytes.insert(Bytes.end(), {'L', 'I', 'S', 'T'});
  Put32(Bytes, std::uint32_t(Body.size()));
  Bytes.insert(Bytes.end(), Body.begin(), Body.end());
  const auto RiffSize = std::uint32_t(Bytes.size() - 8);
  for (int I = 0; I < 4; ++I) Bytes[std::size_t(4 + I)] = static_cast<unsigned char>(RiffSize >> (8 * I));
  WriteBytes(APath, Bytes.data(), Bytes.size());
}

// PCM bytes in the engine's reported format to float, written here
// independently of the engine's own conversion.
std::vector<float> ToFloats(const unsigned char* ABytes, std::size_t ACount, FMOD_SOUND_FORMAT AFormat) {
  std::vector<float> Result;
  switch (AFormat) {
    case FMOD_SOUND_FORMAT_PCM8:
      for (std::size_t I = 0; I < ACount; ++I) Result.push_back(float(static_cast<signed char>(ABytes[I])) / 128.0f);
      break;
    case FMOD_SOUND_FORMAT_PCM16:
      for (std::size_t I = 0; I + 1 < ACount; I += 2) {
        std::int16_t V;
        std::memcpy(&V, ABytes + I, 2);
        Result.push_back(float(V) / 32768.0f);
      }
      break;
    case FMOD_SOUND_FORMAT_PCMFLOAT:
      Result.resize(ACount / 4);
      std::memcpy(Result.data(), ABytes, Result.size() * 4);
      break;
    default:
      ADD_FAILURE() << "unexpected format " << AFormat;
  }
  return Result;
}

struct TFormatInfo {
  FMOD_SOUND_TYPE Type = FMOD_SOUND_TYPE_UNKNOWN;
  FMOD_SOUND_FORMAT Format = FMOD_SOUND_FORMAT_NONE;
  int Channels = 0;
  int Bits = 0;
};

TFormatInfo FormatOf(FMOD_SOUND* ASound) {
  TFormatInfo Info;
  EXPECT_EQ(Lib::FMOD_Sound_GetFormat(ASound, &Info.Type, &Info.Format, &Info.Channels, &Info.Bits), FMOD_OK);
  return Info;
}

unsigned int LengthOf(FMOD_SOUND* ASound, FMOD_TIMEUNIT AUnit) {
  unsigned int Length = 0;
  EXPECT_EQ(Lib::FMOD_Sound_GetLength(ASound, &Length, AUnit), FMOD_OK);
  return Length;
}

// A sample's whole data through Lock, as bytes in its format.
std::vector<unsigned char> LockedBytes(FMOD_SOUND* ASound) {
  const unsigned int Bytes = LengthOf(ASound, FMOD_TIMEUNIT_PCMBYTES);
  void *Ptr1 = nullptr, *Ptr2 = nullptr;
  unsigned int Len1 = 0, Len2 = 0;
  EXPECT_EQ(Lib::FMOD_Sound_Lock(ASound, 0, Bytes, &Ptr1, &Ptr2, &Len1, &Len2), FMOD_OK);
  EXPECT_EQ(Len1, Bytes);
  EXPECT_EQ(Len2, 0u);
  std::vector<unsigned char> Result(static_cast<unsigned char*>(Ptr1), static_cast<unsigned char*>(Ptr1) + Len1);
  EXPECT_EQ(Lib::FMOD_Sound_Unlock(ASound, Ptr1, Ptr2, Len1, Len2), FMOD_OK);
  return Result;
}

// Everything ReadData delivers from the current position, in pieces of
// APiece bytes; the last call answers FMOD_ERR_FILE_EOF.
std::vector<unsigned char> ReadAll(FMOD_SOUND* ASound, unsigned int APiece = 4096) {
  std::vector<unsigned char> Result, Buffer(APiece);
  for (int Guard = 0; Guard < 1000000; ++Guard) {
    unsigned int Read = 0;
    const FMOD_RESULT R = Lib::FMOD_Sound_ReadData(ASound, Buffer.data(), APiece, &Read);
    Result.insert(Result.end(), Buffer.begin(), Buffer.begin() + Read);
    if (R == FMOD_ERR_FILE_EOF) {
      EXPECT_LT(Read, APiece);
      break;
    }
    EXPECT_EQ(R, FMOD_OK);
    EXPECT_EQ(Read, APiece);
    if (R != FMOD_OK) break;
  }
  return Result;
}

// The file decoded by sox to interleaved float.
std::vector<float> SoxDecode(const std::filesystem::path& AFile, const std::filesystem::path& AFolder) {
  const auto Out = AFolder / "sox.f32";
  const std::string Command = "sox '" + AFile.string() + "' -t f32 '" + Out.string() + "' 2>/dev/null";
  if (std::system(Command.c_str()) != 0) return {};
  const auto Bytes = FileBytes(Out);
  std::vector<float> Result(Bytes.size() / 4);
  std::memcpy(Result.data(), Bytes.data(), Result.size() * 4);
  return Result;
}

// The smallest RMS difference between A and B over lags of up to AMaxLag
// frames (lossy codecs differ in their start delay), on their overlap.
double AlignedRms(const std::vector<float>& A, const std::vector<float>& B, int AChannels, int AMaxLag) {
  const std::int64_t FramesA = std::int64_t(A.size()) / AChannels, FramesB = std::int64_t(B.size()) / AChannels;
  double Best = 1e9;
  for (int Lag = -AMaxLag; Lag <= AMaxLag; ++Lag) {
    double Sum = 0;
    std::int64_t Count = 0;
    // Leave out the codecs' fade-in and fade-out at both ends.
    for (std::int64_t I = 2048; I + 2048 < FramesA; I += 7) {
      const std::int64_t J = I + Lag;
      if (J < 0 || J >= FramesB) continue;
      const double D = A[std::size_t(I * AChannels)] - B[std::size_t(J * AChannels)];
      Sum += D * D;
      ++Count;
    }
    if (Count > 100) Best = std::min(Best, std::sqrt(Sum / double(Count)));
  }
  return Best;
}

double MaxDifference(const std::vector<float>& A, const std::vector<float>& B) {
  double Max = 0;
  for (std::size_t I = 0; I < std::min(A.size(), B.size()); ++I) Max = std::max(Max, double(std::fabs(A[I] - B[I])));
  return Max;
}

FMOD_CREATESOUNDEXINFO ExInfo() {
  FMOD_CREATESOUNDEXINFO Ex{};
  Ex.cbsize = sizeof Ex;
  return Ex;
}

class SoundTest : public EngineFixture {
protected:
  // A 16-bit stereo WAV of AFrames frames at 48 kHz.
  std::filesystem::path Wav(const std::string& AName = "tone.wav", std::int64_t AFrames = 24000,
                            std::function<void(SNDFILE*)> APrepare = {}) {
    TSoundFileSpec Spec;
    Spec.Channels = 2;
    Spec.SampleRate = 48000;
    Spec.Frames = AFrames;
    Spec.Prepare = std::move(APrepare);
    return WriteSoundFile(FFolder.Path() / AName, Spec);
  }

  FMOD_SOUND* Open(const std::filesystem::path& APath, FMOD_MODE AMode = FMOD_DEFAULT) {
    FMOD_SOUND* Sound = nullptr;
    EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, APath.c_str(), AMode, nullptr, &Sound), FMOD_OK) << APath;
    return Sound;
  }
};

// ---------------------------------------------------------------------------
// Decoding, per container, against sox

struct TCodecCase {
  const char* Name;
  const char* Extension;
  int Format;
  FMOD_SOUND_TYPE Type;
  bool Lossy;
};

class SoundDecodeTest : public EngineFixture, public ::testing::WithParamInterface<TCodecCase> {};

TEST_P(SoundDecodeTest, SampleMatchesSoxAndStreamMatchesSample) {
  const TCodecCase& Case = GetParam();
  TSoundFileSpec Spec;
  Spec.Format = Case.Format;
  Spec.Channels = 2;
  Spec.SampleRate = 48000;  // a rate every codec here takes, Opus included
  Spec.Frames = 24000;
  const auto Path = WriteSoundFile(FFolder.Path() / (std::string("tone.") + Case.Extension), Spec);
  if (Path.empty()) GTEST_SKIP() << "libsndfile cannot write " << Case.Name << " here";

  FMOD_SOUND* Sample = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), FMOD_DEFAULT, nullptr, &Sample), FMOD_OK);
  const TFormatInfo Info = FormatOf(Sample);
  EXPECT_EQ(Info.Type, Case.Type);
  EXPECT_EQ(Info.Channels, 2);
  const std::vector<unsigned char> Bytes = LockedBytes(Sample);
  const std::vector<float> Ours = ToFloats(Bytes.data(), Bytes.size(), Info.Format);

  // sox reads no Opus; that one is checked against the signal itself.
  std::vector<float> Reference;
  if (std::string(Case.Extension) == "opus") {
    for (std::int64_t I = 0; I < Spec.Frames; ++I)
      for (int C = 0; C < 2; ++C) Reference.push_back(TestSignal(I, C, Spec.SampleRate));
  } else {
    Reference = SoxDecode(Path, FFolder.Path());
    ASSERT_FALSE(Reference.empty()) << "sox could not decode " << Path;
  }
  if (Case.Lossy) {
    EXPECT_NEAR(double(Ours.size()) / 2, double(Spec.Frames), 2500.0);
    EXPECT_LT(AlignedRms(Ours, Reference, 2, 1200), 0.02) << Case.Name;
  } else {
    EXPECT_EQ(Ours.size(), Reference.size());
    EXPECT_EQ(LengthOf(Sample, FMOD_TIMEUNIT_PCM), unsigned(Spec.Frames));
    EXPECT_LE(MaxDifference(Ours, Reference), 1.5 / 32768.0) << Case.Name;
  }

  // The same file as a stream: ReadData gives what the sample holds.
  FMOD_SOUND* Stream = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateStream(FSystem, Path.c_str(), FMOD_DEFAULT, nullptr, &Stream), FMOD_OK);
  EXPECT_EQ(FormatOf(Stream).Format, Info.Format);
  EXPECT_EQ(ReadAll(Stream, 1000), Bytes);
  // Locking is for samples only.
  void *Ptr1 = nullptr, *Ptr2 = nullptr;
  unsigned int Len1 = 0, Len2 = 0;
  EXPECT_EQ(Lib::FMOD_Sound_Lock(Stream, 0, 4, &Ptr1, &Ptr2, &Len1, &Len2), FMOD_ERR_BADCOMMAND);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Stream), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sample), FMOD_OK);
}

INSTANTIATE_TEST_SUITE_P(
    SoundCodecs, SoundDecodeTest,
    ::testing::Values(TCodecCase{"Wav", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, FMOD_SOUND_TYPE_WAV, false},
                      TCodecCase{"Aiff", "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, FMOD_SOUND_TYPE_AIFF, false},
                      TCodecCase{"Flac", "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, FMOD_SOUND_TYPE_FLAC, false},
                      TCodecCase{"Vorbis", "ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, FMOD_SOUND_TYPE_OGGVORBIS, true},
                      TCodecCase{"Opus", "opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, FMOD_SOUND_TYPE_OGGVORBIS, true},
                      TCodecCase{"Mp3", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, FMOD_SOUND_TYPE_MPEG, true}),
    [](const ::testing::TestParamInfo<TCodecCase>& AInfo) { return std::string(AInfo.param.Name); });

// ---------------------------------------------------------------------------
// Where the data comes from

TEST_F(SoundTest, MemorySoundsCopyOrPointAtTheCallersData) {
  const auto Path = Wav();
  FMOD_SOUND* FromFile = Open(Path);
  const auto Expected = LockedBytes(FromFile);

  // FMOD_OPENMEMORY copies: the caller's block may go at once.
  auto Block = std::make_unique<std::vector<unsigned char>>(FileBytes(Path));
  FMOD_CREATESOUNDEXINFO Ex = ExInfo();
  Ex.length = unsigned(Block->size());
  FMOD_SOUND* Copied = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, reinterpret_cast<const char*>(Block->data()), FMOD_OPENMEMORY, &Ex,
                                         &Copied),
            FMOD_OK);
  FMOD_SOUND* CopiedStream = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateStream(FSystem, reinterpret_cast<const char*>(Block->data()),
                                          FMOD_OPENMEMORY | FMOD_CREATESTREAM, &Ex, &CopiedStream),
            FMOD_OK);
  std::fill(Block->begin(), Block->end(), 0xAB);
  Block.reset();
  EXPECT_EQ(LockedBytes(Copied), Expected);
  EXPECT_EQ(ReadAll(CopiedStream), Expected);

  // FMOD_OPENMEMORY_POINT reads the caller's block in place.
  const auto Kept = FileBytes(Path);
  FMOD_SOUND* Pointed = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateStream(FSystem, reinterpret_cast<const char*>(Kept.data()), FMOD_OPENMEMORY_POINT,
                                          &Ex, &Pointed),
            FMOD_OK);
  EXPECT_EQ(ReadAll(Pointed), Expected);

  // Memory without a length, or with both memory flags, is refused.
  FMOD_SOUND* Refused = nullptr;
  EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, reinterpret_cast<const char*>(Kept.data()), FMOD_OPENMEMORY, nullptr,
                                         &Refused),
            FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, reinterpret_cast<const char*>(Kept.data()),
                                         FMOD_OPENMEMORY | FMOD_OPENMEMORY_POINT, &Ex, &Refused),
            FMOD_ERR_INVALID_PARAM);
  for (FMOD_SOUND* Sound : {FromFile, Copied, CopiedStream, Pointed})
    EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

TEST_F(SoundTest, RawPcmReadsBackUnchanged) {
  std::vector<std::int16_t> Pcm(3000);
  for (std::size_t I = 0; I < Pcm.size(); ++I) Pcm[I] = std::int16_t(int(I * 37 % 65536) - 32768);
  const auto Path = FFolder.Path() / "raw.pcm";
  WriteBytes(Path, Pcm.data(), Pcm.size() * 2);
  FMOD_CREATESOUNDEXINFO Ex = ExInfo();
  Ex.numchannels = 2;
  Ex.defaultfrequency = 22050;
  Ex.format = FMOD_SOUND_FORMAT_PCM16;
  FMOD_SOUND* Sound = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), FMOD_OPENRAW, &Ex, &Sound), FMOD_OK);
  EXPECT_EQ(FormatOf(Sound).Type, FMOD_SOUND_TYPE_RAW);
  EXPECT_EQ(LengthOf(Sound, FMOD_TIMEUNIT_PCM), 1500u);
  const auto Bytes = LockedBytes(Sound);
  ASSERT_EQ(Bytes.size(), Pcm.size() * 2);
  EXPECT_EQ(std::memcmp(Bytes.data(), Pcm.data(), Bytes.size()), 0);
  float Frequency = 0;
  EXPECT_EQ(Lib::FMOD_Sound_GetDefaults(Sound, &Frequency, nullptr), FMOD_OK);
  EXPECT_EQ(Frequency, 22050.0f);

  // Raw without a layout is refused.
  FMOD_SOUND* Refused = nullptr;
  EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), FMOD_OPENRAW, nullptr, &Refused),
            FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

std::atomic<int> GRampNext{0};

FMOD_RESULT F_CALLBACK RampCallback(FMOD_SOUND*, void* AData, unsigned int ALength) {
  auto* Out = static_cast<std::int16_t*>(AData);
  for (unsigned int I = 0; I < ALength / 2; ++I) Out[I] = static_cast<std::int16_t>(GRampNext.fetch_add(1));
  return FMOD_OK;
}

TEST_F(SoundTest, UserSoundsTakeTheirDataFromTheCallback) {
  GRampNext = 0;
  FMOD_CREATESOUNDEXINFO Ex = ExInfo();
  Ex.numchannels = 1;
  Ex.defaultfrequency = 8000;
  Ex.format = FMOD_SOUND_FORMAT_PCM16;
  Ex.length = 2 * 5000;
  Ex.pcmreadcallback = &RampCallback;
  FMOD_SOUND* Sound = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, nullptr, FMOD_OPENUSER, &Ex, &Sound), FMOD_OK);
  EXPECT_EQ(LengthOf(Sound, FMOD_TIMEUNIT_PCM), 5000u);
  EXPECT_EQ(LengthOf(Sound, FMOD_TIMEUNIT_MS), 625u);
  const auto Bytes = LockedBytes(Sound);
  ASSERT_EQ(Bytes.size(), 10000u);
  std::int16_t First, Last;
  std::memcpy(&First, Bytes.data(), 2);
  std::memcpy(&Last, Bytes.data() + Bytes.size() - 2, 2);
  EXPECT_EQ(Last - First, 4999);  // one ramp, in order

  // Without a callback: silence. With sub-sounds: a parent of N children.
  Ex.pcmreadcallback = nullptr;
  Ex.numsubsounds = 3;
  FMOD_SOUND* Parent = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, nullptr, FMOD_OPENUSER, &Ex, &Parent), FMOD_OK);
  int Count = 0;
  EXPECT_EQ(Lib::FMOD_Sound_GetNumSubSounds(Parent, &Count), FMOD_OK);
  EXPECT_EQ(Count, 3);
  FMOD_SOUND *Child = nullptr, *Back = nullptr;
  EXPECT_EQ(Lib::FMOD_Sound_GetSubSound(Parent, 2, &Child), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetSubSound(Parent, 3, &Back), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_GetSubSoundParent(Child, &Back), FMOD_OK);
  EXPECT_EQ(Back, Parent);
  EXPECT_EQ(Lib::FMOD_Sound_GetSubSoundParent(Parent, &Back), FMOD_OK);
  EXPECT_EQ(Back, nullptr);
  const auto Silence = LockedBytes(Child);
  EXPECT_EQ(Silence, std::vector<unsigned char>(10000, 0));
  // Releasing the parent takes its children with it.
  EXPECT_EQ(Lib::FMOD_Sound_Release(Parent), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetSubSoundParent(Child, &Back), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

// ---------------------------------------------------------------------------
// Non-blocking opens

std::atomic<bool> GGateOpen{true};

FMOD_RESULT F_CALLBACK GatedCallback(FMOD_SOUND*, void* AData, unsigned int ALength) {
  while (!GGateOpen.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::memset(AData, 0, ALength);
  return FMOD_OK;
}

std::atomic<FMOD_RESULT> GCallbackResult{FMOD_ERR_INTERNAL};

FMOD_RESULT F_CALLBACK NonBlockCallback(FMOD_SOUND*, FMOD_RESULT AResult) {
  GCallbackResult = AResult;
  return FMOD_OK;
}

FMOD_OPENSTATE WaitWhileLoading(FMOD_SOUND* ASound, FMOD_RESULT& AResult) {
  FMOD_OPENSTATE State = FMOD_OPENSTATE_LOADING;
  for (int I = 0; I < 5000; ++I) {
    AResult = Lib::FMOD_Sound_GetOpenState(ASound, &State, nullptr, nullptr, nullptr);
    if (State != FMOD_OPENSTATE_LOADING) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return State;
}

TEST_F(SoundTest, NonBlockingOpensReachReadyOrError) {
  // Held at the gate: loading, and the data calls are not ready yet.
  GGateOpen = false;
  struct TOpenGate {
    ~TOpenGate() { GGateOpen = true; }
  } OpenGateOnExit;
  FMOD_CREATESOUNDEXINFO Ex = ExInfo();
  Ex.numchannels = 1;
  Ex.defaultfrequency = 8000;
  Ex.format = FMOD_SOUND_FORMAT_PCM16;
  Ex.length = 2 * 8000;
  Ex.pcmreadcallback = &GatedCallback;
  Ex.nonblockcallback = &NonBlockCallback;
  GCallbackResult = FMOD_ERR_INTERNAL;
  FMOD_SOUND* Gated = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, nullptr, FMOD_OPENUSER | FMOD_NONBLOCKING, &Ex, &Gated), FMOD_OK);
  FMOD_OPENSTATE State = FMOD_OPENSTATE_READY;
  EXPECT_EQ(Lib::FMOD_Sound_GetOpenState(Gated, &State, nullptr, nullptr, nullptr), FMOD_OK);
  EXPECT_EQ(State, FMOD_OPENSTATE_LOADING);
  unsigned int Length = 0;
  EXPECT_EQ(Lib::FMOD_Sound_GetLength(Gated, &Length, FMOD_TIMEUNIT_PCM), FMOD_ERR_NOTREADY);
  int Marker = 0;
  void* UserData = nullptr;
  EXPECT_EQ(Lib::FMOD_Sound_SetUserData(Gated, &Marker), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetUserData(Gated, &UserData), FMOD_OK);
  EXPECT_EQ(UserData, &Marker);
  // A second one is released while it loads: the release waits for the
  // load to give up, and the handle is gone.
  FMOD_SOUND* Dropped = nullptr;
  Ex.nonblockcallback = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, nullptr, FMOD_OPENUSER | FMOD_NONBLOCKING, &Ex, &Dropped), FMOD_OK);
  std::thread Opener([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    GGateOpen = true;
  });
  EXPECT_EQ(Lib::FMOD_Sound_Release(Dropped), FMOD_OK);
  Opener.join();
  EXPECT_EQ(Lib::FMOD_Sound_GetOpenState(Dropped, &State, nullptr, nullptr, nullptr), FMOD_ERR_INVALID_HANDLE);

  FMOD_RESULT Result = FMOD_OK;
  EXPECT_EQ(WaitWhileLoading(Gated, Result), FMOD_OPENSTATE_READY);
  EXPECT_EQ(Result, FMOD_OK);
  EXPECT_EQ(LengthOf(Gated, FMOD_TIMEUNIT_PCM), 8000u);
  for (int I = 0; I < 1000 && GCallbackResult == FMOD_ERR_INTERNAL; ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(GCallbackResult.load(), FMOD_OK);  // the open's own callback

  // A file and a stream reach READY; a missing file reaches ERROR and says why.
  const auto Path = Wav();
  for (FMOD_MODE Mode : {FMOD_NONBLOCKING, FMOD_NONBLOCKING | FMOD_CREATESTREAM}) {
    FMOD_SOUND* Sound = nullptr;
    ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), Mode, nullptr, &Sound), FMOD_OK);
    EXPECT_EQ(WaitWhileLoading(Sound, Result), FMOD_OPENSTATE_READY) << Mode;
    EXPECT_EQ(LengthOf(Sound, FMOD_TIMEUNIT_PCM), 24000u);
    if (Mode & FMOD_CREATESTREAM) {
      // Short enough to be decoded whole before it is ready.
      unsigned int Percent = 0;
      FMOD_BOOL Starving = 1, Busy = 1;
      EXPECT_EQ(Lib::FMOD_Sound_GetOpenState(Sound, &State, &Percent, &Starving, &Busy), FMOD_OK);
      EXPECT_EQ(Percent, 100u);
      EXPECT_FALSE(Starving);
      EXPECT_FALSE(Busy);
    }
    EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
  }
  FMOD_SOUND* Missing = nullptr;
  const auto Nowhere = FFolder.Path() / "nowhere.wav";
  ASSERT_EQ(Lib::FMOD_System_CreateSound(FSystem, Nowhere.c_str(), FMOD_NONBLOCKING, nullptr, &Missing), FMOD_OK);
  EXPECT_EQ(WaitWhileLoading(Missing, Result), FMOD_OPENSTATE_ERROR);
  EXPECT_EQ(Result, FMOD_ERR_FILE_NOTFOUND);
  EXPECT_EQ(Lib::FMOD_Sound_GetLength(Missing, &Length, FMOD_TIMEUNIT_PCM), FMOD_ERR_NOTREADY);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Missing), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Gated), FMOD_OK);
}

// ---------------------------------------------------------------------------
// Lengths, loops, settings

TEST_F(SoundTest, LengthsInEveryUnit) {
  FMOD_SOUND* Sample = Open(Wav());  // 24000 frames, 16-bit stereo, 48 kHz
  FMOD_SOUND* Stream = Open(FFolder.Path() / "tone.wav", FMOD_CREATESTREAM);
  const struct {
    FMOD_TIMEUNIT Unit;
    FMOD_RESULT Result;
    unsigned int Length;
  } Cases[] = {
      {FMOD_TIMEUNIT_PCM, FMOD_OK, 24000},       {FMOD_TIMEUNIT_PCMBYTES, FMOD_OK, 96000},
      {FMOD_TIMEUNIT_MS, FMOD_OK, 500},          {FMOD_TIMEUNIT_RAWBYTES, FMOD_OK, 96000},
      {FMOD_TIMEUNIT_PCMFRACTION, FMOD_ERR_FORMAT, 0}, {FMOD_TIMEUNIT_MODORDER, FMOD_ERR_FORMAT, 0},
  };
  for (FMOD_SOUND* Sound : {Sample, Stream}) {
    for (const auto& Case : Cases) {
      unsigned int Length = 0;
      EXPECT_EQ(Lib::FMOD_Sound_GetLength(Sound, &Length, Case.Unit), Case.Result) << Case.Unit;
      if (Case.Result == FMOD_OK) {
        EXPECT_EQ(Length, Case.Length) << Case.Unit;
      }
    }
    EXPECT_EQ(Lib::FMOD_Sound_GetLength(Sound, nullptr, FMOD_TIMEUNIT_PCM), FMOD_ERR_INVALID_PARAM);
  }
  char Name[8];
  EXPECT_EQ(Lib::FMOD_Sound_GetName(Sample, Name, sizeof Name), FMOD_OK);
  EXPECT_STREQ(Name, "tone.wa");  // cut to fit, terminated
  const TFormatInfo Info = FormatOf(Sample);
  EXPECT_EQ(Info.Format, FMOD_SOUND_FORMAT_PCM16);
  EXPECT_EQ(Info.Bits, 16);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Stream), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sample), FMOD_OK);
}

TEST_F(SoundTest, LoopSettingsRoundTrip) {
  FMOD_SOUND* Sample = Open(Wav());
  FMOD_SOUND* Stream = Open(FFolder.Path() / "tone.wav", FMOD_CREATESTREAM);
  for (FMOD_SOUND* Sound : {Sample, Stream}) {
    FMOD_MODE Mode = 0;
    ASSERT_EQ(Lib::FMOD_Sound_GetMode(Sound, &Mode), FMOD_OK);
    EXPECT_TRUE(Mode & FMOD_LOOP_OFF);
    EXPECT_TRUE(Mode & FMOD_2D);
    EXPECT_EQ(Lib::FMOD_Sound_SetMode(Sound, FMOD_LOOP_NORMAL | FMOD_3D), FMOD_OK);
    ASSERT_EQ(Lib::FMOD_Sound_GetMode(Sound, &Mode), FMOD_OK);
    EXPECT_EQ(Mode & (FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI | FMOD_2D | FMOD_3D),
              FMOD_LOOP_NORMAL | FMOD_3D);

    unsigned int Start = 1, End = 1;
    EXPECT_EQ(Lib::FMOD_Sound_GetLoopPoints(Sound, &Start, FMOD_TIMEUNIT_PCM, &End, FMOD_TIMEUNIT_PCM), FMOD_OK);
    EXPECT_EQ(Start, 0u);
    EXPECT_EQ(End, 23999u);
    EXPECT_EQ(Lib::FMOD_Sound_SetLoopPoints(Sound, 100, FMOD_TIMEUNIT_MS, 12000, FMOD_TIMEUNIT_PCM), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_Sound_GetLoopPoints(Sound, &Start, FMOD_TIMEUNIT_PCMBYTES, &End, FMOD_TIMEUNIT_MS), FMOD_OK);
    EXPECT_EQ(Start, 4800u * 4);
    EXPECT_EQ(End, 250u);
    const struct {
      unsigned int Start, End;
      FMOD_TIMEUNIT Unit;
      FMOD_RESULT Result;
    } Bad[] = {{500, 400, FMOD_TIMEUNIT_PCM, FMOD_ERR_INVALID_PARAM},
               {500, 500, FMOD_TIMEUNIT_PCM, FMOD_ERR_INVALID_PARAM},
               {0, 24000, FMOD_TIMEUNIT_PCM, FMOD_ERR_INVALID_PARAM},
               {0, 10, FMOD_TIMEUNIT_RAWBYTES, FMOD_ERR_FORMAT}};
    for (const auto& Case : Bad)
      EXPECT_EQ(Lib::FMOD_Sound_SetLoopPoints(Sound, Case.Start, Case.Unit, Case.End, Case.Unit), Case.Result);

    int Count = 0;
    EXPECT_EQ(Lib::FMOD_Sound_GetLoopCount(Sound, &Count), FMOD_OK);
    EXPECT_EQ(Count, -1);
    EXPECT_EQ(Lib::FMOD_Sound_SetLoopCount(Sound, 3), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_Sound_SetLoopCount(Sound, -2), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(Lib::FMOD_Sound_GetLoopCount(Sound, &Count), FMOD_OK);
    EXPECT_EQ(Count, 3);
  }
  EXPECT_EQ(Lib::FMOD_Sound_Release(Stream), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sample), FMOD_OK);
}

TEST_F(SoundTest, SettingsRoundTripAndRefuseBadValues) {
  FMOD_SOUND* Sound = Open(Wav());
  EXPECT_EQ(Lib::FMOD_Sound_SetDefaults(Sound, 22050.0f, 7), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Set3DMinMaxDistance(Sound, 2.0f, 50.0f), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Set3DConeSettings(Sound, 30.0f, 90.0f, 0.25f), FMOD_OK);
  float A = 0, B = 0, C = 0;
  int Priority = 0;
  EXPECT_EQ(Lib::FMOD_Sound_GetDefaults(Sound, &A, &Priority), FMOD_OK);
  EXPECT_EQ(A, 22050.0f);
  EXPECT_EQ(Priority, 7);
  EXPECT_EQ(Lib::FMOD_Sound_Get3DMinMaxDistance(Sound, &A, &B), FMOD_OK);
  EXPECT_EQ(std::make_pair(A, B), std::make_pair(2.0f, 50.0f));
  EXPECT_EQ(Lib::FMOD_Sound_Get3DConeSettings(Sound, &A, &B, &C), FMOD_OK);
  EXPECT_EQ(std::make_tuple(A, B, C), std::make_tuple(30.0f, 90.0f, 0.25f));

  // The custom rolloff is copied: the caller's array may change afterwards.
  FMOD_VECTOR Curve[3] = {{0, 1, 0}, {10, 0.5f, 0}, {20, 0, 0}};
  EXPECT_EQ(Lib::FMOD_Sound_Set3DCustomRolloff(Sound, Curve, 3), FMOD_OK);
  Curve[1].y = 0.9f;
  FMOD_VECTOR* Points = nullptr;
  int Count = 0;
  EXPECT_EQ(Lib::FMOD_Sound_Get3DCustomRolloff(Sound, &Points, &Count), FMOD_OK);
  ASSERT_EQ(Count, 3);
  EXPECT_EQ(Points[1].y, 0.5f);
  EXPECT_EQ(Lib::FMOD_Sound_Set3DCustomRolloff(Sound, nullptr, 0), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Get3DCustomRolloff(Sound, &Points, &Count), FMOD_OK);
  EXPECT_EQ(Count, 0);
  EXPECT_EQ(Points, nullptr);

  int Marker = 0;
  void* UserData = nullptr;
  EXPECT_EQ(Lib::FMOD_Sound_SetUserData(Sound, &Marker), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetUserData(Sound, &UserData), FMOD_OK);
  EXPECT_EQ(UserData, &Marker);
  FMOD_SYSTEM* Owner = nullptr;
  EXPECT_EQ(Lib::FMOD_Sound_GetSystemObject(Sound, &Owner), FMOD_OK);
  EXPECT_EQ(Owner, FSystem);

  FMOD_VECTOR Unsorted[2] = {{10, 1, 0}, {5, 0, 0}};
  const float NaN = std::nanf("");
  const struct {
    const char* What;
    FMOD_RESULT Result;
    FMOD_RESULT Expected;
  } Bad[] = {
      {"priority 257", Lib::FMOD_Sound_SetDefaults(Sound, 44100.0f, 257), FMOD_ERR_INVALID_PARAM},
      {"priority -1", Lib::FMOD_Sound_SetDefaults(Sound, 44100.0f, -1), FMOD_ERR_INVALID_PARAM},
      {"NaN frequency", Lib::FMOD_Sound_SetDefaults(Sound, NaN, 0), FMOD_ERR_INVALID_FLOAT},
      {"max below min", Lib::FMOD_Sound_Set3DMinMaxDistance(Sound, 5.0f, 1.0f), FMOD_ERR_INVALID_PARAM},
      {"negative min", Lib::FMOD_Sound_Set3DMinMaxDistance(Sound, -1.0f, 1.0f), FMOD_ERR_INVALID_PARAM},
      {"outside cone inside inner", Lib::FMOD_Sound_Set3DConeSettings(Sound, 90, 30, 1), FMOD_ERR_INVALID_PARAM},
      {"cone volume 2", Lib::FMOD_Sound_Set3DConeSettings(Sound, 30, 90, 2), FMOD_ERR_INVALID_PARAM},
      {"unsorted rolloff", Lib::FMOD_Sound_Set3DCustomRolloff(Sound, Unsorted, 2), FMOD_ERR_INVALID_PARAM},
      {"negative count", Lib::FMOD_Sound_Set3DCustomRolloff(Sound, Curve, -1), FMOD_ERR_INVALID_PARAM},
      {"null out", Lib::FMOD_Sound_GetDefaults(Sound, nullptr, nullptr), FMOD_ERR_INVALID_PARAM},
      {"null name", Lib::FMOD_Sound_GetName(Sound, nullptr, 10), FMOD_ERR_INVALID_PARAM},
      {"music", Lib::FMOD_Sound_GetMusicNumChannels(Sound, &Count), FMOD_ERR_FORMAT},
      {"music speed", Lib::FMOD_Sound_SetMusicSpeed(Sound, 1.0f), FMOD_ERR_FORMAT},
  };
  for (const auto& Case : Bad) EXPECT_EQ(Case.Result, Case.Expected) << Case.What;
  // Nothing bad was stored.
  EXPECT_EQ(Lib::FMOD_Sound_GetDefaults(Sound, &A, &Priority), FMOD_OK);
  EXPECT_EQ(Priority, 7);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

// ---------------------------------------------------------------------------
// Sync points and tags

TEST_F(SoundTest, SyncPointsComeFromCueMarkersAndCanBeAddedAndDeleted) {
  const auto Path = Wav("cues.wav", 24000, [](SNDFILE* AFile) {
    SF_CUES Cues{};
    Cues.cue_count = 2;
    Cues.cue_points[0].indx = 1;
    Cues.cue_points[0].sample_offset = 12000;
    Cues.cue_points[1].indx = 2;
    Cues.cue_points[1].sample_offset = 4800;
    std::memcpy(&Cues.cue_points[0].fcc_chunk, "data", 4);
    std::memcpy(&Cues.cue_points[1].fcc_chunk, "data", 4);
    sf_command(AFile, SFC_SET_CUE, &Cues, sizeof Cues);
  });
  AppendCueLabels(Path, {{1, "chorus"}, {2, "verse"}});
  FMOD_SOUND* Sound = Open(Path);
  int Count = 0;
  ASSERT_EQ(Lib::FMOD_Sound_GetNumSyncPoints(Sound, &Count), FMOD_OK);
  ASSERT_EQ(Count, 2);
  auto OffsetOf = [&](int AIndex, FMOD_TIMEUNIT AUnit) {
    FMOD_SYNCPOINT* Point = nullptr;
    unsigned int Offset = 0;
    EXPECT_EQ(Lib::FMOD_Sound_GetSyncPoint(Sound, AIndex, &Point), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_Sound_GetSyncPointInfo(Sound, Point, nullptr, 0, &Offset, AUnit), FMOD_OK);
    return Offset;
  };
  // In offset order, whatever the file's order.
  EXPECT_EQ(OffsetOf(0, FMOD_TIMEUNIT_PCM), 4800u);
  EXPECT_EQ(OffsetOf(1, FMOD_TIMEUNIT_MS), 250u);
  // Named by the file's "labl" entries.
  auto NameOf = [&](int AIndex) {
    FMOD_SYNCPOINT* Point = nullptr;
    char Text[16] = {};
    EXPECT_EQ(Lib::FMOD_Sound_GetSyncPoint(Sound, AIndex, &Point), FMOD_OK);
    EXPECT_EQ(Lib::FMOD_Sound_GetSyncPointInfo(Sound, Point, Text, sizeof Text, nullptr, FMOD_TIMEUNIT_PCM), FMOD_OK);
    return std::string(Text);
  };
  EXPECT_EQ(NameOf(0), "verse");
  EXPECT_EQ(NameOf(1), "chorus");

  FMOD_SYNCPOINT* Added = nullptr;
  ASSERT_EQ(Lib::FMOD_Sound_AddSyncPoint(Sound, 50, FMOD_TIMEUNIT_MS, "intro", &Added), FMOD_OK);
  EXPECT_EQ(OffsetOf(0, FMOD_TIMEUNIT_PCM), 2400u);
  char Name[16] = {};
  unsigned int Offset = 0;
  EXPECT_EQ(Lib::FMOD_Sound_GetSyncPointInfo(Sound, Added, Name, sizeof Name, &Offset, FMOD_TIMEUNIT_PCMBYTES),
            FMOD_OK);
  EXPECT_STREQ(Name, "intro");
  EXPECT_EQ(Offset, 2400u * 4);
  EXPECT_EQ(Lib::FMOD_Sound_AddSyncPoint(Sound, 24001, FMOD_TIMEUNIT_PCM, "late", nullptr), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_DeleteSyncPoint(Sound, Added), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetNumSyncPoints(Sound, &Count), FMOD_OK);
  EXPECT_EQ(Count, 2);
  // A deleted point, another sound's point, or any other pointer is refused.
  FMOD_SOUND* Other = Open(Wav("other.wav"));
  FMOD_SYNCPOINT* Foreign = nullptr;
  ASSERT_EQ(Lib::FMOD_Sound_AddSyncPoint(Other, 0, FMOD_TIMEUNIT_PCM, "x", &Foreign), FMOD_OK);
  int Local = 0;
  for (FMOD_SYNCPOINT* Bad : {Added, Foreign, reinterpret_cast<FMOD_SYNCPOINT*>(&Local)}) {
    EXPECT_EQ(Lib::FMOD_Sound_DeleteSyncPoint(Sound, Bad), FMOD_ERR_INVALID_SYNCPOINT);
    EXPECT_EQ(Lib::FMOD_Sound_GetSyncPointInfo(Sound, Bad, Name, sizeof Name, &Offset, FMOD_TIMEUNIT_PCM),
              FMOD_ERR_INVALID_SYNCPOINT);
  }
  FMOD_SYNCPOINT* Point = nullptr;
  EXPECT_EQ(Lib::FMOD_Sound_GetSyncPoint(Sound, 2, &Point), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Other), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

TEST_F(SoundTest, TagsComeFromMetadataAndAreMarkedUpdatedUntilRead) {
  auto Tagged = [](SNDFILE* AFile) {
    sf_set_string(AFile, SF_STR_TITLE, "Rain Song");
    sf_set_string(AFile, SF_STR_ARTIST, "Sonvel");
  };
  TSoundFileSpec FlacSpec;
  FlacSpec.Format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  FlacSpec.Prepare = Tagged;
  for (const auto& Path :
       {Wav("tagged.wav", 24000, Tagged), WriteSoundFile(FFolder.Path() / "tagged.flac", FlacSpec)}) {
    SCOPED_TRACE(Path.string());
    FMOD_SOUND* Sound = Open(Path);
    int Count = 0, Updated = 0;
    ASSERT_EQ(Lib::FMOD_Sound_GetNumTags(Sound, &Count, &Updated), FMOD_OK);
    EXPECT_EQ(Count, 2);
    EXPECT_EQ(Updated, 2);
    FMOD_TAG Tag{};
    ASSERT_EQ(Lib::FMOD_Sound_GetTag(Sound, "ARTIST", 0, &Tag), FMOD_OK);
    EXPECT_STREQ(static_cast<const char*>(Tag.data), "Sonvel");
    EXPECT_EQ(Tag.datatype, FMOD_TAGDATATYPE_STRING_UTF8);
    EXPECT_TRUE(Tag.updated);
    ASSERT_EQ(Lib::FMOD_Sound_GetTag(Sound, "ARTIST", 0, &Tag), FMOD_OK);
    EXPECT_FALSE(Tag.updated);
    EXPECT_EQ(Lib::FMOD_Sound_GetNumTags(Sound, &Count, &Updated), FMOD_OK);
    EXPECT_EQ(Updated, 1);
    ASSERT_EQ(Lib::FMOD_Sound_GetTag(Sound, nullptr, 0, &Tag), FMOD_OK);
    EXPECT_STREQ(Tag.name, "TITLE");
    EXPECT_STREQ(static_cast<const char*>(Tag.data), "Rain Song");
    EXPECT_EQ(Lib::FMOD_Sound_GetTag(Sound, "ARTIST", 1, &Tag), FMOD_ERR_TAGNOTFOUND);
    EXPECT_EQ(Lib::FMOD_Sound_GetTag(Sound, nullptr, 2, &Tag), FMOD_ERR_TAGNOTFOUND);
    EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
  }
  // FMOD_IGNORETAGS skips them.
  FMOD_SOUND* Plain = Open(FFolder.Path() / "tagged.wav", FMOD_IGNORETAGS);
  int Count = -1;
  EXPECT_EQ(Lib::FMOD_Sound_GetNumTags(Plain, &Count, nullptr), FMOD_OK);
  EXPECT_EQ(Count, 0);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Plain), FMOD_OK);
}

// ---------------------------------------------------------------------------
// Lock and ReadData

TEST_F(SoundTest, LockWrapsAndUnlockWritesBack) {
  FMOD_SOUND* Sound = Open(Wav("short.wav", 1000));  // 4000 bytes
  void *Ptr1 = nullptr, *Ptr2 = nullptr;
  unsigned int Len1 = 0, Len2 = 0;
  // 400 bytes from 3800: 200 at the end, 200 wrapped to the start.
  ASSERT_EQ(Lib::FMOD_Sound_Lock(Sound, 3800, 400, &Ptr1, &Ptr2, &Len1, &Len2), FMOD_OK);
  EXPECT_EQ(Len1, 200u);
  EXPECT_EQ(Len2, 200u);
  ASSERT_NE(Ptr2, nullptr);
  std::memset(Ptr1, 0, Len1);
  const std::int16_t Mark = 12345;
  for (unsigned int I = 0; I < Len2; I += 2) std::memcpy(static_cast<char*>(Ptr2) + I, &Mark, 2);
  ASSERT_EQ(Lib::FMOD_Sound_Unlock(Sound, Ptr1, Ptr2, Len1, Len2), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_Unlock(Sound, Ptr1, Ptr2, Len1, Len2), FMOD_ERR_INVALID_PARAM);  // already unlocked

  const auto Bytes = LockedBytes(Sound);
  std::int16_t Value;
  std::memcpy(&Value, Bytes.data() + 198, 2);
  EXPECT_EQ(Value, Mark);
  std::memcpy(&Value, Bytes.data() + 200, 2);
  EXPECT_NE(Value, Mark);
  EXPECT_EQ(std::vector<unsigned char>(Bytes.begin() + 3800, Bytes.end()), std::vector<unsigned char>(200, 0));

  EXPECT_EQ(Lib::FMOD_Sound_Lock(Sound, 4000, 4, &Ptr1, &Ptr2, &Len1, &Len2), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Lock(Sound, 0, 0, &Ptr1, &Ptr2, &Len1, &Len2), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Lock(Sound, 0, 4, nullptr, &Ptr2, &Len1, &Len2), FMOD_ERR_INVALID_PARAM);
  int Local = 0;
  EXPECT_EQ(Lib::FMOD_Sound_Unlock(Sound, &Local, nullptr, 4, 0), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

TEST_F(SoundTest, ReadDataInOddPiecesAndSeekData) {
  FMOD_SOUND* Sound = Open(Wav("short.wav", 1000), FMOD_OPENONLY);
  const auto Whole = ReadAll(Sound, 4000);
  ASSERT_EQ(Whole.size(), 4000u);
  // Pieces that cut frames in the middle give the same bytes.
  ASSERT_EQ(Lib::FMOD_Sound_SeekData(Sound, 0), FMOD_OK);
  EXPECT_EQ(ReadAll(Sound, 333), Whole);
  ASSERT_EQ(Lib::FMOD_Sound_SeekData(Sound, 900), FMOD_OK);
  EXPECT_EQ(ReadAll(Sound, 7), std::vector<unsigned char>(Whole.begin() + 3600, Whole.end()));
  // At the end: nothing more, and FMOD_ERR_FILE_EOF.
  unsigned char Buffer[16];
  unsigned int Read = 99;
  EXPECT_EQ(Lib::FMOD_Sound_ReadData(Sound, Buffer, sizeof Buffer, &Read), FMOD_ERR_FILE_EOF);
  EXPECT_EQ(Read, 0u);
  EXPECT_EQ(Lib::FMOD_Sound_SeekData(Sound, 1001), FMOD_ERR_INVALID_POSITION);
  EXPECT_EQ(Lib::FMOD_Sound_ReadData(Sound, nullptr, 16, &Read), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

// ---------------------------------------------------------------------------
// Bad input never crashes

TEST_F(SoundTest, BadFilesAreRefusedWithTheRightCode) {
  const auto Good = FileBytes(Wav("good.wav", 4800));
  std::mt19937 Random(7);
  std::vector<unsigned char> Noise(5000);
  for (auto& Byte : Noise) Byte = static_cast<unsigned char>(Random());
  WriteBytes(FFolder.Path() / "empty.wav", "", 0);
  WriteBytes(FFolder.Path() / "noise.wav", Noise.data(), Noise.size());
  WriteBytes(FFolder.Path() / "cut-header.wav", Good.data(), 20);
  WriteBytes(FFolder.Path() / "cut-magic.wav", Good.data(), 3);
  WriteBytes(FFolder.Path() / "cut-data.wav", Good.data(), Good.size() / 2);

  const struct {
    const char* Name;
    std::vector<FMOD_RESULT> Allowed;
  } Cases[] = {
      {"missing.wav", {FMOD_ERR_FILE_NOTFOUND}},
      {"", {FMOD_ERR_FILE_NOTFOUND}},  // the folder itself
      {"empty.wav", {FMOD_ERR_FILE_EOF, FMOD_ERR_FORMAT}},
      {"noise.wav", {FMOD_ERR_FORMAT}},
      {"cut-header.wav", {FMOD_ERR_FILE_BAD, FMOD_ERR_FILE_EOF}},
      {"cut-magic.wav", {FMOD_ERR_FILE_BAD, FMOD_ERR_FILE_EOF}},
  };
  for (FMOD_MODE Mode : {FMOD_DEFAULT, FMOD_CREATESTREAM}) {
    for (const auto& Case : Cases) {
      const auto Path = FFolder.Path() / Case.Name;
      FMOD_SOUND* Sound = reinterpret_cast<FMOD_SOUND*>(0x1);
      const FMOD_RESULT Result = Lib::FMOD_System_CreateSound(FSystem, Path.c_str(), Mode, nullptr, &Sound);
      EXPECT_NE(std::find(Case.Allowed.begin(), Case.Allowed.end(), Result), Case.Allowed.end())
          << Case.Name << " answered " << Result << " in mode " << Mode;
      EXPECT_EQ(Sound, nullptr);
    }
    // Data cut short opens with what is there.
    FMOD_SOUND* Cut = Open(FFolder.Path() / "cut-data.wav", Mode);
    EXPECT_LT(LengthOf(Cut, FMOD_TIMEUNIT_PCM), 4800u);
    ReadAll(Cut);
    EXPECT_EQ(Lib::FMOD_Sound_Release(Cut), FMOD_OK);
  }
  FMOD_SOUND* Sound = nullptr;
  EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, nullptr, FMOD_DEFAULT, nullptr, &Sound), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, "x.wav", FMOD_DEFAULT, nullptr, nullptr), FMOD_ERR_INVALID_PARAM);
  FMOD_CREATESOUNDEXINFO Ex = ExInfo();
  Ex.cbsize = 4;
  EXPECT_EQ(Lib::FMOD_System_CreateSound(FSystem, "x.wav", FMOD_DEFAULT, &Ex, &Sound), FMOD_ERR_INVALID_PARAM);
}

// ---------------------------------------------------------------------------
// Sound groups

TEST_F(SoundTest, SoundGroupsHoldSoundsAndSettings) {
  FMOD_SOUNDGROUP *Master = nullptr, *Again = nullptr, *Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_GetMasterSoundGroup(FSystem, &Master), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_GetMasterSoundGroup(FSystem, &Again), FMOD_OK);
  EXPECT_EQ(Master, Again);
  ASSERT_EQ(Lib::FMOD_System_CreateSoundGroup(FSystem, "effects", &Group), FMOD_OK);
  char Name[512] = {};
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetName(Group, Name, sizeof Name), FMOD_OK);
  EXPECT_STREQ(Name, "effects");
  FMOD_SYSTEM* Owner = nullptr;
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetSystemObject(Group, &Owner), FMOD_OK);
  EXPECT_EQ(Owner, FSystem);

  EXPECT_EQ(Lib::FMOD_SoundGroup_SetMaxAudible(Group, 2), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetMaxAudibleBehavior(Group, FMOD_SOUNDGROUP_BEHAVIOR_STEALLOWEST), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetMuteFadeSpeed(Group, 0.5f), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetVolume(Group, 0.25f), FMOD_OK);
  int MaxAudible = 0;
  FMOD_SOUNDGROUP_BEHAVIOR Behavior = FMOD_SOUNDGROUP_BEHAVIOR_FAIL;
  float Speed = 0, Volume = 0;
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetMaxAudible(Group, &MaxAudible), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetMaxAudibleBehavior(Group, &Behavior), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetMuteFadeSpeed(Group, &Speed), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetVolume(Group, &Volume), FMOD_OK);
  EXPECT_EQ(std::make_tuple(MaxAudible, Behavior, Speed, Volume),
            std::make_tuple(2, FMOD_SOUNDGROUP_BEHAVIOR_STEALLOWEST, 0.5f, 0.25f));
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetMaxAudible(Group, -2), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetMaxAudibleBehavior(Group, FMOD_SOUNDGROUP_BEHAVIOR_MAX), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetMuteFadeSpeed(Group, -1.0f), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_SoundGroup_SetVolume(Group, std::nanf("")), FMOD_ERR_INVALID_PARAM);

  // Sounds start in the master group and move between groups.
  FMOD_SOUND* Sound = Open(Wav());
  FMOD_SOUNDGROUP* Current = nullptr;
  EXPECT_EQ(Lib::FMOD_Sound_GetSoundGroup(Sound, &Current), FMOD_OK);
  EXPECT_EQ(Current, Master);
  int Count = -1;
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetNumSounds(Group, &Count), FMOD_OK);
  EXPECT_EQ(Count, 0);
  EXPECT_EQ(Lib::FMOD_Sound_SetSoundGroup(Sound, Group), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetSoundGroup(Sound, &Current), FMOD_OK);
  EXPECT_EQ(Current, Group);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetNumSounds(Group, &Count), FMOD_OK);
  EXPECT_EQ(Count, 1);
  FMOD_SOUND* Member = nullptr;
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetSound(Group, 0, &Member), FMOD_OK);
  EXPECT_EQ(Member, Sound);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetSound(Group, 1, &Member), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetNumSounds(Master, &Count), FMOD_OK);
  EXPECT_EQ(Count, 0);

  // Releasing the group sends its sounds back to the master group; the
  // master group itself stays.
  EXPECT_EQ(Lib::FMOD_SoundGroup_Release(Group), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_Sound_GetSoundGroup(Sound, &Current), FMOD_OK);
  EXPECT_EQ(Current, Master);
  EXPECT_EQ(Lib::FMOD_SoundGroup_GetNumSounds(Master, &Count), FMOD_OK);
  EXPECT_EQ(Count, 1);
  EXPECT_EQ(Lib::FMOD_Sound_SetSoundGroup(Sound, Group), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(Lib::FMOD_SoundGroup_Release(Master), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
}

// ---------------------------------------------------------------------------
// Handles

bool InFamily(const std::string& AName) {
  return AName.rfind("FMOD_Sound_", 0) == 0 || AName.rfind("FMOD_SoundGroup_", 0) == 0;
}

TEST_F(SoundTest, ReleasedAndGarbageHandlesAnswerInvalidHandle) {
  FMOD_SOUND* Sound = Open(Wav());
  FMOD_SOUNDGROUP* Group = nullptr;
  ASSERT_EQ(Lib::FMOD_System_CreateSoundGroup(FSystem, "gone", &Group), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_Sound_Release(Sound), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_SoundGroup_Release(Group), FMOD_OK);
  // A new sound may take the freed slot; the old handle stays dead.
  FMOD_SOUND* Newer = Open(FFolder.Path() / "tone.wav");
  EXPECT_NE(Newer, Sound);

  // Released, garbage, and live handles of the wrong kind.
  void* const Handles[] = {Sound, Group, nullptr, reinterpret_cast<void*>(0x1), reinterpret_cast<void*>(~0ull),
                           FSystem};
  int Checked = 0;
#define FMOD_ENTRY(name, params, args)                                                            \
  if (InFamily(#name)) {                                                                          \
    for (void* Handle : Handles) {                                                                \
      const FMOD_RESULT Result = CallWithFirst(Lib::name, Handle);                                \
      EXPECT_EQ(Result, FMOD_ERR_INVALID_HANDLE) << #name << " answered " << Result << " for " << Handle; \
    }                                                                                             \
    ++Checked;                                                                                    \
  }
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  EXPECT_EQ(Checked, 43 + 17);
  EXPECT_EQ(Lib::FMOD_Sound_Release(Newer), FMOD_OK);
}

}  // namespace
