// Panning and routing: the 2D/3D panner (PAN), the object panner
// (OBJECTPAN) and the transceiver with the system's transceiver bus.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "Builtins.h"
#include "EffectSupport.h"
#include "Effects.h"
#include "Snapshot.h"
#include "Spatial.h"

namespace sonvel::engine::core {

namespace {

constexpr float kFar = 1e19f;       // the top of the distance ranges
constexpr std::uint64_t kNoClock = ~std::uint64_t(0);

// ---- Parameter tables.

const char* const kPanModes[] = {"Mono", "Stereo", "Surround"};
const char* const kStereoModes[] = {"Distributed", "Discrete"};
const char* const kRolloffs[] = {"Linear Squared", "Linear", "Inverse", "Inverse Tapered", "Custom"};
const char* const kExtentModes[] = {"Auto", "User", "Off"};
const char* const kOnOff[] = {"Off", "On"};
const char* const kSpeakerModes[] = {"Default", "Raw", "Mono", "Stereo", "Quad", "Surround", "5.1", "7.1", "7.1.4"};

const FMOD_DSP_PARAMETER_DESC kPanParameters[] = {
    IntParameter("Mode", "", "Panning law of the 2D part: mono, stereo (the stereo position) or surround.", 0, 2, 2,
                 kPanModes),
    FloatParameter("Stereo Pos", "", "2D stereo position: -100 full left, 100 full right.", -100.0f, 100.0f, 0.0f),
    FloatParameter("Direction", "Deg", "2D direction of the sound: 0 ahead, -90 left, 90 right.", -180.0f, 180.0f, 0.0f),
    FloatParameter("Extent", "Deg", "2D angle the sound covers around the listener.", 0.0f, 360.0f, 360.0f),
    FloatParameter("Rotation", "Deg", "2D rotation of a multichannel sound field.", -180.0f, 180.0f, 0.0f),
    FloatParameter("LFE Level", "dB", "2D level of the signal sent to the LFE speaker.", -80.0f, 20.0f, 0.0f),
    IntParameter("Stereo Mode", "", "How a stereo input is placed: distributed over the extent or as two points.", 0, 1,
                 1, kStereoModes),
    FloatParameter("Stereo Sep", "Deg", "Angle between the two channels of a discrete stereo input.", -180.0f, 180.0f,
                   60.0f),
    FloatParameter("Stereo Axis", "Deg", "Direction of the middle of a discrete stereo input.", -180.0f, 180.0f, 0.0f),
    IntParameter("Speakers", "", "Speakers the panner may use (bit per speaker, front left first).", 0, 4095, 4095),
    DataParameter("3D Position", "", "The source relative to each listener, with the listeners' weights.",
                  FMOD_DSP_PARAMETER_DATA_TYPE_3DATTRIBUTES_MULTI),
    IntParameter("3D Rolloff", "", "Volume by distance: linear squared, linear, inverse, inverse tapered or custom.", 0, 4,
                 0, kRolloffs),
    FloatParameter("3D Min Dist", "", "Distance up to which the volume stays at its full level.", 0.0f, kFar, 1.0f),
    FloatParameter("3D Max Dist", "", "Distance at which the attenuation ends.", 0.0f, kFar, 20.0f),
    IntParameter("3D Extent Mode", "", "Extent from the sound size and distance (auto), the min extent (user), or none.",
                 0, 2, 0, kExtentModes),
    FloatParameter("3D Sound Size", "", "Width of the sound source, in distance units.", 0.0f, kFar, 0.0f),
    FloatParameter("3D Min Extent", "Deg", "The least angle the sound covers.", 0.0f, 360.0f, 0.0f),
    FloatParameter("3D Pan Blend", "", "Mix of the 2D (0) and 3D (1) panning.", 0.0f, 1.0f, 0.0f),
    IntParameter("LFE Upmix", "", "Send the input to the LFE speaker when it has no LFE channel.", 0, 1, 0, kOnOff),
    DataParameter("Overall Gain", "", "The gain the panner applies (read only).", FMOD_DSP_PARAMETER_DATA_TYPE_OVERALLGAIN),
    IntParameter("Speaker Mode", "", "Speaker mode the panner outputs; default: the system's.", 0,
                 int(FMOD_SPEAKERMODE_MAX) - 1, 0, kSpeakerModes),
    FloatParameter("Height Blend", "", "On 7.1.4: -1 folds the height into the ground, 1 lifts the ground.", -1.0f, 1.0f,
                   0.0f),
};
const FMOD_DSP_PARAMETER_DESC* const kPan[] = {
    &kPanParameters[0],  &kPanParameters[1],  &kPanParameters[2],  &kPanParameters[3],  &kPanParameters[4],
    &kPanParameters[5],  &kPanParameters[6],  &kPanParameters[7],  &kPanParameters[8],  &kPanParameters[9],
    &kPanParameters[10], &kPanParameters[11], &kPanParameters[12], &kPanParameters[13], &kPanParameters[14],
    &kPanParameters[15], &kPanParameters[16], &kPanParameters[17], &kPanParameters[18], &kPanParameters[19],
    &kPanParameters[20], &kPanParameters[21]};

const FMOD_DSP_PARAMETER_DESC kObjectParameters[] = {
    kPanParameters[FMOD_DSP_PAN_3D_POSITION],    kPanParameters[FMOD_DSP_PAN_3D_ROLLOFF],
    kPanParameters[FMOD_DSP_PAN_3D_MIN_DISTANCE], kPanParameters[FMOD_DSP_PAN_3D_MAX_DISTANCE],
    kPanParameters[FMOD_DSP_PAN_3D_EXTENT_MODE], kPanParameters[FMOD_DSP_PAN_3D_SOUND_SIZE],
    kPanParameters[FMOD_DSP_PAN_3D_MIN_EXTENT],  kPanParameters[FMOD_DSP_PAN_OVERALL_GAIN],
    FloatParameter("Output Gain", "", "Gain of the output (linear).", 0.0f, 3.0f, 1.0f),
};
const FMOD_DSP_PARAMETER_DESC* const kObject[] = {&kObjectParameters[0], &kObjectParameters[1], &kObjectParameters[2],
                                                  &kObjectParameters[3], &kObjectParameters[4], &kObjectParameters[5],
                                                  &kObjectParameters[6], &kObjectParameters[7], &kObjectParameters[8]};

const char* const kRoles[] = {"Receiver", "Transmitter"};
const char* const kTransmitModes[] = {"Auto", "Mono", "Stereo", "Surround"};
const FMOD_DSP_PARAMETER_DESC kTransceiverParameters[] = {
    BoolParameter("Transmit", "", "Transmitter (adds its input to the channel) or receiver (plays the channel).", false,
                  kRoles),
    FloatParameter("Gain", "dB", "Gain of what is transmitted or received.", -80.0f, 10.0f, 0.0f),
    IntParameter("Channel", "", "Transceiver channel, 0 to 31.", 0, 31, 0),
    IntParameter("Transmit Mode", "", "Speaker mode transmitted: auto (the input's), mono, stereo or surround.", -1, 2,
                 -1, kTransmitModes),
};
const FMOD_DSP_PARAMETER_DESC* const kTransceiver[] = {&kTransceiverParameters[0], &kTransceiverParameters[1],
                                                       &kTransceiverParameters[2], &kTransceiverParameters[3]};

// ---- Panning maths.

// Where the channels of a plain input signal stand (degrees clockwise from
// ahead); NaN marks the LFE.
float InputAngle(int i, int count) noexcept {
  constexpr float kLfe = NAN;
  static const float quad[] = {-45, 45, -135, 135};
  static const float surround[] = {-30, 30, 0, -110, 110};
  static const float s51[] = {-30, 30, 0, kLfe, -110, 110};
  static const float s71[] = {-30, 30, 0, kLfe, -90, 90, -150, 150, -45, 45, -135, 135};
  switch (count) {
    case 1: return 0.0f;
    case 2: return i == 0 ? -90.0f : 90.0f;  // a pair shares the arc half and half
    case 4: return quad[i];
    case 5: return surround[i];
    case 6: return s51[i];
    case 8:
    case 12: return s71[i];
    default: return 360.0f * float(i) / float(count);
  }
}

int LfeChannel(int speakers) noexcept { return speakers == 6 || speakers == 8 || speakers == 12 ? 3 : -1; }

// The speaker bit (FMOD_SPEAKER) of output channel `i` of `count` speakers.
int SpeakerBit(int i, int count) noexcept {
  switch (count) {
    case 1: return FMOD_SPEAKER_FRONT_CENTER;
    case 4: { constexpr int quad[] = {0, 1, 4, 5}; return quad[i]; }
    case 5: { constexpr int surround[] = {0, 1, 2, 4, 5}; return surround[i]; }
    default: return i;
  }
}

// Constant-power gains (`speakers` of them) of a point `dir` (listener
// space: x right, y up, z forward) widened over `extentDeg`, by the engine's
// own 3D panning; output channels whose bit in `enabled` is clear take no
// part.
void PanPoint(FMOD_SPEAKERMODE mode, int speakers, FMOD_VECTOR dir, float extentDeg, float* gains,
              unsigned enabled = ~0u) noexcept {
  float g[spatial::kMaxSpeakers];
  spatial::PanDirection(mode, std::min(speakers, spatial::kMaxSpeakers), dir, extentDeg, enabled, g);
  for (int o = 0; o < speakers; ++o) gains[o] = o < spatial::kMaxSpeakers ? g[o] : 0.0f;
}

FMOD_VECTOR Direction(float degrees) noexcept {
  const float a = float(kPi) * degrees / 180.0f;
  return {std::sin(a), 0.0f, std::cos(a)};
}

// `dir` turned by `degrees` clockwise about the up axis.
FMOD_VECTOR Turned(FMOD_VECTOR dir, float degrees) noexcept {
  const float a = float(kPi) * degrees / 180.0f, c = std::cos(a), s = std::sin(a);
  return {dir.x * c + dir.z * s, dir.y, -dir.x * s + dir.z * c};
}

// The 3D settings both panners share.
struct Placement3D {
  int rolloff = 0;
  float minDistance = 1.0f, maxDistance = 20.0f;
  int extentMode = 0;
  float soundSize = 0.0f, minExtent = 0.0f;
};

// Attenuation by distance for a rolloff type, by the engine's own curves.
// A custom rolloff is applied by whoever feeds the panner: here it is 1.
float Attenuation(const Placement3D& p, float distance) noexcept {
  spatial::Source s;
  s.minDistance = p.minDistance;
  s.maxDistance = std::max(p.minDistance, p.maxDistance);
  switch (p.rolloff) {
    case FMOD_DSP_PAN_3D_ROLLOFF_LINEARSQUARED: s.rolloff = FMOD_3D_LINEARSQUAREROLLOFF; break;
    case FMOD_DSP_PAN_3D_ROLLOFF_LINEAR: s.rolloff = FMOD_3D_LINEARROLLOFF; break;
    case FMOD_DSP_PAN_3D_ROLLOFF_INVERSE: s.rolloff = FMOD_3D_INVERSEROLLOFF; break;
    case FMOD_DSP_PAN_3D_ROLLOFF_INVERSETAPERED: s.rolloff = FMOD_3D_INVERSETAPEREDROLLOFF; break;
    default: return 1.0f;
  }
  return spatial::DistanceGain(s, distance, 1.0f);
}

float Extent3D(const Placement3D& p, float distance) noexcept {
  switch (p.extentMode) {
    case FMOD_DSP_PAN_3D_EXTENT_MODE_OFF: return 0.0f;
    case FMOD_DSP_PAN_3D_EXTENT_MODE_USER: return p.minExtent;
    default: break;
  }
  float extent = 0.0f;
  if (p.soundSize > 0.0f)
    extent = distance <= p.soundSize * 0.5f ? 360.0f
                                            : 2.0f * std::atan(p.soundSize * 0.5f / distance) * 180.0f / float(kPi);
  return std::clamp(std::max(extent, p.minExtent), 0.0f, 360.0f);
}

// Adds the 3D gains (out rows x `in` columns) of a source placed by
// `position` into `m`, each listener at its weight; answers the weighted
// attenuation.
float Gains3D(const FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI& position, const Placement3D& p, FMOD_SPEAKERMODE mode,
              int out, int in, float* m, unsigned enabled = ~0u) noexcept {
  const int listeners = std::clamp(position.numlisteners, 1, FMOD_MAX_LISTENERS);
  const int lfeIn = LfeChannel(in), lfeOut = LfeChannel(out);
  const int placed = in - (lfeIn >= 0 ? 1 : 0);
  float overall = 0.0f;
  for (int l = 0; l < listeners; ++l) {
    const float weight = std::isfinite(position.weight[l]) ? std::max(0.0f, position.weight[l]) : 0.0f;
    if (weight <= 0.0f) continue;
    const FMOD_VECTOR at = position.relative[l].position;
    const float distance = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
    const float gain = weight * Attenuation(p, std::isfinite(distance) ? distance : kFar);
    overall += gain;
    const float extent = Extent3D(p, distance);
    FMOD_VECTOR dir = distance > 1e-6f ? FMOD_VECTOR{at.x / distance, at.y / distance, at.z / distance}
                                       : FMOD_VECTOR{0, 0, 1};
    for (int c = 0; c < in; ++c) {
      if (c == lfeIn) {
        if (lfeOut >= 0) m[lfeOut * in + c] += gain;
        continue;
      }
      float g[kMaxWidth];
      const float offset = in == 1 ? 0.0f : InputAngle(c, in) * extent / 360.0f;
      PanPoint(mode, out, Turned(dir, offset), extent / float(std::max(placed, 1)), g, enabled);
      for (int o = 0; o < out; ++o) m[o * in + c] += gain * g[o];
    }
  }
  return overall;
}

// Mixes `in` into `out` with gains moving linearly from `from` to `to`
// across the block (rows = outWidth, columns = inWidth).
void MixGliding(const float* in, int stride, int inWidth, float* out, int outWidth, unsigned frames, const float* from,
                const float* to) noexcept {
  const float k = frames > 0 ? 1.0f / float(frames) : 1.0f;
  for (unsigned j = 0; j < frames; ++j) {
    const float t = float(j + 1) * k;
    const float* x = in + std::size_t(j) * stride;
    float* y = out + std::size_t(j) * outWidth;
    for (int o = 0; o < outWidth; ++o) {
      float sum = 0.0f;
      for (int i = 0; i < inWidth; ++i) {
        const int q = o * inWidth + i;
        sum += (from[q] + (to[q] - from[q]) * t) * x[i];
      }
      y[o] = sum;
    }
  }
}

FMOD_CHANNELMASK MaskOf(FMOD_SPEAKERMODE mode) noexcept {
  switch (mode) {
    case FMOD_SPEAKERMODE_MONO: return FMOD_CHANNELMASK_MONO;
    case FMOD_SPEAKERMODE_STEREO: return FMOD_CHANNELMASK_STEREO;
    case FMOD_SPEAKERMODE_QUAD: return FMOD_CHANNELMASK_QUAD;
    case FMOD_SPEAKERMODE_SURROUND: return FMOD_CHANNELMASK_SURROUND;
    case FMOD_SPEAKERMODE_5POINT1: return FMOD_CHANNELMASK_5POINT1;
    default: return FMOD_CHANNELMASK_7POINT1;
  }
}

FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI DefaultPosition() noexcept {
  FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI p{};
  p.numlisteners = 1;
  p.weight[0] = 1.0f;
  for (auto& r : p.relative) {
    r.forward = {0, 0, 1};
    r.up = {0, 1, 0};
  }
  p.absolute.forward = {0, 0, 1};
  p.absolute.up = {0, 1, 0};
  return p;
}

// What both panners share: the 3D position hand-off, the overall gain
// report, the gliding matrix and the output format. The object panner has
// no object-based output to feed: it pans into the software format's
// speakers with the same 3D law as PAN.
class Panner : public BuiltinProcessor {
public:
  Panner(const char* name, const FMOD_DSP_PARAMETER_DESC* const* table, int count, const EffectContext& context,
         int positionIndex, int gainIndex)
      : BuiltinProcessor(name, table, count), context_(context), positionIndex_(positionIndex), gainIndex_(gainIndex),
        position_(DefaultPosition()), apiPosition_(DefaultPosition()) {}

