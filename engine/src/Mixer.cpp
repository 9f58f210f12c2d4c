// The mixer: voice selection, per-voice linear resampling, the group tree
// and the master mix.
#include "Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Log.h"
#include "System.h"

namespace sonvel::engine {

DspTable& Dsps() {
  static DspTable table;
  return table;
}
DspConnectionTable& DspConnections() {
  static DspConnectionTable table;
  return table;
}
ChannelTable& Channels() {
  static ChannelTable table;
  return table;
}
GroupTable& Groups() {
  static GroupTable table;
  return table;
}

void Control::UseMode(FMOD_MODE newMode) noexcept {
  mode = newMode;
  source.is3D = (mode & FMOD_3D) != 0;
  source.headRelative = (mode & FMOD_3D_HEADRELATIVE) != 0;
  source.rolloff = FMOD_3D_INVERSEROLLOFF;
  for (FMOD_MODE model : {FMOD_3D_LINEARROLLOFF, FMOD_3D_LINEARSQUAREROLLOFF, FMOD_3D_INVERSETAPEREDROLLOFF,
                          FMOD_3D_CUSTOMROLLOFF})
    if (mode & model) source.rolloff = model;
}

float Control::FadeAt(std::uint64_t at) const noexcept {
  if (fades.empty()) return 1.0f;
  if (at <= fades.front().clock) return fades.front().volume;
  if (at >= fades.back().clock) return fades.back().volume;
  auto next = std::upper_bound(fades.begin(), fades.end(), at,
                               [](std::uint64_t c, const FadePoint& p) { return c < p.clock; });
  const FadePoint& b = *next;
  const FadePoint& a = *(next - 1);
  const double t = double(at - a.clock) / double(b.clock - a.clock);
  return float(a.volume + (b.volume - a.volume) * t);
}

namespace {

// How many stolen channels keep answering "stolen" before their handles go.
constexpr std::size_t kStolenKept = 1024;

std::shared_ptr<Dsp> NewFader(FMOD_SYSTEM* systemHandle) {
  auto dsp = std::make_shared<Dsp>();
  dsp->systemHandle = systemHandle;
  dsp->handle = Dsps().Add<FMOD_DSP>(dsp);
  return dsp;
}

bool Loops(FMOD_MODE mode) noexcept { return (mode & (FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI)) != 0 && !(mode & FMOD_LOOP_OFF); }

template <typename T>
void Erase(std::vector<T>& list, const T& item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}


// Linear interpolation of a mono source: v[j] is `s` read at the position
// phase + j * increment (32 bits of fraction). With SSE2, four frames at a
// time: positions run in 16.16 fixed point relative to a whole frame taken
// exactly from the 64-bit position every 64 frames, so the rounding of the
// step never builds up.
void LerpMono(const float* __restrict s, std::uint64_t phase, std::uint64_t increment, float* __restrict v,
              unsigned count) noexcept {
  unsigned j = 0;
#if defined(__SSE2__)
  const std::uint32_t step16 = std::uint32_t(increment >> 16);
  const __m128 scale = _mm_set1_ps(1.0f / 65536.0f);
  const __m128i fractionMask = _mm_set1_epi32(0xFFFF);
  const __m128i step4 = _mm_set1_epi32(int(step16 * 4u));
  while (count - j >= 4) {
    const unsigned chunk = std::min(count - j, 64u) & ~3u;
    const std::uint64_t at = phase + std::uint64_t(j) * increment;
    const float* origin = s + std::size_t(at >> 32);
    const std::uint32_t first = std::uint32_t(at) >> 16;
    __m128i position = _mm_setr_epi32(int(first), int(first + step16), int(first + 2 * step16),
                                      int(first + 3 * step16));
    for (unsigned i = 0; i < chunk; i += 4) {
      alignas(16) std::uint32_t k[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(k), _mm_srli_epi32(position, 16));
      const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(position, fractionMask)), scale);
      const __m128 a = _mm_setr_ps(origin[k[0]], origin[k[1]], origin[k[2]], origin[k[3]]);
      const __m128 b = _mm_setr_ps(origin[k[0] + 1], origin[k[1] + 1], origin[k[2] + 1], origin[k[3] + 1]);
      _mm_storeu_ps(v + j + i, _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), f)));
      position = _mm_add_epi32(position, step4);
    }
    j += chunk;
  }
#endif
  constexpr float kFraction = 1.0f / 4294967296.0f;
  for (std::uint64_t p = phase + std::uint64_t(j) * increment; j < count; ++j, p += increment) {
    const std::size_t k = std::size_t(p >> 32);
    v[j] = s[k] + (s[k + 1] - s[k]) * (float(std::uint32_t(p)) * kFraction);
  }
}

