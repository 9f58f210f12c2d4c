#include "Tembro.Audio.FMOD.Sound.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.SoundGroup.h"
#include "Tembro.Audio.FMOD.Intf.System.h"
#include "Tembro.Audio.FMOD.SoundGroup.h"
#include "Tembro.Audio.FMOD.Strings.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

static_assert(sizeof(std::uint32_t) == sizeof(unsigned int));
static_assert(sizeof(TPoint3D) == sizeof(FMOD_VECTOR));

namespace {

constexpr const char* kStreamReadError = "Stream read error";

// The byte copies that sounds made from a std::istream are streamed from.
// The class holds nothing but its handle, so the copies live here, keyed by
// the engine sound, from the moment the engine opened the sound until the
// owning wrapper released it. Never destroyed, so that a wrapper that
// outlives static destruction still finds it.
class TStreamCopies {
public:
  static TStreamCopies& Instance() {
    static TStreamCopies* const Copies = new TStreamCopies;
    return *Copies;
  }

  // Hands ACopy to the sound ASound. On failure (no memory) ACopy stays with
  // the caller, so the caller can release the sound before the copy goes.
  void Keep(FMOD_SOUND* ASound, std::vector<std::byte>& ACopy) {
    std::lock_guard<std::mutex> Guard(FLock);
    FCopies.reserve(FCopies.size() + 1);
    FCopies.insert_or_assign(ASound, std::move(ACopy));
  }

  // Takes the copy of ASound out, if there is one; the caller frees it once
  // the engine sound is released.
  std::vector<std::byte> Take(FMOD_SOUND* ASound) noexcept {
    std::lock_guard<std::mutex> Guard(FLock);
    const auto Found = FCopies.find(ASound);
    if (Found == FCopies.end()) return {};
    std::vector<std::byte> Copy = std::move(Found->second);
    FCopies.erase(Found);
    return Copy;
  }

  std::size_t Count() noexcept {
    std::lock_guard<std::mutex> Guard(FLock);
    return FCopies.size();
  }

private:
  std::mutex FLock;
  std::unordered_map<FMOD_SOUND*, std::vector<std::byte>> FCopies;
};

FMOD_SYSTEM* SystemHandle(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const char* AOperation) {
  if (!ASystem) throw std::invalid_argument(std::string(AOperation) + ": ASystem is null");
  return static_cast<FMOD_SYSTEM*>(ASystem->GetInternalHandle());
}

// A new owning wrapper around a sound the engine just created; the sound is
// released again if the wrapper cannot be made.
ITembroFMODSoundPtr WrapCreatedSound(FMOD_SOUND* ASound) {
  try {
    return ITembroFMODSoundPtr(new TTembroFMODSound(ASound, TTembroFMODOwnership::Owned));
  } catch (...) {
    if (ASound != nullptr) static_cast<void>(FMOD_Sound_Release(ASound));
    throw;
  }
}

ITembroFMODSoundPtr WrapBorrowedSound(FMOD_SOUND* ASound) {
  return ITembroFMODSoundPtr(new TTembroFMODSound(ASound, TTembroFMODOwnership::Borrowed));
}

// FMOD_System_CreateStream on a memory block; without AExInfo the engine gets
// a zeroed extra-information record of our own that carries ALength.
FMOD_SOUND* OpenStream(FMOD_SYSTEM* ASystem, const void* AData, std::uint32_t ALength, FMOD_MODE AMode,
                       FMOD_CREATESOUNDEXINFO* AExInfo) {
  FMOD_CREATESOUNDEXINFO Local;
  if (AExInfo == nullptr) {
    std::memset(&Local, 0, sizeof Local);
    Local.cbsize = static_cast<int>(sizeof Local);
    Local.length = ALength;
    AExInfo = &Local;
  }
  FMOD_SOUND* Sound = nullptr;
  CheckFMODResult(FMOD_System_CreateStream(ASystem, static_cast<const char*>(AData), AMode, AExInfo, &Sound));
  return Sound;
}

// The stream's full size (cut to 32 bits) read from its current position, or,
// for a stream that cannot tell its position, everything up to its end.
std::vector<std::byte> ReadStreamCopy(std::istream& AStream) {
  if (!AStream) throw std::runtime_error(kStreamReadError);
  const std::istream::pos_type Start = AStream.tellg();
  if (Start == std::istream::pos_type(-1)) {
    std::vector<std::byte> Copy;
    char Chunk[64 * 1024];
    while (AStream.read(Chunk, sizeof Chunk) || AStream.gcount() > 0) {
      const auto* Bytes = reinterpret_cast<const std::byte*>(Chunk);
      Copy.insert(Copy.end(), Bytes, Bytes + AStream.gcount());
    }
    return Copy;
  }
  AStream.seekg(0, std::ios::end);
  const std::istream::pos_type End = AStream.tellg();
  AStream.seekg(Start);
  if (!AStream || End == std::istream::pos_type(-1)) throw std::runtime_error(kStreamReadError);
  const auto Size = static_cast<std::uint32_t>(static_cast<std::streamoff>(End));
  std::vector<std::byte> Copy(Size);
  AStream.read(reinterpret_cast<char*>(Copy.data()), static_cast<std::streamsize>(Size));
  if (static_cast<std::uint64_t>(AStream.gcount()) != Size) throw std::runtime_error(kStreamReadError);
  return Copy;
}

}  // namespace

