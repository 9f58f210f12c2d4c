// What the mixer sees of a sound: its width and length, its frames (a sample
// decoded to float, or a stream's reader) and its sync points.
//
// A sound's API object owns one SoundData through a shared pointer, and
// every channel that plays the sound holds another, so the data outlives a
// release until the mixer has let go of the channel. The mixer keeps raw
// pointers only. Everything the mixer reads is atomic or fixed before the
// first play.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace sonvel::engine::core {

// A stream's decoded frames, read in order by the mixer. Implemented by the
// stream ring; every member is safe on the mixer thread: none blocks,
// allocates or decodes.
class StreamSource {
public:
  virtual ~StreamSource() = default;
  // Copies up to `count` frames into `out` and answers how many, and in
  // `position` the source position of the first. Each read is one run of
  // consecutive source frames: it stops early where the position jumps (a
  // loop wrap, a seek), at the end of the data, or where the stream thread
  // has not caught up (Ended tells which).
  virtual std::uint32_t Read(float* out, std::uint32_t count, std::uint64_t& position) noexcept = 0;
  // The source position of the next frame Read delivers.
  virtual std::uint64_t Position() const noexcept = 0;
  // True once everything up to the end was read.
  virtual bool Ended() const noexcept = 0;
  // Asks for the frames from `position` on (the old ones are dropped).
  virtual void Seek(std::uint64_t position) noexcept = 0;
};

// One sync point as the mixer sees it; its index in the list is the index
// the sync-point callback reports.
struct SyncPointView {
  std::uint32_t offset = 0;  // frames from the start of the sound
  FMOD_SYNCPOINT* handle = nullptr;
};

// Sorted by offset; immutable once published.
struct SyncPointList {
  std::vector<SyncPointView> points;
};

struct SoundData {
  int channels = 0;
  // Frames known so far (a stream may find that its file ends earlier).
  std::atomic<std::uint32_t> length{0};

  // A sample's interleaved frames, channels per frame; null for streams.
  // Replaced whole (never written in place) when the sound is unlocked: the
  // mixer reads the pointer once per block.
  std::atomic<const float*> samples{nullptr};
  // Owns what `samples` points at (API side).
  std::shared_ptr<const std::vector<float>> sampleOwner;

  // A stream's reader; null for samples.
  std::unique_ptr<StreamSource> stream;

  std::atomic<const SyncPointList*> syncPoints{nullptr};
  // Every list ever published, kept while the mixer may still read one.
  std::vector<std::unique_ptr<const SyncPointList>> syncSnapshots;

  bool IsStream() const noexcept { return stream != nullptr; }
};

}  // namespace sonvel::engine::core
