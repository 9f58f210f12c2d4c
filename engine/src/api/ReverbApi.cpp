// The system's reverb instances (FMOD_System_SetReverbProperties and
// FMOD_System_GetReverbProperties) and the 3D reverb zones that drive
// instance 0 (FMOD_System_CreateReverb3D, FMOD_Reverb3D_*). Instance i is an
// SFX reverb that every channel and group feeds at its wet level for i; see
// core/GraphReverb.cpp and core/ReverbZones.h.
#include <cmath>

#include "Registry.h"
#include "System.h"

namespace sonvel::engine {
namespace {

// A zone's handle: the zone itself lives in its engine's graph.
struct Reverb3D {
  std::shared_ptr<core::ReverbZone> zone;
  std::weak_ptr<core::Engine> engine;
};
using Reverb3DTable = HandleTable<Reverb3D, HandleKind::Reverb3D>;
Reverb3DTable& Reverbs3D() {
  static Reverb3DTable table;
  return table;
}

// Finds the zone behind a handle and holds its graph's mutex for `work`.
template <typename F>
FMOD_RESULT WithZone(FMOD_REVERB3D* handle, F work) {
  const std::shared_ptr<Reverb3D> reverb = Reverbs3D().Find(handle);
  if (!reverb) return FMOD_ERR_INVALID_HANDLE;
  const std::shared_ptr<core::Engine> engine = reverb->engine.lock();
  if (!engine) return FMOD_ERR_INVALID_HANDLE;  // its system has closed
  std::lock_guard lock(engine->graph.mutex);
  return work(*reverb->zone, engine->graph);
}

FMOD_RESULT CreateReverb3D(FMOD_SYSTEM* system, FMOD_REVERB3D** reverb) {
  if (!Systems().Find(system)) return FMOD_ERR_INVALID_HANDLE;
  if (reverb == nullptr) return FMOD_ERR_INVALID_PARAM;
  *reverb = nullptr;
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = RunningEngine(system, engine); found != FMOD_OK) return found;
  auto made = std::make_shared<Reverb3D>();
  made->zone = std::make_shared<core::ReverbZone>();
  made->engine = engine;
  {
    std::lock_guard lock(engine->graph.mutex);
    if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;
    if (const FMOD_RESULT added = engine->graph.AddZone(made->zone); added != FMOD_OK) return added;
  }
  *reverb = Reverbs3D().Add<FMOD_REVERB3D>(made);
  return FMOD_OK;
}

FMOD_RESULT Release(FMOD_REVERB3D* handle) {
  const std::shared_ptr<Reverb3D> reverb = Reverbs3D().Remove(handle);
  if (!reverb) return FMOD_ERR_INVALID_HANDLE;
  if (const std::shared_ptr<core::Engine> engine = reverb->engine.lock()) {
    std::lock_guard lock(engine->graph.mutex);
    if (engine->graph.Running()) engine->graph.RemoveZone(*reverb->zone);
  }
  return FMOD_OK;
}

FMOD_RESULT Set3DAttributes(FMOD_REVERB3D* handle, const FMOD_VECTOR* position, float minDistance, float maxDistance) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph& graph) {
    if (!std::isfinite(minDistance) || !std::isfinite(maxDistance)) return FMOD_ERR_INVALID_FLOAT;
    if (position != nullptr && !(std::isfinite(position->x) && std::isfinite(position->y) && std::isfinite(position->z)))
      return FMOD_ERR_INVALID_VECTOR;
    if (minDistance < 0.0f || maxDistance < minDistance) return FMOD_ERR_INVALID_PARAM;
    if (position != nullptr) zone.position = *position;
    zone.minDistance = minDistance;
    zone.maxDistance = maxDistance;
    graph.UpdateZones();
    return FMOD_OK;
  });
}

FMOD_RESULT Get3DAttributes(FMOD_REVERB3D* handle, FMOD_VECTOR* position, float* minDistance, float* maxDistance) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph&) {
    if (position != nullptr) *position = zone.position;
    if (minDistance != nullptr) *minDistance = zone.minDistance;
    if (maxDistance != nullptr) *maxDistance = zone.maxDistance;
    return FMOD_OK;
  });
}