namespace Detail {

std::size_t HeldSoundStreamCopies() noexcept { return TStreamCopies::Instance().Count(); }

}  // namespace Detail

TTembroFMODSound::TTembroFMODSound(FMOD_SOUND* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

TTembroFMODSound::~TTembroFMODSound() {
  if (!OwnsEngineObject()) return;
  // The copy leaves the table before the release, so that a new sound that
  // the engine gives the same handle afterwards cannot lose its own copy; it
  // is freed only after the engine stopped streaming from it.
  std::vector<std::byte> StreamCopy = TStreamCopies::Instance().Take(FHandle);
  try {
    static_cast<void>(FMOD_Sound_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

// FMOD_System_CreateSound
ITembroFMODSoundPtr TTembroFMODSound::CreateFromFile(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                     const std::string& AFileName, FMOD_MODE AMode,
                                                     FMOD_CREATESOUNDEXINFO* AExInfo) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "CreateFromFile");
  const std::string FileName = ToEngineString(AFileName);
  FMOD_SOUND* Sound = nullptr;
  CheckFMODResult(FMOD_System_CreateSound(System, FileName.c_str(), AMode, AExInfo, &Sound));
  return WrapCreatedSound(Sound);
}

// FMOD_System_CreateStream
ITembroFMODSoundPtr TTembroFMODSound::CreateFromStream(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                       const void* AData, std::uint32_t ALength, FMOD_MODE AMode,
                                                       FMOD_CREATESOUNDEXINFO* AExInfo) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "CreateFromStream");
  return WrapCreatedSound(OpenStream(System, AData, ALength, AMode, AExInfo));
}

ITembroFMODSoundPtr TTembroFMODSound::CreateFromStream(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                       std::span<const std::byte> AStream, FMOD_MODE AMode,
                                                       FMOD_CREATESOUNDEXINFO* AExInfo) {
  return CreateFromStream(ASystem, AStream.data(), static_cast<std::uint32_t>(AStream.size()), AMode, AExInfo);
}

ITembroFMODSoundPtr TTembroFMODSound::CreateFromStream(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                       std::istream& AStream, FMOD_MODE AMode,
                                                       FMOD_CREATESOUNDEXINFO* AExInfo) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "CreateFromStream");
  // Declared before the wrapper, so that on any failure below the sound is
  // released before its copy is freed.
  std::vector<std::byte> Copy = ReadStreamCopy(AStream);
  FMOD_SOUND* Sound = OpenStream(System, Copy.data(), static_cast<std::uint32_t>(Copy.size()), AMode, AExInfo);
  ITembroFMODSoundPtr Result = WrapCreatedSound(Sound);
  if (Sound != nullptr) TStreamCopies::Instance().Keep(Sound, Copy);
  return Result;
}

// FMOD_Sound_GetSystemObject
void* TTembroFMODSound::GetSystemObject() const {
  FMOD_SYSTEM* System = nullptr;
  CheckFMODResult(FMOD_Sound_GetSystemObject(Handle(), &System));
  return System;
}

// FMOD_Sound_GetSubSoundParent
ITembroFMODSoundPtr TTembroFMODSound::GetParent() const {
  FMOD_SOUND* Parent = nullptr;
  CheckFMODResult(FMOD_Sound_GetSubSoundParent(Handle(), &Parent));
  return WrapBorrowedSound(Parent);
}

