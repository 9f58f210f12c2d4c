// The FMOD_Sound_* entry points: queries and settings of a sound, locks on a
// sample's data, offline reads, tags, sync points and loops.
//
// Every call first finds the sound behind the handle (30 for anything that is
// not a live sound). Calls that need the decoded data answer
// FMOD_ERR_NOTREADY while a non-blocking open is still in flight or after it
// failed; GetOpenState tells which.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "Api.h"
#include "SoundDetail.h"
#include "SoundGroup.h"
#include "Stream.h"
#include "System.h"

namespace sonvel::engine {
namespace {

// The sound behind `handle`, whatever its open state.
FMOD_RESULT Find(FMOD_SOUND* handle, std::shared_ptr<Sound>& sound) {
  sound = Sounds().Find(handle);
  return sound ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
}

// The sound behind `handle`, opened and ready.
FMOD_RESULT FindReady(FMOD_SOUND* handle, std::shared_ptr<Sound>& sound) {
  sound = Sounds().Find(handle);
  if (!sound) return FMOD_ERR_INVALID_HANDLE;
  return sound->IsReady() ? FMOD_OK : FMOD_ERR_NOTREADY;
}

// Hands a stream the sound's current loop settings.
void ApplyLoopToStream(Sound& sound) {
  if (sound.IsStream())
    sound.SetStreamLoop(sound.Mode() & kLoopBits, sound.LoopStart(), sound.LoopEnd(), sound.LoopCount());
}

// ---------------------------------------------------------------------------
// Identity and lifetime

FMOD_RESULT Release(FMOD_SOUND* handle) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  if (sound->parentHandle != nullptr) {
    if (auto parent = Sounds().Find(sound->parentHandle)) {
      std::lock_guard lock(parent->detail().mutex);
      auto& list = parent->detail().subsounds;
      list.erase(std::remove(list.begin(), list.end(), handle), list.end());
    }
  }
  ReleaseSound(sound);
  return FMOD_OK;
}

FMOD_RESULT GetSystemObject(FMOD_SOUND* handle, FMOD_SYSTEM** system) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
  *system = sound->systemHandle;
  return FMOD_OK;
}

FMOD_RESULT GetName(FMOD_SOUND* handle, char* name, int length) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  std::lock_guard lock(sound->detail().mutex);
  return CopyName(sound->detail().name, name, length);
}

FMOD_RESULT SetUserData(FMOD_SOUND* handle, void* userData) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  sound->detail().userData = userData;
  return FMOD_OK;
}

FMOD_RESULT GetUserData(FMOD_SOUND* handle, void** userData) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  if (userData == nullptr) return FMOD_ERR_INVALID_PARAM;
  *userData = sound->detail().userData;
  return FMOD_OK;
}

FMOD_RESULT GetOpenState(FMOD_SOUND* handle, FMOD_OPENSTATE* state, unsigned int* percentBuffered, FMOD_BOOL* starving,
                         FMOD_BOOL* diskBusy) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  if (state == nullptr && percentBuffered == nullptr && starving == nullptr && diskBusy == nullptr)
    return FMOD_ERR_INVALID_PARAM;
  Sound::Detail& detail = sound->detail();
  FMOD_OPENSTATE current = detail.openState.load();
  unsigned int percent = 0;
  bool isStarving = false, busy = current == FMOD_OPENSTATE_LOADING;
  if (sound->IsReady() && sound->Stream() != nullptr) {
    const io::Stream& stream = *sound->Stream();
    // How full the ring is; a stream decoded to its end has all it needs.
    percent = stream.ProducedAll() ? 100u
                                   : static_cast<unsigned int>(
                                         std::min<std::uint64_t>(100, stream.Buffered() * 100 / stream.Capacity()));
    isStarving = stream.Starving();
    busy = stream.Busy();
    if (stream.SeekPending()) current = FMOD_OPENSTATE_SETPOSITION;
  }
  if (state != nullptr) *state = current;
  if (percentBuffered != nullptr) *percentBuffered = percent;
  if (starving != nullptr) *starving = isStarving ? 1 : 0;
  if (diskBusy != nullptr) *diskBusy = busy ? 1 : 0;
  // A failed non-blocking open reports why.
  return current == FMOD_OPENSTATE_ERROR ? detail.openResult.load() : FMOD_OK;
}

