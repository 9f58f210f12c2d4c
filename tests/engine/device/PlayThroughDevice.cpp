// Plays one sound file through our engine's default output (the system's
// audio device through SDL2) until it ends, as a program would, and says
// which output it got. Used by the device test that records a PulseAudio
// null sink.
//
//   sonvel_engine_play FILE      prints "output <type>", "started <us>" and
//                                "ended <us>" (microseconds since the epoch)
#include <chrono>
#include <cstdio>
#include <thread>

#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Lib = Tembro::Audio::FMOD::Lib;

namespace {

long long NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int Fail(const char* AStep, FMOD_RESULT AResult) {
  std::fprintf(stderr, "%s failed: %d\n", AStep, int(AResult));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  Lib::TFMODLibraryHandle Library = Lib::LoadFMODLibrary(false);
  FMOD_SYSTEM* System = nullptr;
  FMOD_RESULT Result = Lib::FMOD_System_Create(&System);
  if (Result != FMOD_OK) return Fail("create", Result);
  if ((Result = Lib::FMOD_System_Init(System, 32, FMOD_INIT_NORMAL, nullptr)) != FMOD_OK) return Fail("init", Result);
  FMOD_OUTPUTTYPE Output = FMOD_OUTPUTTYPE_UNKNOWN;
  Lib::FMOD_System_GetOutput(System, &Output);
  std::printf("output %d\n", int(Output));
  FMOD_SOUND* Sound = nullptr;
  if ((Result = Lib::FMOD_System_CreateSound(System, argv[1], FMOD_DEFAULT, nullptr, &Sound)) != FMOD_OK)
    return Fail("create sound", Result);
  FMOD_CHANNEL* Channel = nullptr;
  std::printf("started %lld\n", NowUs());
  if ((Result = Lib::FMOD_System_PlaySound(System, Sound, nullptr, false, &Channel)) != FMOD_OK)
    return Fail("play", Result);
  FMOD_BOOL Playing = true;
  while (Lib::FMOD_Channel_IsPlaying(Channel, &Playing) == FMOD_OK && Playing) {
    Lib::FMOD_System_Update(System);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::printf("ended %lld\n", NowUs());
  // Let the device's buffers drain before closing.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Lib::FMOD_System_Release(System);
  Lib::UnloadFMODLibrary(Library);
  return 0;
}
