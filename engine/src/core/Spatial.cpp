// 3D sound maths: distance rolloff, cones, occlusion, doppler and panning to
// the output's speakers.
//
// Conventions:
// - Internally the coordinate system is left-handed (x right, y up, z
//   forward). With FMOD_INIT_3D_RIGHTHANDED the caller's z axis is mirrored
//   on the way in, so a right-handed listener facing -z hears +x on the right.
// - Distances for rolloff are in the caller's units, like the min/max
//   distances and custom rolloff points they are compared with. The distance
//   factor (units per metre) sets the speed of sound for doppler.
// - 3D panning is constant-power: the squares of the speaker gains sum to 1.
//   The neutral (2D) gains are all 1, so `level` morphs between "leave the
//   signal as it is" and "pan it to the source's direction".
#include "Spatial.h"

#include <algorithm>
#include <cmath>

#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine::spatial {
namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kSpeedOfSound = 340.0f;  // metres per second
constexpr float kMaxDopplerSpeed = 0.5f;  // fraction of the speed of sound: pitch stays in [1/3, 3]

struct Vec {
  float x = 0, y = 0, z = 0;
};

Vec V(const FMOD_VECTOR& v, bool flipZ) noexcept {
  auto finite = [](float f) { return std::isfinite(f) ? f : 0.0f; };
  return {finite(v.x), finite(v.y), flipZ ? -finite(v.z) : finite(v.z)};
}
Vec operator-(Vec a, Vec b) noexcept { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, float s) noexcept { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vec a, Vec b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) noexcept {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Length(Vec a) noexcept { return std::sqrt(Dot(a, a)); }

float Clamp01(float v) noexcept { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; }

// The listener's axes; degenerate orientations fall back to the defaults.
struct Basis {
  Vec right{1, 0, 0}, up{0, 1, 0}, forward{0, 0, 1};
};

Basis ListenerBasis(const Listener& l, bool flipZ) noexcept {
  Basis b;
  Vec f = V(l.forward, flipZ);
  Vec u = V(l.up, flipZ);
  const float fl = Length(f);
  if (fl < 1e-6f) return b;
  f = f * (1.0f / fl);
  u = u - f * Dot(u, f);  // make up perpendicular to forward
  const float ul = Length(u);
  if (ul < 1e-6f) {
    // Up parallel to forward: pick any perpendicular up.
    u = std::fabs(f.y) < 0.9f ? Vec{0, 1, 0} : Vec{0, 0, 1};
    u = u - f * Dot(u, f);
    u = u * (1.0f / Length(u));
  } else {
    u = u * (1.0f / ul);
  }
  b.forward = f;
  b.up = u;
  b.right = Cross(u, f);  // left-handed: up x forward points right
  return b;
}

// Speaker directions (degrees clockwise from straight ahead) per output
// layout, in channel order; NaN marks a speaker 3D panning leaves silent.
constexpr float kNone = NAN;
constexpr float kQuad[] = {-45, 45, -135, 135};
constexpr float kSurround[] = {-30, 30, 0, -110, 110};
constexpr float k51[] = {-30, 30, 0, kNone, -110, 110};
constexpr float k71[] = {-30, 30, 0, kNone, -90, 90, -150, 150};

struct Layout {
  const float* angles = nullptr;  // null: mono, stereo or no panning
  int count = 0;
};

// Adds the constant-power gains of a source at `azimuth` (radians) to `gains`
// for a ring of speakers: the two speakers either side of it share it.
void PanRing(const Layout& layout, float azimuth, float* gains) noexcept {
  float az = azimuth * 180.0f / kPi;
  az = std::remainder(az, 360.0f);  // (-180, 180]
  // The nearest speaker clockwise-before and after the source.
  int before = -1, after = -1;
  float dBefore = 1e9f, dAfter = 1e9f;
  for (int i = 0; i < layout.count; ++i) {
    const float a = layout.angles[i];
    if (std::isnan(a)) continue;
    // Clockwise distances in [0, 360), so that a ring with a gap wider than
    // half a turn (speakers left out) still has a speaker either side.
    float d = std::fmod(az - a, 360.0f);  // how far clockwise of the speaker the source is
    if (d < 0) d += 360.0f;
    float e = d > 0 ? 360.0f - d : 0.0f;  // how far clockwise of the source the speaker is
    if (d < dBefore) {
      dBefore = d;
      before = i;
    }
    if (e < dAfter) {
      dAfter = e;
      after = i;
    }
  }
  if (before < 0 || after < 0) return;
  if (before == after) {
    gains[before] += 1.0f;
    return;
  }
  const float t = dBefore / (dBefore + dAfter);
  const float g0 = std::cos(t * kPi / 2), g1 = std::sin(t * kPi / 2);
  gains[before] += g0 * g0;  // accumulate power; square roots are taken at the end
  gains[after] += g1 * g1;
}

// Panning for one direction (local x right, y up, z forward; unit length),
// accumulated as power per speaker.
void AccumulatePan(FMOD_SPEAKERMODE mode, const Layout& layout, int speakers, Vec dir, float* power) noexcept {
  if (mode == FMOD_SPEAKERMODE_MONO) {
    power[0] += 1.0f;
    return;
  }
  if (mode == FMOD_SPEAKERMODE_STEREO) {
    // Left/right by the sideways component; front and back sound alike.
    const float pan = std::clamp(dir.x, -1.0f, 1.0f);
    const float theta = (pan + 1.0f) * kPi / 4;
    power[0] += std::cos(theta) * std::cos(theta);
    power[1] += std::sin(theta) * std::sin(theta);
    return;
  }
  // Ring layouts: pan by azimuth, and spread evenly over the ring as the
  // source rises overhead (where azimuth means nothing).
  // (At most 1: a unit direction rounded a little long would leave a negative
  // share overhead and the square roots below would be NaN.)
  const float horizontal = std::min(1.0f, std::sqrt(dir.x * dir.x + dir.z * dir.z));
  if (horizontal > 1e-6f) {
    float ring[kMaxSpeakers] = {};
    PanRing(layout, std::atan2(dir.x, dir.z), ring);
    for (int i = 0; i < speakers; ++i) power[i] += ring[i] * horizontal;
  }
  int usable = 0;
  for (int i = 0; i < layout.count && i < speakers; ++i) usable += std::isnan(layout.angles[i]) ? 0 : 1;
  if (usable == 0) return;
  for (int i = 0; i < layout.count && i < speakers; ++i)
    if (!std::isnan(layout.angles[i])) power[i] += (1.0f - horizontal) / usable;
}

// Resolves the layout; false when the output gets no 3D panning (raw or an
// unknown layout), in which case the neutral gains stand.
bool ResolveLayout(FMOD_SPEAKERMODE& mode, int speakers, Layout& layout) noexcept {
  if (mode == FMOD_SPEAKERMODE_DEFAULT) {
    switch (speakers) {
      case 1: mode = FMOD_SPEAKERMODE_MONO; break;
      case 2: mode = FMOD_SPEAKERMODE_STEREO; break;
      case 4: mode = FMOD_SPEAKERMODE_QUAD; break;
      case 5: mode = FMOD_SPEAKERMODE_SURROUND; break;
      case 6: mode = FMOD_SPEAKERMODE_5POINT1; break;
      case 8: mode = FMOD_SPEAKERMODE_7POINT1; break;
      default: return false;
    }
  }
  switch (mode) {
    case FMOD_SPEAKERMODE_MONO: return speakers >= 1;
    case FMOD_SPEAKERMODE_STEREO: return speakers >= 2;
    case FMOD_SPEAKERMODE_QUAD: layout = {kQuad, 4}; break;
    case FMOD_SPEAKERMODE_SURROUND: layout = {kSurround, 5}; break;
    case FMOD_SPEAKERMODE_5POINT1: layout = {k51, 6}; break;
    case FMOD_SPEAKERMODE_7POINT1:
    case FMOD_SPEAKERMODE_7POINT1POINT4: layout = {k71, 8}; break;  // height speakers stay silent
    default: return false;
  }
  layout.count = std::min(layout.count, speakers);
  return layout.count >= 2;
}

// Speaker gains for a source in direction `dir` (listener space) widened by
// `spreadDeg`: the spread is sampled across the arc and the power averaged.
// Channels whose bit in `enabled` is clear take no part: a ring pans over
// the speakers left, a stereo pair gives all to the side left.
void Pan(FMOD_SPEAKERMODE mode, int speakers, Vec dir, float spreadDeg, float* gains, unsigned enabled = ~0u) noexcept {
  Layout layout;
  if (!ResolveLayout(mode, speakers, layout)) return;
  float angles[kMaxSpeakers];
  if (layout.angles != nullptr && (~enabled & ((1u << layout.count) - 1u)) != 0) {
    for (int i = 0; i < layout.count; ++i) angles[i] = ((enabled >> i) & 1u) != 0 ? layout.angles[i] : kNone;
    layout.angles = angles;
  }
  float power[kMaxSpeakers] = {};
  const float spread = std::clamp(std::isfinite(spreadDeg) ? spreadDeg : 0.0f, 0.0f, 360.0f) * kPi / 180;
  constexpr int kSamples = 9;
  const int samples = spread > 0 ? kSamples : 1;
  for (int s = 0; s < samples; ++s) {
    Vec d = dir;
    if (samples > 1) {
      // Rotate about the listener's up axis (local y); samples sit at the
      // middles of equal slices of the arc, so a full circle has no doubled
      // direction.
      const float a = spread * ((static_cast<float>(s) + 0.5f) / samples - 0.5f);
      const float c = std::cos(a), sn = std::sin(a);
      d = {dir.x * c + dir.z * sn, dir.y, -dir.x * sn + dir.z * c};
    }
    AccumulatePan(mode, layout, speakers, d, power);
  }
  if (layout.angles == nullptr && speakers >= 2 && mode == FMOD_SPEAKERMODE_STEREO) {
    for (int i = 0; i < 2; ++i)
      if (((enabled >> i) & 1u) == 0) {
        power[1 - i] += ((enabled >> (1 - i)) & 1u) != 0 ? power[i] : 0.0f;
        power[i] = 0.0f;
      }
  }
  for (int i = 0; i < kMaxSpeakers; ++i)
    gains[i] = i < speakers && ((enabled >> i) & 1u) != 0 ? std::sqrt(std::max(0.0f, power[i]) / samples) : 0.0f;
}

float InverseGain(float d, float minD, float rolloffScale) noexcept {
  if (d <= minD) return 1.0f;
  if (minD <= 0) return 0.0f;
  return minD / (minD + rolloffScale * (d - minD));
}

// 0 at min distance, 1 at max distance.
float Fraction(float d, float minD, float maxD) noexcept {
  if (maxD <= minD) return d <= minD ? 0.0f : 1.0f;
  return std::clamp((d - minD) / (maxD - minD), 0.0f, 1.0f);
}

float CustomGain(const std::vector<FMOD_VECTOR>& points, float d) noexcept {
  if (d <= points.front().x) return points.front().y;
  for (size_t i = 1; i < points.size(); ++i) {
    const FMOD_VECTOR& a = points[i - 1];
    const FMOD_VECTOR& b = points[i];
    if (d <= b.x) {
      if (b.x <= a.x) return b.y;
      return a.y + (b.y - a.y) * (d - a.x) / (b.x - a.x);
    }
  }
  return points.back().y;
}

// Cone factor: 1 inside the inner cone, the outside volume beyond the outer
// cone and linear in angle between. `toListener` runs from source to listener.
float ConeGain(const Source& s, Vec orientation, Vec toListener) noexcept {
  const float inside = std::clamp(s.coneInsideAngle, 0.0f, 360.0f);
  const float outside = std::clamp(std::max(s.coneOutsideAngle, inside), 0.0f, 360.0f);
  if (inside >= 360.0f) return 1.0f;
  const float ol = Length(orientation), dl = Length(toListener);
  if (ol < 1e-6f || dl < 1e-6f) return 1.0f;
  const float cosA = std::clamp(Dot(orientation, toListener) / (ol * dl), -1.0f, 1.0f);
  const float angle = std::acos(cosA) * 180.0f / kPi * 2.0f;  // full cone angle that just reaches the listener
  const float outsideVolume = Clamp01(s.coneOutsideVolume);
  if (angle <= inside) return 1.0f;
  if (angle >= outside) return outsideVolume;
  const float t = (angle - inside) / (outside - inside);
  return 1.0f + (outsideVolume - 1.0f) * t;
}

}  // namespace