  FMOD_RESULT SetData(int index, void* data, unsigned length) noexcept override {
    if (index == gainIndex_) return FMOD_ERR_INVALID_PARAM;  // read only
    if (index != positionIndex_ || data == nullptr) return FMOD_ERR_INVALID_PARAM;
    FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI p = DefaultPosition();
    if (length == sizeof(FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI)) {
      std::memcpy(&p, data, sizeof p);
      if (p.numlisteners < 1 || p.numlisteners > FMOD_MAX_LISTENERS) return FMOD_ERR_INVALID_PARAM;
    } else if (length == sizeof(FMOD_DSP_PARAMETER_3DATTRIBUTES)) {
      // The single-listener form.
      const auto* single = static_cast<const FMOD_DSP_PARAMETER_3DATTRIBUTES*>(data);
      p.relative[0] = single->relative;
      p.absolute = single->absolute;
    } else {
      return FMOD_ERR_INVALID_PARAM;
    }
    apiPosition_ = p;
    position_.Publish(p);
    return FMOD_OK;
  }

  FMOD_RESULT GetData(int index, void** data, unsigned* length, char* text) noexcept override {
    if (index == positionIndex_) {
      if (data != nullptr) *data = &apiPosition_;
      if (length != nullptr) *length = sizeof apiPosition_;
      if (text != nullptr) std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%s", "position");
      return FMOD_OK;
    }
    if (index != gainIndex_) return FMOD_ERR_INVALID_PARAM;
    overall_.linear_gain = overallGain_.load(std::memory_order_relaxed);
    overall_.linear_gain_additive = 0.0f;
    if (data != nullptr) *data = &overall_;
    if (length != nullptr) *length = sizeof overall_;
    if (text != nullptr)
      std::snprintf(text, FMOD_DSP_GETPARAM_VALUESTR_LENGTH, "%.2f dB", double(GainToDecibels(overall_.linear_gain)));
    return FMOD_OK;
  }