// ---------------------------------------------------------------------------
// Format and length

FMOD_RESULT GetLength(FMOD_SOUND* handle, unsigned int* length, FMOD_TIMEUNIT unit) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (length == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (unit == FMOD_TIMEUNIT_RAWBYTES) {
    *length = static_cast<unsigned int>(std::min<std::uint64_t>(sound->detail().rawBytes, 0xFFFFFFFFu));
    return FMOD_OK;
  }
  return FromFrames(*sound, sound->LengthFrames(), unit, *length) ? FMOD_OK : FMOD_ERR_FORMAT;
}

FMOD_RESULT GetFormat(FMOD_SOUND* handle, FMOD_SOUND_TYPE* type, FMOD_SOUND_FORMAT* format, int* channels, int* bits) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (type == nullptr && format == nullptr && channels == nullptr && bits == nullptr) return FMOD_ERR_INVALID_PARAM;
  const Sound::Detail& detail = sound->detail();
  if (type != nullptr) *type = detail.type;
  if (format != nullptr) *format = detail.format;
  if (channels != nullptr) *channels = sound->Channels();
  if (bits != nullptr) *bits = BitsPerSample(detail.format);
  return FMOD_OK;
}

FMOD_RESULT GetNumSubSounds(FMOD_SOUND* handle, int* count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(sound->detail().mutex);
  *count = static_cast<int>(sound->detail().subsounds.size());
  return FMOD_OK;
}

FMOD_RESULT GetSubSound(FMOD_SOUND* handle, int index, FMOD_SOUND** subsound) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (subsound == nullptr) return FMOD_ERR_INVALID_PARAM;
  *subsound = nullptr;
  std::lock_guard lock(sound->detail().mutex);
  const auto& list = sound->detail().subsounds;
  if (index < 0 || std::size_t(index) >= list.size()) return FMOD_ERR_INVALID_PARAM;
  *subsound = list[std::size_t(index)];
  return FMOD_OK;
}

FMOD_RESULT GetSubSoundParent(FMOD_SOUND* handle, FMOD_SOUND** parent) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = Find(handle, sound)) return r;
  if (parent == nullptr) return FMOD_ERR_INVALID_PARAM;
  *parent = sound->parentHandle;
  return FMOD_OK;
}

// ---------------------------------------------------------------------------
// Defaults and 3D settings

FMOD_RESULT SetDefaults(FMOD_SOUND* handle, float frequency, int priority) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (!std::isfinite(frequency)) return FMOD_ERR_INVALID_FLOAT;
  if (priority < 0 || priority > 256) return FMOD_ERR_INVALID_PARAM;
  sound->defaultFrequency_ = frequency;
  sound->defaultPriority_ = priority;
  return FMOD_OK;
}

FMOD_RESULT GetDefaults(FMOD_SOUND* handle, float* frequency, int* priority) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (frequency == nullptr && priority == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (frequency != nullptr) *frequency = sound->DefaultFrequency();
  if (priority != nullptr) *priority = sound->DefaultPriority();
  return FMOD_OK;
}

FMOD_RESULT Set3DMinMaxDistance(FMOD_SOUND* handle, float minimum, float maximum) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (!std::isfinite(minimum) || !std::isfinite(maximum)) return FMOD_ERR_INVALID_FLOAT;
  if (minimum < 0.0f || maximum < minimum) return FMOD_ERR_INVALID_PARAM;
  sound->minDistance_ = minimum;
  sound->maxDistance_ = maximum;
  return FMOD_OK;
}

FMOD_RESULT Get3DMinMaxDistance(FMOD_SOUND* handle, float* minimum, float* maximum) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (minimum == nullptr && maximum == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (minimum != nullptr) *minimum = sound->MinDistance();
  if (maximum != nullptr) *maximum = sound->MaxDistance();
  return FMOD_OK;
}

