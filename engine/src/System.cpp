// The system's lifecycle: create, init, update, close, release.
#include "System.h"

#include "Log.h"
#include "Mixer.h"
#include "Sound.h"
#include "SoundGroup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace sonvel::engine {

System::System() = default;
System::~System() = default;

int SpeakerModeChannels(FMOD_SPEAKERMODE mode) noexcept {
  switch (mode) {
    case FMOD_SPEAKERMODE_MONO: return 1;
    case FMOD_SPEAKERMODE_STEREO: return 2;
    case FMOD_SPEAKERMODE_QUAD: return 4;
    case FMOD_SPEAKERMODE_SURROUND: return 5;
    case FMOD_SPEAKERMODE_5POINT1: return 6;
    case FMOD_SPEAKERMODE_7POINT1: return 8;
    case FMOD_SPEAKERMODE_7POINT1POINT4: return 12;
    default: return 0;
  }
}

SystemTable& Systems() {
  static SystemTable table;
  return table;
}

namespace {

constexpr int kMaxChannels = 4095;

FMOD_RESULT Create(FMOD_SYSTEM** system) {
  if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
  *system = Systems().Add<FMOD_SYSTEM>(std::make_shared<System>());
  return FMOD_OK;
}

// The system behind a handle, locked; or the result for a bad handle.
#define SYSTEM(handle)                              \
  auto system = Systems().Find(handle);             \
  if (!system) return FMOD_ERR_INVALID_HANDLE;      \
  std::unique_lock lock(system->mutex)

// The mixer of an initialised system, taken out of the system's lock so
// that the mixer's lock is never taken under it.
#define MIXER(handle)                                                     \
  std::shared_ptr<Mixer> mixer;                                           \
  {                                                                       \
    SYSTEM(handle);                                                       \
    if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED; \
    mixer = system->mixer;                                                \
  }                                                                       \
  std::unique_lock mixLock(mixer->mutex);                                 \
  if (!mixer->master) return FMOD_ERR_UNINITIALIZED /* closed meanwhile */

bool Known(FMOD_OUTPUTTYPE type) { return type >= FMOD_OUTPUTTYPE_AUTODETECT && type < FMOD_OUTPUTTYPE_MAX; }

FMOD_RESULT SetOutput(FMOD_SYSTEM* handle, FMOD_OUTPUTTYPE output) {
  SYSTEM(handle);
  if (!Known(output)) return FMOD_ERR_INVALID_PARAM;
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  system->outputType = output;
  return FMOD_OK;
}

FMOD_RESULT GetOutput(FMOD_SYSTEM* handle, FMOD_OUTPUTTYPE* output) {
  SYSTEM(handle);
  if (output == nullptr) return FMOD_ERR_INVALID_PARAM;
  *output = system->device ? system->device->Type() : system->outputType;
  return FMOD_OK;
}

FMOD_RESULT GetNumDrivers(FMOD_SYSTEM* handle, int* count) {
  SYSTEM(handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = NumDrivers(system->device ? system->device->Type() : system->outputType);
  return FMOD_OK;
}

FMOD_RESULT GetDriverInfo(FMOD_SYSTEM* handle, int id, char* name, int nameLength, FMOD_GUID* guid, int* rate,
                          FMOD_SPEAKERMODE* mode, int* modeChannels) {
  SYSTEM(handle);
  DriverInfo info;
  if (!GetDriverInfo(system->device ? system->device->Type() : system->outputType, id, info))
    return FMOD_ERR_INVALID_PARAM;
  if (name != nullptr) CopyName(info.name, name, nameLength);
  if (guid != nullptr) *guid = info.guid;
  if (rate != nullptr) *rate = info.systemRate;
  if (mode != nullptr) *mode = info.speakerMode;
  if (modeChannels != nullptr) *modeChannels = info.speakerModeChannels;
  return FMOD_OK;
}

FMOD_RESULT SetDriver(FMOD_SYSTEM* handle, int driver) {
  SYSTEM(handle);
  if (driver < -1) return FMOD_ERR_INVALID_PARAM;
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  system->driver = driver < 0 ? 0 : driver;
  return FMOD_OK;
}

FMOD_RESULT GetDriver(FMOD_SYSTEM* handle, int* driver) {
  SYSTEM(handle);
  if (driver == nullptr) return FMOD_ERR_INVALID_PARAM;
  *driver = system->driver;
  return FMOD_OK;
}

FMOD_RESULT SetSoftwareChannels(FMOD_SYSTEM* handle, int count) {
  SYSTEM(handle);
  if (count < 0 || count > kMaxChannels) return FMOD_ERR_INVALID_PARAM;
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  system->softwareChannels = count;
  return FMOD_OK;
}

FMOD_RESULT GetSoftwareChannels(FMOD_SYSTEM* handle, int* count) {
  SYSTEM(handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = system->softwareChannels;
  return FMOD_OK;
}

FMOD_RESULT SetSoftwareFormat(FMOD_SYSTEM* handle, int rate, FMOD_SPEAKERMODE mode, int rawSpeakers) {
  SYSTEM(handle);
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  if (rate < 8000 || rate > 192000) return FMOD_ERR_INVALID_PARAM;
  if (mode == FMOD_SPEAKERMODE_DEFAULT) mode = FMOD_SPEAKERMODE_STEREO;
  if (mode == FMOD_SPEAKERMODE_RAW ? (rawSpeakers < 1 || rawSpeakers > FMOD_MAX_CHANNEL_WIDTH)
                                   : SpeakerModeChannels(mode) == 0)
    return FMOD_ERR_INVALID_PARAM;
  system->sampleRate = rate;
  system->speakerMode = mode;
  system->numRawSpeakers = mode == FMOD_SPEAKERMODE_RAW ? rawSpeakers : 0;
  return FMOD_OK;
}

FMOD_RESULT GetSoftwareFormat(FMOD_SYSTEM* handle, int* rate, FMOD_SPEAKERMODE* mode, int* rawSpeakers) {
  SYSTEM(handle);
  if (rate != nullptr) *rate = system->sampleRate;
  if (mode != nullptr) *mode = system->speakerMode;
  if (rawSpeakers != nullptr) *rawSpeakers = system->numRawSpeakers;
  return FMOD_OK;
}

FMOD_RESULT SetDSPBufferSize(FMOD_SYSTEM* handle, unsigned int length, int count) {
  SYSTEM(handle);
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  if (length < 64 || length > 65536 || count < 2 || count > 64) return FMOD_ERR_INVALID_PARAM;
  system->dspBufferLength = length;
  system->dspNumBuffers = count;
  return FMOD_OK;
}

FMOD_RESULT GetDSPBufferSize(FMOD_SYSTEM* handle, unsigned int* length, int* count) {
  SYSTEM(handle);
  if (length != nullptr) *length = system->dspBufferLength;
  if (count != nullptr) *count = system->dspNumBuffers;
  return FMOD_OK;
}

FMOD_RESULT SetStreamBufferSize(FMOD_SYSTEM* handle, unsigned int size, FMOD_TIMEUNIT unit) {
  SYSTEM(handle);
  if (size == 0 || (unit != FMOD_TIMEUNIT_MS && unit != FMOD_TIMEUNIT_PCM && unit != FMOD_TIMEUNIT_PCMBYTES &&
                    unit != FMOD_TIMEUNIT_RAWBYTES))
    return FMOD_ERR_INVALID_PARAM;
  system->streamBufferSize = size;
  system->streamBufferUnit = unit;
  return FMOD_OK;
}

FMOD_RESULT GetStreamBufferSize(FMOD_SYSTEM* handle, unsigned int* size, FMOD_TIMEUNIT* unit) {
  SYSTEM(handle);
  if (size != nullptr) *size = system->streamBufferSize;
  if (unit != nullptr) *unit = system->streamBufferUnit;
  return FMOD_OK;
}

FMOD_RESULT GetSpeakerModeChannels(FMOD_SYSTEM* handle, FMOD_SPEAKERMODE mode, int* channels) {
  SYSTEM(handle);
  if (channels == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (mode == FMOD_SPEAKERMODE_DEFAULT) mode = system->speakerMode;
  const int count = mode == FMOD_SPEAKERMODE_RAW ? system->numRawSpeakers : SpeakerModeChannels(mode);
  if (count == 0) return FMOD_ERR_INVALID_PARAM;
  *channels = count;
  return FMOD_OK;
}

FMOD_RESULT Init(FMOD_SYSTEM* handle, int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata) {
  SYSTEM(handle);
  if (maxchannels < 0 || maxchannels > kMaxChannels) return FMOD_ERR_INVALID_PARAM;
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  DeviceFormat format;
  format.sampleRate = system->sampleRate;
  format.channels = system->speakerMode == FMOD_SPEAKERMODE_RAW ? system->numRawSpeakers
                                                                : SpeakerModeChannels(system->speakerMode);
  format.blockFrames = system->dspBufferLength;
  format.numBlocks = system->dspNumBuffers;
  FMOD_RESULT error = FMOD_OK;
  std::shared_ptr<Device> device = OpenDevice(system->outputType, system->driver, format, extradriverdata, error);
  if (!device) {
    log::Error("FMOD_System_Init", "cannot open the output: " + std::to_string(int(error)));
    return error != FMOD_OK ? error : FMOD_ERR_OUTPUT_INIT;
  }
  system->space.settings.rightHanded = (flags & FMOD_INIT_3D_RIGHTHANDED) != 0;
  std::shared_ptr<Mixer> mixer =
      Mixer::Create(*system, handle, device->Format(), system->speakerMode, maxchannels);
  mixer->space = system->space;
  if (const FMOD_RESULT started = device->Start(*mixer); started != FMOD_OK) {
    mixer->Shutdown();
    return started;
  }
  system->maxChannels = maxchannels;
  system->initFlags = flags;
  system->device = std::move(device);
  system->mixer = std::move(mixer);
  system->state = System::State::Initialised;
  log::Info("FMOD_System_Init", "initialised with " + std::to_string(maxchannels) + " channels");
  return FMOD_OK;
}

// Stops the output, ends every channel and group and releases every sound.
void Shutdown(System& system, std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Device> device = std::move(system.device);
  std::shared_ptr<Mixer> mixer = std::move(system.mixer);
  system.state = System::State::Created;
  lock.unlock();
  if (device) device->Stop();
  if (mixer) mixer->Shutdown();
  ReleaseSoundsOf(&system);
  ReleaseSoundGroupsOf(&system);
  lock.lock();
}

FMOD_RESULT Close(FMOD_SYSTEM* handle) {
  SYSTEM(handle);
  Shutdown(*system, lock);
  return FMOD_OK;
}

FMOD_RESULT Release(FMOD_SYSTEM* handle) {
  auto system = Systems().Remove(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::unique_lock lock(system->mutex);
  Shutdown(*system, lock);
  return FMOD_OK;
}

FMOD_RESULT Update(FMOD_SYSTEM* handle) {
  std::shared_ptr<Device> device;
  std::shared_ptr<Mixer> mixer;
  {
    SYSTEM(handle);
    if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
    device = system->device;
    mixer = system->mixer;
  }
  if (!device->RealTime()) {
    // A non-real-time output mixes one block now; streams get the time to
    // decode what that block will read.
    std::vector<std::shared_ptr<Sound>> streams;
    {
      std::lock_guard mixLock(mixer->mutex);
      for (const auto& channel : mixer->channels)
        if (channel->sound->IsStream() && !channel->paused) streams.push_back(channel->sound);
    }
    const unsigned frames = mixer->format.blockFrames * 2 + 4;
    for (const auto& sound : streams) sound->WaitForStream(frames, 2000);
    if (const FMOD_RESULT mixed = device->MixOneBlock(); mixed != FMOD_OK) return mixed;
  }
  // Callbacks run here, on the caller's thread, with no lock held; a
  // channel that ended still answers its user data and sound to them, and
  // its handle goes once they have run.
  std::vector<ControlEvent> events;
  std::vector<std::shared_ptr<Channel>> drop;
  {
    std::lock_guard mixLock(mixer->mutex);
    mixer->Collect(events, drop);
  }
  for (const ControlEvent& event : events)
    event.callback(event.control, event.kind, event.type, reinterpret_cast<void*>(event.data1), nullptr);
  Mixer::Forget(drop);
  return FMOD_OK;
}

// ---- Sound groups: what needs the mixer

// The channels playing sounds of a sound group. Call with the mixer locked
// (EffectiveSoundGroup may take the system's lock, which is the allowed
// order: mixer first).
std::vector<Channel*> ChannelsOfSoundGroup(Mixer& mixer, FMOD_SOUNDGROUP* group) {
  std::vector<Channel*> found;
  for (const auto& channel : mixer.channels)
    if (EffectiveSoundGroup(*channel->sound) == group) found.push_back(channel.get());
  return found;
}

// A sound group's system mixer; null (with FMOD_OK) before Init.
FMOD_RESULT SoundGroupMixer(FMOD_SOUNDGROUP* handle, std::shared_ptr<Mixer>& mixer) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  auto system = Systems().Find(group->systemHandle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  mixer = system->mixer;
  return FMOD_OK;
}

FMOD_RESULT SoundGroupStop(FMOD_SOUNDGROUP* handle) {
  std::shared_ptr<Mixer> mixer;
  if (const FMOD_RESULT found = SoundGroupMixer(handle, mixer); found != FMOD_OK || !mixer) return found;
  std::lock_guard mixLock(mixer->mutex);
  for (Channel* channel : ChannelsOfSoundGroup(*mixer, handle)) mixer->End(*channel, Channel::State::Ended);
  return FMOD_OK;
}

FMOD_RESULT SoundGroupGetNumPlaying(FMOD_SOUNDGROUP* handle, int* count) {
  std::shared_ptr<Mixer> mixer;
  if (const FMOD_RESULT found = SoundGroupMixer(handle, mixer); found != FMOD_OK) return found;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = 0;
  if (!mixer) return FMOD_OK;
  std::lock_guard mixLock(mixer->mutex);
  *count = static_cast<int>(ChannelsOfSoundGroup(*mixer, handle).size());
  return FMOD_OK;
}

// ---- 3D settings and listeners

// Copies the system's 3D state into the mixer once it changed.
void Publish3D(System& system, std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Mixer> mixer = system.mixer;
  const spatial::SystemState space = system.space;
  lock.unlock();
  if (mixer) {
    std::lock_guard mixLock(mixer->mutex);
    mixer->space = space;
  }
  lock.lock();
}

FMOD_RESULT Set3DSettings(FMOD_SYSTEM* handle, float dopplerScale, float distanceFactor, float rolloffScale) {
  SYSTEM(handle);
  if (!std::isfinite(dopplerScale) || !std::isfinite(distanceFactor) || !std::isfinite(rolloffScale) ||
      dopplerScale < 0 || distanceFactor <= 0 || rolloffScale < 0)
    return FMOD_ERR_INVALID_PARAM;
  system->space.settings.dopplerScale = dopplerScale;
  system->space.settings.distanceFactor = distanceFactor;
  system->space.settings.rolloffScale = rolloffScale;
  Publish3D(*system, lock);
  return FMOD_OK;
}

FMOD_RESULT Get3DSettings(FMOD_SYSTEM* handle, float* dopplerScale, float* distanceFactor, float* rolloffScale) {
  SYSTEM(handle);
  if (dopplerScale != nullptr) *dopplerScale = system->space.settings.dopplerScale;
  if (distanceFactor != nullptr) *distanceFactor = system->space.settings.distanceFactor;
  if (rolloffScale != nullptr) *rolloffScale = system->space.settings.rolloffScale;
  return FMOD_OK;
}

FMOD_RESULT Set3DNumListeners(FMOD_SYSTEM* handle, int count) {
  SYSTEM(handle);
  if (count < 1 || count > spatial::kMaxListeners) return FMOD_ERR_INVALID_PARAM;
  system->space.numListeners = count;
  Publish3D(*system, lock);
  return FMOD_OK;
}

FMOD_RESULT Get3DNumListeners(FMOD_SYSTEM* handle, int* count) {
  SYSTEM(handle);
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = system->space.numListeners;
  return FMOD_OK;
}

FMOD_RESULT Set3DListenerAttributes(FMOD_SYSTEM* handle, int index, const FMOD_VECTOR* position,
                                    const FMOD_VECTOR* velocity, const FMOD_VECTOR* forward, const FMOD_VECTOR* up) {
  SYSTEM(handle);
  if (index < 0 || index >= system->space.numListeners) return FMOD_ERR_INVALID_PARAM;
  for (const FMOD_VECTOR* v : {position, velocity, forward, up})
    if (v != nullptr && !(std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z)))
      return FMOD_ERR_INVALID_PARAM;
  spatial::Listener& listener = system->space.listeners[index];
  if (position != nullptr) listener.position = *position;
  if (velocity != nullptr) listener.velocity = *velocity;
  if (forward != nullptr) listener.forward = *forward;
  if (up != nullptr) listener.up = *up;
  Publish3D(*system, lock);
  return FMOD_OK;
}

FMOD_RESULT Get3DListenerAttributes(FMOD_SYSTEM* handle, int index, FMOD_VECTOR* position, FMOD_VECTOR* velocity,
                                    FMOD_VECTOR* forward, FMOD_VECTOR* up) {
  SYSTEM(handle);
  if (index < 0 || index >= system->space.numListeners) return FMOD_ERR_INVALID_PARAM;
  const spatial::Listener& listener = system->space.listeners[index];
  if (position != nullptr) *position = listener.position;
  if (velocity != nullptr) *velocity = listener.velocity;
  if (forward != nullptr) *forward = listener.forward;
  if (up != nullptr) *up = listener.up;
  return FMOD_OK;
}

FMOD_RESULT Set3DRolloffCallback(FMOD_SYSTEM* handle, FMOD_3D_ROLLOFF_CALLBACK callback) {
  SYSTEM(handle);
  system->space.rolloffCallback = callback;
  Publish3D(*system, lock);
  return FMOD_OK;
}

// ---- The mixer

FMOD_RESULT MixerSuspend(FMOD_SYSTEM* handle) {
  SYSTEM(handle);
  if (system->device) system->device->Suspend();
  return FMOD_OK;
}

FMOD_RESULT MixerResume(FMOD_SYSTEM* handle) {
  SYSTEM(handle);
  if (system->device) system->device->Resume();
  return FMOD_OK;
}

FMOD_RESULT LockDSP(FMOD_SYSTEM* handle) {
  std::shared_ptr<Mixer> mixer;
  {
    SYSTEM(handle);
    if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
    mixer = system->mixer;
    system->dspLocked = mixer;
  }
  mixer->mutex.lock();  // stays locked until UnlockDSP
  mixer->dspLockDepth++;
  mixer->dspLockOwner = std::this_thread::get_id();
  return FMOD_OK;
}

FMOD_RESULT UnlockDSP(FMOD_SYSTEM* handle) {
  // Unlocks the mixer this thread locked, even if the system was closed
  // meanwhile (a close waits for the mixer, so it must be let go).
  std::shared_ptr<Mixer> mixer;
  {
    SYSTEM(handle);
    mixer = system->dspLocked;
  }
  if (!mixer || mixer->dspLockOwner.load() != std::this_thread::get_id() || mixer->dspLockDepth == 0)
    return FMOD_ERR_INVALID_PARAM;  // not locked by this thread
  if (--mixer->dspLockDepth == 0) mixer->dspLockOwner = std::thread::id();
  mixer->mutex.unlock();
  return FMOD_OK;
}

FMOD_RESULT GetChannelsPlaying(FMOD_SYSTEM* handle, int* channels, int* real) {
  MIXER(handle);
  int all = 0, onVoices = 0;
  mixer->CountPlaying(all, onVoices);
  if (channels != nullptr) *channels = all;
  if (real != nullptr) *real = onVoices;
  return FMOD_OK;
}

FMOD_RESULT GetCPUUsage(FMOD_SYSTEM* handle, float* dsp, float* stream, float* geometry, float* update,
                        float* total) {
  SYSTEM(handle);
  for (float* figure : {dsp, stream, geometry, update, total})
    if (figure != nullptr) *figure = 0.0f;
  return FMOD_OK;
}

// ---- Groups and playing

FMOD_RESULT CreateChannelGroup(FMOD_SYSTEM* handle, const char* name, FMOD_CHANNELGROUP** group) {
  if (group == nullptr) {
    if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
    return FMOD_ERR_INVALID_PARAM;
  }
  *group = nullptr;
  MIXER(handle);
  *group = mixer->NewGroup(name != nullptr ? name : "")->handle;
  return FMOD_OK;
}

FMOD_RESULT GetMasterChannelGroup(FMOD_SYSTEM* handle, FMOD_CHANNELGROUP** group) {
  if (group == nullptr) {
    if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
    return FMOD_ERR_INVALID_PARAM;
  }
  MIXER(handle);
  *group = mixer->master->handle;
  return FMOD_OK;
}

FMOD_RESULT PlaySound(FMOD_SYSTEM* handle, FMOD_SOUND* soundHandle, FMOD_CHANNELGROUP* groupHandle, FMOD_BOOL paused,
                      FMOD_CHANNEL** channel) {
  if (channel != nullptr) *channel = nullptr;
  std::shared_ptr<Mixer> mixer;
  {
    SYSTEM(handle);
    if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
    mixer = system->mixer;
  }
  std::shared_ptr<Sound> sound = Sounds().Find(soundHandle);
  if (!sound) return FMOD_ERR_INVALID_HANDLE;
  if (sound->systemHandle != handle) return FMOD_ERR_INVALID_PARAM;
  if (!sound->IsReady()) return FMOD_ERR_NOTREADY;
  if (sound->LengthFrames() == 0 || (sound->samples_.empty() && !sound->IsStream())) return FMOD_ERR_FORMAT;
  std::shared_ptr<Group> group;
  if (groupHandle != nullptr) {
    group = Groups().Find(groupHandle);
    if (!group) return FMOD_ERR_INVALID_HANDLE;
    if (group->mixer.lock() != mixer) return FMOD_ERR_INVALID_PARAM;
  }
  std::vector<std::shared_ptr<Channel>> drop;
  FMOD_RESULT result;
  {
    std::lock_guard mixLock(mixer->mutex);
    if (!mixer->master) return FMOD_ERR_UNINITIALIZED;
    if (group && !Groups().Find(groupHandle)) return FMOD_ERR_INVALID_HANDLE;
    result = mixer->Play(sound, group.get(), paused != 0, channel);
    // Channels that ended since the last update are let go here too, so a
    // program that never calls update does not gather them.
    if (mixer->finished.size() > 256) {
      drop.swap(mixer->finished);
      Mixer::Forget(drop);
    }
  }
  return result;
}

FMOD_RESULT PlayDSP(FMOD_SYSTEM* handle, FMOD_DSP* dsp, FMOD_CHANNELGROUP* /*group*/, FMOD_BOOL /*paused*/,
                    FMOD_CHANNEL** channel) {
  if (channel != nullptr) *channel = nullptr;
  if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
  if (!Dsps().Find(dsp)) return FMOD_ERR_INVALID_HANDLE;
  return FMOD_ERR_UNSUPPORTED;  // a fader alone has no signal to play
}

FMOD_RESULT GetChannel(FMOD_SYSTEM* handle, int id, FMOD_CHANNEL** channel) {
  if (channel == nullptr) {
    if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
    return FMOD_ERR_INVALID_PARAM;
  }
  *channel = nullptr;
  MIXER(handle);
  if (id < 0 || id >= Mixer::kMaxChannels) return FMOD_ERR_INVALID_PARAM;
  for (const auto& c : mixer->channels)
    if (c->index == id) *channel = c->handle;
  return FMOD_OK;
}

FMOD_RESULT GetVersion(FMOD_SYSTEM* handle, unsigned int* version) {
  if (!Systems().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
  if (version == nullptr) return FMOD_ERR_INVALID_PARAM;
  *version = FMOD_VERSION;
  return FMOD_OK;
}

FMOD_RESULT GetOutputHandle(FMOD_SYSTEM* handle, void** output) {
  auto system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (output == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(system->mutex);
  *output = system->device ? system->device->Handle() : nullptr;
  return FMOD_OK;
}

FMOD_RESULT SetUserData(FMOD_SYSTEM* handle, void* userdata) {
  auto system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  system->userData = userdata;
  return FMOD_OK;
}

FMOD_RESULT GetUserData(FMOD_SYSTEM* handle, void** userdata) {
  auto system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (userdata == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(system->mutex);
  *userdata = system->userData;
  return FMOD_OK;
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
  t.FMOD_SoundGroup_Stop = &SoundGroupStop;
  t.FMOD_SoundGroup_GetNumPlaying = &SoundGroupGetNumPlaying;
}};

}  // namespace
}  // namespace sonvel::engine