// Adds a mono voice to an interleaved stereo buffer with the gains l and r,
// which move by dl and dr per frame (the ramp of a change): frame j gets
// l + dl * (j + 1). With SSE2, two frames (four samples) at a time.
void AddMonoToStereo(const float* __restrict v, float* __restrict out, unsigned count, float l, float r, float dl,
                     float dr) noexcept {
  unsigned j = 0;
#if defined(__SSE2__)
  __m128 gains = _mm_setr_ps(l + dl, r + dr, l + 2 * dl, r + 2 * dr);
  const __m128 ramp = _mm_setr_ps(2 * dl, 2 * dr, 2 * dl, 2 * dr);
  for (; j + 4 <= count; j += 4) {
    const __m128 four = _mm_loadu_ps(v + j);
    const __m128 firstPair = _mm_unpacklo_ps(four, four);   // v0 v0 v1 v1
    const __m128 secondPair = _mm_unpackhi_ps(four, four);  // v2 v2 v3 v3
    float* o = out + 2 * j;
    _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_mul_ps(firstPair, gains)));
    gains = _mm_add_ps(gains, ramp);
    _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_mul_ps(secondPair, gains)));
    gains = _mm_add_ps(gains, ramp);
  }
#endif
  for (; j < count; ++j) {
    const float t = float(j + 1);
    out[2 * j] += v[j] * (l + dl * t);
    out[2 * j + 1] += v[j] * (r + dr * t);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Set-up and tear-down

std::shared_ptr<Mixer> Mixer::Create(System& system, FMOD_SYSTEM* systemHandle, const DeviceFormat& format,
                                     FMOD_SPEAKERMODE speakerMode, int realVoices) {
  // Not shared yet, so no lock: Init calls this under the system's lock,
  // and the mixer's lock is never taken inside that one (LockDSP holders
  // take them the other way round).
  auto mixer = std::make_shared<Mixer>(system, systemHandle, format, speakerMode, realVoices);
  mixer->master = mixer->NewGroup("ChannelGroup");
  return mixer;
}

Mixer::Mixer(System& system, FMOD_SYSTEM* systemHandle, const DeviceFormat& format, FMOD_SPEAKERMODE speakerMode,
             int realVoices)
    : system(system), systemHandle(systemHandle), format(format), speakerMode(speakerMode), realVoices(realVoices),
      indexUsed(kMaxChannels, 0) {}

Mixer::~Mixer() = default;

void Mixer::Shutdown() {
  std::vector<std::shared_ptr<Channel>> drop;
  std::vector<std::shared_ptr<Group>> dropGroups;
  {
    std::lock_guard lock(mutex);
    for (const auto& channel : channels) channel->state = Channel::State::Ended;
    for (auto* list : {&channels, &finished, &stolen})
      for (const auto& channel : *list) {
        Channels().Remove(channel->handle);
        if (channel->fader) Dsps().Remove(channel->fader->handle);
        drop.push_back(channel);
      }
    channels.clear();
    finished.clear();
    stolen.clear();
    events.clear();
    for (const auto& group : groups) {
      Groups().Remove(group->handle);
      if (group->fader) Dsps().Remove(group->fader->handle);
      if (group->connection) DspConnections().Remove(group->connection->handle);
      group->groups.clear();
      group->channels.clear();
      group->parent = nullptr;
      dropGroups.push_back(group);
    }
    groups.clear();
    master.reset();
  }
}

std::shared_ptr<Group> Mixer::NewGroup(const std::string& name) {
  auto group = std::make_shared<Group>();
  group->mixer = weak_from_this();
  group->systemHandle = systemHandle;
  group->name = name;
  group->fader = NewFader(systemHandle);
  DefaultMatrix(*group, format.channels);
  group->handle = Groups().Add<FMOD_CHANNELGROUP>(group);
  groups.push_back(group);
  if (master) {
    Attach(*group, *master);
  } else {
    group->isMaster = true;
  }
  return group;
}

void Mixer::DefaultMatrix(Control& control, int inChannels) const {
  const int out = format.channels;
  control.matrixOut = out;
  control.matrixIn = inChannels;
  control.matrix.assign(std::size_t(out) * std::size_t(inChannels), 0.0f);
  auto at = [&](int o, int i) -> float& { return control.matrix[std::size_t(o) * std::size_t(inChannels) + i]; };
  if (out == 1) {
    for (int i = 0; i < inChannels; ++i) at(0, i) = 1.0f / float(inChannels);
  } else if (inChannels == 1) {
    at(0, 0) = 1.0f;  // a mono sound plays at its own level on the front pair
    at(1, 0) = 1.0f;
  } else {
    for (int i = 0; i < std::min(inChannels, out); ++i) at(i, i) = 1.0f;
    // Inputs the output lacks fold into the front pair (speaker order:
    // front left, right, centre, LFE, surround left, right, back left,
    // right): centre to both sides, left ones left, right ones right, at
    // -3 dB; the LFE is left out.
    constexpr float kFold = 0.70710678f;
    for (int i = out; i < inChannels; ++i) {
      if (i == 3) continue;
      const bool centre = i == 2 || i >= 8;
      const bool left = !centre && i % 2 == 0;
      if (centre || left) at(0, i) = kFold;
      if (centre || !left) at(1, i) = kFold;
    }
  }
}

void Mixer::PanMatrix(Control& control, float pan) const {
  // The balance law: the far side fades out, the near side stays at full
  // level, so centre is the default mix and nothing is ever boosted.
  const int in = control.isGroup ? format.channels : static_cast<const Channel&>(control).inChannels;
  DefaultMatrix(control, in);
  if (format.channels < 2) return;
  pan = std::clamp(pan, -1.0f, 1.0f);
  const float left = pan > 0 ? 1.0f - pan : 1.0f;
  const float right = pan < 0 ? 1.0f + pan : 1.0f;
  for (int i = 0; i < in; ++i) {
    control.matrix[std::size_t(i)] *= left;
    control.matrix[std::size_t(in) + std::size_t(i)] *= right;
  }
}

// ---------------------------------------------------------------------------
// Channels and groups

FMOD_RESULT Mixer::Play(const std::shared_ptr<Sound>& sound, Group* group, bool paused, FMOD_CHANNEL** out) {
  // A stream feeds one channel: playing it again ends the channel it fed.
  if (sound->IsStream()) {
    std::vector<Channel*> fed;
    for (const auto& other : channels)
      if (other->sound == sound) fed.push_back(other.get());
    for (Channel* other : fed) End(*other, Channel::State::Ended);
  }

  if (int(channels.size()) >= kMaxChannels) {
    Channel* victim = nullptr;
    for (const auto& c : channels)
      if (victim == nullptr || c->priority > victim->priority ||
          (c->priority == victim->priority && c->audibility < victim->audibility))
        victim = c.get();
    if (victim != nullptr) End(*victim, Channel::State::Stolen);
  }

  auto channel = std::make_shared<Channel>();
  const auto freeIndex = std::find(indexUsed.begin(), indexUsed.end(), 0);
  if (freeIndex == indexUsed.end()) return FMOD_ERR_CHANNEL_ALLOC;
  *freeIndex = 1;
  channel->index = int(freeIndex - indexUsed.begin());
  channel->mixer = weak_from_this();
  channel->systemHandle = systemHandle;
  channel->sound = sound;
  channel->inChannels = std::max(1, sound->Channels());
  channel->frequency = sound->DefaultFrequency();
  channel->priority = sound->DefaultPriority();
  channel->paused = paused;
  const std::uint32_t length = sound->LengthFrames();
  channel->loopStart = sound->LoopStart();
  channel->loopEnd = sound->LoopEnd();
  if (length > 0 && (channel->loopEnd == 0 || channel->loopEnd >= length)) channel->loopEnd = length - 1;
  if (channel->loopStart > channel->loopEnd) channel->loopStart = 0;
  channel->loopCount = sound->LoopCount();

  channel->UseMode(sound->Mode());
  spatial::Source& source = channel->source;
  source.minDistance = sound->MinDistance();
  source.maxDistance = sound->MaxDistance();
  source.coneInsideAngle = sound->ConeInsideAngle();
  source.coneOutsideAngle = sound->ConeOutsideAngle();
  source.coneOutsideVolume = sound->ConeOutsideVolume();
  source.customRolloff = sound->CustomRolloff().points;

  DefaultMatrix(*channel, channel->inChannels);
  channel->frameA.assign(std::size_t(channel->inChannels), 0.0f);
  channel->frameB.assign(std::size_t(channel->inChannels), 0.0f);
  channel->fader = NewFader(systemHandle);
  if (sound->IsStream()) {
    sound->SetStreamLoop(channel->mode & (FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI), channel->loopStart,
                         channel->loopEnd, channel->loopCount);
    sound->SeekStream(0);
  }
  channel->handle = Channels().Add<FMOD_CHANNEL>(channel);
  Attach(*channel, group != nullptr ? *group : *master);
  channel->serial = nextSerial_++;
  channels.push_back(channel);
  // Whether the new channel gets a real voice is known at once.
  ChooseVoices();
  if (out != nullptr) *out = channel->handle;
  return FMOD_OK;
}

void Mixer::End(Channel& channel, Channel::State why) {
  if (!channel.Active()) return;
  channel.state = why;
  if (channel.parent != nullptr) Erase(channel.parent->channels, &channel);
  if (channel.index >= 0 && channel.index < kMaxChannels) indexUsed[std::size_t(channel.index)] = 0;
  auto it = std::find_if(channels.begin(), channels.end(), [&](const auto& c) { return c.get() == &channel; });
  if (it == channels.end()) return;
  std::shared_ptr<Channel> owner = *it;
  channels.erase(it);
  if (why == Channel::State::Stolen) {
    stolen.push_back(owner);
    if (stolen.size() > kStolenKept) {
      finished.push_back(stolen.front());
      stolen.erase(stolen.begin());
    }
  } else {
    Queue(channel, FMOD_CHANNELCONTROL_CALLBACK_END, 0);
    finished.push_back(owner);
  }
}

void Mixer::Attach(Channel& channel, Group& group) {
  if (channel.parent == &group) return;
  if (channel.parent != nullptr) Erase(channel.parent->channels, &channel);
  channel.parent = &group;
  group.channels.push_back(&channel);
}

bool Mixer::Attach(Group& group, Group& parent) {
  for (const Group* g = &parent; g != nullptr; g = g->parent)
    if (g == &group) return false;
  Detach(group);
  group.parent = &parent;
  parent.groups.push_back(&group);
  return true;
}

void Mixer::Detach(Group& group) {
  if (group.parent != nullptr) Erase(group.parent->groups, &group);
  group.parent = nullptr;
}

void Mixer::StopBelow(Group& group) {
  const std::vector<Channel*> below = group.channels;
  for (Channel* channel : below) End(*channel, Channel::State::Ended);
  for (Group* child : std::vector<Group*>(group.groups)) StopBelow(*child);
}

void Mixer::ReleaseGroup(Group& group) {
  for (Channel* channel : std::vector<Channel*>(group.channels)) Attach(*channel, *master);
  for (Group* child : std::vector<Group*>(group.groups)) Attach(*child, *master);
  Detach(group);
  Groups().Remove(group.handle);
  if (group.fader) Dsps().Remove(group.fader->handle);
  if (group.connection) DspConnections().Remove(group.connection->handle);
  auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.get() == &group; });
  if (it != groups.end()) {
    // The group object may still be referenced by a call in flight; the
    // finished list's owner-drop happens on an API thread anyway.
    groups.erase(it);
  }
}

