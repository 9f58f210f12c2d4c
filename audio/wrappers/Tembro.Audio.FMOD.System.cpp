#include "Tembro.Audio.FMOD.System.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.ChannelGroup.h"
#include "Tembro.Audio.FMOD.DSP.h"
#include "Tembro.Audio.FMOD.Geometry.h"
#include "Tembro.Audio.FMOD.Intf.Channel.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.DSP.h"
#include "Tembro.Audio.FMOD.Intf.Geometry.h"
#include "Tembro.Audio.FMOD.Intf.Reverb3D.h"
#include "Tembro.Audio.FMOD.Intf.Sound.h"
#include "Tembro.Audio.FMOD.Intf.SoundGroup.h"
#include "Tembro.Audio.FMOD.Reverb3D.h"
#include "Tembro.Audio.FMOD.Sound.h"
#include "Tembro.Audio.FMOD.SoundGroup.h"
#include "Tembro.Audio.FMOD.Strings.h"

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

TGUID FromFMODGuid(const FMOD_GUID& AGuid) noexcept {
  TGUID Result;
  Result.D1 = AGuid.Data1;
  Result.D2 = AGuid.Data2;
  Result.D3 = AGuid.Data3;
  for (int I = 0; I < 8; ++I) Result.D4[I] = AGuid.Data4[I];
  return Result;
}

template <typename THandle, typename TInterface>
THandle* HandleOf(const TTembroFMODPtr<TInterface>& AObject) noexcept {
  return static_cast<THandle*>(AObject->GetInternalHandle());
}

}  // namespace

TTembroFMODSystem::TTembroFMODSystem() : TTembroFMODObject(CreateInitialisedSystem()) {}

