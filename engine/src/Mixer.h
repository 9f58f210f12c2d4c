// The mixer: channels (one playing sound each) and channel groups (a tree
// with the master group at its root), rendered block by block into the
// software format.
//
// Threads: every field of the channels and groups below is guarded by the
// mixer's one lock, `Mixer::mutex`. The API takes it for each call that reads
// or changes them; the mixer takes it for each block it renders; LockDSP
// holds it for the caller. Callbacks are not called under the lock: the
// mixer queues events and FMOD_System_Update delivers them on the caller's
// thread.
//
// Lifetime: the handle tables and the mixer's lists hold shared ownership.
// The mixer never drops the last owner of a channel (whose sound's memory it
// may own): ended channels wait in `finished` until an API thread collects
// them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Device.h"
#include "Handles.h"
#include "Sound.h"
#include "Spatial.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"

namespace sonvel::engine {

class System;
class Group;
class Mixer;

// The one DSP unit every channel and group has at the head of its chain.
struct Dsp {
  FMOD_DSP* handle = nullptr;
  FMOD_SYSTEM* systemHandle = nullptr;
  FMOD_DSP_TYPE type = FMOD_DSP_TYPE_FADER;
};
using DspTable = HandleTable<Dsp, HandleKind::Dsp>;
DspTable& Dsps();

// The connection AddGroup makes between a group and its new parent.
struct DspConnection {
  FMOD_DSPCONNECTION* handle = nullptr;
  float mix = 1.0f;
};
using DspConnectionTable = HandleTable<DspConnection, HandleKind::DspConnection>;
DspConnectionTable& DspConnections();

struct FadePoint {
  std::uint64_t clock = 0;
  float volume = 1.0f;
};

// What channels and groups have in common: the channel-control settings.
class Control {
public:
  explicit Control(bool isGroup) : isGroup(isGroup) {}
  virtual ~Control() = default;

  const bool isGroup;
  std::weak_ptr<Mixer> mixer;
  FMOD_SYSTEM* systemHandle = nullptr;
  Group* parent = nullptr;
  std::shared_ptr<Dsp> fader;

  bool paused = false;
  bool mute = false;
  bool volumeRamp = true;
  float volume = 1.0f;
  float pitch = 1.0f;
  float lowPassGain = 1.0f;
  float reverbWet[4] = {0, 0, 0, 0};
  FMOD_MODE mode = FMOD_2D | FMOD_LOOP_OFF;
  FMOD_CHANNELCONTROL_CALLBACK callback = nullptr;
  void* userData = nullptr;

  // Mix matrix, output rows by input columns (`matrixIn` wide).
  int matrixOut = 0;
  int matrixIn = 0;
  std::vector<float> matrix;

  // Delay by DSP clock; 0 for "no start / no end".
  std::uint64_t delayStart = 0;
  std::uint64_t delayEnd = 0;
  bool delayStops = false;
  std::vector<FadePoint> fades;  // in clock order

  spatial::Source source;

  // Mixer state: the gains the last block ended with, so that changes ramp.
  std::vector<float> lastGains;
  bool primed = false;
  float audibility = 1.0f;

  // Takes a mode and what it says about 3D into `source`.
  void UseMode(FMOD_MODE newMode) noexcept;

  // Volume after mute and fade points at `clock` (fade points interpolate).
  float FadeAt(std::uint64_t clock) const noexcept;
};

class Channel : public Control {
public:
  Channel() : Control(false) {}

  enum class State { Playing, Ended, Stolen };

  FMOD_CHANNEL* handle = nullptr;
  int index = 0;
  State state = State::Playing;
  std::shared_ptr<Sound> sound;
  int inChannels = 1;
  float frequency = 44100.0f;
  int priority = 128;
  bool isVirtual = false;
  std::uint64_t serial = 0;  // play order, the last tie-break between voices

