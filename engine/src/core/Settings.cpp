#include "Settings.h"

#include <algorithm>

namespace sonvel::engine::core {

float ControlSettings::FadeAt(std::uint64_t at) const noexcept {
  if (fades.empty()) return 1.0f;
  if (at <= fades.front().clock) return fades.front().volume;
  if (at >= fades.back().clock) return fades.back().volume;
  auto next = std::upper_bound(fades.begin(), fades.end(), at,
                               [](std::uint64_t c, const FadePoint& p) { return c < p.clock; });
  const FadePoint& b = *next;
  const FadePoint& a = *(next - 1);
  const double t = double(at - a.clock) / double(b.clock - a.clock);
  return float(a.volume + (b.volume - a.volume) * t);
}

float ControlGain(const ControlSettings& s, std::uint64_t clock) noexcept {
  if (s.mute) return 0.0f;
  float gain = s.volume * s.FadeAt(clock);
  if (s.placement.enabled) gain *= s.placement.attenuation;
  return gain;
}

Window WindowOf(const ControlSettings& s, std::uint64_t clock, unsigned frames) noexcept {
  Window w;
  w.to = frames;
  if (s.delayStart > clock) w.from = unsigned(std::min<std::uint64_t>(frames, s.delayStart - clock));
  if (s.delayEnd != 0 && s.delayEnd < clock + frames) {
    w.ends = true;
    w.to = s.delayEnd > clock ? unsigned(s.delayEnd - clock) : 0;
    w.to = std::max(w.to, w.from);
  }
  return w;
}

}  // namespace sonvel::engine::core
