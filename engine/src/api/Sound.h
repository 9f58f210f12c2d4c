// A sound: a sample decoded to float at creation, or a stream that a stream
// thread decodes into a ring buffer while it plays. What the mixer reads of
// it is its core::SoundData (frames, width, length, sync points), which every
// channel playing it shares; the rest (creation, queries, tags, locks) is the
// API's and lives here and in SoundDetail.h.
//
// Threads: the atomics may be read anywhere; everything else is for API
// threads, the non-atomic fields guarded by the detail's mutex.
//
// Lifetime: the handle table holds a std::shared_ptr<Sound>; its SoundData
// outlives FMOD_Sound_Release for as long as a channel still plays it, and
// a release first stops those channels.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "Handles.h"
#include "SoundData.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace sonvel::engine {

namespace io {
class Stream;
}

class System;

// The loop bits of a mode, which sounds, channels and streams carry apart
// from the rest.
inline constexpr FMOD_MODE kLoopBits = FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI;

// Immutable once published; empty when the sound has no custom rolloff.
// x is the distance, y the volume (0..1), z unused.
struct RolloffCurve {
  std::vector<FMOD_VECTOR> points;
};

class Sound {
public:
  // ---- Identity: fixed at creation, any thread.
  FMOD_SOUND* handle = nullptr;         // this sound's own handle
  const System* owner = nullptr;        // the system that created it
  FMOD_SYSTEM* systemHandle = nullptr;  // that system's handle
  FMOD_SOUND* parentHandle = nullptr;   // set on sub-sounds only

  // Set by FMOD_Sound_Release (and by ReleaseSoundsOf).
  std::atomic<bool> released{false};

  // What the mixer reads; made with the sound.
  const std::shared_ptr<core::SoundData> data = std::make_shared<core::SoundData>();

  // ---- Format: fixed once IsReady() is true, any thread.
  // False while a non-blocking open is in flight or after it failed.
  bool IsReady() const noexcept { return ready_.load(std::memory_order_acquire); }
  bool IsStream() const noexcept { return isStream_; }
  int Channels() const noexcept { return data->channels; }
  // Frames known so far. For a stream, the container's count until the
  // decoder finds the real end (a truncated file), then what was decoded.
  std::uint32_t LengthFrames() const noexcept { return data->length.load(std::memory_order_acquire); }

  // ---- Settings the API can change: atomics, any thread.
  float DefaultFrequency() const noexcept { return defaultFrequency_.load(std::memory_order_relaxed); }
  int DefaultPriority() const noexcept { return defaultPriority_.load(std::memory_order_relaxed); }
  // Loop bits (FMOD_LOOP_OFF/NORMAL/BIDI), FMOD_2D/FMOD_3D, 3D rolloff and
  // relative-mode bits, plus the creation flags.
  FMOD_MODE Mode() const noexcept { return mode_.load(std::memory_order_relaxed); }
  // Loop points in PCM frames; the end is inclusive.
  std::uint32_t LoopStart() const noexcept { return loopStart_.load(std::memory_order_relaxed); }
  std::uint32_t LoopEnd() const noexcept { return loopEnd_.load(std::memory_order_relaxed); }
  int LoopCount() const noexcept { return loopCount_.load(std::memory_order_relaxed); }  // -1: forever
  float MinDistance() const noexcept { return minDistance_.load(std::memory_order_relaxed); }
  float MaxDistance() const noexcept { return maxDistance_.load(std::memory_order_relaxed); }
  float ConeInsideAngle() const noexcept { return coneInside_.load(std::memory_order_relaxed); }
  float ConeOutsideAngle() const noexcept { return coneOutside_.load(std::memory_order_relaxed); }
  float ConeOutsideVolume() const noexcept { return coneOutsideVolume_.load(std::memory_order_relaxed); }
  FMOD_SOUNDGROUP* SoundGroup() const noexcept { return soundGroup_.load(std::memory_order_relaxed); }
  const RolloffCurve& CustomRolloff() const noexcept { return *rolloff_.load(std::memory_order_acquire); }
  const core::SyncPointList& SyncPoints() const noexcept { return *data->syncPoints.load(std::memory_order_acquire); }

  // ---- Streams only (no effect on samples), API threads.
  io::Stream* Stream() const noexcept { return stream_; }
  // Asks the stream thread to refill from `position` (frames).
  void SeekStream(std::uint64_t position) noexcept;
  // How the stream wraps (loop mode bits, points, count).
  void SetStreamLoop(FMOD_MODE loopMode, std::uint32_t loopStart, std::uint32_t loopEnd, int loopCount) noexcept;
  // Waits until at least `frames` frames are buffered, the stream has
  // ended, or `timeoutMs` has passed. Answers whether the data is there.
  bool WaitForStream(std::uint32_t frames, int timeoutMs) noexcept;

  // ---- Internals, built by Sound.cpp.
  struct Detail;
  Sound();
  ~Sound();
  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

  Detail& detail() noexcept { return *detail_; }

  std::atomic<bool> ready_{false};
  bool isStream_ = false;
  std::atomic<float> defaultFrequency_{44100.0f};
  std::atomic<int> defaultPriority_{128};
  std::atomic<FMOD_MODE> mode_{0};
  std::atomic<std::uint32_t> loopStart_{0};
  std::atomic<std::uint32_t> loopEnd_{0};
  std::atomic<int> loopCount_{-1};
  std::atomic<float> minDistance_{1.0f};
  std::atomic<float> maxDistance_{10000.0f};
  std::atomic<float> coneInside_{360.0f};
  std::atomic<float> coneOutside_{360.0f};
  std::atomic<float> coneOutsideVolume_{1.0f};
  std::atomic<FMOD_SOUNDGROUP*> soundGroup_{nullptr};
  std::atomic<const RolloffCurve*> rolloff_;
  io::Stream* stream_ = nullptr;  // owned by data->stream
  std::unique_ptr<Detail> detail_;
};

using SoundTable = HandleTable<Sound, HandleKind::Sound>;
SoundTable& Sounds();

// Releases every sound that `system` created (FMOD_System_Release and
// FMOD_System_Close call it). Stops their stream threads.
void ReleaseSoundsOf(const System* system) noexcept;

}  // namespace sonvel::engine
