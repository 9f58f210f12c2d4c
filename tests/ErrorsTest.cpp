#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "Tembro.Audio.FMOD.Lib.Errors.h"

using namespace Tembro::Audio::FMOD::Lib;

namespace {

// Texts that are easy to get wrong: accents, double blanks, first and last.
struct MessageCase {
  int Code;
  const char* Text;
};

const MessageCase kMessageCases[] = {
    {0, "No errors."},
    {3, "The specified channel has been reused to play another sound."},
    {6, "DSP result :=  code from a DSP process query callback.  Tells mixer not to call the process callback and "
        "therefore not consume CPU.  Use this to optimize the DSP graph."},
    {8, "DSP is already in the mixer\u00b4s DSP network. It must be removed before being reinserted or released."},
    {11, "DSP result :=  code from a DSP process query callback.  Tells mixer silence would be produced from read, "
         "so go idle and not consume CPU.  Use this to optimize the DSP graph."},
    {18, "File not found."},
    {30, "An invalid object handle was used."},
    {31, "An invalid parameter was passed to this function."},
    {53, "An unspecified error has been result := ed from a plugin."},
    {55, "A resource that the plugin requires cannot be found. (ie the DLS file for MIDI playback)"},
    {64, "The sound created exceeds the allowable input channel count.  This can be increased using the "
         "\u00b4maxinputchannels\u00b4 parameter in System::setSoftwareFormat."},
    {66, "Something in FMOD hasn\u00b4t been implemented when it should be! contact support!"},
    {81, "The length provided exceeds the allowable limit."},
    {82, "Unknown error."},
    {-1, "Unknown error."},
    {1000, "Unknown error."},
    {INT_MAX, "Unknown error."},
    {INT_MIN, "Unknown error."},
};

}  // namespace

TEST(FMODResultMessage, GivesTheEngineTextForEachCode) {
  for (const MessageCase& Case : kMessageCases) EXPECT_EQ(FMODResultMessage(Case.Code), Case.Text) << Case.Code;
}

TEST(FMODResultMessage, EveryKnownCodeHasItsOwnTextWithAccentsNotApostrophes) {
  std::set<std::string> Seen;
  for (int Code = 0; Code <= 81; ++Code) {
    const std::string Text = FMODResultMessage(Code);
    EXPECT_NE(Text, "Unknown error.") << Code;
    EXPECT_TRUE(Seen.insert(Text).second) << "text of " << Code << " repeats";
    EXPECT_EQ(Text.find('\''), std::string::npos) << Code;
  }
}

TEST(CheckFMODResult, ZeroPassesAndAnyOtherCodeRaisesItsTextAlone) {
  EXPECT_NO_THROW(CheckFMODResult(0));
  for (int Code : {18, 81, 82, -1}) {
    try {
      CheckFMODResult(Code);
      ADD_FAILURE() << Code << " did not raise";
    } catch (const std::runtime_error& E) {
      EXPECT_EQ(std::string(E.what()), FMODResultMessage(Code));
      const auto* Engine = dynamic_cast<const ETembroFMODError*>(&E);
      ASSERT_NE(Engine, nullptr);
      EXPECT_EQ(Engine->Code(), Code);
    }
  }
}
