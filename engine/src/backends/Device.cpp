// Output devices: SDL2 audio devices, the real-time no-sound and wav-writer
// outputs that pace themselves on a steady clock, and their non-real-time
// twins that mix one block per call.
//
// Every device hands the render target whole blocks of format.blockFrames
// frames, whatever size the audio device asks for, so the mixer always works
// on the block size it was configured with.
#include "Device.h"

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "Format.h"
#include "Log.h"

namespace sonvel::engine {
namespace {

constexpr const char* kDefaultWavFile = "fmodoutput.wav";
constexpr const char* kNoSoundDriverName = "No sound";
constexpr const char* kWavWriterDriverName = "Wav writer";

// ---------------------------------------------------------------------------
// SDL's audio subsystem, shared by every system in the process.
//
// SDL counts SDL_InitSubSystem calls itself; this mutex only serialises our
// own init/quit and the driver-hint dance so that two systems opening at
// once do not race on the hint. The audio driver is chosen when the
// subsystem starts: a system that asks for a particular back-end while
// another system already runs SDL audio on a different one is refused.

std::mutex& SdlMutex() {
  static std::mutex m;
  return m;
}

// The SDL audio driver name an output type insists on, or null for "any".
const char* RequiredSdlDriver(FMOD_OUTPUTTYPE type) noexcept {
  switch (type) {
    case FMOD_OUTPUTTYPE_PULSEAUDIO: return "pulseaudio";
    case FMOD_OUTPUTTYPE_ALSA: return "alsa";
    default: return nullptr;
  }
}

bool IsSdlType(FMOD_OUTPUTTYPE type) noexcept {
  return type == FMOD_OUTPUTTYPE_AUTODETECT || type == FMOD_OUTPUTTYPE_PULSEAUDIO ||
         type == FMOD_OUTPUTTYPE_ALSA;
}

// Takes a reference on SDL's audio subsystem running on `driver` (null: any).
// Caller holds SdlMutex().
bool AcquireSdlAudioLocked(const char* driver) {
  if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
    if (driver == nullptr) return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    const char* current = SDL_GetCurrentAudioDriver();
    if (current == nullptr || std::strcmp(current, driver) != 0) return false;
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  }
  if (driver == nullptr) return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  // Pin the back-end for this start only, then put the user's hint back.
  const char* previous = SDL_GetHint(SDL_HINT_AUDIODRIVER);
  std::string saved = previous != nullptr ? previous : "";
  SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
  const bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  SDL_SetHint(SDL_HINT_AUDIODRIVER, previous != nullptr ? saved.c_str() : nullptr);
  if (ok) {
    const char* current = SDL_GetCurrentAudioDriver();
    if (current == nullptr || std::strcmp(current, driver) != 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
  }
  return ok;
}

// When no part of SDL is in use any more, SDL_Quit frees what SDL keeps
// globally (hints, driver lists): the engine may be unloaded next, and
// whatever SDL still held would be lost with it.
void ReleaseSdlAudioLocked() noexcept {
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

// A stable identifier from the output type and the driver's name (FNV-1a,
// spread over the 16 bytes), so the same device keeps its GUID across runs.
FMOD_GUID GuidFromName(FMOD_OUTPUTTYPE type, const std::string& name) noexcept {
  std::uint64_t h1 = 1469598103934665603ull ^ static_cast<std::uint64_t>(type);
  std::uint64_t h2 = 0x9e3779b97f4a7c15ull;
  for (unsigned char c : name) {
    h1 = (h1 ^ c) * 1099511628211ull;
    h2 = (h2 ^ c) * 0x100000001b3ull + 0x7f4a7c15ull;
  }
  h2 ^= h1 >> 29;
  FMOD_GUID g{};
  g.Data1 = static_cast<unsigned int>(h1 >> 32);
  g.Data2 = static_cast<unsigned short>(h1 >> 16);
  g.Data3 = static_cast<unsigned short>(h1);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<unsigned char>(h2 >> (8 * i));
  return g;
}

bool FormatIsValid(const DeviceFormat& f) noexcept {
  return f.sampleRate >= 8000 && f.sampleRate <= 384000 && f.channels >= 1 && f.channels <= 32 &&
         f.blockFrames >= 16 && f.blockFrames <= 65536 && f.numBlocks >= 1;
}

// ---------------------------------------------------------------------------
// SDL2 audio device. SDL's own thread calls Callback; SDL runs it under the
// device lock, so pausing or locking the device waits for a running callback.

class SdlDevice final : public Device {
public:
  SdlDevice(FMOD_OUTPUTTYPE type, const DeviceFormat& format) : type_(type), format_(format) {}

  ~SdlDevice() override {
    Stop();
    std::lock_guard<std::mutex> lock(SdlMutex());
    ReleaseSdlAudioLocked();
  }

  // Caller holds a subsystem reference (released by the destructor).
  bool Open(const char* deviceName) noexcept {
    SDL_AudioSpec want{};
    want.freq = format_.sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(format_.channels);
    want.samples = static_cast<Uint16>(std::min<unsigned>(format_.blockFrames, 32768u));
    want.callback = &SdlDevice::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(deviceName, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device_ == 0) return false;
    format_.sampleRate = have.freq;
    try {
      block_.assign(static_cast<size_t>(format_.blockFrames) * format_.channels, 0.0f);
    } catch (...) {
      SDL_CloseAudioDevice(device_);
      device_ = 0;
      return false;
    }
    return true;
  }

  // The default output reports the back-end SDL really opened.
  FMOD_OUTPUTTYPE Type() const noexcept override {
    if (type_ != FMOD_OUTPUTTYPE_AUTODETECT) return type_;
    const char* backEnd = SDL_GetCurrentAudioDriver();
    if (backEnd != nullptr && std::strcmp(backEnd, "pulseaudio") == 0) return FMOD_OUTPUTTYPE_PULSEAUDIO;
    if (backEnd != nullptr && std::strcmp(backEnd, "alsa") == 0) return FMOD_OUTPUTTYPE_ALSA;
    return FMOD_OUTPUTTYPE_AUTODETECT;  // another back-end (SDL's dummy one in tests)
  }
  bool RealTime() const noexcept override { return true; }
  const DeviceFormat& Format() const noexcept override { return format_; }

  FMOD_RESULT Start(RenderTarget& target) noexcept override {
    std::lock_guard<std::mutex> lock(control_);
    if (device_ == 0) return FMOD_ERR_OUTPUT_INIT;
    SDL_LockAudioDevice(device_);
    target_ = &target;
    blockPos_ = format_.blockFrames;  // nothing buffered yet
    SDL_UnlockAudioDevice(device_);
    started_ = true;
    if (!suspended_) SDL_PauseAudioDevice(device_, 0);
    return FMOD_OK;
  }

  void Stop() noexcept override {
    std::lock_guard<std::mutex> lock(control_);
    if (device_ == 0) return;
    // Closing waits for SDL's audio thread to finish.
    std::lock_guard<std::mutex> sdl(SdlMutex());
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    target_ = nullptr;
    started_ = false;
  }

  void Suspend() noexcept override {
    std::lock_guard<std::mutex> lock(control_);
    suspended_ = true;
    // Pausing takes the device lock, so a running callback finishes first.
    if (device_ != 0) SDL_PauseAudioDevice(device_, 1);
  }

  void Resume() noexcept override {
    std::lock_guard<std::mutex> lock(control_);
    suspended_ = false;
    if (device_ != 0 && started_) SDL_PauseAudioDevice(device_, 0);
  }

  FMOD_RESULT MixOneBlock() noexcept override { return FMOD_OK; }

  void* Handle() const noexcept override {
    std::lock_guard<std::mutex> lock(control_);
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(device_));
  }

private:
  static void SDLCALL Callback(void* userdata, Uint8* stream, int len) {
    static_cast<SdlDevice*>(userdata)->Fill(reinterpret_cast<float*>(stream),
                                           static_cast<unsigned>(len) / sizeof(float));
  }

  // Hands SDL `samples` floats, rendering whole blocks as needed.
  void Fill(float* out, unsigned samples) noexcept {
    if (target_ == nullptr) {
      std::fill(out, out + samples, 0.0f);
      return;
    }
    const unsigned ch = static_cast<unsigned>(format_.channels);
    unsigned framesLeft = samples / ch;
    while (framesLeft > 0) {
      if (blockPos_ >= format_.blockFrames) {
        target_->Render(block_.data(), format_.blockFrames);
        blockPos_ = 0;
      }
      const unsigned n = std::min(framesLeft, format_.blockFrames - blockPos_);
      std::memcpy(out, block_.data() + static_cast<size_t>(blockPos_) * ch, sizeof(float) * n * ch);
      out += static_cast<size_t>(n) * ch;
      blockPos_ += n;
      framesLeft -= n;
    }
    // A partial trailing frame (never expected) is silenced.
    std::fill(out, out + samples % ch, 0.0f);
  }

  const FMOD_OUTPUTTYPE type_;
  DeviceFormat format_;
  mutable std::mutex control_;
  SDL_AudioDeviceID device_ = 0;
  bool started_ = false;
  bool suspended_ = false;
  // Touched by the callback only while SDL holds the device lock, or while
  // the device is paused/closed.
  RenderTarget* target_ = nullptr;
  std::vector<float> block_;
  unsigned blockPos_ = 0;
};

// ---------------------------------------------------------------------------
// Where the no-sound and wav-writer outputs put their blocks.

class Sink {
public:
  virtual ~Sink() = default;
  virtual void Deliver(const float* interleaved, unsigned frames) noexcept = 0;
  virtual void Close() noexcept {}
  virtual void* Handle() const noexcept { return nullptr; }
};

class NullSink final : public Sink {
public:
  void Deliver(const float*, unsigned) noexcept override {}
};

// 16-bit PCM WAV through libsndfile: the most widely readable form. Samples
// beyond full scale are clipped rather than wrapped. libsndfile writes the
// final sizes into the header when the file is closed.
class WavSink final : public Sink {
public:
  ~WavSink() override { Close(); }

