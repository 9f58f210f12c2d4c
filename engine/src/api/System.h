// The engine system: the root object that owns an output and, once
// initialised, an engine (the graph and its mixer).
#pragma once

#include <memory>
#include <mutex>

#include "Api.h"
#include "Device.h"
#include "Engine.h"
#include "Handles.h"
#include "Spatial.h"

namespace sonvel::engine {

class System {
public:
  enum class State { Created, Initialised };

  System();
  ~System();

  // Guards the fields below; API threads only, and never held while the
  // graph's mutex is taken or the output is waited for.
  std::mutex mutex;
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

  // Made at Init, gone at Close.
  std::shared_ptr<Device> device;
  std::shared_ptr<core::Engine> engine;
  // The engine FMOD_System_LockDSP last locked (kept past a close, so that
  // the lock can still be let go).
  std::shared_ptr<core::Engine> dspLocked;
  // The master sound group, made on first request.
  FMOD_SOUNDGROUP* masterSoundGroup = nullptr;
};

using SystemTable = HandleTable<System, HandleKind::System>;
SystemTable& Systems();

// The engine of an initialised system, or null.
std::shared_ptr<core::Engine> EngineOf(FMOD_SYSTEM* handle);

// The engine of the system behind `handle`, for a call that needs one
// running: FMOD_OK, FMOD_ERR_INVALID_HANDLE or FMOD_ERR_UNINITIALIZED.
FMOD_RESULT RunningEngine(FMOD_SYSTEM* handle, std::shared_ptr<core::Engine>& engine);

}  // namespace sonvel::engine