  // Looping as this channel plays it.
  int loopCount = -1;  // loops left; -1 forever
  std::uint32_t loopStart = 0;
  std::uint32_t loopEnd = 0;  // inclusive

  bool started = false;   // A and B hold the first frames
  float attenuation = 1.0f;  // the last block's 3D attenuation
  // Reader: the next source frame to pull, and the direction (bidi loops).
  std::int64_t readPos = 0;
  bool backwards = false;
  bool sourceEnded = false;
  // Resampler: the two frames around the play position and the fraction.
  std::vector<float> frameA, frameB;
  int realFrames = 2;  // how many of A and B hold data (the end pads zeros)
  std::uint32_t phase = 0;  // position between A and B, in 1/2^32 of a frame
  std::uint64_t positionA = 0;  // source frame of A
  std::uint64_t positionB = 0;  // source frame of B
  float lowpassState[FMOD_MAX_CHANNEL_WIDTH] = {};

  bool Active() const noexcept { return state == State::Playing; }
};

class Group : public Control {
public:
  Group() : Control(true) {}

  FMOD_CHANNELGROUP* handle = nullptr;
  std::string name;
  bool isMaster = false;
  std::vector<Group*> groups;      // sub-groups, in the order they were added
  std::vector<Channel*> channels;  // channels playing into this group
  std::shared_ptr<DspConnection> connection;  // to the parent, once added
  std::vector<float> buffer;       // this group's mix of one block
};

using ChannelTable = HandleTable<Channel, HandleKind::Channel>;
ChannelTable& Channels();
using GroupTable = HandleTable<Group, HandleKind::ChannelGroup>;
GroupTable& Groups();

// An event for FMOD_System_Update to deliver.
struct ControlEvent {
  FMOD_CHANNELCONTROL* control = nullptr;
  FMOD_CHANNELCONTROL_TYPE kind = FMOD_CHANNELCONTROL_CHANNEL;
  FMOD_CHANNELCONTROL_CALLBACK callback = nullptr;
  FMOD_CHANNELCONTROL_CALLBACK_TYPE type = FMOD_CHANNELCONTROL_CALLBACK_END;
  std::intptr_t data1 = 0;
};

class Mixer final : public RenderTarget, public std::enable_shared_from_this<Mixer> {
public:
  // The most channels alive at once; beyond it a new sound takes the voice
  // of the least important one.
  static constexpr int kMaxChannels = 4096;

  // A mixer with its master group.
  static std::shared_ptr<Mixer> Create(System& system, FMOD_SYSTEM* systemHandle, const DeviceFormat& format,
                                       FMOD_SPEAKERMODE speakerMode, int realVoices);
  Mixer(System& system, FMOD_SYSTEM* systemHandle, const DeviceFormat& format, FMOD_SPEAKERMODE speakerMode,
        int realVoices);
  ~Mixer() override;
  // Ends every channel and releases every group (FMOD_System_Close).
  void Shutdown();

  std::recursive_mutex mutex;

  // ---- Everything below: hold `mutex`.
  System& system;
  FMOD_SYSTEM* const systemHandle;
  const DeviceFormat format;
  const FMOD_SPEAKERMODE speakerMode;
  const int realVoices;
  std::uint64_t clock = 0;  // frames rendered since Init
  std::shared_ptr<Group> master;
  std::vector<std::shared_ptr<Group>> groups;       // every live group, the master first
  std::vector<std::shared_ptr<Channel>> channels;   // every playing channel
  std::vector<std::shared_ptr<Channel>> finished;   // ended, for an API thread to drop
  std::vector<std::shared_ptr<Channel>> stolen;     // kept so their handles answer "stolen"
  std::vector<ControlEvent> events;
  spatial::SystemState space;  // copied from the system when it changes
  std::vector<std::uint8_t> indexUsed;
  // FMOD_System_LockDSP: who holds the lock for the program, how deep.
  std::atomic<std::thread::id> dspLockOwner{};
  int dspLockDepth = 0;

