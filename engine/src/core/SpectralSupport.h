// What the spectral effects share: a real FFT plan owned by value (and the
// hand-off of their states, Handoff.h).
#pragma once

#include <kiss_fftr.h>

#include <atomic>
#include <memory>

#include "Effects.h"
#include "Handoff.h"

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

std::unique_ptr<Processor> NewConvolutionEffect(const EffectContext& context);
std::unique_ptr<Processor> NewPitchEffect(const EffectContext& context);

}  // namespace sonvel::engine::core
