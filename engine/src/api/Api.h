// The engine's implementation table: one slot per entry point, derived from
// the one list of entry points. Each implementation file fills the slots of
// the entry points it implements; the export layer calls through them and
// answers FMOD_ERR_UNIMPLEMENTED for a slot nobody filled.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

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

// Copies a name into a caller's buffer of `length` bytes, cut to fit and
// always zero-terminated (FMOD_ERR_INVALID_PARAM for no buffer).
inline FMOD_RESULT CopyName(const std::string& name, char* out, int length) {
  if (out == nullptr || length <= 0) return FMOD_ERR_INVALID_PARAM;
  const std::size_t n = std::min<std::size_t>(name.size(), std::size_t(length) - 1);
  std::memcpy(out, name.data(), n);
  out[n] = '\0';
  return FMOD_OK;
}

}  // namespace sonvel::engine
