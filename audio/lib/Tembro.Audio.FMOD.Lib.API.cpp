#include "Tembro.Audio.FMOD.Lib.API.h"

#include <cstring>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Tembro::Audio::FMOD::Lib {

namespace {

namespace fs = std::filesystem;

TFMODLibraryHandle OpenLibrary(const fs::path& APath) {
#ifdef _WIN32
  return ::LoadLibraryW(APath.c_str());
#else
  // RTLD_LOCAL keeps the engine's exports out of the global namespace, so
  // that two loads of different builds never resolve into each other.
  return ::dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void* Resolve(TFMODLibraryHandle AHandle, const char* AName) {
#ifdef _WIN32
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(AHandle), AName));
#else
  return ::dlsym(AHandle, AName);
#endif
}

template <typename TEntry>
void ResolveInto(TEntry& AEntry, TFMODLibraryHandle AHandle) {
  AEntry.Set(reinterpret_cast<typename TEntry::TFunction>(Resolve(AHandle, AEntry.Name())));
}

// The path as a narrow string in the process's 8-bit code page: the ANSI code
// page on Windows, UTF-8 (the path's own bytes) elsewhere.
std::string ToNarrowPath(const fs::path& APath) {
#ifdef _WIN32
  const std::wstring& Wide = APath.native();
  if (Wide.empty()) return {};
  const int Size = ::WideCharToMultiByte(CP_ACP, 0, Wide.data(), static_cast<int>(Wide.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string Narrow(static_cast<std::size_t>(Size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, Wide.data(), static_cast<int>(Wide.size()), Narrow.data(), Size, nullptr,
                        nullptr);
  return Narrow;
#else
  return APath.native();
#endif
}

// Creates the log file empty when nothing stands at its path; anything that
// is there already (a file, or a link someone planted) is left untouched.
// The file is opened for every user to write, since the folder is shared.
void CreateLogFileIfMissing(const fs::path& APath) {
#ifdef _WIN32
  std::error_code Error;
  if (fs::exists(fs::symlink_status(APath, Error))) return;
  HANDLE File = ::CreateFileW(APath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) {
    const DWORD Code = ::GetLastError();
    if (Code == ERROR_FILE_EXISTS) return;
    throw fs::filesystem_error("Cannot create file", APath, std::error_code(static_cast<int>(Code), std::system_category()));
  }
  ::CloseHandle(File);
#else
  // O_EXCL with O_CREAT never follows a symbolic link at the path; O_NOFOLLOW
  // says so twice.
  const int File = ::open(APath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (File < 0) {
    if (errno == EEXIST) return;
    throw fs::filesystem_error("Cannot create file", APath, std::error_code(errno, std::generic_category()));
  }
  ::fchmod(File, 0666);  // the umask would keep other users from logging
  ::close(File);
#endif
}

void ResolveAllButDebugInitialize(TFMODLibraryHandle AHandle) {
#define FMOD_ENTRY(name, params, args) \
  if (static_cast<const void*>(&name) != static_cast<const void*>(&FMOD_Debug_Initialize)) ResolveInto(name, AHandle);
#include "Tembro.Audio.FMOD.Lib.EntryPoints.inc"
#undef FMOD_ENTRY
}

}  // namespace

void RaiseMissingEntryPoint(const char* AName) {
  throw std::runtime_error(std::string("FMOD: entry point not found in the loaded library: ") + AName);
}

namespace Detail {

fs::path ExecutableFolder() {
#ifdef _WIN32
  std::wstring Buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = ::GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Length < Buffer.size()) {
      Buffer.resize(Length);
      break;
    }
    Buffer.resize(Buffer.size() * 2);
  }
  return fs::path(Buffer).parent_path() / "";
#else
  std::error_code Error;
  const fs::path Executable = fs::read_symlink("/proc/self/exe", Error);
  if (Error) throw fs::filesystem_error("Cannot find the executable's folder", "/proc/self/exe", Error);
  return Executable.parent_path() / "";
#endif
}

fs::path AllUsersDataFolder() {
#ifdef _WIN32
  wchar_t Buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, Buffer))) return {};
  return fs::path(Buffer);
#else
  // The POSIX counterpart of the all-users application-data folder is
  // /var/tmp: every user may create files there (it is world-writable with
  // the sticky bit, so nobody can remove another's file) and, unlike /tmp,
  // it survives a reboot. Because others can write there too, the log file is
  // created without following a link planted at its name, and the engine
  // opens it likewise.
  return fs::path("/var/tmp");
#endif
}

TFMODLibraryHandle LoadFMODLibraryFrom(const fs::path& ALibraryFolder, bool ALogging, const fs::path& ALogFolder) {
  const fs::path LibraryPath = ALibraryFolder / (ALogging ? FMOD_LOGGING_LIBRARY : FMOD_RELEASE_LIBRARY);
  TFMODLibraryHandle Handle = OpenLibrary(LibraryPath);
  if (Handle == nullptr) throw std::runtime_error("FMOD: failed to load library: " + LibraryPath.string());

  if (ALogging) {
    // A folder that could not be found leaves just the delimiter and the name.
    const fs::path LogPath = ALogFolder.empty() ? fs::path("/") / FMOD_LOG_FILE : ALogFolder / FMOD_LOG_FILE;
    CreateLogFileIfMissing(LogPath);
    ResolveInto(FMOD_Debug_Initialize, Handle);
    const std::string NarrowLogPath = ToNarrowPath(LogPath);
    const FMOD_RESULT Result = FMOD_Debug_Initialize(FMOD_LOG_FLAGS, FMOD_LOG_MODE, nullptr, NarrowLogPath.c_str());
    if (Result != FMOD_OK) throw std::runtime_error("FMOD: FMOD_Debug_Initialize() failed: " + FMODResultMessage(Result));
  }

  ResolveAllButDebugInitialize(Handle);
  return Handle;
}

}  // namespace Detail

TFMODLibraryHandle LoadFMODLibrary(bool ALogging) {
  return Detail::LoadFMODLibraryFrom(Detail::ExecutableFolder(), ALogging,
                                     ALogging ? Detail::AllUsersDataFolder() : std::filesystem::path());
}

void UnloadFMODLibrary(TFMODLibraryHandle AHandle) {
#ifdef _WIN32
  ::FreeLibrary(static_cast<HMODULE>(AHandle));
#else
  ::dlclose(AHandle);
#endif
}

}  // namespace Tembro::Audio::FMOD::Lib