// FMOD_Sound_GetLength; a stolen channel (3) and an invalid handle (30) are
// tolerated and answer whatever the engine left in the length.
std::uint32_t TTembroFMODSound::GetLength(std::uint32_t AIndex) const {
  unsigned int Length = 0;
  const FMOD_RESULT Result = FMOD_Sound_GetLength(Handle(), &Length, AIndex);
  if (Result != FMOD_OK && Result != FMOD_ERR_CHANNEL_STOLEN && Result != FMOD_ERR_INVALID_HANDLE)
    CheckFMODResult(Result);
  return Length;
}

// FMOD_Sound_GetName
std::string TTembroFMODSound::GetName() const {
  char Buffer[NameLength] = {};
  CheckFMODResult(FMOD_Sound_GetName(Handle(), Buffer, NameLength));
  return FromEngineBuffer(Buffer, sizeof Buffer);
}

// FMOD_Sound_GetMode
FMOD_MODE TTembroFMODSound::GetMode() const {
  FMOD_MODE Mode = 0;
  CheckFMODResult(FMOD_Sound_GetMode(Handle(), &Mode));
  return Mode;
}

// FMOD_Sound_SetMode
void TTembroFMODSound::SetMode(FMOD_MODE AValue) { CheckFMODResult(FMOD_Sound_SetMode(Handle(), AValue)); }

// FMOD_Sound_GetDefaults
TTembroFMODSoundDefaults TTembroFMODSound::GetDefaults() const {
  TTembroFMODSoundDefaults Result;
  CheckFMODResult(FMOD_Sound_GetDefaults(Handle(), &Result.Frequency, &Result.Priority));
  return Result;
}

// FMOD_Sound_SetDefaults
void TTembroFMODSound::SetDefaults(const TTembroFMODSoundDefaults& AValue) {
  CheckFMODResult(FMOD_Sound_SetDefaults(Handle(), AValue.Frequency, AValue.Priority));
}

// FMOD_Sound_Get3DMinMaxDistance
TTembroFMOD3DMinMaxDistance TTembroFMODSound::Get3DMinMaxDistance() const {
  TTembroFMOD3DMinMaxDistance Result;
  CheckFMODResult(FMOD_Sound_Get3DMinMaxDistance(Handle(), &Result.Min, &Result.Max));
  return Result;
}

// FMOD_Sound_Set3DMinMaxDistance
void TTembroFMODSound::Set3DMinMaxDistance(const TTembroFMOD3DMinMaxDistance& AValue) {
  CheckFMODResult(FMOD_Sound_Set3DMinMaxDistance(Handle(), AValue.Min, AValue.Max));
}

// FMOD_Sound_Get3DConeSettings
TTembroFMOD3DConeSettings TTembroFMODSound::Get3DConeSettings() const {
  TTembroFMOD3DConeSettings Result;
  CheckFMODResult(FMOD_Sound_Get3DConeSettings(Handle(), &Result.InsideConeAngle, &Result.OutsideConeAngle,
                                               &Result.OutsideVolume));
  return Result;
}

// FMOD_Sound_Set3DConeSettings
void TTembroFMODSound::Set3DConeSettings(const TTembroFMOD3DConeSettings& AValue) {
  CheckFMODResult(
      FMOD_Sound_Set3DConeSettings(Handle(), AValue.InsideConeAngle, AValue.OutsideConeAngle, AValue.OutsideVolume));
}

// FMOD_Sound_Get3DCustomRolloff. The engine keeps the curve; the record gets
// a copy of its points. No curve (or no array) reads as no points.
TTembroFMOD3DCustomRolloff TTembroFMODSound::Get3DCustomRolloff() const {
  FMOD_VECTOR* Points = nullptr;
  int NumPoints = 0;
  CheckFMODResult(FMOD_Sound_Get3DCustomRolloff(Handle(), &Points, &NumPoints));
  TTembroFMOD3DCustomRolloff Result;
  if (Points == nullptr || NumPoints <= 0) return Result;
  Result.NumPoints = NumPoints;
  Result.Points.reserve(static_cast<std::size_t>(NumPoints));
  for (int Index = 0; Index < NumPoints; ++Index)
    Result.Points.push_back(TPoint3D{Points[Index].x, Points[Index].y, Points[Index].z});
  return Result;
}

