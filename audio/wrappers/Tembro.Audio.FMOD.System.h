// The wrapper of the engine system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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
//     ITembroFMODSoundPtr Drums = System->CreateSoundFromFile("drumloop-2.ogg", FMOD_DEFAULT, nullptr);
//     System->PlaySound(Drums, nullptr, false);
//     System->Update();
//   }  // Drums goes first, then the system
//   Lib::UnloadFMODLibrary(Library);
//
// The factories hand the work to the created class (a sound wrapper opens
// its own sound); playing is done by the played sound or DSP on the engine
// system that holds it. Every query that returns an engine object makes a
// new wrapper; wrappers of the master groups and of channels borrow their
// engine object and release nothing.
class TTembroFMODSystem : public TTembroFMODObject<ITembroFMODSystem, FMOD_SYSTEM> {
public:
  // The oldest library version the wrappers are written for.
  static constexpr std::uint32_t HeaderVersion = FMOD_VERSION;
  // Channels, initialisation flags the engine system is initialised with.
  static constexpr int MaxChannels = 32;
  static constexpr FMOD_INITFLAGS InitFlags = 4;
  // Bytes of the buffers that receive the network proxy and the names of
  // drivers and plugins, terminating zero included.
  static constexpr int NameLength = 512;

  // Creates an engine system, refuses a library older than HeaderVersion,
  // initialises it with MaxChannels channels and InitFlags and no extra
  // driver data, and wraps it. The handle is stored only when every step
  // has succeeded; on failure nothing is released.
  TTembroFMODSystem();
  // Wraps an existing engine system, which the wrapper then owns unless
  // AOwnership says it borrows it.
  explicit TTembroFMODSystem(FMOD_SYSTEM* AHandle, TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Closes, then releases the engine system when the wrapper owns it. A
  // failure cannot be raised from here: it is reported through
  // ReportTembroFMODError (a failed close skips the release) and the memory
  // is freed all the same.
  ~TTembroFMODSystem() override;

  static ITembroFMODSystemPtr Create() { return ITembroFMODSystemPtr(new TTembroFMODSystem()); }

  std::uint32_t GetVersion() const override;                             // FMOD_System_GetVersion
  void* GetOutputHandle() const override;                                // FMOD_System_GetOutputHandle
  TTembroFMODPtr<ITembroFMODChannelGroup> GetMasterChannelGroup() const override;  // FMOD_System_GetMasterChannelGroup
  TTembroFMODPtr<ITembroFMODSoundGroup> GetMasterSoundGroup() const override;      // FMOD_System_GetMasterSoundGroup
  TTembroFMODChannelsPlaying GetChannelsPlaying() const override;        // FMOD_System_GetChannelsPlaying
  TTembroFMODCPUUsage GetCPUUsage() const override;                      // FMOD_System_GetCPUUsage
  TTembroFMODFileUsage GetFileUsgae() const override;                    // FMOD_System_GetFileUsage
  TTembroFMODSoundRAM GetSoundRAM() const override;                      // FMOD_System_GetSoundRAM
  std::int32_t GetNumDrivers() const override;                           // FMOD_System_GetNumDrivers
  FMOD_OUTPUTTYPE GetOutput() const override;                            // FMOD_System_GetOutput
  void SetOutput(FMOD_OUTPUTTYPE AValue) override;                       // FMOD_System_SetOutput
  std::int32_t GetDriver() const override;                               // FMOD_System_GetDriver
  void SetDriver(std::int32_t AValue) override;                          // FMOD_System_SetDriver
  std::int32_t GetSoftwareChannels() const override;                     // FMOD_System_GetSoftwareChannels
  void SetSoftwareChannels(std::int32_t AValue) override;                // FMOD_System_SetSoftwareChannels
  TTembroFMODSoftwareFormat GetSoftwareFormat() const override;          // FMOD_System_GetSoftwareFormat
  void SetSoftwareFormat(const TTembroFMODSoftwareFormat& AValue) override;  // FMOD_System_SetSoftwareFormat
  TTembroFMODDSPBufferSize GetDSPBufferSize() const override;            // FMOD_System_GetDSPBufferSize
  void SetDSPBufferSize(const TTembroFMODDSPBufferSize& AValue) override;  // FMOD_System_SetDSPBufferSize
  FMOD_ADVANCEDSETTINGS GetAdvancedSettings() const override;            // FMOD_System_GetAdvancedSettings
  void SetAdvancedSettings(const FMOD_ADVANCEDSETTINGS& AValue) override;  // FMOD_System_SetAdvancedSettings
  std::uint32_t GetOutputByPlugin() const override;                      // FMOD_System_GetOutputByPlugin
  void SetOutputByPlugin(std::uint32_t AValue) override;                 // FMOD_System_SetOutputByPlugin
  TTembroFMODStreamBufferSize GetStreamBufferSize() const override;      // FMOD_System_GetStreamBufferSize
  void SetStreamBufferSize(const TTembroFMODStreamBufferSize& AValue) override;  // FMOD_System_SetStreamBufferSize
  TTembroFMOD3DSettings Get3DSettings() const override;                  // FMOD_System_Get3DSettings
  void Set3DSettings(const TTembroFMOD3DSettings& AValue) override;      // FMOD_System_Set3DSettings
  std::int32_t Get3DNumListeners() const override;                       // FMOD_System_Get3DNumListeners
  void Set3DNumListeners(std::int32_t AValue) override;                  // FMOD_System_Set3DNumListeners
  void* GetUserData() const override;                                    // FMOD_System_GetUserData
  void SetUserData(void* AValue) override;                               // FMOD_System_SetUserData
  TTembroFMODRecordNumDrivers GetRecordNumDrivers() const override;      // FMOD_System_GetRecordNumDrivers
  float GetGeometrySettings() const override;                            // FMOD_System_GetGeometrySettings
  void SetGeometrySettings(float AValue) override;                       // FMOD_System_SetGeometrySettings
  std::string GetNetworkProxy() const override;                          // FMOD_System_GetNetworkProxy
  void SetNetworkProxy(const std::string& AValue) override;              // FMOD_System_SetNetworkProxy
  std::int32_t GetNetworkTimeout() const override;                       // FMOD_System_GetNetworkTimeout
  void SetNetworkTimeout(std::int32_t AValue) override;                  // FMOD_System_SetNetworkTimeout
  void Update() override;                                                // FMOD_System_Update
  TTembroFMODDriverInfo GetDriverInfo(std::int32_t AIndex, std::string& AName) const override;  // FMOD_System_GetDriverInfo
  void SetPluginPath(const std::string& APath) override;                 // FMOD_System_SetPluginPath
  std::uint32_t LoadPlugin(const std::string& AFilename, std::uint32_t APriority) override;  // FMOD_System_LoadPlugin
  void UnloadPlugin(std::uint32_t AHandle) override;                     // FMOD_System_UnloadPlugin
  std::int32_t GetNestedPlugins(std::uint32_t AHandle) const override;   // FMOD_System_GetNumNestedPlugins
  std::uint32_t GetNestedPlugin(std::uint32_t AHandle, std::int32_t AIndex) const override;  // FMOD_System_GetNestedPlugin
  std::int32_t GetNumPlugins(FMOD_PLUGINTYPE APluginType) const override;  // FMOD_System_GetNumPlugins
  std::uint32_t GetPluginHandle(FMOD_PLUGINTYPE APluginType, std::int32_t AIndex) const override;  // FMOD_System_GetPluginHandle
  TTembroFMODPluginInfo GetPluginInfo(std::uint32_t AHandle, std::string& AName) const override;  // FMOD_System_GetPluginInfo
  TTembroFMODPtr<ITembroFMODDSP> CreateDSPByPlugin(std::uint32_t AHandle) override;  // FMOD_System_CreateDSPByPlugin
  const FMOD_DSP_DESCRIPTION* GetDSPInfoByPlugin(std::uint32_t AHandle) const override;  // FMOD_System_GetDSPInfoByPlugin
  std::uint32_t RegisterCodec(const FMOD_CODEC_DESCRIPTION& ADescr, std::uint32_t APriority) override;  // FMOD_System_RegisterCodec
  std::uint32_t RegisterDSP(const FMOD_DSP_DESCRIPTION& ADescr) override;  // FMOD_System_RegisterDSP
  std::uint32_t RegisterOutput(const FMOD_OUTPUT_DESCRIPTION& ADescr) override;  // FMOD_System_RegisterOutput
  TTembroFMODSpeakerPosition GetSpeakerPosition(FMOD_SPEAKER ASpeaker) const override;  // FMOD_System_GetSpeakerPosition
  void SetSpeakerPosition(FMOD_SPEAKER ASpeaker, const TTembroFMODSpeakerPosition& AValue) override;  // FMOD_System_SetSpeakerPosition
  TTembroFMOD3DListenerAttr Get3DListenerAttributes(std::int32_t AListener) const override;  // FMOD_System_Get3DListenerAttributes
  void Set3DListenerAttributes(std::int32_t AListener, const TTembroFMOD3DListenerAttr& AValue) override;  // FMOD_System_Set3DListenerAttributes
  void Set3DRolloffCallback(FMOD_3D_ROLLOFF_CALLBACK ACallback) override;  // FMOD_System_Set3DRolloffCallback
  void MixerSuspend() override;                                          // FMOD_System_MixerSuspend
  void MixerResume() override;                                           // FMOD_System_MixerResume
  void GetDefaultMixMatrix(FMOD_SPEAKERMODE ASourceSpeakerMode, FMOD_SPEAKERMODE ATargetSpeakerMode,
                           std::int32_t AMatrixHop, float* AMatrix) const override;  // FMOD_System_GetDefaultMixMatrix
  std::int32_t GetSpeakerModeChannels(FMOD_SPEAKERMODE ASpeakerMode) const override;  // FMOD_System_GetSpeakerModeChannels
  TTembroFMODPtr<ITembroFMODSound> CreateSoundFromFile(const std::string& AFileName, FMOD_MODE AMode,
                                                       FMOD_CREATESOUNDEXINFO* AExInfo) override;  // TTembroFMODSound::CreateFromFile
  TTembroFMODPtr<ITembroFMODSound> CreateSoundFromStream(std::span<const std::byte> AStream, FMOD_MODE AMode,
                                                         FMOD_CREATESOUNDEXINFO* AExInfo) override;  // TTembroFMODSound::CreateFromStream
  TTembroFMODPtr<ITembroFMODDSP> CreateDSP(const FMOD_DSP_DESCRIPTION* ADescription) override;  // TTembroFMODDSP::CreateFromDescription
  TTembroFMODPtr<ITembroFMODDSP> CreateDSPByType(FMOD_DSP_TYPE AType) override;  // TTembroFMODDSP::CreateFromType
  TTembroFMODPtr<ITembroFMODChannelGroup> CreateChannelGroup(const std::string& AName) override;  // TTembroFMODChannelGroup::Create
  TTembroFMODPtr<ITembroFMODSoundGroup> CreateSoundGroup(const std::string& AName) override;  // TTembroFMODSoundGroup::Create
  TTembroFMODPtr<ITembroFMODReverb3D> CreateReverb3D() override;        // TTembroFMODReverb3D::Create
  void PlaySound(const TTembroFMODPtr<ITembroFMODSound>& ASound,
                 const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) override;  // ITembroFMODSound::Play
  TTembroFMODPtr<ITembroFMODChannel> PlaySoundWithChannel(const TTembroFMODPtr<ITembroFMODSound>& ASound,
                                                          const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                                          FMOD_BOOL APaused) override;  // ITembroFMODSound::PlayWithChannel
  void PlayDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP, const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
               FMOD_BOOL APaused) override;  // ITembroFMODDSP::Play
  TTembroFMODPtr<ITembroFMODChannel> PlayDSPWithChannel(const TTembroFMODPtr<ITembroFMODDSP>& ADSP,
                                                        const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                                        FMOD_BOOL APaused) override;  // ITembroFMODDSP::PlayWithChannel
  TTembroFMODPtr<ITembroFMODChannel> GetChannel(std::int32_t AChannelId) const override;  // FMOD_System_GetChannel
  void AttachChannelGroupToPort(std::uint32_t APortType, std::uint64_t APortIndex,
                                const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                FMOD_BOOL APassThru) override;  // FMOD_System_AttachChannelGroupToPort
  void DetachChannelGroupFromPort(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup) override;  // FMOD_System_DetachChannelGroupFromPort
  void SetReverbProperties(std::int32_t AInstance, const FMOD_REVERB_PROPERTIES& AProps) override;  // FMOD_System_SetReverbProperties
  FMOD_REVERB_PROPERTIES GetReverbProperties(std::int32_t AInstance) const override;  // FMOD_System_GetReverbProperties
  void LockDSP() override;                                               // FMOD_System_LockDSP
  void UnlockDSP() override;                                             // FMOD_System_UnlockDSP
  TTembroFMODRecordDriverInfo GetRecordDriverInfo(std::int32_t ADriverId, std::string& AName) const override;  // FMOD_System_GetRecordDriverInfo
  std::uint32_t GetRecordPosition(std::int32_t ADriverId) const override;  // FMOD_System_GetRecordPosition
  void RecordStart(std::int32_t ADriverId, const TTembroFMODPtr<ITembroFMODSound>& ASound,
                   FMOD_BOOL ALoop) override;                           // FMOD_System_RecordStart
  void RecordStop(std::int32_t ADriverId) override;                      // FMOD_System_RecordStop
  FMOD_BOOL IsRecording(std::int32_t ADriverId) const override;          // FMOD_System_IsRecording
  TTembroFMODPtr<ITembroFMODGeometry> CreateGeometry(std::int32_t AMaxPolygons,
                                                     std::int32_t AMaxVertices) override;  // TTembroFMODGeometry::Create
  TTembroFMODPtr<ITembroFMODGeometry> LoadGeometry(const void* AData, std::int32_t ADatasize) override;  // TTembroFMODGeometry::CreateFromData
  TTembroFMODGeometryOcclusion GetGeometryOcclusion(const TPoint3D& AListener,
                                                    const TPoint3D& ASource) const override;  // FMOD_System_GetGeometryOcclusion

private:
  // This system through its interface, with a reference held for the call.
  ITembroFMODSystemPtr Self() noexcept { return ITembroFMODSystemPtr(this); }
};

}  // namespace Tembro::Audio::FMOD
