// The API side of an engine: the model of the control tree and the signal
// graph that the entry points read and change, under one mutex.
//
// Every change updates the model at once (so the next call sees it) and
// reaches the mixer as commands, staged while the change is made and
// committed together at its end, or as a settings snapshot. Objects the mixer
// may still see when they leave the model wait in a retire list until the
// mixer has applied the commands that dropped them and finished two more
// blocks.
//
//   std::lock_guard lock(graph.mutex);
//   channel.api.settings.volume = 0.5f;
//   graph.Publish(channel);
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Mixer.h"
#include "Objects.h"
#include "ReverbZones.h"
#include "Spatial.h"

namespace sonvel::engine::core {

class Engine;

// Handles for the objects the graph makes itself come from the API's
// registry through this interface (core knows nothing of handles).
class Registry {
public:
  virtual ~Registry() = default;
  virtual void Add(const std::shared_ptr<Unit>& unit) = 0;
  virtual void Add(const std::shared_ptr<Connection>& connection) = 0;
  virtual void Add(const std::shared_ptr<Channel>& channel) = 0;
  virtual void Add(const std::shared_ptr<Group>& group) = 0;
  virtual void Remove(Unit& unit) = 0;
  virtual void Remove(Connection& connection) = 0;
  virtual void Remove(Channel& channel) = 0;
  virtual void Remove(Group& group) = 0;
};

// A callback for FMOD_System_Update to deliver on the caller's thread.
struct Event {
  FMOD_CHANNELCONTROL* control = nullptr;
  FMOD_CHANNELCONTROL_TYPE kind = FMOD_CHANNELCONTROL_CHANNEL;
  FMOD_CHANNELCONTROL_CALLBACK callback = nullptr;
  FMOD_CHANNELCONTROL_CALLBACK_TYPE type = FMOD_CHANNELCONTROL_CALLBACK_END;
  std::intptr_t data1 = 0;
  std::shared_ptr<Channel> ended;  // a channel whose handle goes once this ran
};

// What a new channel takes from its sound.
struct PlaySettings {
  FMOD_SOUND* soundHandle = nullptr;
  float frequency = 44100.0f;
  int priority = 128;
  FMOD_MODE mode = FMOD_2D | FMOD_LOOP_OFF;
  std::uint32_t loopStart = 0;
  std::uint32_t loopEnd = 0;
  int loopCount = -1;
  float minDistance = 1.0f;
  float maxDistance = 10000.0f;
  float coneInside = 360.0f;
  float coneOutside = 360.0f;
  float coneOutsideVolume = 1.0f;
  std::vector<FMOD_VECTOR> customRolloff;
};

class Graph {
public:
  Graph(Engine& engine, Mixer& mixer, Registry& registry, FMOD_SYSTEM* systemHandle);
  ~Graph();

  std::mutex mutex;  // guards every object's `api` half; never taken by the mixer

  // ---- Everything below: hold `mutex`.
  void Start(const std::weak_ptr<Engine>& self);  // makes the master group
  void Shutdown();  // every object leaves (the output has stopped)
  bool Running() const noexcept { return master_ != nullptr; }

  Group& Master() noexcept { return *master_; }
  FMOD_RESULT NewGroup(const std::string& name, std::shared_ptr<Group>& out);
  FMOD_RESULT PlaySound(const std::shared_ptr<SoundData>& sound, const PlaySettings& settings, Group* group,
                        bool paused, std::shared_ptr<Channel>& out);
  FMOD_RESULT PlayUnit(Unit& unit, Group* group, bool paused, std::shared_ptr<Channel>& out);
  void Stop(Channel& channel, Channel::State why = Channel::State::Ended);
  void StopBelow(Group& group);
  void StopSound(const SoundData& sound);
  FMOD_RESULT SetParent(Channel& channel, Group& group);
  FMOD_RESULT AddGroup(Group& parent, Group& child, Connection*& connection);
  FMOD_RESULT ReleaseGroup(Group& group);
  bool IsPlayingBelow(const Group& group) const noexcept;
  void CountPlaying(int& all, int& real) const noexcept;
  const std::vector<Channel*>& Channels() const noexcept { return channelList_; }

