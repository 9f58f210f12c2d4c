#include "Tembro.Audio.FMOD.Geometry.h"

#include <cstddef>
#include <stdexcept>
#include <string>

#include "Tembro.Audio.FMOD.Intf.System.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

namespace {

FMOD_SYSTEM* SystemHandle(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const char* AOperation) {
  if (!ASystem) throw std::invalid_argument(std::string(AOperation) + ": ASystem is null");
  return static_cast<FMOD_SYSTEM*>(ASystem->GetInternalHandle());
}


}  // namespace

TTembroFMODGeometry::TTembroFMODGeometry(FMOD_GEOMETRY* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

TTembroFMODGeometry::~TTembroFMODGeometry() {
  if (!OwnsEngineObject()) return;
  // The result is ignored; a release through an empty table slot raises,
  // which a destructor reports instead of letting out.
  try {
    static_cast<void>(FMOD_Geometry_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

// FMOD_System_CreateGeometry
ITembroFMODGeometryPtr TTembroFMODGeometry::Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                   std::int32_t AMaxPolygons, std::int32_t AMaxVertices) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "Create");
  FMOD_GEOMETRY* Geometry = nullptr;
  CheckFMODResult(FMOD_System_CreateGeometry(System, AMaxPolygons, AMaxVertices, &Geometry));
  return ITembroFMODGeometryPtr(new TTembroFMODGeometry(Geometry, TTembroFMODOwnership::Owned));
}

// FMOD_System_LoadGeometry
ITembroFMODGeometryPtr TTembroFMODGeometry::CreateFromData(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                           const void* AData, std::int32_t ADatasize) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "CreateFromData");
  FMOD_GEOMETRY* Geometry = nullptr;
  CheckFMODResult(FMOD_System_LoadGeometry(System, AData, ADatasize, &Geometry));
  return ITembroFMODGeometryPtr(new TTembroFMODGeometry(Geometry, TTembroFMODOwnership::Owned));
}

// FMOD_Geometry_GetUserData
void* TTembroFMODGeometry::GetUserData() const {
  void* Value = nullptr;
  CheckFMODResult(FMOD_Geometry_GetUserData(FHandle, &Value));
  return Value;
}

// FMOD_Geometry_SetUserData
void TTembroFMODGeometry::SetUserData(void* AValue) { CheckFMODResult(FMOD_Geometry_SetUserData(FHandle, AValue)); }

// FMOD_Geometry_GetActive
FMOD_BOOL TTembroFMODGeometry::GetActive() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(FMOD_Geometry_GetActive(FHandle, &Value));
  return Value;
}

// FMOD_Geometry_SetActive
void TTembroFMODGeometry::SetActive(FMOD_BOOL AValue) { CheckFMODResult(FMOD_Geometry_SetActive(FHandle, AValue)); }

// FMOD_Geometry_GetRotation
TTembroFMODOrientation TTembroFMODGeometry::GetRotation() const {
  TTembroFMODOrientation Result{};
  CheckFMODResult(FMOD_Geometry_GetRotation(FHandle, AsFMODVector(&Result.Forward), AsFMODVector(&Result.Up)));
  return Result;
}

// FMOD_Geometry_SetRotation
void TTembroFMODGeometry::SetRotation(const TTembroFMODOrientation& AValue) {
  CheckFMODResult(FMOD_Geometry_SetRotation(FHandle, AsFMODVector(&AValue.Forward), AsFMODVector(&AValue.Up)));
}

// FMOD_Geometry_GetPosition
TPoint3D TTembroFMODGeometry::GetPosition() const {
  TPoint3D Result{};
  CheckFMODResult(FMOD_Geometry_GetPosition(FHandle, AsFMODVector(&Result)));
  return Result;
}

// FMOD_Geometry_SetPosition
void TTembroFMODGeometry::SetPosition(const TPoint3D& AValue) {
  CheckFMODResult(FMOD_Geometry_SetPosition(FHandle, AsFMODVector(&AValue)));
}

// FMOD_Geometry_GetScale
TPoint3D TTembroFMODGeometry::GetScale() const {
  TPoint3D Result{};
  CheckFMODResult(FMOD_Geometry_GetScale(FHandle, AsFMODVector(&Result)));
  return Result;
}

