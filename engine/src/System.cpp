// The system's lifecycle: create, init, update, close, release.
#include "System.h"

#include "Log.h"
#include "Mixer.h"

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

FMOD_RESULT Init(FMOD_SYSTEM* handle, int maxchannels, FMOD_INITFLAGS flags, void* /*extradriverdata*/) {
  auto system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (maxchannels < 0 || maxchannels > kMaxChannels) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(system->mutex);
  if (system->state == System::State::Initialised) return FMOD_ERR_INITIALIZED;
  system->maxChannels = maxchannels;
  system->initFlags = flags;
  system->outputType = FMOD_OUTPUTTYPE_NOSOUND;
  system->state = System::State::Initialised;
  log::Info("FMOD_System_Init", "initialised with " + std::to_string(maxchannels) + " channels");
  return FMOD_OK;
}

FMOD_RESULT Close(FMOD_SYSTEM* handle) {
  auto system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  system->state = System::State::Created;
    return FMOD_OK;
}

FMOD_RESULT Release(FMOD_SYSTEM* handle) {
  auto system = Systems().Remove(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  system->state = System::State::Created;
  return FMOD_OK;
}

FMOD_RESULT Update(FMOD_SYSTEM* handle) {
  auto system = Systems().Find(handle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  std::lock_guard lock(system->mutex);
  if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
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
}};

}  // namespace
}  // namespace sonvel::engine
