// A stand-in engine that loads and logs like ours but reports a version older
// than the wrappers accept, so that creating the system fails after the
// library was loaded.
#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"

#define OLD_ENGINE_EXPORT extern "C" __attribute__((visibility("default")))

OLD_ENGINE_EXPORT FMOD_RESULT F_CALL FMOD_Debug_Initialize(FMOD_DEBUG_FLAGS, FMOD_DEBUG_MODE, FMOD_DEBUG_CALLBACK,
                                                           const char*) {
  return FMOD_OK;
}

OLD_ENGINE_EXPORT FMOD_RESULT F_CALL FMOD_System_Create(FMOD_SYSTEM** system) {
  *system = reinterpret_cast<FMOD_SYSTEM*>(0x01d);
  return FMOD_OK;
}

OLD_ENGINE_EXPORT FMOD_RESULT F_CALL FMOD_System_GetVersion(FMOD_SYSTEM*, unsigned int* version) {
  *version = 0x00011007;
  return FMOD_OK;
}
