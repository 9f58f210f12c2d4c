#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Geometry.h"
#include "Tembro.Audio.FMOD.System.h"
#include "WrapperTestSupport.h"

using namespace Tembro::Audio::FMOD;
using sonvel::test::FakeEngine;
using sonvel::test::FakeHandle;
using namespace sonvel::test::wrappers;

namespace {

FMOD_GEOMETRY* const kGeometry = FakeHandle<FMOD_GEOMETRY>(0x9e0);

ITembroFMODGeometryPtr Geometry() { return ITembroFMODGeometryPtr(new TTembroFMODGeometry(kGeometry)); }

}  // namespace

TEST(GeometryWrapper, ConstructorsCreateTheGeometryThroughTheSystemAndOwnIt) {
  static const char Saved[] = "saved geometry";
  struct Case {
    const char* Name;
    std::function<ITembroFMODGeometryPtr(const ITembroFMODSystemPtr&)> Create;
    std::string Call;
  };
  const Case Cases[] = {
      {"Create", [](const ITembroFMODSystemPtr& S) { return TTembroFMODGeometry::Create(S, 16, 64); },
       "FMOD_System_CreateGeometry(system=0x5151, maxpolygons=16, maxvertices=64, geometry=&)"},
      {"CreateFromData",
       [](const ITembroFMODSystemPtr& S) { return TTembroFMODGeometry::CreateFromData(S, Saved, sizeof Saved); },
       "FMOD_System_LoadGeometry(system=0x5151, data=&, datasize=" + std::to_string(sizeof Saved) + ", geometry=&)"},
  };
  for (const Case& C : Cases) {
    FakeEngine Fake;
    const void* DataSeen = nullptr;
    Fake.Actions.FMOD_System_CreateGeometry = [](FMOD_SYSTEM*, int, int, FMOD_GEOMETRY** AOut) {
      return *AOut = kGeometry, FMOD_OK;
    };
    Fake.Actions.FMOD_System_LoadGeometry = [&](FMOD_SYSTEM*, const void* AData, int, FMOD_GEOMETRY** AOut) {
      DataSeen = AData;
      return *AOut = kGeometry, FMOD_OK;
    };
    ITembroFMODSystemPtr System(new TTembroFMODSystem(kSystem));
    {
      ITembroFMODGeometryPtr Wrapper = C.Create(System);
      EXPECT_EQ(Wrapper->GetInternalHandle(), kGeometry);
      EXPECT_EQ(Wrapper->GetSystemObject(), nullptr);
    }
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call, "FMOD_Geometry_Release(geometry=0x9e0)"})) << C.Name;
    if (C.Name == std::string("CreateFromData")) {
      EXPECT_EQ(DataSeen, Saved);
    }
    Fake.Calls.clear();

    Fake.Actions.FMOD_System_CreateGeometry = [](FMOD_SYSTEM*, int, int, FMOD_GEOMETRY**) { return FMOD_ERR_MEMORY; };
    Fake.Actions.FMOD_System_LoadGeometry = [](FMOD_SYSTEM*, const void*, int, FMOD_GEOMETRY**) {
      return FMOD_ERR_MEMORY;
    };
    EXPECT_EQ(RaisedText([&] { C.Create(System); }), "Not enough memory or resources.") << C.Name;
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call})) << C.Name;
    Fake.Calls.clear();

    EXPECT_EQ(RaisedText([&] { C.Create(nullptr); }), std::string(C.Name) + ": ASystem is null");
    EXPECT_TRUE(Fake.Calls.empty()) << C.Name;
  }
}

TEST(GeometryWrapper, DestructorReleasesOnlyAnOwnedNonNullGeometryAndIgnoresTheResult) {
  FakeEngine Fake;
  Fake.Actions.FMOD_Geometry_Release = [](FMOD_GEOMETRY*) { return FMOD_ERR_INVALID_HANDLE; };
  EXPECT_NO_THROW(Geometry());
  { ITembroFMODGeometryPtr Null(new TTembroFMODGeometry(nullptr)); }
  { ITembroFMODGeometryPtr Borrowed(new TTembroFMODGeometry(kGeometry, TTembroFMODOwnership::Borrowed)); }
  EXPECT_EQ(Fake.Calls, (Strings{"FMOD_Geometry_Release(geometry=0x9e0)"}));
}

