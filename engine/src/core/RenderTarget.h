// The mixer as an output sees it.
#pragma once

namespace sonvel::engine::core {

class RenderTarget {
public:
  virtual ~RenderTarget() = default;
  // Fills `frames` frames of interleaved float at the software format.
  // Called on the output's thread (real time) or the caller's (non-real
  // time). Never throws.
  virtual void Render(float* interleaved, unsigned frames) noexcept = 0;
};

}  // namespace sonvel::engine::core
