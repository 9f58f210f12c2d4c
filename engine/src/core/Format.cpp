#include "Format.h"

#include <algorithm>

namespace sonvel::engine::core {

int SpeakerModeChannels(FMOD_SPEAKERMODE mode) noexcept {
  switch (mode) {
    case FMOD_SPEAKERMODE_MONO: return 1;
    case FMOD_SPEAKERMODE_STEREO: return 2;
    case FMOD_SPEAKERMODE_QUAD: return 4;
    case FMOD_SPEAKERMODE_SURROUND: return 5;
    case FMOD_SPEAKERMODE_5POINT1: return 6;
    case FMOD_SPEAKERMODE_7POINT1: return 8;
    case FMOD_SPEAKERMODE_7POINT1POINT4: return 12;
    default: return 0;
  }
}

FMOD_SPEAKERMODE SpeakerModeOf(int channels) noexcept {
  switch (channels) {
    case 1: return FMOD_SPEAKERMODE_MONO;
    case 2: return FMOD_SPEAKERMODE_STEREO;
    case 4: return FMOD_SPEAKERMODE_QUAD;
    case 5: return FMOD_SPEAKERMODE_SURROUND;
    case 6: return FMOD_SPEAKERMODE_5POINT1;
    case 8: return FMOD_SPEAKERMODE_7POINT1;
    case 12: return FMOD_SPEAKERMODE_7POINT1POINT4;
    default: return FMOD_SPEAKERMODE_RAW;
  }
}

namespace {

// Speaker roles, in the engine's channel order for the widest layout.
enum Role : int { FL, FR, C, LFE, SL, SR, BL, BR, TFL, TFR, TBL, TBR, kRoles, None = -1 };

// The role of channel `i` of a plain signal of `count` channels.
int RoleOf(int i, int count) noexcept {
  switch (count) {
    case 1: return C;
    case 2: return i;  // FL, FR
    case 4: { constexpr int quad[] = {FL, FR, SL, SR}; return quad[i]; }
    case 5: { constexpr int surround[] = {FL, FR, C, SL, SR}; return surround[i]; }
    default: return i < kRoles ? i : None;  // 5.1, 7.1 and 7.1.4 follow the role order
  }
}

int RoleIn(int i, int count, Layout layout) noexcept {
  switch (layout) {
    case Layout::AllMono: return C;
    case Layout::AllStereo: return i % 2;
    case Layout::AllQuad: return RoleOf(i % 4, 4);
    case Layout::All5Point1: return RoleOf(i % 6, 6);
    case Layout::All7Point1: return RoleOf(i % 8, 8);
    case Layout::AllLfe: return LFE;
    default: return RoleOf(i, count);
  }
}

}  // namespace

void DefaultMatrix(float* matrix, int out, int in, Layout layout) noexcept {
  std::fill(matrix, matrix + std::size_t(out) * std::size_t(in), 0.0f);
  auto at = [&](int o, int i) -> float& { return matrix[std::size_t(o) * std::size_t(in) + std::size_t(i)]; };
  if (out <= 0 || in <= 0) return;
  if (out == 1) {
    for (int i = 0; i < in; ++i) at(0, i) = 1.0f / float(in);
    return;
  }
  // Where each role lands in the output (-1: the output lacks it).
  int where[kRoles];
  std::fill(where, where + kRoles, -1);
  for (int o = 0; o < out; ++o) {
    const int role = RoleOf(o, out);
    if (role != None && where[role] < 0) where[role] = o;
  }
  constexpr float kFold = 0.70710678f;
  for (int i = 0; i < in; ++i) {
    const int role = RoleIn(i, in, layout);
    const bool mono = (in == 1 && layout == Layout::Speakers) || layout == Layout::AllMono;
    if (mono) {
      // A mono signal plays at its own level on the front pair.
      at(where[FL], i) += 1.0f;
      at(where[FR], i) += 1.0f;
      continue;
    }
    if (role == None) {
      // A channel of a layout we do not know: keep it where it stands if
      // the output is as wide, else leave it out.
      if (i < out) at(i, i) = 1.0f;
      continue;
    }
    if (where[role] >= 0) {
      at(where[role], i) += 1.0f;
      continue;
    }
    // Fold towards the front: backs to sides, sides and tops to the front
    // pair, each step at -3 dB; the LFE is dropped.
    int target = role;
    float gain = 1.0f;
    while (target != None && where[target] < 0) {
      switch (target) {
        case BL: target = SL; break;
        case BR: target = SR; break;
        case SL: case TFL: case TBL: target = FL; break;
        case SR: case TFR: case TBR: target = FR; break;
        case C:
          at(where[FL], i) += gain * kFold;
          at(where[FR], i) += gain * kFold;
          target = None;
          continue;
        default: target = None; continue;  // LFE
      }
      gain *= kFold;
    }
    if (target != None) at(where[target], i) += gain;
  }
}

}  // namespace sonvel::engine::core
