// What the signal graph costs per block: N looping voices rendered offline
// (the non-real-time no-sound output, one block of 1024 frames per update)
//   A  as they are (each channel's chain is its fader alone),
//   B  with a pass-through unit of the caller's own in each channel's chain,
//   C  as B, each unit's output also connected into a mixer unit at the
//      master group's head (one more connection per voice).
// Prints CPU microseconds per block and, per voice, what the unit (B - A)
// and the connection (C - B) add. Run one scenario alone under callgrind
// (--only A|B|C) to count its instructions.
//
//   sonvel_graph_bench [--voices 256] [--blocks 2000] [--only A|B|C]
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Lib = Tembro::Audio::FMOD::Lib;

namespace {

using BenchSupport::Check;

double CpuSeconds() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return double(T.tv_sec) + double(T.tv_nsec) * 1e-9;
}

FMOD_RESULT F_CALL Pass(FMOD_DSP_STATE*, float* AIn, float* AOut, unsigned int ALength, int AChannels,
                        int* AOutChannels) {
  std::memcpy(AOut, AIn, sizeof(float) * ALength * unsigned(AChannels));
  *AOutChannels = AChannels;
  return FMOD_OK;
}

// CPU seconds per block for a scenario, or a negative value when a step failed.
double Run(char AScenario, int AVoices, int ABlocks) {
  FMOD_SYSTEM* System = nullptr;
  if (!Check("FMOD_System_Create", Lib::FMOD_System_Create(&System))) return -1;
  bool Ok = Check("FMOD_System_SetOutput", Lib::FMOD_System_SetOutput(System, FMOD_OUTPUTTYPE_NOSOUND_NRT)) &&
            Check("FMOD_System_SetDSPBufferSize", Lib::FMOD_System_SetDSPBufferSize(System, 1024, 4)) &&
            Check("FMOD_System_Init", Lib::FMOD_System_Init(System, AVoices, FMOD_INIT_NORMAL, nullptr));
  FMOD_SOUND* Sound = nullptr;
  Ok = Ok && BenchSupport::CreateLoopingTone(System, &Sound);
  FMOD_DSP_DESCRIPTION Description{};
  Description.pluginsdkversion = FMOD_PLUGIN_SDK_VERSION;
  Description.numinputbuffers = 1;
  Description.numoutputbuffers = 1;
  Description.read = &Pass;
  FMOD_CHANNELGROUP* Master = nullptr;
  FMOD_DSP* Tap = nullptr;
  Ok = Ok && Check("FMOD_System_GetMasterChannelGroup", Lib::FMOD_System_GetMasterChannelGroup(System, &Master));
  if (Ok && AScenario == 'C') {
    Ok = Check("FMOD_System_CreateDSPByType", Lib::FMOD_System_CreateDSPByType(System, FMOD_DSP_TYPE_MIXER, &Tap)) &&
         Check("FMOD_ChannelGroup_AddDSP", Lib::FMOD_ChannelGroup_AddDSP(Master, 0, Tap));
  }
  for (int V = 0; Ok && V < AVoices; ++V) {
    FMOD_CHANNEL* Channel = nullptr;
    Ok = Check("FMOD_System_PlaySound", Lib::FMOD_System_PlaySound(System, Sound, nullptr, true, &Channel));
    if (Ok) Lib::FMOD_Channel_SetPitch(Channel, 0.5f + float(V % 7) * 0.2f);
    if (Ok && AScenario != 'A') {
      FMOD_DSP* Unit = nullptr;
      Ok = Check("FMOD_System_CreateDSP", Lib::FMOD_System_CreateDSP(System, &Description, &Unit)) &&
           Check("FMOD_Channel_AddDSP", Lib::FMOD_Channel_AddDSP(Channel, 0, Unit));
      if (Ok && AScenario == 'C')
        Ok = Check("FMOD_DSP_AddInput", Lib::FMOD_DSP_AddInput(Tap, Unit, nullptr, FMOD_DSPCONNECTION_TYPE_STANDARD));
    }
    if (Ok) Lib::FMOD_Channel_SetPaused(Channel, false);
  }
  double PerBlock = -1;
  if (Ok) {
    for (int I = 0; I < 8; ++I) Lib::FMOD_System_Update(System);  // past the first blocks' fades
    const double Start = CpuSeconds();
    for (int I = 0; I < ABlocks; ++I) Lib::FMOD_System_Update(System);
    PerBlock = (CpuSeconds() - Start) / ABlocks;
  }
  Lib::FMOD_System_Release(System);
  return PerBlock;
}

}  // namespace

int main(int argc, char** argv) {
  int Voices = 256, Blocks = 2000;
  char Only = 0;
  for (int I = 1; I + 1 < argc; I += 2) {
    if (std::strcmp(argv[I], "--voices") == 0) Voices = std::max(1, std::atoi(argv[I + 1]));
    else if (std::strcmp(argv[I], "--blocks") == 0) Blocks = std::max(1, std::atoi(argv[I + 1]));
    else if (std::strcmp(argv[I], "--only") == 0) Only = argv[I + 1][0];
  }
  const Lib::TFMODLibraryHandle Library = BenchSupport::LoadEngine();
  if (Library == nullptr) return 1;
  if (Only != 0) {
    const double T = Run(Only, Voices, Blocks);
    std::printf("scenario %c: %.2f us per block\n", Only, T * 1e6);
  } else {
    const double A = Run('A', Voices, Blocks), B = Run('B', Voices, Blocks), C = Run('C', Voices, Blocks);
    std::printf("%d voices, 1024-frame blocks, CPU microseconds per block\n", Voices);
    std::printf("  A  voices alone                 %9.1f\n", A * 1e6);
    std::printf("  B  + a unit in each chain       %9.1f   per unit per block       %7.3f\n", B * 1e6,
                (B - A) * 1e6 / Voices);
    std::printf("  C  + a connection from each     %9.1f   per connection per block %7.3f\n", C * 1e6,
                (C - B) * 1e6 / Voices);
  }
  Lib::UnloadFMODLibrary(Library);
  return 0;
}