  void Reset() noexcept override { primed_ = false; }

protected:
  virtual FMOD_SPEAKERMODE OutputMode() const noexcept { return context_.speakerMode; }
  // Fills the gains (out x in) for this block; answers the overall gain.
  virtual float Gains(const FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI& position, FMOD_SPEAKERMODE mode, int out, int in,
                      float* m) noexcept = 0;

  Placement3D Placement(int first) const noexcept {
    // The six 3D settings stand in the same order in both tables.
    Placement3D p;
    p.rolloff = IntAt(first);
    p.minDistance = FloatAt(first + 1);
    p.maxDistance = FloatAt(first + 2);
    p.extentMode = IntAt(first + 3);
    p.soundSize = FloatAt(first + 4);
    p.minExtent = FloatAt(first + 5);
    return p;
  }

public:
  void OutputFormat(FMOD_CHANNELMASK, int, FMOD_SPEAKERMODE, FMOD_CHANNELMASK& outMask, int& outChannels,
                    FMOD_SPEAKERMODE& outMode) const noexcept override {
    outMode = OutputMode();
    outChannels = std::min(SpeakerModeChannels(outMode), context_.maxChannels);
    outMask = MaskOf(outMode);
  }

  bool Process(ProcessBlock& block) noexcept override {
    const FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI& position = position_.Read();
    const FMOD_SPEAKERMODE mode = OutputMode();
    const int out = std::clamp(std::min(SpeakerModeChannels(mode), context_.maxChannels), 1, block.capacity);
    const int in = std::clamp(block.inWidth, 1, context_.maxChannels);
    float m[kMaxWidth * kMaxWidth] = {};
    overallGain_.store(Gains(position, mode, out, in, m), std::memory_order_relaxed);
    if (!primed_ || out != lastOut_ || in != lastIn_) std::copy(m, m + out * in, last_);
    primed_ = true;
    lastOut_ = out;
    lastIn_ = in;
    block.outWidth = out;
    if (block.inputIdle || block.inWidth < 1) {
      std::copy(m, m + out * in, last_);
      return false;
    }
    // Input channels beyond the ones we keep state for are left out.
    MixGliding(block.in, block.inWidth, in, block.out, out, block.frames, last_, m);
    std::copy(m, m + out * in, last_);
    return true;
  }

protected:
  const EffectContext context_;

private:
  const int positionIndex_, gainIndex_;
  Snapshot<FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI> position_;
  FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI apiPosition_;
  FMOD_DSP_PARAMETER_OVERALLGAIN overall_{1.0f, 0.0f};
  std::atomic<float> overallGain_{1.0f};
  // The gains of the last block (mixer thread).
  float last_[kMaxWidth * kMaxWidth] = {};
  int lastOut_ = 0, lastIn_ = 0;
  bool primed_ = false;
};

class PanProcessor final : public Panner {
public:
  explicit PanProcessor(const EffectContext& context)
      : Panner("Pan", kPan, int(std::size(kPan)), context, FMOD_DSP_PAN_3D_POSITION, FMOD_DSP_PAN_OVERALL_GAIN) {}

protected:
  FMOD_SPEAKERMODE OutputMode() const noexcept override {
    const int chosen = IntAt(FMOD_DSP_PAN_SURROUND_SPEAKER_MODE);
    if (chosen <= FMOD_SPEAKERMODE_RAW || chosen >= FMOD_SPEAKERMODE_MAX) return context_.speakerMode;
    return FMOD_SPEAKERMODE(chosen);
  }

