// The render side of an engine: renders the signal graph block by block.
//
// The mixer owns the `render` halves of the objects (Objects.h). The API
// side never touches them; it changes the graph by pushing commands into a
// bounded ring, which the mixer applies at the start of its next block, and
// publishes settings as snapshots the mixer reads once per block. Back to the
// API go notices (a voice ended, a sync point passed, a voice went virtual)
// through two more rings, and figures (positions, meters) through atomics
// and snapshots.
//
// While rendering, the mixer takes no lock that an API call holds, allocates
// nothing, frees nothing, logs nothing and calls no decoder; the only program
// code it runs is the DSP callbacks of units in the graph. Its one lock,
// `lock`, is held by the mixer for each block and by a caller between
// FMOD_System_LockDSP and FMOD_System_UnlockDSP: the documented way to hold
// the mixer back.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "Format.h"
#include "Objects.h"
#include "RenderTarget.h"
#include "Ring.h"

namespace sonvel::engine::core {

// A change to the graph, applied by the mixer.
struct Command {
  enum class Op : std::uint8_t {
    AddChannel,     // a: Channel
    RemoveChannel,  // a: Channel
    Link,           // a: Connection, b: input Unit, c: output Unit; x: 1 to ramp in from silence
    Unlink,         // a: Connection
    FadeOut,        // a: Connection; ramps to silence this block, then unlinks
    Transition,     // a: Unit; x: 1 to fade in from passing its input through, 0 to fade to it
    Barrier,        // the commands after it wait for the next block
    SetParent,      // a: Control, b: Group (null for the master group)
    SetSource,      // a: Unit, b: Channel or null
    SetFused,       // a: fader Unit, b: Channel or null, c: the fader's output Connection
    SetGate,        // a: Unit, b: Control or null
    SetOutput,      // a: Unit (the master group's head)
    SwapBuffer,     // a: Unit, b: std::vector<float>*, x: capacity
    SwapGains,      // a: Connection, b: std::vector<float>*
    Seek,           // a: Channel, x: frame
    SetLoop,        // a: Channel, x: start, y: end, z: count, w: loop mode
    ResetUnit,      // a: Unit
    SetUnitPosition,  // a: Unit, x: position
  };
  Op op = Op::Barrier;
  void* a = nullptr;
  void* b = nullptr;
  void* c = nullptr;
  std::uint64_t x = 0;
  std::int64_t y = 0;
  std::int32_t z = 0;
  std::uint32_t w = 0;
};

// Something the API should know.
struct Notice {
  enum class Kind : std::uint8_t { Ended, GroupDelayEnded, SyncPoint, Virtual };
  Kind kind = Kind::Ended;
  Control* control = nullptr;
  std::int64_t data = 0;
};

// The mixer's lock: held by the mixer for each block and by LockDSP's
// caller, who may take it again (each Lock needs an Unlock).
class RenderLock {
public:
  void Lock() noexcept;
  bool TryLock() noexcept;
  // False when this thread does not hold the lock.
  bool Unlock() noexcept;
  bool HeldHere() const noexcept { return owner_.load(std::memory_order_acquire) == std::this_thread::get_id(); }

private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
};

class Mixer final : public RenderTarget {
public:
  struct Limits {
    int channels = 4096;           // alive at once
    int units = 32768;             // in the graph at once
    std::size_t commands = 1 << 16;
    std::size_t notices = 1 << 14;
  };

  Mixer(const Format& format, int realVoices, const Limits& limits);
  ~Mixer() override;

  const Format format;
  const int realVoices;
  const Limits limits;

  void Render(float* interleaved, unsigned frames) noexcept override;

  // ---- The hand-off.
  // Producer: the graph, with its mutex held.
  Ring<Command> commands;
  // Consumer: the graph. Ends never overflow: each channel ends once and is
  // counted among the live ones until the API has taken its end.
  Ring<Notice> ends;
  Ring<Notice> notices;  // callbacks; dropped when full
  // Any thread.
  std::uint64_t Applied() const noexcept { return commands.Popped(); }
  std::uint64_t Epoch() const noexcept { return epoch_.load(std::memory_order_acquire); }
  std::uint64_t Clock() const noexcept { return clock_.load(std::memory_order_acquire); }
  // Blocks that found the lock taken (LockDSP, or the API applying
  // commands itself); for tests.
  std::uint64_t LockWaits() const noexcept { return lockWaits_.load(std::memory_order_relaxed); }

