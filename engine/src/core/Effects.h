// The built-in effects, one family to a file. Each family's factory makes a
// processor for the types it has and answers null for every other, so that
// NewBuiltin asks them in turn.
#pragma once

#include <memory>

#include "Format.h"
#include "Processor.h"

namespace sonvel::engine::core {

class Host;
class TransceiverBus;

// What an effect is made for: fixed for the life of the system.
struct EffectContext {
  int sampleRate = 48000;
  unsigned blockFrames = 1024;  // the most frames one Process call gets
  int channels = 2;             // the software format's speakers
  FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
  // The widest input an effect keeps state for; wider inputs pass the extra
  // channels through untouched. At least the software format and 7.1.
  int maxChannels = 8;
  Host* host = nullptr;                    // listeners and the clock
  TransceiverBus* transceivers = nullptr;  // the system's transceiver channels
};

// Filters and equalisers: LOWPASS, ITLOWPASS, HIGHPASS, LOWPASS_SIMPLE,
// HIGHPASS_SIMPLE, PARAMEQ, THREE_EQ, MULTIBAND_EQ.
std::unique_ptr<Processor> NewFilterEffect(FMOD_DSP_TYPE type, const EffectContext& context);
// Delays and modulation: ECHO, ITECHO, DELAY, FLANGE, CHORUS, TREMOLO, DISTORTION.
std::unique_ptr<Processor> NewTimeEffect(FMOD_DSP_TYPE type, const EffectContext& context);
// Dynamics: COMPRESSOR, LIMITER, NORMALIZE, ENVELOPEFOLLOWER.
std::unique_ptr<Processor> NewDynamicsEffect(FMOD_DSP_TYPE type, const EffectContext& context);
// Spectral work: FFT, CONVOLUTIONREVERB, PITCHSHIFT.
std::unique_ptr<Processor> NewSpectralEffect(FMOD_DSP_TYPE type, const EffectContext& context);
// The environmental reverb: SFXREVERB.
std::unique_ptr<Processor> NewReverbEffect(FMOD_DSP_TYPE type, const EffectContext& context);
// Metering and plug-in hosting: LOUDNESS_METER, LADSPAPLUGIN.
std::unique_ptr<Processor> NewMeterEffect(FMOD_DSP_TYPE type, const EffectContext& context);
// Panning and routing: PAN, OBJECTPAN, TRANSCEIVER.
std::unique_ptr<Processor> NewRoutingEffect(FMOD_DSP_TYPE type, const EffectContext& context);

// The system's transceiver channels, made with the engine.
std::shared_ptr<TransceiverBus> NewTransceiverBus(const EffectContext& context);

}  // namespace sonvel::engine::core
