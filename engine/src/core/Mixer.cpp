// The mixer: applies the API's commands, chooses the real voices, renders
// the graph from the master group's head down (each unit once per block,
// after its inputs) and reports back.
#include "Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "Builtins.h"
#include "Kernels.h"

namespace sonvel::engine::core {

// ---------------------------------------------------------------------------
// The lock

void RenderLock::Lock() noexcept {
  if (HeldHere()) {
    ++depth_;
    return;
  }
  mutex_.lock();
  owner_.store(std::this_thread::get_id(), std::memory_order_release);
  depth_ = 1;
}

bool RenderLock::TryLock() noexcept {
  if (HeldHere()) {
    ++depth_;
    return true;
  }
  if (!mutex_.try_lock()) return false;
  owner_.store(std::this_thread::get_id(), std::memory_order_release);
  depth_ = 1;
  return true;
}

bool RenderLock::Unlock() noexcept {
  if (!HeldHere() || depth_ == 0) return false;
  if (--depth_ == 0) {
    owner_.store(std::thread::id(), std::memory_order_release);
    mutex_.unlock();
  }
  return true;
}

namespace {

// Whether the graph's walk renders a connection's input before its output.
bool RenderedFirst(const Connection& c) noexcept { return c.Executes() && c.render.fused == nullptr; }

// Frames a voice pulls at most for one stretch of its output; bounds the
// scratch whatever the pitch.
constexpr std::uint32_t kSpanFrames = 8192;

// Denormal floats flushed to zero for the length of a block (and the
// caller's setting put back after, for the outputs that mix on update).
struct DenormalsOff {
#if defined(__SSE__)
  unsigned saved = _mm_getcsr();
  DenormalsOff() noexcept { _mm_setcsr(saved | 0x8040); }  // flush to zero, denormals are zero
  ~DenormalsOff() { _mm_setcsr(saved); }
#endif
};

// A channel's gains from a signal of `in` channels to the software format's
// `out`: its mix matrix, blended with the 3D pan, times its volume.
void ChannelGains(const ControlSettings& s, int in, int out, float* g) noexcept {
  const float faderGain = s.faderGain;
  const bool own = s.matrixIn == in && s.matrixOut == out && s.matrix.size() >= std::size_t(in) * std::size_t(out);
  if (own) std::copy(s.matrix.begin(), s.matrix.begin() + std::ptrdiff_t(in) * out, g);
  else DefaultMatrix(g, out, in);
  const float volume = (s.mute ? 0.0f : s.volume) * faderGain;
  const Placement& p = s.placement;
  const float level = std::clamp(p.level, 0.0f, 1.0f);
  for (int o = 0; o < out; ++o)
    for (int i = 0; i < in; ++i) {
      float& q = g[std::size_t(o) * in + i];
      if (p.enabled) {
        // The 3D pan takes every input (folded to mono) to the speakers
        // around the source.
        const float pan = o < spatial::kMaxSpeakers ? p.pan[o] : 0.0f;
        q = ((1.0f - level) * q + level * pan / float(in)) * p.attenuation;
      }
      q *= volume;
    }
}

// A group's gains: its matrix (software format to itself) times its volume.
void GroupGains(const ControlSettings& s, int width, float* g) noexcept {
  const float faderGain = s.faderGain;
  const bool own = s.matrixIn == width && s.matrixOut == width &&
                   s.matrix.size() >= std::size_t(width) * std::size_t(width);
  if (own) std::copy(s.matrix.begin(), s.matrix.begin() + std::ptrdiff_t(width) * width, g);
  else DefaultMatrix(g, width, width);
  const float volume = (s.mute ? 0.0f : s.volume) * faderGain;
  for (int q = 0; q < width * width; ++q) g[q] *= volume;
}

// A connection's gains from its input's `in` channels to its output's `out`.
void ConnectionGains(const ConnectionSettings& s, int in, int out, Layout layout, float* g) noexcept {
  if (s.matrix.empty() && in == out && layout == Layout::Speakers) {
    // The usual case: the same layout on both ends, each channel to itself.
    std::fill(g, g + std::size_t(out) * std::size_t(in), 0.0f);
    for (int c = 0; c < in; ++c) g[std::size_t(c) * in + c] = s.mix;
    return;
  }
  if (s.matrix.empty()) {
    DefaultMatrix(g, out, in, layout);
  } else {
    std::fill(g, g + std::size_t(out) * std::size_t(in), 0.0f);
    for (int o = 0; o < std::min(out, s.matrixOut); ++o)
      for (int i = 0; i < std::min(in, s.matrixIn); ++i)
        g[std::size_t(o) * in + i] = s.matrix[std::size_t(o) * s.matrixIn + i];
  }
  for (int q = 0; q < out * in; ++q) g[q] *= s.mix;
}


}  // namespace

// ---------------------------------------------------------------------------
// Set-up

Mixer::Mixer(const Format& format, int realVoices, const Limits& limits)
    : format(format), realVoices(realVoices), limits(limits), commands(limits.commands),
      ends(std::size_t(limits.channels) + 4096), notices(limits.notices) {
  channels_.assign(std::size_t(limits.channels), nullptr);
  order_.assign(std::size_t(limits.channels), nullptr);
  stack_.assign(std::size_t(limits.units) + 1, Frame{nullptr, nullptr});
  prepare_.assign(std::size_t(limits.units) + 1, nullptr);
  const std::size_t block = std::size_t(format.blockFrames) * kMaxWidth;
  accumulate_.assign(block, 0.0f);
  side_.assign(block, 0.0f);
  transition_.assign(block, 0.0f);
  voiceOut_.assign(block, 0.0f);
  pulled_.assign((std::size_t(kSpanFrames) + 2) * kMaxWidth, 0.0f);
  segments_.assign(std::size_t(kSpanFrames) + 4, Segment{0, 0, false});
}

Mixer::~Mixer() = default;

// ---------------------------------------------------------------------------
// Commands

void Mixer::Link(Connection& c, Unit& input, Unit& output, bool rampIn) noexcept {
  if (c.render.linked) Unlink(c);
  c.render.input = &input;
  c.render.output = &output;
  c.render.previous = output.render.lastInput;
  c.render.next = nullptr;
  if (output.render.lastInput != nullptr) output.render.lastInput->render.next = &c;
  else output.render.firstInput = &c;
  output.render.lastInput = &c;
  if (RenderedFirst(c)) ++output.render.rendered;
  c.render.linked = true;
  c.render.fadingOut = false;
  // Ramping in from silence: primed with zero gains.
  c.render.primed = rampIn;
  if (rampIn) {
    std::fill(c.render.lastGains.begin(), c.render.lastGains.end(), 0.0f);
    c.render.rows = -1;  // any shape
  }
}

void Mixer::Unlink(Connection& c) noexcept {
  if (!c.render.linked) return;
  Unit& output = *c.render.output;
  if (c.render.previous != nullptr) c.render.previous->render.next = c.render.next;
  else output.render.firstInput = c.render.next;
  if (c.render.next != nullptr) c.render.next->render.previous = c.render.previous;
  else output.render.lastInput = c.render.previous;
  c.render.previous = c.render.next = nullptr;
  if (RenderedFirst(c)) --output.render.rendered;
  c.render.linked = false;
  if (c.render.fadingOut) {
    // Out of the fading list too.
    for (Connection** at = &fading_; *at != nullptr; at = &(*at)->render.nextFading)
      if (*at == &c) {
        *at = c.render.nextFading;
        break;
      }
    c.render.fadingOut = false;
  }
}

bool Mixer::Apply(const Command& command) noexcept {
  switch (command.op) {
    case Command::Op::AddChannel: {
      auto* channel = static_cast<Channel*>(command.a);
      if (channelCount_ >= channels_.size()) break;  // the graph never sends more than the limit
      channel->channelRender.slot = channelCount_;
      channels_[channelCount_++] = channel;
      break;
    }
    case Command::Op::RemoveChannel: {
      auto* channel = static_cast<Channel*>(command.a);
      const std::size_t slot = channel->channelRender.slot;
      if (slot < channelCount_ && channels_[slot] == channel) {
        channels_[slot] = channels_[--channelCount_];
        channels_[slot]->channelRender.slot = slot;
        channels_[channelCount_] = nullptr;
      }
      break;
    }
    case Command::Op::Link:
      Link(*static_cast<Connection*>(command.a), *static_cast<Unit*>(command.b), *static_cast<Unit*>(command.c),
           command.x != 0);
      break;
    case Command::Op::Unlink: Unlink(*static_cast<Connection*>(command.a)); break;
    case Command::Op::FadeOut: {
      auto* c = static_cast<Connection*>(command.a);
      if (c->render.linked && !c->render.fadingOut) {
        c->render.fadingOut = true;
        c->render.nextFading = fading_;
        fading_ = c;
      }
      break;
    }
    case Command::Op::Transition: {
      auto* unit = static_cast<Unit*>(command.a);
      if (command.x != 0) unit->render.transition = 0.0f;
      unit->render.transitionTarget = command.x != 0 ? 1.0f : 0.0f;
      break;
    }
    case Command::Op::Barrier: held_ = true; return false;
    case Command::Op::SetParent:
      static_cast<Control*>(command.a)->render.parent = static_cast<Group*>(command.b);
      break;
    case Command::Op::SetSource: static_cast<Unit*>(command.a)->render.source = static_cast<Channel*>(command.b); break;
    case Command::Op::SetFused: {
      auto* channel = static_cast<Channel*>(command.b);
      static_cast<Unit*>(command.a)->render.fused = channel;
      if (auto* c = static_cast<Connection*>(command.c)) {
        // Linked, it moves between the inputs its output renders first and
        // the ones it does not.
        const bool linked = c->render.linked;
        if (linked && RenderedFirst(*c)) --c->render.output->render.rendered;
        c->render.fused = channel;
        if (linked && RenderedFirst(*c)) ++c->render.output->render.rendered;
      }
      break;
    }
    case Command::Op::SetGate: static_cast<Unit*>(command.a)->render.gate = static_cast<Control*>(command.b); break;
    case Command::Op::SetOutput: output_ = static_cast<Unit*>(command.a); break;
    case Command::Op::SwapBuffer: {
      auto* unit = static_cast<Unit*>(command.a);
      unit->render.out.swap(*static_cast<std::vector<float>*>(command.b));
      unit->render.capacity = int(command.x);
      break;
    }
    case Command::Op::SwapGains: {
      auto* c = static_cast<Connection*>(command.a);
      c->render.lastGains.swap(*static_cast<std::vector<float>*>(command.b));
      c->render.primed = false;
      break;
    }
    case Command::Op::Seek: {
      auto* channel = static_cast<Channel*>(command.a);
      Voice& v = channel->channelRender.voice;
      v.readPos = std::int64_t(command.x);
      v.backwards = false;
      v.started = false;
      v.sourceEnded = false;
      v.phase = 0;
      v.positionA = command.x;
      if (channel->sound != nullptr && channel->sound->stream) channel->sound->stream->Seek(command.x);
      channel->position.store(command.x, std::memory_order_release);
      break;
    }
    case Command::Op::SetLoop: {
      Voice& v = static_cast<Channel*>(command.a)->channelRender.voice;
      v.loopStart = std::uint32_t(command.x);
      v.loopEnd = std::uint32_t(command.y);
      v.loopCount = command.z;
      v.loopMode = command.w;
      break;
    }
    case Command::Op::ResetUnit: static_cast<Unit*>(command.a)->processor->Reset(); break;
    case Command::Op::SetUnitPosition:
      static_cast<Unit*>(command.a)->processor->SetPosition(unsigned(command.x));
      break;
  }
  return true;
}

void Mixer::ApplyCommands() noexcept {
  Command command;
  while (commands.Pop(command))
    if (command.op != Command::Op::Barrier) Apply(command);
}

// ---------------------------------------------------------------------------
// The control tree

void Mixer::Prepare(Control& control) noexcept {
  if (control.render.prepared == block_) return;
  // The groups above first, without recursion (the tree may be deep).
  std::size_t n = 0;
  for (Control* c = &control; c != nullptr && c->render.prepared != block_ && n < prepare_.size();
       c = c->render.parent)
    prepare_[n++] = c;
  while (n > 0) {
    Control& c = *prepare_[--n];
    const ControlSettings& s = c.settings.Read();
    const Control* parent = c.render.parent;
    const bool parentReady = parent != nullptr && parent->render.prepared == block_;
    float pitch = parentReady ? parent->render.pitch : 1.0f;
    float audibility = parentReady ? parent->render.audibility : 1.0f;
    bool paused = parentReady && parent->render.paused;
    c.render.window = WindowOf(s, blockClock_, frames_);
    paused = paused || s.paused;
    // A group whose delay has not begun by the end of this block holds
    // everything below it.
    if (c.isGroup && s.delayStart >= blockClock_ + frames_) paused = true;
    c.render.pitch = pitch * s.pitch;
    c.render.paused = paused;
    c.render.audibility = audibility * ControlGain(s, blockClock_);
    c.render.prepared = block_;
  }
}

bool Mixer::Audible(const Channel& channel) const noexcept {
  return !channel.render.paused && !channel.channelRender.isVirtual && !channel.channelRender.ended;
}

void Mixer::ChooseVoices() noexcept {
  std::size_t n = 0;
  for (std::size_t i = 0; i < channelCount_; ++i) {
    Channel& channel = *channels_[i];
    Prepare(channel);
    if (channel.audibility.load(std::memory_order_relaxed) != channel.render.audibility)
      channel.audibility.store(channel.render.audibility, std::memory_order_relaxed);
    if (!channel.channelRender.ended) order_[n++] = &channel;
  }
  const bool tooMany = int(n) > realVoices;
  // The most important first: priority, then audibility, then age, so the
  // choice is the same from block to block when nothing changes.
  if (tooMany)
    std::nth_element(order_.begin(), order_.begin() + realVoices, order_.begin() + std::ptrdiff_t(n),
                     [](const Channel* a, const Channel* b) {
                       const int pa = a->settings.Last().priority, pb = b->settings.Last().priority;
                       if (pa != pb) return pa < pb;
                       if (a->render.audibility != b->render.audibility)
                         return a->render.audibility > b->render.audibility;
                       return a->serial < b->serial;
                     });
  for (std::size_t i = 0; i < n; ++i) {
    Channel& channel = *order_[i];
    const bool virtualNow = tooMany && int(i) >= realVoices;
    if (virtualNow == channel.channelRender.isVirtual) continue;
    channel.channelRender.isVirtual = virtualNow;
    channel.isVirtual.store(virtualNow, std::memory_order_relaxed);
    if (!virtualNow && channel.settings.Last().playFromStart && channel.PlaysSound()) {
      Command seek;
      seek.op = Command::Op::Seek;
      seek.a = &channel;
      Apply(seek);
    }
    Notify(Notice::Kind::Virtual, channel, virtualNow ? 1 : 0);
  }
}

void Mixer::Notify(Notice::Kind kind, Control& control, std::int64_t data) noexcept {
  const Notice notice{kind, &control, data};
  if (kind == Notice::Kind::Ended || kind == Notice::Kind::GroupDelayEnded) {
    ends.Push(notice);  // callers retry what did not fit
    return;
  }
  if (!control.settings.Last().callback) return;
  notices.Push(notice);  // dropped when the API is far behind
}

// ---------------------------------------------------------------------------
// Rendering the graph

bool Mixer::Descends(const Unit& unit) noexcept {
  if (!unit.settings.Last().active) return false;
  if (Control* gate = unit.render.gate) {
    Prepare(*gate);
    if (gate->render.paused) return false;
    if (!gate->isGroup) {
      const auto& channel = static_cast<const Channel&>(*gate);
      if (channel.channelRender.isVirtual || channel.channelRender.ended) return false;
    }
  }
  if (unit.role == Role::GroupMixer) {
    Prepare(*unit.control);
    if (unit.control->render.paused) return false;
  }
  return true;
}

void Mixer::Pull(Unit& root) noexcept {
  if (root.render.done == block_) return;
  std::size_t depth = 0;
  auto visit = [&](Unit& unit) {
    unit.render.visited = block_;
    unit.settings.Read();
    // A unit none of whose inputs needs rendering first (a group of channels
    // mixed straight in) is not walked twice.
    const bool walk = unit.render.rendered > 0 && Descends(unit);
    stack_[depth++] = Frame{&unit, walk ? unit.render.firstInput : nullptr};
  };
  visit(root);
  while (depth > 0) {
    Frame& frame = stack_[depth - 1];
    Connection* c = frame.next;
    // The next input to render first: run by its connection, not yet run
    // this block, not on the way here (a cycle), not a fused channel (mixed
    // when its consumer adds it up).
    while (c != nullptr) {
      if (c->render.fused == nullptr && c->Executes()) {
        const Unit& in = *c->render.input;
        if (in.render.done != block_ && in.render.visited != block_ && in.render.fused == nullptr) break;
      }
      c = c->render.next;
    }
    if (c != nullptr && depth < stack_.size()) {
      frame.next = c->render.next;
      visit(*c->render.input);
      continue;
    }
    Unit& unit = *frame.unit;
    --depth;
    Process(unit);
    unit.render.done = block_;
  }
}

// Stores a width the API may ask for, without writing the line when it
// did not change.
void Publish(std::atomic<int>& width, int value) noexcept {
  if (width.load(std::memory_order_relaxed) != value) width.store(value, std::memory_order_relaxed);
}

void Mixer::Accumulate(Connection& c, float* target, int width) noexcept {
  const ConnectionSettings& s = c.settings.Read();
  float gains[kMaxWidth * kMaxWidth];
  if (Channel* channel = c.render.fused) {
    // A channel whose chain is its fader alone: resampled, panned and
    // scaled straight into the consumer, with the connection's own gains.
    Prepare(*channel);
    const int out = format.channels;
    Publish(c.inWidth, out);
    Publish(c.outWidth, width);
    if (!Audible(*channel)) return;
    const int voiceWidth = channel->channelRender.voice.width;
    if (s.matrix.empty() && width == out) {
      // The usual connection, each channel to itself at its level.
      ChannelGains(channel->settings.Last(), voiceWidth, out, gains);
      if (s.mix != 1.0f)
        for (int q = 0; q < out * voiceWidth; ++q) gains[q] *= s.mix;
    } else {
      float own[kMaxWidth * kMaxWidth];
      ChannelGains(channel->settings.Last(), voiceWidth, out, own);
      float link[kMaxWidth * kMaxWidth];
      ConnectionGains(s, out, width, Layout::Speakers, link);
      for (int o = 0; o < width; ++o)
        for (int i = 0; i < voiceWidth; ++i) {
          float sum = 0.0f;
          for (int k = 0; k < out; ++k) sum += link[o * out + k] * own[k * voiceWidth + i];
          gains[o * voiceWidth + i] = sum;
        }
    }
    Control::RenderSide& r = channel->render;
    const std::size_t count = std::size_t(width) * std::size_t(voiceWidth);
    if (r.lastGains.size() < count) return;  // cannot happen: sized for the widest input
    if (!r.primed || !channel->settings.Last().volumeRamp || r.lastIn != voiceWidth)
      std::copy(gains, gains + count, r.lastGains.begin());
    RunVoice(*channel, VoiceSink::Fused, target, width, gains);
    std::copy(gains, gains + count, r.lastGains.begin());
    r.primed = true;
    r.lastIn = voiceWidth;
    return;
  }
  const Unit& in = *c.render.input;
  const int inWidth = std::min(in.render.width, in.render.capacity);
  Publish(c.inWidth, inWidth);
  Publish(c.outWidth, width);
  if (inWidth <= 0) return;
  ConnectionGains(s, inWidth, width, in.render.layout, gains);
  if (c.render.fadingOut) std::fill(gains, gains + std::size_t(width) * inWidth, 0.0f);
  const std::size_t count = std::size_t(width) * std::size_t(inWidth);
  std::vector<float>& last = c.render.lastGains;
  const bool fits = last.size() >= count;
  const bool shaped = c.render.rows == width && c.render.columns == inWidth;
  if (fits && (!c.render.primed || (!shaped && c.render.rows != -1)))
    std::copy(gains, gains + count, last.begin());
  if (!in.render.silent) {
    const float* from = fits ? last.data() : gains;
    MixMatrix(in.render.out.data(), inWidth, target, width, frames_, from, gains, 0, frames_, nullptr);
  }
  if (fits) {
    std::copy(gains, gains + count, last.begin());
    c.render.primed = true;
    c.render.rows = width;
    c.render.columns = inWidth;
  }
}

void Mixer::Fader(Unit& unit, const float* in, int inWidth, bool inputIdle) noexcept {
  Control& control = *unit.control;
  Prepare(control);
  const ControlSettings& s = control.settings.Last();
  Control::RenderSide& r = control.render;
  Unit::RenderSide& u = unit.render;
  const int width = format.channels;
  u.width = width;
  u.layout = Layout::Speakers;
  if (u.capacity < width || inWidth <= 0) {
    u.silent = true;
    return;
  }
  float gains[kMaxWidth * kMaxWidth];
  if (control.isGroup) GroupGains(s, width, gains);
  else ChannelGains(s, inWidth, width, gains);
  const std::size_t count = std::size_t(width) * std::size_t(inWidth);
  if (r.lastGains.size() < count) {
    u.silent = true;
    return;
  }
  if (!r.primed || !s.volumeRamp || r.lastIn != inWidth) std::copy(gains, gains + count, r.lastGains.begin());
  const Window& w = r.window;
  float* out = u.out.data();
  std::fill(out, out + std::size_t(frames_) * width, 0.0f);
  const unsigned n = w.to - w.from;
  if (n > 0 && !inputIdle) {
    const float* x = in + std::size_t(w.from) * inWidth;
    const float lowpass = control.isGroup ? 1.0f : s.lowPassGain * (s.placement.enabled ? s.placement.lowpass : 1.0f);
    if (lowpass < 0.999f) {
      float* copy = transition_.data();
      std::copy(x, x + std::size_t(n) * inWidth, copy);
      LowPass(copy, inWidth, n, lowpass, r.lowpass, format.sampleRate);
      x = copy;
    }
    const float* fade = nullptr;
    if (!s.fades.empty()) {
      float* envelope = side_.data();
      for (unsigned j = 0; j < n; ++j) envelope[j] = s.FadeAt(blockClock_ + w.from + j);
      fade = envelope;
    }
    MixMatrix(x, inWidth, out + std::size_t(w.from) * width, width, n, r.lastGains.data(), gains, 0, n, fade);
  }
  std::copy(gains, gains + count, r.lastGains.begin());
  r.primed = true;
  r.lastIn = inWidth;
  u.silent = inputIdle || n == 0;
  if (control.isGroup && w.ends && s.delayStops) {
    auto& group = static_cast<Group&>(control);
    if (group.groupRender.delayNoticed != s.delayEnd) {
      const std::uint64_t pushed = ends.Pushed();
      Notify(Notice::Kind::GroupDelayEnded, group, 0);
      if (ends.Pushed() != pushed) group.groupRender.delayNoticed = s.delayEnd;
    }
  }
}

void Mixer::Meter(const float* signal, int width, unsigned frames, Snapshot<FMOD_DSP_METERING_INFO>& meter) noexcept {
  FMOD_DSP_METERING_INFO info{};
  info.numsamples = int(frames);
  info.numchannels = short(std::clamp(width, 0, kMaxWidth));
  for (int c = 0; c < info.numchannels; ++c) {
    float peak = 0.0f;
    double squares = 0.0;
    for (unsigned j = 0; j < frames; ++j) {
      const float v = signal != nullptr ? signal[std::size_t(j) * width + c] : 0.0f;
      peak = std::max(peak, std::fabs(v));
      squares += double(v) * v;
    }
    info.peaklevel[c] = peak;
    info.rmslevel[c] = frames > 0 ? float(std::sqrt(squares / frames)) : 0.0f;
  }
  meter.Publish(info);
}

void Mixer::Process(Unit& unit) noexcept {
  Unit::RenderSide& r = unit.render;
  const UnitSettings& s = unit.settings.Last();
  const unsigned frames = frames_;
  if (!Descends(unit)) {
    r.silent = true;
    if (r.width == 0) r.width = format.channels;
    unit.idle.store(true, std::memory_order_relaxed);
    return;
  }

  // The width the unit takes its input at.
  int inWidth = 0;
  if (r.source != nullptr) {
    inWidth = r.source->channelRender.voice.width;
  } else if (unit.role == Role::GroupMixer || unit.role == Role::GroupFader) {
    inWidth = format.channels;
  } else if (s.formatChannels > 0) {
    inWidth = s.formatChannels;
  } else {
    for (const Connection* c = r.firstInput; c != nullptr; c = c->render.next) {
      if (c->ToSidechain()) continue;
      inWidth = std::max(inWidth, c->render.fused != nullptr ? format.channels : c->render.input->render.width);
    }
    if (inWidth <= 0) inWidth = format.channels;
  }
  inWidth = std::clamp(inWidth, 1, kMaxWidth);

  // Mix the inputs: straight into the output for a group's mixing head,
  // which passes its mix on as it is.
  const bool direct = unit.role == Role::GroupMixer;
  if (direct) inWidth = std::min(inWidth, r.capacity);
  float* acc = direct ? r.out.data() : accumulate_.data();
  if (inWidth <= 0 || acc == nullptr) {
    r.silent = true;
    return;
  }
  std::fill(acc, acc + std::size_t(frames) * inWidth, 0.0f);
  bool audible = false;
  if (r.source != nullptr && r.source->PlaysSound()) {
    Channel& channel = *r.source;
    Prepare(channel);
    if (Audible(channel)) {
      RunVoice(channel, VoiceSink::Buffer, acc, inWidth, nullptr);
      audible = true;
    }
  }
  int sideWidth = 0;
  for (Connection* c = r.firstInput; c != nullptr; c = c->render.next) {
    if (Channel* fused = c->render.fused) {
      Prepare(*fused);
      audible = audible || Audible(*fused);  // before it mixes (and perhaps ends)
      Accumulate(*c, acc, inWidth);
      continue;
    }
    const Unit& in = *c->render.input;
    const bool sounds = !in.render.silent;
    if (c->ToSidechain()) {
      const int w = std::clamp(in.render.width, 1, kMaxWidth);
      if (sideWidth == 0) {
        sideWidth = w;
        std::fill(side_.begin(), side_.begin() + std::ptrdiff_t(frames) * sideWidth, 0.0f);
      }
      Accumulate(*c, side_.data(), sideWidth);
    } else {
      Accumulate(*c, acc, inWidth);
      audible = audible || sounds;
    }
  }

  if (unit.role == Role::ChannelFader || unit.role == Role::GroupFader) {
    if (s.meterInput) Meter(acc, inWidth, frames, unit.inputMeter);
    Fader(unit, acc, inWidth, !audible);
    if (s.meterOutput) Meter(r.silent ? nullptr : r.out.data(), r.width, frames, unit.outputMeter);
    unit.width.store(r.width, std::memory_order_relaxed);
    unit.idle.store(!audible, std::memory_order_relaxed);
    return;
  }
  if (direct) {
    r.width = inWidth;
    r.layout = Layout::Speakers;
    r.silent = !audible;
    if (s.meterInput) Meter(acc, inWidth, frames, unit.inputMeter);
    if (s.meterOutput) Meter(acc, inWidth, frames, unit.outputMeter);
    unit.width.store(r.width, std::memory_order_relaxed);
    unit.idle.store(!audible, std::memory_order_relaxed);
    return;
  }

  if (s.meterInput) Meter(acc, inWidth, frames, unit.inputMeter);
  // What the unit itself makes of its input: bypassed or fading out of the
  // graph, its input passes through; otherwise pre-wet into the processor,
  // post-wet and dry out of it.
  const float from = r.transition;
  const float to = s.bypass ? 0.0f : r.transitionTarget;
  r.transition = to;
  float* out = r.out.data();
  const int capacity = r.capacity;
  bool wrote = false;
  int outWidth = inWidth;
  Layout layout = Layout::Speakers;
  if (from > 0.0f || to > 0.0f) {
    const float* input = acc;
    if (s.preWet != 1.0f) {
      float* scaled = transition_.data();
      const std::size_t n = std::size_t(frames) * inWidth;
      for (std::size_t k = 0; k < n; ++k) scaled[k] = acc[k] * s.preWet;
      input = scaled;
    }
    ProcessBlock block;
    block.in = input;
    block.inWidth = inWidth;
    block.inputIdle = !audible;
    block.side = sideWidth > 0 ? side_.data() : nullptr;
    block.sideWidth = sideWidth;
    block.out = out;
    block.capacity = capacity;
    block.outWidth = std::min(inWidth, capacity);
    block.frames = frames;
    block.clock = blockClock_;
    wrote = capacity > 0 && unit.processor->Process(block);
    outWidth = std::clamp(block.outWidth, 1, std::max(capacity, 1));
    layout = block.outLayout;
    if (wrote && s.postWet != 1.0f) {
      const std::size_t n = std::size_t(frames) * outWidth;
      for (std::size_t k = 0; k < n; ++k) out[k] *= s.postWet;
    }
  }
  const bool sameWidth = outWidth == inWidth && inWidth <= capacity;
  const bool dry = s.dry != 0.0f && sameWidth;
  const bool crossfade = (from < 1.0f || to < 1.0f) && sameWidth;
  if (!wrote && (dry || crossfade)) {
    std::fill(out, out + std::size_t(frames) * outWidth, 0.0f);
    wrote = true;
  }
  if (wrote && dry) {
    const std::size_t n = std::size_t(frames) * inWidth;
    for (std::size_t k = 0; k < n; ++k) out[k] += acc[k] * s.dry;
  }
  if (wrote && crossfade) {
    // out = t * processed + (1 - t) * input, t moving from `from` to `to`.
    const float step = (to - from) / float(frames);
    for (unsigned j = 0; j < frames; ++j) {
      const float t = from + step * float(j + 1);
      float* y = out + std::size_t(j) * inWidth;
      const float* x = acc + std::size_t(j) * inWidth;
      for (int c = 0; c < inWidth; ++c) y[c] = t * y[c] + (1.0f - t) * x[c];
    }
  }
  r.width = outWidth;
  r.layout = layout;
  r.silent = !wrote;
  if (s.meterOutput) Meter(wrote ? out : nullptr, outWidth, frames, unit.outputMeter);
  bool idle = !audible;
  if (idle && wrote) {
    const std::size_t n = std::size_t(frames) * outWidth;
    idle = std::all_of(out, out + n, [](float v) { return v == 0.0f; });
  }
  unit.width.store(r.width, std::memory_order_relaxed);
  unit.idle.store(idle, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// A block

void Mixer::Finish() noexcept {
  for (std::size_t i = 0; i < channelCount_; ++i) {
    Channel& channel = *channels_[i];
    // Voices nobody pulled this block (virtual, or under no audible head)
    // still move on unless something above holds them.
    if (!channel.channelRender.ended && channel.channelRender.advanced != block_ && channel.PlaysSound() &&
        !channel.render.paused)
      Advance(channel);
    if (channel.channelRender.ended && !channel.channelRender.endNoticed) {
      const std::uint64_t pushed = ends.Pushed();
      Notify(Notice::Kind::Ended, channel, 0);
      channel.channelRender.endNoticed = ends.Pushed() != pushed;
    }
  }
  // Connections that faded out this block leave the graph.
  while (fading_ != nullptr) {
    Connection* c = fading_;
    fading_ = c->render.nextFading;
    c->render.fadingOut = false;
    Unlink(*c);
  }
}

void Mixer::Render(float* interleaved, unsigned frames) noexcept {
  if (!lock.TryLock()) {
    lockWaits_.fetch_add(1, std::memory_order_relaxed);
    lock.Lock();
  }
  DenormalsOff denormals;
  const int width = format.channels;
  unsigned done = 0;
  while (done < frames) {
    const unsigned n = std::min(frames - done, format.blockFrames);
    float* out = interleaved + std::size_t(done) * width;
    ++block_;
    blockClock_ = clock_.load(std::memory_order_relaxed);
    frames_ = n;
    // The commands the API sent since the last block, up to a barrier
    // (which holds the rest for one block).
    held_ = false;
    Command command;
    while (!held_ && commands.Pop(command)) Apply(command);

    ChooseVoices();
    std::fill(out, out + std::size_t(n) * width, 0.0f);
    if (output_ != nullptr) {
      Pull(*output_);
      const Unit::RenderSide& r = output_->render;
      if (!r.silent && r.width > 0) {
        if (r.width == width) {
          std::copy(r.out.begin(), r.out.begin() + std::ptrdiff_t(n) * width, out);
        } else {
          float gains[kMaxWidth * kMaxWidth];
          DefaultMatrix(gains, width, r.width, r.layout);
          MixMatrix(r.out.data(), r.width, out, width, n, gains, gains, 0, n, nullptr);
        }
      }
    }
    Finish();
    clock_.store(blockClock_ + n, std::memory_order_release);
    epoch_.fetch_add(1, std::memory_order_acq_rel);
    done += n;
  }
  lock.Unlock();
}

}  // namespace sonvel::engine::core