// FMOD_Sound_Set3DCustomRolloff. NumPoints 0 or less removes the curve; a
// count beyond the points held would let the engine read past them.
void TTembroFMODSound::Set3DCustomRolloff(const TTembroFMOD3DCustomRolloff& AValue) {
  if (AValue.NumPoints <= 0) {
    CheckFMODResult(FMOD_Sound_Set3DCustomRolloff(Handle(), nullptr, 0));
    return;
  }
  if (static_cast<std::size_t>(AValue.NumPoints) > AValue.Points.size())
    throw ETembroFMODError(FMOD_ERR_INVALID_PARAM);
  CheckFMODResult(FMOD_Sound_Set3DCustomRolloff(Handle(), const_cast<FMOD_VECTOR*>(AsFMODVector(AValue.Points.data())),
                                                AValue.NumPoints));
}

// FMOD_Sound_GetFormat
TTembroFMODSoundFormat TTembroFMODSound::GetFormat() const {
  TTembroFMODSoundFormat Result;
  CheckFMODResult(FMOD_Sound_GetFormat(Handle(), &Result.Type, &Result.Format, &Result.Channels, &Result.Bits));
  return Result;
}

// FMOD_Sound_GetNumSubSounds
std::int32_t TTembroFMODSound::GetNumSubSounds() const {
  int Count = 0;
  CheckFMODResult(FMOD_Sound_GetNumSubSounds(Handle(), &Count));
  return Count;
}

// FMOD_Sound_GetNumTags
TTembroFMODSoundNumTags TTembroFMODSound::GetNumTags() const {
  TTembroFMODSoundNumTags Result;
  CheckFMODResult(FMOD_Sound_GetNumTags(Handle(), &Result.NumTags, &Result.NumTagsUpdated));
  return Result;
}

// FMOD_Sound_GetOpenState
TTembroFMODOpenState TTembroFMODSound::GetOpenState() const {
  TTembroFMODOpenState Result;
  CheckFMODResult(FMOD_Sound_GetOpenState(Handle(), &Result.OpenState, &Result.PercentBuffered, &Result.Starving,
                                          &Result.DiskBusy));
  return Result;
}

// FMOD_Sound_GetNumSyncPoints
std::int32_t TTembroFMODSound::GetNumSyncPoints() const {
  int Count = 0;
  CheckFMODResult(FMOD_Sound_GetNumSyncPoints(Handle(), &Count));
  return Count;
}

// FMOD_Sound_GetLoopCount
std::int32_t TTembroFMODSound::GetLoopCount() const {
  int Count = 0;
  CheckFMODResult(FMOD_Sound_GetLoopCount(Handle(), &Count));
  return Count;
}

// FMOD_Sound_SetLoopCount
void TTembroFMODSound::SetLoopCount(std::int32_t AValue) {
  CheckFMODResult(FMOD_Sound_SetLoopCount(Handle(), AValue));
}

// FMOD_Sound_GetMusicNumChannels
std::int32_t TTembroFMODSound::GetMusicNumChannels() const {
  int Count = 0;
  CheckFMODResult(FMOD_Sound_GetMusicNumChannels(Handle(), &Count));
  return Count;
}

// FMOD_Sound_SetMusicSpeed
void TTembroFMODSound::SetMusicSpeed(float AValue) { CheckFMODResult(FMOD_Sound_SetMusicSpeed(Handle(), AValue)); }

// FMOD_Sound_GetMusicSpeed
float TTembroFMODSound::GetMusicSpeed() const {
  float Speed = 0.0f;
  CheckFMODResult(FMOD_Sound_GetMusicSpeed(Handle(), &Speed));
  return Speed;
}

// FMOD_Sound_SetUserData
void TTembroFMODSound::SetUserData(void* AValue) { CheckFMODResult(FMOD_Sound_SetUserData(Handle(), AValue)); }

// FMOD_Sound_GetUserData
void* TTembroFMODSound::GetUserData() const {
  void* UserData = nullptr;
  CheckFMODResult(FMOD_Sound_GetUserData(Handle(), &UserData));
  return UserData;
}

// FMOD_Sound_GetSubSound
ITembroFMODSoundPtr TTembroFMODSound::GetSubSound(std::int32_t AIndex) const {
  FMOD_SOUND* SubSound = nullptr;
  CheckFMODResult(FMOD_Sound_GetSubSound(Handle(), AIndex, &SubSound));
  return WrapBorrowedSound(SubSound);
}

