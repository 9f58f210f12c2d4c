// The one definition the export layer normally provides: these tests link
// the engine's objects without it and run as the release build.
#include "Log.h"

namespace sonvel::engine {
bool IsLoggingBuild() noexcept { return false; }
}  // namespace sonvel::engine
