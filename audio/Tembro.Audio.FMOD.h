// The audio manager: the one object through which a program uses the engine.
//
// Creating the manager loads the engine's logging build from the program's
// folder (with the engine's log switched on) and creates the engine system;
// it then keeps the sounds it loads and the channel groups it creates in two
// lists, each behind its own lock. Destroying it empties both lists, ends
// the system and unloads the engine, in that order.
//
//   TTembroSonvelManager Manager;
//   Manager.LoadSoundFromFile("drumloop-2.ogg");
//   ITembroFMODChannelPtr Channel = Manager.PlaySound(0, nullptr, false);
//   Manager.Pause(Channel);
//
// Every wrapper made from the manager's system belongs to that system: drop
// your own references to sounds, channels and groups before the manager
// goes, since the engine is unloaded with it.
//
// The manager catches nothing: engine failures reach the caller as
// Lib::ETembroFMODError with the engine's text, and the lists stay as they
// were. It knows nothing of any GUI toolkit; a window simply owns one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>
#include <string>

#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.Sound.h"
#include "Tembro.Audio.FMOD.Intf.System.h"
#include "Tembro.Audio.FMOD.Lib.API.h"
#include "Tembro.Audio.FMOD.ThreadList.h"

namespace Tembro::Audio::FMOD {

class TTembroSonvelManager {
public:
  // The mode the file loads open sounds with: the engine's default.
  static constexpr FMOD_MODE FileMode = 0;
  // The mode the stream loads open sounds with: FMOD_OPENMEMORY (the data
  // is in memory) with FMOD_CREATESTREAM (decoded while playing), 0x880.
  static constexpr FMOD_MODE StreamMode = 2176;

  // Loads the engine's logging build and creates the engine system. On
  // failure whatever was made is taken down again in the destructor's order
  // (the library unloaded, if it was loaded) and the error is raised.
  TTembroSonvelManager();
  // Empties the channel-group list, then the sound list (releasing every
  // engine object nobody else holds), ends the system, unloads the engine.
  virtual ~TTembroSonvelManager();

  TTembroSonvelManager(const TTembroSonvelManager&) = delete;
  TTembroSonvelManager& operator=(const TTembroSonvelManager&) = delete;

  // The system object.
  const ITembroFMODSystemPtr& GetSystemObject() const noexcept { return FSystem; }
  // True (-1) while at least one channel plays, virtual ones included; false
  // (0) otherwise.
  FMOD_BOOL IsPlaying() const;
  // The listed sound at AIndex, or null for an index outside the list.
  ITembroFMODSoundPtr GetSound(std::int32_t AIndex);
  // Not available: always raises "not implemented yet!".
  ITembroFMODChannelGroupPtr GetChannelGroup(const std::string& AIndex);

  // Lets the engine do its periodic work. Nothing calls it by itself.
  void Update();
  // Sets listener AIndex's position, velocity and orientation.
  void Set3DListener(const TTembroFMOD3DListenerAttr& AAttr, std::int32_t AIndex);
  // Empties the sound list; a sound nobody else holds is released in the
  // engine on the spot.
  void ClearSounds();

  // Opens the file AFilename (UTF-8; a bare name is taken from the working
  // directory) in FileMode and lists the sound.
  virtual ITembroFMODSoundPtr LoadSoundFromFile(const std::string& AFilename);
  // Opens a copy of the stream's bytes (from its current position to its
  // end) as a stream in StreamMode and lists the sound; the sound owns the
  // copy.
  virtual ITembroFMODSoundPtr LoadSoundFromStream(std::istream& AStream);
  // Opens the bytes of AMemStream in place as a stream in StreamMode and
  // lists the sound. The engine reads them while the sound plays: keep them
  // alive and unchanged for as long as the sound lives.
  virtual ITembroFMODSoundPtr LoadSoundFromStream(std::span<const std::byte> AMemStream);

  // Plays the listed sound at AIndex in AChannelGroup (null: the master
  // group). An index outside the list plays nothing and answers null.
  ITembroFMODChannelPtr PlaySound(std::int32_t AIndex, const ITembroFMODChannelGroupPtr& AChannelGroup,
                                  FMOD_BOOL APaused);
  // Plays any sound, listed or not; a null sound plays nothing and answers
  // null.
  ITembroFMODChannelPtr PlaySound(const ITembroFMODSoundPtr& AHandle, const ITembroFMODChannelGroupPtr& AChannelGroup,
                                  FMOD_BOOL APaused);
  // Stops the channel; null does nothing.
  void Stop(const ITembroFMODChannelPtr& AChannel);
  // Stops every channel of the master group, and so everything that plays.
  void StopAllChannels();
  // Pauses a playing channel, resumes a paused one; null does nothing.
  void Pause(const ITembroFMODChannelPtr& AChannel);

  // Creates a channel group named AName and lists it. The same name twice
  // gives two groups.
  ITembroFMODChannelGroupPtr AddChannelGroup(const std::string& AName);
  // Unlists AHandle (the very reference: another wrapper of the same engine
  // group is a different reference and removes nothing); null does nothing.
  // The engine group is released when nobody else holds it.
  void RemoveChannelGroup(const ITembroFMODChannelGroupPtr& AHandle);
  void ClearChannelGroups();

protected:
  // The loaded engine library; null when none is loaded.
  Lib::TFMODLibraryHandle FFMOD = nullptr;
  ITembroFMODSystemPtr FSystem;
  TTembroThreadList<ITembroFMODSoundPtr> FSounds;
  TTembroThreadList<ITembroFMODChannelGroupPtr> FChannelGroups;

private:
  // Lists a sound that one of the loads made.
  ITembroFMODSoundPtr ListSound(ITembroFMODSoundPtr ASound);
  // The destructor's work, also run when the constructor fails.
  void ShutDown() noexcept;
};

}  // namespace Tembro::Audio::FMOD
