// The engine system: the root object that owns an output, a mixer and every
// object created from it.
#pragma once

#include <memory>
#include <mutex>

#include "Api.h"
#include "Handles.h"

namespace sonvel::engine {

class System {
public:
  enum class State { Created, Initialised };

  std::mutex mutex;  // guards the fields below; API threads only
  State state = State::Created;
  int maxChannels = 0;
  FMOD_INITFLAGS initFlags = 0;
  FMOD_OUTPUTTYPE outputType = FMOD_OUTPUTTYPE_AUTODETECT;
  void* outputHandle = nullptr;
  void* userData = nullptr;
};

using SystemTable = HandleTable<System, HandleKind::System>;
SystemTable& Systems();

}  // namespace sonvel::engine
