#include "Log.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif


namespace sonvel::engine::log {

namespace {

std::atomic<FMOD_DEBUG_FLAGS> gFlags{0};
std::mutex gMutex;  // guards the destination; never taken by the mixer
FMOD_DEBUG_MODE gMode = FMOD_DEBUG_MODE_TTY;
FMOD_DEBUG_CALLBACK gCallback = nullptr;
std::FILE* gFile = nullptr;

// Closes the log file when the library is unloaded.
struct LogFileCloser {
  ~LogFileCloser() {
    if (gFile != nullptr) std::fclose(gFile);
    gFile = nullptr;
  }
} gLogFileCloser;

// Opens the log for appending, never through a symbolic link: the log may
// live in a folder that every user can write to.
std::FILE* OpenLogFile(const char* filename) {
#ifdef _WIN32
  return std::fopen(filename, "a");
#else
  int fd = ::open(filename, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) fd = ::open(filename, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "a");
  if (file == nullptr) ::close(fd);
  return file;
#endif
}

const char* LevelName(FMOD_DEBUG_FLAGS level) {
  if (level & FMOD_DEBUG_LEVEL_ERROR) return "ERR";
  if (level & FMOD_DEBUG_LEVEL_WARNING) return "WRN";
  if (level & FMOD_DEBUG_TYPE_TRACE) return "TRC";
  return "LOG";
}

bool Enabled(FMOD_DEBUG_FLAGS flags, FMOD_DEBUG_FLAGS level) {
  // The levels are cumulative: logging includes warnings, warnings errors.
  FMOD_DEBUG_FLAGS levels = 0;
  if (flags & FMOD_DEBUG_LEVEL_LOG) levels = FMOD_DEBUG_LEVEL_ERROR | FMOD_DEBUG_LEVEL_WARNING | FMOD_DEBUG_LEVEL_LOG;
  else if (flags & FMOD_DEBUG_LEVEL_WARNING) levels = FMOD_DEBUG_LEVEL_ERROR | FMOD_DEBUG_LEVEL_WARNING;
  else if (flags & FMOD_DEBUG_LEVEL_ERROR) levels = FMOD_DEBUG_LEVEL_ERROR;
  return ((levels | flags) & level) != 0;
}

}  // namespace

FMOD_RESULT Configure(FMOD_DEBUG_FLAGS flags, FMOD_DEBUG_MODE mode, FMOD_DEBUG_CALLBACK callback,
                      const char* filename) noexcept {
  if (mode != FMOD_DEBUG_MODE_TTY && mode != FMOD_DEBUG_MODE_FILE && mode != FMOD_DEBUG_MODE_CALLBACK)
    return FMOD_ERR_INVALID_PARAM;
  if (mode == FMOD_DEBUG_MODE_CALLBACK && callback == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (mode == FMOD_DEBUG_MODE_FILE && (filename == nullptr || filename[0] == '\0')) return FMOD_ERR_INVALID_PARAM;

  std::FILE* file = nullptr;
  if (mode == FMOD_DEBUG_MODE_FILE) {
    file = OpenLogFile(filename);
    if (file == nullptr) return errno == ENOENT ? FMOD_ERR_FILE_NOTFOUND : FMOD_ERR_FILE_BAD;
  }
  std::lock_guard lock(gMutex);
  if (gFile != nullptr) std::fclose(gFile);
  gFile = file;
  gMode = mode;
  gCallback = callback;
  gFlags.store(flags);
  return FMOD_OK;
}

bool TraceEnabled() noexcept { return (gFlags.load(std::memory_order_relaxed) & FMOD_DEBUG_TYPE_TRACE) != 0; }

void Write(FMOD_DEBUG_FLAGS level, const char* function, const std::string& message) noexcept {
  if (!IsLoggingBuild() || !Enabled(gFlags.load(std::memory_order_relaxed), level)) return;
  std::lock_guard lock(gMutex);
  switch (gMode) {
    case FMOD_DEBUG_MODE_CALLBACK:
      if (gCallback != nullptr) gCallback(level, __FILE__, 0, function, message.c_str());
      break;
    case FMOD_DEBUG_MODE_FILE:
      if (gFile != nullptr) {
        std::fprintf(gFile, "[%s] %-28s : %s\n", LevelName(level), function, message.c_str());
        std::fflush(gFile);
      }
      break;
    default:
      std::fprintf(stderr, "[%s] %-28s : %s\n", LevelName(level), function, message.c_str());
      break;
  }
}

}  // namespace sonvel::engine::log
