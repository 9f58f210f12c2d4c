// What the loudness meter and the plug-in host share: a lock-free hand-over
// of an object built on the API's thread to the mixer, and the host's maker.
#pragma once

#include <atomic>
#include <memory>

#include "Effects.h"

namespace sonvel::engine::core {

// Hands objects built on the API's thread to the mixer one at a time and
// gives back the one the mixer let go of, so that every object is built and
// freed on the API's thread and the mixer never sees one half-built.
//
// The API posts a new object (freeing a posted one the mixer never took and
// a retired one the mixer gave back). The mixer takes a posted object at the
// start of a block, only once the API has collected the last retired one, so
// at most one object waits to be freed. `Free` is called on the API's thread
// (or at destruction, when the mixer has let go of the unit).
template <typename T, typename Free>
class Handover {
public:
  Handover() = default;
  Handover(const Handover&) = delete;
  Handover& operator=(const Handover&) = delete;
  ~Handover() {
    Free{}(current_);
    Free{}(pending_.load());
    Free{}(retired_.load());
  }

  // ---- API thread.
  // Before the unit runs: the first object, taken as current.
  void Install(T* value) noexcept { current_ = value; }
  void Post(T* value) noexcept {
    Collect();
    Free{}(pending_.exchange(value, std::memory_order_acq_rel));
  }
  // Frees what the mixer let go of.
  void Collect() noexcept { Free{}(retired_.exchange(nullptr, std::memory_order_acq_rel)); }

  // ---- Mixer thread.
  // Takes a posted object when there is one; answers true when it did.
  bool Take() noexcept {
    if (pending_.load(std::memory_order_relaxed) == nullptr) return false;
    if (retired_.load(std::memory_order_acquire) != nullptr) return false;  // the API has not collected yet
    T* next = pending_.exchange(nullptr, std::memory_order_acq_rel);
    if (next == nullptr) return false;
    retired_.store(current_, std::memory_order_release);
    current_ = next;
    return true;
  }
  T* Current() const noexcept { return current_; }

private:
  T* current_ = nullptr;  // the mixer's
  std::atomic<T*> pending_{nullptr};
  std::atomic<T*> retired_{nullptr};
};

// A unit that hosts a LADSPA plug-in (FMOD_DSP_TYPE_LADSPAPLUGIN).
std::unique_ptr<Processor> NewLadspaHost(const EffectContext& context);

}  // namespace sonvel::engine::core
