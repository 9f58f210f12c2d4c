// Sound groups: creation, the master group, and the FMOD_SoundGroup_* calls.
#include "SoundGroup.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Api.h"
#include "Registry.h"
#include "Sound.h"
#include "System.h"

namespace sonvel::engine {

SoundGroupTable& SoundGroups() {
  static SoundGroupTable table;
  return table;
}

namespace {

std::shared_ptr<SoundGroup> NewGroup(const System& system, FMOD_SYSTEM* systemHandle, std::string name, bool master) {
  auto group = std::make_shared<SoundGroup>();
  group->owner = &system;
  group->systemHandle = systemHandle;
  group->isMaster = master;
  group->name = std::move(name);
  group->handle = SoundGroups().Add<FMOD_SOUNDGROUP>(group);
  return group;
}

}  // namespace

FMOD_SOUNDGROUP* MasterSoundGroupOf(System& system, FMOD_SYSTEM* systemHandle) {
  std::lock_guard lock(system.mutex);
  if (system.masterSoundGroup == nullptr || !SoundGroups().Find(system.masterSoundGroup))
    system.masterSoundGroup = NewGroup(system, systemHandle, "master", true)->handle;
  return system.masterSoundGroup;
}

FMOD_SOUNDGROUP* EffectiveSoundGroup(const Sound& sound) {
  FMOD_SOUNDGROUP* own = sound.SoundGroup();
  if (own != nullptr) {
    auto group = SoundGroups().Find(own);
    if (group && group->owner == sound.owner) return own;
  }
  std::shared_ptr<System> system = Systems().Find(sound.systemHandle);
  if (!system || system.get() != sound.owner) return nullptr;
  return MasterSoundGroupOf(*system, sound.systemHandle);
}

bool BelongsTo(const Sound& sound, const SoundGroup& group) {
  if (sound.owner != group.owner) return false;
  FMOD_SOUNDGROUP* own = sound.SoundGroup();
  if (own == group.handle) return true;
  if (!group.isMaster) return false;
  // Never moved, or moved to a group that is gone.
  auto other = own != nullptr ? SoundGroups().Find(own) : nullptr;
  return !other || other->owner != group.owner;
}

std::vector<std::shared_ptr<Sound>> SoundsInGroup(const SoundGroup& group) {
  std::vector<std::shared_ptr<Sound>> members;
  for (std::shared_ptr<Sound>& sound : Sounds().All())
    if (BelongsTo(*sound, group)) members.push_back(std::move(sound));
  return members;
}

namespace {

// Moves the sounds of a group that is going away back to the master group.
void Disband(const SoundGroup& group) {
  for (const std::shared_ptr<Sound>& sound : Sounds().All())
    if (sound->SoundGroup() == group.handle) sound->soundGroup_.store(nullptr, std::memory_order_relaxed);
}

}  // namespace

void ReleaseSoundGroupsOf(const System* system) noexcept {
  try {
    for (const std::shared_ptr<SoundGroup>& group : SoundGroups().All())
      if (group->owner == system && SoundGroups().Remove(group->handle)) Disband(*group);
  } catch (...) {
  }
}

namespace {

FMOD_RESULT CreateSoundGroup(FMOD_SYSTEM* systemHandle, const char* name, FMOD_SOUNDGROUP** out) {
  std::shared_ptr<System> system = Systems().Find(systemHandle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (out == nullptr) return FMOD_ERR_INVALID_PARAM;
  *out = NewGroup(*system, systemHandle, name != nullptr ? name : "", false)->handle;
  return FMOD_OK;
}

FMOD_RESULT GetMasterSoundGroup(FMOD_SYSTEM* systemHandle, FMOD_SOUNDGROUP** out) {
  std::shared_ptr<System> system = Systems().Find(systemHandle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (out == nullptr) return FMOD_ERR_INVALID_PARAM;
  *out = MasterSoundGroupOf(*system, systemHandle);
  return FMOD_OK;
}

FMOD_RESULT Release(FMOD_SOUNDGROUP* handle) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  // The system owns its master group.
  if (group->isMaster) return FMOD_ERR_INVALID_PARAM;
  if (!SoundGroups().Remove(handle)) return FMOD_ERR_INVALID_HANDLE;
  Disband(*group);
  return FMOD_OK;
}

FMOD_RESULT GetSystemObject(FMOD_SOUNDGROUP* handle, FMOD_SYSTEM** system) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
  *system = group->systemHandle;
  return FMOD_OK;
}

FMOD_RESULT SetMaxAudible(FMOD_SOUNDGROUP* handle, int maxAudible) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (maxAudible < -1) return FMOD_ERR_INVALID_PARAM;
  group->maxAudible = maxAudible;
  return FMOD_OK;
}

FMOD_RESULT GetMaxAudible(FMOD_SOUNDGROUP* handle, int* maxAudible) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (maxAudible == nullptr) return FMOD_ERR_INVALID_PARAM;
  *maxAudible = group->maxAudible;
  return FMOD_OK;
}

FMOD_RESULT SetMaxAudibleBehavior(FMOD_SOUNDGROUP* handle, FMOD_SOUNDGROUP_BEHAVIOR behavior) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (int(behavior) < 0 || int(behavior) >= int(FMOD_SOUNDGROUP_BEHAVIOR_MAX)) return FMOD_ERR_INVALID_PARAM;
  group->behavior = behavior;
  return FMOD_OK;
}