void PanDirection(FMOD_SPEAKERMODE speakerMode, int speakers, const FMOD_VECTOR& direction, float spreadDeg,
                  unsigned enabled, float* gains) noexcept {
  speakers = std::clamp(speakers, 0, kMaxSpeakers);
  for (int i = 0; i < kMaxSpeakers; ++i) gains[i] = i < speakers ? 1.0f : 0.0f;
  if (speakers == 0) return;
  Vec dir = V(direction, false);
  const float l = Length(dir);
  dir = l > 1e-6f ? dir * (1.0f / l) : Vec{0, 0, 1};
  Pan(speakerMode, speakers, dir, spreadDeg, gains, enabled);
}

float DistanceGain(const Source& source, float distance, float rolloffScale) noexcept {
  const float minD = std::isfinite(source.minDistance) ? std::max(0.0f, source.minDistance) : 1.0f;
  const float maxD = std::isfinite(source.maxDistance) ? std::max(minD, source.maxDistance) : minD;
  float d = std::isfinite(distance) ? std::max(0.0f, distance) : maxD;
  const float scale = std::isfinite(rolloffScale) ? std::max(0.0f, rolloffScale) : 1.0f;
  const FMOD_MODE r = source.rolloff;
  if ((r & FMOD_3D_CUSTOMROLLOFF) != 0 && !source.customRolloff.empty())
    return Clamp01(CustomGain(source.customRolloff, d));
  if ((r & FMOD_3D_LINEARROLLOFF) != 0) return 1.0f - Fraction(d, minD, maxD);
  if ((r & FMOD_3D_LINEARSQUAREROLLOFF) != 0) {
    const float f = 1.0f - Fraction(d, minD, maxD);
    return f * f;
  }
  if ((r & FMOD_3D_INVERSETAPEREDROLLOFF) != 0) {
    // Inverse close in, tapering to silence at the max distance.
    const float f = 1.0f - Fraction(d, minD, maxD);
    return std::min(InverseGain(d, minD, scale), f * f);
  }
  // Inverse: the volume stops falling beyond the max distance.
  return Clamp01(InverseGain(std::min(d, maxD), minD, scale));
}