FMOD_RESULT Set3DConeSettings(FMOD_SOUND* handle, float inside, float outside, float outsideVolume) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (!std::isfinite(inside) || !std::isfinite(outside) || !std::isfinite(outsideVolume)) return FMOD_ERR_INVALID_FLOAT;
  if (inside < 0.0f || inside > 360.0f || outside < inside || outside > 360.0f || outsideVolume < 0.0f ||
      outsideVolume > 1.0f)
    return FMOD_ERR_INVALID_PARAM;
  sound->coneInside_ = inside;
  sound->coneOutside_ = outside;
  sound->coneOutsideVolume_ = outsideVolume;
  return FMOD_OK;
}

FMOD_RESULT Get3DConeSettings(FMOD_SOUND* handle, float* inside, float* outside, float* outsideVolume) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (inside == nullptr && outside == nullptr && outsideVolume == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (inside != nullptr) *inside = sound->ConeInsideAngle();
  if (outside != nullptr) *outside = sound->ConeOutsideAngle();
  if (outsideVolume != nullptr) *outsideVolume = sound->ConeOutsideVolume();
  return FMOD_OK;
}

// The curve is copied into a snapshot the mixer reads without a lock; old
// snapshots stay until the sound goes, as the mixer may still hold one.
FMOD_RESULT Set3DCustomRolloff(FMOD_SOUND* handle, FMOD_VECTOR* points, int count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count < 0 || (count > 0 && points == nullptr)) return FMOD_ERR_INVALID_PARAM;
  auto curve = std::make_unique<RolloffCurve>();
  if (points != nullptr && count > 0) {
    curve->points.assign(points, points + count);
    for (int i = 0; i < count; ++i) {
      const FMOD_VECTOR& p = curve->points[std::size_t(i)];
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return FMOD_ERR_INVALID_FLOAT;
      if (p.x < 0.0f || (i > 0 && p.x < curve->points[std::size_t(i) - 1].x)) return FMOD_ERR_INVALID_PARAM;
    }
  }
  Sound::Detail& detail = sound->detail();
  std::lock_guard lock(detail.mutex);
  sound->rolloff_.store(curve.get(), std::memory_order_release);
  detail.rolloffSnapshots.push_back(std::move(curve));
  return FMOD_OK;
}

FMOD_RESULT Get3DCustomRolloff(FMOD_SOUND* handle, FMOD_VECTOR** points, int* count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (points == nullptr && count == nullptr) return FMOD_ERR_INVALID_PARAM;
  const RolloffCurve& curve = sound->CustomRolloff();
  if (points != nullptr) *points = curve.points.empty() ? nullptr : const_cast<FMOD_VECTOR*>(curve.points.data());
  if (count != nullptr) *count = static_cast<int>(curve.points.size());
  return FMOD_OK;
}

// ---------------------------------------------------------------------------
// Mode and loops

FMOD_RESULT SetMode(FMOD_SOUND* handle, FMOD_MODE mode) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  sound->mode_.store(MergeMode(sound->Mode(), mode), std::memory_order_relaxed);
  ApplyLoopToStream(*sound);
  return FMOD_OK;
}

FMOD_RESULT GetMode(FMOD_SOUND* handle, FMOD_MODE* mode) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (mode == nullptr) return FMOD_ERR_INVALID_PARAM;
  *mode = sound->Mode();
  return FMOD_OK;
}

FMOD_RESULT SetLoopCount(FMOD_SOUND* handle, int count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count < -1) return FMOD_ERR_INVALID_PARAM;
  sound->loopCount_ = count;
  ApplyLoopToStream(*sound);
  return FMOD_OK;
}

FMOD_RESULT GetLoopCount(FMOD_SOUND* handle, int* count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = sound->LoopCount();
  return FMOD_OK;
}

