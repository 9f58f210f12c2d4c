// The system's reverb instances: FMOD_System_SetReverbProperties and
// FMOD_System_GetReverbProperties. Instance i is an SFX reverb that every
// channel and group feeds at its wet level for i; see core/GraphReverb.cpp.
#include "Registry.h"
#include "System.h"

namespace sonvel::engine {
namespace {

FMOD_RESULT SetReverbProperties(FMOD_SYSTEM* system, int instance, const FMOD_REVERB_PROPERTIES* properties) {
  if (!Systems().Find(system)) return FMOD_ERR_INVALID_HANDLE;
  if (instance < 0 || instance >= FMOD_REVERB_MAXINSTANCES) return FMOD_ERR_REVERB_INSTANCE;
  if (properties == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = RunningEngine(system, engine); found != FMOD_OK) return found;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;
  return engine->graph.SetReverb(instance, *properties);
}

// An instance never set answers the "off" preset.
FMOD_RESULT GetReverbProperties(FMOD_SYSTEM* system, int instance, FMOD_REVERB_PROPERTIES* properties) {
  if (!Systems().Find(system)) return FMOD_ERR_INVALID_HANDLE;
  if (instance < 0 || instance >= FMOD_REVERB_MAXINSTANCES) return FMOD_ERR_REVERB_INSTANCE;
  if (properties == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = RunningEngine(system, engine); found != FMOD_OK) return found;
  std::lock_guard lock(engine->graph.mutex);
  *properties = engine->graph.ReverbOf(instance);
  return FMOD_OK;
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_System_SetReverbProperties = &SetReverbProperties;
  t.FMOD_System_GetReverbProperties = &GetReverbProperties;
}};

}  // namespace
}  // namespace sonvel::engine
