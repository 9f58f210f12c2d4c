// A manager whose construction fails half-way: this binary lives beside an
// engine that loads but is too old, so the system cannot be created.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "Tembro.Audio.FMOD.h"

namespace Lib = Tembro::Audio::FMOD::Lib;
using Tembro::Audio::FMOD::TTembroSonvelManager;

TEST(ManagerFailureTest, ASystemThatCannotBeCreatedLeavesTheEngineUnloaded) {
  const std::string Engine = (Lib::Detail::ExecutableFolder() / Lib::FMOD_LOGGING_LIBRARY).string();
  try {
    TTembroSonvelManager Manager;
    FAIL() << "the manager accepted an engine that is too old";
  } catch (const std::runtime_error& E) {
    EXPECT_NE(std::string(E.what()).find("FMOD lib version 69639"), std::string::npos) << E.what();
  }
  void* Handle = ::dlopen(Engine.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(Handle, nullptr) << "the engine is still loaded";
  if (Handle != nullptr) ::dlclose(Handle);
}
