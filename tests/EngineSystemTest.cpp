// Our engine through the binding: the system's lifecycle through its wrapper,
// and handle validation on every entry point.
#include <gtest/gtest.h>

#include <tuple>
#include <type_traits>

#include "Tembro.Audio.FMOD.Lib.API.h"
#include "Tembro.Audio.FMOD.System.h"
#include "EngineTestSupport.h"

namespace Lib = Tembro::Audio::FMOD::Lib;
using namespace Tembro::Audio::FMOD;
using sonvel::test::CallWithFirst;

namespace {

class EngineTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { FLibrary = Lib::LoadFMODLibrary(false); }
  static void TearDownTestSuite() { Lib::UnloadFMODLibrary(FLibrary); }
  static inline Lib::TFMODLibraryHandle FLibrary = nullptr;
};

bool TakesAHandleFirst(const std::string& AName) {
  return AName.rfind("FMOD_Debug_", 0) != 0 && AName.rfind("FMOD_Memory_", 0) != 0 &&
         AName.rfind("FMOD_File_", 0) != 0 && AName != "FMOD_System_Create";
}

}  // namespace

TEST_F(EngineTest, TheSystemWrapperCreatesInitialisesUpdatesAndEnds) {
  ITembroFMODSystemPtr System = TTembroFMODSystem::Create();
  EXPECT_EQ(System->GetVersion(), 0x00011008u);
  EXPECT_NO_THROW(System->Update());
  EXPECT_NO_THROW(System->GetOutputHandle());
  FMOD_SYSTEM* Handle = static_cast<FMOD_SYSTEM*>(System->GetInternalHandle());
  System.Reset();
  // The released system is gone for good.
  unsigned int Version = 0;
  EXPECT_EQ(Lib::FMOD_System_GetVersion(Handle, &Version), FMOD_ERR_INVALID_HANDLE);
}

TEST_F(EngineTest, SystemCallsCheckTheirArgumentsAndState) {
  FMOD_SYSTEM* System = nullptr;
  EXPECT_EQ(Lib::FMOD_System_Create(nullptr), FMOD_ERR_INVALID_PARAM);
  ASSERT_EQ(Lib::FMOD_System_Create(&System), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_System_Update(System), FMOD_ERR_UNINITIALIZED);
  EXPECT_EQ(Lib::FMOD_System_Init(System, -1, 0, nullptr), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(Lib::FMOD_System_Init(System, 32, 4, nullptr), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_System_Init(System, 32, 4, nullptr), FMOD_ERR_INITIALIZED);
  EXPECT_EQ(Lib::FMOD_System_GetVersion(System, nullptr), FMOD_ERR_INVALID_PARAM);
  int Marker = 0;
  void* UserData = nullptr;
  EXPECT_EQ(Lib::FMOD_System_SetUserData(System, &Marker), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_System_GetUserData(System, &UserData), FMOD_OK);
  EXPECT_EQ(UserData, &Marker);
  EXPECT_EQ(Lib::FMOD_System_Close(System), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_System_Update(System), FMOD_ERR_UNINITIALIZED);
  EXPECT_EQ(Lib::FMOD_System_Release(System), FMOD_OK);
  EXPECT_EQ(Lib::FMOD_System_Release(System), FMOD_ERR_INVALID_HANDLE);
}

TEST_F(EngineTest, EveryEntryPointRefusesGarbageAndStaleHandles) {
  FMOD_SYSTEM* Released = nullptr;
  ASSERT_EQ(Lib::FMOD_System_Create(&Released), FMOD_OK);
  ASSERT_EQ(Lib::FMOD_System_Release(Released), FMOD_OK);
  void* const Handles[] = {nullptr, reinterpret_cast<void*>(0x1), reinterpret_cast<void*>(0xDEADBEEFCAFEull),
                           reinterpret_cast<void*>(~0ull), Released};
  int Checked = 0;
#define FMOD_ENTRY(name, params, args)                                                             \
  if (TakesAHandleFirst(#name)) {                                                                  \
    for (void* Handle : Handles) {                                                                 \
      const FMOD_RESULT Result = CallWithFirst(Lib::name, Handle);                                 \
      EXPECT_TRUE(Result == FMOD_ERR_INVALID_HANDLE || Result == FMOD_ERR_UNIMPLEMENTED)           \
          << #name << " answered " << Result << " for " << Handle;                                 \
    }                                                                                              \
    ++Checked;                                                                                     \
  }
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  EXPECT_EQ(Checked, 380 - 6);
}
