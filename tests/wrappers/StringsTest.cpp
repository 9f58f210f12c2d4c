// Text at the engine boundary: what goes to the engine and how the text the
// engine writes into a buffer comes back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Strings.h"

using namespace Tembro::Audio::FMOD;

TEST(Strings, EngineBufferTextIsDecodedUpToItsZeroAndTrimmed) {
  struct Case {
    const char* What;
    std::string Buffer;  // the buffer as the engine left it, zero fill included
    std::string Expected;
  } const Cases[] = {
      {"all zeros", std::string(16, '\0'), ""},
      {"a name", std::string("drums\0\0\0", 8), "drums"},
      {"blanks and controls at both ends", std::string("\t  drum loop \r\n\0\0", 17), "drum loop"},
      {"only blanks", std::string("   \0", 4), ""},
      {"blanks inside stay", std::string("a  b\0", 5), "a  b"},
      {"stops at the first zero", std::string("left\0right\0", 11), "left"},
      {"no zero: the whole capacity", std::string("full"), "full"},
      {"multi-byte text", std::string("J\xC3\xA4ger \xE2\x82\xAC\0", 11), "J\xC3\xA4ger \xE2\x82\xAC"},
      {"a malformed byte", std::string("a\xFF" "b\0", 4), "a\xEF\xBF\xBD" "b"},
      {"a sequence cut by the zero", std::string("ab\xE2\x82\0", 5), "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"a surrogate", std::string("\xED\xA0\x80\0", 4), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(FromEngineBuffer(C.Buffer.data(), C.Buffer.size()), C.Expected) << C.What;
}

TEST(Strings, EngineBufferIsNeverReadPastItsCapacity) {
  const char Buffer[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  EXPECT_EQ(FromEngineBuffer(Buffer, 3), "abc");
  EXPECT_EQ(FromEngineBuffer(Buffer, 0), "");
  EXPECT_EQ(FromEngineBuffer(nullptr, 512), "");
}

TEST(Strings, TextForTheEngineIsNeverNull) {
  const std::string Empty = ToEngineString("");
  ASSERT_NE(Empty.c_str(), nullptr);
  EXPECT_EQ(Empty.c_str()[0], '\0');
#ifndef _WIN32
  EXPECT_EQ(ToEngineString("J\xC3\xA4ger.wav"), "J\xC3\xA4ger.wav");  // UTF-8 is the narrow code page
#endif
}
