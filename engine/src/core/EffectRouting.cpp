// Panning and routing.
#include "Effects.h"

namespace sonvel::engine::core {

// The system's transceiver channels.
class TransceiverBus {};

std::shared_ptr<TransceiverBus> NewTransceiverBus(const EffectContext& /*context*/) {
  return std::make_shared<TransceiverBus>();
}

std::unique_ptr<Processor> NewRoutingEffect(FMOD_DSP_TYPE /*type*/, const EffectContext& /*context*/) { return nullptr; }

}  // namespace sonvel::engine::core