namespace {

FMOD_CHANNELGROUP* ChannelGroupHandle(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup) {
  return AChannelGroup ? static_cast<FMOD_CHANNELGROUP*>(AChannelGroup->GetInternalHandle()) : nullptr;
}

}  // namespace

// FMOD_System_PlaySound on the system that owns this sound
void TTembroFMODSound::Play(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) {
  FMOD_CHANNELGROUP* Group = ChannelGroupHandle(AChannelGroup);
  auto* System = static_cast<FMOD_SYSTEM*>(GetSystemObject());
  CheckFMODResult(FMOD_System_PlaySound(System, Handle(), Group, APaused, nullptr));
}

// FMOD_System_PlaySound on the system that owns this sound
TTembroFMODPtr<ITembroFMODChannel> TTembroFMODSound::PlayWithChannel(
    const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) {
  FMOD_CHANNELGROUP* Group = ChannelGroupHandle(AChannelGroup);
  auto* System = static_cast<FMOD_SYSTEM*>(GetSystemObject());
  FMOD_CHANNEL* Channel = nullptr;
  CheckFMODResult(FMOD_System_PlaySound(System, Handle(), Group, APaused, &Channel));
  return TTembroFMODPtr<ITembroFMODChannel>(new TTembroFMODChannel(Channel));
}

// FMOD_Sound_Lock
void TTembroFMODSound::Lock(std::uint32_t AOffset, std::uint32_t ALength, void** APtr1, void** APtr2,
                            std::uint32_t& ALen1, std::uint32_t& ALen2) {
  CheckFMODResult(FMOD_Sound_Lock(Handle(), AOffset, ALength, APtr1, APtr2, &ALen1, &ALen2));
}

// FMOD_Sound_Unlock
void TTembroFMODSound::Unlock(void* APtr1, void* APtr2, std::uint32_t ALen1, std::uint32_t ALen2) {
  CheckFMODResult(FMOD_Sound_Unlock(Handle(), APtr1, APtr2, ALen1, ALen2));
}

// FMOD_Sound_GetTag; an empty name asks for any tag
void TTembroFMODSound::GetTag(const std::string& AName, std::int32_t AIndex, FMOD_TAG* ATag) const {
  const std::string Name = ToEngineString(AName);
  CheckFMODResult(FMOD_Sound_GetTag(Handle(), AName.empty() ? nullptr : Name.c_str(), AIndex, ATag));
}

std::vector<FMOD_TAG> TTembroFMODSound::GetAllTagsAsList() const {
  const std::int32_t Count = GetNumTags().NumTags;
  std::vector<FMOD_TAG> Result;
  for (std::int32_t Index = 0; Index < Count; ++Index) {
    FMOD_TAG Tag{};
    GetTag(std::string(), Index, &Tag);
    Result.push_back(Tag);
  }
  return Result;
}

// FMOD_Sound_ReadData
std::uint32_t TTembroFMODSound::ReadData(void* ABuffer, std::uint32_t ALength) {
  unsigned int Read = 0;
  CheckFMODResult(FMOD_Sound_ReadData(Handle(), ABuffer, ALength, &Read));
  return Read;
}

// FMOD_Sound_SeekData
void TTembroFMODSound::SeekData(std::uint32_t APCM) { CheckFMODResult(FMOD_Sound_SeekData(Handle(), APCM)); }

// FMOD_Sound_SetSoundGroup
void TTembroFMODSound::SetSoundGroup(const TTembroFMODPtr<ITembroFMODSoundGroup>& ASoundGroup) {
  if (!ASoundGroup) throw std::invalid_argument("SetSoundGroup: ASoundGroup is null");
  CheckFMODResult(FMOD_Sound_SetSoundGroup(Handle(), static_cast<FMOD_SOUNDGROUP*>(ASoundGroup->GetInternalHandle())));
}

// FMOD_Sound_GetSoundGroup
TTembroFMODPtr<ITembroFMODSoundGroup> TTembroFMODSound::GetSoundGroup() const {
  FMOD_SOUNDGROUP* Group = nullptr;
  CheckFMODResult(FMOD_Sound_GetSoundGroup(Handle(), &Group));
  return ITembroFMODSoundGroupPtr(new TTembroFMODSoundGroup(Group, TTembroFMODOwnership::Borrowed));
}

