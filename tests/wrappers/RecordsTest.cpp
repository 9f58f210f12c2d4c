// The value records themselves: the listener factories, and the layouts the
// wrappers rely on when they hand record fields to the engine by address.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Intf.DSP.Records.h"
#include "Tembro.Audio.FMOD.Intf.Geometry.Records.h"
#include "Tembro.Audio.FMOD.Intf.Reverb3D.Records.h"
#include "Tembro.Audio.FMOD.Intf.Sound.Records.h"
#include "Tembro.Audio.FMOD.Intf.System.h"

using namespace Tembro::Audio::FMOD;

TEST(Records, ListenerAttrCreateFillsTheDefaultsWithUpPointingDown) {
  const TPoint3D Pos{1, 2, 3}, Vel{4, 5, 6}, Forward{7, 8, 9}, Up{10, 11, 12};
  struct Case {
    const char* Form;
    TTembroFMOD3DListenerAttr Made;
    TTembroFMOD3DListenerAttr Expected;
  } const Cases[] = {
      {"()", TTembroFMOD3DListenerAttr::Create(), {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      {"(pos)", TTembroFMOD3DListenerAttr::Create(Pos), {Pos, {0, 0, 0}, {0, 0, -1}, {0, -1, 0}}},
      {"(pos, vel)", TTembroFMOD3DListenerAttr::Create(Pos, Vel), {Pos, Vel, {0, 0, -1}, {0, -1, 0}}},
      {"(pos, vel, forward, up)", TTembroFMOD3DListenerAttr::Create(Pos, Vel, Forward, Up), {Pos, Vel, Forward, Up}},
  };
  for (const Case& C : Cases) EXPECT_EQ(C.Made, C.Expected) << C.Form;
}

// Vectors go to the engine as the address of a TPoint3D, arrays of them as
// the address of the first element, and the four listener vectors as the
// addresses of consecutive fields.
TEST(Records, PointsAndVectorFieldsHaveTheEngineVectorLayout) {
  std::vector<TPoint3D> Points{{1, 2, 3}, {4, 5, 6}};
  const FMOD_VECTOR* Engine = AsFMODVector(Points.data());
  EXPECT_EQ(Engine[1].x, 4.0f);
  EXPECT_EQ(Engine[1].z, 6.0f);
  EXPECT_EQ(sizeof(TTembroFMOD3DListenerAttr), 4 * sizeof(FMOD_VECTOR));
  EXPECT_EQ(sizeof(TTembroFMOD3DAttributes), 3 * sizeof(FMOD_VECTOR));
  EXPECT_EQ(offsetof(TTembroFMOD3DReverbAttributes, MinDistance), sizeof(FMOD_VECTOR));
  EXPECT_EQ(sizeof(TTembroFMODSpeakerPosition), 12u);
  EXPECT_EQ(sizeof(TGUID), sizeof(FMOD_GUID));
}

// Records start out zero and empty, so that a record the engine did not
// fill never carries garbage.
TEST(Records, DefaultRecordsAreZeroAndEmpty) {
  EXPECT_EQ(TTembroFMODMixMatrix{}.Matrix.size(), 16u);
  for (float Coefficient : TTembroFMODMixMatrix{}.Matrix) EXPECT_EQ(Coefficient, 0.0f);
  EXPECT_EQ((TTembroFMODMixMatrix{}.InChannel_Hop), 0);
  EXPECT_TRUE(TTembroFMOD3DCustomRolloff{}.Points.empty());
  EXPECT_EQ(TTembroFMOD3DCustomRolloff{}.NumPoints, 0);
  EXPECT_TRUE(TTembroFMODFadePoints{}.Point_DSPClock.empty());
  EXPECT_TRUE(TTembroFMODPolygon{}.Vertices.empty());
  EXPECT_EQ(TTembroFMODSyncPointInfo{}.Point, nullptr);
  EXPECT_EQ(TTembroFMODDSPInfo{}.Name, nullptr);
  EXPECT_EQ(TTembroFMODDriverInfo{}.GUID, TGUID{});
  EXPECT_EQ(TTembroFMOD3DListenerAttr{}, TTembroFMOD3DListenerAttr::Create());
}
