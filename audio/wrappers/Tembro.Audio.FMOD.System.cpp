#include "Tembro.Audio.FMOD.System.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace Tembro::Audio::FMOD {

using namespace Lib;

namespace {

// Creates, checks and initialises an engine system; the handle is given out
// only when every step succeeded.
FMOD_SYSTEM* CreateInitialisedSystem() {
  FMOD_SYSTEM* System = nullptr;
  CheckFMODResult(FMOD_System_Create(&System));
  unsigned int Version = 0;
  CheckFMODResult(FMOD_System_GetVersion(System, &Version));
  if (Version < TTembroFMODSystem::HeaderVersion) {
    char Message[128];
    std::snprintf(Message, sizeof Message, "FMOD lib version %d doesn\u00b4t match header version %d\", version",
                  static_cast<int>(Version), static_cast<int>(TTembroFMODSystem::HeaderVersion));
    throw std::runtime_error(Message);
  }
  CheckFMODResult(FMOD_System_Init(System, TTembroFMODSystem::MaxChannels, TTembroFMODSystem::InitFlags, nullptr));
  return System;
}

}  // namespace

TTembroFMODSystem::TTembroFMODSystem() : TTembroFMODObject(CreateInitialisedSystem()) {}

TTembroFMODSystem::TTembroFMODSystem(FMOD_SYSTEM* AHandle) noexcept : TTembroFMODObject(AHandle) {}

TTembroFMODSystem::~TTembroFMODSystem() {
  if (!OwnsEngineObject()) return;
  try {
    CheckFMODResult(FMOD_System_Close(FHandle));
    CheckFMODResult(FMOD_System_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

std::uint32_t TTembroFMODSystem::GetVersion() const {
  unsigned int Version = 0;
  CheckFMODResult(FMOD_System_GetVersion(FHandle, &Version));
  return Version;
}

void* TTembroFMODSystem::GetOutputHandle() const {
  void* Output = nullptr;
  CheckFMODResult(FMOD_System_GetOutputHandle(FHandle, &Output));
  return Output;
}

void TTembroFMODSystem::Update() { CheckFMODResult(FMOD_System_Update(FHandle)); }

}  // namespace Tembro::Audio::FMOD
