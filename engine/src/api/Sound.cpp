// Sounds: creation (from a file, memory, raw PCM or the caller's PCM
// callbacks; blocking or not), the mixer's read, and release.
#include "Sound.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "Api.h"
#include "Log.h"
#include "SoundDetail.h"
#include "Stream.h"
#include "System.h"

namespace sonvel::engine {

SoundTable& Sounds() {
  static SoundTable table;
  return table;
}

SyncPointTable& SyncPoints() {
  static SyncPointTable table;
  return table;
}

// ---------------------------------------------------------------------------
// The object

Sound::Sound() : detail_(std::make_unique<Detail>()) {
  auto rolloff = std::make_unique<const RolloffCurve>();
  rolloff_.store(rolloff.get(), std::memory_order_release);
  detail_->rolloffSnapshots.push_back(std::move(rolloff));
  auto sync = std::make_unique<const core::SyncPointList>();
  data->syncPoints.store(sync.get(), std::memory_order_release);
  data->syncSnapshots.push_back(std::move(sync));
}

Sound::~Sound() {
  detail_->cancel = true;
  if (detail_->worker.joinable()) {
    if (detail_->worker.get_id() == std::this_thread::get_id()) detail_->worker.detach();
    else detail_->worker.join();
  }
  if (stream_) stream_->Stop();
}

void Sound::SeekStream(std::uint64_t position) noexcept {
  if (IsReady() && stream_ != nullptr) stream_->Seek(position);
}

void Sound::SetStreamLoop(FMOD_MODE loopMode, std::uint32_t loopStart, std::uint32_t loopEnd, int loopCount) noexcept {
  if (IsReady() && stream_ != nullptr) stream_->SetLoop(loopMode, loopStart, loopEnd, loopCount);
}

bool Sound::WaitForStream(std::uint32_t frames, int timeoutMs) noexcept {
  if (!IsReady() || stream_ == nullptr) return true;
  return stream_->WaitFor(frames, timeoutMs);
}

// ---------------------------------------------------------------------------
// Shared helpers

int FrameBytes(const Sound& sound) noexcept {
  return sound.Channels() * BytesPerSample(const_cast<Sound&>(sound).detail().format);
}

bool ToFrames(const Sound& sound, unsigned int value, FMOD_TIMEUNIT unit, std::uint64_t& frames) noexcept {
  const int rate = const_cast<Sound&>(sound).detail().sampleRate;
  switch (unit) {
    case FMOD_TIMEUNIT_MS: frames = std::uint64_t(value) * std::uint64_t(std::max(rate, 0)) / 1000u; return true;
    case FMOD_TIMEUNIT_PCM: frames = value; return true;
    case FMOD_TIMEUNIT_PCMBYTES: {
      const int bytes = FrameBytes(sound);
      if (bytes <= 0) return false;
      frames = value / unsigned(bytes);
      return true;
    }
    default: return false;
  }
}

bool FromFrames(const Sound& sound, std::uint64_t frames, FMOD_TIMEUNIT unit, unsigned int& value) noexcept {
  const int rate = const_cast<Sound&>(sound).detail().sampleRate;
  std::uint64_t result;
  switch (unit) {
    case FMOD_TIMEUNIT_MS: result = rate > 0 ? frames * 1000u / std::uint64_t(rate) : 0; break;
    case FMOD_TIMEUNIT_PCM: result = frames; break;
    case FMOD_TIMEUNIT_PCMBYTES: result = frames * std::uint64_t(std::max(FrameBytes(sound), 0)); break;
    default: return false;
  }
  value = static_cast<unsigned int>(std::min<std::uint64_t>(result, std::numeric_limits<unsigned int>::max()));
  return true;
}

void PublishSyncPoints(Sound& sound) {
  Sound::Detail& detail = sound.detail();
  auto list = std::make_unique<core::SyncPointList>();
  list->points.reserve(detail.syncPoints.size());
  for (FMOD_SYNCPOINT* handle : detail.syncPoints)
    if (auto point = SyncPoints().Find(handle)) list->points.push_back({point->offset, handle});
  sound.data->syncPoints.store(list.get(), std::memory_order_release);
  sound.data->syncSnapshots.push_back(std::move(list));
}

FMOD_SYNCPOINT* AddSyncPointLocked(Sound& sound, std::uint32_t offset, std::string name) {
  Sound::Detail& detail = sound.detail();
  auto point = std::make_shared<SyncPoint>();
  point->sound = sound.handle;
  point->offset = offset;
  point->name = std::move(name);
  FMOD_SYNCPOINT* handle = SyncPoints().Add<FMOD_SYNCPOINT>(point);
  // After every point at or before this offset, so that equal offsets keep
  // the order they were added in.
  auto at = detail.syncPoints.begin();
  while (at != detail.syncPoints.end()) {
    auto other = SyncPoints().Find(*at);
    if (other && other->offset > offset) break;
    ++at;
  }
  detail.syncPoints.insert(at, handle);
  PublishSyncPoints(sound);
  return handle;
}

namespace {

constexpr FMOD_MODE kDimensionBits = FMOD_2D | FMOD_3D;
constexpr FMOD_MODE kRelativeBits = FMOD_3D_HEADRELATIVE | FMOD_3D_WORLDRELATIVE;
constexpr FMOD_MODE kRolloffBits = FMOD_3D_INVERSEROLLOFF | FMOD_3D_LINEARROLLOFF | FMOD_3D_LINEARSQUAREROLLOFF |
                                   FMOD_3D_INVERSETAPEREDROLLOFF | FMOD_3D_CUSTOMROLLOFF;

// A 3D sound names how it is positioned and how it rolls off.
FMOD_MODE CompleteMode(FMOD_MODE mode) {
  if (!(mode & kLoopBits)) mode |= FMOD_LOOP_OFF;
  if (!(mode & kDimensionBits)) mode |= FMOD_2D;
  if (mode & FMOD_3D) {
    if (!(mode & kRelativeBits)) mode |= FMOD_3D_WORLDRELATIVE;
    if (!(mode & kRolloffBits)) mode |= FMOD_3D_INVERSEROLLOFF;
  }
  return mode;
}

}  // namespace

FMOD_MODE MergeMode(FMOD_MODE current, FMOD_MODE change) noexcept {
  FMOD_MODE result = current;
  if (change & kLoopBits) {
    result &= ~kLoopBits;
    result |= (change & FMOD_LOOP_OFF) ? FMOD_LOOP_OFF : (change & FMOD_LOOP_BIDI) ? FMOD_LOOP_BIDI : FMOD_LOOP_NORMAL;
  }
  if (change & kDimensionBits) {
    result &= ~kDimensionBits;
    result |= (change & FMOD_3D) ? FMOD_3D : FMOD_2D;
  }
  if (change & kRelativeBits) {
    result &= ~kRelativeBits;
    result |= (change & FMOD_3D_HEADRELATIVE) ? FMOD_3D_HEADRELATIVE : FMOD_3D_WORLDRELATIVE;
  }
  if (change & kRolloffBits) {
    result &= ~kRolloffBits;
    for (FMOD_MODE bit : {FMOD_3D_CUSTOMROLLOFF, FMOD_3D_INVERSETAPEREDROLLOFF, FMOD_3D_LINEARSQUAREROLLOFF,
                          FMOD_3D_LINEARROLLOFF, FMOD_3D_INVERSEROLLOFF})
      if (change & bit) {
        result |= bit;
        break;
      }
  }
  if (change & FMOD_3D_IGNOREGEOMETRY) result |= FMOD_3D_IGNOREGEOMETRY;
  return CompleteMode(result);
}

void ReleaseSound(const std::shared_ptr<Sound>& sound) noexcept {
  if (!sound || !Sounds().Remove(sound->handle)) return;
  sound->released.store(true, std::memory_order_release);
  Sound::Detail& detail = sound->detail();
  // The worker (a non-blocking open, then the stream thread) sees the cancel
  // flag and ends; only then is stream_ certain to be settled.
  detail.cancel = true;
  if (detail.worker.joinable()) {
    if (detail.worker.get_id() == std::this_thread::get_id()) detail.worker.detach();
    else detail.worker.join();
  }
  if (sound->stream_ != nullptr) sound->stream_->Stop();
  // Its channels end (the data they read stays until the mixer lets go).
  if (std::shared_ptr<core::Engine> engine = EngineOf(sound->systemHandle)) {
    std::lock_guard lock(engine->graph.mutex);
    if (engine->graph.Running()) engine->graph.StopSound(*sound->data);
  }
  std::vector<FMOD_SOUND*> subsounds;
  {
    std::lock_guard lock(detail.mutex);
    for (FMOD_SYNCPOINT* point : detail.syncPoints) SyncPoints().Remove(point);
    subsounds = detail.subsounds;
  }
  for (FMOD_SOUND* handle : subsounds) ReleaseSound(Sounds().Find(handle));
}

void RetireForSystem(FMOD_SYSTEM* system, std::shared_ptr<void> object) {
  if (std::shared_ptr<core::Engine> engine = EngineOf(system)) {
    std::lock_guard lock(engine->graph.mutex);
    if (engine->graph.Running()) engine->graph.RetireLater(std::move(object));
  }
}

void ReleaseSoundsOf(const System* system) noexcept {
  for (const std::shared_ptr<Sound>& sound : Sounds().All())
    if (sound->owner == system && sound->parentHandle == nullptr) ReleaseSound(sound);
}

// ---------------------------------------------------------------------------
// Opening

namespace {

// Everything an open needs, copied at the call so that a non-blocking open
// does not depend on the caller's memory (except FMOD_OPENMEMORY_POINT data).
struct OpenRequest {
  FMOD_MODE mode = 0;
  std::string path;
  std::shared_ptr<ByteSource> memory;
  FMOD_CREATESOUNDEXINFO ex{};
  bool hasEx = false;
  int subsound = -1;
};

std::string BaseName(const char* path) {
  std::string name(path);
  const std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Starts the stream thread of a sound that has finished opening.
void StartStreamThread(const std::shared_ptr<Sound>& sound) {
  if (sound->stream_ == nullptr) return;
  sound->detail().worker = std::thread([sound] { sound->stream_->Run(); });
}

void MarkReady(Sound& sound) {
  sound.detail().openState = FMOD_OPENSTATE_READY;
  sound.ready_.store(true, std::memory_order_release);
}

std::shared_ptr<Sound> NewSound(const System* owner, FMOD_SYSTEM* systemHandle, FMOD_MODE mode, const OpenRequest& request) {
  auto sound = std::make_shared<Sound>();
  sound->owner = owner;
  sound->systemHandle = systemHandle;
  const bool openOnly = (mode & FMOD_OPENONLY) != 0;
  sound->isStream_ = (mode & FMOD_CREATESTREAM) != 0 && !openOnly;
  sound->mode_ = MergeMode(CompleteMode(mode & ~(kLoopBits | kDimensionBits | kRelativeBits | kRolloffBits)), mode);
  Sound::Detail& detail = sound->detail();
  detail.createMode = mode;
  detail.openOnly = openOnly;
  if (request.hasEx) {
    detail.userData = request.ex.userdata;
    sound->soundGroup_ = request.ex.initialsoundgroup;
  }
  sound->handle = Sounds().Add<FMOD_SOUND>(sound);
  return sound;
}

FMOD_RESULT Open(const std::shared_ptr<Sound>& soundPtr, const OpenRequest& request);

// A user sound with sub-sounds: the parent holds no data of its own.
FMOD_RESULT OpenUserParent(const std::shared_ptr<Sound>& parent, const OpenRequest& request) {
  Sound::Detail& detail = parent->detail();
  parent->data->channels = request.ex.numchannels;
  detail.sampleRate = request.ex.defaultfrequency;
  detail.format = request.ex.format;
  detail.type = FMOD_SOUND_TYPE_USER;
  parent->defaultFrequency_ = float(request.ex.defaultfrequency);
  for (int i = 0; i < request.ex.numsubsounds; ++i) {
    if (detail.cancel) return FMOD_ERR_FILE_BAD;
    OpenRequest childRequest = request;
    childRequest.subsound = i;
    auto child = NewSound(parent->owner, parent->systemHandle, parent->Mode(), childRequest);
    child->parentHandle = parent->handle;
    {
      std::lock_guard lock(detail.mutex);
      detail.subsounds.push_back(child->handle);
    }
    const FMOD_RESULT result = Open(child, childRequest);
    if (result != FMOD_OK) return result;
    MarkReady(*child);
    StartStreamThread(child);
  }
  return FMOD_OK;
}

FMOD_RESULT Open(const std::shared_ptr<Sound>& soundPtr, const OpenRequest& request) {
  Sound& sound = *soundPtr;
  Sound::Detail& detail = sound.detail();
  const FMOD_MODE mode = request.mode;
  const FMOD_CREATESOUNDEXINFO& ex = request.ex;

  std::function<std::unique_ptr<Decoder>(FMOD_RESULT&)> factory;
  if (mode & FMOD_OPENUSER) {
    if (ex.numsubsounds > 0 && request.subsound < 0) return OpenUserParent(soundPtr, request);
    const std::uint64_t frameBytes = std::uint64_t(ex.numchannels) * std::uint64_t(BytesPerSample(ex.format));
    const std::uint64_t frames = ex.length / frameBytes;
    FMOD_SOUND* handle = sound.handle;
    const int subsound = std::max(request.subsound, 0);
    factory = [=](FMOD_RESULT& error) {
      error = FMOD_OK;
      return OpenUserDecoder(handle, subsound, ex.numchannels, ex.defaultfrequency, ex.format, frames,
                             ex.pcmreadcallback, ex.pcmsetposcallback);
    };
  } else {
    FMOD_RESULT error = FMOD_OK;
    std::shared_ptr<ByteSource> source = request.memory;
    if (!source) {
      if (request.hasEx && ex.fileuseropen != nullptr && ex.fileuserread != nullptr)
        source = OpenCallbackSource(request.path.c_str(), ex.fileoffset, ex.fileuseropen, ex.fileuserclose,
                                    ex.fileuserread, ex.fileuserseek, ex.fileuserdata, error);
      else
        source = OpenFileSource(request.path.c_str(), request.hasEx ? ex.fileoffset : 0, error);
      if (!source) return error;
    }
    if (mode & FMOD_OPENRAW) {
      factory = [source, ex](FMOD_RESULT& e) {
        return OpenRawDecoder(source, ex.numchannels, ex.defaultfrequency, ex.format, e);
      };
    } else {
      const bool wantTags = !(mode & FMOD_IGNORETAGS);
      factory = [source, wantTags](FMOD_RESULT& e) { return OpenContainerDecoder(source, wantTags, e); };
    }
  }

  FMOD_RESULT error = FMOD_OK;
  std::unique_ptr<Decoder> decoder = factory(error);
  if (!decoder) return error;
  const DecoderInfo& info = decoder->Info();
  sound.data->channels = info.channels;
  detail.sampleRate = info.sampleRate;
  detail.type = info.type;
  detail.format = info.format;
  detail.rawBytes = info.rawBytes;
  detail.reopen = factory;
  sound.defaultFrequency_ = float(info.sampleRate);
  if (request.hasEx && (mode & (FMOD_OPENUSER | FMOD_OPENRAW)) == 0 && ex.defaultfrequency > 0)
    sound.defaultFrequency_ = float(ex.defaultfrequency);

  std::uint64_t frames = info.frames;
  if (sound.isStream_ && !info.framesKnown) {
    // The container does not say: count once, so that loops and lengths work.
    FMOD_RESULT countError = FMOD_OK;
    if (auto counter = factory(countError)) {
      std::vector<float> scratch(std::size_t(4096) * info.channels);
      frames = 0;
      while (!detail.cancel) {
        const std::uint32_t got = counter->Read(scratch.data(), 4096);
        if (got == 0) break;
        frames += got;
      }
    }
  }

  if (!sound.isStream_ && !detail.openOnly) {
    const std::size_t channels = std::size_t(info.channels);
    std::vector<float> data;
    if (info.framesKnown) data.reserve(std::size_t(std::min<std::uint64_t>(info.frames, 1u << 26)) * channels);
    std::uint64_t decoded = 0;
    constexpr std::uint32_t kChunk = 16384;
    while (decoded < 0xFFFFFFFFu) {
      if (detail.cancel) return FMOD_ERR_FILE_BAD;
      const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, 0xFFFFFFFFu - decoded));
      data.resize(std::size_t(decoded + want) * channels);
      const std::uint32_t got = decoder->Read(data.data() + decoded * channels, want);
      decoded += got;
      if (got < want) break;
    }
    data.resize(std::size_t(decoded) * channels);
    data.shrink_to_fit();
    auto decodedFrames = std::make_shared<const std::vector<float>>(std::move(data));
    sound.data->samples.store(decodedFrames->data(), std::memory_order_release);
    sound.data->sampleOwner = std::move(decodedFrames);
    frames = decoded;
  }
  if (frames == 0) return FMOD_ERR_FILE_EOF;
  frames = std::min<std::uint64_t>(frames, 0xFFFFFFFFu);
  sound.data->length.store(static_cast<std::uint32_t>(frames), std::memory_order_release);

