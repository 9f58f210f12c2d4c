// The interface of the geometry wrapper.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Geometry.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

// One engine geometry object: a set of occluding polygons placed in the
// world. Operations are declared in slot order; SystemObject answers null.
class ITembroFMODGeometry : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODGeometry;

  virtual void* GetUserData() const = 0;                                 // slot 5
  virtual void SetUserData(void* AValue) = 0;                            // slot 6
  virtual FMOD_BOOL GetActive() const = 0;                               // slot 7
  virtual void SetActive(FMOD_BOOL AValue) = 0;                          // slot 8
  virtual TTembroFMODOrientation GetRotation() const = 0;                // slot 9
  virtual void SetRotation(const TTembroFMODOrientation& AValue) = 0;    // slot 10
  virtual TPoint3D GetPosition() const = 0;                              // slot 11
  virtual void SetPosition(const TPoint3D& AValue) = 0;                  // slot 12
  virtual TPoint3D GetScale() const = 0;                                 // slot 13
  virtual void SetScale(const TPoint3D& AValue) = 0;                     // slot 14
  virtual std::int32_t GetNumPolygons() const = 0;                       // slot 15
  virtual TTembroFMODMaxPolygons GetMaxPolygons() const = 0;             // slot 16
  virtual TTembroFMODPolygonAttributes GetPolygonAttributes(std::int32_t AIndex) const = 0;        // slot 17
  virtual void SetPolygonAttributes(std::int32_t AIndex, const TTembroFMODPolygonAttributes& AValue) = 0;  // slot 18
  // Adds a polygon of APolygon.NumVertices vertices taken from
  // APolygon.Vertices; the new polygon's index goes to PolygonIndex[0] when
  // PolygonIndex has an element (none comes back when it is empty). A count
  // larger than Vertices is refused with the engine's invalid-parameter
  // error before the engine is called.
  virtual void AddPolygon(TTembroFMODPolygon& APolygon) = 0;            // slot 19
  virtual std::int32_t GetPolygonNumVertices(std::int32_t AIndex) const = 0;                        // slot 20
  virtual void SetPolygonVertex(std::int32_t AIndex, std::int32_t AVertexIndex, const TPoint3D& AVertex) = 0;  // slot 21
  virtual TPoint3D GetPolygonVertex(std::int32_t AIndex, std::int32_t AVertexIndex) const = 0;      // slot 22
  // Writes the geometry to AData and its size through ADataSize, as the
  // engine's save call defines (a null AData asks for the size only).
  virtual void Save(void* AData, std::int32_t* ADataSize) = 0;          // slot 23

protected:
  ~ITembroFMODGeometry() = default;
};

using ITembroFMODGeometryPtr = TTembroFMODPtr<ITembroFMODGeometry>;

}  // namespace Tembro::Audio::FMOD
