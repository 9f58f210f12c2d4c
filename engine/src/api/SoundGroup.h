// Sound groups: named sets of sounds with a shared volume and a limit on how
// many of their sounds may be heard at once. Every system has a master group,
// made on first request; a sound that was never moved (or whose group was
// released) belongs to it.
//
// Membership is kept on the sound (Sound::SoundGroup(), null for the master
// group), so a group holds no list of its own; GetNumSounds and GetSound walk
// the live sounds of the group's system.
//
// The settings are atomics so that the mixer may read them:
//
//   std::shared_ptr<SoundGroup> group = SoundGroups().Find(sound->SoundGroup());
//   const int limit = group ? group->maxAudible.load() : -1;   // -1: no limit
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Handles.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace sonvel::engine {

class Sound;
class System;

class SoundGroup {
public:
  // Fixed at creation.
  FMOD_SOUNDGROUP* handle = nullptr;
  const System* owner = nullptr;
  FMOD_SYSTEM* systemHandle = nullptr;
  bool isMaster = false;
  std::string name;

  // Settings, any thread.
  std::atomic<int> maxAudible{-1};  // -1: no limit
  std::atomic<FMOD_SOUNDGROUP_BEHAVIOR> behavior{FMOD_SOUNDGROUP_BEHAVIOR_FAIL};
  std::atomic<float> muteFadeSpeed{0.0f};  // seconds
  std::atomic<float> volume{1.0f};
  std::atomic<void*> userData{nullptr};
};

using SoundGroupTable = HandleTable<SoundGroup, HandleKind::SoundGroup>;
SoundGroupTable& SoundGroups();

// The master group of a system, made on first request (takes system.mutex).
FMOD_SOUNDGROUP* MasterSoundGroupOf(System& system, FMOD_SYSTEM* systemHandle);

// The group a sound belongs to: its own group while that is alive, else the
// master group of its system (null when that system is gone).
FMOD_SOUNDGROUP* EffectiveSoundGroup(const Sound& sound);

// Whether `sound` is in `group` (the master group has every sound of its
// system that is in no other live group).
bool BelongsTo(const Sound& sound, const SoundGroup& group);

// The live sounds of `group`, in handle order.
std::vector<std::shared_ptr<Sound>> SoundsInGroup(const SoundGroup& group);

// Releases every group that `system` created, the master group included
// (FMOD_System_Release calls it). Their sounds fall back to the master group.
void ReleaseSoundGroupsOf(const System* system) noexcept;

}  // namespace sonvel::engine
