// The wrapper of the engine's geometry object.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Geometry.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODSystem;

// One engine geometry object, created empty with a capacity or rebuilt from
// saved data; owned, and released when the last reference goes.
//
//   ITembroFMODGeometryPtr Wall = TTembroFMODGeometry::Create(System, 1, 4);
//   TTembroFMODPolygon Quad{1.0f, 1.0f, 0, 4, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0}};
//   Wall->AddPolygon(Quad);  // Quad.PolygonIndex[0] is the new polygon's index
class TTembroFMODGeometry : public TTembroFMODObject<ITembroFMODGeometry, FMOD_GEOMETRY> {
public:
  explicit TTembroFMODGeometry(FMOD_GEOMETRY* AHandle,
                               TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Releases the engine geometry when the wrapper owns it; the result is
  // ignored.
  ~TTembroFMODGeometry() override;

  // A new empty engine geometry of ASystem (required) with room for
  // AMaxPolygons polygons and AMaxVertices vertices in all.
  static ITembroFMODGeometryPtr Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, std::int32_t AMaxPolygons,
                                       std::int32_t AMaxVertices);
  // A new engine geometry rebuilt from ADatasize bytes at AData, as Save
  // wrote them.
  static ITembroFMODGeometryPtr CreateFromData(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const void* AData,
                                               std::int32_t ADatasize);

  void* GetUserData() const override;
  void SetUserData(void* AValue) override;
  FMOD_BOOL GetActive() const override;
  void SetActive(FMOD_BOOL AValue) override;
  TTembroFMODOrientation GetRotation() const override;
  void SetRotation(const TTembroFMODOrientation& AValue) override;
  TPoint3D GetPosition() const override;
  void SetPosition(const TPoint3D& AValue) override;
  TPoint3D GetScale() const override;
  void SetScale(const TPoint3D& AValue) override;
  std::int32_t GetNumPolygons() const override;
  TTembroFMODMaxPolygons GetMaxPolygons() const override;
  void AddPolygon(TTembroFMODPolygon& APolygon) override;
  std::int32_t GetPolygonNumVertices(std::int32_t AIndex) const override;
  void SetPolygonVertex(std::int32_t AIndex, std::int32_t AVertexIndex, const TPoint3D& AVertex) override;
  TPoint3D GetPolygonVertex(std::int32_t AIndex, std::int32_t AVertexIndex) const override;
  void Save(void* AData, std::int32_t* ADataSize) override;

private:
  // Reached through the interface only.
  TTembroFMODPolygonAttributes GetPolygonAttributes(std::int32_t AIndex) const override;
  void SetPolygonAttributes(std::int32_t AIndex, const TTembroFMODPolygonAttributes& AValue) override;
};

}  // namespace Tembro::Audio::FMOD
