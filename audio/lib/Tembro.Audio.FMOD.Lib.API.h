// The binding to the engine library: the process-wide entry-point table,
// the loader and the unloader.
//
// The library is loaded at run time from the executable's own folder, as the
// logging build "fmodL64.dll" or the release build "fmod64.dll" (the names are
// kept on every platform). Every wrapper calls the engine through the table:
//
//   auto Library = Lib::LoadFMODLibrary(true);
//   FMOD_SYSTEM* System = nullptr;
//   Lib::CheckFMODResult(Lib::FMOD_System_Create(&System));
//   ...
//   Lib::UnloadFMODLibrary(Library);
#pragma once

#include <filesystem>
#include <string>

#include "Tembro.Audio.FMOD.Lib.Types.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Codec.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"
#include "Tembro.Audio.FMOD.Lib.Output.h"
#include "Tembro.Audio.FMOD.Lib.Errors.h"

namespace Tembro::Audio::FMOD::Lib {

// The operating system's handle of a loaded engine library; never null for a
// loaded one.
using TFMODLibraryHandle = void*;

inline constexpr const char* FMOD_LOGGING_LIBRARY = "fmodL64.dll";
inline constexpr const char* FMOD_RELEASE_LIBRARY = "fmod64.dll";
inline constexpr const char* FMOD_LOG_FILE = "FMOD_LOG.txt";
inline constexpr FMOD_DEBUG_FLAGS FMOD_LOG_FLAGS = 0x804;  // log level + API trace
inline constexpr FMOD_DEBUG_MODE FMOD_LOG_MODE = static_cast<FMOD_DEBUG_MODE>(1);  // to a file

// Raises the error for a call through an entry point that the loaded library
// does not export (or before any library was loaded).
[[noreturn]] void RaiseMissingEntryPoint(const char* AName);

// One slot of the entry-point table: the address of one engine function, or
// empty. Calling an empty slot raises an error that names the entry point
// instead of jumping to null.
template <typename TSignature>
class TFMODEntryPoint;

template <typename... TArgs>
class TFMODEntryPoint<FMOD_RESULT F_CALL(TArgs...)> {
public:
  using TFunction = FMOD_RESULT(F_CALL*)(TArgs...);

  explicit constexpr TFMODEntryPoint(const char* AName) noexcept : FName(AName) {}
  TFMODEntryPoint(const TFMODEntryPoint&) = delete;
  TFMODEntryPoint& operator=(const TFMODEntryPoint&) = delete;

  FMOD_RESULT operator()(TArgs... AArgs) const {
    const TFunction Function = FFunction;
    if (Function == nullptr) RaiseMissingEntryPoint(FName);
    return Function(AArgs...);
  }

  const char* Name() const noexcept { return FName; }
  TFunction Get() const noexcept { return FFunction; }
  void Set(TFunction AFunction) noexcept { FFunction = AFunction; }
  explicit operator bool() const noexcept { return FFunction != nullptr; }

private:
  const char* FName;
  TFunction FFunction = nullptr;
};

// The entry-point table: one slot per engine entry point, named after it and
// typed after its prototype, all empty at process start. Only the loader
// writes them (and tests that install fakes); unloading leaves them as they
// are.
#define FMOD_ENTRY(name, params, args) inline TFMODEntryPoint<FMOD_RESULT F_CALL params> name{#name};
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY

// Loads the logging build (with its log file set up and the engine's debug
// log switched on) when ALogging is true, the release build otherwise, from
// the folder of the running executable; fills the table and returns the
// library handle, which the caller owns.
TFMODLibraryHandle LoadFMODLibrary(bool ALogging);

// Unloads a library returned by LoadFMODLibrary. The table keeps its last
// addresses; no call through it is allowed until the next load.
void UnloadFMODLibrary(TFMODLibraryHandle AHandle);

namespace Detail {

// The folder of the running executable, with its trailing path delimiter.
std::filesystem::path ExecutableFolder();

// The folder shared by all users that receives the engine's log file.
std::filesystem::path AllUsersDataFolder();

// LoadFMODLibrary with both folders given: the library is taken from
// ALibraryFolder and the log file lives in ALogFolder.
TFMODLibraryHandle LoadFMODLibraryFrom(const std::filesystem::path& ALibraryFolder, bool ALogging,
                                       const std::filesystem::path& ALogFolder);

}  // namespace Detail

}  // namespace Tembro::Audio::FMOD::Lib