FMOD_RESULT GetMaxAudibleBehavior(FMOD_SOUNDGROUP* handle, FMOD_SOUNDGROUP_BEHAVIOR* behavior) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (behavior == nullptr) return FMOD_ERR_INVALID_PARAM;
  *behavior = group->behavior;
  return FMOD_OK;
}

FMOD_RESULT SetMuteFadeSpeed(FMOD_SOUNDGROUP* handle, float speed) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (!std::isfinite(speed) || speed < 0.0f) return FMOD_ERR_INVALID_PARAM;
  group->muteFadeSpeed = speed;
  return FMOD_OK;
}

FMOD_RESULT GetMuteFadeSpeed(FMOD_SOUNDGROUP* handle, float* speed) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (speed == nullptr) return FMOD_ERR_INVALID_PARAM;
  *speed = group->muteFadeSpeed;
  return FMOD_OK;
}

FMOD_RESULT SetVolume(FMOD_SOUNDGROUP* handle, float volume) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (!std::isfinite(volume) || volume < 0.0f) return FMOD_ERR_INVALID_PARAM;
  group->volume = volume;
  return FMOD_OK;
}

FMOD_RESULT GetVolume(FMOD_SOUNDGROUP* handle, float* volume) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (volume == nullptr) return FMOD_ERR_INVALID_PARAM;
  *volume = group->volume;
  return FMOD_OK;
}

FMOD_RESULT GetName(FMOD_SOUNDGROUP* handle, char* name, int length) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  return CopyName(group->name, name, length);
}

FMOD_RESULT GetNumSounds(FMOD_SOUNDGROUP* handle, int* count) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = static_cast<int>(SoundsInGroup(*group).size());
  return FMOD_OK;
}

FMOD_RESULT GetSound(FMOD_SOUNDGROUP* handle, int index, FMOD_SOUND** sound) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (sound == nullptr) return FMOD_ERR_INVALID_PARAM;
  *sound = nullptr;
  const auto members = SoundsInGroup(*group);
  if (index < 0 || std::size_t(index) >= members.size()) return FMOD_ERR_INVALID_PARAM;
  *sound = members[std::size_t(index)]->handle;
  return FMOD_OK;
}

// Runs `f` on every channel of the group's system whose sound is in the
// group, the graph's mutex held. Before Init there are none.
template <typename F>
FMOD_RESULT ForChannelsOf(FMOD_SOUNDGROUP* handle, F&& f) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  std::shared_ptr<core::Engine> engine = EngineOf(group->systemHandle);
  if (!engine) return FMOD_OK;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_OK;
  engine->graph.Poll();
  for (core::Channel* channel : std::vector<core::Channel*>(engine->graph.Channels())) {
    std::shared_ptr<Sound> sound = channel->PlaysSound() ? Sounds().Find(channel->soundHandle) : nullptr;
    if (sound && BelongsTo(*sound, *group)) f(engine->graph, *channel);
  }
  return FMOD_OK;
}

FMOD_RESULT Stop(FMOD_SOUNDGROUP* handle) {
  return ForChannelsOf(handle, [](core::Graph& graph, core::Channel& channel) { graph.Stop(channel); });
}

FMOD_RESULT GetNumPlaying(FMOD_SOUNDGROUP* handle, int* count) {
  if (!SoundGroups().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  int playing = 0;
  const FMOD_RESULT result = ForChannelsOf(handle, [&](core::Graph&, core::Channel&) { ++playing; });
  *count = playing;
  return result;
}

FMOD_RESULT SetUserData(FMOD_SOUNDGROUP* handle, void* userData) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  group->userData = userData;
  return FMOD_OK;
}

FMOD_RESULT GetUserData(FMOD_SOUNDGROUP* handle, void** userData) {
  auto group = SoundGroups().Find(handle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (userData == nullptr) return FMOD_ERR_INVALID_PARAM;
  *userData = group->userData;
  return FMOD_OK;
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_System_CreateSoundGroup = &CreateSoundGroup;
  t.FMOD_System_GetMasterSoundGroup = &GetMasterSoundGroup;
  t.FMOD_SoundGroup_Release = &Release;
  t.FMOD_SoundGroup_GetSystemObject = &GetSystemObject;
  t.FMOD_SoundGroup_SetMaxAudible = &SetMaxAudible;
  t.FMOD_SoundGroup_GetMaxAudible = &GetMaxAudible;
  t.FMOD_SoundGroup_SetMaxAudibleBehavior = &SetMaxAudibleBehavior;
  t.FMOD_SoundGroup_GetMaxAudibleBehavior = &GetMaxAudibleBehavior;
  t.FMOD_SoundGroup_SetMuteFadeSpeed = &SetMuteFadeSpeed;
  t.FMOD_SoundGroup_GetMuteFadeSpeed = &GetMuteFadeSpeed;
  t.FMOD_SoundGroup_SetVolume = &SetVolume;
  t.FMOD_SoundGroup_GetVolume = &GetVolume;
  t.FMOD_SoundGroup_GetName = &GetName;
  t.FMOD_SoundGroup_GetNumSounds = &GetNumSounds;
  t.FMOD_SoundGroup_GetSound = &GetSound;
  t.FMOD_SoundGroup_Stop = &Stop;
  t.FMOD_SoundGroup_GetNumPlaying = &GetNumPlaying;
  t.FMOD_SoundGroup_SetUserData = &SetUserData;
  t.FMOD_SoundGroup_GetUserData = &GetUserData;
}};

}  // namespace
}  // namespace sonvel::engine