void Mixer::CountPlaying(int& all, int& real) const {
  all = 0;
  real = 0;
  for (const auto& channel : channels) {
    if (!channel->Active()) continue;
    ++all;
    if (!channel->isVirtual) ++real;
  }
}

bool Mixer::IsPlayingBelow(const Group& group) const {
  if (!group.channels.empty()) return true;
  for (const Group* child : group.groups)
    if (IsPlayingBelow(*child)) return true;
  return false;
}

void Mixer::Collect(std::vector<ControlEvent>& out, std::vector<std::shared_ptr<Channel>>& drop) {
  out.swap(events);
  events.clear();
  drop.swap(finished);
  finished.clear();
}

void Mixer::Forget(const std::vector<std::shared_ptr<Channel>>& ended) {
  for (const auto& channel : ended) {
    Channels().Remove(channel->handle);
    if (channel->fader) Dsps().Remove(channel->fader->handle);
  }
}

void Mixer::Queue(Control& control, FMOD_CHANNELCONTROL_CALLBACK_TYPE type, std::intptr_t data1) {
  if (control.callback == nullptr) return;
  FMOD_CHANNELCONTROL* handle =
      control.isGroup ? reinterpret_cast<FMOD_CHANNELCONTROL*>(static_cast<Group&>(control).handle)
                      : reinterpret_cast<FMOD_CHANNELCONTROL*>(static_cast<Channel&>(control).handle);
  events.push_back({handle, control.isGroup ? FMOD_CHANNELCONTROL_CHANNELGROUP : FMOD_CHANNELCONTROL_CHANNEL,
                    control.callback, type, data1});
}