  bool Open(const char* path, const DeviceFormat& format) noexcept {
    SF_INFO info{};
    info.samplerate = format.sampleRate;
    info.channels = format.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open(path, SFM_WRITE, &info);
    if (file_ == nullptr) return false;
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
  }

  void Deliver(const float* interleaved, unsigned frames) noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) sf_writef_float(file_, interleaved, frames);
  }

  void Close() noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) sf_close(file_);
    file_ = nullptr;
  }

  void* Handle() const noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_;
  }

private:
  mutable std::mutex mutex_;  // Handle() may be asked from any thread
  SNDFILE* file_ = nullptr;
};

// ---------------------------------------------------------------------------
// Devices with no hardware behind them: a sink plus either a pacing thread
// (real time) or one block per MixOneBlock (non-real time).

class SoftwareDevice final : public Device {
public:
  SoftwareDevice(FMOD_OUTPUTTYPE type, bool realTime, const DeviceFormat& format, std::unique_ptr<Sink> sink)
      : type_(type), realTime_(realTime), format_(format), sink_(std::move(sink)),
        block_(static_cast<size_t>(format.blockFrames) * format.channels, 0.0f) {}

  ~SoftwareDevice() override { Stop(); }

  FMOD_OUTPUTTYPE Type() const noexcept override { return type_; }
  bool RealTime() const noexcept override { return realTime_; }
  const DeviceFormat& Format() const noexcept override { return format_; }

