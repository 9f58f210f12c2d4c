// The interface of the engine system's wrapper and the system's value
// records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Lib.Codec.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"
#include "Tembro.Audio.FMOD.Lib.Output.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

static_assert(sizeof(TGUID) == sizeof(FMOD_GUID) && std::is_standard_layout_v<TGUID>);

// ---- Value records of the system --------------------------------------------

struct TTembroFMODDriverInfo {
  TGUID GUID;
  std::int32_t SystemRate = 0;
  FMOD_SPEAKERMODE SpeakerMode{};
  std::int32_t SpeakerModeChannels = 0;

  friend bool operator==(const TTembroFMODDriverInfo&, const TTembroFMODDriverInfo&) = default;
};

struct TTembroFMODSoftwareFormat {
  std::int32_t SampleRate = 0;
  FMOD_SPEAKERMODE SpeakerMode{};
  std::int32_t NumRawSpeakers = 0;

  friend bool operator==(const TTembroFMODSoftwareFormat&, const TTembroFMODSoftwareFormat&) = default;
};

struct TTembroFMODDSPBufferSize {
  std::uint32_t BufferLength = 0;
  std::int32_t NumBuffers = 0;

  friend bool operator==(const TTembroFMODDSPBufferSize&, const TTembroFMODDSPBufferSize&) = default;
};

struct TTembroFMODPluginInfo {
  FMOD_PLUGINTYPE PluginType{};
  std::uint32_t Version = 0;

  friend bool operator==(const TTembroFMODPluginInfo&, const TTembroFMODPluginInfo&) = default;
};

struct TTembroFMODStreamBufferSize {
  std::uint32_t FileBufferSize = 0;
  std::uint32_t FileBufferSizeType = 0;  // FMOD_TIMEUNIT of FileBufferSize

  friend bool operator==(const TTembroFMODStreamBufferSize&, const TTembroFMODStreamBufferSize&) = default;
};

struct TTembroFMOD3DSettings {
  float DopplerScale = 0.0f;
  float DistanceFactor = 0.0f;
  float RolloffScale = 0.0f;

  friend bool operator==(const TTembroFMOD3DSettings&, const TTembroFMOD3DSettings&) = default;
};

// Position, velocity and orientation of a 3D listener.
//
//   System->Set3DListenerAttributes(0, TTembroFMOD3DListenerAttr::Create({0, 0, 0}));
struct TTembroFMOD3DListenerAttr {
  TPoint3D Pos;
  TPoint3D Vel;
  TPoint3D Forward;
  TPoint3D Up;

  // Every coordinate 0.
  static TTembroFMOD3DListenerAttr Create() noexcept { return {}; }
  static TTembroFMOD3DListenerAttr Create(const TPoint3D& APos, const TPoint3D& AVelocity, const TPoint3D& AForward,
                                          const TPoint3D& AUp) noexcept {
    return {APos, AVelocity, AForward, AUp};
  }
  // Facing (0, 0, -1), with the up vector (0, -1, 0): Y is -1, not +1.
  static TTembroFMOD3DListenerAttr Create(const TPoint3D& APos, const TPoint3D& AVelocity) noexcept {
    return {APos, AVelocity, DefaultForward, DefaultUp};
  }
  // At rest, facing (0, 0, -1), with the up vector (0, -1, 0).
  static TTembroFMOD3DListenerAttr Create(const TPoint3D& APos) noexcept {
    return {APos, TPoint3D{}, DefaultForward, DefaultUp};
  }

  static constexpr TPoint3D DefaultForward{0.0f, 0.0f, -1.0f};
  static constexpr TPoint3D DefaultUp{0.0f, -1.0f, 0.0f};

  friend bool operator==(const TTembroFMOD3DListenerAttr&, const TTembroFMOD3DListenerAttr&) = default;
};

struct TTembroFMODChannelsPlaying {
  std::int32_t Channels = 0;
  std::int32_t RealChannels = 0;  // not virtual

