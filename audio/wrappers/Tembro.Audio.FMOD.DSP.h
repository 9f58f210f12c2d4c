// The wrappers of the engine's DSP unit and DSP connection.
#pragma once

#include <cstdint>
#include <string>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.DSP.h"
#include "Tembro.Audio.FMOD.Lib.API.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODSystem;

// One engine DSP unit. A unit the wrapper created (CreateFromDescription,
// CreateFromType, or one whose ownership a plugin creation handed over) is
// owned and released when the last reference goes; a unit reached through
// the graph (GetInput, GetOutput, a connection's ends, a channel's chain) is
// borrowed and left alone.
//
//   ITembroFMODDSPPtr Echo = TTembroFMODDSP::CreateFromType(System, FMOD_DSP_TYPE_ECHO);
//   Echo->SetParameterFloat(0, 250.0f);
//   float Delay = 0;
//   std::string Text;
//   Echo->GetParameterFloat(0, Delay, Text);  // Text: "250.00" or so
//   Echo->Play(nullptr, false);
class TTembroFMODDSP : public TTembroFMODObject<ITembroFMODDSP, FMOD_DSP> {
public:
  // Bytes of the buffer that receives a parameter's value text, and of the
  // one that receives the unit's name.
  static constexpr int ValueStrLength = 32;
  static constexpr int NameLength = 32;

  explicit TTembroFMODDSP(FMOD_DSP* AHandle, TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;
  // Releases the engine unit when the wrapper owns it; the result is ignored.
  ~TTembroFMODDSP() override;

  // A new engine unit made by ASystem (required) from ADescription, owned.
  static ITembroFMODDSPPtr CreateFromDescription(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                 const FMOD_DSP_DESCRIPTION* ADescription);
  // A new engine unit of the built-in type AType, owned.
  static ITembroFMODDSPPtr CreateFromType(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, FMOD_DSP_TYPE AType);

  void* GetSystemObject() const override;  // FMOD_DSP_GetSystemObject

  std::int32_t GetNumInputs() const override;
  std::int32_t GetNumOutputs() const override;
  FMOD_BOOL GetActive() const override;
  void SetActive(FMOD_BOOL AValue) override;
  FMOD_BOOL GetBypass() const override;
  void SetBypass(FMOD_BOOL AValue) override;
  TTembroFMODWetDryMix GetWetDryMix() const override;
  void SetWetDryMix(const TTembroFMODWetDryMix& AValue) override;
  TTembroFMODChannelFormat GetChannelFormat() const override;
  void SetChannelFormat(const TTembroFMODChannelFormat& AValue) override;
  std::int32_t GetNumParameters() const override;
  FMOD_DSP_TYPE GetType() const override;
  FMOD_BOOL GetIdle() const override;
  void* GetUserData() const override;
  void SetUserData(void* AValue) override;
  void Play(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) override;
  TTembroFMODPtr<ITembroFMODChannel> PlayWithChannel(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup,
                                                     FMOD_BOOL APaused) override;
  void AddInput(const ITembroFMODDSPPtr& AInput, ITembroFMODDSPConnectionPtr& AConnection,
                FMOD_DSPCONNECTION_TYPE AType) override;
  void DisconnectFrom(const ITembroFMODDSPPtr& ATarget, const ITembroFMODDSPConnectionPtr& AConnection) override;
  void DisconnectAll(FMOD_BOOL AInputs, FMOD_BOOL AOutputs) override;
  void GetInput(std::int32_t AIndex, ITembroFMODDSPPtr& AInput, ITembroFMODDSPConnectionPtr& AInputConnection) override;
  void GetOutput(std::int32_t AIndex, ITembroFMODDSPPtr& AOutput,
                 ITembroFMODDSPConnectionPtr& AOutputConnection) override;
  TTembroFMODChannelFormat GetOutputChannelFormat(std::uint32_t AInMask, std::int32_t AInChannels,
                                                  FMOD_SPEAKERMODE AInSpeakerMode) const override;
  TTembroFMODChannelFormat GetOutputChannelFormat(const TTembroFMODChannelFormat& AInputChannelFormat) const override;
  void Reset() override;
  void SetParameterFloat(std::int32_t AIndex, float AValue) override;
  void SetParameterInt(std::int32_t AIndex, std::int32_t AValue) override;
  void SetParameterBool(std::int32_t AIndex, FMOD_BOOL AValue) override;
  void SetParameterData(std::int32_t AIndex, void* AData, std::uint32_t ALength) override;
  void GetParameterFloat(std::int32_t AIndex, float& AValue, std::string& AValueStr) const override;
  void GetParameterInt(std::int32_t AIndex, std::int32_t& AValue, std::string& AValueStr) const override;
  void GetParameterBool(std::int32_t AIndex, FMOD_BOOL& AValue, std::string& AValueStr) const override;
  void GetParameterData(std::int32_t AIndex, void*& AData, std::uint32_t& ALength,
                        std::string& AValueStr) const override;
  void GetParameterInfo(std::int32_t AIndex, FMOD_DSP_PARAMETER_DESC*& ADesc) const override;
  std::int32_t GetDataParameterIndex(std::int32_t ADatatype) const override;
  void ShowConfigDialog(void* AHWND, FMOD_BOOL AShow) override;
  TTembroFMODDSPInfo GetInfo(std::string& AName) const override;
  void SetMeteringEnabled(FMOD_BOOL AInputEnabled, FMOD_BOOL AOutputEnabled) override;
  void GetMeteringEnabled(FMOD_BOOL& AInputEnabled, FMOD_BOOL& AOutputEnabled) const override;
  void GetMeteringInfo(FMOD_DSP_METERING_INFO& AInputInfo, FMOD_DSP_METERING_INFO& AOutputInfo) const override;
};

// One engine connection between two DSP units. The engine ends connections
// itself (on disconnecting), so the wrapper never releases anything, whatever
// its ownership says.
class TTembroFMODDSPConnection : public TTembroFMODObject<ITembroFMODDSPConnection, FMOD_DSPCONNECTION> {
public:
  // Coefficients the mix-matrix record holds.
  static constexpr int MatrixCapacity = TTembroFMODMixMatrix::Capacity;

  explicit TTembroFMODDSPConnection(FMOD_DSPCONNECTION* AHandle,
                                    TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept;

  ITembroFMODDSPPtr GetInput() const override;
  ITembroFMODDSPPtr GetOutput() const override;
  float GetMix() const override;
  void SetMix(float AValue) override;
  TTembroFMODMixMatrix GetMixMatrix() const override;
  void SetMixMatrix(const TTembroFMODMixMatrix& AValue) override;
  FMOD_DSPCONNECTION_TYPE GetType() const override;
  void* GetUserData() const override;
  void SetUserData(void* AValue) override;
};

}  // namespace Tembro::Audio::FMOD
