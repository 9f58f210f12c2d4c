#include "Processor.h"

namespace sonvel::engine::core {

// A unit without parameters: every index is out of range.
FMOD_RESULT Processor::SetFloat(int, float) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::SetInt(int, int) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::SetBool(int, bool) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::SetData(int, void*, unsigned) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::GetFloat(int, float*, char*) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::GetInt(int, int*, char*) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::GetBool(int, bool*, char*) noexcept { return FMOD_ERR_INVALID_PARAM; }
FMOD_RESULT Processor::GetData(int, void**, unsigned*, char*) noexcept { return FMOD_ERR_INVALID_PARAM; }

}  // namespace sonvel::engine::core
