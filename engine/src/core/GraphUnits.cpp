// The API side of the graph, its units: made, released, connected and
// moved in and out of chains by the entry points of DSP units and of a
// control's chain.
#include <algorithm>

#include "Builtins.h"
#include "Engine.h"
#include "Graph.h"
#include "Slots.h"

namespace sonvel::engine::core {

// ---------------------------------------------------------------------------
// Units and connections

FMOD_RESULT Graph::EnsureCapacity(Unit& unit, int width) {
  width = std::clamp(width, 1, kMaxWidth);
  if (unit.api.capacity >= width) return FMOD_OK;
  if (!Reserve(2 + unit.api.inputs.size() + unit.api.outputs.size())) return FMOD_ERR_MEMORY;
  auto buffer = std::make_shared<std::vector<float>>(std::size_t(width) * engine_.format.blockFrames, 0.0f);
  Command swap = Make(Command::Op::SwapBuffer, &unit, buffer.get());
  swap.x = std::uint64_t(width);
  Send(swap);
  Retire(buffer);  // after the swap it holds the old buffer
  unit.api.capacity = width;
  const int least = engine_.format.channels;
  auto regain = [&](Connection& c) {
    const int rows = std::max(c.api.output->api.capacity, least), columns = std::max(c.api.input->api.capacity, least);
    auto gains = std::make_shared<std::vector<float>>(std::size_t(rows) * std::size_t(columns), 0.0f);
    Send(Make(Command::Op::SwapGains, &c, gains.get()));
    Retire(gains);
  };
  for (Connection* c : unit.api.inputs) regain(*c);
  for (Connection* c : unit.api.outputs) regain(*c);
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::NewUnit(std::unique_ptr<Processor> processor, FMOD_DSP_TYPE type, std::shared_ptr<Unit>& out) {
  // The mixer's walk through the graph is sized for this many units.
  if (!RoomForUnits(1)) return FMOD_ERR_MEMORY;
  auto unit = std::make_shared<Unit>(type, Role::Free, std::move(processor));
  unit->systemHandle = systemHandle_;
  unit->engine = self_;
  // A caller's unit may ask for any width; the engine's own follow their input.
  const int capacity = type == FMOD_DSP_TYPE_UNKNOWN ? kMaxWidth : std::max(engine_.format.channels, 8);
  unit->render.out.assign(std::size_t(capacity) * engine_.format.blockFrames, 0.0f);
  unit->render.capacity = capacity;
  unit->api.capacity = capacity;
  unit->settings.Publish(unit->api.settings);
  PutSlot(units_, unit);
  registry_.Add(unit);
  if (const FMOD_RESULT created = unit->processor->Created(*unit); created != FMOD_OK) {
    registry_.Remove(*unit);
    TakeSlot(units_, *unit);
    unit->api.gone = true;
    return created;
  }
  out = unit;
  return FMOD_OK;
}

FMOD_RESULT Graph::ReleaseUnit(Unit& unit) {
  if (unit.role != Role::Free) return FMOD_ERR_DSP_RESERVED;
  if (unit.api.chain != nullptr || unit.api.played != nullptr) return FMOD_ERR_DSP_INUSE;
  auto routing = [](const Connection* c) { return c->api.input->api.route == c; };
  for (const Connection* c : unit.api.inputs)
    if (!routing(c)) return FMOD_ERR_DSP_INUSE;
  for (const Connection* c : unit.api.outputs)
    if (!routing(c)) return FMOD_ERR_DSP_INUSE;
  if (!Reserve(4 + unit.api.inputs.size() + unit.api.outputs.size())) return FMOD_ERR_MEMORY;
  // The routes of a send and into a return go with them.
  for (Connection* c : std::vector<Connection*>(unit.api.inputs)) Drop(*c);
  for (Connection* c : std::vector<Connection*>(unit.api.outputs)) Drop(*c);
  Forget(unit);
  // The release callback runs once the mixer no longer renders the unit.
  Quiesce();
  unit.processor->Releasing();
  return FMOD_OK;
}

FMOD_RESULT Graph::AddInput(Unit& output, Unit& input, FMOD_DSPCONNECTION_TYPE type, Connection*& connection) {
  connection = nullptr;
  if (int(type) < 0 || type >= FMOD_DSPCONNECTION_TYPE_MAX) return FMOD_ERR_INVALID_PARAM;
  const bool runs = type == FMOD_DSPCONNECTION_TYPE_STANDARD || type == FMOD_DSPCONNECTION_TYPE_SIDECHAIN;
  // A connection that runs its input may not close a loop of such
  // connections (a send only reads what its input made last).
  if (&input == &output || (runs && Reaches(input, output))) return FMOD_ERR_DSP_CONNECTION;
  if (!Reserve(8 + input.api.inputs.size() + input.api.outputs.size())) return FMOD_ERR_MEMORY;
  if (output.role == Role::Free) EnsureCapacity(output, input.api.capacity);
  connection = Connect(input, output, type, false).get();
  for (Unit* end : {&input, &output})
    if (end->role == Role::ChannelFader && end->control != nullptr && !end->control->api.gone)
      RefreshFused(static_cast<Channel&>(*end->control));
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::Disconnect(Unit& unit, Unit* target, Connection* connection) {
  if (connection != nullptr && connection->api.input != &unit && connection->api.output != &unit)
    return FMOD_ERR_INVALID_PARAM;
  std::vector<Connection*> drop;
  auto consider = [&](Connection* c, Unit* other) {
    if ((target == nullptr || other == target) && (connection == nullptr || c == connection)) drop.push_back(c);
  };
  for (Connection* c : unit.api.inputs) consider(c, c->api.input);
  for (Connection* c : unit.api.outputs) consider(c, c->api.output);
  if (target != nullptr && drop.empty()) return FMOD_ERR_DSP_NOTFOUND;
  if (!Reserve(4 * drop.size() + 4)) return FMOD_ERR_MEMORY;
  for (Connection* c : drop) Drop(*c);
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::DisconnectAll(Unit& unit, bool inputs, bool outputs) {
  std::vector<Connection*> drop;
  if (inputs) drop.insert(drop.end(), unit.api.inputs.begin(), unit.api.inputs.end());
  if (outputs) drop.insert(drop.end(), unit.api.outputs.begin(), unit.api.outputs.end());
  if (!Reserve(4 * drop.size() + 4)) return FMOD_ERR_MEMORY;
  for (Connection* c : drop) Drop(*c);
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::InsertUnit(Control& control, int index, Unit& unit) {
  std::vector<Unit*>& chain = control.api.chain;
  const int size = int(chain.size());
  if (index == FMOD_CHANNELCONTROL_DSP_HEAD) index = 0;
  else if (index == FMOD_CHANNELCONTROL_DSP_TAIL) index = size;
  else if (index == FMOD_CHANNELCONTROL_DSP_FADER)
    index = int(std::find(chain.begin(), chain.end(), control.fader.get()) - chain.begin());
  if (index < 0 || index > size) return FMOD_ERR_INVALID_PARAM;
  if (unit.role != Role::Free) return FMOD_ERR_DSP_RESERVED;
  if (unit.api.chain != nullptr || unit.api.played != nullptr || !unit.api.outputs.empty()) return FMOD_ERR_DSP_INUSE;
  if (!Reserve(16 + unit.api.inputs.size())) return FMOD_ERR_MEMORY;
  const Channel* channel = control.isGroup ? nullptr : &static_cast<const Channel&>(control);
  const bool soundTail = index == size && channel != nullptr && channel->PlaysSound();
  // Before the fader of a channel the signal is as wide as its sound.
  const int faderAt = int(std::find(chain.begin(), chain.end(), control.fader.get()) - chain.begin());
  const int width = channel != nullptr && channel->PlaysSound() && index > faderAt ? channel->sound->channels
                                                                                 : engine_.format.channels;
  EnsureCapacity(unit, width);

  // Fades in from passing its input through, so the signal has no step.
  unit.api.settings.active = true;
  unit.settings.Publish(unit.api.settings);
  Command fadeIn = Make(Command::Op::Transition, &unit);
  fadeIn.x = 1;
  Send(fadeIn);

  Unit* below = index < size ? chain[std::size_t(index)] : nullptr;  // null: the channel's source
  if (soundTail) {
    Unit& oldTail = *chain.back();
    Send(Make(Command::Op::SetSource, &oldTail, nullptr));
    Send(Make(Command::Op::SetSource, &unit, const_cast<Channel*>(channel)));
    Connect(unit, oldTail, FMOD_DSPCONNECTION_TYPE_STANDARD, true);
  } else {
    // The connection out of `below` (into the unit above, or out of the
    // head into the parent) now leaves the new unit; `below` feeds the new
    // unit. At the tail of a group `below` is its mixing head, for a unit
    // played as a channel the played unit.
    Unit* from = below;
    if (from == nullptr) from = control.isGroup ? static_cast<Group&>(control).mixer.get() : channel->played.get();
    Unit* above = index > 0 ? chain[std::size_t(index) - 1] : nullptr;
    Connection* edge = nullptr;
    if (above == nullptr) {
      edge = control.api.output;
    } else if (from != nullptr) {
      for (Connection* c : above->api.inputs)
        if (c->api.input == from && c->api.chainLink) edge = c;
    }
    if (edge != nullptr) Repoint(*edge, unit);
    if (from != nullptr) Connect(*from, unit, FMOD_DSPCONNECTION_TYPE_STANDARD, true);
  }
  if (index == 0) {
    Unit& oldHead = *chain.front();
    Send(Make(Command::Op::SetGate, &oldHead, nullptr));
    Send(Make(Command::Op::SetGate, &unit, &control));
    if (control.isGroup && static_cast<Group&>(control).isMaster) Send(Make(Command::Op::SetOutput, &unit));
  }
  chain.insert(chain.begin() + index, &unit);
  unit.api.chain = &control;
  if (channel != nullptr) RefreshFused(static_cast<Channel&>(control));
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::RemoveUnit(Control& control, Unit& unit) {
  std::vector<Unit*>& chain = control.api.chain;
  const auto at = std::find(chain.begin(), chain.end(), &unit);
  if (at == chain.end()) return FMOD_ERR_DSP_NOTFOUND;
  if (unit.role != Role::Free) return FMOD_ERR_DSP_RESERVED;
  if (!Reserve(16)) return FMOD_ERR_MEMORY;
  const std::size_t index = std::size_t(at - chain.begin());
  const Channel* channel = control.isGroup ? nullptr : &static_cast<const Channel&>(control);
  const bool soundTail = index + 1 == chain.size() && channel != nullptr && channel->PlaysSound();

  // First the unit fades to passing its input through (one block), then
  // the chain closes over it.
  Command fadeOut = Make(Command::Op::Transition, &unit);
  fadeOut.x = 0;
  Send(fadeOut);
  Send(Make(Command::Op::Barrier));

  Unit* above = index > 0 ? chain[index - 1] : nullptr;
  if (soundTail) {
    Send(Make(Command::Op::SetSource, &unit, nullptr));
    Send(Make(Command::Op::SetSource, above, const_cast<Channel*>(channel)));
  }
  // What fed the unit within the chain.
  Unit* from = nullptr;
  for (Connection* c : std::vector<Connection*>(unit.api.inputs))
    if (c->api.chainLink) {
      from = c->api.input;
      Drop(*c);
    }
  Connection* edge = nullptr;
  if (above == nullptr) {
    edge = control.api.output;
  } else {
    for (Connection* c : unit.api.outputs)
      if (c->api.output == above && c->api.chainLink) edge = c;
  }
  if (edge != nullptr) {
    if (from != nullptr) Repoint(*edge, *from);
    else Drop(*edge);
  }
  if (index == 0 && chain.size() > 1) {
    Send(Make(Command::Op::SetGate, &unit, nullptr));
    Send(Make(Command::Op::SetGate, chain[1], &control));
    if (control.isGroup && static_cast<Group&>(control).isMaster) Send(Make(Command::Op::SetOutput, chain[1]));
  }
  chain.erase(at);
  unit.api.chain = nullptr;
  if (channel != nullptr) RefreshFused(static_cast<Channel&>(control));
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::MoveUnit(Control& control, Unit& unit, int index) {
  std::vector<Unit*>& chain = control.api.chain;
  const auto at = std::find(chain.begin(), chain.end(), &unit);
  if (at == chain.end()) return FMOD_ERR_DSP_NOTFOUND;
  if (index == FMOD_CHANNELCONTROL_DSP_HEAD) index = 0;
  else if (index == FMOD_CHANNELCONTROL_DSP_TAIL) index = int(chain.size()) - 1;
  if (index < 0 || index >= int(chain.size())) return FMOD_ERR_INVALID_PARAM;
  if (index == int(at - chain.begin())) return FMOD_OK;
  if (unit.role != Role::Free) return FMOD_ERR_DSP_RESERVED;  // the fader keeps its place
  if (const FMOD_RESULT removed = RemoveUnit(control, unit); removed != FMOD_OK) return removed;
  return InsertUnit(control, index, unit);
}

FMOD_RESULT Graph::ResetUnit(Unit& unit) {
  if (!Reserve(1)) return FMOD_ERR_MEMORY;
  Send(Make(Command::Op::ResetUnit, &unit));
  Commit();
  return FMOD_OK;
}

FMOD_RESULT Graph::SetUnitPosition(Unit& unit, unsigned position) {
  if (!Reserve(1)) return FMOD_ERR_MEMORY;
  Command command = Make(Command::Op::SetUnitPosition, &unit);
  command.x = position;
  Send(command);
  Commit();
  return FMOD_OK;
}

void Graph::Route(Unit& send) {
  const auto& processor = static_cast<const SendProcessor&>(*send.processor);
  const int id = processor.IntAt(FMOD_DSP_SEND_RETURNID);
  Unit* target = nullptr;
  if (id >= 0)
    for (const std::shared_ptr<Unit>& unit : units_)
      if (unit->type == FMOD_DSP_TYPE_RETURN && static_cast<const ReturnProcessor&>(*unit->processor).Id() == id)
        target = unit.get();
  if (!Reserve(8)) return;
  if (send.api.route != nullptr && send.api.route->api.output != target) Drop(*send.api.route);
  if (target != nullptr && send.api.route == nullptr)
    send.api.route = Connect(send, *target, FMOD_DSPCONNECTION_TYPE_SEND, false).get();
  if (Connection* route = send.api.route) {
    route->api.settings.mix = processor.FloatAt(FMOD_DSP_SEND_LEVEL);
    Publish(*route);
  }
  Commit();
}

void Graph::ParameterChanged(Unit& unit, int index) {
  if (unit.type == FMOD_DSP_TYPE_SEND && (index == FMOD_DSP_SEND_RETURNID || index == FMOD_DSP_SEND_LEVEL))
    Route(unit);
  // A channel's or group's fader gain travels with the control's settings,
  // which the mixer reads anyway.
  if ((unit.role == Role::ChannelFader || unit.role == Role::GroupFader) && index == FMOD_DSP_FADER_GAIN &&
      unit.control != nullptr && !unit.control->api.gone) {
    unit.control->api.settings.faderGain = static_cast<const FaderProcessor&>(*unit.processor).Gain();
    Publish(*unit.control);
  }
}

}  // namespace sonvel::engine::core