  // Settings, after the caller changed the object's `api.settings`.
  void Publish(Control& control);
  void Publish(Unit& unit);
  void Publish(Connection& connection);
  // A channel's position and loop, taken up by the mixer.
  FMOD_RESULT Seek(Channel& channel, std::uint64_t frame);
  FMOD_RESULT SendLoop(Channel& channel);
  std::uint64_t PositionOf(const Channel& channel) const noexcept;
  // 3D: the work for every 3D channel is gathered under the mutex, done
  // without it (the program's rolloff callback may call the engine) and
  // applied under it again.
  struct Placing {
    std::shared_ptr<Channel> channel;
    spatial::Source source;
    spatial::Result result;
  };
  void Gather3D(std::vector<Placing>& work);
  void Apply3D(const std::vector<Placing>& work);
  float AudibilityOf(const Control& control) const noexcept;

  // The system's reverb instances: an SFX reverb each, made when its
  // properties are first set and mixed into the master group; every channel
  // and group sends its fader's output to each at its wet level (times what
  // its reverb occlusion lets through).
  FMOD_RESULT SetReverb(int instance, const FMOD_REVERB_PROPERTIES& properties);
  // FMOD_OK, or the code for a field out of its range (or not a number).
  FMOD_RESULT CheckReverb(const FMOD_REVERB_PROPERTIES& properties) const;
  FMOD_REVERB_PROPERTIES ReverbOf(int instance) const noexcept;
  FMOD_RESULT SetReverbWet(Control& control, int instance, float wet);
  // After a control's reverb occlusion changed.
  void RefreshReverbSends(Control& control);
  // The 3D reverb zones, which drive instance kZoneInstance: added,
  // removed, and (after any change, and at each update for the listener's
  // move) blended into what that instance plays.
  FMOD_RESULT AddZone(const std::shared_ptr<ReverbZone>& zone);
  void RemoveZone(const ReverbZone& zone);
  void UpdateZones();
  int NextReturnId() noexcept { return nextReturnId_++; }

  // Units and connections.
  FMOD_RESULT NewUnit(std::unique_ptr<Processor> processor, FMOD_DSP_TYPE type, std::shared_ptr<Unit>& out);
  FMOD_RESULT ReleaseUnit(Unit& unit);
  FMOD_RESULT AddInput(Unit& output, Unit& input, FMOD_DSPCONNECTION_TYPE type, Connection*& connection);
  FMOD_RESULT Disconnect(Unit& unit, Unit* target, Connection* connection);
  FMOD_RESULT DisconnectAll(Unit& unit, bool inputs, bool outputs);
  FMOD_RESULT InsertUnit(Control& control, int index, Unit& unit);
  FMOD_RESULT RemoveUnit(Control& control, Unit& unit);
  FMOD_RESULT MoveUnit(Control& control, Unit& unit, int index);
  FMOD_RESULT ResetUnit(Unit& unit);
  FMOD_RESULT SetUnitPosition(Unit& unit, unsigned position);
  // After a parameter of `unit` changed: a send follows its return id and level.
  void ParameterChanged(Unit& unit, int index);
  // Grows a unit's buffer to hold `width` channels.
  FMOD_RESULT EnsureCapacity(Unit& unit, int width);

  // Frees `object` once the mixer can no longer be reading it.
  void RetireLater(std::shared_ptr<void> object) { Retire(std::move(object)); }

  // ---- The hand-off.
  // Takes in what the mixer reported: ended channels, callbacks to deliver,
  // objects it no longer sees.
  void Poll();
  // The callbacks waiting for FMOD_System_Update.
  void TakeEvents(std::vector<Event>& events);

private:
  Command Make(Command::Op op, void* a = nullptr, void* b = nullptr, void* c = nullptr) const noexcept;
  // Room for `count` more commands: applies waiting ones itself when the
  // mixer is held or does not run, else waits a little for it. False when
  // there is none (the change then answers FMOD_ERR_MEMORY).
  bool Reserve(std::size_t count);
  void Send(const Command& command);  // stage; committed by Commit
  // Whether `count` more units fit the graph the mixer is sized for.
  bool RoomForUnits(std::size_t count) const noexcept {
    return units_.size() + count <= std::size_t(mixer_.limits.units);
  }
  void Commit();
  void Retire(std::shared_ptr<void> object);
  void Reclaim();
  // Waits until the mixer no longer sees what was dropped so far.
  void Quiesce();

