// The API side of a sound: what FMOD_Sound_* calls read and change, and the
// helpers Sound.cpp (creation, release) and SoundApi.cpp (entry points)
// share. Not for the mixer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Decoder.h"
#include "Handles.h"
#include "Sound.h"

namespace sonvel::engine {

// A sync point: a named offset in one sound.
struct SyncPoint {
  FMOD_SOUND* sound = nullptr;
  std::uint32_t offset = 0;  // frames
  std::string name;
};
using SyncPointTable = HandleTable<SyncPoint, HandleKind::SyncPoint>;
SyncPointTable& SyncPoints();

struct Sound::Detail {
  std::mutex mutex;  // guards the non-atomic fields below

  // Fixed at creation.
  std::string name;
  FMOD_MODE createMode = 0;

  // Fixed once the sound is ready.
  int sampleRate = 0;
  FMOD_SOUND_TYPE type = FMOD_SOUND_TYPE_UNKNOWN;
  FMOD_SOUND_FORMAT format = FMOD_SOUND_FORMAT_NONE;
  std::uint64_t rawBytes = 0;
  bool openOnly = false;
  std::vector<DecodedTag> tagData;
  std::vector<FMOD_TAG> tags;  // views of tagData
  std::vector<bool> tagUpdated;
  std::vector<FMOD_SOUND*> subsounds;
  // Opens a fresh decoder over the same data (ReadData on streams).
  std::function<std::unique_ptr<Decoder>(FMOD_RESULT&)> reopen;

  // Open state of a non-blocking open.
  std::atomic<FMOD_OPENSTATE> openState{FMOD_OPENSTATE_READY};
  std::atomic<FMOD_RESULT> openResult{FMOD_OK};
  std::atomic<bool> cancel{false};
  std::thread worker;  // the non-blocking open and/or the stream thread

  std::atomic<void*> userData{nullptr};

  // Sync points in offset order, as the API sees them.
  std::vector<FMOD_SYNCPOINT*> syncPoints;
  // Curves a caller may still be reading; freed with the sound.
  std::vector<std::unique_ptr<const RolloffCurve>> rolloffSnapshots;

  // Lock/Unlock: staging buffers in the sound's format.
  struct LockPart {
    std::unique_ptr<unsigned char[]> bytes;
    std::uint64_t firstFrame = 0;
    std::uint64_t frames = 0;
    unsigned char* pointer = nullptr;  // what the caller got
  };
  struct LockRecord {
    LockPart first;
    LockPart second;  // wrapped part, may be empty
  };
  std::vector<LockRecord> locks;

  // ReadData/SeekData, guarded by readMutex (not `mutex`: a user sound's
  // read callback may call back into the sound).
  std::mutex readMutex;
  std::uint64_t readFrame = 0;
  std::unique_ptr<Decoder> readDecoder;
  std::vector<unsigned char> carry;  // converted bytes of a frame not yet handed out
  std::size_t carryAt = 0;
  std::vector<float> readScratch;
};

// Bytes of one frame in the sound's reported format.
int FrameBytes(const Sound& sound) noexcept;

// Converts between time units and frames for `sound`. FMOD_TIMEUNIT_MS,
// _PCM and _PCMBYTES; false for any other unit.
bool ToFrames(const Sound& sound, unsigned int value, FMOD_TIMEUNIT unit, std::uint64_t& frames) noexcept;
bool FromFrames(const Sound& sound, std::uint64_t frames, FMOD_TIMEUNIT unit, unsigned int& value) noexcept;

// Publishes the sync points of `sound` for the mixer (call with the
// detail's mutex held).
void PublishSyncPoints(Sound& sound);
// Adds a sync point (call with the detail's mutex held).
FMOD_SYNCPOINT* AddSyncPointLocked(Sound& sound, std::uint32_t offset, std::string name);

// Merges a mode given to FMOD_Sound_SetMode into a sound's mode; the loop,
// 2D/3D, relative and rolloff groups that `change` names replace theirs.
FMOD_MODE MergeMode(FMOD_MODE current, FMOD_MODE change) noexcept;

// Releases a sound and its sub-sounds: removes the handles, marks it
// released, stops the channels that play it and its threads.
void ReleaseSound(const std::shared_ptr<Sound>& sound) noexcept;

// Hands an object the mixer may still read (an unlocked sound's old frames)
// to the engine of `system`, which frees it once the mixer has moved on;
// freed at once when that system has no engine running.
void RetireForSystem(FMOD_SYSTEM* system, std::shared_ptr<void> object);

}  // namespace sonvel::engine
