// The interfaces of the DSP unit's and the DSP connection's wrappers.
#pragma once

#include <cstdint>
#include <string>

#include "Tembro.Audio.FMOD.Custom.h"
#include "Tembro.Audio.FMOD.Intf.DSP.Records.h"
#include "Tembro.Audio.FMOD.Intf.Records.h"
#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.DSP.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace Tembro::Audio::FMOD {

class ITembroFMODChannel;
class ITembroFMODChannelGroup;
class ITembroFMODDSPConnection;

// One engine DSP unit: a node of the engine's signal-processing graph.
// Operations are declared in slot order.
class ITembroFMODDSP : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODDSP;

  virtual std::int32_t GetNumInputs() const = 0;                                  // slot 5
  virtual std::int32_t GetNumOutputs() const = 0;                                 // slot 6
  virtual FMOD_BOOL GetActive() const = 0;                                        // slot 7
  virtual void SetActive(FMOD_BOOL AValue) = 0;                                   // slot 8
  virtual FMOD_BOOL GetBypass() const = 0;                                        // slot 9
  virtual void SetBypass(FMOD_BOOL AValue) = 0;                                   // slot 10
  virtual TTembroFMODWetDryMix GetWetDryMix() const = 0;                          // slot 11
  virtual void SetWetDryMix(const TTembroFMODWetDryMix& AValue) = 0;              // slot 12
  virtual TTembroFMODChannelFormat GetChannelFormat() const = 0;                  // slot 13
  virtual void SetChannelFormat(const TTembroFMODChannelFormat& AValue) = 0;      // slot 14
  virtual std::int32_t GetNumParameters() const = 0;                              // slot 15
  virtual FMOD_DSP_TYPE GetType() const = 0;                                      // slot 16
  virtual FMOD_BOOL GetIdle() const = 0;                                          // slot 17
  virtual void* GetUserData() const = 0;                                          // slot 18
  virtual void SetUserData(void* AValue) = 0;                                     // slot 19

  // Plays the unit on a new channel in AChannelGroup (null: the master
  // group), through the engine system that owns the unit.
  virtual void Play(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) = 0;  // slot 20
  // As Play, and returns the channel.
  virtual TTembroFMODPtr<ITembroFMODChannel> PlayWithChannel(
      const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) = 0;  // slot 21

  // Connects AInput (required) as an input of this unit and hands out the
  // new connection in AConnection, which is cleared first: a failed call
  // leaves it null.
  virtual void AddInput(const TTembroFMODPtr<ITembroFMODDSP>& AInput,
                        TTembroFMODPtr<ITembroFMODDSPConnection>& AConnection,
                        FMOD_DSPCONNECTION_TYPE AType) = 0;  // slot 22
  // Removes the connection AConnection to ATarget; both are required.
  virtual void DisconnectFrom(const TTembroFMODPtr<ITembroFMODDSP>& ATarget,
                              const TTembroFMODPtr<ITembroFMODDSPConnection>& AConnection) = 0;  // slot 23
  virtual void DisconnectAll(FMOD_BOOL AInputs, FMOD_BOOL AOutputs) = 0;  // slot 24
  // The input (output) unit at AIndex and its connection. Both are cleared
  // first, so a failed call leaves them null. The wrappers borrow the engine
  // objects: the graph still holds them.
  virtual void GetInput(std::int32_t AIndex, TTembroFMODPtr<ITembroFMODDSP>& AInput,
                        TTembroFMODPtr<ITembroFMODDSPConnection>& AInputConnection) = 0;  // slot 25
  virtual void GetOutput(std::int32_t AIndex, TTembroFMODPtr<ITembroFMODDSP>& AOutput,
                         TTembroFMODPtr<ITembroFMODDSPConnection>& AOutputConnection) = 0;  // slot 26
  // The format the unit produces for the given input format.
  virtual TTembroFMODChannelFormat GetOutputChannelFormat(std::uint32_t AInMask, std::int32_t AInChannels,
                                                          FMOD_SPEAKERMODE AInSpeakerMode) const = 0;  // slot 27
  virtual TTembroFMODChannelFormat GetOutputChannelFormat(
      const TTembroFMODChannelFormat& AInputChannelFormat) const = 0;  // slot 28
  virtual void Reset() = 0;  // slot 29

  virtual void SetParameterFloat(std::int32_t AIndex, float AValue) = 0;                           // slot 30
  virtual void SetParameterInt(std::int32_t AIndex, std::int32_t AValue) = 0;                      // slot 31
  virtual void SetParameterBool(std::int32_t AIndex, FMOD_BOOL AValue) = 0;                        // slot 32
  virtual void SetParameterData(std::int32_t AIndex, void* AData, std::uint32_t ALength) = 0;      // slot 33
  // The parameter's value and its text as the engine shows it (at most 32
  // bytes, trimmed of blanks and control characters at both ends). On an
  // engine failure AValueStr is left as it was.
  virtual void GetParameterFloat(std::int32_t AIndex, float& AValue, std::string& AValueStr) const = 0;  // slot 34
  virtual void GetParameterInt(std::int32_t AIndex, std::int32_t& AValue,
                               std::string& AValueStr) const = 0;  // slot 35
  virtual void GetParameterBool(std::int32_t AIndex, FMOD_BOOL& AValue,
                                std::string& AValueStr) const = 0;  // slot 36
  virtual void GetParameterData(std::int32_t AIndex, void*& AData, std::uint32_t& ALength,
                                std::string& AValueStr) const = 0;  // slot 37
  // The engine's own description of parameter AIndex, stored in ADesc.
  virtual void GetParameterInfo(std::int32_t AIndex, FMOD_DSP_PARAMETER_DESC*& ADesc) const = 0;  // slot 38
  // The index of the first parameter of data type ADatatype, or -1 when the
  // unit has none.
  virtual std::int32_t GetDataParameterIndex(std::int32_t ADatatype) const = 0;  // slot 39
  virtual void ShowConfigDialog(void* AHWND, FMOD_BOOL AShow) = 0;               // slot 40
  // The unit's version, channels and configuration dialog size; its name
  // goes to AName.
  virtual TTembroFMODDSPInfo GetInfo(std::string& AName) const = 0;  // slot 41

  virtual void SetMeteringEnabled(FMOD_BOOL AInputEnabled, FMOD_BOOL AOutputEnabled) = 0;               // slot 42
  virtual void GetMeteringEnabled(FMOD_BOOL& AInputEnabled, FMOD_BOOL& AOutputEnabled) const = 0;       // slot 43
  virtual void GetMeteringInfo(FMOD_DSP_METERING_INFO& AInputInfo,
                               FMOD_DSP_METERING_INFO& AOutputInfo) const = 0;  // slot 44