  float Gains(const FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI& position, FMOD_SPEAKERMODE mode, int out, int in,
              float* m) noexcept override {
    const float blend = FloatAt(FMOD_DSP_PAN_3D_PAN_BLEND);
    float g2[kMaxWidth * kMaxWidth] = {};
    float g3[kMaxWidth * kMaxWidth] = {};
    Gains2D(mode, out, in, g2, EnabledChannels(out));
    const unsigned enabled = EnabledChannels(out);
    const float attenuation =
        blend > 0.0f ? Gains3D(position, Placement(FMOD_DSP_PAN_3D_ROLLOFF), mode, out, in, g3, enabled) : 1.0f;
    const float overall = 1.0f - blend + blend * attenuation;
    // The LFE: the input's own LFE at the LFE level, and with the upmix the
    // rest of an input that has none.
    const int lfeOut = LfeChannel(out), lfeIn = LfeChannel(in);
    const float lfeLevel = DecibelsToGain(FloatAt(FMOD_DSP_PAN_2D_LFE_LEVEL));
    if (lfeOut >= 0 && lfeIn < 0 && IntAt(FMOD_DSP_PAN_LFE_UPMIX_ENABLED) != 0)
      for (int c = 0; c < in; ++c) {
        g2[lfeOut * in + c] += lfeLevel / float(in);
        g3[lfeOut * in + c] += attenuation / float(in);
      }
    for (int o = 0; o < out; ++o) {
      const bool on = ((enabled >> o) & 1u) != 0;
      for (int c = 0; c < in; ++c) m[o * in + c] = on ? (1.0f - blend) * g2[o * in + c] + blend * g3[o * in + c] : 0.0f;
    }
    return overall;
  }

private:
  // The enabled speakers as a bit per output channel.
  unsigned EnabledChannels(int out) const noexcept {
    const unsigned speakers = unsigned(IntAt(FMOD_DSP_PAN_ENABLED_SPEAKERS));
    unsigned channels = 0;
    for (int o = 0; o < out; ++o) channels |= ((speakers >> SpeakerBit(o, out)) & 1u) << o;
    return channels;
  }

