// A stand-in engine for loader tests: it exports only a handful of entry
// points, and its debug set-up always fails with "file not found".
#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"

#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))

PARTIAL_EXPORT FMOD_RESULT F_CALL FMOD_Debug_Initialize(FMOD_DEBUG_FLAGS, FMOD_DEBUG_MODE, FMOD_DEBUG_CALLBACK,
                                                        const char*) {
  return FMOD_ERR_FILE_NOTFOUND;
}

PARTIAL_EXPORT FMOD_RESULT F_CALL FMOD_System_Create(FMOD_SYSTEM** system) {
  *system = reinterpret_cast<FMOD_SYSTEM*>(0x5151);
  return FMOD_OK;
}
