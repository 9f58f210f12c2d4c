// The engine system: the root object that owns an output, a mixer and every
// object created from it.
#pragma once

#include <memory>
#include <mutex>

#include "Api.h"
#include "Device.h"
#include "Handles.h"
#include "Spatial.h"

namespace sonvel::engine {

class Mixer;

class System {
public:
  enum class State { Created, Initialised };

  System();
  ~System();

  std::mutex mutex;  // guards the fields below; API threads only
  State state = State::Created;
  int maxChannels = 0;
  FMOD_INITFLAGS initFlags = 0;
  FMOD_OUTPUTTYPE outputType = FMOD_OUTPUTTYPE_AUTODETECT;  // asked for; the device tells what it is
  int driver = 0;
  int softwareChannels = 64;
  void* userData = nullptr;

  // The software format: what the mixer renders and the device plays.
  int sampleRate = 48000;
  FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
  int numRawSpeakers = 0;
  unsigned dspBufferLength = 1024;
  int dspNumBuffers = 4;
  unsigned streamBufferSize = 16384;
  FMOD_TIMEUNIT streamBufferUnit = FMOD_TIMEUNIT_RAWBYTES;

  spatial::SystemState space;

  // Created at Init, gone at Close.
  std::shared_ptr<Device> device;
  std::shared_ptr<Mixer> mixer;
  // The mixer FMOD_System_LockDSP last locked (kept past a close, so that
  // the lock can still be let go).
  std::shared_ptr<Mixer> dspLocked;
  // The master sound group, made on first request.
  FMOD_SOUNDGROUP* masterSoundGroup = nullptr;
};

using SystemTable = HandleTable<System, HandleKind::System>;
SystemTable& Systems();

// The number of speakers of a speaker mode (0 for an unknown mode).
int SpeakerModeChannels(FMOD_SPEAKERMODE mode) noexcept;

}  // namespace sonvel::engine
