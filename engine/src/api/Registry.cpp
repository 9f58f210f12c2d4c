#include "Registry.h"

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

namespace {

class HandleRegistry final : public core::Registry {
public:
  void Add(const std::shared_ptr<core::Unit>& unit) override { unit->handle = Dsps().Add<FMOD_DSP>(unit); }
  void Add(const std::shared_ptr<core::Connection>& c) override {
    c->handle = DspConnections().Add<FMOD_DSPCONNECTION>(c);
  }
  void Add(const std::shared_ptr<core::Channel>& channel) override {
    channel->handle = Channels().Add<FMOD_CHANNEL>(channel);
  }
  void Add(const std::shared_ptr<core::Group>& group) override { group->handle = Groups().Add<FMOD_CHANNELGROUP>(group); }
  void Remove(core::Unit& unit) override { Dsps().Remove(unit.handle); }
  void Remove(core::Connection& c) override { DspConnections().Remove(c.handle); }
  void Remove(core::Channel& channel) override { Channels().Remove(channel.handle); }
  void Remove(core::Group& group) override { Groups().Remove(group.handle); }
};

}  // namespace

core::Registry& TheRegistry() {
  // Made before the tables' first use is over, so it is destroyed after
  // anything that might still call it.
  static HandleRegistry registry;
  return registry;
}

}  // namespace sonvel::engine