FMOD_RESULT SetProperties(FMOD_REVERB3D* handle, const FMOD_REVERB_PROPERTIES* properties) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph& graph) {
    if (properties == nullptr) return FMOD_ERR_INVALID_PARAM;
    if (const FMOD_RESULT checked = graph.CheckReverb(*properties); checked != FMOD_OK) return checked;
    zone.properties = *properties;
    graph.UpdateZones();
    return FMOD_OK;
  });
}

FMOD_RESULT GetProperties(FMOD_REVERB3D* handle, FMOD_REVERB_PROPERTIES* properties) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph&) {
    if (properties == nullptr) return FMOD_ERR_INVALID_PARAM;
    *properties = zone.properties;
    return FMOD_OK;
  });
}

FMOD_RESULT SetActive(FMOD_REVERB3D* handle, FMOD_BOOL active) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph& graph) {
    zone.active = active != 0;
    graph.UpdateZones();
    return FMOD_OK;
  });
}

FMOD_RESULT GetActive(FMOD_REVERB3D* handle, FMOD_BOOL* active) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph&) {
    if (active == nullptr) return FMOD_ERR_INVALID_PARAM;
    *active = zone.active ? 1 : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT SetUserData(FMOD_REVERB3D* handle, void* data) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph&) {
    zone.userData = data;
    return FMOD_OK;
  });
}

FMOD_RESULT GetUserData(FMOD_REVERB3D* handle, void** data) {
  return WithZone(handle, [&](core::ReverbZone& zone, core::Graph&) {
    if (data == nullptr) return FMOD_ERR_INVALID_PARAM;
    *data = zone.userData;
    return FMOD_OK;
  });
}

// Checks a system reverb call's handle, instance and record, then runs
// `work` on the running engine's graph with its mutex held.
template <typename P, typename F>
FMOD_RESULT WithInstance(FMOD_SYSTEM* system, int instance, P* properties, F work) {
  if (!Systems().Find(system)) return FMOD_ERR_INVALID_HANDLE;
  if (instance < 0 || instance >= FMOD_REVERB_MAXINSTANCES) return FMOD_ERR_REVERB_INSTANCE;
  if (properties == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::shared_ptr<core::Engine> engine;
  if (const FMOD_RESULT found = RunningEngine(system, engine); found != FMOD_OK) return found;
  std::lock_guard lock(engine->graph.mutex);
  if (!engine->graph.Running()) return FMOD_ERR_UNINITIALIZED;
  return work(engine->graph);
}

FMOD_RESULT SetReverbProperties(FMOD_SYSTEM* system, int instance, const FMOD_REVERB_PROPERTIES* properties) {
  return WithInstance(system, instance, properties,
                      [&](core::Graph& graph) { return graph.SetReverb(instance, *properties); });
}

// An instance never set answers the "off" preset.
FMOD_RESULT GetReverbProperties(FMOD_SYSTEM* system, int instance, FMOD_REVERB_PROPERTIES* properties) {
  return WithInstance(system, instance, properties, [&](core::Graph& graph) {
    *properties = graph.ReverbOf(instance);
    return FMOD_OK;
  });
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_System_SetReverbProperties = &SetReverbProperties;
  t.FMOD_System_GetReverbProperties = &GetReverbProperties;
  t.FMOD_System_CreateReverb3D = &CreateReverb3D;
  t.FMOD_Reverb3D_Release = &Release;
  t.FMOD_Reverb3D_Set3DAttributes = &Set3DAttributes;
  t.FMOD_Reverb3D_Get3DAttributes = &Get3DAttributes;
  t.FMOD_Reverb3D_SetProperties = &SetProperties;
  t.FMOD_Reverb3D_GetProperties = &GetProperties;
  t.FMOD_Reverb3D_SetActive = &SetActive;
  t.FMOD_Reverb3D_GetActive = &GetActive;
  t.FMOD_Reverb3D_SetUserData = &SetUserData;
  t.FMOD_Reverb3D_GetUserData = &GetUserData;
}};

}  // namespace
}  // namespace sonvel::engine