// ---------------------------------------------------------------------------
// Rendering

void Mixer::Window(const Control& control, unsigned frames, unsigned& from, unsigned& to, bool& ends) const {
  from = 0;
  to = frames;
  ends = false;
  if (control.delayStart > clock) from = unsigned(std::min<std::uint64_t>(frames, control.delayStart - clock));
  if (control.delayEnd != 0 && control.delayEnd < clock + frames) {
    ends = true;
    to = control.delayEnd > clock ? unsigned(control.delayEnd - clock) : 0;
    to = std::max(to, from);
  }
}

float Mixer::Audibility(const Channel& channel, float above) const {
  if (channel.mute) return 0.0f;
  return channel.volume * channel.FadeAt(clock) * channel.attenuation * above;
}

void Mixer::ChooseVoices() {
  // Audibility of every channel: its own level times its groups'.
  struct Walk {
    const Mixer& mixer;
    void operator()(Group& group, float above) const {
      const float level = group.mute ? 0.0f : above * group.volume * group.FadeAt(mixer.clock);
      for (Channel* channel : group.channels) channel->audibility = mixer.Audibility(*channel, level);
      for (Group* child : group.groups) (*this)(*child, level);
    }
  };
  Walk{*this}(*master, 1.0f);

  const bool tooMany = int(channels.size()) > realVoices;
  std::vector<Channel*>& order = voiceOrder_;
  order.clear();
  for (const auto& channel : channels) order.push_back(channel.get());
  // The most important first: priority, then audibility, then age, so the
  // choice is the same from block to block when nothing changes.
  if (tooMany)
    std::nth_element(order.begin(), order.begin() + realVoices, order.end(), [](const Channel* a, const Channel* b) {
      if (a->priority != b->priority) return a->priority < b->priority;
      if (a->audibility != b->audibility) return a->audibility > b->audibility;
      return a->serial < b->serial;
    });
  for (std::size_t i = 0; i < order.size(); ++i) {
    Channel& channel = *order[i];
    const bool virtualNow = tooMany && int(i) >= realVoices;
    if (virtualNow != channel.isVirtual) {
      channel.isVirtual = virtualNow;
      if (!virtualNow && (channel.mode & FMOD_VIRTUAL_PLAYFROMSTART)) {
        channel.readPos = 0;
        channel.backwards = false;
        channel.started = false;
        channel.phase = 0;
        if (channel.sound->IsStream()) channel.sound->SeekStream(0);
      }
      Queue(channel, FMOD_CHANNELCONTROL_CALLBACK_VIRTUALVOICE, virtualNow ? 1 : 0);
    }
  }
}

