// The wrapper of the engine sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Sound.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODSystem;

// One engine sound. A sound the wrapper created (CreateFromFile, any
// CreateFromStream) is owned and released when the last reference goes; a
// sound reached through a query (Parent, GetSubSound, a channel's current
// sound, a sound group's GetSound) is borrowed and left alone.
//
//   ITembroFMODSoundPtr Drums =
//       TTembroFMODSound::CreateFromFile(System, "drumloop-2.ogg", FMOD_DEFAULT, nullptr);
//   Drums->SetLoopCount(-1);
//   ITembroFMODChannelPtr Channel = Drums->PlayWithChannel(nullptr, false);
//
// The engine streams a sound made by CreateFromStream out of its memory for
// as long as the sound lives. The pointer and byte-span forms use the
// caller's memory in place, so the caller keeps it alive and unchanged until
// the sound is released; the std::istream form copies the stream into memory
// that the sound owns (see below).
class TTembroFMODSound : public TTembroFMODObject<ITembroFMODSound, FMOD_SOUND> {
public:
  // Bytes of the buffers that receive the sound's and a sync point's name.
  static constexpr int NameLength = 512;

  explicit TTembroFMODSound(FMOD_SOUND* AHandle, TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Releases the engine sound when the wrapper owns it (the result is
  // ignored), and then frees the byte copy the sound was streamed from, if
  // it was made from a std::istream.
  ~TTembroFMODSound() override;

  // Opens AFileName (UTF-8) with ASystem (required); AMode and AExInfo go to
  // the engine unchanged.
  static ITembroFMODSoundPtr CreateFromFile(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                            const std::string& AFileName, FMOD_MODE AMode,
                                            FMOD_CREATESOUNDEXINFO* AExInfo);
  // Opens a stream out of the memory block AData. AMode is passed unchanged:
  // include FMOD_OPENMEMORY for AData to be read as sound data. Without
  // AExInfo the wrapper hands the engine an extra-information record of its
  // own that carries ALength; with one, ALength is not used and AExInfo must
  // carry the length. The block is used in place.
  static ITembroFMODSoundPtr CreateFromStream(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const void* AData,
                                              std::uint32_t ALength, FMOD_MODE AMode,
                                              FMOD_CREATESOUNDEXINFO* AExInfo);
  // The memory-block form over the whole of AStream (its size cut to 32
  // bits), used in place.
  static ITembroFMODSoundPtr CreateFromStream(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                              std::span<const std::byte> AStream, FMOD_MODE AMode,
                                              FMOD_CREATESOUNDEXINFO* AExInfo);
  // Reads the stream's full size (cut to 32 bits) from its current position
  // into a copy and opens the memory-block form on that copy. A stream that
  // delivers fewer bytes (one positioned after its start, for instance)
  // raises "Stream read error" and no sound is made; a stream that cannot
  // tell its size is read to its end. The copy belongs to the new sound and
  // is freed only after the owning wrapper released the engine sound.
  static ITembroFMODSoundPtr CreateFromStream(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                              std::istream& AStream, FMOD_MODE AMode,
                                              FMOD_CREATESOUNDEXINFO* AExInfo);

  void* GetSystemObject() const override;  // FMOD_Sound_GetSystemObject

  ITembroFMODSoundPtr GetParent() const override;
  std::uint32_t GetLength(std::uint32_t AIndex) const override;
  std::string GetName() const override;
  FMOD_MODE GetMode() const override;
  void SetMode(FMOD_MODE AValue) override;
  TTembroFMODSoundDefaults GetDefaults() const override;
  void SetDefaults(const TTembroFMODSoundDefaults& AValue) override;
  TTembroFMOD3DMinMaxDistance Get3DMinMaxDistance() const override;
  void Set3DMinMaxDistance(const TTembroFMOD3DMinMaxDistance& AValue) override;
  TTembroFMOD3DConeSettings Get3DConeSettings() const override;
  void Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) override;
  TTembroFMOD3DCustomRolloff Get3DCustomRolloff() const override;
  void Set3DCustomRolloff(const TTembroFMOD3DCustomRolloff& AValue) override;
  TTembroFMODSoundFormat GetFormat() const override;
  std::int32_t GetNumSubSounds() const override;
  TTembroFMODSoundNumTags GetNumTags() const override;
  TTembroFMODOpenState GetOpenState() const override;
  std::int32_t GetNumSyncPoints() const override;
  std::int32_t GetLoopCount() const override;
  void SetLoopCount(std::int32_t AValue) override;
  std::int32_t GetMusicNumChannels() const override;
  void SetMusicSpeed(float AValue) override;
  float GetMusicSpeed() const override;
  void SetUserData(void* AValue) override;
  void* GetUserData() const override;
  ITembroFMODSoundPtr GetSubSound(std::int32_t AIndex) const override;
  void Play(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) override;
  TTembroFMODPtr<ITembroFMODChannel> PlayWithChannel(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                                     FMOD_BOOL APaused) override;
  void Lock(std::uint32_t AOffset, std::uint32_t ALength, void** APtr1, void** APtr2, std::uint32_t& ALen1,
            std::uint32_t& ALen2) override;
  void Unlock(void* APtr1, void* APtr2, std::uint32_t ALen1, std::uint32_t ALen2) override;
  void GetTag(const std::string& AName, std::int32_t AIndex, FMOD_TAG* ATag) const override;
  std::vector<FMOD_TAG> GetAllTagsAsList() const override;
  std::uint32_t ReadData(void* ABuffer, std::uint32_t ALength) override;
  void SeekData(std::uint32_t APCM) override;
  void SetSoundGroup(const TTembroFMODPtr<ITembroFMODSoundGroup>& ASoundGroup) override;
  TTembroFMODPtr<ITembroFMODSoundGroup> GetSoundGroup() const override;
  FMOD_SYNCPOINT* GetSyncPoint(std::int32_t AIndex) const override;
  TTembroFMODSyncPointInfo GetSyncPointInfo(const std::string& AName, std::uint32_t AOffsetType) const override;
  FMOD_SYNCPOINT* AddSyncPoint(std::uint32_t AOffset, std::uint32_t AOffsetType, const std::string& AName) override;
  void DeleteSyncPoint(FMOD_SYNCPOINT* APoint) override;
  void SetLoopPoints(std::uint32_t ALoopStartType, std::uint32_t ALoopEndType,
                     const TTembroFMODLoopPoints& AValue) override;
  TTembroFMODLoopPoints GetLoopPoints(std::uint32_t ALoopStartType, std::uint32_t ALoopEndType) const override;
  void SetMusicChannelVolume(std::int32_t AChannel, float AVolume) override;
  float GetMusicChannelVolume(std::int32_t AChannel) const override;
};

namespace Detail {

// How many stream copies are held for sounds made from a std::istream whose
// owning wrapper has not gone yet.
std::size_t HeldSoundStreamCopies() noexcept;

}  // namespace Detail

}  // namespace Tembro::Audio::FMOD
