// The binding against real libraries: our engine beside the test binary and
// a partial stand-in engine in a folder of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TempFolder.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Lib = Tembro::Audio::FMOD::Lib;
namespace fs = std::filesystem;
using sonvel::test::TempFolder;

namespace {

std::string ReadFile(const fs::path& APath) {
  std::ifstream In(APath, std::ios::binary);
  std::stringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

std::string LoadError(const fs::path& ALibraryFolder, bool ALogging, const fs::path& ALogFolder) {
  try {
    Lib::UnloadFMODLibrary(Lib::Detail::LoadFMODLibraryFrom(ALibraryFolder, ALogging, ALogFolder));
  } catch (const std::exception& E) {
    return E.what();
  }
  return "no error";
}

}  // namespace

TEST(Loader, TheExecutableFolderEndsInADelimiterAndHoldsBothEngineBuilds) {
  const fs::path Folder = Lib::Detail::ExecutableFolder();
  EXPECT_TRUE(Folder.native().ends_with(fs::path::preferred_separator));
  EXPECT_TRUE(fs::exists(Folder / "fmodL64.dll"));
  EXPECT_TRUE(fs::exists(Folder / "fmod64.dll"));
}

TEST(Loader, TheReleaseBuildLoadsWithoutTouchingTheDebugEntry) {
  Lib::FMOD_Debug_Initialize.Set(nullptr);
  Lib::TFMODLibraryHandle Library = Lib::LoadFMODLibrary(false);
  ASSERT_NE(Library, nullptr);
  EXPECT_FALSE(Lib::FMOD_Debug_Initialize);
  EXPECT_TRUE(Lib::FMOD_System_Create);
  EXPECT_TRUE(Lib::FMOD_Reverb3D_GetUserData);
  Lib::UnloadFMODLibrary(Library);
}

TEST(Loader, TheLoggingBuildCreatesTheLogFileAndTracesCalls) {
  TempFolder Logs;
  Lib::TFMODLibraryHandle Library = Lib::Detail::LoadFMODLibraryFrom(Lib::Detail::ExecutableFolder(), true, Logs.Path());
  ASSERT_NE(Library, nullptr);
  EXPECT_TRUE(Lib::FMOD_Debug_Initialize);
  FMOD_SYSTEM* System = nullptr;
  ASSERT_EQ(Lib::FMOD_System_Create(&System), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_Release(System), FMOD_OK);
  const std::string Log = ReadFile(Logs.Path() / "FMOD_LOG.txt");
  EXPECT_NE(Log.find("FMOD_System_Create(system=0x"), std::string::npos) << Log;
  EXPECT_NE(Log.find("FMOD_System_Release(system=0x"), std::string::npos) << Log;
  Lib::UnloadFMODLibrary(Library);
}

TEST(Loader, AnExistingLogFileIsNeitherRecreatedNorEmptied) {
  TempFolder Logs;
  std::ofstream(Logs.Path() / "FMOD_LOG.txt") << "earlier run\n";
  Lib::UnloadFMODLibrary(Lib::Detail::LoadFMODLibraryFrom(Lib::Detail::ExecutableFolder(), true, Logs.Path()));
  EXPECT_EQ(ReadFile(Logs.Path() / "FMOD_LOG.txt").rfind("earlier run\n", 0), 0u);
}

TEST(Loader, AMissingLibraryNamesItsFullPath) {
  TempFolder Empty;
  EXPECT_EQ(LoadError(Empty.Path(), true, Empty.Path()),
            "FMOD: failed to load library: " + (Empty.Path() / "fmodL64.dll").string());
  EXPECT_EQ(LoadError(Empty.Path(), false, {}), "FMOD: failed to load library: " + (Empty.Path() / "fmod64.dll").string());
}

TEST(Loader, ALogFileThatCannotBeCreatedPassesTheFileError) {
  TempFolder Logs;
  const fs::path Missing = Logs.Path() / "no-such-folder";
  try {
    Lib::Detail::LoadFMODLibraryFrom(Lib::Detail::ExecutableFolder(), true, Missing);
    ADD_FAILURE() << "no error";
  } catch (const fs::filesystem_error& E) {
    EXPECT_EQ(E.path1(), Missing / "FMOD_LOG.txt");
    EXPECT_EQ(E.code(), std::errc::no_such_file_or_directory);
  }
}

TEST(Loader, ALinkPlantedAtTheLogPathIsNeverFollowed) {
  TempFolder Logs;
  const fs::path Victim = Logs.Path() / "victim.txt";
  std::ofstream(Victim) << "precious\n";
  fs::create_symlink(Victim, Logs.Path() / "FMOD_LOG.txt");
  EXPECT_EQ(LoadError(Lib::Detail::ExecutableFolder(), true, Logs.Path()),
            "FMOD: FMOD_Debug_Initialize() failed: Error loading file.");
  EXPECT_EQ(ReadFile(Victim), "precious\n");
}

TEST(Loader, AFailingDebugSetUpRaisesItsText) {
  TempFolder Logs;
  EXPECT_EQ(LoadError(SONVEL_PARTIAL_ENGINE_DIR, true, Logs.Path()),
            "FMOD: FMOD_Debug_Initialize() failed: File not found.");
}

TEST(Loader, ALibraryLackingNamesLoadsAndItsMissingEntriesRaiseByName) {
  Lib::TFMODLibraryHandle Library = Lib::Detail::LoadFMODLibraryFrom(SONVEL_PARTIAL_ENGINE_DIR, false, {});
  ASSERT_NE(Library, nullptr);
  EXPECT_TRUE(Lib::FMOD_System_Create);
  EXPECT_FALSE(Lib::FMOD_System_Init);
  FMOD_SYSTEM* System = nullptr;
  EXPECT_EQ(Lib::FMOD_System_Create(&System), FMOD_OK);
  try {
    Lib::FMOD_System_Init(System, 32, 4, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& E) {
    EXPECT_NE(std::string(E.what()).find("FMOD_System_Init"), std::string::npos) << E.what();
  }
  Lib::UnloadFMODLibrary(Library);
}