  FMOD_RESULT Start(RenderTarget& target) noexcept override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) return FMOD_ERR_UNINITIALIZED;
    if (target_ != nullptr) return FMOD_ERR_INITIALIZED;
    target_ = &target;
    if (!realTime_) return FMOD_OK;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (...) {
      target_ = nullptr;
      return FMOD_ERR_OUTPUT_INIT;
    }
    return FMOD_OK;
  }

  void Stop() noexcept override {
    std::thread thread;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (stopped_) return;
      stopped_ = true;
      // A non-real-time block may be mixing on another thread.
      idle_.wait(lock, [this] { return !rendering_; });
      thread = std::move(thread_);
    }
    wake_.notify_all();
    if (thread.joinable()) thread.join();
    sink_->Close();
  }

  void Suspend() noexcept override {
    std::unique_lock<std::mutex> lock(mutex_);
    suspended_ = true;
    idle_.wait(lock, [this] { return !rendering_; });
  }

  void Resume() noexcept override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      suspended_ = false;
    }
    wake_.notify_all();
  }

  FMOD_RESULT MixOneBlock() noexcept override {
    if (realTime_) return FMOD_OK;
    RenderTarget* target = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_ || target_ == nullptr) return FMOD_ERR_UNINITIALIZED;
      if (suspended_ || rendering_) return FMOD_OK;
      rendering_ = true;
      target = target_;
    }
    RenderAndDeliver(*target);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rendering_ = false;
    }
    idle_.notify_all();
    return FMOD_OK;
  }

  void* Handle() const noexcept override { return sink_->Handle(); }