std::uint32_t Mixer::Pull(Channel& channel, float* out, std::uint32_t count) {
  Sound& sound = *channel.sound;
  const int width = channel.inChannels;
  if (sound.IsStream()) {
    const std::uint64_t before = sound.StreamPosition();
    std::uint32_t got = sound.ReadFrames(0, out, count);
    segments_.push_back({0, std::int64_t(before), false});
    if (got < count) {
      if (sound.EndOfStream()) {
        channel.sourceEnded = true;
      } else {  // the stream thread is behind: play silence, keep going
        std::fill(out + std::size_t(got) * width, out + std::size_t(count) * width, 0.0f);
        got = count;
      }
    }
    return got;
  }

  const float* data = sound.samples_.data();
  const std::int64_t length = std::int64_t(sound.LengthFrames());
  const bool bidi = (channel.mode & FMOD_LOOP_BIDI) && channel.loopEnd > channel.loopStart + 1;
  std::uint32_t got = 0;
  while (got < count) {
    const bool looping = Loops(channel.mode) && channel.loopCount != 0;
    if (!channel.backwards) {
      const std::int64_t end = looping ? std::min<std::int64_t>(std::int64_t(channel.loopEnd) + 1, length) : length;
      if (channel.readPos >= end) {
        if (!looping || end <= 0) {
          channel.sourceEnded = true;
          break;
        }
        if (bidi) {
          channel.backwards = true;
          channel.readPos = end - 2;
        } else {
          channel.readPos = channel.loopStart;
          if (channel.loopCount > 0) --channel.loopCount;
        }
        continue;
      }
      const std::uint32_t n = std::uint32_t(std::min<std::int64_t>(count - got, end - channel.readPos));
      std::memcpy(out + std::size_t(got) * width, data + std::size_t(channel.readPos) * width,
                  sizeof(float) * n * std::size_t(width));
      segments_.push_back({got, channel.readPos, false});
      channel.readPos += n;
      got += n;
    } else {
      if (channel.readPos < std::int64_t(channel.loopStart)) {
        channel.backwards = false;
        channel.readPos = std::int64_t(channel.loopStart) + 1;
        if (channel.loopCount > 0) --channel.loopCount;
        continue;
      }
      segments_.push_back({got, channel.readPos, true});
      while (got < count && channel.readPos >= std::int64_t(channel.loopStart)) {
        std::memcpy(out + std::size_t(got) * width, data + std::size_t(channel.readPos) * width,
                    sizeof(float) * std::size_t(width));
        --channel.readPos;
        ++got;
      }
    }
  }
  return got;
}

const float* Mixer::Contiguous(const Channel& channel, std::uint32_t need) const {
  const Sound& sound = *channel.sound;
  if (sound.IsStream() || !channel.started || channel.sourceEnded || channel.backwards) return nullptr;
  if (channel.positionA + 1 != channel.positionB || std::int64_t(channel.positionB) + 1 != channel.readPos)
    return nullptr;
  const std::int64_t length = std::int64_t(sound.LengthFrames());
  const bool looping = Loops(channel.mode) && channel.loopCount != 0;
  const std::int64_t end = looping ? std::min<std::int64_t>(std::int64_t(channel.loopEnd) + 1, length) : length;
  if (channel.readPos + std::int64_t(need) > end) return nullptr;
  return sound.samples_.data() + std::size_t(channel.positionA) * std::size_t(channel.inChannels);
}

std::uint64_t Mixer::SourceOf(const Channel& channel, std::uint32_t index) const {
  // Index 0 and 1 are the frames the block started with; pulled frames follow.
  if (index == 0) return channel.positionA;
  if (index == 1) return channel.positionB;
  const std::uint32_t pulled = index - 2;
  const Segment* segment = nullptr;
  for (const Segment& s : segments_)
    if (s.at <= pulled) segment = &s;
  if (segment == nullptr) return channel.positionB;
  const std::int64_t offset = std::int64_t(pulled - segment->at);
  return std::uint64_t(std::max<std::int64_t>(0, segment->backwards ? segment->source - offset
                                                                    : segment->source + offset));
}

