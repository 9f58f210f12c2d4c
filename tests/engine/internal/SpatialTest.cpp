// 3D maths: rolloff models, panning, cones, doppler and occlusion, checked
// against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Spatial.h"

namespace sonvel::engine::spatial {
namespace {

struct RolloffCase {
  const char* name;
  FMOD_MODE model;
  float distance;
  float rolloffScale;
  float expected;
};

TEST(SpatialTest, DistanceGainFollowsEachRolloffModel) {
  // min 1, max 10 unless the model says otherwise.
  const RolloffCase cases[] = {
      {"inverse inside min", FMOD_3D_INVERSEROLLOFF, 0.5f, 1, 1.0f},
      {"inverse at 2x min", FMOD_3D_INVERSEROLLOFF, 2, 1, 0.5f},
      {"inverse at 4x min", FMOD_3D_INVERSEROLLOFF, 4, 1, 0.25f},
      {"inverse held beyond max", FMOD_3D_INVERSEROLLOFF, 50, 1, 0.1f},
      {"inverse rolloff scale 2", FMOD_3D_INVERSEROLLOFF, 2, 2, 1.0f / 3},
      {"inverse rolloff scale 0", FMOD_3D_INVERSEROLLOFF, 8, 0, 1.0f},
      {"linear at min", FMOD_3D_LINEARROLLOFF, 1, 1, 1.0f},
      {"linear halfway", FMOD_3D_LINEARROLLOFF, 5.5f, 1, 0.5f},
      {"linear at max", FMOD_3D_LINEARROLLOFF, 10, 1, 0.0f},
      {"linear beyond max", FMOD_3D_LINEARROLLOFF, 30, 1, 0.0f},
      {"linear ignores rolloff scale", FMOD_3D_LINEARROLLOFF, 5.5f, 3, 0.5f},
      {"linear square halfway", FMOD_3D_LINEARSQUAREROLLOFF, 5.5f, 1, 0.25f},
      {"tapered follows inverse near", FMOD_3D_INVERSETAPEREDROLLOFF, 2, 1, 0.5f},
      {"tapered near max", FMOD_3D_INVERSETAPEREDROLLOFF, 9, 1, 1.0f / 81},
      {"tapered silent at max", FMOD_3D_INVERSETAPEREDROLLOFF, 10, 1, 0.0f},
      {"negative distance is zero", FMOD_3D_LINEARROLLOFF, -5, 1, 1.0f},
      {"NaN distance is far", FMOD_3D_LINEARROLLOFF, NAN, 1, 0.0f},
  };
  for (const auto& c : cases) {
    Source s;
    s.rolloff = c.model;
    s.minDistance = 1;
    s.maxDistance = 10;
    EXPECT_NEAR(DistanceGain(s, c.distance, c.rolloffScale), c.expected, 1e-4f) << c.name;
  }
}

TEST(SpatialTest, CustomRolloffInterpolatesItsPointsAndFallsBackWhenEmpty) {
  Source s;
  s.rolloff = FMOD_3D_CUSTOMROLLOFF;
  s.customRolloff = {{0, 1, 0}, {10, 0.5f, 0}, {20, 0, 0}};
  EXPECT_NEAR(DistanceGain(s, 5, 1), 0.75f, 1e-5f);
  EXPECT_NEAR(DistanceGain(s, 15, 1), 0.25f, 1e-5f);
  EXPECT_NEAR(DistanceGain(s, 40, 1), 0.0f, 1e-5f);
  s.customRolloff.clear();  // no points: the inverse model
  EXPECT_NEAR(DistanceGain(s, 2, 1), 0.5f, 1e-5f);
}

SystemState ListenerFacing(FMOD_VECTOR forward, bool rightHanded) {
  SystemState sys;
  sys.settings.rightHanded = rightHanded;
  sys.listeners[0].forward = forward;
  sys.listeners[0].up = {0, 1, 0};
  return sys;
}

Source At(FMOD_VECTOR position) {
  Source s;
  s.is3D = true;
  s.position = position;
  return s;
}

TEST(SpatialTest, TwoDimensionalSourceGetsTheNeutralResult) {
  Source s = At({100, 0, 0});
  s.is3D = false;
  const Result r = Evaluate(SystemState{}, s, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_EQ(r.attenuation, 1.0f);
  EXPECT_EQ(r.pitchFactor, 1.0f);
  EXPECT_EQ(r.panGains[0], 1.0f);
  EXPECT_EQ(r.panGains[1], 1.0f);
}

TEST(SpatialTest, StereoPanFollowsHandednessAndListenerOrientation) {
  // Listener faces +x; the source sits on +z. Left-handed (x right, z ahead
  // by default) puts +z on the listener's left; right-handed on the right.
  const Source s = At({0, 0, 3});
  const Result lh = Evaluate(ListenerFacing({1, 0, 0}, false), s, FMOD_SPEAKERMODE_STEREO, 2);
  const Result rh = Evaluate(ListenerFacing({1, 0, 0}, true), s, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_NEAR(lh.panGains[0], 1.0f, 1e-4f);
  EXPECT_NEAR(lh.panGains[1], 0.0f, 1e-4f);
  EXPECT_NEAR(rh.panGains[0], 0.0f, 1e-4f);
  EXPECT_NEAR(rh.panGains[1], 1.0f, 1e-4f);

  // Straight ahead: constant power, -3 dB each side.
  const Result ahead = Evaluate(SystemState{}, At({0, 0, 5}), FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_NEAR(ahead.panGains[0], std::sqrt(0.5f), 1e-4f);
  EXPECT_NEAR(ahead.panGains[1], std::sqrt(0.5f), 1e-4f);

  // Head-relative: the position is in the listener's own axes, wherever it is.
  SystemState moved = ListenerFacing({0, 0, -1}, false);
  moved.listeners[0].position = {50, 0, 50};
  Source left = At({-2, 0, 0});
  left.headRelative = true;
  const Result hr = Evaluate(moved, left, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_GT(hr.panGains[0], 0.99f);
  EXPECT_LT(hr.panGains[1], 0.01f);
  EXPECT_NEAR(hr.attenuation, 0.5f, 1e-4f);  // 2 units away, inverse rolloff
}

TEST(SpatialTest, SpreadWidensThePan) {
  // (The 3D level, which blends the pan with the 2D mix, is the mixer's.)
  Source s = At({4, 0, 0});  // hard right
  s.spread = 360;  // all around: both sides alike
  Result r = Evaluate(SystemState{}, s, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_NEAR(r.panGains[0], r.panGains[1], 0.05f);
  EXPECT_NEAR(r.panGains[0] * r.panGains[0] + r.panGains[1] * r.panGains[1], 1.0f, 1e-3f);
  s.spread = 90;  // still mostly right, but left is no longer silent
  r = Evaluate(SystemState{}, s, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_GT(r.panGains[0], 0.05f);
  EXPECT_GT(r.panGains[1], r.panGains[0]);
}

TEST(SpatialTest, SurroundLayoutsPanBetweenNeighbouringSpeakers) {
  // Quad: FL -45, FR 45, SL -135, SR 135. A source at 45 degrees is FR only.
  Result r = Evaluate(SystemState{}, At({3, 0, 3}), FMOD_SPEAKERMODE_QUAD, 4);
  EXPECT_NEAR(r.panGains[1], 1.0f, 1e-4f);
  EXPECT_NEAR(r.panGains[0] + r.panGains[2] + r.panGains[3], 0.0f, 1e-4f);
  // Quad, straight right (90): halfway between FR and SR.
  r = Evaluate(SystemState{}, At({3, 0, 0}), FMOD_SPEAKERMODE_QUAD, 4);
  EXPECT_NEAR(r.panGains[1], std::sqrt(0.5f), 1e-4f);
  EXPECT_NEAR(r.panGains[3], std::sqrt(0.5f), 1e-4f);
  // 5.1 (FL FR C LFE SL SR), straight behind: the two surrounds, no LFE.
  r = Evaluate(SystemState{}, At({0, 0, -3}), FMOD_SPEAKERMODE_5POINT1, 6);
  EXPECT_NEAR(r.panGains[4], r.panGains[5], 1e-4f);
  EXPECT_GT(r.panGains[4], 0.7f);
  EXPECT_EQ(r.panGains[3], 0.0f);
  // 7.1 straight ahead: the centre.
  r = Evaluate(SystemState{}, At({0, 0, 3}), FMOD_SPEAKERMODE_7POINT1, 8);
  EXPECT_NEAR(r.panGains[2], 1.0f, 1e-4f);
  // Mono: everything to the one speaker.
  r = Evaluate(SystemState{}, At({3, 0, 0}), FMOD_SPEAKERMODE_MONO, 1);
  EXPECT_NEAR(r.panGains[0], 1.0f, 1e-5f);
}

TEST(SpatialTest, ConeIsFullInsideQuietOutsideAndLinearBetween) {
  Source s = At({0, 0, 0});
  s.minDistance = 10;  // keep distance out of it
  s.coneOrientation = {0, 0, 1};
  s.coneInsideAngle = 90;
  s.coneOutsideAngle = 180;
  s.coneOutsideVolume = 0.2f;
  auto attenuationFrom = [&](FMOD_VECTOR listenerPos) {
    SystemState sys;
    sys.listeners[0].position = listenerPos;
    return Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).attenuation;
  };
  const float a = 67.5f * 3.14159265f / 180;  // halfway between 45 and 90 degrees off axis
  EXPECT_NEAR(attenuationFrom({0, 0, 5}), 1.0f, 1e-4f);
  EXPECT_NEAR(attenuationFrom({0, 0, -5}), 0.2f, 1e-4f);
  EXPECT_NEAR(attenuationFrom({5 * std::sin(a), 0, 5 * std::cos(a)}), 0.6f, 1e-3f);
}

TEST(SpatialTest, DopplerRaisesPitchWhenApproachingAndLowersWhenLeaving) {
  SystemState sys;
  Source s = At({0, 0, 10});
  s.velocity = {0, 0, -34};  // towards the listener at a tenth of the speed of sound
  EXPECT_NEAR(Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor, 340.0f / 306, 1e-4f);
  s.velocity = {0, 0, 34};
  EXPECT_NEAR(Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor, 340.0f / 374, 1e-4f);
  s.velocity = {0, 0, 0};
  sys.listeners[0].velocity = {0, 0, 34};  // listener moving towards the source
  EXPECT_NEAR(Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor, 374.0f / 340, 1e-4f);

  // Sideways motion, a zero doppler level or scale: no shift.
  sys.listeners[0].velocity = {0, 0, 0};
  s.velocity = {50, 0, 0};
  EXPECT_NEAR(Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor, 1.0f, 1e-5f);
  s.velocity = {0, 0, -34};
  s.dopplerLevel = 0;
  EXPECT_EQ(Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor, 1.0f);
  s.dopplerLevel = 1;
  sys.settings.distanceFactor = 10;  // 10 units per metre: sound travels 3400 units/s
  EXPECT_NEAR(Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor, 3400.0f / 3366, 1e-4f);
  // Faster than sound stays finite and bounded.
  s.velocity = {0, 0, -1e9f};
  const float p = Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).pitchFactor;
  EXPECT_TRUE(std::isfinite(p));
  EXPECT_LE(p, 3.0f + 1e-4f);
}

TEST(SpatialTest, OcclusionAndDistanceFilterLowerGainAndLowpass) {
  SystemState sys;
  Source s = At({0, 0, 1});
  s.directOcclusion = 0.75f;
  Result r = Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_NEAR(r.attenuation, 0.25f, 1e-5f);
  EXPECT_NEAR(r.lowpassGain, 0.25f, 1e-5f);

  // The distance filter (an init flag) closes with distance...
  s.directOcclusion = 0;
  sys.settings.distanceFilter = true;
  s.maxDistance = 101;
  s.position = {0, 0, 1};
  const float nearLp = Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).lowpassGain;
  s.position = {0, 0, 51};
  const float farLp = Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2).lowpassGain;
  EXPECT_NEAR(nearLp, 1.0f, 1e-5f);
  EXPECT_NEAR(farLp, 0.5f, 1e-4f);
  // ...unless the channel sets its own level, which occlusion still muffles.
  s.distanceFilter = true;
  s.distanceFilterLevel = 0.4f;
  s.directOcclusion = 0.5f;
  r = Evaluate(sys, s, FMOD_SPEAKERMODE_STEREO, 2);
  EXPECT_NEAR(r.lowpassGain, 0.2f, 1e-5f);
  EXPECT_NEAR(r.attenuation, 0.5f * 1.0f / 51.0f, 1e-4f);
}

float QuarterAtAnyDistance(FMOD_CHANNELCONTROL*, float) { return 0.25f; }

TEST(SpatialTest, RolloffCallbackOverridesTheModelAndGarbageStaysFinite) {
  SystemState sys;
  sys.rolloffCallback = &QuarterAtAnyDistance;
  EXPECT_NEAR(Evaluate(sys, At({0, 0, 500}), FMOD_SPEAKERMODE_STEREO, 2).attenuation, 0.25f, 1e-6f);

  SystemState broken;
  broken.listeners[0].forward = {0, 0, 0};
  broken.listeners[0].up = {NAN, NAN, NAN};
  Source s = At({NAN, INFINITY, 2});
  s.minDistance = -1;
  s.coneInsideAngle = -50;
  s.spread = NAN;
  const Result r = Evaluate(broken, s, FMOD_SPEAKERMODE_7POINT1, 99);
  for (float g : r.panGains) EXPECT_TRUE(std::isfinite(g));
  EXPECT_TRUE(std::isfinite(r.attenuation));
  EXPECT_TRUE(std::isfinite(r.pitchFactor));
}

}  // namespace
}  // namespace sonvel::engine::spatial