// FMOD_Geometry_SetScale
void TTembroFMODGeometry::SetScale(const TPoint3D& AValue) {
  CheckFMODResult(FMOD_Geometry_SetScale(FHandle, AsFMODVector(&AValue)));
}

// FMOD_Geometry_GetNumPolygons
std::int32_t TTembroFMODGeometry::GetNumPolygons() const {
  int Value = 0;
  CheckFMODResult(FMOD_Geometry_GetNumPolygons(FHandle, &Value));
  return Value;
}

// FMOD_Geometry_GetMaxPolygons
TTembroFMODMaxPolygons TTembroFMODGeometry::GetMaxPolygons() const {
  TTembroFMODMaxPolygons Result{};
  CheckFMODResult(FMOD_Geometry_GetMaxPolygons(FHandle, &Result.MaxPolygons, &Result.MaxVertices));
  return Result;
}

// FMOD_Geometry_GetPolygonAttributes
TTembroFMODPolygonAttributes TTembroFMODGeometry::GetPolygonAttributes(std::int32_t AIndex) const {
  TTembroFMODPolygonAttributes Result{};
  CheckFMODResult(FMOD_Geometry_GetPolygonAttributes(FHandle, AIndex, &Result.DirectOcclusion,
                                                     &Result.ReverbOcclusion, &Result.DoubleSided));
  return Result;
}

// FMOD_Geometry_SetPolygonAttributes
void TTembroFMODGeometry::SetPolygonAttributes(std::int32_t AIndex, const TTembroFMODPolygonAttributes& AValue) {
  CheckFMODResult(FMOD_Geometry_SetPolygonAttributes(FHandle, AIndex, AValue.DirectOcclusion, AValue.ReverbOcclusion,
                                                     AValue.DoubleSided));
}

// FMOD_Geometry_AddPolygon. The engine reads NumVertices vertices from the
// caller's array, so a count the array cannot back is refused; it writes
// the new index into PolygonIndex[0], or nowhere when the array is empty.
void TTembroFMODGeometry::AddPolygon(TTembroFMODPolygon& APolygon) {
  if (APolygon.NumVertices > 0 && static_cast<std::size_t>(APolygon.NumVertices) > APolygon.Vertices.size())
    throw ETembroFMODError(FMOD_ERR_INVALID_PARAM);
  const FMOD_VECTOR* Vertices = APolygon.Vertices.empty() ? nullptr : AsFMODVector(&APolygon.Vertices.front());
  int* PolygonIndex = APolygon.PolygonIndex.empty() ? nullptr : APolygon.PolygonIndex.data();
  CheckFMODResult(FMOD_Geometry_AddPolygon(FHandle, APolygon.DirectOcclusion, APolygon.ReverbOcclusion,
                                           APolygon.DoubleSided, APolygon.NumVertices, Vertices, PolygonIndex));
}

// FMOD_Geometry_GetPolygonNumVertices
std::int32_t TTembroFMODGeometry::GetPolygonNumVertices(std::int32_t AIndex) const {
  int Value = 0;
  CheckFMODResult(FMOD_Geometry_GetPolygonNumVertices(FHandle, AIndex, &Value));
  return Value;
}

// FMOD_Geometry_SetPolygonVertex
void TTembroFMODGeometry::SetPolygonVertex(std::int32_t AIndex, std::int32_t AVertexIndex, const TPoint3D& AVertex) {
  CheckFMODResult(FMOD_Geometry_SetPolygonVertex(FHandle, AIndex, AVertexIndex, AsFMODVector(&AVertex)));
}

// FMOD_Geometry_GetPolygonVertex
TPoint3D TTembroFMODGeometry::GetPolygonVertex(std::int32_t AIndex, std::int32_t AVertexIndex) const {
  TPoint3D Result{};
  CheckFMODResult(FMOD_Geometry_GetPolygonVertex(FHandle, AIndex, AVertexIndex, AsFMODVector(&Result)));
  return Result;
}

// FMOD_Geometry_Save
void TTembroFMODGeometry::Save(void* AData, std::int32_t* ADataSize) {
  CheckFMODResult(FMOD_Geometry_Save(FHandle, AData, ADataSize));
}

}  // namespace Tembro::Audio::FMOD
