#include "ReverbZones.h"

#include <algorithm>
#include <cmath>

namespace sonvel::engine::core {

float ZoneWeight(const ReverbZone& zone, const FMOD_VECTOR& at) noexcept {
  if (!zone.active) return 0.0f;
  const double dx = double(at.x) - zone.position.x, dy = double(at.y) - zone.position.y,
               dz = double(at.z) - zone.position.z;
  const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (d <= zone.minDistance) return zone.maxDistance > 0.0f || zone.minDistance > 0.0f ? 1.0f : 0.0f;
  if (d >= zone.maxDistance) return 0.0f;
  const double u = (zone.maxDistance - d) / double(zone.maxDistance - zone.minDistance);  // 0 at max, 1 at min
  return float(u * u * (3.0 - 2.0 * u));
}

namespace {

constexpr int kFields = 12;

void ToFields(const FMOD_REVERB_PROPERTIES& p, double* f) noexcept {
  const float v[kFields] = {p.DecayTime,    p.EarlyDelay,  p.LateDelay,   p.HFReference,
                            p.HFDecayRatio, p.Diffusion,   p.Density,     p.LowShelfFrequency,
                            p.LowShelfGain, p.HighCut,     p.EarlyLateMix, p.WetLevel};
  for (int i = 0; i < kFields; ++i) f[i] = v[i];
}

FMOD_REVERB_PROPERTIES FromFields(const double* f) noexcept {
  return FMOD_REVERB_PROPERTIES{float(f[0]), float(f[1]), float(f[2]),  float(f[3]),
                                float(f[4]), float(f[5]), float(f[6]),  float(f[7]),
                                float(f[8]), float(f[9]), float(f[10]), float(f[11])};
}

// Decay time, HF reference, low-shelf frequency and high cut: all above 0.
constexpr bool kLogarithmic[kFields] = {true, false, false, true, false, false,
                                        false, true, false, true, false, false};

}  // namespace

FMOD_REVERB_PROPERTIES BlendZones(const std::vector<const ReverbZone*>& zones, const FMOD_VECTOR& at,
                                  const FMOD_REVERB_PROPERTIES& ambient) noexcept {
  std::vector<float> weights;
  weights.reserve(zones.size());
  double total = 0.0;
  for (const ReverbZone* zone : zones) {
    weights.push_back(ZoneWeight(*zone, at));
    total += weights.back();
  }
  if (total <= 0.0) return ambient;
  const double share = total > 1.0 ? 1.0 / total : 1.0;
  const double rest = 1.0 - std::min(total, 1.0);
  double sum[kFields] = {}, fields[kFields];
  auto add = [&](const FMOD_REVERB_PROPERTIES& p, double w) {
    ToFields(p, fields);
    for (int i = 0; i < kFields; ++i)
      sum[i] += w * (kLogarithmic[i] ? std::log(std::max(fields[i], 1e-6)) : fields[i]);
  };
  for (std::size_t i = 0; i < zones.size(); ++i)
    if (weights[i] > 0.0f) add(zones[i]->properties, weights[i] * share);
  if (rest > 0.0) add(ambient, rest);
  for (int i = 0; i < kFields; ++i)
    if (kLogarithmic[i]) sum[i] = std::exp(sum[i]);
  return FromFields(sum);
}

}  // namespace sonvel::engine::core
