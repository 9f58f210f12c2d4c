// The objects of one engine: DSP units and the connections between them
// (the signal graph), and channels and channel groups (the control tree).
//
// Every object has two halves and a bridge between them:
// - `api`: what the API side knows and changes, guarded by the graph's
//   mutex (Graph.h). Only API threads touch it.
// - `render`: what the mixer works with. Only the mixer touches it, and only
//   commands (Mixer.h) change its links.
// - snapshots and atomics: settings the API publishes for the mixer, and
//   figures the mixer publishes for the API.
//
// Objects are owned through shared pointers (the graph's lists, the handle
// registry, calls in flight); the mixer keeps raw pointers only, and an
// object the mixer may still see is kept alive by the graph's retire list
// until the mixer has moved past it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Format.h"
#include "Processor.h"
#include "Settings.h"
#include "Snapshot.h"
#include "SoundData.h"
#include "Spatial.h"

namespace sonvel::engine::core {

class Engine;
class Connection;
class Control;
class Channel;
class Group;

// What part a unit plays in the graph: the faders and the mixing heads of
// groups belong to their channel or group and cannot be released.
enum class Role : std::uint8_t { Free, ChannelFader, GroupFader, GroupMixer, SystemReverb };

class Unit {
public:
  Unit(FMOD_DSP_TYPE type, Role role, std::unique_ptr<Processor> processor, Control* control = nullptr);

  FMOD_DSP* handle = nullptr;  // given by the API's registry
  FMOD_SYSTEM* systemHandle = nullptr;
  std::weak_ptr<Engine> engine;
  const FMOD_DSP_TYPE type;
  const Role role;
  const std::unique_ptr<Processor> processor;
  Control* const control;  // the channel or group a fader or mixing head belongs to

  struct ApiSide {
    std::vector<Connection*> inputs;   // in the order they were added
    std::vector<Connection*> outputs;
    Control* chain = nullptr;   // the channel or group whose chain holds it
    Channel* played = nullptr;  // the channel it plays on (FMOD_System_PlayDSP)
    Connection* route = nullptr;  // a send's connection to its return
    UnitSettings settings;
    int capacity = 0;  // the widest signal its buffer holds
    bool gone = false;
    std::size_t slot = 0;  // in the graph's list
  } api;

  Snapshot<UnitSettings> settings;
  std::atomic<void*> userData{nullptr};  // a caller's DSP may read it while it processes
  // Written by the mixer when metering is on.
  Snapshot<FMOD_DSP_METERING_INFO> inputMeter;
  Snapshot<FMOD_DSP_METERING_INFO> outputMeter;
  std::atomic<bool> idle{true};
  std::atomic<int> width{0};  // channels of its last output

  struct RenderSide {
    Connection* firstInput = nullptr;
    Connection* lastInput = nullptr;
    int rendered = 0;            // linked inputs the walk must render first (run, not fused)
    Channel* source = nullptr;   // a sound channel whose voice feeds this unit
    Channel* fused = nullptr;    // set on a channel fader mixed straight into its consumer
    Control* gate = nullptr;     // the control whose pause (or virtual voice) silences this head
    std::vector<float> out;      // capacity * block frames
    int capacity = 0;
    int width = 0;
    Layout layout = Layout::Speakers;
    bool silent = true;
    std::uint64_t visited = ~0ull;  // block stamps
    std::uint64_t done = ~0ull;
    // Cross-fade between the processed signal (1) and the input passed
    // through (0), for insertion, removal and bypass.
    float transition = 1.0f;
    float transitionTarget = 1.0f;
  } render;
};

class Connection {
public:
  explicit Connection(FMOD_DSPCONNECTION_TYPE type) : type(type) {}

  FMOD_DSPCONNECTION* handle = nullptr;
  std::weak_ptr<Engine> engine;
  const FMOD_DSPCONNECTION_TYPE type;
  // Standard and sidechain connections run their input; send connections
  // read what it last produced.
  bool Executes() const noexcept {
    return type == FMOD_DSPCONNECTION_TYPE_STANDARD || type == FMOD_DSPCONNECTION_TYPE_SIDECHAIN;
  }
  bool ToSidechain() const noexcept {
    return type == FMOD_DSPCONNECTION_TYPE_SIDECHAIN || type == FMOD_DSPCONNECTION_TYPE_SEND_SIDECHAIN;
  }

  struct ApiSide {
    Unit* input = nullptr;   // the unit whose signal it carries
    Unit* output = nullptr;  // the unit it feeds
    ConnectionSettings settings;
    void* userData = nullptr;
    bool chainLink = false;  // made by a channel's or group's chain
    bool gone = false;
    std::size_t slot = 0;
  } api;

  Snapshot<ConnectionSettings> settings;
  std::atomic<int> inWidth{0};   // the widths it last mixed
  std::atomic<int> outWidth{0};

