// The engine's debug log: where it goes (a file, stderr or the caller's
// callback) and at which levels. Only the logging build writes anything.
#pragma once

#include <string>

#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine {

// True in the logging build, false in the release build (defined by the
// export layer, which is compiled once per build).
bool IsLoggingBuild() noexcept;

}  // namespace sonvel::engine

namespace sonvel::engine::log {

// Routes the log; answers the engine's result code.
FMOD_RESULT Configure(FMOD_DEBUG_FLAGS flags, FMOD_DEBUG_MODE mode, FMOD_DEBUG_CALLBACK callback,
                      const char* filename) noexcept;

bool TraceEnabled() noexcept;

// Writes one line at a level (an FMOD_DEBUG_LEVEL_* or FMOD_DEBUG_TYPE_* flag)
// when that level is on.
void Write(FMOD_DEBUG_FLAGS level, const char* function, const std::string& message) noexcept;

inline void Error(const char* function, const std::string& message) noexcept {
  Write(FMOD_DEBUG_LEVEL_ERROR, function, message);
}
inline void Warning(const char* function, const std::string& message) noexcept {
  Write(FMOD_DEBUG_LEVEL_WARNING, function, message);
}
inline void Info(const char* function, const std::string& message) noexcept {
  Write(FMOD_DEBUG_LEVEL_LOG, function, message);
}
inline void Trace(const std::string& call) noexcept { Write(FMOD_DEBUG_TYPE_TRACE, "API", call); }

}  // namespace sonvel::engine::log