void Mixer::RenderChannel(Channel& channel, Group& into, unsigned frames, float pitchAbove) {
  Sound& sound = *channel.sound;
  const int width = channel.inChannels;
  const int outWidth = format.channels;
  unsigned from, to;
  bool ends;
  Window(channel, frames, from, to, ends);
  const unsigned n = to - from;
  // The frames a channel starts on are pulled before the block; their
  // source range is kept so that sync points on them fire too.
  std::int64_t primedFrom = -1;
  std::uint32_t primedCount = 0;
  if (n > 0 && !channel.started) {
    segments_.clear();
    float first[2 * FMOD_MAX_CHANNEL_WIDTH] = {};
    const std::uint32_t got = Pull(channel, first, 2);
    if (!segments_.empty() && !segments_.front().backwards) {
      primedFrom = segments_.front().source;
      primedCount = segments_.size() == 1 ? got : 1;
    }
    std::copy(first, first + width, channel.frameA.begin());
    std::copy(first + width, first + 2 * width, channel.frameB.begin());
    channel.positionA = segments_.empty() ? 0 : SourceOf(channel, 2);
    channel.positionB = got > 1 ? SourceOf(channel, 3) : channel.positionA;
    channel.realFrames = int(got);
    channel.started = true;
  }

  // 3D: the pan (its 3D level is applied below, against the 2D mix
  // matrix), the attenuation, doppler and low-pass.
  spatial::Result space3D;
  if (channel.source.is3D) space3D = spatial::Evaluate(space, channel.source, speakerMode, outWidth);
  channel.attenuation = space3D.attenuation;
  const float level3D = channel.source.is3D ? std::clamp(channel.source.level, 0.0f, 1.0f) : 0.0f;

  bool finishedNow = false;
  if (n > 0) {
    // The play position advances in fixed point, 32 bits of fraction, so
    // that every block lands exactly where the one before ended.
    double step = double(channel.frequency) * channel.pitch * pitchAbove * space3D.pitchFactor / format.sampleRate;
    if (!(step >= 0.0)) step = 0.0;  // NaN (an infinite pitch times zero) plays nothing rather than anything
    step = std::min(step, 256.0);
    const std::uint64_t increment = std::uint64_t(step * 4294967296.0 + 0.5);
    const std::uint64_t endFixed = std::uint64_t(channel.phase) + std::uint64_t(n) * increment;
    const std::uint32_t need = std::uint32_t(endFixed >> 32);
    segments_.clear();
    std::uint32_t got = 0;
    const float* s = Contiguous(channel, need);
    if (s != nullptr) {
      // The frames lie in one run of the sample, A and B included: read
      // them where they are.
      segments_.push_back({0, channel.readPos, false});
      channel.readPos += need;
      got = need;
    } else {
      // Buffers only grow: resizing down and up again would clear them each time.
      const std::size_t scratchSize = (std::size_t(need) + 2) * width;
      if (scratch_.size() < scratchSize) scratch_.resize(scratchSize);
      std::copy(channel.frameA.begin(), channel.frameA.end(), scratch_.begin());
      std::copy(channel.frameB.begin(), channel.frameB.end(), scratch_.begin() + width);
      got = channel.sourceEnded ? 0 : Pull(channel, scratch_.data() + 2 * width, need);
      if (got < need) std::fill(scratch_.begin() + (2 + std::size_t(got)) * width, scratch_.begin() + scratchSize, 0.0f);
      s = scratch_.data();
    }
    const std::int64_t real = channel.sourceEnded ? channel.realFrames + std::int64_t(got) : INT64_MAX;

    // Output frames before the position passes the last real source frame.
    unsigned produced = n;
    if (real != INT64_MAX) {
      const std::uint64_t limit = std::uint64_t(std::max<std::int64_t>(real, 0)) << 32;
      if (channel.phase >= limit) produced = 0;
      else if (increment > 0)
        produced = unsigned(std::min<std::uint64_t>(n, (limit - channel.phase + increment - 1) / increment));
    }

    // Sync points passed in this block.
    if (channel.callback != nullptr && !sound.SyncPoints().points.empty()) {
      const auto& points = sound.SyncPoints().points;
      for (std::uint32_t i = 0; i < points.size(); ++i) {
        const std::uint64_t offset = points[i].offset;
        for (std::size_t g = 0; g < segments_.size(); ++g) {
          const std::uint32_t segEnd = g + 1 < segments_.size() ? segments_[g + 1].at : got;
          const std::int64_t len = std::int64_t(segEnd) - segments_[g].at;
          const std::int64_t lo = segments_[g].backwards ? segments_[g].source - len + 1 : segments_[g].source;
          if (std::int64_t(offset) >= lo && std::int64_t(offset) < lo + len)
            Queue(channel, FMOD_CHANNELCONTROL_CALLBACK_SYNCPOINT, i);
        }
        if (primedFrom >= 0 && std::int64_t(offset) >= primedFrom && std::int64_t(offset) < primedFrom + primedCount)
          Queue(channel, FMOD_CHANNELCONTROL_CALLBACK_SYNCPOINT, i);
      }
    }

    const std::uint64_t startPhase = channel.phase;
    if (produced < n || real - std::int64_t(need) <= 0) {
      finishedNow = true;
    } else {
      std::copy(s + std::size_t(need) * width, s + std::size_t(need + 1) * width, channel.frameA.begin());
      std::copy(s + std::size_t(need + 1) * width, s + std::size_t(need + 2) * width, channel.frameB.begin());
      const std::uint64_t a = SourceOf(channel, need);
      const std::uint64_t b = SourceOf(channel, need + 1);
      channel.positionA = a;
      channel.positionB = b;
      channel.phase = std::uint32_t(endFixed);
      if (channel.sourceEnded) channel.realFrames = int(std::clamp<std::int64_t>(real - std::int64_t(need), 0, 2));
    }

    if (!channel.isVirtual && produced > 0) {
      // Gains: mix matrix times volume times 3D, ramped from the last block.
      const float volume = channel.mute ? 0.0f : channel.volume;
      const std::size_t count = std::size_t(outWidth) * width;
      gains_.resize(count);
      for (int o = 0; o < outWidth; ++o)
        for (int i = 0; i < width; ++i) {
          float g = channel.matrix[std::size_t(o) * width + i];
          if (channel.source.is3D) {
            // Blend the 2D mix with the 3D pan, which takes every input
            // (folded to mono) to the speakers around the source.
            const float pan = o < spatial::kMaxSpeakers ? space3D.panGains[o] : 0.0f;
            g = ((1.0f - level3D) * g + level3D * pan / float(width)) * space3D.attenuation;
          }
          g *= volume;
          gains_[std::size_t(o) * width + i] = g;
        }
      if (!channel.primed || !channel.volumeRamp || channel.lastGains.size() != count) {
        channel.lastGains = gains_;
        channel.primed = true;
      }
      float* out = into.buffer.data() + std::size_t(from) * outWidth;
      const float inverse = 1.0f / float(n);
      constexpr float kFraction = 1.0f / 4294967296.0f;
      const float lowpass = channel.lowPassGain * space3D.lowpassGain;
      const bool plain = lowpass >= 0.999f && channel.fades.empty();

      if (plain && width == 1 && outWidth == 2) {
        // The common case: interpolate into the voice buffer (the loads
        // follow the position, so this pass stays scalar), then add it to
        // both sides in a loop the compiler vectorises.
        if (voice_.size() < produced) voice_.resize(produced);
        float* __restrict v = voice_.data();
        LerpMono(s, startPhase, increment, v, produced);
        const float l0 = channel.lastGains[0], r0 = channel.lastGains[1];
        AddMonoToStereo(v, out, produced, l0, r0, (gains_[0] - l0) * inverse, (gains_[1] - r0) * inverse);
      } else if (plain && width == 2 && outWidth == 2) {
        float g[4], d[4];
        for (int q = 0; q < 4; ++q) {
          g[q] = channel.lastGains[q];
          d[q] = (gains_[q] - g[q]) * inverse;
        }
        std::uint64_t p = startPhase;
        for (unsigned j = 0; j < produced; ++j, p += increment) {
          const std::size_t k = std::size_t(p >> 32) * 2;
          const float f = float(std::uint32_t(p)) * kFraction;
          const float vl = s[k] + (s[k + 2] - s[k]) * f;
          const float vr = s[k + 1] + (s[k + 3] - s[k + 1]) * f;
          for (int q = 0; q < 4; ++q) g[q] += d[q];
          out[2 * j] += vl * g[0] + vr * g[1];
          out[2 * j + 1] += vl * g[2] + vr * g[3];
        }
      } else {
        // Any layout: resample into the voice buffer, filter, fade, mix.
        if (voice_.size() < std::size_t(n) * width) voice_.resize(std::size_t(n) * width);
        std::uint64_t p = startPhase;
        for (unsigned j = 0; j < produced; ++j, p += increment) {
          const float f = float(std::uint32_t(p)) * kFraction;
          const float* a = s + std::size_t(p >> 32) * width;
          const float* b = a + width;
          float* v = voice_.data() + std::size_t(j) * width;
          for (int c = 0; c < width; ++c) v[c] = a[c] + (b[c] - a[c]) * f;
        }
        if (lowpass < 0.999f) {
          // One pole, its corner from 20 Hz (gain 0) to 20 kHz (gain 1).
          const float corner = 20.0f * std::pow(1000.0f, std::clamp(lowpass, 0.0f, 1.0f));
          const float a = 1.0f - std::exp(-2.0f * 3.14159265f * corner / float(format.sampleRate));
          for (unsigned j = 0; j < produced; ++j)
            for (int c = 0; c < width; ++c) {
              float& y = channel.lowpassState[c];
              y += a * (voice_[std::size_t(j) * width + c] - y);
              voice_[std::size_t(j) * width + c] = lowpass <= 0.0f ? 0.0f : y;
            }
        }
        if (!channel.fades.empty())
          for (unsigned j = 0; j < produced; ++j) {
            const float e = channel.FadeAt(clock + from + j);
            for (int c = 0; c < width; ++c) voice_[std::size_t(j) * width + c] *= e;
          }
        const float* v = voice_.data();
        for (unsigned j = 0; j < produced; ++j) {
          const float t = float(j + 1) * inverse;
          for (int o = 0; o < outWidth; ++o) {
            float sum = 0.0f;
            for (int i = 0; i < width; ++i) {
              const std::size_t q = std::size_t(o) * width + i;
              sum += v[std::size_t(j) * width + i] * (channel.lastGains[q] + (gains_[q] - channel.lastGains[q]) * t);
            }
            out[std::size_t(j) * outWidth + o] += sum;
          }
        }
      }
      channel.lastGains = gains_;
    }
  }
  if (finishedNow || (ends && channel.delayStops))
    ending_.push_back(&channel);
}

