#include "Tembro.Audio.FMOD.Strings.h"

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

namespace Tembro::Audio::FMOD {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at the start of AText (at
// most ALength bytes), or 0 when the bytes there are not one.
std::size_t WellFormedSequenceLength(const unsigned char* AText, std::size_t ALength) {
  const unsigned char Lead = AText[0];
  if (Lead < 0x80) return 1;
  std::size_t Length = 0;
  unsigned char Low = 0x80, High = 0xBF;  // allowed range of the second byte
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    if (Lead == 0xE0) Low = 0xA0;   // no overlong forms
    if (Lead == 0xED) High = 0x9F;  // no surrogates
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    if (Lead == 0xF0) Low = 0x90;   // no overlong forms
    if (Lead == 0xF4) High = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (ALength < Length) return 0;
  if (AText[1] < Low || AText[1] > High) return 0;
  for (std::size_t I = 2; I < Length; ++I)
    if (AText[I] < 0x80 || AText[I] > 0xBF) return 0;
  return Length;
}

}  // namespace

std::string ToEngineString(const std::string& AText) {
#ifdef _WIN32
  if (AText.empty()) return std::string();
  const int WideLength =
      MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
  std::wstring Wide(static_cast<std::size_t>(WideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), Wide.data(), WideLength);
  const int NarrowLength =
      WideCharToMultiByte(CP_ACP, 0, Wide.data(), WideLength, nullptr, 0, nullptr, nullptr);
  std::string Narrow(static_cast<std::size_t>(NarrowLength), '\0');
  WideCharToMultiByte(CP_ACP, 0, Wide.data(), WideLength, Narrow.data(), NarrowLength, nullptr, nullptr);
  return Narrow;
#else
  return AText;
#endif
}

std::string FromEngineBuffer(const char* ABuffer, std::size_t ACapacity) {
  if (ABuffer == nullptr || ACapacity == 0) return std::string();
  const void* Zero = std::memchr(ABuffer, 0, ACapacity);
  const std::size_t Length = Zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(Zero) - ABuffer) : ACapacity;

  // Characters at or below U+0020 are single bytes in UTF-8, so trimming
  // bytes trims exactly those characters.
  std::size_t First = 0, Last = Length;
  while (First < Last && static_cast<unsigned char>(ABuffer[First]) <= 0x20) ++First;
  while (Last > First && static_cast<unsigned char>(ABuffer[Last - 1]) <= 0x20) --Last;

  std::string Result;
  Result.reserve(Last - First);
  const auto* Text = reinterpret_cast<const unsigned char*>(ABuffer);
  for (std::size_t I = First; I < Last;) {
    const std::size_t Sequence = WellFormedSequenceLength(Text + I, Last - I);
    if (Sequence == 0) {
      Result += kReplacement;
      ++I;
    } else {
      Result.append(ABuffer + I, Sequence);
      I += Sequence;
    }
  }
  return Result;
}

}  // namespace Tembro::Audio::FMOD
