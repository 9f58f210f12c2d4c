// The wrapper of an engine channel.
#pragma once

#include "Tembro.Audio.FMOD.ChannelControl.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"

namespace Tembro::Audio::FMOD {

extern template class TTembroFMODChannelControl<ITembroFMODChannel, TTembroFMODChannelEntryPoints>;

// One engine channel. Channel wrappers are handed out by the operations that
// play something or look a channel up; the engine owns the channel, so
// dropping the wrapper leaves it playing, whatever the ownership given.
//
//   ITembroFMODChannelPtr Channel = Sound->PlayWithChannel(nullptr, true);
//   Channel->SetVolume(0.5f);
//   Channel->SetPaused(false);
//   ...
//   if (Channel->IsPlaying()) Channel->Stop();  // false once the sound ended
class TTembroFMODChannel : public TTembroFMODChannelControl<ITembroFMODChannel, TTembroFMODChannelEntryPoints> {
public:
  explicit TTembroFMODChannel(FMOD_CHANNEL* AHandle,
                              TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;

  std::int32_t GetIndex() const override;
  FMOD_BOOL IsVirtual() const override;
  std::uint32_t GetPosition(FMOD_TIMEUNIT AIndex) const override;
  void SetPosition(FMOD_TIMEUNIT AIndex, std::uint32_t AValue) override;
  std::int32_t GetPriority() const override;
  void SetPriority(std::int32_t AValue) override;
  float GetFrequency() const override;
  void SetFrequency(float AValue) override;
  std::int32_t GetLoopCount() const override;
  void SetLoopCount(std::int32_t AValue) override;
  void SetChannelGroup(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup) override;
  TTembroFMODPtr<ITembroFMODChannelGroup> GetChannelGroup() const override;
  void SetLoopPoints(FMOD_TIMEUNIT ALoopStartType, FMOD_TIMEUNIT ALoopEndType,
                     const TTembroFMODLoopPoints& AValue) override;
  TTembroFMODLoopPoints GetLoopPoints(FMOD_TIMEUNIT ALoopStartType, FMOD_TIMEUNIT ALoopEndType) const override;
  TTembroFMODPtr<ITembroFMODSound> GetCurrentSound() const override;
};

}  // namespace Tembro::Audio::FMOD