void Mixer::MixGroup(Group& group, float* out, unsigned frames) {
  // Adds a group's block into its parent's (or the output), through the
  // group's own matrix, volume and fade points, ramped from the last block.
  const int width = format.channels;
  unsigned from, to;
  bool ends;
  Window(group, frames, from, to, ends);
  const float volume = group.mute ? 0.0f : group.volume;
  const std::size_t count = std::size_t(width) * width;
  gains_.resize(count);
  bool identity = true;
  for (std::size_t q = 0; q < count; ++q) {
    gains_[q] = group.matrix[q] * volume;
    const bool diagonal = q / width == q % width;
    if (group.matrix[q] != (diagonal ? 1.0f : 0.0f)) identity = false;
  }
  if (!group.primed || !group.volumeRamp || group.lastGains.size() != count) {
    group.lastGains = gains_;
    group.primed = true;
  }
  const bool ramps = group.lastGains != gains_;
  const float inverse = 1.0f / float(std::max(1u, to - from));
  const float* in = group.buffer.data();
  for (unsigned j = from; j < to; ++j) {
    const float fade = group.fades.empty() ? 1.0f : group.FadeAt(clock + j);
    const float t = float(j - from + 1) * inverse;
    if (identity && !ramps) {
      const float g = volume * fade;
      for (int o = 0; o < width; ++o) out[std::size_t(j) * width + o] += in[std::size_t(j) * width + o] * g;
      continue;
    }
    for (int o = 0; o < width; ++o) {
      float sum = 0.0f;
      for (int i = 0; i < width; ++i) {
        const std::size_t q = std::size_t(o) * width + i;
        sum += in[std::size_t(j) * width + i] * (group.lastGains[q] + (gains_[q] - group.lastGains[q]) * t);
      }
      out[std::size_t(j) * width + o] += sum * fade;
    }
  }
  group.lastGains = gains_;
  if (ends && group.delayStops) StopBelow(group);
}