  // A new group under the master group (the master group itself first).
  std::shared_ptr<Group> NewGroup(const std::string& name);
  // Plays `sound` into `group` (null: the master group), paused or not.
  FMOD_RESULT Play(const std::shared_ptr<Sound>& sound, Group* group, bool paused, FMOD_CHANNEL** out);
  // Ends a channel now (Stop, its sound's release, a stolen voice).
  void End(Channel& channel, Channel::State why);
  // Moves a control under another group (SetChannelGroup, AddGroup).
  void Attach(Channel& channel, Group& group);
  bool Attach(Group& group, Group& parent);  // false if it would make a cycle
  void Detach(Group& group);
  // Stops every channel below `group`.
  void StopBelow(Group& group);
  // Releases a group: its channels and sub-groups move to the master group.
  void ReleaseGroup(Group& group);
  // Counts channels: every playing one, and those on a real voice.
  void CountPlaying(int& all, int& real) const;
  bool IsPlayingBelow(const Group& group) const;
  // Whatever an API thread should do after the lock: events to deliver and
  // channels to let go (with Forget, once the events ran).
  void Collect(std::vector<ControlEvent>& events, std::vector<std::shared_ptr<Channel>>& drop);
  // Removes the handles of ended channels; any thread, no lock needed.
  static void Forget(const std::vector<std::shared_ptr<Channel>>& channels);
  // Sets a control's mix matrix to the default for its input and output.
  void DefaultMatrix(Control& control, int inChannels) const;
  // Sets a control's matrix from a pan position (-1 left .. 1 right).
  void PanMatrix(Control& control, float pan) const;

  // RenderTarget: one block of output.
  void Render(float* interleaved, unsigned frames) noexcept override;

private:
  void ChooseVoices();
  void RenderGroup(Group& group, unsigned frames, float pitchAbove);
  void RenderChannel(Channel& channel, Group& into, unsigned frames, float pitchAbove);
  std::uint32_t Pull(Channel& channel, float* out, std::uint32_t count);
  void Queue(Control& control, FMOD_CHANNELCONTROL_CALLBACK_TYPE type, std::intptr_t data1);
  void Window(const Control& control, unsigned frames, unsigned& from, unsigned& to, bool& ends) const;
  void MixGroup(Group& group, float* out, unsigned frames);
  float Audibility(const Channel& channel, float above) const;

  std::vector<float> scratch_;
  std::vector<float> voice_;
  std::vector<float> envelope_;
  std::vector<float> gains_;
  struct Segment {
    std::uint32_t at;        // index in the pulled frames
    std::int64_t source;     // source frame of that index
    bool backwards;
  };
  std::vector<Segment> segments_;
  std::uint64_t SourceOf(const Channel& channel, std::uint32_t scratchIndex) const;
  // The channel's next frames (A, B and `need` more) as one run of its
  // sample's memory, or null when they are not (a stream, a loop wrap).
  const float* Contiguous(const Channel& channel, std::uint32_t need) const;
  std::vector<Channel*> ending_;
  std::uint64_t nextSerial_ = 0;
  std::vector<Channel*> voiceOrder_;
};

// A channel or group found by its handle, with its mixer locked for the
// length of the call.
template <typename T>
struct Locked {
  std::shared_ptr<T> object;
  std::shared_ptr<Mixer> mixer;
  std::unique_lock<std::recursive_mutex> lock;
  T* operator->() const noexcept { return object.get(); }
};

// Answer FMOD_OK and fill `out`, or the engine's result for a dead handle:
// 30 for garbage, a released group or a channel that ended, 3 for a channel
// whose voice another sound took. `endedToo` lets a channel that ended
// through until its handle goes (its end callback may still ask about it).
FMOD_RESULT LockChannel(FMOD_CHANNEL* handle, Locked<Channel>& out, bool endedToo = false);
FMOD_RESULT LockGroup(FMOD_CHANNELGROUP* handle, Locked<Group>& out);

}  // namespace sonvel::engine
