// The engine's C declarations: all six headers together, the 64-bit offsets
// of fields that a misordered or mistyped member would move, and the values
// the program and the result messages depend on.
#include <gtest/gtest.h>

#include <cstddef>

#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Codec.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"
#include "Tembro.Audio.FMOD.Lib.DSP.Effects.h"
#include "Tembro.Audio.FMOD.Lib.Output.h"

namespace {

struct LayoutCase {
  const char* What;
  std::size_t Actual;
  std::size_t Expected;
};

TEST(LibTypesTest, StructuresHaveTheEngine64BitLayout) {
  if (sizeof(void*) != 8) GTEST_SKIP() << "layouts are pinned for 64-bit targets";

  const LayoutCase Cases[] = {
      {"sizeof FMOD_VECTOR", sizeof(FMOD_VECTOR), 12},
      {"sizeof FMOD_GUID", sizeof(FMOD_GUID), 16},
      {"sizeof FMOD_3D_ATTRIBUTES", sizeof(FMOD_3D_ATTRIBUTES), 48},
      {"sizeof FMOD_RESULT", sizeof(FMOD_RESULT), 4},
      {"sizeof FMOD_SPEAKERMODE", sizeof(FMOD_SPEAKERMODE), 4},
      {"FMOD_CREATESOUNDEXINFO.inclusionlist", offsetof(FMOD_CREATESOUNDEXINFO, inclusionlist), 40},
      {"FMOD_CREATESOUNDEXINFO.pcmreadcallback", offsetof(FMOD_CREATESOUNDEXINFO, pcmreadcallback), 56},
      {"FMOD_CREATESOUNDEXINFO.suggestedsoundtype", offsetof(FMOD_CREATESOUNDEXINFO, suggestedsoundtype), 112},
      {"FMOD_CREATESOUNDEXINFO.fileuseropen", offsetof(FMOD_CREATESOUNDEXINFO, fileuseropen), 120},
      {"FMOD_CREATESOUNDEXINFO.channelmask", offsetof(FMOD_CREATESOUNDEXINFO, channelmask), 184},
      {"FMOD_CREATESOUNDEXINFO.initialsoundgroup", offsetof(FMOD_CREATESOUNDEXINFO, initialsoundgroup), 192},
      {"FMOD_CREATESOUNDEXINFO.fsbguid", offsetof(FMOD_CREATESOUNDEXINFO, fsbguid), 224},
      {"FMOD_ADVANCEDSETTINGS.ASIOChannelList", offsetof(FMOD_ADVANCEDSETTINGS, ASIOChannelList), 40},
      {"FMOD_ADVANCEDSETTINGS.profilePort", offsetof(FMOD_ADVANCEDSETTINGS, profilePort), 76},
      {"FMOD_ADVANCEDSETTINGS.geometryMaxFadeTime", offsetof(FMOD_ADVANCEDSETTINGS, geometryMaxFadeTime), 80},
      {"FMOD_ADVANCEDSETTINGS.randomSeed", offsetof(FMOD_ADVANCEDSETTINGS, randomSeed), 116},
      {"FMOD_REVERB_PROPERTIES.WetLevel", offsetof(FMOD_REVERB_PROPERTIES, WetLevel), 44},
      {"FMOD_DSP_DESCRIPTION.version", offsetof(FMOD_DSP_DESCRIPTION, version), 36},
      {"FMOD_DSP_DESCRIPTION.create", offsetof(FMOD_DSP_DESCRIPTION, create), 48},
      {"FMOD_DSP_DESCRIPTION.paramdesc", offsetof(FMOD_DSP_DESCRIPTION, paramdesc), 104},
      {"FMOD_DSP_DESCRIPTION.userdata", offsetof(FMOD_DSP_DESCRIPTION, userdata), 184},
      {"FMOD_DSP_DESCRIPTION.sys_mix", offsetof(FMOD_DSP_DESCRIPTION, sys_mix), 208},
      {"FMOD_CODEC_DESCRIPTION.open", offsetof(FMOD_CODEC_DESCRIPTION, open), 24},
      {"FMOD_CODEC_DESCRIPTION.getwaveformat", offsetof(FMOD_CODEC_DESCRIPTION, getwaveformat), 80},
      {"FMOD_OUTPUT_DESCRIPTION.polling", offsetof(FMOD_OUTPUT_DESCRIPTION, polling), 20},
      {"FMOD_OUTPUT_DESCRIPTION.getnumdrivers", offsetof(FMOD_OUTPUT_DESCRIPTION, getnumdrivers), 24},
      {"FMOD_OUTPUT_DESCRIPTION.closeport", offsetof(FMOD_OUTPUT_DESCRIPTION, closeport), 160},
  };
  for (const LayoutCase& Case : Cases) EXPECT_EQ(Case.Actual, Case.Expected) << Case.What;
}

struct ValueCase {
  const char* What;
  long long Actual;
  long long Expected;
};

TEST(LibTypesTest, CodesAndConstantsHaveTheEngineValues) {
  const ValueCase Cases[] = {
      // Result codes, as the message table numbers them.
      {"FMOD_OK", FMOD_OK, 0},
      {"FMOD_ERR_CHANNEL_STOLEN", FMOD_ERR_CHANNEL_STOLEN, 3},
      {"FMOD_ERR_FILE_BAD", FMOD_ERR_FILE_BAD, 13},
      {"FMOD_ERR_FILE_EOF", FMOD_ERR_FILE_EOF, 16},
      {"FMOD_ERR_FILE_NOTFOUND", FMOD_ERR_FILE_NOTFOUND, 18},
      {"FMOD_ERR_FORMAT", FMOD_ERR_FORMAT, 19},
      {"FMOD_ERR_INVALID_HANDLE", FMOD_ERR_INVALID_HANDLE, 30},
      {"FMOD_ERR_INVALID_PARAM", FMOD_ERR_INVALID_PARAM, 31},
      {"FMOD_ERR_MEMORY", FMOD_ERR_MEMORY, 38},
      {"FMOD_ERR_TRUNCATED", FMOD_ERR_TRUNCATED, 65},
      {"FMOD_ERR_UNIMPLEMENTED", FMOD_ERR_UNIMPLEMENTED, 66},
      {"FMOD_ERR_TOOMANYSAMPLES", FMOD_ERR_TOOMANYSAMPLES, 81},
      // The version and the configuration the program passes to the engine.
      {"FMOD_VERSION", FMOD_VERSION, 69640},
      {"debug flags", FMOD_DEBUG_LEVEL_LOG | FMOD_DEBUG_TYPE_TRACE, 0x804},
      {"FMOD_DEBUG_MODE_FILE", FMOD_DEBUG_MODE_FILE, 1},
      {"FMOD_INIT_3D_RIGHTHANDED", FMOD_INIT_3D_RIGHTHANDED, 4},
      // Last members of long enumerations: a missing or extra member moves them.
      {"FMOD_OUTPUTTYPE_MAX", FMOD_OUTPUTTYPE_MAX, 24},
      {"FMOD_SOUND_TYPE_MAX", FMOD_SOUND_TYPE_MAX, 24},
      {"FMOD_DSP_TYPE_MULTIBAND_EQ", FMOD_DSP_TYPE_MULTIBAND_EQ, 36},
      {"FMOD_DSP_PAN_2D_HEIGHT_BLEND", FMOD_DSP_PAN_2D_HEIGHT_BLEND, 21},
      {"FMOD_DSP_CHANNELMIX_GAIN_CH31", FMOD_DSP_CHANNELMIX_GAIN_CH31, 32},
  };
  for (const ValueCase& Case : Cases) EXPECT_EQ(Case.Actual, Case.Expected) << Case.What;
}

}  // namespace
