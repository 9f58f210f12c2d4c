// The FMOD_System_* entry points of the system's lifecycle, its settings, 3D
// and what it plays: create, init, update, close, release.
#include "System.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "Log.h"
#include "Registry.h"
#include "Sound.h"
#include "SoundGroup.h"
#include "Stream.h"

namespace sonvel::engine {

System::System() = default;
System::~System() = default;

SystemTable& Systems() {
  static SystemTable table;
  return table;
}

std::shared_ptr<core::Engine> EngineOf(FMOD_SYSTEM* handle) {
  std::shared_ptr<System> system = Systems().Find(handle);
  if (!system) return nullptr;
  std::lock_guard lock(system->mutex);
  return system->engine;
}

FMOD_RESULT RunningEngine(FMOD_SYSTEM* handle, std::shared_ptr<core::Engine>& engine) {
  std::shared_ptr<System> system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  if (system->state != System::State::Initialised || !system->engine) return FMOD_ERR_UNINITIALIZED;
  engine = system->engine;
  return FMOD_OK;
}

namespace {

constexpr int kMaxChannels = 4095;

// Runs `f` on the system behind `handle` with its mutex held, or answers
// FMOD_ERR_INVALID_HANDLE.
template <typename F>
FMOD_RESULT WithSystem(FMOD_SYSTEM* handle, F&& f) {
  std::shared_ptr<System> system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  return f(*system);
}

// Runs `f` on the running graph of the system behind `handle`, its mutex
// held: FMOD_ERR_INVALID_HANDLE, FMOD_ERR_UNINITIALIZED, or what `f` says.
template <typename F>
FMOD_RESULT WithGraph(FMOD_SYSTEM* handle, F&& f) {
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = RunningEngine(handle, engine); found != FMOD_OK) return found;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;  // closed meanwhile
  return f(*engine);
}

FMOD_RESULT Create(FMOD_SYSTEM** system) {
  if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
  *system = Systems().Add<FMOD_SYSTEM>(std::make_shared<System>());
  return FMOD_OK;
}

bool Known(FMOD_OUTPUTTYPE type) { return type >= FMOD_OUTPUTTYPE_AUTODETECT && type < FMOD_OUTPUTTYPE_MAX; }

FMOD_OUTPUTTYPE OutputOf(const System& system) {
  return system.device ? system.device->Type() : system.outputType;
}

FMOD_RESULT SetOutput(FMOD_SYSTEM* handle, FMOD_OUTPUTTYPE output) {
  return WithSystem(handle, [&](System& system) {
    if (!Known(output)) return FMOD_ERR_INVALID_PARAM;
    if (system.state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
    system.outputType = output;
    return FMOD_OK;
  });
}

FMOD_RESULT GetOutput(FMOD_SYSTEM* handle, FMOD_OUTPUTTYPE* output) {
  return WithSystem(handle, [&](System& system) {
    if (output == nullptr) return FMOD_ERR_INVALID_PARAM;
    *output = OutputOf(system);
    return FMOD_OK;
  });
}

FMOD_RESULT GetNumDrivers(FMOD_SYSTEM* handle, int* count) {
  return WithSystem(handle, [&](System& system) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = NumDrivers(OutputOf(system));
    return FMOD_OK;
  });
}

FMOD_RESULT GetDriverInfo(FMOD_SYSTEM* handle, int id, char* name, int nameLength, FMOD_GUID* guid, int* rate,
                          FMOD_SPEAKERMODE* mode, int* modeChannels) {
  return WithSystem(handle, [&](System& system) {
    DriverInfo info;
    if (!GetDriverInfo(OutputOf(system), id, info)) return FMOD_ERR_INVALID_PARAM;
    if (name != nullptr) CopyName(info.name, name, nameLength);
    if (guid != nullptr) *guid = info.guid;
    if (rate != nullptr) *rate = info.systemRate;
    if (mode != nullptr) *mode = info.speakerMode;
    if (modeChannels != nullptr) *modeChannels = info.speakerModeChannels;
    return FMOD_OK;
  });
}

FMOD_RESULT SetDriver(FMOD_SYSTEM* handle, int driver) {
  return WithSystem(handle, [&](System& system) {
    if (driver < -1) return FMOD_ERR_INVALID_PARAM;
    if (system.state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
    system.driver = driver < 0 ? 0 : driver;
    return FMOD_OK;
  });
}

FMOD_RESULT GetDriver(FMOD_SYSTEM* handle, int* driver) {
  return WithSystem(handle, [&](System& system) {
    if (driver == nullptr) return FMOD_ERR_INVALID_PARAM;
    *driver = system.driver;
    return FMOD_OK;
  });
}

FMOD_RESULT SetSoftwareChannels(FMOD_SYSTEM* handle, int count) {
  return WithSystem(handle, [&](System& system) {
    if (count < 0 || count > kMaxChannels) return FMOD_ERR_INVALID_PARAM;
    if (system.state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
    system.softwareChannels = count;
    return FMOD_OK;
  });
}

FMOD_RESULT GetSoftwareChannels(FMOD_SYSTEM* handle, int* count) {
  return WithSystem(handle, [&](System& system) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = system.softwareChannels;
    return FMOD_OK;
  });
}

FMOD_RESULT SetSoftwareFormat(FMOD_SYSTEM* handle, int rate, FMOD_SPEAKERMODE mode, int rawSpeakers) {
  return WithSystem(handle, [&](System& system) {
    if (system.state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
    if (rate < 8000 || rate > 192000) return FMOD_ERR_INVALID_PARAM;
    if (mode == FMOD_SPEAKERMODE_DEFAULT) mode = FMOD_SPEAKERMODE_STEREO;
    if (mode == FMOD_SPEAKERMODE_RAW ? (rawSpeakers < 1 || rawSpeakers > FMOD_MAX_CHANNEL_WIDTH)
                                     : core::SpeakerModeChannels(mode) == 0)
      return FMOD_ERR_INVALID_PARAM;
    system.sampleRate = rate;
    system.speakerMode = mode;
    system.numRawSpeakers = mode == FMOD_SPEAKERMODE_RAW ? rawSpeakers : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetSoftwareFormat(FMOD_SYSTEM* handle, int* rate, FMOD_SPEAKERMODE* mode, int* rawSpeakers) {
  return WithSystem(handle, [&](System& system) {
    if (rate != nullptr) *rate = system.sampleRate;
    if (mode != nullptr) *mode = system.speakerMode;
    if (rawSpeakers != nullptr) *rawSpeakers = system.numRawSpeakers;
    return FMOD_OK;
  });
}

FMOD_RESULT SetDSPBufferSize(FMOD_SYSTEM* handle, unsigned int length, int count) {
  return WithSystem(handle, [&](System& system) {
    if (system.state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
    if (length < 64 || length > 65536 || count < 2 || count > 64) return FMOD_ERR_INVALID_PARAM;
    system.dspBufferLength = length;
    system.dspNumBuffers = count;
    return FMOD_OK;
  });
}

FMOD_RESULT GetDSPBufferSize(FMOD_SYSTEM* handle, unsigned int* length, int* count) {
  return WithSystem(handle, [&](System& system) {
    if (length != nullptr) *length = system.dspBufferLength;
    if (count != nullptr) *count = system.dspNumBuffers;
    return FMOD_OK;
  });
}

FMOD_RESULT SetStreamBufferSize(FMOD_SYSTEM* handle, unsigned int size, FMOD_TIMEUNIT unit) {
  return WithSystem(handle, [&](System& system) {
    if (size == 0 || (unit != FMOD_TIMEUNIT_MS && unit != FMOD_TIMEUNIT_PCM && unit != FMOD_TIMEUNIT_PCMBYTES &&
                      unit != FMOD_TIMEUNIT_RAWBYTES))
      return FMOD_ERR_INVALID_PARAM;
    system.streamBufferSize = size;
    system.streamBufferUnit = unit;
    return FMOD_OK;
  });
}

FMOD_RESULT GetStreamBufferSize(FMOD_SYSTEM* handle, unsigned int* size, FMOD_TIMEUNIT* unit) {
  return WithSystem(handle, [&](System& system) {
    if (size != nullptr) *size = system.streamBufferSize;
    if (unit != nullptr) *unit = system.streamBufferUnit;
    return FMOD_OK;
  });
}

FMOD_RESULT GetSpeakerModeChannels(FMOD_SYSTEM* handle, FMOD_SPEAKERMODE mode, int* channels) {
  return WithSystem(handle, [&](System& system) {
    if (channels == nullptr) return FMOD_ERR_INVALID_PARAM;
    if (mode == FMOD_SPEAKERMODE_DEFAULT) mode = system.speakerMode;
    const int count = mode == FMOD_SPEAKERMODE_RAW ? system.numRawSpeakers : core::SpeakerModeChannels(mode);
    if (count == 0) return FMOD_ERR_INVALID_PARAM;
    *channels = count;
    return FMOD_OK;
  });
}

FMOD_RESULT Init(FMOD_SYSTEM* handle, int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata) {
  return WithSystem(handle, [&](System& system) {
    if (maxchannels < 0 || maxchannels > kMaxChannels) return FMOD_ERR_INVALID_PARAM;
    if (system.state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
    DeviceFormat format;
    format.sampleRate = system.sampleRate;
    format.channels = system.speakerMode == FMOD_SPEAKERMODE_RAW ? system.numRawSpeakers
                                                                 : core::SpeakerModeChannels(system.speakerMode);
    format.blockFrames = system.dspBufferLength;
    format.numBlocks = system.dspNumBuffers;
    FMOD_RESULT error = FMOD_OK;
    std::shared_ptr<Device> device = OpenDevice(system.outputType, system.driver, format, extradriverdata, error);
    if (!device) {
      log::Error("FMOD_System_Init", "cannot open the output: " + std::to_string(int(error)));
      return error != FMOD_OK ? error : FMOD_ERR_OUTPUT_INIT;
    }
    system.space.settings.rightHanded = (flags & FMOD_INIT_3D_RIGHTHANDED) != 0;
    system.space.settings.distanceFilter = (flags & FMOD_INIT_CHANNEL_DISTANCEFILTER) != 0;
    core::Format mix;
    mix.sampleRate = device->Format().sampleRate;
    mix.channels = device->Format().channels;
    mix.speakerMode = system.speakerMode;
    mix.blockFrames = device->Format().blockFrames;
    std::shared_ptr<core::Engine> engine =
        core::Engine::Create(mix, maxchannels, TheRegistry(), handle, int(handle_bits::Index(std::uint64_t(
                                                                           reinterpret_cast<std::uintptr_t>(handle)))));
    {
      std::lock_guard graphLock(engine->graph.mutex);
      engine->SetListeners(system.space);
    }
    if (const FMOD_RESULT started = device->Start(engine->mixer); started != FMOD_OK) {
      std::lock_guard graphLock(engine->graph.mutex);
      engine->graph.Shutdown();
      return started;
    }
    system.maxChannels = maxchannels;
    system.initFlags = flags;
    system.device = std::move(device);
    system.engine = std::move(engine);
    system.state = System::State::Initialised;
    log::Info("FMOD_System_Init", "initialised with " + std::to_string(maxchannels) + " channels");
    return FMOD_OK;
  });
}

// Stops the output, ends every channel and group and releases every sound.
// Called with the system's mutex held; lets go of it while it waits.
void Shutdown(System& system, std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Device> device = std::move(system.device);
  std::shared_ptr<core::Engine> engine = std::move(system.engine);
  system.state = System::State::Created;
  lock.unlock();
  if (device) device->Stop();  // after this the mixer renders no more
  if (engine) {
    std::lock_guard graphLock(engine->graph.mutex);
    engine->graph.Shutdown();
  }
  ReleaseSoundsOf(&system);
  ReleaseSoundGroupsOf(&system);
  lock.lock();
}

FMOD_RESULT Close(FMOD_SYSTEM* handle) {
  std::shared_ptr<System> system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::unique_lock lock(system->mutex);
  Shutdown(*system, lock);
  return FMOD_OK;
}

FMOD_RESULT Release(FMOD_SYSTEM* handle) {
  std::shared_ptr<System> system = Systems().Remove(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::unique_lock lock(system->mutex);
  Shutdown(*system, lock);
  return FMOD_OK;
}

// Works out 3D for every 3D channel: the program's rolloff callback is
// called here, on the caller's thread, with no lock of the engine's held.
void Place3D(core::Engine& engine) {
  std::vector<core::Graph::Placing> work;
  spatial::SystemState space;
  {
    std::lock_guard lock(engine.graph.mutex);
    if (!engine.graph.Running()) return;
    engine.graph.Gather3D(work);
    space = engine.Space();
  }
  if (work.empty()) return;
  for (core::Graph::Placing& p : work)
    p.result = spatial::Evaluate(space, p.source, engine.format.speakerMode, engine.format.channels,
                                 reinterpret_cast<FMOD_CHANNELCONTROL*>(p.channel->handle));
  std::lock_guard lock(engine.graph.mutex);
  if (engine.graph.Running()) engine.graph.Apply3D(work);
}

FMOD_RESULT Update(FMOD_SYSTEM* handle) {
  std::shared_ptr<Device> device;
  std::shared_ptr<core::Engine> engine;
  {
    std::shared_ptr<System> system = Systems().Find(handle);
    if (!system) return FMOD_ERR_INVALID_HANDLE;
    std::lock_guard lock(system->mutex);
    if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
    device = system->device;
    engine = system->engine;
  }
  {
    std::lock_guard lock(engine->graph.mutex);
    engine->graph.Poll();
  }
  Place3D(*engine);
  {
    // The listener may have moved through the 3D reverb zones.
    std::lock_guard lock(engine->graph.mutex);
    if (engine->graph.Running()) engine->graph.UpdateZones();
  }
  if (!device->RealTime()) {
    // A non-real-time output mixes one block now; streams get the time to
    // decode what that block will read.
    std::vector<std::shared_ptr<core::SoundData>> streams;
    {
      std::lock_guard lock(engine->graph.mutex);
      for (const core::Channel* channel : engine->graph.Channels())
        if (channel->sound && channel->sound->IsStream() && !channel->api.settings.paused)
          streams.push_back(channel->sound);
    }
    // Frames decoded before a seek or a loop change can fill a ring that only
    // the mixer empties: drop them here, holding the mixer back, so the
    // stream thread has room for what this block will read.
    engine->mixer.lock.Lock();
    for (const auto& data : streams) static_cast<io::Stream&>(*data->stream).DropStale();
    engine->mixer.lock.Unlock();
    const unsigned frames = engine->format.blockFrames * 2 + 4;
    for (const auto& data : streams) static_cast<io::Stream&>(*data->stream).WaitFor(frames, 2000);
    if (const FMOD_RESULT mixed = device->MixOneBlock(); mixed != FMOD_OK) return mixed;
  }
  // Callbacks run here, on the caller's thread, with no lock held; a
  // channel that ended still answers its user data and sound to them, and
  // its handle goes once they have run.
  std::vector<core::Event> events;
  {
    std::lock_guard lock(engine->graph.mutex);
    engine->graph.Poll();
    engine->graph.TakeEvents(events);
  }
  for (const core::Event& event : events) {
    event.callback(event.control, event.kind, event.type, reinterpret_cast<void*>(event.data1), nullptr);
    if (event.ended) Channels().Remove(event.ended->handle);
  }
  return FMOD_OK;
}

// ---- 3D settings and listeners

// Hands the system's 3D state to its engine once it changed. Called with
// the system's mutex held; lets go of it while the graph's is taken.
void Publish3D(System& system, std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<core::Engine> engine = system.engine;
  const spatial::SystemState space = system.space;
  lock.unlock();
  if (engine) {
    std::lock_guard graphLock(engine->graph.mutex);
    engine->SetListeners(space);
  }
  lock.lock();
}

// Runs `f` on the system's 3D state and publishes it when `f` answers OK.
template <typename F>
FMOD_RESULT Change3D(FMOD_SYSTEM* handle, F&& f) {
  std::shared_ptr<System> system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::unique_lock lock(system->mutex);
  const FMOD_RESULT result = f(system->space);
  if (result == FMOD_OK) Publish3D(*system, lock);
  return result;
}

FMOD_RESULT Set3DSettings(FMOD_SYSTEM* handle, float dopplerScale, float distanceFactor, float rolloffScale) {
  return Change3D(handle, [&](spatial::SystemState& space) {
    if (!std::isfinite(dopplerScale) || !std::isfinite(distanceFactor) || !std::isfinite(rolloffScale) ||
        dopplerScale < 0 || distanceFactor <= 0 || rolloffScale < 0)
      return FMOD_ERR_INVALID_PARAM;
    space.settings.dopplerScale = dopplerScale;
    space.settings.distanceFactor = distanceFactor;
    space.settings.rolloffScale = rolloffScale;
    return FMOD_OK;
  });
}

FMOD_RESULT Get3DSettings(FMOD_SYSTEM* handle, float* dopplerScale, float* distanceFactor, float* rolloffScale) {
  return WithSystem(handle, [&](System& system) {
    if (dopplerScale != nullptr) *dopplerScale = system.space.settings.dopplerScale;
    if (distanceFactor != nullptr) *distanceFactor = system.space.settings.distanceFactor;
    if (rolloffScale != nullptr) *rolloffScale = system.space.settings.rolloffScale;
    return FMOD_OK;
  });
}

FMOD_RESULT Set3DNumListeners(FMOD_SYSTEM* handle, int count) {
  return Change3D(handle, [&](spatial::SystemState& space) {
    if (count < 1 || count > spatial::kMaxListeners) return FMOD_ERR_INVALID_PARAM;
    space.numListeners = count;
    return FMOD_OK;
  });
}

FMOD_RESULT Get3DNumListeners(FMOD_SYSTEM* handle, int* count) {
  return WithSystem(handle, [&](System& system) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = system.space.numListeners;
    return FMOD_OK;
  });
}

FMOD_RESULT Set3DListenerAttributes(FMOD_SYSTEM* handle, int index, const FMOD_VECTOR* position,
                                    const FMOD_VECTOR* velocity, const FMOD_VECTOR* forward, const FMOD_VECTOR* up) {
  return Change3D(handle, [&](spatial::SystemState& space) {
    if (index < 0 || index >= space.numListeners) return FMOD_ERR_INVALID_PARAM;
    for (const FMOD_VECTOR* v : {position, velocity, forward, up})
      if (v != nullptr && !(std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z)))
        return FMOD_ERR_INVALID_PARAM;
    spatial::Listener& listener = space.listeners[index];
    if (position != nullptr) listener.position = *position;
    if (velocity != nullptr) listener.velocity = *velocity;
    if (forward != nullptr) listener.forward = *forward;
    if (up != nullptr) listener.up = *up;
    return FMOD_OK;
  });
}

FMOD_RESULT Get3DListenerAttributes(FMOD_SYSTEM* handle, int index, FMOD_VECTOR* position, FMOD_VECTOR* velocity,
                                    FMOD_VECTOR* forward, FMOD_VECTOR* up) {
  return WithSystem(handle, [&](System& system) {
    if (index < 0 || index >= system.space.numListeners) return FMOD_ERR_INVALID_PARAM;
    const spatial::Listener& listener = system.space.listeners[index];
    if (position != nullptr) *position = listener.position;
    if (velocity != nullptr) *velocity = listener.velocity;
    if (forward != nullptr) *forward = listener.forward;
    if (up != nullptr) *up = listener.up;
    return FMOD_OK;
  });
}

FMOD_RESULT Set3DRolloffCallback(FMOD_SYSTEM* handle, FMOD_3D_ROLLOFF_CALLBACK callback) {
  return Change3D(handle, [&](spatial::SystemState& space) {
    space.rolloffCallback = callback;
    return FMOD_OK;
  });
}

// ---- The mixer

// The system's output, taken out of its lock so that waiting for the output
// never holds it.
FMOD_RESULT DeviceOf(FMOD_SYSTEM* handle, std::shared_ptr<Device>& device) {
  return WithSystem(handle, [&](System& system) {
    device = system.device;
    return FMOD_OK;
  });
}

FMOD_RESULT MixerSuspend(FMOD_SYSTEM* handle) {
  std::shared_ptr<Device> device;
  if (const FMOD_RESULT found = DeviceOf(handle, device); found != FMOD_OK) return found;
  if (device) device->Suspend();
  return FMOD_OK;
}

FMOD_RESULT MixerResume(FMOD_SYSTEM* handle) {
  std::shared_ptr<Device> device;
  if (const FMOD_RESULT found = DeviceOf(handle, device); found != FMOD_OK) return found;
  if (device) device->Resume();
  return FMOD_OK;
}

FMOD_RESULT LockDSP(FMOD_SYSTEM* handle) {
  std::shared_ptr<core::Engine> engine;
  const FMOD_RESULT found = WithSystem(handle, [&](System& system) {
    if (system.state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
    engine = system.engine;
    system.dspLocked = engine;
    return FMOD_OK;
  });
  if (found != FMOD_OK) return found;
  // Waits for a block being mixed to end; holds the next one back until
  // UnlockDSP (the mixer's one documented lock).
  engine->mixer.lock.Lock();
  return FMOD_OK;
}

FMOD_RESULT UnlockDSP(FMOD_SYSTEM* handle) {
  // Unlocks the engine this thread locked, even if the system was closed
  // meanwhile (a close waits for the mixer, so it must be let go).
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = WithSystem(handle, [&](System& system) {
        engine = system.dspLocked;
        return FMOD_OK;
      });
      found != FMOD_OK)
    return found;
  if (!engine || !engine->mixer.lock.Unlock()) return FMOD_ERR_INVALID_PARAM;  // not locked by this thread
  return FMOD_OK;
}

FMOD_RESULT GetChannelsPlaying(FMOD_SYSTEM* handle, int* channels, int* real) {
  return WithGraph(handle, [&](core::Engine& engine) {
    engine.graph.Poll();
    int all = 0, onVoices = 0;
    engine.graph.CountPlaying(all, onVoices);
    if (channels != nullptr) *channels = all;
    if (real != nullptr) *real = onVoices;
    return FMOD_OK;
  });
}

FMOD_RESULT GetCPUUsage(FMOD_SYSTEM* handle, float* dsp, float* stream, float* geometry, float* update,
                        float* total) {
  return WithSystem(handle, [&](System&) {
    for (float* figure : {dsp, stream, geometry, update, total})
      if (figure != nullptr) *figure = 0.0f;
    return FMOD_OK;
  });
}

// ---- Groups and playing

FMOD_RESULT CreateChannelGroup(FMOD_SYSTEM* handle, const char* name, FMOD_CHANNELGROUP** group) {
  if (group == nullptr) return Systems().Find(handle) ? FMOD_ERR_INVALID_PARAM : FMOD_ERR_INVALID_HANDLE;
  *group = nullptr;
  return WithGraph(handle, [&](core::Engine& engine) {
    std::shared_ptr<core::Group> made;
    if (const FMOD_RESULT result = engine.graph.NewGroup(name != nullptr ? name : "", made); result != FMOD_OK)
      return result;
    *group = made->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetMasterChannelGroup(FMOD_SYSTEM* handle, FMOD_CHANNELGROUP** group) {
  if (group == nullptr) return Systems().Find(handle) ? FMOD_ERR_INVALID_PARAM : FMOD_ERR_INVALID_HANDLE;
  return WithGraph(handle, [&](core::Engine& engine) {
    *group = engine.graph.Master().handle;
    return FMOD_OK;
  });
}

// The group a play goes into: null for the master group; another system's
// or a released group is refused.
FMOD_RESULT TargetGroup(core::Engine& engine, FMOD_CHANNELGROUP* handle, core::Group*& group) {
  group = nullptr;
  if (handle == nullptr) return FMOD_OK;
  std::shared_ptr<core::Group> found = Groups().Find(handle);
  if (!found || found->api.gone) return FMOD_ERR_INVALID_HANDLE;
  if (found->engine.lock().get() != &engine) return FMOD_ERR_INVALID_PARAM;
  group = found.get();
  return FMOD_OK;
}

FMOD_RESULT PlaySound(FMOD_SYSTEM* handle, FMOD_SOUND* soundHandle, FMOD_CHANNELGROUP* groupHandle, FMOD_BOOL paused,
                      FMOD_CHANNEL** channel) {
  if (channel != nullptr) *channel = nullptr;
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = RunningEngine(handle, engine); found != FMOD_OK) return found;
  std::shared_ptr<Sound> sound = Sounds().Find(soundHandle);
  if (!sound) return FMOD_ERR_INVALID_HANDLE;
  if (sound->systemHandle != handle) return FMOD_ERR_INVALID_PARAM;
  if (!sound->IsReady()) return FMOD_ERR_NOTREADY;
  if (sound->LengthFrames() == 0 || (sound->data->samples.load() == nullptr && !sound->IsStream()))
    return FMOD_ERR_FORMAT;
  core::PlaySettings play;
  play.soundHandle = sound->handle;
  play.frequency = sound->DefaultFrequency();
  play.priority = sound->DefaultPriority();
  play.mode = sound->Mode();
  play.loopStart = sound->LoopStart();
  play.loopEnd = sound->LoopEnd();
  play.loopCount = sound->LoopCount();
  play.minDistance = sound->MinDistance();
  play.maxDistance = sound->MaxDistance();
  play.coneInside = sound->ConeInsideAngle();
  play.coneOutside = sound->ConeOutsideAngle();
  play.coneOutsideVolume = sound->ConeOutsideVolume();
  play.customRolloff = sound->CustomRolloff().points;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;
  core::Group* group = nullptr;
  if (const FMOD_RESULT found = TargetGroup(*engine, groupHandle, group); found != FMOD_OK) return found;
  std::shared_ptr<core::Channel> made;
  if (const FMOD_RESULT result = engine->graph.PlaySound(sound->data, play, group, paused != 0, made);
      result != FMOD_OK)
    return result;
  if (sound->IsStream()) {
    const core::Channel::ChannelApiSide& api = made->channelApi;
    sound->SetStreamLoop(api.loopMode, api.loopStart, api.loopEnd, api.loopCount);
    sound->SeekStream(0);
  }
  if (channel != nullptr) *channel = made->handle;
  return FMOD_OK;
}

FMOD_RESULT PlayDSP(FMOD_SYSTEM* handle, FMOD_DSP* dspHandle, FMOD_CHANNELGROUP* groupHandle, FMOD_BOOL paused,
                    FMOD_CHANNEL** channel) {
  if (channel != nullptr) *channel = nullptr;
  if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
  std::shared_ptr<core::Unit> unit = Dsps().Find(dspHandle);
  if (!unit) return FMOD_ERR_INVALID_HANDLE;
  if (unit->systemHandle != handle) return FMOD_ERR_INVALID_PARAM;
  return WithGraph(handle, [&](core::Engine& engine) {
    if (unit->api.gone) return FMOD_ERR_INVALID_HANDLE;
    core::Group* group = nullptr;
    if (const FMOD_RESULT found = TargetGroup(engine, groupHandle, group); found != FMOD_OK) return found;
    std::shared_ptr<core::Channel> made;
    if (const FMOD_RESULT result = engine.graph.PlayUnit(*unit, group, paused != 0, made); result != FMOD_OK)
      return result;
    if (channel != nullptr) *channel = made->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetChannel(FMOD_SYSTEM* handle, int id, FMOD_CHANNEL** channel) {
  if (channel == nullptr) return Systems().Find(handle) ? FMOD_ERR_INVALID_PARAM : FMOD_ERR_INVALID_HANDLE;
  *channel = nullptr;
  return WithGraph(handle, [&](core::Engine& engine) {
    if (id < 0 || id >= engine.mixer.limits.channels) return FMOD_ERR_INVALID_PARAM;
    for (const core::Channel* c : engine.graph.Channels())
      if (c->index == id) *channel = c->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetVersion(FMOD_SYSTEM* handle, unsigned int* version) {
  if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
  if (version == nullptr) return FMOD_ERR_INVALID_PARAM;
  *version = FMOD_VERSION;
  return FMOD_OK;
}

FMOD_RESULT GetOutputHandle(FMOD_SYSTEM* handle, void** output) {
  return WithSystem(handle, [&](System& system) {
    if (output == nullptr) return FMOD_ERR_INVALID_PARAM;
    *output = system.device ? system.device->Handle() : nullptr;
    return FMOD_OK;
  });
}

FMOD_RESULT SetUserData(FMOD_SYSTEM* handle, void* userdata) {
  return WithSystem(handle, [&](System& system) {
    system.userData = userdata;
    return FMOD_OK;
  });
}

FMOD_RESULT GetUserData(FMOD_SYSTEM* handle, void** userdata) {
  return WithSystem(handle, [&](System& system) {
    if (userdata == nullptr) return FMOD_ERR_INVALID_PARAM;
    *userdata = system.userData;
    return FMOD_OK;
  });
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_System_Create = &Create;
  t.FMOD_System_Init = &Init;
  t.FMOD_System_Close = &Close;
  t.FMOD_System_Release = &Release;
  t.FMOD_System_Update = &Update;
  t.FMOD_System_GetVersion = &GetVersion;
  t.FMOD_System_GetOutputHandle = &GetOutputHandle;
  t.FMOD_System_SetUserData = &SetUserData;
  t.FMOD_System_GetUserData = &GetUserData;
  t.FMOD_System_SetOutput = &SetOutput;
  t.FMOD_System_GetOutput = &GetOutput;
  t.FMOD_System_GetNumDrivers = &GetNumDrivers;
  t.FMOD_System_GetDriverInfo = &GetDriverInfo;
  t.FMOD_System_SetDriver = &SetDriver;
  t.FMOD_System_GetDriver = &GetDriver;
  t.FMOD_System_SetSoftwareChannels = &SetSoftwareChannels;
  t.FMOD_System_GetSoftwareChannels = &GetSoftwareChannels;
  t.FMOD_System_SetSoftwareFormat = &SetSoftwareFormat;
  t.FMOD_System_GetSoftwareFormat = &GetSoftwareFormat;
  t.FMOD_System_SetDSPBufferSize = &SetDSPBufferSize;
  t.FMOD_System_GetDSPBufferSize = &GetDSPBufferSize;
  t.FMOD_System_SetStreamBufferSize = &SetStreamBufferSize;
  t.FMOD_System_GetStreamBufferSize = &GetStreamBufferSize;
  t.FMOD_System_GetSpeakerModeChannels = &GetSpeakerModeChannels;
  t.FMOD_System_Set3DSettings = &Set3DSettings;
  t.FMOD_System_Get3DSettings = &Get3DSettings;
  t.FMOD_System_Set3DNumListeners = &Set3DNumListeners;
  t.FMOD_System_Get3DNumListeners = &Get3DNumListeners;
  t.FMOD_System_Set3DListenerAttributes = &Set3DListenerAttributes;
  t.FMOD_System_Get3DListenerAttributes = &Get3DListenerAttributes;
  t.FMOD_System_Set3DRolloffCallback = &Set3DRolloffCallback;
  t.FMOD_System_MixerSuspend = &MixerSuspend;
  t.FMOD_System_MixerResume = &MixerResume;
  t.FMOD_System_LockDSP = &LockDSP;
  t.FMOD_System_UnlockDSP = &UnlockDSP;
  t.FMOD_System_GetChannelsPlaying = &GetChannelsPlaying;
  t.FMOD_System_GetCPUUsage = &GetCPUUsage;
  t.FMOD_System_CreateChannelGroup = &CreateChannelGroup;
  t.FMOD_System_GetMasterChannelGroup = &GetMasterChannelGroup;
  t.FMOD_System_PlaySound = &PlaySound;
  t.FMOD_System_PlayDSP = &PlayDSP;
  t.FMOD_System_GetChannel = &GetChannel;
}};

}  // namespace
}  // namespace sonvel::engine