TTembroFMODSystem::TTembroFMODSystem(FMOD_SYSTEM* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

TTembroFMODSystem::~TTembroFMODSystem() {
  if (!OwnsEngineObject()) return;
  try {
    CheckFMODResult(FMOD_System_Close(FHandle));
    CheckFMODResult(FMOD_System_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

// ---- Slots 5-43: properties ---------------------------------------------------

std::uint32_t TTembroFMODSystem::GetVersion() const {
  unsigned int Version = 0;
  CheckFMODResult(FMOD_System_GetVersion(Handle(), &Version));
  return Version;
}

void* TTembroFMODSystem::GetOutputHandle() const {
  void* Output = nullptr;
  CheckFMODResult(FMOD_System_GetOutputHandle(Handle(), &Output));
  return Output;
}

// The master groups belong to the engine system: their wrappers borrow them.
TTembroFMODPtr<ITembroFMODChannelGroup> TTembroFMODSystem::GetMasterChannelGroup() const {
  FMOD_CHANNELGROUP* Group = nullptr;
  CheckFMODResult(FMOD_System_GetMasterChannelGroup(Handle(), &Group));
  return MakeTembroFMOD<ITembroFMODChannelGroup, TTembroFMODChannelGroup>(Group, TTembroFMODOwnership::Borrowed);
}

TTembroFMODPtr<ITembroFMODSoundGroup> TTembroFMODSystem::GetMasterSoundGroup() const {
  FMOD_SOUNDGROUP* Group = nullptr;
  CheckFMODResult(FMOD_System_GetMasterSoundGroup(Handle(), &Group));
  return MakeTembroFMOD<ITembroFMODSoundGroup, TTembroFMODSoundGroup>(Group, TTembroFMODOwnership::Borrowed);
}

TTembroFMODChannelsPlaying TTembroFMODSystem::GetChannelsPlaying() const {
  TTembroFMODChannelsPlaying Result;
  CheckFMODResult(FMOD_System_GetChannelsPlaying(Handle(), &Result.Channels, &Result.RealChannels));
  return Result;
}

TTembroFMODCPUUsage TTembroFMODSystem::GetCPUUsage() const {
  TTembroFMODCPUUsage Result;
  CheckFMODResult(
      FMOD_System_GetCPUUsage(Handle(), &Result.DSP, &Result.Stream, &Result.Geometry, &Result.Update, &Result.Total));
  return Result;
}

TTembroFMODFileUsage TTembroFMODSystem::GetFileUsgae() const {
  long long Sample = 0, Stream = 0, Other = 0;
  CheckFMODResult(FMOD_System_GetFileUsage(Handle(), &Sample, &Stream, &Other));
  return TTembroFMODFileUsage{Sample, Stream, Other};
}

TTembroFMODSoundRAM TTembroFMODSystem::GetSoundRAM() const {
  TTembroFMODSoundRAM Result;
  CheckFMODResult(FMOD_System_GetSoundRAM(Handle(), &Result.CurrentAlloced, &Result.MaxAlloced, &Result.Total));
  return Result;
}

std::int32_t TTembroFMODSystem::GetNumDrivers() const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetNumDrivers(Handle(), &Result));
  return Result;
}

FMOD_OUTPUTTYPE TTembroFMODSystem::GetOutput() const {
  FMOD_OUTPUTTYPE Result{};
  CheckFMODResult(FMOD_System_GetOutput(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetOutput(FMOD_OUTPUTTYPE AValue) { CheckFMODResult(FMOD_System_SetOutput(Handle(), AValue)); }

std::int32_t TTembroFMODSystem::GetDriver() const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetDriver(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetDriver(std::int32_t AValue) { CheckFMODResult(FMOD_System_SetDriver(Handle(), AValue)); }

std::int32_t TTembroFMODSystem::GetSoftwareChannels() const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetSoftwareChannels(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetSoftwareChannels(std::int32_t AValue) {
  CheckFMODResult(FMOD_System_SetSoftwareChannels(Handle(), AValue));
}

TTembroFMODSoftwareFormat TTembroFMODSystem::GetSoftwareFormat() const {
  TTembroFMODSoftwareFormat Result;
  CheckFMODResult(
      FMOD_System_GetSoftwareFormat(Handle(), &Result.SampleRate, &Result.SpeakerMode, &Result.NumRawSpeakers));
  return Result;
}

void TTembroFMODSystem::SetSoftwareFormat(const TTembroFMODSoftwareFormat& AValue) {
  CheckFMODResult(FMOD_System_SetSoftwareFormat(Handle(), AValue.SampleRate, AValue.SpeakerMode, AValue.NumRawSpeakers));
}

TTembroFMODDSPBufferSize TTembroFMODSystem::GetDSPBufferSize() const {
  TTembroFMODDSPBufferSize Result;
  CheckFMODResult(FMOD_System_GetDSPBufferSize(Handle(), &Result.BufferLength, &Result.NumBuffers));
  return Result;
}

void TTembroFMODSystem::SetDSPBufferSize(const TTembroFMODDSPBufferSize& AValue) {
  CheckFMODResult(FMOD_System_SetDSPBufferSize(Handle(), AValue.BufferLength, AValue.NumBuffers));
}

// The engine insists on cbSize holding the record's size, so the read sets
// it; every other field is the engine's to fill.
FMOD_ADVANCEDSETTINGS TTembroFMODSystem::GetAdvancedSettings() const {
  FMOD_ADVANCEDSETTINGS Result{};
  Result.cbSize = sizeof Result;
  CheckFMODResult(FMOD_System_GetAdvancedSettings(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetAdvancedSettings(const FMOD_ADVANCEDSETTINGS& AValue) {
  FMOD_ADVANCEDSETTINGS Settings = AValue;  // the engine's entry point takes a writable record
  CheckFMODResult(FMOD_System_SetAdvancedSettings(Handle(), &Settings));
}

std::uint32_t TTembroFMODSystem::GetOutputByPlugin() const {
  unsigned int Result = 0;
  CheckFMODResult(FMOD_System_GetOutputByPlugin(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetOutputByPlugin(std::uint32_t AValue) {
  CheckFMODResult(FMOD_System_SetOutputByPlugin(Handle(), AValue));
}

TTembroFMODStreamBufferSize TTembroFMODSystem::GetStreamBufferSize() const {
  TTembroFMODStreamBufferSize Result;
  CheckFMODResult(FMOD_System_GetStreamBufferSize(Handle(), &Result.FileBufferSize, &Result.FileBufferSizeType));
  return Result;
}

void TTembroFMODSystem::SetStreamBufferSize(const TTembroFMODStreamBufferSize& AValue) {
  CheckFMODResult(FMOD_System_SetStreamBufferSize(Handle(), AValue.FileBufferSize, AValue.FileBufferSizeType));
}

TTembroFMOD3DSettings TTembroFMODSystem::Get3DSettings() const {
  TTembroFMOD3DSettings Result;
  CheckFMODResult(
      FMOD_System_Get3DSettings(Handle(), &Result.DopplerScale, &Result.DistanceFactor, &Result.RolloffScale));
  return Result;
}

void TTembroFMODSystem::Set3DSettings(const TTembroFMOD3DSettings& AValue) {
  CheckFMODResult(FMOD_System_Set3DSettings(Handle(), AValue.DopplerScale, AValue.DistanceFactor, AValue.RolloffScale));
}

std::int32_t TTembroFMODSystem::Get3DNumListeners() const {
  int Result = 0;
  CheckFMODResult(FMOD_System_Get3DNumListeners(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::Set3DNumListeners(std::int32_t AValue) {
  CheckFMODResult(FMOD_System_Set3DNumListeners(Handle(), AValue));
}

void* TTembroFMODSystem::GetUserData() const {
  void* Result = nullptr;
  CheckFMODResult(FMOD_System_GetUserData(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetUserData(void* AValue) { CheckFMODResult(FMOD_System_SetUserData(Handle(), AValue)); }

TTembroFMODRecordNumDrivers TTembroFMODSystem::GetRecordNumDrivers() const {
  TTembroFMODRecordNumDrivers Result;
  CheckFMODResult(FMOD_System_GetRecordNumDrivers(Handle(), &Result.NumDrivers, &Result.NumConnected));
  return Result;
}

float TTembroFMODSystem::GetGeometrySettings() const {
  float Result = 0.0f;
  CheckFMODResult(FMOD_System_GetGeometrySettings(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetGeometrySettings(float AValue) {
  CheckFMODResult(FMOD_System_SetGeometrySettings(Handle(), AValue));
}

std::string TTembroFMODSystem::GetNetworkProxy() const {
  char Buffer[NameLength] = {};
  CheckFMODResult(FMOD_System_GetNetworkProxy(Handle(), Buffer, NameLength));
  return FromEngineBuffer(Buffer, NameLength);
}

void TTembroFMODSystem::SetNetworkProxy(const std::string& AValue) {
  const std::string Proxy = ToEngineString(AValue);
  CheckFMODResult(FMOD_System_SetNetworkProxy(Handle(), Proxy.c_str()));
}

std::int32_t TTembroFMODSystem::GetNetworkTimeout() const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetNetworkTimeout(Handle(), &Result));
  return Result;
}

void TTembroFMODSystem::SetNetworkTimeout(std::int32_t AValue) {
  CheckFMODResult(FMOD_System_SetNetworkTimeout(Handle(), AValue));
}

void TTembroFMODSystem::Update() { CheckFMODResult(FMOD_System_Update(Handle())); }

// ---- Slots 44-66: drivers, plugins, speakers, listeners -------------------------

TTembroFMODDriverInfo TTembroFMODSystem::GetDriverInfo(std::int32_t AIndex, std::string& AName) const {
  char Name[NameLength] = {};
  FMOD_GUID Guid{};
  TTembroFMODDriverInfo Result;
  CheckFMODResult(FMOD_System_GetDriverInfo(Handle(), AIndex, Name, NameLength, &Guid, &Result.SystemRate,
                                            &Result.SpeakerMode, &Result.SpeakerModeChannels));
  Result.GUID = FromFMODGuid(Guid);
  AName = FromEngineBuffer(Name, NameLength);
  return Result;
}

void TTembroFMODSystem::SetPluginPath(const std::string& APath) {
  const std::string Path = ToEngineString(APath);
  CheckFMODResult(FMOD_System_SetPluginPath(Handle(), Path.c_str()));
}

// The engine takes the handle's out-address before the priority.
std::uint32_t TTembroFMODSystem::LoadPlugin(const std::string& AFilename, std::uint32_t APriority) {
  const std::string FileName = ToEngineString(AFilename);
  unsigned int Plugin = 0;
  CheckFMODResult(FMOD_System_LoadPlugin(Handle(), FileName.c_str(), &Plugin, APriority));
  return Plugin;
}

void TTembroFMODSystem::UnloadPlugin(std::uint32_t AHandle) {
  CheckFMODResult(FMOD_System_UnloadPlugin(Handle(), AHandle));
}

std::int32_t TTembroFMODSystem::GetNestedPlugins(std::uint32_t AHandle) const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetNumNestedPlugins(Handle(), AHandle, &Result));
  return Result;
}

std::uint32_t TTembroFMODSystem::GetNestedPlugin(std::uint32_t AHandle, std::int32_t AIndex) const {
  unsigned int Result = 0;
  CheckFMODResult(FMOD_System_GetNestedPlugin(Handle(), AHandle, AIndex, &Result));
  return Result;
}

std::int32_t TTembroFMODSystem::GetNumPlugins(FMOD_PLUGINTYPE APluginType) const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetNumPlugins(Handle(), APluginType, &Result));
  return Result;
}

std::uint32_t TTembroFMODSystem::GetPluginHandle(FMOD_PLUGINTYPE APluginType, std::int32_t AIndex) const {
  unsigned int Result = 0;
  CheckFMODResult(FMOD_System_GetPluginHandle(Handle(), APluginType, AIndex, &Result));
  return Result;
}

TTembroFMODPluginInfo TTembroFMODSystem::GetPluginInfo(std::uint32_t AHandle, std::string& AName) const {
  char Name[NameLength] = {};
  TTembroFMODPluginInfo Result;
  CheckFMODResult(FMOD_System_GetPluginInfo(Handle(), AHandle, &Result.PluginType, Name, NameLength, &Result.Version));
  AName = FromEngineBuffer(Name, NameLength);
  return Result;
}

// The engine hands the new unit over: the wrapper owns and releases it.
TTembroFMODPtr<ITembroFMODDSP> TTembroFMODSystem::CreateDSPByPlugin(std::uint32_t AHandle) {
  FMOD_DSP* DSP = nullptr;
  CheckFMODResult(FMOD_System_CreateDSPByPlugin(Handle(), AHandle, &DSP));
  return MakeTembroFMOD<ITembroFMODDSP, TTembroFMODDSP>(DSP, TTembroFMODOwnership::Owned);
}

const FMOD_DSP_DESCRIPTION* TTembroFMODSystem::GetDSPInfoByPlugin(std::uint32_t AHandle) const {
  const FMOD_DSP_DESCRIPTION* Description = nullptr;
  CheckFMODResult(FMOD_System_GetDSPInfoByPlugin(Handle(), AHandle, &Description));
  return Description;
}

// The registrations hand the engine a copy of the description that lives
// for the call only.
std::uint32_t TTembroFMODSystem::RegisterCodec(const FMOD_CODEC_DESCRIPTION& ADescr, std::uint32_t APriority) {
  FMOD_CODEC_DESCRIPTION Copy = ADescr;
  unsigned int Plugin = 0;
  CheckFMODResult(FMOD_System_RegisterCodec(Handle(), &Copy, &Plugin, APriority));
  return Plugin;
}

std::uint32_t TTembroFMODSystem::RegisterDSP(const FMOD_DSP_DESCRIPTION& ADescr) {
  const FMOD_DSP_DESCRIPTION Copy = ADescr;
  unsigned int Plugin = 0;
  CheckFMODResult(FMOD_System_RegisterDSP(Handle(), &Copy, &Plugin));
  return Plugin;
}

std::uint32_t TTembroFMODSystem::RegisterOutput(const FMOD_OUTPUT_DESCRIPTION& ADescr) {
  const FMOD_OUTPUT_DESCRIPTION Copy = ADescr;
  unsigned int Plugin = 0;
  CheckFMODResult(FMOD_System_RegisterOutput(Handle(), &Copy, &Plugin));
  return Plugin;
}

TTembroFMODSpeakerPosition TTembroFMODSystem::GetSpeakerPosition(FMOD_SPEAKER ASpeaker) const {
  TTembroFMODSpeakerPosition Result;
  CheckFMODResult(FMOD_System_GetSpeakerPosition(Handle(), ASpeaker, &Result.X, &Result.Y, &Result.Active));
  return Result;
}

void TTembroFMODSystem::SetSpeakerPosition(FMOD_SPEAKER ASpeaker, const TTembroFMODSpeakerPosition& AValue) {
  CheckFMODResult(FMOD_System_SetSpeakerPosition(Handle(), ASpeaker, AValue.X, AValue.Y, AValue.Active));
}

TTembroFMOD3DListenerAttr TTembroFMODSystem::Get3DListenerAttributes(std::int32_t AListener) const {
  TTembroFMOD3DListenerAttr Result;
  CheckFMODResult(FMOD_System_Get3DListenerAttributes(Handle(), AListener, AsFMODVector(&Result.Pos),
                                                      AsFMODVector(&Result.Vel), AsFMODVector(&Result.Forward),
                                                      AsFMODVector(&Result.Up)));
  return Result;
}

void TTembroFMODSystem::Set3DListenerAttributes(std::int32_t AListener, const TTembroFMOD3DListenerAttr& AValue) {
  CheckFMODResult(FMOD_System_Set3DListenerAttributes(Handle(), AListener, AsFMODVector(&AValue.Pos),
                                                      AsFMODVector(&AValue.Vel), AsFMODVector(&AValue.Forward),
                                                      AsFMODVector(&AValue.Up)));
}

void TTembroFMODSystem::Set3DRolloffCallback(FMOD_3D_ROLLOFF_CALLBACK ACallback) {
  CheckFMODResult(FMOD_System_Set3DRolloffCallback(Handle(), ACallback));
}

void TTembroFMODSystem::MixerSuspend() { CheckFMODResult(FMOD_System_MixerSuspend(Handle())); }

void TTembroFMODSystem::MixerResume() { CheckFMODResult(FMOD_System_MixerResume(Handle())); }

// The engine takes the matrix before its hop.
void TTembroFMODSystem::GetDefaultMixMatrix(FMOD_SPEAKERMODE ASourceSpeakerMode, FMOD_SPEAKERMODE ATargetSpeakerMode,
                                            std::int32_t AMatrixHop, float* AMatrix) const {
  CheckFMODResult(
      FMOD_System_GetDefaultMixMatrix(Handle(), ASourceSpeakerMode, ATargetSpeakerMode, AMatrix, AMatrixHop));
}

std::int32_t TTembroFMODSystem::GetSpeakerModeChannels(FMOD_SPEAKERMODE ASpeakerMode) const {
  int Result = 0;
  CheckFMODResult(FMOD_System_GetSpeakerModeChannels(Handle(), ASpeakerMode, &Result));
  return Result;
}

// ---- Slots 67-92: factories, playing, channels, ports, recording ----------------

TTembroFMODPtr<ITembroFMODSound> TTembroFMODSystem::CreateSoundFromFile(const std::string& AFileName, FMOD_MODE AMode,
                                                                        FMOD_CREATESOUNDEXINFO* AExInfo) {
  return TTembroFMODSound::CreateFromFile(Self(), AFileName, AMode, AExInfo);
}

TTembroFMODPtr<ITembroFMODSound> TTembroFMODSystem::CreateSoundFromStream(std::span<const std::byte> AStream,
                                                                          FMOD_MODE AMode,
                                                                          FMOD_CREATESOUNDEXINFO* AExInfo) {
  return TTembroFMODSound::CreateFromStream(Self(), AStream, AMode, AExInfo);
}

TTembroFMODPtr<ITembroFMODDSP> TTembroFMODSystem::CreateDSP(const FMOD_DSP_DESCRIPTION* ADescription) {
  return TTembroFMODDSP::CreateFromDescription(Self(), ADescription);
}

TTembroFMODPtr<ITembroFMODDSP> TTembroFMODSystem::CreateDSPByType(FMOD_DSP_TYPE AType) {
  return TTembroFMODDSP::CreateFromType(Self(), AType);
}

TTembroFMODPtr<ITembroFMODChannelGroup> TTembroFMODSystem::CreateChannelGroup(const std::string& AName) {
  return TTembroFMODChannelGroup::Create(Self(), AName);
}

TTembroFMODPtr<ITembroFMODSoundGroup> TTembroFMODSystem::CreateSoundGroup(const std::string& AName) {
  return TTembroFMODSoundGroup::Create(Self(), AName);
}

TTembroFMODPtr<ITembroFMODReverb3D> TTembroFMODSystem::CreateReverb3D() { return TTembroFMODReverb3D::Create(Self()); }

// The played object plays itself, on the engine system that holds it. The
// local references keep the arguments alive for the call.
void TTembroFMODSystem::PlaySound(const TTembroFMODPtr<ITembroFMODSound>& ASound,
                                  const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) {
  const ITembroFMODSoundPtr Sound = ASound;
  const ITembroFMODChannelGroupPtr Group = AChannelGroup;
  if (!Sound) return;
  Sound->Play(Group, APaused);
}

TTembroFMODPtr<ITembroFMODChannel> TTembroFMODSystem::PlaySoundWithChannel(
    const TTembroFMODPtr<ITembroFMODSound>& ASound, const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
    FMOD_BOOL APaused) {
  const ITembroFMODSoundPtr Sound = ASound;
  const ITembroFMODChannelGroupPtr Group = AChannelGroup;
  if (!Sound) return nullptr;
  return Sound->PlayWithChannel(Group, APaused);
}

void TTembroFMODSystem::PlayDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP,
                                const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) {
  const ITembroFMODDSPPtr DSP = ADSP;
  const ITembroFMODChannelGroupPtr Group = AChannelGroup;
  if (!DSP) return;
  DSP->Play(Group, APaused);
}

TTembroFMODPtr<ITembroFMODChannel> TTembroFMODSystem::PlayDSPWithChannel(
    const TTembroFMODPtr<ITembroFMODDSP>& ADSP, const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
    FMOD_BOOL APaused) {
  const ITembroFMODDSPPtr DSP = ADSP;
  const ITembroFMODChannelGroupPtr Group = AChannelGroup;
  if (!DSP) return nullptr;
  return DSP->PlayWithChannel(Group, APaused);
}

TTembroFMODPtr<ITembroFMODChannel> TTembroFMODSystem::GetChannel(std::int32_t AChannelId) const {
  FMOD_CHANNEL* Channel = nullptr;
  CheckFMODResult(FMOD_System_GetChannel(Handle(), AChannelId, &Channel));
  return MakeTembroFMOD<ITembroFMODChannel, TTembroFMODChannel>(Channel, TTembroFMODOwnership::Borrowed);
}

void TTembroFMODSystem::AttachChannelGroupToPort(std::uint32_t APortType, std::uint64_t APortIndex,
                                                 const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                                 FMOD_BOOL APassThru) {
  const ITembroFMODChannelGroupPtr Group = AChannelGroup;
  if (!Group) return;
  CheckFMODResult(FMOD_System_AttachChannelGroupToPort(Handle(), static_cast<FMOD_PORT_TYPE>(APortType), APortIndex,
                                                       HandleOf<FMOD_CHANNELGROUP>(Group), APassThru));
}

void TTembroFMODSystem::DetachChannelGroupFromPort(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup) {
  const ITembroFMODChannelGroupPtr Group = AChannelGroup;
  if (!Group) return;
  CheckFMODResult(FMOD_System_DetachChannelGroupFromPort(Handle(), HandleOf<FMOD_CHANNELGROUP>(Group)));
}

void TTembroFMODSystem::SetReverbProperties(std::int32_t AInstance, const FMOD_REVERB_PROPERTIES& AProps) {
  CheckFMODResult(FMOD_System_SetReverbProperties(Handle(), AInstance, &AProps));
}

FMOD_REVERB_PROPERTIES TTembroFMODSystem::GetReverbProperties(std::int32_t AInstance) const {
  FMOD_REVERB_PROPERTIES Result{};
  CheckFMODResult(FMOD_System_GetReverbProperties(Handle(), AInstance, &Result));
  return Result;
}

void TTembroFMODSystem::LockDSP() { CheckFMODResult(FMOD_System_LockDSP(Handle())); }

void TTembroFMODSystem::UnlockDSP() { CheckFMODResult(FMOD_System_UnlockDSP(Handle())); }

TTembroFMODRecordDriverInfo TTembroFMODSystem::GetRecordDriverInfo(std::int32_t ADriverId, std::string& AName) const {
  char Name[NameLength] = {};
  FMOD_GUID Guid{};
  TTembroFMODRecordDriverInfo Result;
  CheckFMODResult(FMOD_System_GetRecordDriverInfo(Handle(), ADriverId, Name, NameLength, &Guid, &Result.SystemRate,
                                                  &Result.SpeakerMode, &Result.SpeakerModeChannels, &Result.State));
  Result.GUID = FromFMODGuid(Guid);
  AName = FromEngineBuffer(Name, NameLength);
  return Result;
}

std::uint32_t TTembroFMODSystem::GetRecordPosition(std::int32_t ADriverId) const {
  unsigned int Result = 0;
  CheckFMODResult(FMOD_System_GetRecordPosition(Handle(), ADriverId, &Result));
  return Result;
}

void TTembroFMODSystem::RecordStart(std::int32_t ADriverId, const TTembroFMODPtr<ITembroFMODSound>& ASound,
                                    FMOD_BOOL ALoop) {
  const ITembroFMODSoundPtr Sound = ASound;
  if (!Sound) return;
  CheckFMODResult(FMOD_System_RecordStart(Handle(), ADriverId, HandleOf<FMOD_SOUND>(Sound), ALoop));
}

void TTembroFMODSystem::RecordStop(std::int32_t ADriverId) {
  CheckFMODResult(FMOD_System_RecordStop(Handle(), ADriverId));
}

FMOD_BOOL TTembroFMODSystem::IsRecording(std::int32_t ADriverId) const {
  FMOD_BOOL Result = 0;
  CheckFMODResult(FMOD_System_IsRecording(Handle(), ADriverId, &Result));
  return Result;
}

TTembroFMODPtr<ITembroFMODGeometry> TTembroFMODSystem::CreateGeometry(std::int32_t AMaxPolygons,
                                                                      std::int32_t AMaxVertices) {
  return TTembroFMODGeometry::Create(Self(), AMaxPolygons, AMaxVertices);
}

TTembroFMODPtr<ITembroFMODGeometry> TTembroFMODSystem::LoadGeometry(const void* AData, std::int32_t ADatasize) {
  return TTembroFMODGeometry::CreateFromData(Self(), AData, ADatasize);
}

TTembroFMODGeometryOcclusion TTembroFMODSystem::GetGeometryOcclusion(const TPoint3D& AListener,
                                                                     const TPoint3D& ASource) const {
  TTembroFMODGeometryOcclusion Result;
  CheckFMODResult(FMOD_System_GetGeometryOcclusion(Handle(), AsFMODVector(&AListener), AsFMODVector(&ASource),
                                                   &Result.Direct, &Result.Reverb));
  return Result;
}

}  // namespace Tembro::Audio::FMOD
