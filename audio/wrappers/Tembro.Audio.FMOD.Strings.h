// Text at the engine boundary. The wrappers speak UTF-8 std::string; the
// engine takes text in the narrow code page of the process (the ANSI code
// page on Windows, UTF-8 on POSIX) and writes its own text back as UTF-8
// into buffers the wrappers fill with zeros beforehand.
//
//   const std::string Path = ToEngineString(APath);
//   Lib::CheckFMODResult(Lib::FMOD_System_SetPluginPath(Handle(), Path.c_str()));
//
//   char Buffer[512] = {};
//   Lib::CheckFMODResult(Lib::FMOD_System_GetNetworkProxy(Handle(), Buffer, sizeof Buffer));
//   return FromEngineBuffer(Buffer, sizeof Buffer);
#pragma once

#include <cstddef>
#include <string>

namespace Tembro::Audio::FMOD {

// AText (UTF-8) in the engine's narrow code page. The result's c_str() is
// what goes to the engine: never null, a single zero byte for empty text.
// On POSIX the text is unchanged; on Windows characters the ANSI code page
// lacks become that code page's replacement character.
std::string ToEngineString(const std::string& AText);

// The text the engine wrote into a zero-filled buffer of ACapacity bytes:
// the bytes up to the first zero byte (or all ACapacity when there is none),
// decoded as UTF-8 with every malformed sequence replaced by U+FFFD, and
// trimmed at both ends of every character at or below U+0020 (blanks,
// control characters). Reads no byte at or beyond ACapacity; a null buffer
// gives the empty string.
std::string FromEngineBuffer(const char* ABuffer, std::size_t ACapacity);

}  // namespace Tembro::Audio::FMOD