FMOD_RESULT SetLoopPoints(FMOD_SOUND* handle, unsigned int start, FMOD_TIMEUNIT startUnit, unsigned int end,
                          FMOD_TIMEUNIT endUnit) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  std::uint64_t first = 0, last = 0;
  if (!ToFrames(*sound, start, startUnit, first) || !ToFrames(*sound, end, endUnit, last)) return FMOD_ERR_FORMAT;
  if (first >= last || last >= sound->LengthFrames()) return FMOD_ERR_INVALID_PARAM;
  // The start drops to 0 first, so that a reader never sees it past the end.
  sound->loopStart_ = 0;
  sound->loopEnd_ = static_cast<std::uint32_t>(last);
  sound->loopStart_ = static_cast<std::uint32_t>(first);
  ApplyLoopToStream(*sound);
  return FMOD_OK;
}

FMOD_RESULT GetLoopPoints(FMOD_SOUND* handle, unsigned int* start, FMOD_TIMEUNIT startUnit, unsigned int* end,
                          FMOD_TIMEUNIT endUnit) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (start == nullptr && end == nullptr) return FMOD_ERR_INVALID_PARAM;
  unsigned int first = 0, last = 0;
  if ((start != nullptr && !FromFrames(*sound, sound->LoopStart(), startUnit, first)) ||
      (end != nullptr && !FromFrames(*sound, sound->LoopEnd(), endUnit, last)))
    return FMOD_ERR_FORMAT;
  if (start != nullptr) *start = first;
  if (end != nullptr) *end = last;
  return FMOD_OK;
}

// ---------------------------------------------------------------------------
// Sound groups

FMOD_RESULT SetSoundGroup(FMOD_SOUND* handle, FMOD_SOUNDGROUP* groupHandle) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (groupHandle == nullptr) {
    sound->soundGroup_.store(nullptr, std::memory_order_relaxed);  // back to the master group
    return FMOD_OK;
  }
  auto group = SoundGroups().Find(groupHandle);
  if (!group) return FMOD_ERR_INVALID_HANDLE;
  if (group->owner != sound->owner) return FMOD_ERR_INVALID_PARAM;
  sound->soundGroup_.store(group->isMaster ? nullptr : groupHandle, std::memory_order_relaxed);
  return FMOD_OK;
}

FMOD_RESULT GetSoundGroup(FMOD_SOUND* handle, FMOD_SOUNDGROUP** group) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
  *group = EffectiveSoundGroup(*sound);
  return *group != nullptr ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
}

// ---------------------------------------------------------------------------
// Tags

FMOD_RESULT GetNumTags(FMOD_SOUND* handle, int* count, int* updated) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count == nullptr && updated == nullptr) return FMOD_ERR_INVALID_PARAM;
  Sound::Detail& detail = sound->detail();
  std::lock_guard lock(detail.mutex);
  if (count != nullptr) *count = static_cast<int>(detail.tags.size());
  if (updated != nullptr)
    *updated = static_cast<int>(std::count(detail.tagUpdated.begin(), detail.tagUpdated.end(), true));
  return FMOD_OK;
}

// `index` counts among the tags called `name` (all tags when `name` is
// null); a negative index asks for the first tag not read since it changed.
// Reading a tag clears its 'updated' mark.
FMOD_RESULT GetTag(FMOD_SOUND* handle, const char* name, int index, FMOD_TAG* tag) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (tag == nullptr) return FMOD_ERR_INVALID_PARAM;
  Sound::Detail& detail = sound->detail();
  std::lock_guard lock(detail.mutex);
  int seen = 0;
  for (std::size_t i = 0; i < detail.tags.size(); ++i) {
    if (name != nullptr && detail.tagData[i].name != name) continue;
    if (index < 0 ? !detail.tagUpdated[i] : seen++ != index) continue;
    *tag = detail.tags[i];
    tag->updated = detail.tagUpdated[i] ? 1 : 0;
    detail.tagUpdated[i] = false;
    return FMOD_OK;
  }
  return FMOD_ERR_TAGNOTFOUND;
}

// ---------------------------------------------------------------------------
// Sync points

FMOD_RESULT GetNumSyncPoints(FMOD_SOUND* handle, int* count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(sound->detail().mutex);
  *count = static_cast<int>(sound->detail().syncPoints.size());
  return FMOD_OK;
}

