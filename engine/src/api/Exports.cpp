// The engine's C interface: one exported function per entry point, derived
// from the one list. Each is a noexcept forwarder into the implementation
// table: it turns any internal exception into a result code, answers
// FMOD_ERR_UNIMPLEMENTED for an entry point nobody implements yet, and in the
// logging build traces the call with its arguments and result.
//
// This file is compiled once per build; SONVEL_ENGINE_LOGGING tells which.
#include <new>

#include "Api.h"
#include "Log.h"
#include "Trace.h"

#if defined(_WIN32)
#define SONVEL_EXPORT __declspec(dllexport)
#else
#define SONVEL_EXPORT __attribute__((visibility("default")))
#endif

namespace sonvel::engine {

bool IsLoggingBuild() noexcept { return SONVEL_ENGINE_LOGGING != 0; }

namespace {

template <typename Function, typename... Args>
FMOD_RESULT Dispatch(const char* name, const char* argNames, Function function, Args... args) noexcept {
  FMOD_RESULT result;
  if (function == nullptr) {
    log::Warning(name, "not implemented");
    result = FMOD_ERR_UNIMPLEMENTED;
  } else {
    try {
      result = function(args...);
    } catch (const std::bad_alloc&) {
      result = FMOD_ERR_MEMORY;
    } catch (...) {
      log::Error(name, "internal error");
      result = FMOD_ERR_INTERNAL;
    }
  }
  if (SONVEL_ENGINE_LOGGING && log::TraceEnabled()) {
    try {
      log::Trace(trace::FormatCall(name, argNames, result, args...));
    } catch (...) {
      // No memory for the line: the call goes untraced rather than fail.
    }
  }
  return result;
}

}  // namespace
}  // namespace sonvel::engine

extern "C" {
#define SONVEL_UNPAREN(...) __VA_ARGS__
#define FMOD_ENTRY(name, params, args)                                                           \
  SONVEL_EXPORT FMOD_RESULT F_CALL name params noexcept {                                        \
    return sonvel::engine::Dispatch(#name, #args, sonvel::engine::Api().name, SONVEL_UNPAREN args); \
  }
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
}
