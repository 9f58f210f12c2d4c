// A value handed from one thread to another without a lock: a triple
// buffer. The writer fills a slot of its own and publishes it with one atomic
// exchange; the reader picks up the latest published slot with another. Each
// side only ever touches its own slot, so neither waits for the other, and a
// reader always sees a whole value, never a mix of two.
//
// Allocation happens on the writer's side only: publishing copies the value
// into the writer's slot, and a slot's vectors keep their capacity from one
// use to the next, so a reader that only reads never allocates or frees.
//
//   Snapshot<Settings> settings;          // writer thread:
//   settings.Publish(current);            //   copies, then hands over
//   const Settings& s = settings.Read();  // reader thread: latest, stable
//                                         //   until its next Read
#pragma once

#include <atomic>
#include <cstdint>

namespace sonvel::engine::core {

template <typename T>
class Snapshot {
public:
  Snapshot() = default;
  explicit Snapshot(const T& value) : slots_{value, value, value} {}
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;

  // Writer: publishes a copy of `value`.
  void Publish(const T& value) {
    slots_[back_] = value;
    back_ = middle_.exchange(std::uint8_t(back_ | kFresh), std::memory_order_acq_rel) & kIndex;
  }

  // Reader: the latest published value. The reference stays valid, and the
  // value unchanged, until the reader's next call to Read.
  const T& Read() noexcept {
    if (middle_.load(std::memory_order_acquire) & kFresh)
      front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
    return slots_[front_];
  }

  // Reader: what the last Read returned.
  const T& Last() const noexcept { return slots_[front_]; }

private:
  static constexpr std::uint8_t kIndex = 3;
  static constexpr std::uint8_t kFresh = 4;
  // The indices first: the reader's look at them and its slot share a line
  // more often.
  std::atomic<std::uint8_t> middle_{1};
  std::uint8_t back_ = 0;   // the writer's
  std::uint8_t front_ = 2;  // the reader's
  T slots_[3]{};  // value-initialised: a plain record reads as zeros until the first Publish
};

}  // namespace sonvel::engine::core