FMOD_RESULT GetSyncPoint(FMOD_SOUND* handle, int index, FMOD_SYNCPOINT** point) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (point == nullptr) return FMOD_ERR_INVALID_PARAM;
  *point = nullptr;
  std::lock_guard lock(sound->detail().mutex);
  const auto& list = sound->detail().syncPoints;
  if (index < 0 || std::size_t(index) >= list.size()) return FMOD_ERR_INVALID_PARAM;
  *point = list[std::size_t(index)];
  return FMOD_OK;
}

// A sync point of `sound`, or null.
std::shared_ptr<SyncPoint> PointOf(const Sound& sound, FMOD_SYNCPOINT* handle) {
  auto point = SyncPoints().Find(handle);
  return point && point->sound == sound.handle ? point : nullptr;
}

FMOD_RESULT GetSyncPointInfo(FMOD_SOUND* handle, FMOD_SYNCPOINT* pointHandle, char* name, int nameLength,
                             unsigned int* offset, FMOD_TIMEUNIT unit) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (pointHandle == nullptr) return FMOD_ERR_INVALID_PARAM;
  auto point = PointOf(*sound, pointHandle);
  if (!point) return FMOD_ERR_INVALID_SYNCPOINT;
  if (offset != nullptr && !FromFrames(*sound, point->offset, unit, *offset)) return FMOD_ERR_FORMAT;
  if (name != nullptr && nameLength > 0) {
    std::lock_guard lock(sound->detail().mutex);
    CopyName(point->name, name, nameLength);
  }
  return FMOD_OK;
}

FMOD_RESULT AddSyncPoint(FMOD_SOUND* handle, unsigned int offset, FMOD_TIMEUNIT unit, const char* name,
                         FMOD_SYNCPOINT** point) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (point != nullptr) *point = nullptr;
  std::uint64_t frames = 0;
  if (!ToFrames(*sound, offset, unit, frames)) return FMOD_ERR_FORMAT;
  if (frames > sound->LengthFrames()) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(sound->detail().mutex);
  FMOD_SYNCPOINT* added = AddSyncPointLocked(*sound, static_cast<std::uint32_t>(frames), name != nullptr ? name : "");
  if (point != nullptr) *point = added;
  return FMOD_OK;
}

FMOD_RESULT DeleteSyncPoint(FMOD_SOUND* handle, FMOD_SYNCPOINT* pointHandle) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (pointHandle == nullptr) return FMOD_ERR_INVALID_PARAM;
  Sound::Detail& detail = sound->detail();
  std::lock_guard lock(detail.mutex);
  if (!PointOf(*sound, pointHandle)) return FMOD_ERR_INVALID_SYNCPOINT;
  detail.syncPoints.erase(std::remove(detail.syncPoints.begin(), detail.syncPoints.end(), pointHandle),
                          detail.syncPoints.end());
  SyncPoints().Remove(pointHandle);
  PublishSyncPoints(*sound);
  return FMOD_OK;
}

// ---------------------------------------------------------------------------
// Lock/Unlock: the caller edits a copy of the sample's data in the sound's
// format; Unlock converts what it touched back into the float samples.

// Byte range [offset, offset + length) of `frames` as frames of `frameBytes`.
Sound::Detail::LockPart Stage(const Sound& sound, const std::vector<float>& frames, std::uint64_t offset,
                              std::uint64_t length, int frameBytes) {
  Sound::Detail::LockPart part;
  part.firstFrame = offset / std::uint64_t(frameBytes);
  const std::uint64_t endFrame = (offset + length + std::uint64_t(frameBytes) - 1) / std::uint64_t(frameBytes);
  part.frames = endFrame - part.firstFrame;
  part.bytes = std::make_unique<unsigned char[]>(std::size_t(part.frames) * std::size_t(frameBytes));
  const std::size_t channels = std::size_t(sound.Channels());
  FromFloat(const_cast<Sound&>(sound).detail().format, frames.data() + part.firstFrame * channels, part.bytes.get(),
            std::size_t(part.frames) * channels);
  part.pointer = part.bytes.get() + offset % std::uint64_t(frameBytes);
  return part;
}

