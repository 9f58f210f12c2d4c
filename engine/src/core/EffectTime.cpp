// Delays and modulation.
#include "Effects.h"

namespace sonvel::engine::core {

std::unique_ptr<Processor> NewTimeEffect(FMOD_DSP_TYPE /*type*/, const EffectContext& /*context*/) { return nullptr; }

}  // namespace sonvel::engine::core