  std::shared_ptr<Unit> NewInternalUnit(FMOD_DSP_TYPE type, Role role, Control* control, int capacity,
                                        std::unique_ptr<Processor> processor = nullptr);
  // A control's send to one reverb instance, made, re-levelled or dropped
  // to match its wet level.
  void SendToReverb(Control& control, int instance);
  // The instance's unit, made (and connected) on first use; false when
  // there is no room.
  bool EnsureReverb(int instance);
  // Sets the unit's parameters to `properties` when they differ from what it plays.
  void PlayReverb(int instance, const FMOD_REVERB_PROPERTIES& properties);
  std::shared_ptr<Connection> Connect(Unit& input, Unit& output, FMOD_DSPCONNECTION_TYPE type, bool chainLink,
                                      bool rampIn = false);
  void Drop(Connection& connection);  // out of the model and the mixer
  void Repoint(Connection& connection, Unit& input);
  bool Reaches(const Unit& from, const Unit& to) const;  // `to` feeds `from`, directly or not
  void RefreshFused(Channel& channel);
  void NewControl(Control& control, Group* parent);
  // A channel under `parent` with a free index, room for its commands and
  // its fader; `Admit` sends it to the mixer and lists it.
  FMOD_RESULT NewChannel(Group& parent, std::shared_ptr<Channel>& out);
  void Admit(const std::shared_ptr<Channel>& channel, Group& parent);
  void DetachChain(Control& control);
  void Forget(Unit& unit);
  void Place(Channel& channel, const spatial::Result& result);
  Unit& MixerOf(Group* group) noexcept { return *(group != nullptr ? group : master_.get())->mixer; }
  void Route(Unit& send);  // a send's connection to its return
  void Queue(Control& control, FMOD_CHANNELCONTROL_CALLBACK_TYPE type, std::intptr_t data1,
             std::shared_ptr<Channel> ended = nullptr);

  Engine& engine_;
  Mixer& mixer_;
  Registry& registry_;
  FMOD_SYSTEM* const systemHandle_;
  std::weak_ptr<Engine> self_;

  std::shared_ptr<Group> master_;
  std::vector<std::shared_ptr<Group>> groups_;
  std::vector<std::shared_ptr<Channel>> channels_;  // playing, in the order they started
  std::vector<Channel*> channelList_;               // the same, for walks
  std::deque<std::shared_ptr<Channel>> stolen_;     // kept so their handles answer "stolen"
  std::vector<std::shared_ptr<Unit>> units_;
  std::vector<std::shared_ptr<Connection>> connections_;
  std::vector<std::uint8_t> indexUsed_;
  std::uint64_t nextSerial_ = 0;
  int nextReturnId_ = 0;
  struct ReverbInstance {
    std::shared_ptr<Unit> unit;
    FMOD_REVERB_PROPERTIES properties = FMOD_PRESET_OFF;  // as set (for the zones' instance: the ambient)
    FMOD_REVERB_PROPERTIES playing = FMOD_PRESET_OFF;     // what the unit was last given
  };
  ReverbInstance reverbs_[FMOD_REVERB_MAXINSTANCES];
  std::vector<std::shared_ptr<ReverbZone>> zones_;

  std::vector<Event> events_;
  std::vector<Channel*> pendingEnds_;  // ended channels whose stop found no room yet

  struct Retired {
    std::uint64_t sequence;  // the commands that dropped it
    std::uint64_t epoch;     // the mixer's epoch once they were applied
    std::shared_ptr<void> object;
  };
  std::deque<Retired> retired_;
};

}  // namespace sonvel::engine::core
