// Mixing cost of many voices: our engine against OpenAL Soft, both rendering
// offline (no device) the same looping mono tone at varied pitch and pan into
// 48 kHz stereo, 1024 frames per block. Prints CPU seconds spent per second
// of audio rendered.
//
//   sonvel_mix_bench [--seconds S] [--voices 32,256,1024]
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Lib = Tembro::Audio::FMOD::Lib;

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 1024;
constexpr double kPi = 3.14159265358979323846;

double CpuSeconds() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) * 1e-9;
}

// One second of a 440 Hz tone with two overtones, 16-bit mono; a whole number
// of periods, so the loop has no seam.
std::vector<std::int16_t> Tone() {
  std::vector<std::int16_t> Samples(kRate);
  for (int I = 0; I < kRate; ++I) {
    const double T = static_cast<double>(I) / kRate;
    const double V = 0.5 * std::sin(2 * kPi * 440 * T) + 0.25 * std::sin(2 * kPi * 880 * T) +
                     0.125 * std::sin(2 * kPi * 1320 * T);
    Samples[I] = static_cast<std::int16_t>(std::lround(V * 32767 / 0.875 * 0.5));
  }
  return Samples;
}

// The tone as the bytes of a WAV file.
std::vector<char> Wav(const std::vector<std::int16_t>& ASamples) {
  const std::uint32_t DataBytes = static_cast<std::uint32_t>(ASamples.size() * 2);
  std::vector<char> Out;
  auto Put = [&Out](const void* AData, std::size_t ASize) {
    Out.insert(Out.end(), static_cast<const char*>(AData), static_cast<const char*>(AData) + ASize);
  };
  auto U32 = [&Put](std::uint32_t V) { Put(&V, 4); };  // the file is little-endian, as is every host we run on
  auto U16 = [&Put](std::uint16_t V) { Put(&V, 2); };
  Put("RIFF", 4), U32(36 + DataBytes), Put("WAVE", 4);
  Put("fmt ", 4), U32(16), U16(1), U16(1), U32(kRate), U32(kRate * 2), U16(2), U16(16);
  Put("data", 4), U32(DataBytes), Put(ASamples.data(), DataBytes);
  return Out;
}

// Pitch in 0.5..2.0 and pan in -1..1 of each voice, the same on every run.
struct Voice {
  float Pitch, Pan;
};
std::vector<Voice> Voices(int ACount) {
  std::uint32_t State = 12345;
  auto Next = [&State] {
    State = State * 1664525u + 1013904223u;
    return static_cast<double>(State >> 8) / 16777216.0;  // 0..1
  };
  std::vector<Voice> Out(ACount);
  for (Voice& V : Out) {
    V.Pitch = static_cast<float>(0.5 * std::pow(4.0, Next()));  // even spread in octaves
    V.Pan = static_cast<float>(2 * Next() - 1);
  }
  return Out;
}

int Blocks(double ASeconds) { return static_cast<int>(std::ceil(ASeconds * kRate / kBlock)); }
double Rendered(int ABlocks) { return static_cast<double>(ABlocks) * kBlock / kRate; }

// One step of our half: prints the first failed entry point with its code
// and keeps AOk false from then on.
bool OursStep(const char* AName, FMOD_RESULT AResult, bool& AOk) {
  if (AOk && AResult != FMOD_OK) {
    std::printf("  ours: %s answered %d%s\n", AName, static_cast<int>(AResult),
                AResult == FMOD_ERR_UNIMPLEMENTED ? " (not implemented yet)" : "");
    AOk = false;
  }
  return AOk;
}
#define OURS(call) OursStep(#call, Lib::call, Ok)

// Every voice must be a real one, or the engine would mix fewer than asked;
// an engine without the call is told so and the run goes on.
bool SoftwareChannels(FMOD_SYSTEM* ASystem, int AVoices) {
  const FMOD_RESULT Result = Lib::FMOD_System_SetSoftwareChannels(ASystem, AVoices);
  if (Result != FMOD_OK)
    std::printf("  ours: FMOD_System_SetSoftwareChannels answered %d; going on\n", static_cast<int>(Result));
  return true;
}