TEST(GeometryWrapper, PassThroughOperationsHandTheEngineTheirArgumentsAndReturnWhatItWrote) {
  FakeEngine Fake;
  auto& A = Fake.Actions;
  A.FMOD_Geometry_GetUserData = [](FMOD_GEOMETRY*, void** O) { return *O = reinterpret_cast<void*>(0xbeef), FMOD_OK; };
  A.FMOD_Geometry_GetActive = [](FMOD_GEOMETRY*, FMOD_BOOL* O) { return *O = -1, FMOD_OK; };
  A.FMOD_Geometry_GetRotation = [](FMOD_GEOMETRY*, FMOD_VECTOR* F, FMOD_VECTOR* U) {
    *F = {0, 0, 1}, *U = {0, 1, 0};
    return FMOD_OK;
  };
  A.FMOD_Geometry_GetPosition = [](FMOD_GEOMETRY*, FMOD_VECTOR* O) { return *O = {1, 2, 3}, FMOD_OK; };
  A.FMOD_Geometry_GetScale = [](FMOD_GEOMETRY*, FMOD_VECTOR* O) { return *O = {2, 2, 2}, FMOD_OK; };
  A.FMOD_Geometry_GetNumPolygons = [](FMOD_GEOMETRY*, int* O) { return *O = 5, FMOD_OK; };
  A.FMOD_Geometry_GetMaxPolygons = [](FMOD_GEOMETRY*, int* P, int* V) {
    *P = 16, *V = 64;
    return FMOD_OK;
  };
  A.FMOD_Geometry_GetPolygonAttributes = [](FMOD_GEOMETRY*, int, float* D, float* R, FMOD_BOOL* S) {
    *D = 0.75f, *R = 0.5f, *S = 1;
    return FMOD_OK;
  };
  A.FMOD_Geometry_GetPolygonNumVertices = [](FMOD_GEOMETRY*, int, int* O) { return *O = 4, FMOD_OK; };
  A.FMOD_Geometry_GetPolygonVertex = [](FMOD_GEOMETRY*, int, int, FMOD_VECTOR* O) { return *O = {7, 8, 9}, FMOD_OK; };
  TPoint3D Seen[2];
  auto See = [&](const FMOD_VECTOR* F, const FMOD_VECTOR* U) {
    Seen[0] = {F->x, F->y, F->z};
    if (U != nullptr) Seen[1] = {U->x, U->y, U->z};
    return FMOD_OK;
  };
  A.FMOD_Geometry_SetRotation = [&](FMOD_GEOMETRY*, const FMOD_VECTOR* F, const FMOD_VECTOR* U) { return See(F, U); };
  A.FMOD_Geometry_SetPosition = [&](FMOD_GEOMETRY*, const FMOD_VECTOR* P) { return See(P, nullptr); };
  A.FMOD_Geometry_SetScale = [&](FMOD_GEOMETRY*, const FMOD_VECTOR* P) { return See(P, nullptr); };
  A.FMOD_Geometry_SetPolygonVertex = [&](FMOD_GEOMETRY*, int, int, const FMOD_VECTOR* P) { return See(P, nullptr); };

  struct Case {
    std::string Call;
    std::function<void(ITembroFMODGeometry&)> Run;
  };
  const Case Cases[] = {
      {"FMOD_Geometry_GetUserData(geometry=0x9e0, userdata=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetUserData(), reinterpret_cast<void*>(0xbeef)); }},
      {"FMOD_Geometry_SetUserData(geometry=0x9e0, userdata=0xfeed)",
       [](ITembroFMODGeometry& G) { G.SetUserData(reinterpret_cast<void*>(0xfeed)); }},
      {"FMOD_Geometry_GetActive(geometry=0x9e0, active=&)", [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetActive(), -1); }},
      {"FMOD_Geometry_SetActive(geometry=0x9e0, active=0)", [](ITembroFMODGeometry& G) { G.SetActive(0); }},
      {"FMOD_Geometry_GetRotation(geometry=0x9e0, forward=&, up=&)",
       [](ITembroFMODGeometry& G) {
         EXPECT_EQ(G.GetRotation(), (TTembroFMODOrientation{{0, 0, 1}, {0, 1, 0}}));
       }},
      {"FMOD_Geometry_SetRotation(geometry=0x9e0, forward=&, up=&)",
       [&](ITembroFMODGeometry& G) {
         G.SetRotation({{1, 0, 0}, {0, 0, -1}});
         EXPECT_EQ(Seen[0], (TPoint3D{1, 0, 0}));
         EXPECT_EQ(Seen[1], (TPoint3D{0, 0, -1}));
       }},
      {"FMOD_Geometry_GetPosition(geometry=0x9e0, position=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetPosition(), (TPoint3D{1, 2, 3})); }},
      {"FMOD_Geometry_SetPosition(geometry=0x9e0, position=&)",
       [&](ITembroFMODGeometry& G) {
         G.SetPosition({4, 5, 6});
         EXPECT_EQ(Seen[0], (TPoint3D{4, 5, 6}));
       }},
      {"FMOD_Geometry_GetScale(geometry=0x9e0, scale=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetScale(), (TPoint3D{2, 2, 2})); }},
      {"FMOD_Geometry_SetScale(geometry=0x9e0, scale=&)",
       [&](ITembroFMODGeometry& G) {
         G.SetScale({0.5f, 1, 3});
         EXPECT_EQ(Seen[0], (TPoint3D{0.5f, 1, 3}));
       }},
      {"FMOD_Geometry_GetNumPolygons(geometry=0x9e0, numpolygons=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetNumPolygons(), 5); }},
      {"FMOD_Geometry_GetMaxPolygons(geometry=0x9e0, maxpolygons=&, maxvertices=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetMaxPolygons(), (TTembroFMODMaxPolygons{16, 64})); }},
      {"FMOD_Geometry_GetPolygonAttributes(geometry=0x9e0, index=3, directocclusion=&, reverbocclusion=&, "
       "doublesided=&)",
       [](ITembroFMODGeometry& G) {
         EXPECT_EQ(G.GetPolygonAttributes(3), (TTembroFMODPolygonAttributes{0.75f, 0.5f, 1}));
       }},
      {"FMOD_Geometry_SetPolygonAttributes(geometry=0x9e0, index=2, directocclusion=0.25, reverbocclusion=1, "
       "doublesided=-1)",
       [](ITembroFMODGeometry& G) { G.SetPolygonAttributes(2, {0.25f, 1.0f, -1}); }},
      {"FMOD_Geometry_GetPolygonNumVertices(geometry=0x9e0, index=1, numvertices=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetPolygonNumVertices(1), 4); }},
      {"FMOD_Geometry_SetPolygonVertex(geometry=0x9e0, index=1, vertexindex=2, vertex=&)",
       [&](ITembroFMODGeometry& G) {
         G.SetPolygonVertex(1, 2, {-1, -2, -3});
         EXPECT_EQ(Seen[0], (TPoint3D{-1, -2, -3}));
       }},
      {"FMOD_Geometry_GetPolygonVertex(geometry=0x9e0, index=1, vertexindex=3, vertex=&)",
       [](ITembroFMODGeometry& G) { EXPECT_EQ(G.GetPolygonVertex(1, 3), (TPoint3D{7, 8, 9})); }},
      {"FMOD_Geometry_Save(geometry=0x9e0, data=0xda7a, datasize=0x5123)",
       [](ITembroFMODGeometry& G) { G.Save(reinterpret_cast<void*>(0xda7a), reinterpret_cast<std::int32_t*>(0x5123)); }},
  };
  ITembroFMODGeometryPtr Wrapper = Borrowed<TTembroFMODGeometry>(kGeometry);
  for (const Case& C : Cases) {
    Fake.Calls.clear();
    C.Run(*Wrapper);
    EXPECT_EQ(Normalised(Fake.Calls), (Strings{C.Call}));
  }

  FakeEngine::ActionTable Failing;
#define FMOD_ENTRY(name, params, args) Failing.name = [](auto...) { return FMOD_ERR_INVALID_HANDLE; };
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  Fake.Actions = Failing;
  for (const Case& C : Cases)
    EXPECT_EQ(RaisedText([&] { C.Run(*Wrapper); }), "An invalid object handle was used.") << C.Call;
}

TEST(GeometryWrapper, AddPolygonHandsOverTheCountedVerticesAndTakesTheIndexIntoTheFirstElement) {
  struct Case {
    const char* Name;
    int NumVertices;
    std::size_t Vertices;  // elements in Vertices
    std::size_t Indexes;   // elements in PolygonIndex
    bool Refused;
  } const Cases[] = {
      {"three of four vertices", 3, 4, 1, false},
      {"all vertices, index array of two", 4, 4, 2, false},
      {"no index array", 3, 3, 0, false},
      {"empty vertex array", 0, 0, 1, false},
      {"more vertices than the array", 5, 4, 1, true},
      {"vertices but an empty array", 1, 0, 1, true},
  };
  FakeEngine Fake;
  ITembroFMODGeometryPtr Wrapper = Geometry();
  for (const Case& C : Cases) {
    TTembroFMODPolygon Polygon;
    Polygon.DirectOcclusion = 0.5f;
    Polygon.ReverbOcclusion = 0.25f;
    Polygon.DoubleSided = 1;
    Polygon.NumVertices = C.NumVertices;
    for (std::size_t I = 0; I < C.Vertices; ++I) Polygon.Vertices.push_back({float(I), float(I) * 2, 0});
    Polygon.PolygonIndex.assign(C.Indexes, -9);

    std::vector<TPoint3D> Read;
    const void* VertexAddress = nullptr;
    const int* IndexAddress = nullptr;
    Fake.Actions.FMOD_Geometry_AddPolygon = [&](FMOD_GEOMETRY*, float, float, FMOD_BOOL, int ANum,
                                                const FMOD_VECTOR* AVertices, int* AIndex) {
      VertexAddress = AVertices;
      IndexAddress = AIndex;
      for (int I = 0; I < ANum; ++I) Read.push_back({AVertices[I].x, AVertices[I].y, AVertices[I].z});
      if (AIndex != nullptr) *AIndex = 7;
      return FMOD_OK;
    };
    Fake.Calls.clear();
    const std::string Outcome = RaisedText([&] { Wrapper->AddPolygon(Polygon); });
    if (C.Refused) {
      EXPECT_EQ(Outcome, kInvalidParam) << C.Name;
      EXPECT_TRUE(Fake.Calls.empty()) << C.Name;
      continue;
    }
    EXPECT_EQ(Outcome, "(nothing raised)") << C.Name;
    EXPECT_EQ(Normalised(Fake.Calls),
              (Strings{"FMOD_Geometry_AddPolygon(geometry=0x9e0, directocclusion=0.5, reverbocclusion=0.25, "
                       "doublesided=1, numvertices=" +
                       std::to_string(C.NumVertices) + ", vertices=" + (C.Vertices ? "&" : "null") +
                       ", polygonindex=" + (C.Indexes ? "&" : "null") + ")"}))
        << C.Name;
    EXPECT_EQ(VertexAddress, C.Vertices ? static_cast<const void*>(Polygon.Vertices.data()) : nullptr) << C.Name;
    EXPECT_EQ(Read, std::vector<TPoint3D>(Polygon.Vertices.begin(), Polygon.Vertices.begin() + C.NumVertices));
    std::vector<std::int32_t> ExpectedIndex(C.Indexes, -9);
    if (C.Indexes > 0) {
      EXPECT_EQ(IndexAddress, Polygon.PolygonIndex.data()) << C.Name;
      ExpectedIndex[0] = 7;
    }
    EXPECT_EQ(Polygon.PolygonIndex, ExpectedIndex) << C.Name;
  }

  Fake.Actions.FMOD_Geometry_AddPolygon = [](FMOD_GEOMETRY*, float, float, FMOD_BOOL, int, const FMOD_VECTOR*, int*) {
    return FMOD_ERR_MEMORY;
  };
  TTembroFMODPolygon Polygon{1, 1, 0, 1, {{0, 0, 0}}, {-9}};
  EXPECT_EQ(RaisedText([&] { Wrapper->AddPolygon(Polygon); }), "Not enough memory or resources.");
  EXPECT_EQ(Polygon.PolygonIndex, std::vector<std::int32_t>{-9});
}