  friend bool operator==(const TTembroFMODChannelsPlaying&, const TTembroFMODChannelsPlaying&) = default;
};

// Processor use of each engine activity and in total, in percent.
struct TTembroFMODCPUUsage {
  float DSP = 0.0f;
  float Stream = 0.0f;
  float Geometry = 0.0f;
  float Update = 0.0f;
  float Total = 0.0f;

  friend bool operator==(const TTembroFMODCPUUsage&, const TTembroFMODCPUUsage&) = default;
};

struct TTembroFMODFileUsage {
  std::int64_t SampleBytesRead = 0;
  std::int64_t StreamBytesRead = 0;
  std::int64_t OtherBytesRead = 0;

  friend bool operator==(const TTembroFMODFileUsage&, const TTembroFMODFileUsage&) = default;
};

struct TTembroFMODSoundRAM {
  std::int32_t CurrentAlloced = 0;
  std::int32_t MaxAlloced = 0;
  std::int32_t Total = 0;

  friend bool operator==(const TTembroFMODSoundRAM&, const TTembroFMODSoundRAM&) = default;
};

struct TTembroFMODRecordNumDrivers {
  std::int32_t NumDrivers = 0;
  std::int32_t NumConnected = 0;

  friend bool operator==(const TTembroFMODRecordNumDrivers&, const TTembroFMODRecordNumDrivers&) = default;
};

struct TTembroFMODRecordDriverInfo {
  TGUID GUID;
  std::int32_t SystemRate = 0;
  FMOD_SPEAKERMODE SpeakerMode{};
  std::int32_t SpeakerModeChannels = 0;
  std::uint32_t State = 0;  // FMOD_DRIVER_STATE flags

  friend bool operator==(const TTembroFMODRecordDriverInfo&, const TTembroFMODRecordDriverInfo&) = default;
};

struct TTembroFMODGeometryOcclusion {
  float Direct = 0.0f;
  float Reverb = 0.0f;

  friend bool operator==(const TTembroFMODGeometryOcclusion&, const TTembroFMODGeometryOcclusion&) = default;
};

// Where one speaker stands, and whether the engine uses it.
struct TTembroFMODSpeakerPosition {
  float X = 0.0f;
  float Y = 0.0f;
  FMOD_BOOL Active = 0;

  friend bool operator==(const TTembroFMODSpeakerPosition&, const TTembroFMODSpeakerPosition&) = default;
};

static_assert(sizeof(TTembroFMODSpeakerPosition) == 12);

// ---- The interface ----------------------------------------------------------

class ITembroFMODSound;
class ITembroFMODChannel;
class ITembroFMODChannelGroup;
class ITembroFMODSoundGroup;
class ITembroFMODDSP;
class ITembroFMODGeometry;
class ITembroFMODReverb3D;

