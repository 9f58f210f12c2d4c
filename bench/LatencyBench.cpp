// How long API calls take while the mixer is busy: FMOD_Channel_SetVolume
// and FMOD_Channel_GetPosition called back to back on a system whose
// real-time no-sound output mixes N looping voices (by default 10 and 2000).
// Prints the 50th, 99th and 99.9th percentile and the longest call of each.
//
//   sonvel_latency_bench [--calls 200000] [--voices 10,2000]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Lib = Tembro::Audio::FMOD::Lib;

namespace {

using BenchSupport::Check;

struct Figures {
  double p50, p99, p999, max;  // microseconds
};

Figures Summarise(std::vector<double>& ANanoseconds) {
  std::sort(ANanoseconds.begin(), ANanoseconds.end());
  auto at = [&](double AQuantile) {
    const std::size_t I = std::min(ANanoseconds.size() - 1, std::size_t(AQuantile * double(ANanoseconds.size())));
    return ANanoseconds[I] / 1000.0;
  };
  return {at(0.5), at(0.99), at(0.999), ANanoseconds.back() / 1000.0};
}

bool Measure(int AVoices, int ACalls, Figures& AVolume, Figures& APosition) {
  FMOD_SYSTEM* System = nullptr;
  if (!Check("FMOD_System_Create", Lib::FMOD_System_Create(&System))) return false;
  bool Ok = Check("FMOD_System_SetOutput", Lib::FMOD_System_SetOutput(System, FMOD_OUTPUTTYPE_NOSOUND)) &&
            Check("FMOD_System_Init", Lib::FMOD_System_Init(System, AVoices, FMOD_INIT_NORMAL, nullptr));
  FMOD_SOUND* Sound = nullptr;
  Ok = Ok && BenchSupport::CreateLoopingTone(System, &Sound);
  std::vector<FMOD_CHANNEL*> Channels;
  for (int V = 0; Ok && V < AVoices; ++V) {
    FMOD_CHANNEL* Channel = nullptr;
    Ok = Check("FMOD_System_PlaySound", Lib::FMOD_System_PlaySound(System, Sound, nullptr, false, &Channel));
    Channels.push_back(Channel);
  }
  if (Ok) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the mixer settles into its blocks
    std::vector<double> Volume, Position;
    Volume.reserve(std::size_t(ACalls));
    Position.reserve(std::size_t(ACalls));
    using Clock = std::chrono::steady_clock;
    for (int I = 0; I < ACalls; ++I) {
      FMOD_CHANNEL* Channel = Channels[std::size_t(I) % Channels.size()];
      const auto A = Clock::now();
      Lib::FMOD_Channel_SetVolume(Channel, 0.5f + 0.5f * float(I & 1));
      const auto B = Clock::now();
      unsigned int At = 0;
      Lib::FMOD_Channel_GetPosition(Channel, &At, FMOD_TIMEUNIT_PCM);
      const auto C = Clock::now();
      Volume.push_back(double(std::chrono::duration_cast<std::chrono::nanoseconds>(B - A).count()));
      Position.push_back(double(std::chrono::duration_cast<std::chrono::nanoseconds>(C - B).count()));
    }
    AVolume = Summarise(Volume);
    APosition = Summarise(Position);
  }
  Lib::FMOD_System_Release(System);
  return Ok;
}

std::vector<int> ParseList(const char* AText) {
  std::vector<int> Values;
  for (const char* P = AText; *P != '\0';) {
    Values.push_back(std::atoi(P));
    while (*P != '\0' && *P != ',') ++P;
    if (*P == ',') ++P;
  }
  return Values;
}

}  // namespace

int main(int argc, char** argv) {
  int Calls = 200000;
  std::vector<int> VoiceCounts{10, 2000};
  for (int I = 1; I + 1 < argc; I += 2) {
    if (std::strcmp(argv[I], "--calls") == 0) Calls = std::max(1000, std::atoi(argv[I + 1]));
    else if (std::strcmp(argv[I], "--voices") == 0) VoiceCounts = ParseList(argv[I + 1]);
  }
  const Lib::TFMODLibraryHandle Library = BenchSupport::LoadEngine();
  if (Library == nullptr) return 1;
  std::printf("API call latency, microseconds, %d calls each, real-time no-sound output mixing\n", Calls);
  std::printf("  voices  call                  p50      p99    p99.9      max\n");
  for (int Voices : VoiceCounts) {
    Figures Volume{}, Position{};
    if (!Measure(Voices, Calls, Volume, Position)) continue;
    std::printf("  %6d  SetVolume    %10.2f %8.2f %8.2f %8.1f\n", Voices, Volume.p50, Volume.p99, Volume.p999, Volume.max);
    std::printf("  %6d  GetPosition  %10.2f %8.2f %8.2f %8.1f\n", Voices, Position.p50, Position.p99, Position.p999,
                Position.max);
  }
  Lib::UnloadFMODLibrary(Library);
  return 0;
}
