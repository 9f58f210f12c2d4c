#include "Tembro.Audio.FMOD.h"

#include <stdexcept>
#include <utility>

#include "Tembro.Audio.FMOD.Sound.h"
#include "Tembro.Audio.FMOD.System.h"

namespace Tembro::Audio::FMOD {

TTembroSonvelManager::TTembroSonvelManager() {
  FSounds.SetDuplicates(TTembroDuplicates::Ignore);
  FChannelGroups.SetDuplicates(TTembroDuplicates::Ignore);
  try {
    FFMOD = Lib::LoadFMODLibrary(true);
    FSystem = TTembroFMODSystem::Create();
  } catch (...) {
    // No destructor runs for an object whose constructor failed: take down
    // what exists, in the same order, before the error moves on.
    ShutDown();
    throw;
  }
}

TTembroSonvelManager::~TTembroSonvelManager() { ShutDown(); }

void TTembroSonvelManager::ShutDown() noexcept {
  // Groups and sounds are engine objects of the system: they go first, while
  // the system exists; the system goes before its library.
  ClearChannelGroups();
  ClearSounds();
  FSystem.Reset();  // closes and releases the engine system (failures are reported, not raised)
  if (FFMOD != nullptr) Lib::UnloadFMODLibrary(std::exchange(FFMOD, nullptr));
}

FMOD_BOOL TTembroSonvelManager::IsPlaying() const { return FSystem->GetChannelsPlaying().Channels > 0 ? -1 : 0; }

ITembroFMODSoundPtr TTembroSonvelManager::GetSound(std::int32_t AIndex) {
  auto List = FSounds.LockList();
  if (AIndex >= 0 && AIndex < List.Count()) return List[AIndex];
  return nullptr;
}

ITembroFMODChannelGroupPtr TTembroSonvelManager::GetChannelGroup(const std::string&) {
  throw std::runtime_error("not implemented yet!");
}

void TTembroSonvelManager::Update() { FSystem->Update(); }

void TTembroSonvelManager::Set3DListener(const TTembroFMOD3DListenerAttr& AAttr, std::int32_t AIndex) {
  FSystem->Set3DListenerAttributes(AIndex, AAttr);
}

void TTembroSonvelManager::ClearSounds() { FSounds.Clear(); }

ITembroFMODSoundPtr TTembroSonvelManager::ListSound(ITembroFMODSoundPtr ASound) {
  FSounds.Add(ASound);
  return ASound;
}

ITembroFMODSoundPtr TTembroSonvelManager::LoadSoundFromFile(const std::string& AFilename) {
  return ListSound(TTembroFMODSound::CreateFromFile(FSystem, AFilename, FileMode, nullptr));
}

ITembroFMODSoundPtr TTembroSonvelManager::LoadSoundFromStream(std::istream& AStream) {
  return ListSound(TTembroFMODSound::CreateFromStream(FSystem, AStream, StreamMode, nullptr));
}

ITembroFMODSoundPtr TTembroSonvelManager::LoadSoundFromStream(std::span<const std::byte> AMemStream) {
  return ListSound(TTembroFMODSound::CreateFromStream(FSystem, AMemStream, StreamMode, nullptr));
}

ITembroFMODChannelPtr TTembroSonvelManager::PlaySound(std::int32_t AIndex,
                                                      const ITembroFMODChannelGroupPtr& AChannelGroup,
                                                      FMOD_BOOL APaused) {
  // The list's lock is held only while the sound is looked up, not while it
  // starts playing.
  const ITembroFMODSoundPtr Sound = GetSound(AIndex);
  if (!Sound) return nullptr;
  return FSystem->PlaySoundWithChannel(Sound, AChannelGroup, APaused);
}

ITembroFMODChannelPtr TTembroSonvelManager::PlaySound(const ITembroFMODSoundPtr& AHandle,
                                                      const ITembroFMODChannelGroupPtr& AChannelGroup,
                                                      FMOD_BOOL APaused) {
  if (!AHandle) return nullptr;
  return FSystem->PlaySoundWithChannel(AHandle, AChannelGroup, APaused);
}

void TTembroSonvelManager::Stop(const ITembroFMODChannelPtr& AChannel) {
  if (AChannel) AChannel->Stop();
}

void TTembroSonvelManager::StopAllChannels() {
  // The master group belongs to the engine system: its wrapper only borrows
  // it, so dropping the wrapper leaves the group in place.
  const ITembroFMODChannelGroupPtr Master = FSystem->GetMasterChannelGroup();
  Master->Stop();
}

void TTembroSonvelManager::Pause(const ITembroFMODChannelPtr& AChannel) {
  if (AChannel) AChannel->SetPaused(AChannel->GetPaused() == 0 ? -1 : 0);
}

ITembroFMODChannelGroupPtr TTembroSonvelManager::AddChannelGroup(const std::string& AName) {
  ITembroFMODChannelGroupPtr Group = FSystem->CreateChannelGroup(AName);
  FChannelGroups.LockList().Add(Group);  // appended even if listed: a new group never is
  return Group;
}

void TTembroSonvelManager::RemoveChannelGroup(const ITembroFMODChannelGroupPtr& AHandle) {
  if (AHandle) FChannelGroups.Remove(AHandle);
}

void TTembroSonvelManager::ClearChannelGroups() { FChannelGroups.Clear(); }

}  // namespace Tembro::Audio::FMOD