  void Gains2D(FMOD_SPEAKERMODE mode, int out, int in, float* m, unsigned enabled) const noexcept {
    const int lfeIn = LfeChannel(in), lfeOut = LfeChannel(out);
    if (lfeIn >= 0 && lfeOut >= 0) m[lfeOut * in + lfeIn] = DecibelsToGain(FloatAt(FMOD_DSP_PAN_2D_LFE_LEVEL));
    const int panMode = IntAt(FMOD_DSP_PAN_MODE);
    if (out == 1) {
      for (int c = 0; c < in; ++c) m[c] = c == lfeIn ? 0.0f : 1.0f / float(in - (lfeIn >= 0 ? 1 : 0));
      return;
    }
    if (out <= 2 || panMode != FMOD_DSP_PAN_MODE_SURROUND) {
      // The stereo position on the front pair, constant power.
      const float p = FloatAt(FMOD_DSP_PAN_2D_STEREO_POSITION) / 100.0f;
      float down[2 * kMaxWidth] = {};
      int width = 2;
      if (in == 1 || panMode == FMOD_DSP_PAN_MODE_MONO) {
        width = 1;
        DefaultMatrix(down, 1, in);
      } else {
        DefaultMatrix(down, 2, in);
      }
      if (lfeIn >= 0) down[lfeIn] = down[in + lfeIn] = 0.0f;
      float pan[2][2];
      if (width == 1) {
        const float theta = (p + 1.0f) * float(kPi) / 4.0f;
        pan[0][0] = std::cos(theta);
        pan[1][0] = std::sin(theta);
      } else {
        // Balance: the far channel moves over to the near side.
        const float t = std::fabs(p) * float(kPi) / 2.0f;
        const int near = p < 0 ? 0 : 1, far = 1 - near;
        pan[near][near] = 1.0f;
        pan[far][near] = 0.0f;
        pan[far][far] = std::cos(t);
        pan[near][far] = std::sin(t);
      }
      for (int o = 0; o < 2; ++o)
        for (int c = 0; c < in; ++c) {
          float sum = 0.0f;
          for (int k = 0; k < width; ++k) sum += pan[o][k] * down[k * in + c];
          m[o * in + c] = sum;
        }
      return;
    }
    // Surround: each channel of the input placed around the listener.
    const float direction = FloatAt(FMOD_DSP_PAN_2D_DIRECTION), extent = FloatAt(FMOD_DSP_PAN_2D_EXTENT);
    const float rotation = FloatAt(FMOD_DSP_PAN_2D_ROTATION);
    const int placed = in - (lfeIn >= 0 ? 1 : 0);
    const bool discrete = in == 2 && IntAt(FMOD_DSP_PAN_2D_STEREO_MODE) == FMOD_DSP_PAN_2D_STEREO_MODE_DISCRETE;
    const float height = FloatAt(FMOD_DSP_PAN_2D_HEIGHT_BLEND);
    for (int c = 0; c < in; ++c) {
      if (c == lfeIn) continue;
      float angle, spread;
      if (discrete) {
        const float half = FloatAt(FMOD_DSP_PAN_2D_STEREO_SEPARATION) * 0.5f;
        angle = FloatAt(FMOD_DSP_PAN_2D_STEREO_AXIS) + rotation + (c == 0 ? -half : half);
        spread = 0.0f;
      } else {
        angle = in == 1 ? direction : direction + rotation + InputAngle(c, in) * extent / 360.0f;
        spread = extent / float(std::max(placed, 1));
      }
      float g[kMaxWidth] = {};
      PanPoint(mode, out, Direction(angle), spread, g, enabled);
      const bool top = in == 12 && c >= 8;
      if (out == 12) {
        // 7.1.4: the height speakers by the height blend.
        float tops[4];
        PanPoint(FMOD_SPEAKERMODE_QUAD, 4, Direction(angle), spread, tops, enabled >> 8);
        const float lift = top ? std::sqrt(1.0f - std::max(0.0f, -height)) : std::sqrt(std::max(0.0f, height));
        const float ground = std::sqrt(1.0f - lift * lift);
        for (int o = 0; o < 8; ++o) g[o] *= ground;
        for (int o = 0; o < 4; ++o) g[8 + o] = lift * tops[o];
      }
      for (int o = 0; o < out; ++o) m[o * in + c] = g[o];
    }
  }
};

class ObjectPanProcessor final : public Panner {
public:
  explicit ObjectPanProcessor(const EffectContext& context)
      : Panner("Object Pan", kObject, int(std::size(kObject)), context, FMOD_DSP_OBJECTPAN_3D_POSITION,
               FMOD_DSP_OBJECTPAN_OVERALL_GAIN) {}

protected:
  float Gains(const FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI& position, FMOD_SPEAKERMODE mode, int out, int in,
              float* m) noexcept override {
    const float outputGain = FloatAt(FMOD_DSP_OBJECTPAN_OUTPUTGAIN);
    const float overall = Gains3D(position, Placement(FMOD_DSP_OBJECTPAN_3D_ROLLOFF), mode, out, in, m) * outputGain;
    for (int q = 0; q < out * in; ++q) m[q] *= outputGain;
    return overall;
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// The transceiver bus.
//
// 32 channels, each a sum of what its transmitters sent in a block. The mixer
// renders on one thread, so the bus is touched by that thread alone and
// needs no lock; every buffer is made here, at the engine's start.
//
// Order within a block, by the block's DSP clock:
// - until a receiver has read a channel in a block, transmitters add into its
//   `now` sum, which every receiver of the block hears at once;
// - once it has been read, later transmitters of the block add into its
//   `late` sum instead, which receivers hear in the next block.
// So each transmission is heard once by every receiver: in the same block by
// a receiver that runs after its transmitter, one block later by one that
// runs before. Sums carry the clock of their block and are only heard in it
// (or the block after, for the late sum): a transmitter that stops running,
// or is released, leaves nothing behind.
//
// A channel's speaker mode is that of the widest transmitter of the block;
// narrower ones are converted to it with the engine's default mix.
class TransceiverBus {
public:
  static constexpr int kChannels = 32;

  TransceiverBus(unsigned blockFrames, int maxChannels) : frames_(blockFrames), width_(maxChannels) {
    for (Channel& c : channels_) {
      c.now.assign(std::size_t(frames_) * width_, 0.0f);
      for (auto& late : c.late) late.assign(std::size_t(frames_) * width_, 0.0f);
    }
  }

  int MaxWidth() const noexcept { return width_; }

  // Adds `frames` of `signal` (width `width`, gain already applied) into
  // `channel` for the block at `clock`.
  void Transmit(int channel, std::uint64_t clock, const float* signal, int width, unsigned frames) noexcept {
    if (channel < 0 || channel >= kChannels || frames > frames_ || width < 1 || width > width_) return;
    Channel& c = channels_[channel];
    Sum* sum;
    std::vector<float>* data;
    if (c.readClock == clock) {
      int k = c.lateSum[0].clock == clock ? 0 : c.lateSum[1].clock == clock ? 1 : -1;
      if (k < 0) {
        k = c.lateSum[0].clock == kNoClock || (c.lateSum[1].clock != kNoClock && c.lateSum[0].clock < c.lateSum[1].clock)
                ? 0
                : 1;
        c.lateSum[k] = Sum{clock, frames, 0};
      }
      sum = &c.lateSum[k];
      data = &c.late[k];
    } else {
      if (c.nowSum.clock != clock) c.nowSum = Sum{clock, frames, 0};
      sum = &c.nowSum;
      data = &c.now;
    }
    float* d = data->data();
    if (width > sum->width) {
      if (sum->width > 0) Widen(d, sum->width, width, frames);
      else std::fill(d, d + std::size_t(frames) * width, 0.0f);
      sum->width = width;
    }
    const int w = sum->width;
    if (w == width) {
      for (std::size_t k = 0; k < std::size_t(frames) * w; ++k) d[k] += signal[k];
      return;
    }
    float m[kMaxWidth * kMaxWidth];
    DefaultMatrix(m, w, width);
    for (unsigned j = 0; j < frames; ++j)
      for (int o = 0; o < w; ++o) {
        float s = 0.0f;
        for (int i = 0; i < width; ++i) s += m[o * width + i] * signal[std::size_t(j) * width + i];
        d[std::size_t(j) * w + o] += s;
      }
  }

  // Writes what `channel` holds for the block at `clock` into `out` (room
  // for `capacity` channels) and answers its width, 0 for silence.
  int Receive(int channel, std::uint64_t clock, unsigned frames, float* out, int capacity) noexcept {
    if (channel < 0 || channel >= kChannels || frames > frames_) return 0;
    Channel& c = channels_[channel];
    c.readClock = clock;
    const bool now = c.nowSum.clock == clock && c.nowSum.width > 0 && c.nowSum.frames == frames;
    int late = -1;
    for (int k = 0; k < 2; ++k)
      if (c.lateSum[k].clock != kNoClock && c.lateSum[k].clock + c.lateSum[k].frames == clock && c.lateSum[k].width > 0)
        late = k;
    int width = std::max(now ? c.nowSum.width : 0, late >= 0 ? c.lateSum[late].width : 0);
    width = std::min(width, capacity);
    if (width == 0) return 0;
    std::fill(out, out + std::size_t(frames) * width, 0.0f);
    auto add = [&](const float* d, int w, unsigned n) {
      float m[kMaxWidth * kMaxWidth];
      DefaultMatrix(m, width, w);
      for (unsigned j = 0; j < std::min(n, frames); ++j)
        for (int o = 0; o < width; ++o) {
          float s = 0.0f;
          for (int i = 0; i < w; ++i) s += m[o * w + i] * d[std::size_t(j) * w + i];
          out[std::size_t(j) * width + o] += s;
        }
    };
    if (now) add(c.now.data(), c.nowSum.width, frames);
    if (late >= 0) add(c.late[late].data(), c.lateSum[late].width, c.lateSum[late].frames);
    return width;
  }

private:
  struct Sum {
    std::uint64_t clock = kNoClock;
    unsigned frames = 0;
    int width = 0;  // 0: nothing added yet
  };
  struct Channel {
    std::vector<float> now, late[2];
    Sum nowSum, lateSum[2];
    std::uint64_t readClock = kNoClock;
  };

  // Remixes a sum in place from `from` channels to `to` (wider).
  static void Widen(float* d, int from, int to, unsigned frames) noexcept {
    float m[kMaxWidth * kMaxWidth];
    DefaultMatrix(m, to, from);
    for (unsigned j = frames; j-- > 0;) {
      float old[kMaxWidth];
      std::copy(d + std::size_t(j) * from, d + std::size_t(j) * from + from, old);
      for (int o = 0; o < to; ++o) {
        float s = 0.0f;
        for (int i = 0; i < from; ++i) s += m[o * from + i] * old[i];
        d[std::size_t(j) * to + o] = s;
      }
    }
  }

  const unsigned frames_;
  const int width_;
  Channel channels_[kChannels];
};

std::shared_ptr<TransceiverBus> NewTransceiverBus(const EffectContext& context) {
  return std::make_shared<TransceiverBus>(context.blockFrames, std::clamp(context.maxChannels, 1, kMaxWidth));
}

namespace {

class TransceiverProcessor final : public BuiltinProcessor {
public:
  explicit TransceiverProcessor(const EffectContext& context)
      : BuiltinProcessor("Transceiver", kTransceiver, int(std::size(kTransceiver))), context_(context),
        scratch_(std::size_t(context.blockFrames) * std::size_t(std::clamp(context.maxChannels, 1, kMaxWidth))) {}

  bool Process(ProcessBlock& block) noexcept override {
    TransceiverBus* bus = context_.transceivers;
    const int channel = IntAt(FMOD_DSP_TRANSCEIVER_CHANNEL);
    const float target = DecibelsToGain(FloatAt(FMOD_DSP_TRANSCEIVER_GAIN));
    if (!primed_) gain_.Jump(target);
    primed_ = true;
    gain_.Set(target, block.frames);
    if (IntAt(FMOD_DSP_TRANSCEIVER_TRANSMIT) == 0) {
      // A receiver: the channel replaces the input.
      const int width = bus != nullptr ? bus->Receive(channel, block.clock, block.frames, block.out, block.capacity) : 0;
      if (width == 0) {
        block.outWidth = std::clamp(context_.channels, 1, block.capacity);
        for (unsigned j = 0; j < block.frames; ++j) gain_.Next();
        return false;
      }
      block.outWidth = width;
      for (unsigned j = 0; j < block.frames; ++j) {
        const float g = gain_.Next();
        for (int c = 0; c < width; ++c) block.out[std::size_t(j) * width + c] *= g;
      }
      return true;
    }
    // A transmitter: passes its input on and sends it, gained and in its
    // speaker mode.
    const int inWidth = block.inWidth;
    block.outWidth = std::min(inWidth, block.capacity);
    if (block.inputIdle) {
      for (unsigned j = 0; j < block.frames; ++j) gain_.Next();
      return false;
    }
    for (unsigned j = 0; j < block.frames; ++j)
      for (int c = 0; c < block.outWidth; ++c)
        block.out[std::size_t(j) * block.outWidth + c] = block.in[std::size_t(j) * inWidth + c];
    if (bus == nullptr) return true;
    const int maxWidth = bus->MaxWidth();
    int width;
    switch (IntAt(FMOD_DSP_TRANSCEIVER_TRANSMITSPEAKERMODE)) {
      case FMOD_DSP_TRANSCEIVER_SPEAKERMODE_MONO: width = 1; break;
      case FMOD_DSP_TRANSCEIVER_SPEAKERMODE_STEREO: width = 2; break;
      case FMOD_DSP_TRANSCEIVER_SPEAKERMODE_SURROUND: width = context_.channels > 2 ? context_.channels : 6; break;
      default: width = inWidth; break;
    }
    width = std::clamp(width, 1, maxWidth);
    const int in = std::min(inWidth, maxWidth);
    float m[kMaxWidth * kMaxWidth];
    DefaultMatrix(m, width, in);
    float* s = scratch_.data();
    for (unsigned j = 0; j < block.frames; ++j) {
      const float g = gain_.Next();
      const float* x = block.in + std::size_t(j) * inWidth;
      for (int o = 0; o < width; ++o) {
        float sum = 0.0f;
        for (int i = 0; i < in; ++i) sum += m[o * in + i] * x[i];
        s[std::size_t(j) * width + o] = g * sum;
      }
    }
    bus->Transmit(channel, block.clock, s, width, block.frames);
    return true;
  }

  void Reset() noexcept override { primed_ = false; }

private:
  const EffectContext context_;
  std::vector<float> scratch_;
  Ramp gain_{1.0f};
  bool primed_ = false;
};

}  // namespace

std::unique_ptr<Processor> NewRoutingEffect(FMOD_DSP_TYPE type, const EffectContext& context) {
  switch (type) {
    case FMOD_DSP_TYPE_PAN: return std::make_unique<PanProcessor>(context);
    case FMOD_DSP_TYPE_OBJECTPAN: return std::make_unique<ObjectPanProcessor>(context);
    case FMOD_DSP_TYPE_TRANSCEIVER: return std::make_unique<TransceiverProcessor>(context);
    default: return nullptr;
  }
}

}  // namespace sonvel::engine::core
