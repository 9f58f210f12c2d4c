// The mixer: renders every playing channel through its channel groups into
// the master group's output at the software format.
#pragma once

namespace sonvel::engine {

class Mixer {};

}  // namespace sonvel::engine
