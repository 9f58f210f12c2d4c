// The engine's result codes as errors: the message table and the result check
// through which every wrapper passes every engine result.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace Tembro::Audio::FMOD::Lib {

// Raised for every non-zero engine result. what() is exactly the engine's
// text for the code, with nothing added; Code() keeps the code, so callers
// need not match texts.
class ETembroFMODError : public std::runtime_error {
public:
  explicit ETembroFMODError(std::int32_t ACode);
  std::int32_t Code() const noexcept { return FCode; }

private:
  std::int32_t FCode;
};

// The text for a result code: the engine's message for 0 to 81 and
// "Unknown error." for every other value. Never fails.
std::string FMODResultMessage(std::int32_t AResult);

// Returns at once for 0; raises ETembroFMODError otherwise.
inline void CheckFMODResult(std::int32_t AResult) {
  if (AResult != 0) throw ETembroFMODError(AResult);
}

}  // namespace Tembro::Audio::FMOD::Lib
