// What every built-in effect type shares: it is made by type, describes its
// parameters completely, and the offline render that the effect tests use
// carries a signal exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "EffectTestSupport.h"

using namespace sonvel::test;

namespace {

class EffectsTest : public EffectFixture {};


TEST_F(EffectsTest, EveryTypeIsMadeAndDescribesEachParameterItTakes) {
  for (int Type = FMOD_DSP_TYPE_MIXER; Type < FMOD_DSP_TYPE_MAX; ++Type) {
    if (Type == FMOD_DSP_TYPE_VSTPLUGIN || Type == FMOD_DSP_TYPE_WINAMPPLUGIN) continue;
    SCOPED_TRACE("type " + std::to_string(Type));
    FMOD_DSP* Dsp = Effect(FMOD_DSP_TYPE(Type));
    ASSERT_NE(Dsp, nullptr);
    FMOD_DSP_TYPE Got = FMOD_DSP_TYPE_UNKNOWN;
    ASSERT_EQ(Lib::FMOD_DSP_GetType(Dsp, &Got), FMOD_OK);
    EXPECT_EQ(Got, Type);
    char Name[32] = {};
    ASSERT_EQ(Lib::FMOD_DSP_GetInfo(Dsp, Name, nullptr, nullptr, nullptr, nullptr), FMOD_OK);
    EXPECT_GT(std::strlen(Name), 0u);
    int Count = -1;
    ASSERT_EQ(Lib::FMOD_DSP_GetNumParameters(Dsp, &Count), FMOD_OK);
    for (int I = 0; I < Count; ++I) {
      SCOPED_TRACE("parameter " + std::to_string(I));
      FMOD_DSP_PARAMETER_DESC* Desc = nullptr;
      ASSERT_EQ(Lib::FMOD_DSP_GetParameterInfo(Dsp, I, &Desc), FMOD_OK);
      ASSERT_NE(Desc, nullptr);
      EXPECT_GT(std::strlen(Desc->name), 0u);
      EXPECT_NE(Desc->description, nullptr);
      char Text[FMOD_DSP_GETPARAM_VALUESTR_LENGTH] = {};
      switch (Desc->type) {
        case FMOD_DSP_PARAMETER_TYPE_FLOAT: {
          const FMOD_DSP_PARAMETER_DESC_FLOAT& F = Desc->floatdesc;
          EXPECT_LE(F.min, F.defaultval);
          EXPECT_LE(F.defaultval, F.max);
          float Value = -1e30f;
          ASSERT_EQ(Lib::FMOD_DSP_GetParameterFloat(Dsp, I, &Value, Text, sizeof Text), FMOD_OK);
          EXPECT_EQ(Value, F.defaultval);
          EXPECT_GT(std::strlen(Text), 0u);
          if (F.max < 1e30f) {
            EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, I, F.max * 2 + 1), FMOD_ERR_INVALID_PARAM);
          }
          EXPECT_EQ(Lib::FMOD_DSP_SetParameterFloat(Dsp, I, F.defaultval), FMOD_OK);
          break;
        }
        case FMOD_DSP_PARAMETER_TYPE_INT: {
          const FMOD_DSP_PARAMETER_DESC_INT& N = Desc->intdesc;
          EXPECT_LE(N.min, N.defaultval);
          EXPECT_LE(N.defaultval, N.max);
          int Value = -12345;
          ASSERT_EQ(Lib::FMOD_DSP_GetParameterInt(Dsp, I, &Value, Text, sizeof Text), FMOD_OK);
          // (A return's id is the engine's to give.)
          if (Type != FMOD_DSP_TYPE_RETURN || I != FMOD_DSP_RETURN_ID) {
            EXPECT_EQ(Value, N.defaultval);
          }
          EXPECT_GT(std::strlen(Text), 0u);
          if (N.max < (1 << 30)) {
            EXPECT_EQ(Lib::FMOD_DSP_SetParameterInt(Dsp, I, N.max + 1), FMOD_ERR_INVALID_PARAM);
          }
          break;
        }
        case FMOD_DSP_PARAMETER_TYPE_BOOL: {
          FMOD_BOOL Value = -1;
          ASSERT_EQ(Lib::FMOD_DSP_GetParameterBool(Dsp, I, &Value, Text, sizeof Text), FMOD_OK);
          EXPECT_EQ(Value, Desc->booldesc.defaultval);
          EXPECT_GT(std::strlen(Text), 0u);
          break;
        }
        case FMOD_DSP_PARAMETER_TYPE_DATA: {
          int Index = -1;
          ASSERT_EQ(Lib::FMOD_DSP_GetDataParameterIndex(Dsp, Desc->datadesc.datatype, &Index), FMOD_OK);
          if (Desc->datadesc.datatype != FMOD_DSP_PARAMETER_DATA_TYPE_USER) {
            EXPECT_EQ(Index, I);
          }
          break;
        }
        default: ADD_FAILURE() << "an unknown parameter type " << int(Desc->type);
      }
    }
    EXPECT_EQ(Lib::FMOD_DSP_GetParameterInfo(Dsp, Count, nullptr), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(Lib::FMOD_DSP_Release(Dsp), FMOD_OK);
  }
}

TEST_F(EffectsTest, ThePlugInTypesOfOtherPlatformsAreUnavailable) {
  for (const FMOD_DSP_TYPE Type : {FMOD_DSP_TYPE_VSTPLUGIN, FMOD_DSP_TYPE_WINAMPPLUGIN}) {
    FMOD_DSP* Dsp = reinterpret_cast<FMOD_DSP*>(1);
    EXPECT_EQ(Lib::FMOD_System_CreateDSPByType(FSystem, Type, &Dsp), FMOD_ERR_PLUGIN_MISSING);
    EXPECT_EQ(Dsp, nullptr);
  }
}

TEST_F(EffectsTest, TheRenderCarriesTheSignalSampleForSampleFromTheFirstFrame) {
  // A mixer unit passes its input on: what the capture records is the
  // source's signal exactly, from frame 0, across block edges, in both widths.
  for (const int Channels : {1, 2}) {
    SCOPED_TRACE(Channels);
    FMOD_DSP* Pass = Effect(FMOD_DSP_TYPE_MIXER);
    const TSignal In = Generate(3000, Channels, [](std::size_t I, int C) { return 0.001f * float(I % 997) - 0.3f * C; });
    const TRender Out = Render(Pass, In, 4096);
    ASSERT_EQ(Out.Channels, Channels);
    ASSERT_EQ(Out.Frames(), 4096u);
    for (std::size_t I = 0; I < 4096; ++I)
      for (int C = 0; C < Channels; ++C)
        ASSERT_EQ(Out.At(I, C), I < 3000 ? In.At(I, C) : 0.0f) << "frame " << I << " channel " << C;
    EXPECT_EQ(Lib::FMOD_DSP_Release(Pass), FMOD_OK);
  }
}

}  // namespace
