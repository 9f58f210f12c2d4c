// The entry points only channels have (FMOD_Channel_*: frequency, priority,
// position, loops, group, sound) and only channel groups have
// (FMOD_ChannelGroup_*: release, sub-groups, name, channels).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ChannelAccess.h"

namespace sonvel::engine {
namespace {

using namespace controls;

// ---- Channels only

// The sound a channel plays, for its time units; null for a unit played as
// a channel (or a sound released meanwhile).
std::shared_ptr<Sound> SoundOf(const Channel& channel) {
  return channel.PlaysSound() ? Sounds().Find(channel.soundHandle) : nullptr;
}

FMOD_RESULT SetFrequency(FMOD_CHANNEL* handle, float frequency) {
  return Edit<Channel>(handle, [&](ControlSettings& s) {
    if (!Finite(frequency) || frequency < 0) return FMOD_ERR_INVALID_PARAM;
    s.frequency = frequency;
    return FMOD_OK;
  });
}

FMOD_RESULT GetFrequency(FMOD_CHANNEL* handle, float* frequency) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (frequency == nullptr) return FMOD_ERR_INVALID_PARAM;
    *frequency = c->api.settings.frequency;
    return FMOD_OK;
  });
}

FMOD_RESULT SetPriority(FMOD_CHANNEL* handle, int priority) {
  return Edit<Channel>(handle, [&](ControlSettings& s) {
    if (priority < 0 || priority > 256) return FMOD_ERR_INVALID_PARAM;
    s.priority = priority;
    return FMOD_OK;
  });
}

FMOD_RESULT GetPriority(FMOD_CHANNEL* handle, int* priority) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (priority == nullptr) return FMOD_ERR_INVALID_PARAM;
    *priority = c->api.settings.priority;
    return FMOD_OK;
  });
}

FMOD_RESULT SetPosition(FMOD_CHANNEL* handle, unsigned int position, FMOD_TIMEUNIT unit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (core::Unit* played = c->played.get()) {
      if (unit != FMOD_TIMEUNIT_PCM) return FMOD_ERR_FORMAT;
      return c.graph().SetUnitPosition(*played, position);
    }
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) return FMOD_ERR_INVALID_HANDLE;
    std::uint64_t frame = 0;
    if (!ToFrames(*sound, position, unit, frame)) return FMOD_ERR_FORMAT;
    if (frame >= sound->LengthFrames()) return FMOD_ERR_INVALID_POSITION;
    return c.graph().Seek(*c.object, frame);
  });
}

FMOD_RESULT GetPosition(FMOD_CHANNEL* handle, unsigned int* position, FMOD_TIMEUNIT unit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (position == nullptr) return FMOD_ERR_INVALID_PARAM;
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) {
      *position = 0;
      return unit == FMOD_TIMEUNIT_PCM ? FMOD_OK : FMOD_ERR_FORMAT;
    }
    if (!FromFrames(*sound, c.graph().PositionOf(*c.object), unit, *position)) return FMOD_ERR_FORMAT;
    return FMOD_OK;
  });
}

FMOD_RESULT SetChannelGroup(FMOD_CHANNEL* handle, FMOD_CHANNELGROUP* groupHandle) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (groupHandle == nullptr) return c.graph().SetParent(*c.object, c.graph().Master());
    std::shared_ptr<Group> group = Groups().Find(groupHandle);
    if (!group || group->api.gone) return FMOD_ERR_INVALID_HANDLE;
    if (group->engine.lock() != c.engine) return FMOD_ERR_INVALID_PARAM;  // another system's group
    return c.graph().SetParent(*c.object, *group);
  });
}

FMOD_RESULT GetChannelGroup(FMOD_CHANNEL* handle, FMOD_CHANNELGROUP** group) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
    *group = c->api.parent != nullptr ? c->api.parent->handle : nullptr;
    return FMOD_OK;
  });
}

