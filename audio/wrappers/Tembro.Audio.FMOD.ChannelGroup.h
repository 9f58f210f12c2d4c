// The wrapper of an engine channel group.
#pragma once

#include <string>

#include "Tembro.Audio.FMOD.ChannelControl.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODSystem;

extern template class TTembroFMODChannelControl<ITembroFMODChannelGroup, TTembroFMODChannelGroupEntryPoints>;

// One engine channel group. A group the wrapper created (Create(ASystem,
// AName)) is owned and released when the last reference goes; a group
// reached through a query (the master group, a channel's group, GetGroup,
// GetParentGroup) is borrowed and left alone, since others still use it.
//
//   ITembroFMODChannelGroupPtr Music = TTembroFMODChannelGroup::Create(System, "Music");
//   Channel->SetChannelGroup(Music);
//   Music->SetVolume(0.25f);
//   Music->Stop();  // stops every channel in the group
class TTembroFMODChannelGroup
    : public TTembroFMODChannelControl<ITembroFMODChannelGroup, TTembroFMODChannelGroupEntryPoints> {
public:
  // Bytes of the buffer that receives the group's name, terminating zero
  // included.
  static constexpr int NameLength = 512;

  explicit TTembroFMODChannelGroup(FMOD_CHANNELGROUP* AHandle,
                                   TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Releases the engine group when the wrapper owns it; the result is
  // ignored.
  ~TTembroFMODChannelGroup() override;

  // A new engine group named AName, made by ASystem (required) and owned by
  // the wrapper. An empty name goes to the engine as an empty string.
  static ITembroFMODChannelGroupPtr Create(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const std::string& AName);

  std::string GetName() const override;
  std::int32_t GetNumChannels() const override;
  std::int32_t GetNumGroups() const override;
  TTembroFMODPtr<ITembroFMODDSPConnection> AddGroup(const ITembroFMODChannelGroupPtr& AGroup,
                                                    FMOD_BOOL APropagatedSPClock) override;
  ITembroFMODChannelGroupPtr GetGroup(std::int32_t AIndex) const override;
  ITembroFMODChannelGroupPtr GetParentGroup() const override;
  TTembroFMODPtr<ITembroFMODChannel> GetChannel(std::int32_t AIndex) const override;
};

}  // namespace Tembro::Audio::FMOD
