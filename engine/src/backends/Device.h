// Outputs: where the mixed signal goes. A device asks its render target for
// blocks of interleaved float at the software format and delivers them: to
// the audio device through SDL2, to nowhere (no sound), or to a wav file.
// Real-time devices pull blocks on their own thread; the non-real-time twins
// mix exactly one block each time the system is updated.
#pragma once

#include <memory>
#include <string>

#include "RenderTarget.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine {

using core::RenderTarget;

struct DeviceFormat {
  int sampleRate = 48000;
  int channels = 2;
  unsigned blockFrames = 1024;  // FMOD_System_SetDSPBufferSize's buffer length
  int numBlocks = 4;
};

class Device {
public:
  virtual ~Device() = default;
  // The output type this device really is (after the default's fallback).
  virtual FMOD_OUTPUTTYPE Type() const noexcept = 0;
  virtual bool RealTime() const noexcept = 0;
  // The format the device runs at (may differ from the one asked for in
  // rate only if the device insists; the mixer renders at this format).
  virtual const DeviceFormat& Format() const noexcept = 0;
  // Starts pulling blocks from `target`; real-time devices start their thread.
  virtual FMOD_RESULT Start(RenderTarget& target) noexcept = 0;
  // Stops pulling; after it returns Render is not running and not called again.
  virtual void Stop() noexcept = 0;
  // Holds and releases the device's pulls (FMOD_System_MixerSuspend/Resume).
  virtual void Suspend() noexcept = 0;
  virtual void Resume() noexcept = 0;
  // Non-real-time devices: renders and delivers one block (the system's
  // update calls this). Real-time devices: no effect.
  virtual FMOD_RESULT MixOneBlock() noexcept = 0;
  // FMOD_System_GetOutputHandle: the device's own handle (the SDL device id
  // as a pointer-sized value, the wav file's SNDFILE*, or null).
  virtual void* Handle() const noexcept = 0;
};

// Opens the output `type` (FMOD_OUTPUTTYPE_AUTODETECT picks SDL2 and falls
// back to no sound when no device opens) on driver `driver` (-1/0 default).
// `extraDriverData` is FMOD_System_Init's: for the wav writers a file name
// (const char*), null for the default "fmodoutput.wav". Answers null and sets
// `error` when the type cannot be opened.
std::unique_ptr<Device> OpenDevice(FMOD_OUTPUTTYPE type, int driver, const DeviceFormat& format,
                                   void* extraDriverData, FMOD_RESULT& error) noexcept;

// Drivers of an output type (FMOD_System_GetNumDrivers / GetDriverInfo).
struct DriverInfo {
  std::string name;
  FMOD_GUID guid{};
  int systemRate = 48000;
  FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
  int speakerModeChannels = 2;
};
int NumDrivers(FMOD_OUTPUTTYPE type) noexcept;
bool GetDriverInfo(FMOD_OUTPUTTYPE type, int index, DriverInfo& info) noexcept;

}  // namespace sonvel::engine
