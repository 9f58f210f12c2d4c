// The stream ring: the stream thread decodes ahead, the mixer reads.
#include "Stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace sonvel::engine::io {

namespace {
constexpr std::uint32_t kChunkFrames = 4096;
constexpr auto kIdleWait = std::chrono::milliseconds(2);

std::uint64_t PowerOfTwoAtLeast(std::uint64_t n) {
  std::uint64_t p = 1;
  while (p < n) p <<= 1;
  return p;
}
}  // namespace

Stream::Stream(std::unique_ptr<Decoder> decoder, std::uint32_t bufferFrames, std::uint64_t initialPosition,
               const StreamLoop& loop, const StreamLinks& links)
    : links_(links), decoder_(std::move(decoder)), channels_(decoder_->Info().channels) {
  capacity_ = PowerOfTwoAtLeast(std::max<std::uint64_t>(bufferFrames, 2 * kChunkFrames));
  ring_.assign(capacity_ * std::uint64_t(channels_), 0.0f);
  scratch_.assign(std::size_t(kChunkFrames) * channels_, 0.0f);
  loopMode_ = loop.mode & (FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI);
  loopStart_ = loop.start;
  loopEnd_ = loop.end;
  loopCount_ = loop.count;

  position_ = initialPosition;
  runStart_ = initialPosition;
  if (initialPosition != 0) runFromValidSeek_ = decoder_->Seek(initialPosition);
  if (!runFromValidSeek_) pending_ = Pending::End;
  PushMark(initialPosition, false);
  consumerPosition_ = initialPosition;
  readPosition_ = initialPosition;
}

Stream::~Stream() { Stop(); }