// Our engine, through the binding: CPU seconds per rendered second, or -1
// after printing the failed step.
double Ours(int AVoices, double ASeconds, const std::vector<char>& AWav) {
  bool Ok = true;
  FMOD_SYSTEM* System = nullptr;
  FMOD_SOUND* Sound = nullptr;
  double Result = -1;
  try {
    if (OURS(FMOD_System_Create(&System)) && OURS(FMOD_System_SetOutput(System, FMOD_OUTPUTTYPE_NOSOUND_NRT)) &&
        OURS(FMOD_System_SetSoftwareFormat(System, kRate, FMOD_SPEAKERMODE_STEREO, 0)) &&
        OURS(FMOD_System_SetDSPBufferSize(System, kBlock, 4)) && SoftwareChannels(System, AVoices) &&
        OURS(FMOD_System_Init(System, AVoices, FMOD_INIT_NORMAL, nullptr))) {
      FMOD_CREATESOUNDEXINFO Info{};
      Info.cbsize = sizeof Info;
      Info.length = static_cast<unsigned int>(AWav.size());
      const FMOD_MODE Mode = FMOD_OPENMEMORY | FMOD_LOOP_NORMAL | FMOD_2D | FMOD_CREATESAMPLE;
      OURS(FMOD_System_CreateSound(System, AWav.data(), Mode, &Info, &Sound));
      for (const Voice& V : Voices(AVoices)) {
        FMOD_CHANNEL* Channel = nullptr;
        if (!(OURS(FMOD_System_PlaySound(System, Sound, nullptr, 1, &Channel)) &&
              OURS(FMOD_Channel_SetPitch(Channel, V.Pitch)) && OURS(FMOD_Channel_SetPan(Channel, V.Pan)) &&
              OURS(FMOD_Channel_SetPaused(Channel, 0))))
          break;
      }
      const int Count = Blocks(ASeconds);
      const double Start = CpuSeconds();
      for (int B = 0; Ok && B < Count; ++B) OURS(FMOD_System_Update(System));
      const double Spent = CpuSeconds() - Start;
      if (Ok) Result = Spent / Rendered(Count);
      int Playing = 0, Real = 0;  // only a check: a failure here spoils no figure
      const FMOD_RESULT Counted = Lib::FMOD_System_GetChannelsPlaying(System, &Playing, &Real);
      if (Ok && Counted == FMOD_OK && Real != AVoices)
        std::printf("  ours: only %d of %d voices were real at the end\n", Real, AVoices);
      if (Ok && Counted != FMOD_OK)
        std::printf("  ours: FMOD_System_GetChannelsPlaying answered %d; voices not checked\n",
                    static_cast<int>(Counted));
    }
  } catch (const std::exception& E) {
    std::printf("  ours: %s\n", E.what());
  }
  // Clean up whatever was made, whatever failed before; a failure here
  // spoils no figure.
  auto CleanUp = [](const char* AName, FMOD_RESULT AResult) {
    if (AResult != FMOD_OK) std::printf("  ours: clean-up %s answered %d\n", AName, static_cast<int>(AResult));
  };
  try {
    if (Sound != nullptr) CleanUp("FMOD_Sound_Release", Lib::FMOD_Sound_Release(Sound));
    if (System != nullptr) CleanUp("FMOD_System_Release", Lib::FMOD_System_Release(System));
  } catch (const std::exception& E) {
    std::printf("  ours: %s\n", E.what());
  }
  return Result;
}
#undef OURS

// OpenAL Soft through its loopback device: the same voices as 2D sources,
// each placed on the unit circle around the listener so that its pan comes
// out of the plain stereo panner, with the linear resampler.
double TheirsFail(const char* AWhat, const char* ADetail = "") {
  std::printf("  OpenAL Soft: %s %s\n", AWhat, ADetail);
  return -1;
}

