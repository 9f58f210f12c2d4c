// The stream of a streamed sound: a decoder that a stream thread runs ahead
// of the mixer into a single-producer, single-consumer ring of float frames.
//
// The producer (the stream thread, or the creating thread while it fills the
// ring before the thread starts) decodes in order, wrapping at the loop
// points it follows. The consumer (the mixer) takes frames in order and
// never waits. Jumps in the source position -- a seek, a loop wrap, the end
// -- travel through the ring as marks, so the consumer always knows the
// source position of the next frame, and data decoded before a seek is
// recognised by its generation and dropped.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Decoder.h"
#include "SoundData.h"

namespace sonvel::engine::io {

// What of its sound the stream thread corrects when the file turns out to
// end early: the length and the loop points. All owned by the sound and
// touched by the producer only.
struct StreamLinks {
  std::atomic<std::uint32_t>* length = nullptr;
  std::atomic<std::uint32_t>* loopStart = nullptr;
  std::atomic<std::uint32_t>* loopEnd = nullptr;
  const std::atomic<bool>* cancel = nullptr;  // the stream thread ends when set
};

// How the stream wraps to begin with.
struct StreamLoop {
  FMOD_MODE mode = FMOD_LOOP_OFF;
  std::uint32_t start = 0;
  std::uint32_t end = 0;  // inclusive
  int count = -1;
};

class Stream final : public core::StreamSource {
public:
  // `initialPosition` in frames. The ring holds at least `bufferFrames`.
  Stream(std::unique_ptr<Decoder> decoder, std::uint32_t bufferFrames, std::uint64_t initialPosition,
         const StreamLoop& loop, const StreamLinks& links);
  ~Stream() override;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // ---- Producer side.
  // Decodes until the ring is full or the data ends (the creating thread,
  // before the stream thread runs).
  void Fill();
  // The stream thread's loop; returns once Stop() was called.
  void Run();
  void Stop();

  // ---- Consumer side (the mixer). Each read is one run of consecutive
  // source frames: it stops where a loop wrap or a seek jumps.
  std::uint32_t Read(float* out, std::uint32_t count, std::uint64_t& position) noexcept override;

  // Consumer side too: drops what was decoded before the latest seek, so
  // that the stream thread has room for the new frames. For a caller that
  // stands in for the mixer (which must not read meanwhile).
  void DropStale() noexcept;

  // ---- Any thread. Seek never waits (the mixer calls it too).
  void Seek(std::uint64_t position) noexcept override;
  void SetLoop(FMOD_MODE loopMode, std::uint32_t loopStart, std::uint32_t loopEnd, int loopCount) noexcept;
  std::uint64_t Position() const noexcept override { return readPosition_.load(std::memory_order_acquire); }
  bool Ended() const noexcept override;
  bool Starving() const noexcept { return starving_.load(std::memory_order_relaxed); }
  bool Busy() const noexcept { return busy_.load(std::memory_order_relaxed); }
  bool SeekPending() const noexcept;
  // True once the decoder has delivered everything up to the end (the
  // current generation's data is all in the ring or already read).
  bool ProducedAll() const noexcept { return !SeekPending() && producedAll_.load(std::memory_order_acquire); }
  // Buffered frames of the current generation, and the ring's size.
  std::uint64_t Buffered() const noexcept;
  std::uint64_t Capacity() const noexcept { return capacity_; }
  bool WaitFor(std::uint32_t frames, int timeoutMs) noexcept;

private:
  struct Mark {
    std::uint64_t ringFrame = 0;
    std::uint64_t sourcePosition = 0;
    std::uint32_t generation = 0;
    bool end = false;
  };
  static constexpr std::uint64_t kMarks = 256;
  enum class Pending { None, Wrap, End };

  // One step of the producer; false when there was nothing to do.
  bool Pump();
  bool PushMark(std::uint64_t sourcePosition, bool end);
  void FoundEnd();

  // The seek asked for: generation in the high 32 bits, target frame in the
  // low, changed as one so that concurrent seekers never mix.
  static std::uint32_t GenerationOf(std::uint64_t request) noexcept { return std::uint32_t(request >> 32); }
  static std::uint64_t TargetOf(std::uint64_t request) noexcept { return request & 0xFFFFFFFFu; }
  std::uint32_t SeekGeneration() const noexcept { return GenerationOf(seek_.load(std::memory_order_acquire)); }
  void Request(std::uint64_t target, bool unlessThere) noexcept;

  const StreamLinks links_;
  std::unique_ptr<Decoder> decoder_;
  const int channels_;
  std::uint64_t capacity_ = 0;  // frames, a power of two
  std::vector<float> ring_;
  std::atomic<std::uint64_t> written_{0};   // frames, producer
  std::atomic<std::uint64_t> consumed_{0};  // frames, consumer
  std::array<Mark, kMarks> marks_{};
  std::atomic<std::uint64_t> marksWritten_{0};
  std::atomic<std::uint64_t> marksConsumed_{0};

  // Requests.
  std::atomic<std::uint64_t> seek_{0};
  std::mutex loopMutex_;  // API threads setting the loop
  std::atomic<FMOD_MODE> loopMode_{FMOD_LOOP_OFF};
  std::atomic<std::uint32_t> loopStart_{0};
  std::atomic<std::uint32_t> loopEnd_{0};
  std::atomic<int> loopCount_{0};

  // Producer state.
  std::uint32_t producerGeneration_ = 0;
  std::uint64_t position_ = 0;         // source position of the next decoded frame
  std::uint64_t runStart_ = 0;         // where the current run of decoding began
  bool runFromValidSeek_ = true;
  std::uint64_t framesSinceWrap_ = 0;
  int loopsDone_ = 0;
  Pending pending_ = Pending::None;
  bool producerEnded_ = false;
  std::vector<float> scratch_;
  std::atomic<std::uint32_t> producedGeneration_{0};
  std::atomic<std::uint64_t> generationStart_{0};
  std::atomic<bool> producedAll_{false};
  std::atomic<bool> busy_{false};

  // Consumer state.
  std::uint32_t consumerGeneration_ = 0;
  std::uint64_t consumerPosition_ = 0;
  bool consumerEnded_ = false;
  std::atomic<std::uint64_t> readPosition_{0};
  std::atomic<std::uint32_t> readGeneration_{0};
  std::atomic<bool> ended_{false};
  std::atomic<bool> starving_{false};

  // Waking the stream thread.
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::atomic<bool> stop_{false};
};

}  // namespace sonvel::engine::io
