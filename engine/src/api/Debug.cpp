// FMOD_Debug_Initialize: the logging build routes its log; the release build
// has none.
#include "Api.h"
#include "Log.h"

namespace sonvel::engine {
namespace {

FMOD_RESULT DebugInitialize(FMOD_DEBUG_FLAGS flags, FMOD_DEBUG_MODE mode, FMOD_DEBUG_CALLBACK callback,
                            const char* filename) {
  if (!IsLoggingBuild()) return FMOD_ERR_UNSUPPORTED;
  return log::Configure(flags, mode, callback, filename);
}

const ApiRegistration kRegistration{[](ApiTable& t) { t.FMOD_Debug_Initialize = &DebugInitialize; }};

}  // namespace

}  // namespace sonvel::engine