void Commit(Sound& sound, std::vector<float>& frames, const Sound::Detail::LockPart& part, std::uint64_t length,
            int frameBytes) {
  if (!part.bytes) return;
  const std::uint64_t lead = std::uint64_t(part.pointer - part.bytes.get());
  const std::uint64_t count =
      std::min<std::uint64_t>(part.frames, (lead + length + std::uint64_t(frameBytes) - 1) / std::uint64_t(frameBytes));
  const std::size_t channels = std::size_t(sound.Channels());
  ToFloat(sound.detail().format, part.bytes.get(), frames.data() + part.firstFrame * channels,
          std::size_t(count) * channels);
}

FMOD_RESULT Lock(FMOD_SOUND* handle, unsigned int offset, unsigned int length, void** ptr1, void** ptr2,
                 unsigned int* len1, unsigned int* len2) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (ptr1 == nullptr || len1 == nullptr) return FMOD_ERR_INVALID_PARAM;
  *ptr1 = nullptr;
  *len1 = 0;
  if (ptr2 != nullptr) *ptr2 = nullptr;
  if (len2 != nullptr) *len2 = 0;
  Sound::Detail& detail = sound->detail();
  if (sound->IsStream() || detail.openOnly || sound->Channels() <= 0) return FMOD_ERR_BADCOMMAND;
  const int frameBytes = FrameBytes(*sound);
  if (frameBytes <= 0) return FMOD_ERR_BADCOMMAND;
  std::lock_guard lock(detail.mutex);
  const std::shared_ptr<const std::vector<float>> frames = sound->data->sampleOwner;
  if (!frames) return FMOD_ERR_BADCOMMAND;
  const std::uint64_t total =
      std::uint64_t(frames->size() / std::size_t(sound->Channels())) * std::uint64_t(frameBytes);
  if (length == 0 || offset >= total) return FMOD_ERR_INVALID_PARAM;

  Sound::Detail::LockRecord record;
  const std::uint64_t first = std::min<std::uint64_t>(length, total - offset);
  // What does not fit wraps round to the start of the data.
  const std::uint64_t second = ptr2 != nullptr && len2 != nullptr ? std::min<std::uint64_t>(length - first, offset) : 0;
  record.first = Stage(*sound, *frames, offset, first, frameBytes);
  if (second > 0) record.second = Stage(*sound, *frames, 0, second, frameBytes);
  *ptr1 = record.first.pointer;
  *len1 = static_cast<unsigned int>(first);
  if (second > 0) {
    *ptr2 = record.second.pointer;
    *len2 = static_cast<unsigned int>(second);
  }
  detail.locks.push_back(std::move(record));
  return FMOD_OK;
}

// The caller's changes go into a new copy of the frames, which replaces the
// old one whole: the mixer, which may be reading the old frames this very
// moment, never sees a half-written one. The old frames are freed once the
// mixer has moved on.
FMOD_RESULT Unlock(FMOD_SOUND* handle, void* ptr1, void* ptr2, unsigned int len1, unsigned int len2) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (ptr1 == nullptr) return FMOD_ERR_INVALID_PARAM;
  Sound::Detail& detail = sound->detail();
  std::shared_ptr<const std::vector<float>> old;
  {
    std::lock_guard lock(detail.mutex);
    auto record = std::find_if(detail.locks.begin(), detail.locks.end(),
                               [&](const Sound::Detail::LockRecord& r) { return r.first.pointer == ptr1; });
    if (record == detail.locks.end()) return FMOD_ERR_INVALID_PARAM;
    if (ptr2 != nullptr && ptr2 != record->second.pointer) return FMOD_ERR_INVALID_PARAM;
    const int frameBytes = FrameBytes(*sound);
    auto next = std::make_shared<std::vector<float>>(*sound->data->sampleOwner);
    Commit(*sound, *next, record->first, len1, frameBytes);
    if (ptr2 != nullptr) Commit(*sound, *next, record->second, len2, frameBytes);
    detail.locks.erase(record);
    sound->data->samples.store(next->data(), std::memory_order_release);
    old = std::exchange(sound->data->sampleOwner, std::move(next));
  }
  RetireForSystem(sound->systemHandle, std::const_pointer_cast<std::vector<float>>(std::move(old)));
  return FMOD_OK;
}

