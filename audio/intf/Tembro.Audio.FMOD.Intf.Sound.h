// The interface of the engine sound's wrapper.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.Sound.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODChannel;
class ITembroFMODChannelGroup;
class ITembroFMODSoundGroup;

// One engine sound: a sample or a stream opened from a file or from memory.
// Operations are declared in slot order; SystemObject answers the engine
// system that owns the sound.
class ITembroFMODSound : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODSound;

  // The sound this one is a sub-sound of, as a new wrapper that borrows it;
  // for a sound that is no sub-sound the wrapper's InternalHandle is null.
  virtual TTembroFMODPtr<ITembroFMODSound> GetParent() const = 0;  // slot 5
  // The length in the time unit AIndex (FMOD_TIMEUNIT). A stolen channel or
  // an invalid handle answers what the engine left in the length (0 when it
  // wrote nothing) instead of raising.
  virtual std::uint32_t GetLength(std::uint32_t AIndex) const = 0;  // slot 6
  // The sound's name, trimmed of blanks and control characters at both ends.
  virtual std::string GetName() const = 0;                                      // slot 7
  virtual FMOD_MODE GetMode() const = 0;                                        // slot 8
  virtual void SetMode(FMOD_MODE AValue) = 0;                                   // slot 9
  virtual TTembroFMODSoundDefaults GetDefaults() const = 0;                     // slot 10
  virtual void SetDefaults(const TTembroFMODSoundDefaults& AValue) = 0;         // slot 11
  virtual TTembroFMOD3DMinMaxDistance Get3DMinMaxDistance() const = 0;          // slot 12
  virtual void Set3DMinMaxDistance(const TTembroFMOD3DMinMaxDistance& AValue) = 0;  // slot 13
  virtual TTembroFMOD3DConeSettings Get3DConeSettings() const = 0;              // slot 14
  virtual void Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) = 0;  // slot 15
  // The custom rolloff curve, copied out of the engine: the record owns its
  // points.
  virtual TTembroFMOD3DCustomRolloff Get3DCustomRolloff() const = 0;  // slot 16
  // Hands the engine the first NumPoints points of Points. NumPoints 0 or
  // less removes the custom curve; NumPoints above the number of points
  // held is refused with the engine's invalid-parameter error.
  virtual void Set3DCustomRolloff(const TTembroFMOD3DCustomRolloff& AValue) = 0;  // slot 17
  virtual TTembroFMODSoundFormat GetFormat() const = 0;                         // slot 18
  virtual std::int32_t GetNumSubSounds() const = 0;                             // slot 19
  virtual TTembroFMODSoundNumTags GetNumTags() const = 0;                       // slot 20
  virtual TTembroFMODOpenState GetOpenState() const = 0;                        // slot 21
  virtual std::int32_t GetNumSyncPoints() const = 0;                            // slot 22
  virtual std::int32_t GetLoopCount() const = 0;                                // slot 23
  virtual void SetLoopCount(std::int32_t AValue) = 0;                           // slot 24
  virtual std::int32_t GetMusicNumChannels() const = 0;                         // slot 25
  virtual void SetMusicSpeed(float AValue) = 0;                                 // slot 26
  virtual float GetMusicSpeed() const = 0;                                      // slot 27
  virtual void SetUserData(void* AValue) = 0;                                   // slot 28
  virtual void* GetUserData() const = 0;                                        // slot 29
  // Sub-sound AIndex, as a new wrapper that borrows it.
  virtual TTembroFMODPtr<ITembroFMODSound> GetSubSound(std::int32_t AIndex) const = 0;  // slot 30

  // Plays the sound on a new channel in AChannelGroup (null: the master
  // group), on the engine system that created the sound.
  virtual void Play(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) = 0;  // slot 31
  // As Play, and returns the channel.
  virtual TTembroFMODPtr<ITembroFMODChannel> PlayWithChannel(
      const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) = 0;  // slot 32

  // Locks ALength bytes of the sample data from AOffset; the engine gives
  // the one or two pieces through APtr1/APtr2 and ALen1/ALen2.
  virtual void Lock(std::uint32_t AOffset, std::uint32_t ALength, void** APtr1, void** APtr2, std::uint32_t& ALen1,
                    std::uint32_t& ALen2) = 0;                                                         // slot 33
  virtual void Unlock(void* APtr1, void* APtr2, std::uint32_t ALen1, std::uint32_t ALen2) = 0;  // slot 34
  // Fills ATag with the tag AIndex among those named AName (any name when
  // AName is empty).
  virtual void GetTag(const std::string& AName, std::int32_t AIndex, FMOD_TAG* ATag) const = 0;  // slot 35
  // Every tag of the sound, in order. The records keep the engine's pointers
  // to each tag's name and data, which the engine owns.
  virtual std::vector<FMOD_TAG> GetAllTagsAsList() const = 0;  // slot 36
  // Reads up to ALength bytes of decoded data into ABuffer; returns the bytes
  // read. The end of the data (16) raises like any other failure.
  virtual std::uint32_t ReadData(void* ABuffer, std::uint32_t ALength) = 0;  // slot 37
  virtual void SeekData(std::uint32_t APCM) = 0;                           // slot 38
  // Moves the sound into ASoundGroup, which is required.
  virtual void SetSoundGroup(const TTembroFMODPtr<ITembroFMODSoundGroup>& ASoundGroup) = 0;  // slot 39
  // The sound's group, as a new wrapper that borrows it.
  virtual TTembroFMODPtr<ITembroFMODSoundGroup> GetSoundGroup() const = 0;  // slot 40
  // The engine's sync point AIndex; the engine owns it.
  virtual FMOD_SYNCPOINT* GetSyncPoint(std::int32_t AIndex) const = 0;  // slot 41
  // The first sync point whose name is AName: the point itself, its offset
  // in the unit AOffsetType and that unit. A sound without a sync point of
  // that name raises the engine's invalid-parameter error.
  virtual TTembroFMODSyncPointInfo GetSyncPointInfo(const std::string& AName,
                                                    std::uint32_t AOffsetType) const = 0;  // slot 42
  virtual FMOD_SYNCPOINT* AddSyncPoint(std::uint32_t AOffset, std::uint32_t AOffsetType,
                                       const std::string& AName) = 0;  // slot 43
  virtual void DeleteSyncPoint(FMOD_SYNCPOINT* APoint) = 0;           // slot 44
  // The units come from the parameters; the record's own type fields are
  // neither sent nor trusted, and a read sets them to the parameters.
  virtual void SetLoopPoints(std::uint32_t ALoopStartType, std::uint32_t ALoopEndType,
                             const TTembroFMODLoopPoints& AValue) = 0;  // slot 45
  virtual TTembroFMODLoopPoints GetLoopPoints(std::uint32_t ALoopStartType,
                                              std::uint32_t ALoopEndType) const = 0;  // slot 46
  virtual void SetMusicChannelVolume(std::int32_t AChannel, float AVolume) = 0;     // slot 47
  virtual float GetMusicChannelVolume(std::int32_t AChannel) const = 0;            // slot 48

protected:
  ~ITembroFMODSound() = default;
};

using ITembroFMODSoundPtr = TTembroFMODPtr<ITembroFMODSound>;

}  // namespace Tembro::Audio::FMOD