  RenderLock lock;
  // The block being rendered: only meaningful to code the mixer runs.
  std::uint64_t BlockClock() const noexcept { return blockClock_; }
  unsigned BlockFrames() const noexcept { return frames_; }

  // Applies every waiting command on the calling thread. For the API when
  // the ring is full and the mixer does not run; hold `lock`.
  void ApplyCommands() noexcept;

private:
  // A unit being rendered and the next input to look at.
  struct Frame {
    Unit* unit;
    Connection* next;
  };

  bool Apply(const Command& command) noexcept;  // false: stop for this block
  void Link(Connection& connection, Unit& input, Unit& output, bool rampIn) noexcept;
  void Unlink(Connection& connection) noexcept;
  void Prepare(Control& control) noexcept;
  void ChooseVoices() noexcept;
  bool Descends(const Unit& unit) noexcept;
  bool Audible(const Channel& channel) const noexcept;
  void Pull(Unit& root) noexcept;
  void Process(Unit& unit) noexcept;
  void Accumulate(Connection& connection, float* target, int width) noexcept;
  void Fader(Unit& unit, const float* in, int inWidth, bool inputIdle) noexcept;
  void Meter(const float* signal, int width, unsigned frames, Snapshot<FMOD_DSP_METERING_INFO>& meter) noexcept;
  void Finish() noexcept;

  // Voices (Voice.cpp).
  struct Span;
  enum class VoiceSink { Advance, Buffer, Fused };
  void RunVoice(Channel& channel, VoiceSink sink, float* target, int targetWidth, const float* gains) noexcept;
  double StepOf(const Channel& channel) const noexcept;
  std::uint32_t Pull(Channel& channel, float* out, std::uint32_t count, const float* samples) noexcept;
  const float* Contiguous(const Channel& channel, std::uint32_t need, const float* samples) const noexcept;
  std::uint64_t SourceOf(const Channel& channel, std::uint32_t index) const noexcept;
  void SyncPoints(Channel& channel, std::uint32_t got, std::int64_t primedFrom, std::uint32_t primedCount) noexcept;
  void MixFused(Channel& channel, const Span& span, float* target, int width, const float* gains, unsigned window) noexcept;
  void Advance(Channel& channel) noexcept;
  void Notify(Notice::Kind kind, Control& control, std::int64_t data) noexcept;

  std::uint64_t block_ = 0;  // blocks started
  std::atomic<std::uint64_t> clock_{0};
  std::atomic<std::uint64_t> epoch_{0};
  std::atomic<std::uint64_t> lockWaits_{0};
  std::uint64_t blockClock_ = 0;  // the clock of the block being rendered
  unsigned frames_ = 0;           // its length
  bool held_ = false;             // a barrier holds the rest of the commands

  Unit* output_ = nullptr;
  std::vector<Channel*> channels_;  // every channel alive in the mixer
  std::size_t channelCount_ = 0;
  std::vector<Channel*> order_;     // voice choice
  std::vector<Frame> stack_;
  std::vector<Control*> prepare_;
  Connection* fading_ = nullptr;

  // Scratch, sized when the mixer is made.
  std::vector<float> accumulate_;  // a unit's mixed input
  std::vector<float> side_;        // its sidechain
  std::vector<float> pulled_;      // a voice's source frames
  std::vector<float> voiceOut_;    // a voice's resampled frames
  std::vector<float> transition_;  // a unit's input kept for a cross-fade
  struct Segment {
    std::uint32_t at;     // index in the pulled frames
    std::int64_t source;  // source frame of that index
    bool backwards;
  };
  std::vector<Segment> segments_;
  std::size_t segmentCount_ = 0;
};

}  // namespace sonvel::engine::core
