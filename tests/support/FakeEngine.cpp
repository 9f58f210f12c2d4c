#include "FakeEngine.h"

#include <cassert>

#include "Trace.h"

namespace sonvel::test {

namespace Lib = Tembro::Audio::FMOD::Lib;

namespace {

FakeEngine* GCurrent = nullptr;

template <typename TAction, typename... TArgs>
FMOD_RESULT Record(const char* AName, const char* AArgNames, const TAction& AAction, TArgs... AArgs) {
  std::string Call = sonvel::engine::trace::FormatCall(AName, AArgNames, 0, AArgs...);
  Call.resize(Call.size() - 4);  // drop the " = 0" of the trace format
  FakeEngine::Current().Calls.push_back(std::move(Call));
  return AAction ? AAction(AArgs...) : FMOD_OK;
}

#define SONVEL_UNPAREN(...) __VA_ARGS__
#define FMOD_ENTRY(name, params, args)                                                         \
  FMOD_RESULT F_CALL Fake_##name params {                                                      \
    return Record(#name, #args, FakeEngine::Current().Actions.name, SONVEL_UNPAREN args);      \
  }
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY

}  // namespace

FakeEngine::FakeEngine() {
  assert(GCurrent == nullptr);
  GCurrent = this;
#define FMOD_ENTRY(name, params, args) Lib::name.Set(&Fake_##name);
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
}

FakeEngine::~FakeEngine() {
#define FMOD_ENTRY(name, params, args) Lib::name.Set(nullptr);
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
  GCurrent = nullptr;
}

FakeEngine& FakeEngine::Current() {
  assert(GCurrent != nullptr);
  return *GCurrent;
}

std::vector<std::string> FakeEngine::Names() const {
  std::vector<std::string> Result;
  for (const std::string& Call : Calls) Result.push_back(Call.substr(0, Call.find('(')));
  return Result;
}

}  // namespace sonvel::test
