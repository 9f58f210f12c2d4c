// The API side of the graph: the model the entry points change, and how each
// change reaches the mixer.
#include "Graph.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_set>
#include <utility>

#include "Builtins.h"
#include "Engine.h"
#include "Slots.h"

namespace sonvel::engine::core {

namespace {

// How long a change waits for room in the command ring before it gives up.
constexpr auto kRoomWait = std::chrono::seconds(2);
// How many stolen channels keep answering "stolen" before their handles go.
constexpr std::size_t kStolenKept = 1024;
// Callbacks kept for an update that does not come; beyond it sync point and
// virtual voice callbacks are dropped (never end callbacks).
constexpr std::size_t kEventsKept = 65536;

// A control's mix matrix: `out` rows of `in` gains, the default layout.
void DefaultMix(ControlSettings& settings, int out, int in) {
  settings.matrixOut = out;
  settings.matrixIn = in;
  settings.matrix.assign(std::size_t(out) * std::size_t(in), 0.0f);
  DefaultMatrix(settings.matrix.data(), out, in);
}

template <typename T>
void EraseOne(std::vector<T*>& list, const T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

}  // namespace

Graph::Graph(Engine& engine, Mixer& mixer, Registry& registry, FMOD_SYSTEM* systemHandle)
    : engine_(engine), mixer_(mixer), registry_(registry), systemHandle_(systemHandle),
      indexUsed_(std::size_t(mixer.limits.channels), 0) {}

Graph::~Graph() = default;

// ---------------------------------------------------------------------------
// Commands and retirement

Command Graph::Make(Command::Op op, void* a, void* b, void* c) const noexcept {
  Command command;
  command.op = op;
  command.a = a;
  command.b = b;
  command.c = c;
  return command;
}

bool Graph::Reserve(std::size_t count) {
  Ring<Command>& ring = mixer_.commands;
  if (ring.Room() >= count) return true;
  if (count > ring.Capacity()) return false;
  // Nothing of the change that asks is staged yet: what is staged is whole.
  Commit();
  const auto deadline = std::chrono::steady_clock::now() + kRoomWait;
  for (;;) {
    // A mixer that does not run now (an output that mixes on update, a
    // suspended one, or this thread holding LockDSP) cannot be waited for:
    // apply the commands here instead.
    if (mixer_.lock.TryLock()) {
      mixer_.ApplyCommands();
      mixer_.lock.Unlock();
    }
    if (ring.Room() >= count) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

void Graph::Send(const Command& command) {
  if (!mixer_.commands.Stage(command)) {
    // Every change reserves its room first; should one not have, it waits
    // rather than lose a command.
    Reserve(1);
    mixer_.commands.Stage(command);
  }
}

void Graph::Commit() { mixer_.commands.Commit(); }

void Graph::Retire(std::shared_ptr<void> object) {
  retired_.push_back(Retired{mixer_.commands.Pushed(), ~0ull, std::move(object)});
}

void Graph::Reclaim() {
  const std::uint64_t applied = mixer_.Applied();
  const std::uint64_t epoch = mixer_.Epoch();
  for (Retired& r : retired_) {
    if (r.epoch != ~0ull) continue;
    if (applied < r.sequence) break;  // the rest came later
    r.epoch = epoch;
  }
  // Two blocks after the mixer applied the commands that dropped it, nothing
  // of the mixer's refers to it (one block covers a fade before a removal).
  while (!retired_.empty() && retired_.front().epoch != ~0ull && epoch >= retired_.front().epoch + 2)
    retired_.pop_front();
}

void Graph::Quiesce() {
  Commit();
  const std::uint64_t target = mixer_.commands.Pushed();
  const auto deadline = std::chrono::steady_clock::now() + kRoomWait;
  std::uint64_t appliedAt = ~0ull;
  for (;;) {
    if (mixer_.lock.TryLock()) {
      // No block is running: apply what is waiting; after that the mixer
      // holds nothing that was dropped.
      mixer_.ApplyCommands();
      mixer_.lock.Unlock();
      return;
    }
    const std::uint64_t epoch = mixer_.Epoch();
    if (appliedAt == ~0ull && mixer_.Applied() >= target) appliedAt = epoch;
    if (appliedAt != ~0ull && epoch >= appliedAt + 2) return;
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// ---------------------------------------------------------------------------
// Making and dropping objects

std::shared_ptr<Unit> Graph::NewInternalUnit(FMOD_DSP_TYPE type, Role role, Control* control, int capacity,
                                             std::unique_ptr<Processor> processor) {
  if (processor == nullptr && role == Role::GroupMixer) processor = std::make_unique<MixerProcessor>();
  if (processor == nullptr) processor = std::make_unique<FaderProcessor>(control);
  auto unit = std::make_shared<Unit>(type, role, std::move(processor), control);
  unit->systemHandle = systemHandle_;
  unit->engine = self_;
  unit->api.settings.active = true;
  unit->settings.Publish(unit->api.settings);
  if (capacity > 0) {
    unit->render.out.assign(std::size_t(capacity) * engine_.format.blockFrames, 0.0f);
    unit->render.capacity = capacity;
    unit->api.capacity = capacity;
  }
  PutSlot(units_, unit);
  registry_.Add(unit);
  return unit;
}

std::shared_ptr<Connection> Graph::Connect(Unit& input, Unit& output, FMOD_DSPCONNECTION_TYPE type, bool chainLink,
                                           bool rampIn) {
  auto c = std::make_shared<Connection>(type);
  c->engine = self_;
  c->api.input = &input;
  c->api.output = &output;
  c->api.chainLink = chainLink;
  const int width = engine_.format.channels;
  const int rows = std::max(output.api.capacity, width), columns = std::max(input.api.capacity, width);
  c->render.lastGains.assign(std::size_t(rows) * std::size_t(columns), 0.0f);
  c->settings.Publish(c->api.settings);
  input.api.outputs.push_back(c.get());
  output.api.inputs.push_back(c.get());
  PutSlot(connections_, c);
  registry_.Add(c);
  Command link = Make(Command::Op::Link, c.get(), &input, &output);
  link.x = rampIn ? 1 : 0;
  Send(link);
  return c;
}

void Graph::Drop(Connection& c) {
  if (c.api.gone) return;
  Unit& input = *c.api.input;
  Unit& output = *c.api.output;
  EraseOne(input.api.outputs, &c);
  EraseOne(output.api.inputs, &c);
  if (input.api.chain != nullptr && input.api.chain->api.output == &c) input.api.chain->api.output = nullptr;
  if (input.api.route == &c) input.api.route = nullptr;
  c.api.gone = true;
  Send(Make(Command::Op::Unlink, &c));
  registry_.Remove(c);
  if (std::shared_ptr<Connection> owner = TakeSlot(connections_, c)) Retire(std::move(owner));
  // A channel's fader with one input or output fewer may mix straight again.
  for (Unit* end : {&input, &output})
    if (end->role == Role::ChannelFader && end->control != nullptr && !end->control->api.gone)
      RefreshFused(static_cast<Channel&>(*end->control));
}

void Graph::Repoint(Connection& c, Unit& input) {
  if (c.api.input == &input) return;
  EraseOne(c.api.input->api.outputs, &c);
  c.api.input = &input;
  input.api.outputs.push_back(&c);
  Send(Make(Command::Op::Link, &c, &input, c.api.output));
}

void Graph::Forget(Unit& unit) {
  if (unit.api.gone) return;
  unit.api.gone = true;
  registry_.Remove(unit);
  if (std::shared_ptr<Unit> owner = TakeSlot(units_, unit)) Retire(std::move(owner));
}

bool Graph::Reaches(const Unit& from, const Unit& to) const {
  // Does `to` feed `from`, walking inputs through connections that run them?
  std::vector<const Unit*> stack{&from};
  std::unordered_set<const Unit*> seen{&from};
  while (!stack.empty()) {
    const Unit* unit = stack.back();
    stack.pop_back();
    if (unit == &to) return true;
    for (const Connection* c : unit->api.inputs)
      if (c->Executes() && seen.insert(c->api.input).second) stack.push_back(c->api.input);
  }
  return false;
}

void Graph::Queue(Control& control, FMOD_CHANNELCONTROL_CALLBACK_TYPE type, std::intptr_t data1,
                  std::shared_ptr<Channel> ended) {
  if (control.api.callback == nullptr) return;
  if (!ended && events_.size() >= kEventsKept) return;
  Event event;
  event.control = control.isGroup ? reinterpret_cast<FMOD_CHANNELCONTROL*>(static_cast<Group&>(control).handle)
                                  : reinterpret_cast<FMOD_CHANNELCONTROL*>(static_cast<Channel&>(control).handle);
  event.kind = control.isGroup ? FMOD_CHANNELCONTROL_CHANNELGROUP : FMOD_CHANNELCONTROL_CHANNEL;
  event.callback = control.api.callback;
  event.type = type;
  event.data1 = data1;
  event.ended = std::move(ended);
  events_.push_back(std::move(event));
}

// ---------------------------------------------------------------------------
// Groups and channels

void Graph::NewControl(Control& control, Group* parent) {
  control.engine = self_;
  control.systemHandle = systemHandle_;
  control.api.parent = parent;
  control.render.parent = parent;
  const int width = engine_.format.channels;
  control.render.lastGains.assign(std::size_t(width) * kMaxWidth, 0.0f);
}

FMOD_RESULT Graph::NewChannel(Group& parent, std::shared_ptr<Channel>& out) {
  const auto free = std::find(indexUsed_.begin(), indexUsed_.end(), 0);
  if (free == indexUsed_.end()) return FMOD_ERR_CHANNEL_ALLOC;
  if (!Reserve(16) || !RoomForUnits(1)) return FMOD_ERR_MEMORY;
  out = std::make_shared<Channel>();
  *free = 1;
  out->index = int(free - indexUsed_.begin());
  out->serial = nextSerial_++;
  NewControl(*out, &parent);
  // Channels send to every reverb instance at full level until told
  // otherwise; groups send to none.
  std::fill(std::begin(out->api.reverbWet), std::end(out->api.reverbWet), 1.0f);
  return FMOD_OK;
}

void Graph::Admit(const std::shared_ptr<Channel>& channel, Group& parent) {
  for (int i = 0; i < FMOD_REVERB_MAXINSTANCES; ++i) SendToReverb(*channel, i);
  Send(Make(Command::Op::AddChannel, channel.get()));
  Commit();
  parent.groupApi.channels.push_back(channel.get());
  PutSlot(channels_, channel);
  channelList_.push_back(channel.get());
  registry_.Add(channel);
}

void Graph::Start(const std::weak_ptr<Engine>& self) {
  self_ = self;
  std::shared_ptr<Group> master;
  NewGroup("ChannelGroup", master);
  Commit();
}

FMOD_RESULT Graph::NewGroup(const std::string& name, std::shared_ptr<Group>& out) {
  if (!Reserve(8) || !RoomForUnits(2)) return FMOD_ERR_MEMORY;
  const int width = engine_.format.channels;
  auto group = std::make_shared<Group>();
  group->name = name;
  NewControl(*group, master_.get());
  ControlSettings& s = group->api.settings;
  DefaultMix(s, width, width);
  group->mixer = NewInternalUnit(FMOD_DSP_TYPE_MIXER, Role::GroupMixer, group.get(), width);
  group->fader = NewInternalUnit(FMOD_DSP_TYPE_FADER, Role::GroupFader, group.get(), width);
  group->api.chain = {group->fader.get()};
  group->fader->api.chain = group.get();
  Connect(*group->mixer, *group->fader, FMOD_DSPCONNECTION_TYPE_STANDARD, true);
  Send(Make(Command::Op::SetGate, group->fader.get(), group.get()));
  group->settings.Publish(group->api.settings);
  PutSlot(groups_, group);
  registry_.Add(group);
  if (master_ == nullptr) {
    group->isMaster = true;
    master_ = group;
    Send(Make(Command::Op::SetOutput, group->fader.get()));
  } else {
    group->api.output = Connect(*group->fader, *master_->mixer, FMOD_DSPCONNECTION_TYPE_STANDARD, false).get();
    master_->groupApi.groups.push_back(group.get());
  }
  Commit();
  out = group;
  return FMOD_OK;
}

void Graph::RefreshFused(Channel& channel) {
  Unit& fader = *channel.fader;
  const UnitSettings& s = fader.api.settings;
  const bool fused = channel.PlaysSound() && channel.api.chain.size() == 1 && fader.api.inputs.empty() &&
                     fader.api.outputs.size() == 1 && channel.api.output != nullptr &&
                     fader.api.outputs[0] == channel.api.output &&
                     channel.api.output->type == FMOD_DSPCONNECTION_TYPE_STANDARD && s.active && !s.meterInput &&
                     !s.meterOutput;
  if (fused == channel.channelApi.fused) return;
  if (!fused) EnsureCapacity(fader, engine_.format.channels);
  channel.channelApi.fused = fused;
  // The connection carries the mark too, so that the mixer's walk through
  // a group's inputs need not visit the fader. Unfusing clears it on the
  // connection that had it.
  Connection* marked = fused ? channel.api.output : channel.channelApi.fusedConnection;
  channel.channelApi.fusedConnection = fused ? channel.api.output : nullptr;
  Send(Make(Command::Op::SetFused, &fader, fused ? &channel : nullptr, marked));
}

FMOD_RESULT Graph::PlaySound(const std::shared_ptr<SoundData>& sound, const PlaySettings& play, Group* group,
                             bool paused, std::shared_ptr<Channel>& out) {
  Poll();
  // A stream feeds one channel: playing it again ends the one it fed.
  if (sound->IsStream())
    for (Channel* other : std::vector<Channel*>(channelList_))
      if (other->sound == sound) Stop(*other);
  if (channels_.size() >= std::size_t(mixer_.limits.channels)) {
    // Beyond the limit the least important channel gives up its voice.
    Channel* victim = nullptr;
    float victimAudibility = 0.0f;
    for (Channel* c : channelList_) {
      const float audibility = c->audibility.load(std::memory_order_relaxed);
      if (victim == nullptr || c->api.settings.priority > victim->api.settings.priority ||
          (c->api.settings.priority == victim->api.settings.priority && audibility < victimAudibility)) {
        victim = c;
        victimAudibility = audibility;
      }
    }
    if (victim != nullptr) Stop(*victim, Channel::State::Stolen);
  }
  Group& target = group != nullptr ? *group : *master_;
  std::shared_ptr<Channel> channel;
  if (const FMOD_RESULT r = NewChannel(target, channel); r != FMOD_OK) return r;
  const int width = engine_.format.channels;
  channel->sound = sound;
  channel->soundHandle = play.soundHandle;

  ControlSettings& s = channel->api.settings;
  s.frequency = play.frequency;
  s.priority = play.priority;
  s.paused = paused;
  const int soundWidth = std::clamp(sound->channels, 1, kMaxWidth);
  DefaultMix(s, width, soundWidth);
  channel->UseMode(play.mode);
  spatial::Source& source = channel->api.source;
  source.minDistance = play.minDistance;
  source.maxDistance = play.maxDistance;
  source.coneInsideAngle = play.coneInside;
  source.coneOutsideAngle = play.coneOutside;
  source.coneOutsideVolume = play.coneOutsideVolume;
  source.customRolloff = play.customRolloff;

  Channel::ChannelApiSide& api = channel->channelApi;
  const std::uint32_t length = sound->length.load(std::memory_order_acquire);
  api.loopMode = play.mode & (FMOD_LOOP_OFF | FMOD_LOOP_NORMAL | FMOD_LOOP_BIDI);
  api.loopStart = play.loopStart;
  api.loopEnd = play.loopEnd;
  if (length > 0 && (api.loopEnd == 0 || api.loopEnd >= length)) api.loopEnd = length - 1;
  if (api.loopStart > api.loopEnd) api.loopStart = 0;
  api.loopCount = play.loopCount;
  // The voice, set before the mixer first sees the channel.
  Voice& voice = channel->channelRender.voice;
  voice.width = soundWidth;
  voice.loopMode = api.loopMode;
  voice.loopStart = api.loopStart;
  voice.loopEnd = api.loopEnd;
  voice.loopCount = api.loopCount;
  if (s.placement.enabled) {
    // Placed at once (without the program's rolloff callback, which runs
    // at the next update), so that the first block is not heard unplaced.
    spatial::SystemState space = engine_.Space();
    space.rolloffCallback = nullptr;
    Place(*channel, spatial::Evaluate(space, source, engine_.format.speakerMode, width));
  }
  channel->settings.Publish(s);

  channel->fader = NewInternalUnit(FMOD_DSP_TYPE_FADER, Role::ChannelFader, channel.get(), 0);
  channel->api.chain = {channel->fader.get()};
  channel->fader->api.chain = channel.get();
  Unit& fader = *channel->fader;
  Send(Make(Command::Op::SetSource, &fader, channel.get()));
  Send(Make(Command::Op::SetGate, &fader, channel.get()));
  channel->api.output = Connect(fader, *target.mixer, FMOD_DSPCONNECTION_TYPE_STANDARD, false).get();
  channel->channelApi.fused = true;
  channel->channelApi.fusedConnection = channel->api.output;
  Send(Make(Command::Op::SetFused, &fader, channel.get(), channel->api.output));
  // Until the mixer has chosen, a channel beyond the real voices starts
  // virtual (the choice follows in its first block).
  int real = 0;
  for (const Channel* other : channelList_)
    if (!other->isVirtual.load(std::memory_order_relaxed)) ++real;
  const bool startsVirtual = real >= mixer_.realVoices;
  channel->isVirtual.store(startsVirtual, std::memory_order_relaxed);
  channel->channelRender.isVirtual = startsVirtual;
  Admit(channel, target);
  out = channel;
  return FMOD_OK;
}

FMOD_RESULT Graph::PlayUnit(Unit& unit, Group* group, bool paused, std::shared_ptr<Channel>& out) {
  if (unit.role != Role::Free) return FMOD_ERR_DSP_RESERVED;
  if (unit.api.chain != nullptr || unit.api.played != nullptr || !unit.api.outputs.empty()) return FMOD_ERR_DSP_INUSE;
  Poll();
  if (channels_.size() >= std::size_t(mixer_.limits.channels)) return FMOD_ERR_CHANNEL_ALLOC;
  Group& target = group != nullptr ? *group : *master_;
  std::shared_ptr<Channel> channel;
  if (const FMOD_RESULT r = NewChannel(target, channel); r != FMOD_OK) return r;
  const int width = engine_.format.channels;
  channel->played = units_[unit.api.slot];
  ControlSettings& s = channel->api.settings;
  s.frequency = float(engine_.format.sampleRate);
  s.paused = paused;
  DefaultMix(s, width, width);
  channel->settings.Publish(s);

  channel->fader = NewInternalUnit(FMOD_DSP_TYPE_FADER, Role::ChannelFader, channel.get(), width);
  channel->api.chain = {channel->fader.get()};
  channel->fader->api.chain = channel.get();
  Unit& fader = *channel->fader;
  Send(Make(Command::Op::SetGate, &fader, channel.get()));
  unit.api.played = channel.get();
  unit.api.settings.active = true;
  unit.settings.Publish(unit.api.settings);
  Connect(unit, fader, FMOD_DSPCONNECTION_TYPE_STANDARD, true);
  channel->api.output = Connect(fader, *target.mixer, FMOD_DSPCONNECTION_TYPE_STANDARD, false).get();
  Admit(channel, target);
  out = channel;
  return FMOD_OK;
}

void Graph::DetachChain(Control& control) {
  // The chain's own units go with it; units the program added stay, out of
  // every chain, with only the connections the program made itself.
  for (Unit* unit : control.api.chain) {
    const bool own = unit->role != Role::Free;
    for (Connection* c : std::vector<Connection*>(unit->api.inputs))
      if (own || c->api.chainLink) Drop(*c);
    for (Connection* c : std::vector<Connection*>(unit->api.outputs))
      if (own || c->api.chainLink || c == control.api.output) Drop(*c);
    if (own) {
      Forget(*unit);
    } else {
      unit->api.chain = nullptr;
      Send(Make(Command::Op::SetSource, unit, nullptr));
      Send(Make(Command::Op::SetGate, unit, nullptr));
    }
  }
  control.api.chain.clear();
  if (control.api.output != nullptr) Drop(*control.api.output);
}

void Graph::Stop(Channel& channel, Channel::State why) {
  Channel::ChannelApiSide& api = channel.channelApi;
  if (api.state != Channel::State::Playing) return;
  const std::size_t units = channel.api.chain.size();
  if (!Reserve(8 + 6 * units)) {
    pendingEnds_.push_back(&channel);  // tried again at the next poll
    return;
  }
  api.state = why;
  channel.api.gone = true;
  if (channel.api.parent != nullptr) EraseOne(channel.api.parent->groupApi.channels, &channel);
  DetachChain(channel);
  if (Unit* played = channel.played.get()) {
    for (Connection* c : std::vector<Connection*>(played->api.outputs))
      if (c->api.chainLink) Drop(*c);
    played->api.played = nullptr;
  }
  Send(Make(Command::Op::RemoveChannel, &channel));
  Commit();
  if (channel.index >= 0 && std::size_t(channel.index) < indexUsed_.size()) indexUsed_[std::size_t(channel.index)] = 0;
  EraseOne(channelList_, &channel);
  std::shared_ptr<Channel> owner = TakeSlot(channels_, channel);
  if (!owner) return;
  Retire(owner);
  if (why == Channel::State::Stolen) {
    // Its handle answers "stolen" for a while.
    stolen_.push_back(owner);
    if (stolen_.size() > kStolenKept) {
      registry_.Remove(*stolen_.front());
      stolen_.pop_front();
    }
  } else if (channel.api.callback != nullptr) {
    // The end callback may still ask for the channel's user data, sound and
    // system; its handle goes once the callback ran.
    Queue(channel, FMOD_CHANNELCONTROL_CALLBACK_END, 0, owner);
  } else {
    registry_.Remove(channel);
  }
}

void Graph::StopBelow(Group& group) {
  for (Channel* channel : std::vector<Channel*>(group.groupApi.channels)) Stop(*channel);
  for (Group* child : std::vector<Group*>(group.groupApi.groups)) StopBelow(*child);
}

void Graph::StopSound(const SoundData& sound) {
  for (Channel* channel : std::vector<Channel*>(channelList_))
    if (channel->sound.get() == &sound) Stop(*channel);
}

FMOD_RESULT Graph::SetParent(Channel& channel, Group& group) {
  if (channel.api.parent == &group) return FMOD_OK;
  if (!Reserve(4)) return FMOD_ERR_MEMORY;
  if (channel.api.parent != nullptr) EraseOne(channel.api.parent->groupApi.channels, &channel);
  channel.api.parent = &group;
  group.groupApi.channels.push_back(&channel);
  Send(Make(Command::Op::SetParent, &channel, &group));
  if (Connection* output = channel.api.output) {
    EraseOne(output->api.output->api.inputs, output);
    output->api.output = group.mixer.get();
    group.mixer->api.inputs.push_back(output);
    Send(Make(Command::Op::Link, output, output->api.input, group.mixer.get()));
  }
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::AddGroup(Group& parent, Group& child, Connection*& connection) {
  connection = nullptr;
  if (child.isMaster || &child == &parent) return FMOD_ERR_INVALID_PARAM;
  for (const Group* g = &parent; g != nullptr; g = g->api.parent)
    if (g == &child) return FMOD_ERR_INVALID_PARAM;  // would make a loop
  if (!Reserve(8)) return FMOD_ERR_MEMORY;
  if (child.api.parent != nullptr) EraseOne(child.api.parent->groupApi.groups, &child);
  child.api.parent = &parent;
  parent.groupApi.groups.push_back(&child);
  Send(Make(Command::Op::SetParent, &child, &parent));
  // A new connection from the child's head into the parent.
  if (child.api.output != nullptr) Drop(*child.api.output);
  Unit* head = child.api.chain.empty() ? child.fader.get() : child.api.chain.front();
  child.api.output = Connect(*head, *parent.mixer, FMOD_DSPCONNECTION_TYPE_STANDARD, false).get();
  Commit();
  connection = child.api.output;
  return FMOD_OK;
}

FMOD_RESULT Graph::ReleaseGroup(Group& group) {
  if (group.isMaster) return FMOD_ERR_INVALID_PARAM;  // the master group goes with the system
  const std::size_t work = 16 + 6 * (group.groupApi.channels.size() + group.groupApi.groups.size() +
                                     group.api.chain.size());
  if (!Reserve(work)) return FMOD_ERR_MEMORY;
  // Its channels and sub-groups move to the master group.
  for (Channel* channel : std::vector<Channel*>(group.groupApi.channels)) SetParent(*channel, *master_);
  for (Group* child : std::vector<Group*>(group.groupApi.groups)) {
    Connection* ignored = nullptr;
    AddGroup(*master_, *child, ignored);
  }
  if (group.api.parent != nullptr) EraseOne(group.api.parent->groupApi.groups, &group);
  group.api.gone = true;
  DetachChain(group);
  for (Connection* c : std::vector<Connection*>(group.mixer->api.inputs)) Drop(*c);
  for (Connection* c : std::vector<Connection*>(group.mixer->api.outputs)) Drop(*c);
  Forget(*group.mixer);
  Commit();
  registry_.Remove(group);
  if (std::shared_ptr<Group> owner = TakeSlot(groups_, group)) Retire(std::move(owner));
  return FMOD_OK;
}

bool Graph::IsPlayingBelow(const Group& group) const noexcept {
  if (!group.groupApi.channels.empty()) return true;
  for (const Group* child : group.groupApi.groups)
    if (IsPlayingBelow(*child)) return true;
  return false;
}

void Graph::CountPlaying(int& all, int& real) const noexcept {
  all = int(channelList_.size());
  real = 0;
  for (const Channel* channel : channelList_)
    if (!channel->isVirtual.load(std::memory_order_relaxed)) ++real;
  // The mixer never gives more voices than it has; read while it swaps two
  // channels' voices, the flags may briefly say otherwise.
  real = std::min(real, mixer_.realVoices);
}

// ---------------------------------------------------------------------------
// Settings

void Graph::Publish(Control& control) { control.settings.Publish(control.api.settings); }

void Graph::Publish(Unit& unit) {
  unit.settings.Publish(unit.api.settings);
  if (unit.role == Role::ChannelFader && unit.control != nullptr && !unit.control->api.gone) {
    if (!Reserve(2)) return;
    RefreshFused(static_cast<Channel&>(*unit.control));
    Commit();
  }
}

void Graph::Publish(Connection& connection) { connection.settings.Publish(connection.api.settings); }

FMOD_RESULT Graph::Seek(Channel& channel, std::uint64_t frame) {
  if (!Reserve(1)) return FMOD_ERR_MEMORY;
  Command seek = Make(Command::Op::Seek, &channel);
  seek.x = frame;
  Send(seek);
  Commit();
  channel.channelApi.seekSequence = mixer_.commands.Pushed();
  channel.channelApi.seekFrame = frame;
  return FMOD_OK;
}

FMOD_RESULT Graph::SendLoop(Channel& channel) {
  if (!Reserve(1)) return FMOD_ERR_MEMORY;
  const Channel::ChannelApiSide& api = channel.channelApi;
  Command loop = Make(Command::Op::SetLoop, &channel);
  loop.x = api.loopStart;
  loop.y = api.loopEnd;
  loop.z = api.loopCount;
  loop.w = api.loopMode;
  Send(loop);
  Commit();
  return FMOD_OK;
}

std::uint64_t Graph::PositionOf(const Channel& channel) const noexcept {
  if (mixer_.Applied() < channel.channelApi.seekSequence) return channel.channelApi.seekFrame;
  return channel.position.load(std::memory_order_acquire);
}

void Graph::Place(Channel& channel, const spatial::Result& r) {
  Placement p;
  p.enabled = channel.api.source.is3D;
  p.level = std::clamp(channel.api.source.level, 0.0f, 1.0f);
  p.attenuation = r.attenuation;
  p.pitchFactor = r.pitchFactor;
  p.lowpass = r.lowpassGain;
  std::copy(std::begin(r.panGains), std::end(r.panGains), p.pan);
  channel.api.settings.placement = p;
}

void Graph::Gather3D(std::vector<Placing>& work) {
  work.clear();
  for (Channel* channel : channelList_)
    if (channel->api.source.is3D)
      work.push_back(Placing{channels_[channel->api.slot], channel->api.source, {}});
}

void Graph::Apply3D(const std::vector<Placing>& work) {
  for (const Placing& p : work) {
    Channel& channel = *p.channel;
    if (channel.api.gone || !channel.api.source.is3D) continue;
    Place(channel, p.result);
    Publish(channel);
  }
}

float Graph::AudibilityOf(const Control& control) const noexcept {
  const std::uint64_t clock = mixer_.Clock();
  float audibility = ControlGain(control.api.settings, clock);
  for (const Group* g = control.api.parent; g != nullptr; g = g->api.parent)
    audibility *= ControlGain(g->api.settings, clock);
  return audibility;
}

// ---------------------------------------------------------------------------
// The hand-off back

void Graph::Poll() {
  if (master_ == nullptr) return;
  // Reports first, then what they free: a report about an object is always
  // read before the object is.
  Notice notice;
  while (mixer_.notices.Pop(notice)) {
    Control& control = *notice.control;
    if (control.api.gone) continue;
    Queue(control,
          notice.kind == Notice::Kind::SyncPoint ? FMOD_CHANNELCONTROL_CALLBACK_SYNCPOINT
                                                 : FMOD_CHANNELCONTROL_CALLBACK_VIRTUALVOICE,
          std::intptr_t(notice.data));
  }
  for (Channel* channel : std::exchange(pendingEnds_, {})) Stop(*channel);
  while (mixer_.ends.Pop(notice)) {
    Control& control = *notice.control;
    if (control.api.gone) continue;
    if (notice.kind == Notice::Kind::Ended) Stop(static_cast<Channel&>(control));
    else StopBelow(static_cast<Group&>(control));
  }
  Commit();
  Reclaim();
}

void Graph::TakeEvents(std::vector<Event>& events) {
  events.clear();
  events.swap(events_);
}

void Graph::Shutdown() {
  // The output has stopped: nothing renders any more, so everything goes
  // now. Units a program made get their release callback.
  for (const std::shared_ptr<Unit>& unit : units_) {
    unit->api.gone = true;
    registry_.Remove(*unit);
    if (unit->role == Role::Free) unit->processor->Releasing();
  }
  for (const std::shared_ptr<Connection>& c : connections_) {
    c->api.gone = true;
    registry_.Remove(*c);
  }
  for (const std::shared_ptr<Channel>& channel : channels_) {
    channel->api.gone = true;
    channel->channelApi.state = Channel::State::Ended;
    registry_.Remove(*channel);
  }
  for (const std::shared_ptr<Channel>& channel : stolen_) registry_.Remove(*channel);
  for (const Event& event : events_)
    if (event.ended) registry_.Remove(*event.ended);
  for (const std::shared_ptr<Group>& group : groups_) {
    group->api.gone = true;
    registry_.Remove(*group);
  }
  units_.clear();
  connections_.clear();
  channels_.clear();
  channelList_.clear();
  stolen_.clear();
  events_.clear();
  pendingEnds_.clear();
  groups_.clear();
  master_.reset();
  retired_.clear();
}

}  // namespace sonvel::engine::core
