// Filters and equalisers.
#include "Effects.h"

namespace sonvel::engine::core {

std::unique_ptr<Processor> NewFilterEffect(FMOD_DSP_TYPE /*type*/, const EffectContext& /*context*/) { return nullptr; }

}  // namespace sonvel::engine::core
