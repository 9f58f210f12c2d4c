// The LADSPA host's maker (its states reach the mixer through Handoff.h).
#pragma once

#include <memory>

#include "Effects.h"
#include "Handoff.h"

namespace sonvel::engine::core {

// A unit that hosts a LADSPA plug-in (FMOD_DSP_TYPE_LADSPAPLUGIN).
std::unique_ptr<Processor> NewLadspaHost(const EffectContext& context);

}  // namespace sonvel::engine::core