void Stream::Stop() {
  {
    std::lock_guard lock(wakeMutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void Stream::Fill() {
  while (!stop_.load(std::memory_order_relaxed) && Pump()) {
  }
}

void Stream::Run() {
  // A release that raced with a non-blocking open may have set the sound's
  // cancel flag before this state was visible to it; the timed wait below
  // makes sure the thread sees it.
  while (!stop_.load(std::memory_order_relaxed) &&
         !(links_.cancel != nullptr && links_.cancel->load(std::memory_order_relaxed))) {
    if (Pump()) continue;
    std::unique_lock lock(wakeMutex_);
    if (stop_) break;
    wake_.wait_for(lock, kIdleWait);
  }
}

bool Stream::PushMark(std::uint64_t sourcePosition, bool end) {
  const std::uint64_t w = marksWritten_.load(std::memory_order_relaxed);
  if (w - marksConsumed_.load(std::memory_order_acquire) >= kMarks) return false;
  Mark& mark = marks_[w % kMarks];
  mark.ringFrame = written_.load(std::memory_order_relaxed);
  mark.sourcePosition = sourcePosition;
  mark.generation = producerGeneration_;
  mark.end = end;
  marksWritten_.store(w + 1, std::memory_order_release);
  return true;
}

// The decoder ran out of data at position_: for a run that started at the
// beginning or from a valid seek, that is the sound's real length.
void Stream::FoundEnd() {
  if (!runFromValidSeek_ || position_ == 0 || position_ > 0xFFFFFFFFu) return;
  if (position_ <= runStart_ && runStart_ != 0) return;
  const auto length = static_cast<std::uint32_t>(position_);
  if (links_.length == nullptr || links_.length->load(std::memory_order_relaxed) == length) return;
  links_.length->store(length, std::memory_order_release);
  if (links_.loopEnd != nullptr && links_.loopEnd->load(std::memory_order_relaxed) >= length)
    links_.loopEnd->store(length - 1, std::memory_order_relaxed);
  if (links_.loopStart != nullptr && links_.loopStart->load(std::memory_order_relaxed) >= length)
    links_.loopStart->store(0, std::memory_order_relaxed);
}

bool Stream::Pump() {
  // A seek asked for starts a new generation.
  const std::uint64_t request = seek_.load(std::memory_order_acquire);
  const std::uint32_t generation = GenerationOf(request);
  if (generation != producerGeneration_) {
    if (marksWritten_.load(std::memory_order_relaxed) - marksConsumed_.load(std::memory_order_acquire) >= kMarks)
      return false;
    const std::uint64_t target = TargetOf(request);
    producerGeneration_ = generation;
    position_ = target;
    runStart_ = target;
    loopsDone_ = 0;
    framesSinceWrap_ = 0;
    producerEnded_ = false;
    producedAll_.store(false, std::memory_order_relaxed);
    busy_ = true;
    runFromValidSeek_ = decoder_->Seek(target);
    busy_ = false;
    pending_ = runFromValidSeek_ ? Pending::None : Pending::End;
    PushMark(target, false);
    generationStart_.store(written_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    producedGeneration_.store(generation, std::memory_order_release);
    return true;
  }
  if (producerEnded_) return false;

  const FMOD_MODE loopMode = loopMode_.load(std::memory_order_relaxed);
  const std::uint32_t loopStart = loopStart_.load(std::memory_order_relaxed);
  const std::uint32_t loopEnd = loopEnd_.load(std::memory_order_relaxed);
  const int loopCount = loopCount_.load(std::memory_order_relaxed);
  const bool loops = (loopMode & (FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI)) != 0 && !(loopMode & FMOD_LOOP_OFF) &&
                     loopStart <= loopEnd && (loopCount < 0 || loopsDone_ < loopCount);

  if (pending_ == Pending::Wrap) {
    if (!loops) {
      pending_ = Pending::End;
    } else {
      if (!PushMark(loopStart, false)) return false;
      ++loopsDone_;
      busy_ = true;
      const bool sought = decoder_->Seek(loopStart);
      busy_ = false;
      position_ = loopStart;
      runStart_ = loopStart;
      runFromValidSeek_ = sought;
      framesSinceWrap_ = 0;
      pending_ = sought ? Pending::None : Pending::End;
      return true;
    }
  }
  if (pending_ == Pending::End) {
    if (!PushMark(position_, true)) return false;
    producerEnded_ = true;
    producedAll_.store(true, std::memory_order_release);
    pending_ = Pending::None;
    return true;
  }

  const std::uint64_t w = written_.load(std::memory_order_relaxed);
  const std::uint64_t free = capacity_ - (w - consumed_.load(std::memory_order_acquire));
  if (free == 0) return false;
  std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(free, kChunkFrames));
  const bool stopsAtLoopEnd = loops && position_ <= loopEnd;
  if (stopsAtLoopEnd) want = static_cast<std::uint32_t>(std::min<std::uint64_t>(want, std::uint64_t(loopEnd) + 1 - position_));

  busy_ = true;
  const std::uint32_t got = want > 0 ? decoder_->Read(scratch_.data(), want) : 0;
  busy_ = false;

  if (got > 0) {
    const std::uint64_t at = w % capacity_;
    const std::uint64_t first = std::min<std::uint64_t>(got, capacity_ - at);
    std::memcpy(&ring_[at * channels_], scratch_.data(), first * channels_ * sizeof(float));
    if (first < got)
      std::memcpy(&ring_[0], scratch_.data() + first * channels_, (got - first) * channels_ * sizeof(float));
    written_.store(w + got, std::memory_order_release);
    position_ += got;
    framesSinceWrap_ += got;
  }

  const bool outOfData = got < want;
  if (outOfData) FoundEnd();
  const bool atLoopEnd = stopsAtLoopEnd && position_ == std::uint64_t(loopEnd) + 1;
  if (outOfData || atLoopEnd) {
    // A loop that yields nothing would spin forever: end instead.
    pending_ = loops && framesSinceWrap_ > 0 && !decoder_->Failed() ? Pending::Wrap : Pending::End;
  }
  return true;
}

std::uint32_t Stream::Read(float* out, std::uint32_t count, std::uint64_t& position) noexcept {
  const std::uint64_t request = seek_.load(std::memory_order_acquire);
  const std::uint32_t generation = GenerationOf(request);
  std::uint64_t r = consumed_.load(std::memory_order_relaxed);
  std::uint32_t copied = 0;
  position = consumerPosition_;
  for (;;) {
    const std::uint64_t w = written_.load(std::memory_order_acquire);
    const std::uint64_t mw = marksWritten_.load(std::memory_order_acquire);
    std::uint64_t mr = marksConsumed_.load(std::memory_order_relaxed);
    while (mr < mw && marks_[mr % kMarks].ringFrame <= r) {
      const Mark& mark = marks_[mr % kMarks];
      consumerGeneration_ = mark.generation;
      consumerPosition_ = mark.sourcePosition;
      consumerEnded_ = mark.end;
      ++mr;
    }
    marksConsumed_.store(mr, std::memory_order_release);
    const bool markAhead = mr < mw;
    const std::uint64_t limit = markAhead ? std::min(w, marks_[mr % kMarks].ringFrame) : w;

    if (consumerGeneration_ != generation) {
      // Decoded before the latest seek: drop it.
      if (limit == r) break;
      r = limit;
      consumed_.store(r, std::memory_order_release);
      continue;
    }
    if (consumerEnded_ || copied == count) break;
    const std::uint64_t n = std::min<std::uint64_t>(count - copied, limit - r);
    if (n == 0) break;
    if (copied == 0) position = consumerPosition_;
    const std::uint64_t at = r % capacity_;
    const std::uint64_t first = std::min<std::uint64_t>(n, capacity_ - at);
    std::memcpy(out + std::size_t(copied) * channels_, &ring_[at * channels_], first * channels_ * sizeof(float));
    if (first < n)
      std::memcpy(out + (std::size_t(copied) + first) * channels_, &ring_[0], (n - first) * channels_ * sizeof(float));
    r += n;
    copied += static_cast<std::uint32_t>(n);
    consumerPosition_ += n;
    consumed_.store(r, std::memory_order_release);
    // A mark right here jumps the position: the next read starts a new run.
    if (markAhead && r == marks_[mr % kMarks].ringFrame) break;
  }
  if (copied == 0) position = consumerPosition_;
  const bool current = consumerGeneration_ == generation;
  readPosition_.store(current ? consumerPosition_ : TargetOf(request), std::memory_order_release);
  readGeneration_.store(consumerGeneration_, std::memory_order_release);
  ended_.store(current && consumerEnded_, std::memory_order_release);
  starving_.store(copied < count && !(current && consumerEnded_), std::memory_order_relaxed);
  return copied;
}

void Stream::DropStale() noexcept {
  // A read of nothing drops every frame of an older generation and stops
  // at the first of the current one.
  std::uint64_t position = 0;
  Read(nullptr, 0, position);
}

bool Stream::Ended() const noexcept {
  return ended_.load(std::memory_order_acquire) && readGeneration_.load(std::memory_order_acquire) == SeekGeneration();
}

bool Stream::SeekPending() const noexcept {
  return producedGeneration_.load(std::memory_order_acquire) != SeekGeneration();
}

void Stream::Request(std::uint64_t target, bool unlessThere) noexcept {
  target = std::min<std::uint64_t>(target, 0xFFFFFFFFu);
  std::uint64_t request = seek_.load(std::memory_order_acquire);
  for (;;) {
    const std::uint32_t generation = GenerationOf(request);
    if (unlessThere && readGeneration_.load(std::memory_order_acquire) == generation &&
        !ended_.load(std::memory_order_acquire) && readPosition_.load(std::memory_order_acquire) == target)
      return;  // the ring already continues there
    const std::uint64_t next = (std::uint64_t(generation + 1) << 32) | target;
    if (seek_.compare_exchange_weak(request, next, std::memory_order_acq_rel, std::memory_order_acquire)) break;
  }
  // Until the mixer reads again, report the target.
  readPosition_.store(target, std::memory_order_release);
  wake_.notify_all();
}

void Stream::Seek(std::uint64_t position) noexcept { Request(position, true); }

void Stream::SetLoop(FMOD_MODE loopMode, std::uint32_t loopStart, std::uint32_t loopEnd, int loopCount) noexcept {
  loopMode &= FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI;
  std::lock_guard lock(loopMutex_);
  if (loopMode_.load() == loopMode && loopStart_.load() == loopStart && loopEnd_.load() == loopEnd &&
      loopCount_.load() == loopCount)
    return;
  loopMode_.store(loopMode);
  loopStart_.store(loopStart);
  loopEnd_.store(loopEnd);
  loopCount_.store(loopCount);
  // Drop what was decoded under the old settings.
  Request(readPosition_.load(std::memory_order_acquire), false);
}

std::uint64_t Stream::Buffered() const noexcept {
  const std::uint32_t generation = SeekGeneration();
  if (producedGeneration_.load(std::memory_order_acquire) != generation) return 0;
  const std::uint64_t start = generationStart_.load(std::memory_order_relaxed);
  const std::uint64_t w = written_.load(std::memory_order_acquire);
  const std::uint64_t r = std::max(start, consumed_.load(std::memory_order_acquire));
  return w > r ? w - r : 0;
}

bool Stream::WaitFor(std::uint32_t frames, int timeoutMs) noexcept {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, capacity_));
  for (;;) {
    const std::uint32_t generation = SeekGeneration();
    const bool current = producedGeneration_.load(std::memory_order_acquire) == generation;
    if (current && (Buffered() >= frames || producedAll_.load(std::memory_order_acquire))) return true;
    if (stop_.load(std::memory_order_relaxed) || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace sonvel::engine::io
