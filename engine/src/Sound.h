// A sound: a sample decoded to float at creation, or a stream that a stream
// thread decodes into a ring buffer while it plays. This header is what the
// mixer and the channels see of a sound; the API side (creation, queries,
// tags, locks) lives in Sound.cpp.
//
// Threads:
// - The fields and accessors marked "any thread" are atomics or are fixed
//   once the sound is ready (IsReady()), and may be read by the mixer.
// - ReadFrames is the mixer's read: it never blocks and never allocates.
// - Everything else is for API threads.
//
// Lifetime: the handle table holds a std::shared_ptr<Sound>. A channel that
// plays a sound keeps its own shared_ptr (from Sounds().Find) so the sample
// memory outlives FMOD_Sound_Release; after a release `released` is true,
// a stream stops delivering data, and the mixer should end the voice. Drop
// that shared_ptr on an API thread, not in the mixer, since the last owner
// frees the sample memory.
//
// Usage from a channel:
//
//   std::shared_ptr<Sound> sound = Sounds().Find(soundHandle);
//   if (!sound) return FMOD_ERR_INVALID_HANDLE;
//   if (!sound->IsReady()) return FMOD_ERR_NOTREADY;
//   if (sound->IsStream()) sound->SeekStream(0);
//   ... in the mixer:
//   std::uint32_t got = sound->ReadFrames(position, buffer, frames);
//   position += got;   // for streams, sound->StreamPosition() is authoritative
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "Handles.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace sonvel::engine {

class System;

// One sync point as the mixer sees it. The index of a point in its list is
// the index the sync-point callback reports.
struct SyncPointView {
  std::uint32_t offset = 0;  // PCM frames from the start of the sound
  FMOD_SYNCPOINT* handle = nullptr;
};

// Immutable once published; sorted by offset.
struct SyncPointList {
  std::vector<SyncPointView> points;
};

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

  // Set by FMOD_Sound_Release (and by ReleaseSoundsOf). The mixer ends the
  // voices of a released sound.
  std::atomic<bool> released{false};

  // ---- Format: fixed once IsReady() is true, any thread.
  // False while a non-blocking open is in flight or after it failed; the
  // mixer must not read such a sound (FMOD_System_PlaySound answers
  // FMOD_ERR_NOTREADY).
  bool IsReady() const noexcept { return ready_.load(std::memory_order_acquire); }
  bool IsStream() const noexcept { return isStream_; }
  int Channels() const noexcept { return channels_; }
  // Frames known so far. For a sample, what was decoded. For a stream, the
  // container's count until the decoder finds the real end (a truncated
  // file), then what was decoded.
  std::uint32_t LengthFrames() const noexcept { return lengthFrames_.load(std::memory_order_acquire); }

  // ---- Settings the API can change: atomics, any thread.
  float DefaultFrequency() const noexcept { return defaultFrequency_.load(std::memory_order_relaxed); }
  int DefaultPriority() const noexcept { return defaultPriority_.load(std::memory_order_relaxed); }
  // Loop bits (FMOD_LOOP_OFF/NORMAL/BIDI), FMOD_2D/FMOD_3D, 3D rolloff and
  // relative-mode bits, plus the creation flags.
  FMOD_MODE Mode() const noexcept { return mode_.load(std::memory_order_relaxed); }
  // Loop points in PCM frames; the end is inclusive (the last frame played
  // before jumping back to the start).
  std::uint32_t LoopStart() const noexcept { return loopStart_.load(std::memory_order_relaxed); }
  std::uint32_t LoopEnd() const noexcept { return loopEnd_.load(std::memory_order_relaxed); }
  int LoopCount() const noexcept { return loopCount_.load(std::memory_order_relaxed); }  // -1: forever
  float MinDistance() const noexcept { return minDistance_.load(std::memory_order_relaxed); }
  float MaxDistance() const noexcept { return maxDistance_.load(std::memory_order_relaxed); }
  float ConeInsideAngle() const noexcept { return coneInside_.load(std::memory_order_relaxed); }
  float ConeOutsideAngle() const noexcept { return coneOutside_.load(std::memory_order_relaxed); }
  float ConeOutsideVolume() const noexcept { return coneOutsideVolume_.load(std::memory_order_relaxed); }
  FMOD_SOUNDGROUP* SoundGroup() const noexcept { return soundGroup_.load(std::memory_order_relaxed); }
  // Lock-free snapshots; the reference stays valid while the Sound lives.
  const RolloffCurve& CustomRolloff() const noexcept { return *rolloff_.load(std::memory_order_acquire); }
  const SyncPointList& SyncPoints() const noexcept { return *syncPoints_.load(std::memory_order_acquire); }

  // ---- The mixer's read.
  // Copies up to `count` frames of interleaved float, Channels() values per
  // frame, into `out`, and answers how many it copied. Never blocks, never
  // allocates. Fewer than `count` means the end of the data or, for a stream,
  // that the stream thread has not caught up (EndOfStream() tells which).
  // Samples read at `position` (frames). Streams ignore `position`: they
  // deliver their decoded data in order, already wrapped at the loop points
  // the stream follows (see SetStreamLoop).
  std::uint32_t ReadFrames(std::uint64_t position, float* out, std::uint32_t count) noexcept;

  // ---- Streams only (no effect on samples).
  // Asks the stream thread to refill from `position` (frames). Data still in
  // the ring is dropped; ReadFrames delivers nothing until the new data
  // arrives. Cheap no-op when the ring already continues at `position`.
  void SeekStream(std::uint64_t position) noexcept;
  // Source position (frames) of the next frame ReadFrames will deliver.
  std::uint64_t StreamPosition() const noexcept;
  // True once the decoder has reached the end (no loop left) and every
  // decoded frame was read. For samples: always false.
  bool EndOfStream() const noexcept;
  // How the stream wraps: the loop mode bits of FMOD_MODE, the loop points
  // (frames, end inclusive) and the loop count (-1 forever). A stream starts
  // with the sound's own settings; a channel that plays it with others calls
  // this. A change drops what was decoded past the current read position.
  void SetStreamLoop(FMOD_MODE loopMode, std::uint32_t loopStart, std::uint32_t loopEnd, int loopCount) noexcept;
  // API threads only (the non-real-time outputs call it before mixing a
  // block): waits until at least `frames` frames are buffered, the stream
  // has ended, or `timeoutMs` has passed. Answers whether the data is there.
  bool WaitForStream(std::uint32_t frames, int timeoutMs) noexcept;

  // ---- Internals, built by Sound.cpp.
  struct Detail;
  struct StreamState;
  Sound();
  ~Sound();
  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

  Detail& detail() noexcept { return *detail_; }

  std::atomic<bool> ready_{false};
  bool isStream_ = false;
  int channels_ = 0;
  std::atomic<std::uint32_t> lengthFrames_{0};
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
  std::atomic<const SyncPointList*> syncPoints_;
  std::vector<float> samples_;  // samples: interleaved float, LengthFrames() * Channels()
  std::unique_ptr<StreamState> stream_;
  std::unique_ptr<Detail> detail_;
};

using SoundTable = HandleTable<Sound, HandleKind::Sound>;
SoundTable& Sounds();

// Releases every sound that `system` created (FMOD_System_Release and
// FMOD_System_Close call it). Stops their stream threads.
void ReleaseSoundsOf(const System* system) noexcept;

}  // namespace sonvel::engine