double Theirs(int AVoices, double ASeconds, const std::vector<std::int16_t>& ATone) {
  if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return TheirsFail("no ALC_SOFT_loopback");
  auto OpenLoopback =
      reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  auto IsFormatSupported =
      reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
  auto Render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  ALCdevice* Device = OpenLoopback(nullptr);
  if (Device == nullptr) return TheirsFail("alcLoopbackOpenDeviceSOFT failed");
  double Result = -1;
  if (!IsFormatSupported(Device, kRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT)) {
    TheirsFail("48 kHz stereo float is not a supported render format");
  } else {
    const ALCint Attributes[] = {ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FREQUENCY, kRate, ALC_MONO_SOURCES, AVoices, ALC_STEREO_SOURCES, 0,
                                 ALC_HRTF_SOFT, ALC_FALSE, 0};
    ALCcontext* Context = alcCreateContext(Device, Attributes);
    if (Context == nullptr || !alcMakeContextCurrent(Context)) {
      TheirsFail("alcCreateContext failed");
    } else {
      ALint Linear = -1;
      if (alIsExtensionPresent("AL_SOFT_source_resampler")) {
        auto Name = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
        const ALint Count = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
        for (ALint I = 0; I < Count; ++I)
          if (std::strcmp(Name(AL_RESAMPLER_NAME_SOFT, I), "Linear") == 0) Linear = I;
      }
      if (Linear < 0) TheirsFail("no \"Linear\" resampler; using the default one");
      static bool Told = false;
      if (!Told) std::printf("  OpenAL Soft %s, resampler %d (\"Linear\")\n", alGetString(AL_VERSION), Linear);
      Told = true;
      alDistanceModel(AL_NONE);
      ALuint Buffer = 0;
      alGenBuffers(1, &Buffer);
      alBufferData(Buffer, AL_FORMAT_MONO16, ATone.data(), static_cast<ALsizei>(ATone.size() * 2), kRate);
      std::vector<ALuint> Sources(AVoices);
      alGenSources(AVoices, Sources.data());
      if (alGetError() != AL_NO_ERROR) {
        TheirsFail("could not make the sources");
      } else {
        const std::vector<Voice> Vs = Voices(AVoices);
        for (int I = 0; I < AVoices; ++I) {
          const float Angle = Vs[I].Pan * static_cast<float>(kPi / 2);  // -1 left, 0 front, 1 right
          alSourcei(Sources[I], AL_BUFFER, static_cast<ALint>(Buffer));
          alSourcei(Sources[I], AL_LOOPING, AL_TRUE);
          alSourcei(Sources[I], AL_SOURCE_RELATIVE, AL_TRUE);
          alSource3f(Sources[I], AL_POSITION, std::sin(Angle), 0, -std::cos(Angle));
          alSourcef(Sources[I], AL_PITCH, Vs[I].Pitch);
          if (Linear >= 0) alSourcei(Sources[I], AL_SOURCE_RESAMPLER_SOFT, Linear);
        }
        alSourcePlayv(AVoices, Sources.data());
        std::vector<float> Out(2 * kBlock);
        const int Count = Blocks(ASeconds);
        float Peak = 0;
        const double Start = CpuSeconds();
        for (int B = 0; B < Count; ++B) Render(Device, Out.data(), kBlock);
        const double Spent = CpuSeconds() - Start;
        for (float S : Out) Peak = std::max(Peak, std::fabs(S));
        int Playing = 0;
        for (ALuint S : Sources) {
          ALint State = 0;
          alGetSourcei(S, AL_SOURCE_STATE, &State);
          Playing += State == AL_PLAYING;
        }
        if (Playing != AVoices || Peak == 0) std::printf("  OpenAL Soft: %d of %d voices playing, peak %g\n",
                                                          Playing, AVoices, static_cast<double>(Peak));
        Result = Spent / Rendered(Count);
        alDeleteSources(AVoices, Sources.data());
      }
      alDeleteBuffers(1, &Buffer);
      alcMakeContextCurrent(nullptr);
    }
    if (Context != nullptr) alcDestroyContext(Context);
  }
  alcCloseDevice(Device);
  return Result;
}

std::string Cell(double AValue) {
  char Text[32];
  if (AValue < 0) return "failed";
  std::snprintf(Text, sizeof Text, "%.4f", AValue);
  return Text;
}

}  // namespace

int main(int AArgc, char** AArgv) {
  double Seconds = 10;
  std::vector<int> Counts{32, 256, 1024};
  for (int I = 1; I < AArgc; ++I) {
    const std::string Arg = AArgv[I];
    if (Arg == "--seconds" && I + 1 < AArgc) {
      Seconds = std::atof(AArgv[++I]);
    } else if (Arg == "--voices" && I + 1 < AArgc) {
      Counts.clear();
      const std::string List = AArgv[++I];
      for (std::size_t From = 0; From <= List.size();) {
        const std::size_t Comma = std::min(List.find(',', From), List.size());
        Counts.push_back(std::atoi(List.substr(From, Comma - From).c_str()));
        From = Comma + 1;
      }
    } else {
      std::fprintf(stderr, "usage: %s [--seconds S] [--voices 32,256,1024]\n", AArgv[0]);
      return 2;
    }
  }
  for (int N : Counts)
    if (N <= 0 || Seconds <= 0) return std::fprintf(stderr, "voices and seconds must be positive\n"), 2;

  const std::vector<std::int16_t> ToneSamples = Tone();
  const std::vector<char> WavFile = Wav(ToneSamples);
  Lib::TFMODLibraryHandle Library = nullptr;
  try {
    Library = Lib::LoadFMODLibrary(false);
  } catch (const std::exception& E) {
    std::printf("  ours: could not load the engine: %s\n", E.what());
  }

  std::printf("CPU seconds per rendered second, %g s at %d Hz stereo, %d-frame blocks\n", Rendered(Blocks(Seconds)),
              kRate, kBlock);
  std::printf("%8s %12s %12s %8s\n", "voices", "ours", "OpenAL Soft", "ratio");
  std::fflush(stdout);
  for (int N : Counts) {
    const double A = Library != nullptr ? Ours(N, Seconds, WavFile) : -1;
    const double B = Theirs(N, Seconds, ToneSamples);
    const std::string Ratio = A > 0 && B > 0 ? Cell(A / B) : "-";
    std::printf("%8d %12s %12s %8s\n", N, Cell(A).c_str(), Cell(B).c_str(), Ratio.c_str());
    std::fflush(stdout);
  }
  if (Library != nullptr) Lib::UnloadFMODLibrary(Library);
  return 0;
}