FMOD_RESULT SetLoopCount(FMOD_CHANNEL* handle, int count) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (count < -1) return FMOD_ERR_INVALID_PARAM;
    c->channelApi.loopCount = count;
    return SendLoop(c);
  });
}

FMOD_RESULT GetLoopCount(FMOD_CHANNEL* handle, int* count) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = c->channelApi.loopCount;
    return FMOD_OK;
  });
}

FMOD_RESULT SetLoopPoints(FMOD_CHANNEL* handle, unsigned int start, FMOD_TIMEUNIT startUnit, unsigned int end,
                          FMOD_TIMEUNIT endUnit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) return FMOD_ERR_FORMAT;
    std::uint64_t first = 0, last = 0;
    if (!ToFrames(*sound, start, startUnit, first) || !ToFrames(*sound, end, endUnit, last)) return FMOD_ERR_FORMAT;
    if (first >= last || last >= sound->LengthFrames()) return FMOD_ERR_INVALID_PARAM;
    c->channelApi.loopStart = std::uint32_t(first);
    c->channelApi.loopEnd = std::uint32_t(last);
    return SendLoop(c);
  });
}

FMOD_RESULT GetLoopPoints(FMOD_CHANNEL* handle, unsigned int* start, FMOD_TIMEUNIT startUnit, unsigned int* end,
                          FMOD_TIMEUNIT endUnit) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    std::shared_ptr<Sound> sound = SoundOf(*c.object);
    if (!sound) return FMOD_ERR_FORMAT;
    if (start != nullptr && !FromFrames(*sound, c->channelApi.loopStart, startUnit, *start)) return FMOD_ERR_FORMAT;
    if (end != nullptr && !FromFrames(*sound, c->channelApi.loopEnd, endUnit, *end)) return FMOD_ERR_FORMAT;
    return FMOD_OK;
  });
}

FMOD_RESULT IsVirtual(FMOD_CHANNEL* handle, FMOD_BOOL* isVirtual) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (isVirtual == nullptr) return FMOD_ERR_INVALID_PARAM;
    *isVirtual = c->isVirtual.load(std::memory_order_relaxed) ? 1 : 0;
    return FMOD_OK;
  });
}

FMOD_RESULT GetCurrentSound(FMOD_CHANNEL* handle, FMOD_SOUND** sound) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (sound == nullptr) return FMOD_ERR_INVALID_PARAM;
    *sound = c->soundHandle;
    return FMOD_OK;
  }, true);
}

FMOD_RESULT GetIndex(FMOD_CHANNEL* handle, int* index) {
  return With<Channel>(handle, [&](Access<Channel>& c) {
    if (index == nullptr) return FMOD_ERR_INVALID_PARAM;
    *index = c->index;
    return FMOD_OK;
  });
}

// ---- Groups only

FMOD_RESULT Release(FMOD_CHANNELGROUP* handle) {
  return With<Group>(handle, [&](Access<Group>& c) { return c.graph().ReleaseGroup(*c.object); });
}

