// The value records of the geometry wrapper.
#pragma once

#include <cstdint>
#include <vector>

#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

// The geometry's orientation: its forward and up vectors.
struct TTembroFMODOrientation {
  TPoint3D Forward;
  TPoint3D Up;

  friend bool operator==(const TTembroFMODOrientation&, const TTembroFMODOrientation&) = default;
};

struct TTembroFMODMaxPolygons {
  std::int32_t MaxPolygons = 0;
  std::int32_t MaxVertices = 0;

  friend bool operator==(const TTembroFMODMaxPolygons&, const TTembroFMODMaxPolygons&) = default;
};

// A polygon to add to a geometry. The engine reads NumVertices vertices from
// Vertices (which the caller sizes) and writes the new polygon's index into
// PolygonIndex[0] when PolygonIndex has an element.
struct TTembroFMODPolygon {
  float DirectOcclusion = 0.0f;
  float ReverbOcclusion = 0.0f;
  FMOD_BOOL DoubleSided = 0;
  std::int32_t NumVertices = 0;
  std::vector<TPoint3D> Vertices;
  std::vector<std::int32_t> PolygonIndex;

  friend bool operator==(const TTembroFMODPolygon&, const TTembroFMODPolygon&) = default;
};

struct TTembroFMODPolygonAttributes {
  float DirectOcclusion = 0.0f;
  float ReverbOcclusion = 0.0f;
  FMOD_BOOL DoubleSided = 0;

  friend bool operator==(const TTembroFMODPolygonAttributes&, const TTembroFMODPolygonAttributes&) = default;
};

}  // namespace Tembro::Audio::FMOD