Result Evaluate(const SystemState& system, const Source& source, FMOD_SPEAKERMODE speakerMode, int speakers,
                FMOD_CHANNELCONTROL* control) noexcept {
  Result r;
  if (!source.is3D) return r;
  speakers = std::clamp(speakers, 0, kMaxSpeakers);
  const Settings& set = system.settings;
  const bool flip = set.rightHanded;
  const Listener& listener = system.listeners[0];

  // The source relative to the listener, in world axes and in listener axes.
  const Vec srcPos = V(source.position, flip);
  const Basis basis = ListenerBasis(listener, flip);
  Vec local;     // x right, y up, z forward
  Vec toSource;  // world axes (listener axes when head-relative)
  Vec listenerVel;
  if (source.headRelative) {
    local = srcPos;
    toSource = srcPos;
  } else {
    toSource = srcPos - V(listener.position, flip);
    local = {Dot(toSource, basis.right), Dot(toSource, basis.up), Dot(toSource, basis.forward)};
    listenerVel = V(listener.velocity, flip);
  }
  const float distance = Length(toSource);

  // Attenuation: distance, cone, occlusion.
  float gain;
  if (system.rolloffCallback != nullptr) {
    const float g = system.rolloffCallback(control, distance);
    gain = std::isfinite(g) ? std::max(0.0f, g) : 0.0f;
  } else {
    gain = DistanceGain(source, distance, set.rolloffScale);
  }
  gain *= ConeGain(source, V(source.coneOrientation, flip), toSource * -1.0f);
  const float occlusion = Clamp01(source.directOcclusion);
  gain *= 1.0f - occlusion;
  r.attenuation = gain;

  // Low-pass: occlusion muffles; the distance filter closes with distance,
  // or stays at the channel's own level when it set one.
  float lowpass = 1.0f - occlusion;
  if (source.distanceFilter) {
    lowpass *= Clamp01(source.distanceFilterLevel);
  } else if (set.distanceFilter) {
    const float minD = std::max(0.0f, source.minDistance);
    lowpass *= 1.0f - Fraction(distance, minD, std::max(minD, source.maxDistance));
  }
  r.lowpassGain = Clamp01(lowpass);

  // Doppler from the velocities along the line between listener and source.
  const float doppler = (std::isfinite(source.dopplerLevel) ? std::clamp(source.dopplerLevel, 0.0f, 5.0f) : 0.0f) *
                        (std::isfinite(set.dopplerScale) ? std::max(0.0f, set.dopplerScale) : 0.0f);
  if (doppler > 0 && distance > 1e-6f) {
    const float unitsPerMetre = std::isfinite(set.distanceFactor) && set.distanceFactor > 0 ? set.distanceFactor : 1.0f;
    const float c = kSpeedOfSound * unitsPerMetre;
    const Vec line = toSource * (1.0f / distance);  // listener -> source
    const float limit = kMaxDopplerSpeed * c;
    const float listenerToward = std::clamp(Dot(listenerVel, line) * doppler, -limit, limit);
    const float sourceAway = std::clamp(Dot(V(source.velocity, flip), line) * doppler, -limit, limit);
    r.pitchFactor = (c + listenerToward) / (c + sourceAway);
  }

  // Panning to the speakers.
  if (speakers > 0) {
    Vec dir{0, 0, 1};
    const float ll = Length(local);
    if (ll > 1e-6f) dir = local * (1.0f / ll);
    Pan(speakerMode, speakers, dir, source.spread, r.panGains);
  }
  return r;
}

}  // namespace sonvel::engine::spatial