// The engine system: the root of every other engine object. Operations are
// declared in slot order. Every returned wrapper is new (two reads give two
// wrappers with equal InternalHandle); wrappers of the master groups and of
// channels borrow their engine object, created objects are owned.
class ITembroFMODSystem : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODSystem;

  // The library's version number (0x00011008 is 1.10.08).
  virtual std::uint32_t GetVersion() const = 0;  // slot 5
  // The handle of the output in use, as the engine gives it.
  virtual void* GetOutputHandle() const = 0;                                   // slot 6
  virtual TTembroFMODPtr<ITembroFMODChannelGroup> GetMasterChannelGroup() const = 0;  // slot 7
  virtual TTembroFMODPtr<ITembroFMODSoundGroup> GetMasterSoundGroup() const = 0;      // slot 8
  virtual TTembroFMODChannelsPlaying GetChannelsPlaying() const = 0;          // slot 9
  virtual TTembroFMODCPUUsage GetCPUUsage() const = 0;                        // slot 10
  // The engine's file usage statistics (the name is kept as callers know it).
  virtual TTembroFMODFileUsage GetFileUsgae() const = 0;  // slot 11
  virtual TTembroFMODSoundRAM GetSoundRAM() const = 0;    // slot 12
  virtual std::int32_t GetNumDrivers() const = 0;         // slot 13
  virtual FMOD_OUTPUTTYPE GetOutput() const = 0;          // slot 14
  virtual void SetOutput(FMOD_OUTPUTTYPE AValue) = 0;     // slot 15
  virtual std::int32_t GetDriver() const = 0;             // slot 16
  virtual void SetDriver(std::int32_t AValue) = 0;        // slot 17
  virtual std::int32_t GetSoftwareChannels() const = 0;   // slot 18
  virtual void SetSoftwareChannels(std::int32_t AValue) = 0;                        // slot 19
  virtual TTembroFMODSoftwareFormat GetSoftwareFormat() const = 0;                  // slot 20
  virtual void SetSoftwareFormat(const TTembroFMODSoftwareFormat& AValue) = 0;      // slot 21
  virtual TTembroFMODDSPBufferSize GetDSPBufferSize() const = 0;                    // slot 22
  virtual void SetDSPBufferSize(const TTembroFMODDSPBufferSize& AValue) = 0;        // slot 23
  // The read presets cbSize to the record's size; the write hands the
  // caller's record over as it is (the caller fills cbSize).
  virtual FMOD_ADVANCEDSETTINGS GetAdvancedSettings() const = 0;                    // slot 24
  virtual void SetAdvancedSettings(const FMOD_ADVANCEDSETTINGS& AValue) = 0;        // slot 25
  virtual std::uint32_t GetOutputByPlugin() const = 0;                              // slot 26
  virtual void SetOutputByPlugin(std::uint32_t AValue) = 0;                         // slot 27
  virtual TTembroFMODStreamBufferSize GetStreamBufferSize() const = 0;              // slot 28
  virtual void SetStreamBufferSize(const TTembroFMODStreamBufferSize& AValue) = 0;  // slot 29
  virtual TTembroFMOD3DSettings Get3DSettings() const = 0;                          // slot 30
  virtual void Set3DSettings(const TTembroFMOD3DSettings& AValue) = 0;              // slot 31
  virtual std::int32_t Get3DNumListeners() const = 0;                               // slot 32
  virtual void Set3DNumListeners(std::int32_t AValue) = 0;                          // slot 33
  virtual void* GetUserData() const = 0;                                            // slot 34
  virtual void SetUserData(void* AValue) = 0;                                       // slot 35
  virtual TTembroFMODRecordNumDrivers GetRecordNumDrivers() const = 0;              // slot 36
  virtual float GetGeometrySettings() const = 0;                                    // slot 37
  virtual void SetGeometrySettings(float AValue) = 0;                               // slot 38
  virtual std::string GetNetworkProxy() const = 0;                                  // slot 39
  virtual void SetNetworkProxy(const std::string& AValue) = 0;                      // slot 40
  virtual std::int32_t GetNetworkTimeout() const = 0;                               // slot 41
  virtual void SetNetworkTimeout(std::int32_t AValue) = 0;                          // slot 42
  // Lets the engine do its periodic work.
  virtual void Update() = 0;  // slot 43
  // The output driver AIndex; its name goes to AName.
  virtual TTembroFMODDriverInfo GetDriverInfo(std::int32_t AIndex, std::string& AName) const = 0;  // slot 44
  virtual void SetPluginPath(const std::string& APath) = 0;                                       // slot 45
  // Loads a plugin file and answers the new plugin's handle.
  virtual std::uint32_t LoadPlugin(const std::string& AFilename, std::uint32_t APriority) = 0;  // slot 46
  virtual void UnloadPlugin(std::uint32_t AHandle) = 0;                                         // slot 47
  // The number of plugins nested in the plugin AHandle.
  virtual std::int32_t GetNestedPlugins(std::uint32_t AHandle) const = 0;                       // slot 48
  virtual std::uint32_t GetNestedPlugin(std::uint32_t AHandle, std::int32_t AIndex) const = 0;  // slot 49
  virtual std::int32_t GetNumPlugins(FMOD_PLUGINTYPE APluginType) const = 0;                    // slot 50
  virtual std::uint32_t GetPluginHandle(FMOD_PLUGINTYPE APluginType, std::int32_t AIndex) const = 0;  // slot 51
  // The plugin's type and version; its name goes to AName.
  virtual TTembroFMODPluginInfo GetPluginInfo(std::uint32_t AHandle, std::string& AName) const = 0;  // slot 52
  // A new DSP unit of the plugin AHandle; the wrapper owns it.
  virtual TTembroFMODPtr<ITembroFMODDSP> CreateDSPByPlugin(std::uint32_t AHandle) = 0;  // slot 53
  // The engine's own description record of the DSP plugin AHandle.
  virtual const FMOD_DSP_DESCRIPTION* GetDSPInfoByPlugin(std::uint32_t AHandle) const = 0;  // slot 54
  // Register a codec, DSP or output described by the caller and answer the
  // new plugin's handle. The engine gets a copy that lives for the call.
  virtual std::uint32_t RegisterCodec(const FMOD_CODEC_DESCRIPTION& ADescr, std::uint32_t APriority) = 0;  // slot 55
  virtual std::uint32_t RegisterDSP(const FMOD_DSP_DESCRIPTION& ADescr) = 0;        // slot 56
  virtual std::uint32_t RegisterOutput(const FMOD_OUTPUT_DESCRIPTION& ADescr) = 0;  // slot 57
  virtual TTembroFMODSpeakerPosition GetSpeakerPosition(FMOD_SPEAKER ASpeaker) const = 0;               // slot 58
  virtual void SetSpeakerPosition(FMOD_SPEAKER ASpeaker, const TTembroFMODSpeakerPosition& AValue) = 0;  // slot 59
  virtual TTembroFMOD3DListenerAttr Get3DListenerAttributes(std::int32_t AListener) const = 0;            // slot 60
  virtual void Set3DListenerAttributes(std::int32_t AListener, const TTembroFMOD3DListenerAttr& AValue) = 0;  // slot 61
  virtual void Set3DRolloffCallback(FMOD_3D_ROLLOFF_CALLBACK ACallback) = 0;  // slot 62
  virtual void MixerSuspend() = 0;                                            // slot 63
  virtual void MixerResume() = 0;                                             // slot 64
  // Writes the default matrix from ASourceSpeakerMode to ATargetSpeakerMode
  // into AMatrix, rows AMatrixHop floats apart; the caller sizes AMatrix.
  virtual void GetDefaultMixMatrix(FMOD_SPEAKERMODE ASourceSpeakerMode, FMOD_SPEAKERMODE ATargetSpeakerMode,
                                   std::int32_t AMatrixHop, float* AMatrix) const = 0;  // slot 65
  virtual std::int32_t GetSpeakerModeChannels(FMOD_SPEAKERMODE ASpeakerMode) const = 0;  // slot 66
  virtual TTembroFMODPtr<ITembroFMODSound> CreateSoundFromFile(const std::string& AFileName, FMOD_MODE AMode,
                                                               FMOD_CREATESOUNDEXINFO* AExInfo) = 0;  // slot 67
  // A sound streamed from AStream in place: the caller keeps the bytes alive
  // for as long as the sound lives.
  virtual TTembroFMODPtr<ITembroFMODSound> CreateSoundFromStream(std::span<const std::byte> AStream, FMOD_MODE AMode,
                                                                 FMOD_CREATESOUNDEXINFO* AExInfo) = 0;  // slot 68
  virtual TTembroFMODPtr<ITembroFMODDSP> CreateDSP(const FMOD_DSP_DESCRIPTION* ADescription) = 0;   // slot 69
  virtual TTembroFMODPtr<ITembroFMODDSP> CreateDSPByType(FMOD_DSP_TYPE AType) = 0;                   // slot 70
  virtual TTembroFMODPtr<ITembroFMODChannelGroup> CreateChannelGroup(const std::string& AName) = 0;  // slot 71
  virtual TTembroFMODPtr<ITembroFMODSoundGroup> CreateSoundGroup(const std::string& AName) = 0;      // slot 72
  virtual TTembroFMODPtr<ITembroFMODReverb3D> CreateReverb3D() = 0;                                  // slot 73
  // Play ASound (or ADSP) on the engine system that holds it, in
  // AChannelGroup (null: the master group). A null sound or DSP does
  // nothing; the WithChannel forms then answer null.
  virtual void PlaySound(const TTembroFMODPtr<ITembroFMODSound>& ASound,
                         const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) = 0;  // slot 74
  virtual TTembroFMODPtr<ITembroFMODChannel> PlaySoundWithChannel(
      const TTembroFMODPtr<ITembroFMODSound>& ASound, const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
      FMOD_BOOL APaused) = 0;  // slot 75
  virtual void PlayDSP(const TTembroFMODPtr<ITembroFMODDSP>& ADSP,
                       const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) = 0;  // slot 76
  virtual TTembroFMODPtr<ITembroFMODChannel> PlayDSPWithChannel(
      const TTembroFMODPtr<ITembroFMODDSP>& ADSP, const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
      FMOD_BOOL APaused) = 0;  // slot 77
  virtual TTembroFMODPtr<ITembroFMODChannel> GetChannel(std::int32_t AChannelId) const = 0;  // slot 78
  // A null group does nothing.
  virtual void AttachChannelGroupToPort(std::uint32_t APortType, std::uint64_t APortIndex,
                                        const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                        FMOD_BOOL APassThru) = 0;                                      // slot 79
  virtual void DetachChannelGroupFromPort(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup) = 0;  // slot 80
  virtual void SetReverbProperties(std::int32_t AInstance, const FMOD_REVERB_PROPERTIES& AProps) = 0;        // slot 81
  virtual FMOD_REVERB_PROPERTIES GetReverbProperties(std::int32_t AInstance) const = 0;                      // slot 82
  // The engine's lock on its DSP network; pairing is the caller's task.
  virtual void LockDSP() = 0;    // slot 83
  virtual void UnlockDSP() = 0;  // slot 84
  // The recording driver ADriverId; its name goes to AName.
  virtual TTembroFMODRecordDriverInfo GetRecordDriverInfo(std::int32_t ADriverId, std::string& AName) const = 0;  // slot 85
  virtual std::uint32_t GetRecordPosition(std::int32_t ADriverId) const = 0;  // slot 86
  // A null sound does nothing.
  virtual void RecordStart(std::int32_t ADriverId, const TTembroFMODPtr<ITembroFMODSound>& ASound,
                           FMOD_BOOL ALoop) = 0;                   // slot 87
  virtual void RecordStop(std::int32_t ADriverId) = 0;             // slot 88
  virtual FMOD_BOOL IsRecording(std::int32_t ADriverId) const = 0;  // slot 89
  virtual TTembroFMODPtr<ITembroFMODGeometry> CreateGeometry(std::int32_t AMaxPolygons,
                                                             std::int32_t AMaxVertices) = 0;                  // slot 90
  virtual TTembroFMODPtr<ITembroFMODGeometry> LoadGeometry(const void* AData, std::int32_t ADatasize) = 0;  // slot 91
  virtual TTembroFMODGeometryOcclusion GetGeometryOcclusion(const TPoint3D& AListener,
                                                            const TPoint3D& ASource) const = 0;  // slot 92

protected:
  ~ITembroFMODSystem() = default;
};

using ITembroFMODSystemPtr = TTembroFMODPtr<ITembroFMODSystem>;

}  // namespace Tembro::Audio::FMOD
