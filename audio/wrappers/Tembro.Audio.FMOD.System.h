// The wrapper of the engine system.
#pragma once

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.System.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

// Owns one engine system: creating the wrapper creates, version-checks and
// initialises the system; the last reference going closes and releases it.
// Every wrapper made from the system must be gone before the system wrapper.
//
//   auto Library = Lib::LoadFMODLibrary(true);
//   {
//     ITembroFMODSystemPtr System = TTembroFMODSystem::Create();
//     System->Update();
//   }
//   Lib::UnloadFMODLibrary(Library);
class TTembroFMODSystem : public TTembroFMODObject<ITembroFMODSystem, FMOD_SYSTEM> {
public:
  // The oldest library version the wrappers are written for.
  static constexpr std::uint32_t HeaderVersion = FMOD_VERSION;
  // Channels, initialisation flags the engine system is initialised with.
  static constexpr int MaxChannels = 32;
  static constexpr FMOD_INITFLAGS InitFlags = 4;

  // Creates an engine system, refuses a library older than HeaderVersion,
  // initialises it with MaxChannels channels and InitFlags and no extra
  // driver data, and wraps it. The handle is stored only when every step
  // has succeeded; on failure nothing is released.
  TTembroFMODSystem();
  // Wraps an existing engine system, which the wrapper then owns.
  explicit TTembroFMODSystem(FMOD_SYSTEM* AHandle) noexcept;
  // Closes, then releases the engine system. A failure cannot be raised from
  // here: it is reported through ReportTembroFMODError and the memory is
  // freed all the same.
  ~TTembroFMODSystem() override;

  static ITembroFMODSystemPtr Create() { return ITembroFMODSystemPtr(new TTembroFMODSystem()); }

  std::uint32_t GetVersion() const override;
  void* GetOutputHandle() const override;
  void Update() override;
};

}  // namespace Tembro::Audio::FMOD