void Mixer::RenderGroup(Group& group, unsigned frames, float pitchAbove) {
  group.buffer.assign(std::size_t(frames) * format.channels, 0.0f);
  for (Channel* channel : group.channels)
    if (!channel->paused) RenderChannel(*channel, group, frames, pitchAbove);
  for (Group* child : group.groups) {
    // A paused group holds everything below it; so does one whose delay
    // has not begun by the end of this block.
    if (child->paused || child->delayStart >= clock + frames) continue;
    RenderGroup(*child, frames, pitchAbove * child->pitch);
    MixGroup(*child, group.buffer.data(), frames);
  }
}

void Mixer::Render(float* interleaved, unsigned frames) noexcept {
  std::lock_guard lock(mutex);
  std::fill(interleaved, interleaved + std::size_t(frames) * format.channels, 0.0f);
  if (!master) return;
  try {
    ending_.clear();
    // A released sound ends its channels, paused ones included. (The
    // channel's own reference keeps the sound's data alive meanwhile, so a
    // release during this block is simply seen by the next.)
    for (const auto& channel : channels)
      if (channel->sound->released.load(std::memory_order_acquire)) ending_.push_back(channel.get());
    for (Channel* channel : ending_) End(*channel, Channel::State::Ended);
    ending_.clear();
    ChooseVoices();
    if (!master->paused) {
      RenderGroup(*master, frames, master->pitch);
      MixGroup(*master, interleaved, frames);
    }
    for (Channel* channel : ending_) End(*channel, Channel::State::Ended);
    ending_.clear();
  } catch (...) {
    // Only allocation can throw here; a block of silence is the answer.
    log::Error("mixer", "a block could not be mixed");
  }
  clock += frames;
}

// ---------------------------------------------------------------------------
// Lookups

FMOD_RESULT LockChannel(FMOD_CHANNEL* handle, Locked<Channel>& out, bool endedToo) {
  out.object = Channels().Find(handle);
  if (!out.object) return FMOD_ERR_INVALID_HANDLE;
  out.mixer = out.object->mixer.lock();
  if (!out.mixer) return FMOD_ERR_INVALID_HANDLE;
  out.lock = std::unique_lock(out.mixer->mutex);
  switch (out.object->state) {
    case Channel::State::Playing: return FMOD_OK;
    case Channel::State::Stolen: return FMOD_ERR_CHANNEL_STOLEN;
    case Channel::State::Ended: return endedToo ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
    default: return FMOD_ERR_INVALID_HANDLE;
  }
}

FMOD_RESULT LockGroup(FMOD_CHANNELGROUP* handle, Locked<Group>& out) {
  out.object = Groups().Find(handle);
  if (!out.object) return FMOD_ERR_INVALID_HANDLE;
  out.mixer = out.object->mixer.lock();
  if (!out.mixer) return FMOD_ERR_INVALID_HANDLE;
  out.lock = std::unique_lock(out.mixer->mutex);
  // A group released while this call waited for the lock is gone.
  if (!Groups().Find(handle)) return FMOD_ERR_INVALID_HANDLE;
  return FMOD_OK;
}

}  // namespace sonvel::engine
