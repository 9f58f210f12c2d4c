// A bounded single-producer, single-consumer ring of small plain values, the
// lanes between the API threads and the mixer. Its memory is allocated once,
// when it is made; pushing and popping never allocate, lock or wait.
//
// The producer may stage several values and make them visible together with
// Commit, so that the consumer sees a change made of several steps all at
// once or not at all.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace sonvel::engine::core {

template <typename T>
class Ring {
  static_assert(std::is_trivially_copyable_v<T>, "ring values are copied as bytes");

public:
  // Room for at least `capacity` values (rounded up to a power of two).
  explicit Ring(std::size_t capacity) {
    std::size_t size = 1;
    while (size < capacity) size <<= 1;
    mask_ = size - 1;
    values_ = std::make_unique<T[]>(size);
  }
  Ring(const Ring&) = delete;
  Ring& operator=(const Ring&) = delete;

  std::size_t Capacity() const noexcept { return mask_ + 1; }

  // ---- Producer.
  // Values that can still be staged.
  std::size_t Room() const noexcept { return Capacity() - (staged_ - tail_.load(std::memory_order_acquire)); }
  // Stages a value; false (and nothing staged) when the ring is full.
  bool Stage(const T& value) noexcept {
    if (Room() == 0) return false;
    values_[staged_ & mask_] = value;
    ++staged_;
    return true;
  }
  // Makes every staged value visible to the consumer.
  void Commit() noexcept { head_.store(staged_, std::memory_order_release); }
  bool Push(const T& value) noexcept {
    if (!Stage(value)) return false;
    Commit();
    return true;
  }
  // How many values were ever pushed (the sequence number of the last).
  std::uint64_t Pushed() const noexcept { return staged_; }

  // ---- Consumer.
  bool Pop(T& value) noexcept {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    value = values_[tail & mask_];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  bool Empty() const noexcept {
    return tail_.load(std::memory_order_relaxed) == head_.load(std::memory_order_acquire);
  }
  // How many values were ever popped; any thread.
  std::uint64_t Popped() const noexcept { return tail_.load(std::memory_order_acquire); }

private:
  std::unique_ptr<T[]> values_;
  std::size_t mask_ = 0;
  std::uint64_t staged_ = 0;  // the producer's
  alignas(64) std::atomic<std::uint64_t> head_{0};
  alignas(64) std::atomic<std::uint64_t> tail_{0};
};

}  // namespace sonvel::engine::core