// ---------------------------------------------------------------------------
// ReadData/SeekData: offline decoding through a decoder of the sound's own,
// independent of what plays. The data comes in the sound's format.

FMOD_RESULT EnsureReadDecoder(Sound::Detail& detail) {
  if (detail.readDecoder) return FMOD_OK;
  if (!detail.reopen) return FMOD_ERR_BADCOMMAND;
  FMOD_RESULT error = FMOD_OK;
  detail.readDecoder = detail.reopen(error);
  if (!detail.readDecoder) return error != FMOD_OK ? error : FMOD_ERR_FILE_BAD;
  if (detail.readFrame > 0 && !detail.readDecoder->Seek(detail.readFrame)) return FMOD_ERR_FILE_COULDNOTSEEK;
  return FMOD_OK;
}

FMOD_RESULT ReadData(FMOD_SOUND* handle, void* buffer, unsigned int length, unsigned int* read) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (read != nullptr) *read = 0;
  if (buffer == nullptr) return FMOD_ERR_INVALID_PARAM;
  Sound::Detail& detail = sound->detail();
  std::lock_guard lock(detail.readMutex);
  if (FMOD_RESULT r = EnsureReadDecoder(detail)) return r;
  const int frameBytes = FrameBytes(*sound);
  const std::size_t channels = std::size_t(sound->Channels());
  if (frameBytes <= 0 || channels == 0) return FMOD_ERR_BADCOMMAND;
  Decoder& decoder = *detail.readDecoder;
  auto* out = static_cast<unsigned char*>(buffer);
  std::uint64_t done = 0;
  constexpr std::uint32_t kChunk = 4096;
  while (done < length) {
    if (detail.carryAt < detail.carry.size()) {
      // The rest of a frame that the previous call cut.
      const std::size_t n = std::min<std::size_t>(detail.carry.size() - detail.carryAt, length - done);
      std::memcpy(out + done, detail.carry.data() + detail.carryAt, n);
      detail.carryAt += n;
      done += n;
      continue;
    }
    const std::uint64_t whole = (length - done) / std::uint64_t(frameBytes);
    const auto want = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(whole, 1, kChunk));
    detail.readScratch.resize(std::size_t(want) * channels);
    const std::uint32_t got = decoder.Read(detail.readScratch.data(), want);
    if (got == 0) break;
    detail.readFrame += got;
    if (whole == 0) {
      // Less than a frame wanted: convert one and keep what is not handed out.
      detail.carry.resize(std::size_t(frameBytes));
      FromFloat(detail.format, detail.readScratch.data(), detail.carry.data(), channels);
      detail.carryAt = 0;
      continue;
    }
    FromFloat(detail.format, detail.readScratch.data(), out + done, std::size_t(got) * channels);
    done += std::uint64_t(got) * std::uint64_t(frameBytes);
    if (got < want) break;
  }
  if (read != nullptr) *read = static_cast<unsigned int>(done);
  if (decoder.Failed() && done < length) return FMOD_ERR_FILE_BAD;
  return done < length ? FMOD_ERR_FILE_EOF : FMOD_OK;
}

FMOD_RESULT SeekData(FMOD_SOUND* handle, unsigned int pcm) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (pcm > sound->LengthFrames()) return FMOD_ERR_INVALID_POSITION;
  Sound::Detail& detail = sound->detail();
  std::lock_guard lock(detail.readMutex);
  if (FMOD_RESULT r = EnsureReadDecoder(detail)) return r;
  if (!detail.readDecoder->Seek(pcm)) return FMOD_ERR_FILE_COULDNOTSEEK;
  detail.readFrame = pcm;
  detail.carry.clear();
  detail.carryAt = 0;
  return FMOD_OK;
}

// ---------------------------------------------------------------------------
// Tracker music: none of our formats is one.

FMOD_RESULT GetMusicNumChannels(FMOD_SOUND* handle, int* count) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
  *count = 0;
  return FMOD_ERR_FORMAT;
}

FMOD_RESULT SetMusicChannelVolume(FMOD_SOUND* handle, int, float) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  return FMOD_ERR_FORMAT;
}