private:
  void RenderAndDeliver(RenderTarget& target) noexcept {
    target.Render(block_.data(), format_.blockFrames);
    sink_->Deliver(block_.data(), format_.blockFrames);
  }

  // The pacing thread: one block per block period on a steady clock. When it
  // falls behind (a slow render, a descheduled process) it catches up by at
  // most numBlocks blocks and then drops the rest of the debt instead of
  // rendering a burst.
  void Run() noexcept {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(format_.blockFrames) / format_.sampleRate));
    const auto maxLag = period * std::max(1, format_.numBlocks);
    auto next = Clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopped_) {
      if (suspended_) {
        wake_.wait(lock, [this] { return stopped_ || !suspended_; });
        next = Clock::now();
        continue;
      }
      if (wake_.wait_until(lock, next, [this] { return stopped_ || suspended_; })) continue;
      rendering_ = true;
      RenderTarget* target = target_;
      lock.unlock();
      RenderAndDeliver(*target);
      lock.lock();
      rendering_ = false;
      idle_.notify_all();
      next += period;
      const auto now = Clock::now();
      if (now - next > maxLag) next = now;
    }
  }

  const FMOD_OUTPUTTYPE type_;
  const bool realTime_;
  const DeviceFormat format_;
  std::unique_ptr<Sink> sink_;
  std::vector<float> block_;  // used only by whoever holds rendering_

  std::mutex mutex_;
  std::condition_variable wake_;  // the pacing thread waits here
  std::condition_variable idle_;  // Suspend/Stop wait here for a render to end
  RenderTarget* target_ = nullptr;
  bool suspended_ = false;
  bool stopped_ = false;
  bool rendering_ = false;
  std::thread thread_;
};

std::unique_ptr<Device> MakeSoftwareDevice(FMOD_OUTPUTTYPE type, const DeviceFormat& format,
                                           void* extraDriverData, FMOD_RESULT& error) {
  const bool wav = type == FMOD_OUTPUTTYPE_WAVWRITER || type == FMOD_OUTPUTTYPE_WAVWRITER_NRT;
  const bool realTime = type == FMOD_OUTPUTTYPE_NOSOUND || type == FMOD_OUTPUTTYPE_WAVWRITER;
  std::unique_ptr<Sink> sink;
  if (wav) {
    const char* path = extraDriverData != nullptr ? static_cast<const char*>(extraDriverData) : kDefaultWavFile;
    auto wavSink = std::make_unique<WavSink>();
    if (path[0] == '\0' || !wavSink->Open(path, format)) {
      log::Error("OpenDevice", std::string("cannot create wav file '") + path + "'");
      error = FMOD_ERR_FILE_NOTFOUND;
      return nullptr;
    }
    sink = std::move(wavSink);
  } else {
    sink = std::make_unique<NullSink>();
  }
  error = FMOD_OK;
  return std::make_unique<SoftwareDevice>(type, realTime, format, std::move(sink));
}

// Opens an SDL device for an SDL-backed type; null when SDL has no usable
// device (error says why).
std::unique_ptr<Device> OpenSdlDevice(FMOD_OUTPUTTYPE type, int driver, const DeviceFormat& format,
                                      FMOD_RESULT& error) {
  // Declared before the lock: a device that fails to open is destroyed (and
  // gives its subsystem reference back) after the lock is released.
  std::unique_ptr<SdlDevice> device;
  std::lock_guard<std::mutex> lock(SdlMutex());
  if (!AcquireSdlAudioLocked(RequiredSdlDriver(type))) {
    log::Warning("OpenDevice", std::string("SDL audio unavailable: ") + SDL_GetError());
    error = FMOD_ERR_OUTPUT_INIT;
    return nullptr;
  }
  try {
    device = std::make_unique<SdlDevice>(type, format);
  } catch (...) {
    ReleaseSdlAudioLocked();
    throw;
  }
  // From here the device owns the subsystem reference.
  std::string name;
  if (driver > 0) {
    const int count = SDL_GetNumAudioDevices(0);
    if (driver >= count) {
      error = FMOD_ERR_INVALID_PARAM;
      return nullptr;
    }
    const char* n = SDL_GetAudioDeviceName(driver, 0);
    name = n != nullptr ? n : "";
  }
  if (!device->Open(name.empty() ? nullptr : name.c_str())) {
    log::Warning("OpenDevice", std::string("cannot open audio device: ") + SDL_GetError());
    error = FMOD_ERR_OUTPUT_INIT;
    return nullptr;
  }
  error = FMOD_OK;
  return device;
}

}  // namespace

// ---------------------------------------------------------------------------