  struct RenderSide {
    Unit* input = nullptr;
    Unit* output = nullptr;
    Connection* previous = nullptr;  // in the output's input list
    Connection* next = nullptr;
    Connection* nextFading = nullptr;
    Channel* fused = nullptr;  // carries a channel mixed straight into its consumer
    bool linked = false;
    bool fadingOut = false;
    bool primed = false;
    int rows = 0;  // the shape lastGains was primed for
    int columns = 0;
    std::vector<float> lastGains;  // out capacity * in capacity
  } render;
};

// What channels and groups share: the channel-control settings and a chain
// of units with the fader among them.
class Control {
public:
  explicit Control(bool isGroup) : isGroup(isGroup) {}
  virtual ~Control() = default;

  const bool isGroup;
  FMOD_SYSTEM* systemHandle = nullptr;
  std::weak_ptr<Engine> engine;
  std::shared_ptr<Unit> fader;

  struct ApiSide {
    ControlSettings settings;
    Group* parent = nullptr;
    std::vector<Unit*> chain;        // index 0 is the head, which feeds the parent
    Connection* output = nullptr;    // head -> the parent's mixing head
    spatial::Source source;          // the 3D settings
    FMOD_MODE mode = FMOD_2D | FMOD_LOOP_OFF;
    FMOD_CHANNELCONTROL_CALLBACK callback = nullptr;
    void* userData = nullptr;
    // The level sent to each of the system's reverb instances.
    float reverbWet[FMOD_REVERB_MAXINSTANCES] = {0, 0, 0, 0};
    bool gone = false;
    std::size_t slot = 0;
  } api;

  Snapshot<ControlSettings> settings;

  struct RenderSide {
    Group* parent = nullptr;
    std::uint64_t prepared = ~0ull;  // block stamp
    float pitch = 1.0f;        // own times every group's above
    bool paused = false;       // own or any group's above
    float audibility = 1.0f;   // ControlGain times every group's above
    Window window;
    // The gains the last block ended with, so that changes ramp.
    std::vector<float> lastGains;
    int lastIn = 0;
    bool primed = false;
    float lowpass[kMaxWidth] = {};
  } render;

  // Takes a mode and what it says about 3D into the API side's settings.
  void UseMode(FMOD_MODE mode) noexcept;
};

// A channel's voice: where it is in its sound. The mixer's alone.
struct Voice {
  int width = 1;
  FMOD_MODE loopMode = FMOD_LOOP_OFF;
  int loopCount = -1;          // loops left; -1 forever
  std::uint32_t loopStart = 0;
  std::uint32_t loopEnd = 0;   // inclusive
  bool started = false;        // A and B hold the first frames
  std::int64_t readPos = 0;    // the next source frame to pull
  bool backwards = false;      // in the backward half of a bidirectional loop
  bool sourceEnded = false;
  int realFrames = 2;          // how many of A and B hold data
  std::uint32_t phase = 0;     // between A and B, in 1/2^32 of a frame
  std::uint64_t positionA = 0; // source frames of A and B
  std::uint64_t positionB = 0;
  float frameA[kMaxWidth] = {};
  float frameB[kMaxWidth] = {};
};

class Channel : public Control {
public:
  Channel() : Control(false) {}

  enum class State { Playing, Ended, Stolen };

  FMOD_CHANNEL* handle = nullptr;
  int index = 0;
  std::uint64_t serial = 0;  // play order, the last tie-break between voices
  std::shared_ptr<SoundData> sound;  // null for a unit played as a channel
  FMOD_SOUND* soundHandle = nullptr;
  std::shared_ptr<Unit> played;      // the unit FMOD_System_PlayDSP plays

  struct ChannelApiSide {
    State state = State::Playing;
    FMOD_MODE loopMode = FMOD_LOOP_OFF;
    int loopCount = -1;
    std::uint32_t loopStart = 0;
    std::uint32_t loopEnd = 0;
    // A position set but not yet taken up by the mixer.
    std::uint64_t seekSequence = 0;
    std::uint64_t seekFrame = 0;
    bool fused = false;  // its fader mixes straight into the group
    Connection* fusedConnection = nullptr;  // the connection marked for it
  } channelApi;

  // Published by the mixer.
  std::atomic<std::uint64_t> position{0};
  std::atomic<bool> isVirtual{false};
  std::atomic<float> audibility{1.0f};

  struct ChannelRenderSide {
    std::size_t slot = 0;      // in the mixer's channel list
    Voice voice;
    bool isVirtual = false;
    bool ended = false;        // the voice ran out or its delay stopped it
    bool endNoticed = false;   // the API was told
    std::uint64_t advanced = ~0ull;  // block stamp
  } channelRender;

  bool PlaysSound() const noexcept { return sound != nullptr; }
};

class Group : public Control {
public:
  Group() : Control(true) {}

  FMOD_CHANNELGROUP* handle = nullptr;
  std::string name;
  bool isMaster = false;
  std::shared_ptr<Unit> mixer;  // mixes every channel and group playing into this one

  struct GroupApiSide {
    std::vector<Group*> groups;      // sub-groups, in the order they were added
    std::vector<Channel*> channels;  // channels playing into this group
  } groupApi;

  struct GroupRenderSide {
    std::uint64_t delayNoticed = 0;  // the delay end last reported
  } groupRender;
};

}  // namespace sonvel::engine::core
