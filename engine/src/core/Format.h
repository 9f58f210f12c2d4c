// The software format the mixer renders, speaker layouts, and the default
// way a signal of one width is mixed into another.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Lib.Common.h"

namespace sonvel::engine::core {

// The widest signal anything in the mixer carries.
constexpr int kMaxWidth = FMOD_MAX_CHANNEL_WIDTH;

// What the mixer renders: fixed when the system is initialised.
struct Format {
  int sampleRate = 48000;
  int channels = 2;
  FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
  unsigned blockFrames = 1024;
};

// How the channels of a signal map to speakers. A plain signal of N channels
// follows the speaker order of the layout with N speakers; the channel mix
// unit can declare every channel mono, stereo pairs and so on instead.
enum class Layout : std::uint8_t { Speakers, AllMono, AllStereo, AllQuad, All5Point1, All7Point1, AllLfe };

// The number of speakers of a speaker mode (0 for raw or an unknown mode).
int SpeakerModeChannels(FMOD_SPEAKERMODE mode) noexcept;

// The speaker mode a signal of `channels` plain channels is taken to have.
FMOD_SPEAKERMODE SpeakerModeOf(int channels) noexcept;

// Fills `matrix` (row-major, `out` rows of `in` gains) with the default mix
// of an `in`-channel signal into `out` channels: speakers both sides have are
// kept, the others fold into their nearest neighbours at -3 dB, the LFE is
// left out of layouts that lack it, a mono signal plays at its own level on
// the front pair and a mono output averages its inputs.
void DefaultMatrix(float* matrix, int out, int in, Layout layout = Layout::Speakers) noexcept;

}  // namespace sonvel::engine::core