std::unique_ptr<Device> OpenDevice(FMOD_OUTPUTTYPE type, int driver, const DeviceFormat& format,
                                   void* extraDriverData, FMOD_RESULT& error) noexcept {
  try {
    if (static_cast<int>(type) < 0 || type >= FMOD_OUTPUTTYPE_MAX || driver < -1 || !FormatIsValid(format)) {
      error = FMOD_ERR_INVALID_PARAM;
      return nullptr;
    }
    switch (type) {
      case FMOD_OUTPUTTYPE_NOSOUND:
      case FMOD_OUTPUTTYPE_NOSOUND_NRT:
      case FMOD_OUTPUTTYPE_WAVWRITER:
      case FMOD_OUTPUTTYPE_WAVWRITER_NRT:
        if (driver > 0) {
          error = FMOD_ERR_INVALID_PARAM;
          return nullptr;
        }
        return MakeSoftwareDevice(type, format, extraDriverData, error);
      case FMOD_OUTPUTTYPE_AUTODETECT: {
        // A driver the list does not have is the caller's mistake, not a
        // reason to fall back.
        if (driver > 0 && driver >= NumDrivers(type)) {
          error = FMOD_ERR_INVALID_PARAM;
          return nullptr;
        }
        auto device = OpenSdlDevice(type, driver, format, error);
        if (device != nullptr || error == FMOD_ERR_INVALID_PARAM) return device;
        // No audio device here: run silently in real time instead.
        log::Info("OpenDevice", "no audio device; using no sound output");
        return MakeSoftwareDevice(FMOD_OUTPUTTYPE_NOSOUND, format, nullptr, error);
      }
      case FMOD_OUTPUTTYPE_PULSEAUDIO:
      case FMOD_OUTPUTTYPE_ALSA:
        return OpenSdlDevice(type, driver, format, error);
      default:
        // Other platforms' outputs and "unknown".
        error = FMOD_ERR_OUTPUT_INIT;
        return nullptr;
    }
  } catch (const std::bad_alloc&) {
    error = FMOD_ERR_MEMORY;
  } catch (...) {
    error = FMOD_ERR_INTERNAL;
  }
  return nullptr;
}

int NumDrivers(FMOD_OUTPUTTYPE type) noexcept {
  switch (type) {
    case FMOD_OUTPUTTYPE_NOSOUND:
    case FMOD_OUTPUTTYPE_NOSOUND_NRT:
    case FMOD_OUTPUTTYPE_WAVWRITER:
    case FMOD_OUTPUTTYPE_WAVWRITER_NRT:
      return 1;
    default:
      break;
  }
  if (!IsSdlType(type)) return 0;
  try {
    std::lock_guard<std::mutex> lock(SdlMutex());
    if (!AcquireSdlAudioLocked(RequiredSdlDriver(type))) return 0;
    const int count = std::max(0, SDL_GetNumAudioDevices(0));
    ReleaseSdlAudioLocked();
    return count;
  } catch (...) {
    return 0;
  }
}

bool GetDriverInfo(FMOD_OUTPUTTYPE type, int index, DriverInfo& info) noexcept {
  try {
    if (index < 0) return false;
    const char* fixedName = nullptr;
    switch (type) {
      case FMOD_OUTPUTTYPE_NOSOUND:
      case FMOD_OUTPUTTYPE_NOSOUND_NRT: fixedName = kNoSoundDriverName; break;
      case FMOD_OUTPUTTYPE_WAVWRITER:
      case FMOD_OUTPUTTYPE_WAVWRITER_NRT: fixedName = kWavWriterDriverName; break;
      default: break;
    }
    if (fixedName != nullptr) {
      if (index != 0) return false;
      info = DriverInfo{};
      info.name = fixedName;
      info.guid = GuidFromName(type, info.name);
      return true;
    }
    if (!IsSdlType(type)) return false;
    std::lock_guard<std::mutex> lock(SdlMutex());
    if (!AcquireSdlAudioLocked(RequiredSdlDriver(type))) return false;
    bool ok = false;
    if (index < SDL_GetNumAudioDevices(0)) {
      const char* name = SDL_GetAudioDeviceName(index, 0);
      if (name != nullptr) {
        info = DriverInfo{};
        info.name = name;
        info.guid = GuidFromName(type, info.name);
        SDL_AudioSpec preferred{};
        if (SDL_GetAudioDeviceSpec(index, 0, &preferred) == 0) {
          if (preferred.freq > 0) info.systemRate = preferred.freq;
          if (preferred.channels > 0) {
            info.speakerModeChannels = preferred.channels;
            info.speakerMode = core::SpeakerModeOf(preferred.channels);
          }
        }
        ok = true;
      }
    }
    ReleaseSdlAudioLocked();
    return ok;
  } catch (...) {
    return false;
  }
}

}  // namespace sonvel::engine
