// The hand-off of a state built on the API's thread to the mixer's thread,
// for effects whose parameters need new memory (an impulse response, an FFT
// size, a delay line, a plug-in instance).
//
// The API offers a new state; the mixer takes it at a block's start and
// keeps the one it replaces for that block (to cross-fade or copy from),
// then retires it; the API frees what is retired when it next offers or
// collects, or at the end. Every state is built and freed on the API's
// thread, the mixer never sees one half-built, and neither side waits. Two
// retirement slots hold what the mixer can retire between two collections
// (the one it was fading from and the one an offer replaced); while both are
// full the mixer keeps what it has.
#pragma once

#include <atomic>
#include <memory>

namespace sonvel::engine::core {

template <typename T, typename Free = std::default_delete<T>>
class Handoff {
public:
  Handoff() = default;
  Handoff(const Handoff&) = delete;
  Handoff& operator=(const Handoff&) = delete;
  ~Handoff() {
    Release(pending_.load());
    for (auto& r : retired_) Release(r.load());
    Release(current_);
    Release(previous_);
  }

  // ---- API thread.
  // Before the unit runs: the first state, taken as current.
  void Install(T* state) noexcept { current_ = state; }
  // A new state for the mixer (one it never took is freed).
  void Offer(T* state) noexcept {
    Collect();
    Release(pending_.exchange(state, std::memory_order_acq_rel));
  }
  // Frees what the mixer let go of.
  void Collect() noexcept {
    for (auto& r : retired_) Release(r.exchange(nullptr, std::memory_order_acq_rel));
  }

  // ---- Mixer thread, once per block before Current/Previous. Answers true
  // when a new state came in this block (Previous is then the one it
  // replaced, perhaps null).
  bool Begin() noexcept {
    if (previous_ != nullptr) {
      for (auto& r : retired_) {
        if (r.load(std::memory_order_acquire) == nullptr) {
          r.store(previous_, std::memory_order_release);
          previous_ = nullptr;
          break;
        }
      }
      if (previous_ != nullptr) return false;
    }
    if (pending_.load(std::memory_order_acquire) == nullptr) return false;
    T* next = pending_.exchange(nullptr, std::memory_order_acq_rel);
    if (next == nullptr) return false;
    previous_ = current_;
    current_ = next;
    return true;
  }
  T* Current() const noexcept { return current_; }
  T* Previous() const noexcept { return previous_; }

private:
  static void Release(T* state) noexcept {
    if (state != nullptr) Free{}(state);
  }

  std::atomic<T*> pending_{nullptr};
  std::atomic<T*> retired_[2] = {nullptr, nullptr};
  T* current_ = nullptr;   // the mixer's
  T* previous_ = nullptr;  // the mixer's, for the block it is replaced in
};

}  // namespace sonvel::engine::core
