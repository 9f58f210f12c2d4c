// Voices: reading a channel's sound (loops and bidirectional loops unrolled
// here, streams read from their ring) and resampling it by linear
// interpolation. The play position is 32.32 fixed point, so blocks join
// exactly. A block is worked in stretches whose source frames fit the
// mixer's scratch, whatever the pitch.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "Kernels.h"
#include "Mixer.h"

namespace sonvel::engine::core {

namespace {

constexpr std::uint32_t kSpanFrames = 8192;  // as in Mixer.cpp: the scratch holds this many and two more

bool Loops(FMOD_MODE mode) noexcept {
  return (mode & (FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI)) != 0 && !(mode & FMOD_LOOP_OFF);
}

}  // namespace

// One stretch of a voice's output: `count` output frames from frame `at` of
// the block, interpolated from the source frames `s` (A, B and the frames
// pulled after them) at the fixed-point `phase`, moving by `increment`.
struct Mixer::Span {
  const float* s;
  std::uint64_t phase;
  std::uint64_t increment;
  unsigned at;
  unsigned count;
};

double Mixer::StepOf(const Channel& channel) const noexcept {
  const ControlSettings& s = channel.settings.Last();
  const float doppler = s.placement.enabled ? s.placement.pitchFactor : 1.0f;
  double step = double(s.frequency) * channel.render.pitch * doppler / format.sampleRate;
  if (!(step >= 0.0)) step = 0.0;  // NaN (an infinite pitch times zero) plays nothing rather than anything
  return std::min(step, 256.0);
}

std::uint32_t Mixer::Pull(Channel& channel, float* out, std::uint32_t count, const float* samples) noexcept {
  Voice& v = channel.channelRender.voice;
  SoundData& sound = *channel.sound;
  const int width = v.width;
  auto segment = [&](std::uint32_t at, std::int64_t source, bool backwards) {
    if (segmentCount_ < segments_.size()) segments_[segmentCount_++] = Segment{at, source, backwards};
  };
  if (sound.stream) {
    // Each read is one run of consecutive source frames: a loop wrap or a
    // seek starts the next.
    StreamSource& stream = *sound.stream;
    std::uint32_t got = 0;
    while (got < count) {
      std::uint64_t at = 0;
      const std::uint32_t n = stream.Read(out + std::size_t(got) * width, count - got, at);
      if (n > 0) {
        segment(got, std::int64_t(at), false);
        got += n;
        continue;
      }
      if (stream.Ended()) {
        v.sourceEnded = true;
        break;
      }
      // The stream thread is behind: play silence and keep going.
      std::fill(out + std::size_t(got) * width, out + std::size_t(count) * width, 0.0f);
      segment(got, std::int64_t(stream.Position()), false);
      got = count;
    }
    return got;
  }

  if (samples == nullptr) {
    v.sourceEnded = true;
    return 0;
  }
  const std::int64_t length = std::int64_t(sound.length.load(std::memory_order_acquire));
  const bool bidi = (v.loopMode & FMOD_LOOP_BIDI) && v.loopEnd > v.loopStart + 1;
  std::uint32_t got = 0;
  while (got < count) {
    const bool looping = Loops(v.loopMode) && v.loopCount != 0;
    if (!v.backwards) {
      const std::int64_t end = looping ? std::min<std::int64_t>(std::int64_t(v.loopEnd) + 1, length) : length;
      if (v.readPos >= end) {
        if (!looping || end <= 0 || std::int64_t(v.loopStart) >= end) {
          v.sourceEnded = true;
          break;
        }
        if (bidi) {
          v.backwards = true;
          v.readPos = end - 2;
        } else {
          v.readPos = v.loopStart;
          if (v.loopCount > 0) --v.loopCount;
        }
        continue;
      }
      const std::uint32_t n = std::uint32_t(std::min<std::int64_t>(count - got, end - v.readPos));
      std::memcpy(out + std::size_t(got) * width, samples + std::size_t(v.readPos) * width,
                  sizeof(float) * n * std::size_t(width));
      segment(got, v.readPos, false);
      v.readPos += n;
      got += n;
    } else {
      if (v.readPos < std::int64_t(v.loopStart)) {
        v.backwards = false;
        v.readPos = std::int64_t(v.loopStart) + 1;
        if (v.loopCount > 0) --v.loopCount;
        continue;
      }
      segment(got, v.readPos, true);
      while (got < count && v.readPos >= std::int64_t(v.loopStart)) {
        std::memcpy(out + std::size_t(got) * width, samples + std::size_t(v.readPos) * width,
                    sizeof(float) * std::size_t(width));
        --v.readPos;
        ++got;
      }
    }
  }
  return got;
}

const float* Mixer::Contiguous(const Channel& channel, std::uint32_t need, const float* samples) const noexcept {
  const Voice& v = channel.channelRender.voice;
  if (samples == nullptr || !v.started || v.sourceEnded || v.backwards) return nullptr;
  if (v.positionA + 1 != v.positionB || std::int64_t(v.positionB) + 1 != v.readPos) return nullptr;
  const std::int64_t length = std::int64_t(channel.sound->length.load(std::memory_order_acquire));
  const bool looping = Loops(v.loopMode) && v.loopCount != 0;
  const std::int64_t end = looping ? std::min<std::int64_t>(std::int64_t(v.loopEnd) + 1, length) : length;
  if (v.readPos + std::int64_t(need) > end) return nullptr;
  return samples + std::size_t(v.positionA) * std::size_t(v.width);
}

std::uint64_t Mixer::SourceOf(const Channel& channel, std::uint32_t index) const noexcept {
  // Index 0 and 1 are the frames the stretch started with; pulled frames follow.
  const Voice& v = channel.channelRender.voice;
  if (index == 0) return v.positionA;
  if (index == 1) return v.positionB;
  const std::uint32_t pulled = index - 2;
  const Segment* segment = nullptr;
  for (std::size_t g = 0; g < segmentCount_; ++g)
    if (segments_[g].at <= pulled) segment = &segments_[g];
  if (segment == nullptr) return v.positionB;
  const std::int64_t offset = std::int64_t(pulled - segment->at);
  return std::uint64_t(std::max<std::int64_t>(0, segment->backwards ? segment->source - offset
                                                                    : segment->source + offset));
}

void Mixer::SyncPoints(Channel& channel, std::uint32_t got, std::int64_t primedFrom, std::uint32_t primedCount) noexcept {
  const SyncPointList* list = channel.sound->syncPoints.load(std::memory_order_acquire);
  if (list == nullptr || list->points.empty()) return;
  const auto& points = list->points;
  // Every point in [lo, lo + length), in offset order.
  auto report = [&](std::int64_t lo, std::int64_t length) {
    if (length <= 0 || lo + length <= 0) return;
    auto it = std::lower_bound(points.begin(), points.end(), std::max<std::int64_t>(lo, 0),
                               [](const SyncPointView& p, std::int64_t at) { return std::int64_t(p.offset) < at; });
    for (; it != points.end() && std::int64_t(it->offset) < lo + length; ++it)
      Notify(Notice::Kind::SyncPoint, channel, std::int64_t(it - points.begin()));
  };
  if (primedFrom >= 0) report(primedFrom, primedCount);
  for (std::size_t g = 0; g < segmentCount_; ++g) {
    const std::uint32_t end = g + 1 < segmentCount_ ? segments_[g + 1].at : got;
    const std::int64_t length = std::int64_t(end) - std::int64_t(segments_[g].at);
    const std::int64_t lo = segments_[g].backwards ? segments_[g].source - length + 1 : segments_[g].source;
    report(lo, length);
  }
}

void Mixer::MixFused(Channel& channel, const Span& span, float* target, int width, const float* gains,
                     unsigned window) noexcept {
  const Voice& v = channel.channelRender.voice;
  const int in = v.width;
  const ControlSettings& s = channel.settings.Last();
  const float* last = channel.render.lastGains.data();
  const float inverse = 1.0f / float(window);
  const unsigned k = span.at - channel.render.window.from;  // where this stretch starts in the ramp
  const float lowpass = s.lowPassGain * (s.placement.enabled ? s.placement.lowpass : 1.0f);
  const bool plain = lowpass >= 0.999f && s.fades.empty();
  float* out = target + std::size_t(span.at) * width;
  constexpr float kFraction = 1.0f / 4294967296.0f;

  if (plain && in == 1 && width == 2) {
    // The common case: interpolated and added to both sides in one pass.
    const float dl = (gains[0] - last[0]) * inverse, dr = (gains[1] - last[1]) * inverse;
    LerpMonoToStereo(span.s, span.phase, span.increment, out, span.count, last[0] + dl * float(k),
                     last[1] + dr * float(k), dl, dr);
    return;
  }
  if (plain && in == 2 && width == 2) {
    float g[4], d[4];
    for (int q = 0; q < 4; ++q) {
      d[q] = (gains[q] - last[q]) * inverse;
      g[q] = last[q] + d[q] * float(k);
    }
    std::uint64_t p = span.phase;
    const float* s2 = span.s;
    for (unsigned j = 0; j < span.count; ++j, p += span.increment) {
      const std::size_t at = std::size_t(p >> 32) * 2;
      const float f = float(std::uint32_t(p)) * kFraction;
      const float vl = s2[at] + (s2[at + 2] - s2[at]) * f;
      const float vr = s2[at + 1] + (s2[at + 3] - s2[at + 1]) * f;
      for (int q = 0; q < 4; ++q) g[q] += d[q];
      out[2 * j] += vl * g[0] + vr * g[1];
      out[2 * j + 1] += vl * g[2] + vr * g[3];
    }
    return;
  }
  // Any layout: resample into the voice buffer, filter, fade, mix.
  float* voice = voiceOut_.data();
  std::fill(voice, voice + std::size_t(span.count) * in, 0.0f);
  LerpAdd(span.s, in, span.phase, span.increment, voice, span.count);
  if (lowpass < 0.999f) LowPass(voice, in, span.count, lowpass, channel.render.lowpass, format.sampleRate);
  const float* fade = nullptr;
  if (!s.fades.empty()) {
    float* envelope = transition_.data();
    for (unsigned j = 0; j < span.count; ++j) envelope[j] = s.FadeAt(blockClock_ + span.at + j);
    fade = envelope;
  }
  MixMatrix(voice, in, out, width, span.count, last, gains, k, window, fade);
}

void Mixer::RunVoice(Channel& channel, VoiceSink sink, float* target, int targetWidth, const float* gains) noexcept {
  Channel::ChannelRenderSide& cr = channel.channelRender;
  if (cr.advanced == block_ || cr.ended || !channel.PlaysSound()) return;
  cr.advanced = block_;
  Voice& v = cr.voice;
  const int width = v.width;
  const float* samples = channel.sound->samples.load(std::memory_order_acquire);
  const ControlSettings& s = channel.settings.Last();
  const Window& w = channel.render.window;
  const unsigned n = w.to - w.from;
  bool finished = false;
  if (n > 0) {
    // The frames a channel starts on are pulled before its first stretch;
    // their source range is kept so that sync points on them fire too.
    std::int64_t primedFrom = -1;
    std::uint32_t primedCount = 0;
    if (!v.started) {
      segmentCount_ = 0;
      float first[2 * kMaxWidth] = {};
      const std::uint32_t got = Pull(channel, first, 2, samples);
      if (segmentCount_ > 0 && !segments_[0].backwards) {
        primedFrom = segments_[0].source;
        primedCount = segmentCount_ == 1 ? got : 1;
      }
      std::copy(first, first + width, v.frameA);
      std::copy(first + width, first + 2 * width, v.frameB);
      v.positionA = segmentCount_ == 0 ? 0 : SourceOf(channel, 2);
      v.positionB = got > 1 ? SourceOf(channel, 3) : v.positionA;
      v.realFrames = int(got);
      v.started = true;
    }
    const std::uint64_t increment = std::uint64_t(StepOf(channel) * 4294967296.0 + 0.5);
    unsigned done = 0;
    while (done < n && !finished) {
      unsigned m = n - done;
      if (increment > 0) {
        const std::uint64_t room = (std::uint64_t(kSpanFrames) << 32) - v.phase;
        m = unsigned(std::min<std::uint64_t>(m, std::max<std::uint64_t>(1, room / increment)));
      }
      const std::uint64_t endFixed = std::uint64_t(v.phase) + std::uint64_t(m) * increment;
      const std::uint32_t need = std::uint32_t(endFixed >> 32);
      segmentCount_ = 0;
      std::uint32_t got = 0;
      const float* src = Contiguous(channel, need, samples);
      if (src != nullptr) {
        // The frames lie in one run of the sample, A and B included: read
        // them where they are.
        segments_[segmentCount_++] = Segment{0, v.readPos, false};
        v.readPos += need;
        got = need;
      } else {
        float* pulled = pulled_.data();
        std::copy(v.frameA, v.frameA + width, pulled);
        std::copy(v.frameB, v.frameB + width, pulled + width);
        got = v.sourceEnded ? 0 : Pull(channel, pulled + 2 * width, need, samples);
        if (got < need)
          std::fill(pulled + (2 + std::size_t(got)) * width, pulled + (2 + std::size_t(need)) * width, 0.0f);
        src = pulled;
      }
      const std::int64_t real = v.sourceEnded ? v.realFrames + std::int64_t(got) : INT64_MAX;

      // Output frames before the position passes the last real source frame.
      unsigned produced = m;
      if (real != INT64_MAX) {
        const std::uint64_t limit = std::uint64_t(std::max<std::int64_t>(real, 0)) << 32;
        if (v.phase >= limit) produced = 0;
        else if (increment > 0)
          produced = unsigned(std::min<std::uint64_t>(m, (limit - v.phase + increment - 1) / increment));
      }
      if (s.callback) SyncPoints(channel, got, primedFrom, primedCount);
      primedFrom = -1;

      const std::uint64_t startPhase = v.phase;
      if (produced < m || real - std::int64_t(need) <= 0) {
        finished = true;
      } else {
        std::copy(src + std::size_t(need) * width, src + std::size_t(need + 1) * width, v.frameA);
        std::copy(src + std::size_t(need + 1) * width, src + std::size_t(need + 2) * width, v.frameB);
        const std::uint64_t a = SourceOf(channel, need);
        const std::uint64_t b = SourceOf(channel, need + 1);
        v.positionA = a;
        v.positionB = b;
        v.phase = std::uint32_t(endFixed);
        if (v.sourceEnded) v.realFrames = int(std::clamp<std::int64_t>(real - std::int64_t(need), 0, 2));
      }
      if (produced > 0 && sink != VoiceSink::Advance) {
        const Span span{src, startPhase, increment, w.from + done, produced};
        if (sink == VoiceSink::Buffer) {
          if (targetWidth == width)
            LerpAdd(span.s, width, span.phase, span.increment, target + std::size_t(span.at) * width, span.count);
        } else {
          MixFused(channel, span, target, targetWidth, gains, n);
        }
      }
      done += m;
    }
  }
  if (finished || (w.ends && s.delayStops)) cr.ended = true;
  channel.position.store(v.started ? v.positionA : std::uint64_t(std::max<std::int64_t>(v.readPos, 0)),
                         std::memory_order_release);
}

void Mixer::Advance(Channel& channel) noexcept {
  Prepare(channel);
  RunVoice(channel, VoiceSink::Advance, nullptr, 0, nullptr);
}

}  // namespace sonvel::engine::core