FMOD_RESULT AddGroup(FMOD_CHANNELGROUP* handle, FMOD_CHANNELGROUP* childHandle, FMOD_BOOL /*propagateClock*/,
                     FMOD_DSPCONNECTION** connection) {
  if (connection != nullptr) *connection = nullptr;
  return With<Group>(handle, [&](Access<Group>& c) {
    if (childHandle == nullptr) return FMOD_ERR_INVALID_PARAM;
    std::shared_ptr<Group> child = Groups().Find(childHandle);
    if (!child || child->api.gone) return FMOD_ERR_INVALID_HANDLE;
    if (child->engine.lock() != c.engine) return FMOD_ERR_INVALID_PARAM;
    core::Connection* made = nullptr;
    if (const FMOD_RESULT result = c.graph().AddGroup(*c.object, *child, made); result != FMOD_OK) return result;
    if (connection != nullptr) *connection = made->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetNumGroups(FMOD_CHANNELGROUP* handle, int* count) {
  return With<Group>(handle, [&](Access<Group>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = static_cast<int>(c->groupApi.groups.size());
    return FMOD_OK;
  });
}

FMOD_RESULT GetGroup(FMOD_CHANNELGROUP* handle, int index, FMOD_CHANNELGROUP** group) {
  return With<Group>(handle, [&](Access<Group>& c) {
    const auto& groups = c->groupApi.groups;
    if (group == nullptr || index < 0 || index >= static_cast<int>(groups.size())) return FMOD_ERR_INVALID_PARAM;
    *group = groups[std::size_t(index)]->handle;
    return FMOD_OK;
  });
}

FMOD_RESULT GetParentGroup(FMOD_CHANNELGROUP* handle, FMOD_CHANNELGROUP** group) {
  return With<Group>(handle, [&](Access<Group>& c) {
    if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
    *group = c->api.parent != nullptr ? c->api.parent->handle : nullptr;
    return FMOD_OK;
  });
}

FMOD_RESULT GetName(FMOD_CHANNELGROUP* handle, char* name, int length) {
  return With<Group>(handle, [&](Access<Group>& c) { return CopyName(c->name, name, length); });
}

FMOD_RESULT GetNumChannels(FMOD_CHANNELGROUP* handle, int* count) {
  return With<Group>(handle, [&](Access<Group>& c) {
    if (count == nullptr) return FMOD_ERR_INVALID_PARAM;
    *count = static_cast<int>(c->groupApi.channels.size());
    return FMOD_OK;
  });
}

FMOD_RESULT GetChannel(FMOD_CHANNELGROUP* handle, int index, FMOD_CHANNEL** channel) {
  return With<Group>(handle, [&](Access<Group>& c) {
    const auto& channels = c->groupApi.channels;
    if (channel == nullptr || index < 0 || index >= static_cast<int>(channels.size())) return FMOD_ERR_INVALID_PARAM;
    *channel = channels[std::size_t(index)]->handle;
    return FMOD_OK;
  });
}

const ApiRegistration kRegistration{[](ApiTable& t) {
  t.FMOD_Channel_SetFrequency = &SetFrequency;
  t.FMOD_Channel_GetFrequency = &GetFrequency;
  t.FMOD_Channel_SetPriority = &SetPriority;
  t.FMOD_Channel_GetPriority = &GetPriority;
  t.FMOD_Channel_SetPosition = &SetPosition;
  t.FMOD_Channel_GetPosition = &GetPosition;
  t.FMOD_Channel_SetChannelGroup = &SetChannelGroup;
  t.FMOD_Channel_GetChannelGroup = &GetChannelGroup;
  t.FMOD_Channel_SetLoopCount = &SetLoopCount;
  t.FMOD_Channel_GetLoopCount = &GetLoopCount;
  t.FMOD_Channel_SetLoopPoints = &SetLoopPoints;
  t.FMOD_Channel_GetLoopPoints = &GetLoopPoints;
  t.FMOD_Channel_IsVirtual = &IsVirtual;
  t.FMOD_Channel_GetCurrentSound = &GetCurrentSound;
  t.FMOD_Channel_GetIndex = &GetIndex;

  t.FMOD_ChannelGroup_Release = &Release;
  t.FMOD_ChannelGroup_AddGroup = &AddGroup;
  t.FMOD_ChannelGroup_GetNumGroups = &GetNumGroups;
  t.FMOD_ChannelGroup_GetGroup = &GetGroup;
  t.FMOD_ChannelGroup_GetParentGroup = &GetParentGroup;
  t.FMOD_ChannelGroup_GetName = &GetName;
  t.FMOD_ChannelGroup_GetNumChannels = &GetNumChannels;
  t.FMOD_ChannelGroup_GetChannel = &GetChannel;
}};


}  // namespace
}  // namespace sonvel::engine
