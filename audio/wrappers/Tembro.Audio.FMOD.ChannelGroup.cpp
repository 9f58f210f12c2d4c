#include "Tembro.Audio.FMOD.ChannelGroup.h"

#include <array>
#include <exception>
#include <stdexcept>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.Intf.DSP.h"
#include "Tembro.Audio.FMOD.Intf.System.h"
#include "Tembro.Audio.FMOD.Strings.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

TTembroFMODChannelGroup::TTembroFMODChannelGroup(FMOD_CHANNELGROUP* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODChannelControl(AHandle, AOwnership) {}

TTembroFMODChannelGroup::~TTembroFMODChannelGroup() {
  if (!OwnsEngineObject()) return;
  try {
    (void)FMOD_ChannelGroup_Release(FHandle);
  } catch (const std::exception& E) {  // only a missing entry point raises here
    ReportTembroFMODError(E.what());
  }
}

ITembroFMODChannelGroupPtr TTembroFMODChannelGroup::Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                           const std::string& AName) {
  if (!ASystem) throw std::invalid_argument("Create: ASystem is null");
  const std::string Name = ToEngineString(AName);
  FMOD_CHANNELGROUP* Group = nullptr;
  CheckFMODResult(
      FMOD_System_CreateChannelGroup(static_cast<FMOD_SYSTEM*>(ASystem->GetInternalHandle()), Name.c_str(), &Group));
  return ITembroFMODChannelGroupPtr(new TTembroFMODChannelGroup(Group, TTembroFMODOwnership::Owned));
}

std::string TTembroFMODChannelGroup::GetName() const {
  std::array<char, NameLength> Buffer{};
  CheckFMODResult(FMOD_ChannelGroup_GetName(Handle(), Buffer.data(), NameLength));
  return FromEngineBuffer(Buffer.data(), Buffer.size());
}

std::int32_t TTembroFMODChannelGroup::GetNumChannels() const {
  int NumChannels = 0;
  CheckFMODResult(FMOD_ChannelGroup_GetNumChannels(Handle(), &NumChannels));
  return NumChannels;
}

std::int32_t TTembroFMODChannelGroup::GetNumGroups() const {
  int NumGroups = 0;
  CheckFMODResult(FMOD_ChannelGroup_GetNumGroups(Handle(), &NumGroups));
  return NumGroups;
}

// The engine ends the connection itself when the groups are parted; the
// wrapper never does.
TTembroFMODPtr<ITembroFMODDSPConnection> TTembroFMODChannelGroup::AddGroup(const ITembroFMODChannelGroupPtr& AGroup,
                                                                           FMOD_BOOL APropagatedSPClock) {
  if (!AGroup) throw std::invalid_argument("AddGroup: AGroup is null");
  FMOD_DSPCONNECTION* Connection = nullptr;
  CheckFMODResult(FMOD_ChannelGroup_AddGroup(Handle(), static_cast<FMOD_CHANNELGROUP*>(AGroup->GetInternalHandle()),
                                             APropagatedSPClock, &Connection));
  return ITembroFMODDSPConnectionPtr(new TTembroFMODDSPConnection(Connection, TTembroFMODOwnership::Borrowed));
}

// Child and parent groups belong to the engine or to whoever created them:
// the wrappers borrow them.
ITembroFMODChannelGroupPtr TTembroFMODChannelGroup::GetGroup(std::int32_t AIndex) const {
  FMOD_CHANNELGROUP* Group = nullptr;
  CheckFMODResult(FMOD_ChannelGroup_GetGroup(Handle(), AIndex, &Group));
  return ITembroFMODChannelGroupPtr(new TTembroFMODChannelGroup(Group, TTembroFMODOwnership::Borrowed));
}

ITembroFMODChannelGroupPtr TTembroFMODChannelGroup::GetParentGroup() const {
  FMOD_CHANNELGROUP* Group = nullptr;
  CheckFMODResult(FMOD_ChannelGroup_GetParentGroup(Handle(), &Group));
  return ITembroFMODChannelGroupPtr(new TTembroFMODChannelGroup(Group, TTembroFMODOwnership::Borrowed));
}

TTembroFMODPtr<ITembroFMODChannel> TTembroFMODChannelGroup::GetChannel(std::int32_t AIndex) const {
  FMOD_CHANNEL* Channel = nullptr;
  CheckFMODResult(FMOD_ChannelGroup_GetChannel(Handle(), AIndex, &Channel));
  return ITembroFMODChannelPtr(new TTembroFMODChannel(Channel, TTembroFMODOwnership::Borrowed));
}

}  // namespace Tembro::Audio::FMOD