// FMOD_Sound_GetSyncPoint
FMOD_SYNCPOINT* TTembroFMODSound::GetSyncPoint(std::int32_t AIndex) const {
  FMOD_SYNCPOINT* Point = nullptr;
  CheckFMODResult(FMOD_Sound_GetSyncPoint(Handle(), AIndex, &Point));
  return Point;
}

// FMOD_Sound_GetSyncPointInfo on each sync point in turn until one carries
// the name AName, byte for byte as the engine keeps it.
TTembroFMODSyncPointInfo TTembroFMODSound::GetSyncPointInfo(const std::string& AName,
                                                            std::uint32_t AOffsetType) const {
  const std::string Wanted = ToEngineString(AName);
  // Room for the wanted name and one byte more, so that a longer name that
  // the engine cuts to the buffer can never pass for it.
  std::vector<char> Buffer(std::max<std::size_t>(NameLength, Wanted.size() + 2));
  const int Capacity = static_cast<int>(std::min<std::size_t>(Buffer.size(), 0x7FFFFFFF));
  const std::int32_t Count = GetNumSyncPoints();
  for (std::int32_t Index = 0; Index < Count; ++Index) {
    TTembroFMODSyncPointInfo Info;
    Info.Point = GetSyncPoint(Index);
    std::fill(Buffer.begin(), Buffer.end(), '\0');
    CheckFMODResult(FMOD_Sound_GetSyncPointInfo(Handle(), Info.Point, Buffer.data(), Capacity, &Info.Offset,
                                                AOffsetType));
    const auto End = std::find(Buffer.begin(), Buffer.end(), '\0');
    const std::string_view Name(Buffer.data(), static_cast<std::size_t>(End - Buffer.begin()));
    if (Name == Wanted) {
      Info.OffsetType = AOffsetType;
      return Info;
    }
  }
  throw ETembroFMODError(FMOD_ERR_INVALID_PARAM);
}

// FMOD_Sound_AddSyncPoint; an empty name goes as empty text, not null
FMOD_SYNCPOINT* TTembroFMODSound::AddSyncPoint(std::uint32_t AOffset, std::uint32_t AOffsetType,
                                               const std::string& AName) {
  const std::string Name = ToEngineString(AName);
  FMOD_SYNCPOINT* Point = nullptr;
  CheckFMODResult(FMOD_Sound_AddSyncPoint(Handle(), AOffset, AOffsetType, Name.c_str(), &Point));
  return Point;
}

// FMOD_Sound_DeleteSyncPoint
void TTembroFMODSound::DeleteSyncPoint(FMOD_SYNCPOINT* APoint) {
  CheckFMODResult(FMOD_Sound_DeleteSyncPoint(Handle(), APoint));
}

// FMOD_Sound_SetLoopPoints: start, its unit, end, its unit
void TTembroFMODSound::SetLoopPoints(std::uint32_t ALoopStartType, std::uint32_t ALoopEndType,
                                     const TTembroFMODLoopPoints& AValue) {
  CheckFMODResult(FMOD_Sound_SetLoopPoints(Handle(), AValue.LoopStart, ALoopStartType, AValue.LoopEnd, ALoopEndType));
}

// FMOD_Sound_GetLoopPoints
TTembroFMODLoopPoints TTembroFMODSound::GetLoopPoints(std::uint32_t ALoopStartType,
                                                      std::uint32_t ALoopEndType) const {
  TTembroFMODLoopPoints Result;
  CheckFMODResult(FMOD_Sound_GetLoopPoints(Handle(), &Result.LoopStart, ALoopStartType, &Result.LoopEnd, ALoopEndType));
  Result.LoopStartType = ALoopStartType;
  Result.LoopEndType = ALoopEndType;
  return Result;
}

// FMOD_Sound_SetMusicChannelVolume
void TTembroFMODSound::SetMusicChannelVolume(std::int32_t AChannel, float AVolume) {
  CheckFMODResult(FMOD_Sound_SetMusicChannelVolume(Handle(), AChannel, AVolume));
}

// FMOD_Sound_GetMusicChannelVolume
float TTembroFMODSound::GetMusicChannelVolume(std::int32_t AChannel) const {
  float Volume = 0.0f;
  CheckFMODResult(FMOD_Sound_GetMusicChannelVolume(Handle(), AChannel, &Volume));
  return Volume;
}

}  // namespace Tembro::Audio::FMOD
