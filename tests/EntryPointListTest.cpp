// The one list of engine entry points: its size, its families in load order,
// the uniqueness of its names, and the shape of each line (the argument list
// names exactly the declared parameters, in order).
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Codec.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"
#include "Tembro.Audio.FMOD.Lib.Output.h"

namespace {

struct TEntry {
  const char* Name;
  const char* Params;  // "(FMOD_SYSTEM *system, int id)"
  const char* Args;    // "(system, id)"
};

const TEntry kEntries[] = {
#define FMOD_ENTRY(name, params, args) {#name, #params, #args},
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
};

// Every line also declares a well-formed function type; this fails to
// compile when a prototype names an unknown type or repeats a parameter.
#define FMOD_ENTRY(name, params, args) using TPrototype_##name = FMOD_RESULT F_CALL params;
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY

constexpr std::size_t kCount = sizeof kEntries / sizeof kEntries[0];

std::string_view Trim(std::string_view AText) {
  while (!AText.empty() && std::isspace(static_cast<unsigned char>(AText.front()))) AText.remove_prefix(1);
  while (!AText.empty() && std::isspace(static_cast<unsigned char>(AText.back()))) AText.remove_suffix(1);
  return AText;
}

// "(a b, c *d)" -> {"a b", "c *d"}; the prototypes contain no nested commas.
std::vector<std::string_view> SplitList(std::string_view AList) {
  AList = Trim(AList);
  if (AList.size() >= 2 && AList.front() == '(' && AList.back() == ')') AList = AList.substr(1, AList.size() - 2);
  std::vector<std::string_view> Items;
  for (;;) {
    const std::size_t Comma = AList.find(',');
    Items.push_back(Trim(AList.substr(0, Comma)));
    if (Comma == std::string_view::npos) return Items;
    AList.remove_prefix(Comma + 1);
  }
}

// The identifier that ends a parameter declaration: "const char *filename" -> "filename".
std::string_view DeclaredName(std::string_view ADeclaration) {
  std::size_t Start = ADeclaration.size();
  while (Start > 0 && (std::isalnum(static_cast<unsigned char>(ADeclaration[Start - 1])) || ADeclaration[Start - 1] == '_'))
    --Start;
  return ADeclaration.substr(Start);
}

std::size_t IndexOf(std::string_view AName) {
  for (std::size_t I = 0; I < kCount; ++I)
    if (AName == kEntries[I].Name) return I;
  return kCount;
}

TEST(EntryPointList, HoldsAll380EntryPointsOnce) {
  EXPECT_EQ(kCount, 380u);
  std::set<std::string_view> Names;
  for (const TEntry& Entry : kEntries) EXPECT_TRUE(Names.insert(Entry.Name).second) << "twice: " << Entry.Name;
}

TEST(EntryPointList, FamiliesFollowEachOtherInLoadOrder) {
  struct TFamily {
    std::string_view Prefix;
    std::size_t Count;
  };
  const TFamily kFamilies[] = {
      {"FMOD_Debug_", 1},      {"FMOD_Memory_", 2},        {"FMOD_File_", 2},          {"FMOD_System_", 93},
      {"FMOD_Sound_", 43},     {"FMOD_Channel_", 76},      {"FMOD_ChannelGroup_", 69}, {"FMOD_SoundGroup_", 17},
      {"FMOD_DSP_", 39},       {"FMOD_DSPConnection_", 9}, {"FMOD_Geometry_", 20},     {"FMOD_Reverb3D_", 9},
  };
  // The family of a name is its text up to the second underscore, so that
  // FMOD_ChannelGroup_ is not taken for FMOD_Channel_.
  auto FamilyOf = [](std::string_view AName) { return AName.substr(0, AName.find('_', 5) + 1); };
  std::size_t Position = 0;
  for (const TFamily& Family : kFamilies) {
    std::size_t Run = 0;
    while (Position < kCount && FamilyOf(kEntries[Position].Name) == Family.Prefix) ++Position, ++Run;
    EXPECT_EQ(Run, Family.Count) << Family.Prefix;
  }
  EXPECT_EQ(Position, kCount) << "unexpected family at " << (Position < kCount ? kEntries[Position].Name : "end");
}

TEST(EntryPointList, NamesStandAtTheirLoadPositions) {
  const struct {
    std::size_t Index;
    std::string_view Name;
  } kCases[] = {
      {0, "FMOD_Debug_Initialize"},          {1, "FMOD_Memory_Initialize"},
      {5, "FMOD_System_Create"},             {6, "FMOD_System_Release"},
      {39, "FMOD_System_Init"},              {57, "FMOD_System_GetVersion"},
      {70, "FMOD_System_PlaySound"},         {97, "FMOD_System_GetUserData"},
      {98, "FMOD_Sound_Release"},            {141, "FMOD_Channel_GetSystemObject"},
      {216, "FMOD_Channel_GetIndex"},        {217, "FMOD_ChannelGroup_GetSystemObject"},
      {285, "FMOD_ChannelGroup_GetChannel"}, {286, "FMOD_SoundGroup_Release"},
      {303, "FMOD_DSP_Release"},             {342, "FMOD_DSPConnection_GetInput"},
      {351, "FMOD_Geometry_Release"},        {371, "FMOD_Reverb3D_Release"},
      {379, "FMOD_Reverb3D_GetUserData"},
  };
  for (const auto& Case : kCases) {
    ASSERT_LT(Case.Index, kCount);
    EXPECT_EQ(kEntries[Case.Index].Name, Case.Name) << "at " << Case.Index;
  }
}

TEST(EntryPointList, ArgumentsNameTheDeclaredParametersInOrder) {
  for (const TEntry& Entry : kEntries) {
    const auto Params = SplitList(Entry.Params);
    const auto Args = SplitList(Entry.Args);
    ASSERT_EQ(Params.size(), Args.size()) << Entry.Name;
    for (std::size_t I = 0; I < Params.size(); ++I) {
      EXPECT_FALSE(Args[I].empty()) << Entry.Name;
      EXPECT_EQ(DeclaredName(Params[I]), Args[I]) << Entry.Name << " parameter " << I;
    }
  }
}

TEST(EntryPointList, ObjectEntryPointsTakeTheirObjectFirst) {
  // Apart from the six process-wide entry points (debug, memory, file, and
  // the system's creation), every entry point takes the handle of its own
  // family's object as its first parameter.
  const struct {
    std::string_view Prefix;
    std::string_view FirstParam;
  } kFamilies[] = {
      {"FMOD_System_", "FMOD_SYSTEM *system"},
      {"FMOD_Sound_", "FMOD_SOUND *sound"},
      {"FMOD_Channel_", "FMOD_CHANNEL *channel"},
      {"FMOD_ChannelGroup_", "FMOD_CHANNELGROUP *channelgroup"},
      {"FMOD_SoundGroup_", "FMOD_SOUNDGROUP *soundgroup"},
      {"FMOD_DSP_", "FMOD_DSP *dsp"},
      {"FMOD_DSPConnection_", "FMOD_DSPCONNECTION *dspconnection"},
      {"FMOD_Geometry_", "FMOD_GEOMETRY *geometry"},
      {"FMOD_Reverb3D_", "FMOD_REVERB3D *reverb3d"},
  };
  std::size_t WithHandle = 0;
  for (const TEntry& Entry : kEntries) {
    const std::string_view Name = Entry.Name;
    if (Name == "FMOD_System_Create") continue;
    for (const auto& Family : kFamilies) {
      if (Name.substr(0, Name.find('_', 5) + 1) != Family.Prefix) continue;
      EXPECT_EQ(SplitList(Entry.Params).front(), Family.FirstParam) << Entry.Name;
      ++WithHandle;
    }
  }
  EXPECT_EQ(WithHandle, kCount - 6);
  EXPECT_EQ(std::string_view(kEntries[IndexOf("FMOD_System_Create")].Params), "(FMOD_SYSTEM **system)");
}

TEST(EntryPointList, ArgumentOrderOfEntryPointsThatSwapAgainstTheirWrappers) {
  // Entry points whose argument order differs from the wrapper operation that
  // calls them, or that are easy to get wrong.
  const struct {
    std::string_view Name;
    std::string_view Args;
  } kCases[] = {
      {"FMOD_System_LoadPlugin", "(system, filename, handle, priority)"},
      {"FMOD_System_GetDefaultMixMatrix", "(system, sourcespeakermode, targetspeakermode, matrix, matrixhop)"},
      {"FMOD_System_RegisterCodec", "(system, description, handle, priority)"},
      {"FMOD_System_CreateSound", "(system, name_or_data, mode, exinfo, sound)"},
      {"FMOD_System_AttachChannelGroupToPort", "(system, portType, portIndex, channelgroup, passThru)"},
      {"FMOD_Sound_GetLength", "(sound, length, lengthtype)"},
      {"FMOD_Sound_AddSyncPoint", "(sound, offset, offsettype, name, point)"},
      {"FMOD_Sound_SetLoopPoints", "(sound, loopstart, loopstarttype, loopend, loopendtype)"},
      {"FMOD_Channel_SetPosition", "(channel, position, postype)"},
      {"FMOD_Channel_AddDSP", "(channel, index, dsp)"},
      {"FMOD_ChannelGroup_SetDSPIndex", "(channelgroup, dsp, index)"},
      {"FMOD_DSP_AddInput", "(dsp, input, connection, type)"},
      {"FMOD_Geometry_AddPolygon",
       "(geometry, directocclusion, reverbocclusion, doublesided, numvertices, vertices, polygonindex)"},
      {"FMOD_Reverb3D_Set3DAttributes", "(reverb3d, position, mindistance, maxdistance)"},
  };
  for (const auto& Case : kCases) {
    const std::size_t Index = IndexOf(Case.Name);
    ASSERT_LT(Index, kCount) << Case.Name;
    EXPECT_EQ(kEntries[Index].Args, Case.Args) << Case.Name;
  }
}

}  // namespace