FMOD_RESULT GetMusicChannelVolume(FMOD_SOUND* handle, int, float* volume) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (volume == nullptr) return FMOD_ERR_INVALID_PARAM;
  *volume = 0.0f;
  return FMOD_ERR_FORMAT;
}

FMOD_RESULT SetMusicSpeed(FMOD_SOUND* handle, float) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  return FMOD_ERR_FORMAT;
}

FMOD_RESULT GetMusicSpeed(FMOD_SOUND* handle, float* speed) {
  std::shared_ptr<Sound> sound;
  if (FMOD_RESULT r = FindReady(handle, sound)) return r;
  if (speed == nullptr) return FMOD_ERR_INVALID_PARAM;
  *speed = 0.0f;
  return FMOD_ERR_FORMAT;
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_Sound_Release = &Release;
  t.FMOD_Sound_GetSystemObject = &GetSystemObject;
  t.FMOD_Sound_Lock = &Lock;
  t.FMOD_Sound_Unlock = &Unlock;
  t.FMOD_Sound_SetDefaults = &SetDefaults;
  t.FMOD_Sound_GetDefaults = &GetDefaults;
  t.FMOD_Sound_Set3DMinMaxDistance = &Set3DMinMaxDistance;
  t.FMOD_Sound_Get3DMinMaxDistance = &Get3DMinMaxDistance;
  t.FMOD_Sound_Set3DConeSettings = &Set3DConeSettings;
  t.FMOD_Sound_Get3DConeSettings = &Get3DConeSettings;
  t.FMOD_Sound_Set3DCustomRolloff = &Set3DCustomRolloff;
  t.FMOD_Sound_Get3DCustomRolloff = &Get3DCustomRolloff;
  t.FMOD_Sound_GetSubSound = &GetSubSound;
  t.FMOD_Sound_GetSubSoundParent = &GetSubSoundParent;
  t.FMOD_Sound_GetName = &GetName;
  t.FMOD_Sound_GetLength = &GetLength;
  t.FMOD_Sound_GetFormat = &GetFormat;
  t.FMOD_Sound_GetNumSubSounds = &GetNumSubSounds;
  t.FMOD_Sound_GetNumTags = &GetNumTags;
  t.FMOD_Sound_GetTag = &GetTag;
  t.FMOD_Sound_GetOpenState = &GetOpenState;
  t.FMOD_Sound_ReadData = &ReadData;
  t.FMOD_Sound_SeekData = &SeekData;
  t.FMOD_Sound_SetSoundGroup = &SetSoundGroup;
  t.FMOD_Sound_GetSoundGroup = &GetSoundGroup;
  t.FMOD_Sound_GetNumSyncPoints = &GetNumSyncPoints;
  t.FMOD_Sound_GetSyncPoint = &GetSyncPoint;
  t.FMOD_Sound_GetSyncPointInfo = &GetSyncPointInfo;
  t.FMOD_Sound_AddSyncPoint = &AddSyncPoint;
  t.FMOD_Sound_DeleteSyncPoint = &DeleteSyncPoint;
  t.FMOD_Sound_SetMode = &SetMode;
  t.FMOD_Sound_GetMode = &GetMode;
  t.FMOD_Sound_SetLoopCount = &SetLoopCount;
  t.FMOD_Sound_GetLoopCount = &GetLoopCount;
  t.FMOD_Sound_SetLoopPoints = &SetLoopPoints;
  t.FMOD_Sound_GetLoopPoints = &GetLoopPoints;
  t.FMOD_Sound_GetMusicNumChannels = &GetMusicNumChannels;
  t.FMOD_Sound_SetMusicChannelVolume = &SetMusicChannelVolume;
  t.FMOD_Sound_GetMusicChannelVolume = &GetMusicChannelVolume;
  t.FMOD_Sound_SetMusicSpeed = &SetMusicSpeed;
  t.FMOD_Sound_GetMusicSpeed = &GetMusicSpeed;
  t.FMOD_Sound_SetUserData = &SetUserData;
  t.FMOD_Sound_GetUserData = &GetUserData;
}};

}  // namespace
}  // namespace sonvel::engine