  sound.loopStart_ = 0;
  sound.loopEnd_ = static_cast<std::uint32_t>(frames - 1);
  if (info.hasLoop && info.loopEnd < frames) {
    sound.loopStart_ = info.loopStart;
    sound.loopEnd_ = info.loopEnd;
    sound.loopCount_ = info.loopCount;
  }

  {
    std::lock_guard lock(detail.mutex);
    detail.tagData = info.tags;
    detail.tags.clear();
    for (DecodedTag& tag : detail.tagData)
      detail.tags.push_back({tag.type, FMOD_TAGDATATYPE_STRING_UTF8, tag.name.data(), tag.value.data(),
                             static_cast<unsigned int>(tag.value.size() + 1), 0});
    // New tags count as updated until GetTag reads them.
    detail.tagUpdated.assign(detail.tags.size(), true);
    for (const DecodedCue& cue : info.cues)
      if (cue.offset <= frames) AddSyncPointLocked(sound, cue.offset, cue.name);
  }

  if (detail.openOnly) {
    detail.readDecoder = std::move(decoder);
  } else if (sound.isStream_) {
    std::uint64_t bufferFrames = request.hasEx && ex.decodebuffersize > 0 ? std::uint64_t(ex.decodebuffersize) * 2
                                                                         : std::uint64_t(info.sampleRate) * 4 / 5;
    bufferFrames = std::min<std::uint64_t>(bufferFrames, 1u << 22);
    std::uint64_t initial = 0;
    if (request.hasEx && ex.initialseekposition > 0) {
      if (!ToFrames(sound, ex.initialseekposition, ex.initialseekpostype, initial)) initial = 0;
      if (initial >= frames) initial = 0;
    }
    io::StreamLoop loop;
    loop.mode = sound.Mode() & kLoopBits;
    loop.start = sound.LoopStart();
    loop.end = sound.LoopEnd();
    loop.count = sound.LoopCount();
    io::StreamLinks links;
    links.length = &sound.data->length;
    links.loopStart = &sound.loopStart_;
    links.loopEnd = &sound.loopEnd_;
    links.cancel = &detail.cancel;
    auto stream = std::make_unique<io::Stream>(std::move(decoder), static_cast<std::uint32_t>(bufferFrames), initial,
                                               loop, links);
    sound.stream_ = stream.get();
    sound.data->stream = std::move(stream);
    sound.stream_->Fill();
  }
  return FMOD_OK;
}

FMOD_RESULT OpenCaught(const std::shared_ptr<Sound>& sound, const OpenRequest& request) noexcept {
  try {
    return Open(sound, request);
  } catch (const std::bad_alloc&) {
    return FMOD_ERR_MEMORY;
  } catch (...) {
    return FMOD_ERR_INTERNAL;
  }
}

FMOD_RESULT Create(FMOD_SYSTEM* systemHandle, const char* nameOrData, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                   FMOD_SOUND** out) {
  const char* const function = (mode & FMOD_CREATESTREAM) ? "FMOD_System_CreateStream" : "FMOD_System_CreateSound";
  std::shared_ptr<System> system = Systems().Find(systemHandle);
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (out == nullptr) return FMOD_ERR_INVALID_PARAM;
  *out = nullptr;
  if (exinfo != nullptr && exinfo->cbsize != int(sizeof(FMOD_CREATESOUNDEXINFO))) return FMOD_ERR_INVALID_PARAM;
  const bool user = (mode & FMOD_OPENUSER) != 0;
  const bool raw = (mode & FMOD_OPENRAW) != 0;
  const bool copy = (mode & FMOD_OPENMEMORY) != 0;
  const bool point = (mode & FMOD_OPENMEMORY_POINT) != 0;
  if (copy && point) return FMOD_ERR_INVALID_PARAM;
  if (!user && nameOrData == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (!user && (copy || point) && (exinfo == nullptr || exinfo->length == 0)) return FMOD_ERR_INVALID_PARAM;
  if (exinfo != nullptr && exinfo->numsubsounds < 0) return FMOD_ERR_INVALID_PARAM;
  if (user || raw) {
    if (exinfo == nullptr || exinfo->numchannels < 1 || exinfo->numchannels > 32 || exinfo->defaultfrequency <= 0 ||
        BytesPerSample(exinfo->format) == 0)
      return FMOD_ERR_INVALID_PARAM;
    const unsigned frameBytes = unsigned(exinfo->numchannels * BytesPerSample(exinfo->format));
    if (user && exinfo->numsubsounds == 0 && exinfo->length < frameBytes) return FMOD_ERR_INVALID_PARAM;
  }
  {
    std::lock_guard lock(system->mutex);
    if (system->state != System::State::Initialised) return FMOD_ERR_UNINITIALIZED;
  }

  OpenRequest request;
  request.mode = mode;
  if (exinfo != nullptr) {
    request.ex = *exinfo;
    request.hasEx = true;
  }
  if (!user) {
    if (copy || point) {
      if (exinfo->fileoffset >= exinfo->length) return FMOD_ERR_FILE_EOF;
      request.memory = MemorySource(nameOrData + exinfo->fileoffset, exinfo->length - exinfo->fileoffset, copy);
    } else {
      request.path = nameOrData;
    }
  }

  std::shared_ptr<Sound> sound = NewSound(system.get(), systemHandle, mode, request);
  if (!user && !copy && !point && !(mode & FMOD_LOWMEM)) sound->detail().name = BaseName(nameOrData);

  if (mode & FMOD_NONBLOCKING) {
    sound->detail().openState = FMOD_OPENSTATE_LOADING;
    sound->detail().worker = std::thread([sound, request] {
      const FMOD_RESULT result = OpenCaught(sound, request);
      if (result == FMOD_OK) {
        MarkReady(*sound);
      } else {
        sound->detail().openResult = result;
        sound->detail().openState = FMOD_OPENSTATE_ERROR;
        log::Warning("FMOD_System_CreateSound", "non-blocking open of '" + request.path + "' failed: " +
                                                    std::to_string(int(result)));
      }
      if (request.hasEx && request.ex.nonblockcallback != nullptr) request.ex.nonblockcallback(sound->handle, result);
      if (result == FMOD_OK && sound->stream_ != nullptr) sound->stream_->Run();
    });
    *out = sound->handle;
    return FMOD_OK;
  }

  const FMOD_RESULT result = OpenCaught(sound, request);
  if (result != FMOD_OK) {
    ReleaseSound(sound);
    log::Warning(function, "cannot open '" + request.path + "': " + std::to_string(int(result)));
    return result;
  }
  MarkReady(*sound);
  StartStreamThread(sound);
  *out = sound->handle;
  return FMOD_OK;
}

FMOD_RESULT CreateSound(FMOD_SYSTEM* system, const char* nameOrData, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                        FMOD_SOUND** sound) {
  return Create(system, nameOrData, mode, exinfo, sound);
}

FMOD_RESULT CreateStream(FMOD_SYSTEM* system, const char* nameOrData, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                         FMOD_SOUND** sound) {
  return Create(system, nameOrData, mode | FMOD_CREATESTREAM, exinfo, sound);
}

// Sounds still alive when the library goes away: stop their threads while
// the code they run is still there. Constructing the tables first makes them
// outlive this object.
struct Reaper {
  Reaper() {
    Sounds();
    SyncPoints();
  }
  ~Reaper() {
    for (const std::shared_ptr<Sound>& sound : Sounds().All()) ReleaseSound(sound);
  }
};
const Reaper kReaper;

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_System_CreateSound = &CreateSound;
  t.FMOD_System_CreateStream = &CreateStream;
}};

}  // namespace
}  // namespace sonvel::engine
