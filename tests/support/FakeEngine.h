// A recording fake of the whole engine for wrapper tests. While a FakeEngine
// lives, every slot of the binding's entry-point table points at a fake that
// records the call as text ("FMOD_System_Init(system=0x5151, maxchannels=32,
// flags=4, extradriverdata=null)") and then runs the test's action for that
// entry point, or answers FMOD_OK when there is none.
//
//   FakeEngine Fake;
//   Fake.Actions.FMOD_System_Create = [](FMOD_SYSTEM** s) { *s = FakeHandle<FMOD_SYSTEM>(0x5151); return FMOD_OK; };
//   ... use a wrapper ...
//   EXPECT_EQ(Fake.Calls, (std::vector<std::string>{"FMOD_System_Create(system=0x...)", ...}));
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.API.h"

namespace sonvel::test {

template <typename T>
T* FakeHandle(std::uintptr_t AValue) {
  return reinterpret_cast<T*>(AValue);
}

class FakeEngine {
public:
  struct ActionTable {
#define FMOD_ENTRY(name, params, args) std::function<FMOD_RESULT params> name;
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  };

  FakeEngine();   // installs the fakes into every table slot
  ~FakeEngine();  // empties every table slot again
  FakeEngine(const FakeEngine&) = delete;
  FakeEngine& operator=(const FakeEngine&) = delete;

  static FakeEngine& Current();

  // The calls made so far, in order, as text.
  std::vector<std::string> Calls;
  // Names only, for tests that care about order rather than arguments.
  std::vector<std::string> Names() const;
  ActionTable Actions;
};

}  // namespace sonvel::test
