// What the engine's benchmarks share: reporting a step that failed, and the
// looping tone they play.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.API.h"

namespace BenchSupport {

constexpr int kRate = 48000;

// True when the step succeeded; otherwise says which step failed and how.
inline bool Check(const char* AStep, FMOD_RESULT AResult) {
  if (AResult == FMOD_OK) return true;
  std::fprintf(stderr, "%s failed: %d\n", AStep, int(AResult));
  return false;
}

// Our engine loaded from beside the program, or null after saying why not.
inline Tembro::Audio::FMOD::Lib::TFMODLibraryHandle LoadEngine() {
  try {
    return Tembro::Audio::FMOD::Lib::LoadFMODLibrary(false);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "cannot load the engine: %s\n", E.what());
    return nullptr;
  }
}

// One second of a 440 Hz tone, raw 16-bit mono from memory, looping.
inline bool CreateLoopingTone(FMOD_SYSTEM* ASystem, FMOD_SOUND** ASound) {
  std::vector<std::int16_t> Samples(kRate);
  for (int I = 0; I < kRate; ++I)
    Samples[std::size_t(I)] = std::int16_t(8000.0 * std::sin(2.0 * 3.14159265 * 440.0 * I / kRate));
  FMOD_CREATESOUNDEXINFO Info{};
  Info.cbsize = sizeof Info;
  Info.length = unsigned(Samples.size() * sizeof(std::int16_t));
  Info.numchannels = 1;
  Info.defaultfrequency = kRate;
  Info.format = FMOD_SOUND_FORMAT_PCM16;
  return Check("FMOD_System_CreateSound",
               Tembro::Audio::FMOD::Lib::FMOD_System_CreateSound(
                   ASystem, reinterpret_cast<const char*>(Samples.data()),
                   FMOD_OPENMEMORY | FMOD_OPENRAW | FMOD_LOOP_NORMAL, &Info, ASound));
}

}  // namespace BenchSupport
