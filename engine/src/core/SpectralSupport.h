// What the spectral effects share: a real FFT plan owned by value, and the
// hand-over of a state built on the API's thread to the mixer's thread.
#pragma once

#include <kiss_fftr.h>

#include <atomic>
#include <memory>

#include "Effects.h"

namespace sonvel::engine::core {

// A real FFT plan of one size and direction. Made and freed off the mixer
// thread; running it allocates nothing.
class RealFft {
public:
  RealFft() = default;
  RealFft(int size, bool inverse) : size_(size), cfg_(kiss_fftr_alloc(size, inverse ? 1 : 0, nullptr, nullptr)) {}
  RealFft(RealFft&& o) noexcept : size_(o.size_), cfg_(o.cfg_) { o.cfg_ = nullptr; }
  RealFft& operator=(RealFft&& o) noexcept {
    std::swap(size_, o.size_);
    std::swap(cfg_, o.cfg_);
    return *this;
  }
  ~RealFft() {
    if (cfg_ != nullptr) kiss_fftr_free(cfg_);
  }
  int Size() const noexcept { return size_; }
  void Forward(const float* time, kiss_fft_cpx* bins) const noexcept { kiss_fftr(cfg_, time, bins); }
  void Inverse(const kiss_fft_cpx* bins, float* time) const noexcept { kiss_fftri(cfg_, bins, time); }

private:
  int size_ = 0;
  kiss_fftr_cfg cfg_ = nullptr;
};

// A state of T handed from the API's thread to the mixer's. The API offers a
// new one; the mixer takes it at a block's start and keeps the one it
// replaces for that block (to cross-fade from), then retires it; the API
// frees what is retired when it next offers one, or at the end. Neither side
// waits for the other. Between two offers the mixer retires at most two
// states (the one it was fading from and the one the offer replaces), so two
// retirement slots never hold it up.
template <typename T>
class Handoff {
public:
  Handoff() = default;
  Handoff(const Handoff&) = delete;
  Handoff& operator=(const Handoff&) = delete;
  ~Handoff() {
    delete pending_.load();
    for (auto& r : retired_) delete r.load();
    delete current_;
    delete previous_;
  }

  // ---- API thread.
  void Offer(std::unique_ptr<T> state) {
    for (auto& r : retired_) delete r.exchange(nullptr, std::memory_order_acq_rel);
    delete pending_.exchange(state.release(), std::memory_order_acq_rel);
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
  std::atomic<T*> pending_{nullptr};
  std::atomic<T*> retired_[2] = {nullptr, nullptr};
  T* current_ = nullptr;   // the mixer's
  T* previous_ = nullptr;  // the mixer's, for the block it is replaced in
};

std::unique_ptr<Processor> NewConvolutionEffect(const EffectContext& context);
std::unique_ptr<Processor> NewPitchEffect(const EffectContext& context);

}  // namespace sonvel::engine::core
