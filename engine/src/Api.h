// The engine's implementation table: one slot per entry point, derived from
// the one list of entry points. Each implementation file fills the slots of
// the entry points it implements; the export layer calls through them and
// answers FMOD_ERR_UNIMPLEMENTED for a slot nobody filled.
#pragma once

#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Codec.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"
#include "Tembro.Audio.FMOD.Lib.Output.h"

namespace sonvel::engine {

struct ApiTable {
#define FMOD_ENTRY(name, params, args) FMOD_RESULT (*name) params = nullptr;
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
};

// The one table, built on first use.
ApiTable& Api();

// Fills slots at load time: `const ApiRegistration kRegistration{[](ApiTable& t) { t.X = &X; }};`
struct ApiRegistration {
  explicit ApiRegistration(void (*fill)(ApiTable&)) { fill(Api()); }
};

// True in the logging build, false in the release build.
bool IsLoggingBuild() noexcept;

}  // namespace sonvel::engine