protected:
  ~ITembroFMODDSP() = default;
};

using ITembroFMODDSPPtr = TTembroFMODPtr<ITembroFMODDSP>;

// One engine connection between two DSP units. Operations are declared in
// slot order; SystemObject answers null.
class ITembroFMODDSPConnection : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODDSPConnection;

  // The units at either end. The wrappers borrow them: the graph holds them.
  virtual ITembroFMODDSPPtr GetInput() const = 0;   // slot 5
  virtual ITembroFMODDSPPtr GetOutput() const = 0;  // slot 6
  virtual float GetMix() const = 0;                 // slot 7
  virtual void SetMix(float AValue) = 0;            // slot 8
  // The connection's matrix; InChannel_Hop comes back 0. A matrix of more
  // coefficients than the record holds is refused with the engine's
  // invalid-parameter error, on reading and on writing.
  virtual TTembroFMODMixMatrix GetMixMatrix() const = 0;            // slot 9
  virtual void SetMixMatrix(const TTembroFMODMixMatrix& AValue) = 0;  // slot 10
  virtual FMOD_DSPCONNECTION_TYPE GetType() const = 0;             // slot 11
  virtual void* GetUserData() const = 0;                             // slot 12
  virtual void SetUserData(void* AValue) = 0;                        // slot 13

protected:
  ~ITembroFMODDSPConnection() = default;
};

using ITembroFMODDSPConnectionPtr = TTembroFMODPtr<ITembroFMODDSPConnection>;

}  // namespace Tembro::Audio::FMOD
