#include "Tembro.Audio.FMOD.DSP.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Channel.h"
#include "Tembro.Audio.FMOD.Intf.ChannelGroup.h"
#include "Tembro.Audio.FMOD.Intf.System.h"
#include "Tembro.Audio.FMOD.Strings.h"

namespace Tembro::Audio::FMOD {

using namespace Lib;

namespace {

// Refuses a missing object argument before its handle is taken.
template <typename TInterface>
void RequireObject(const TTembroFMODPtr<TInterface>& AObject, const char* AOperation, const char* AArgName) {
  if (!AObject) throw std::invalid_argument(std::string(AOperation) + ": " + AArgName + " is null");
}

template <typename THandle, typename TInterface>
THandle* HandleOf(const TTembroFMODPtr<TInterface>& AObject) {
  return static_cast<THandle*>(AObject->GetInternalHandle());
}

FMOD_SYSTEM* SystemHandle(const TTembroFMODPtr<ITembroFMODSystem>& ASystem, const char* AOperation) {
  RequireObject(ASystem, AOperation, "ASystem");
  return HandleOf<FMOD_SYSTEM>(ASystem);
}

// Calls one of the parameter getters with a zero-filled value-text buffer
// and, when the engine succeeded, hands the trimmed text to AValueStr.
template <typename TCall>
void GetParameterWithText(std::string& AValueStr, TCall ACall) {
  std::array<char, TTembroFMODDSP::ValueStrLength> Buffer{};
  CheckFMODResult(ACall(Buffer.data(), TTembroFMODDSP::ValueStrLength));
  AValueStr = FromEngineBuffer(Buffer.data(), Buffer.size());
}

}  // namespace

// ---------------------------------------------------------------------------
// TTembroFMODDSP

TTembroFMODDSP::TTembroFMODDSP(FMOD_DSP* AHandle, TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

TTembroFMODDSP::~TTembroFMODDSP() {
  if (!OwnsEngineObject()) return;
  // The result is ignored; a release through an empty table slot raises,
  // which a destructor reports instead of letting out.
  try {
    static_cast<void>(FMOD_DSP_Release(FHandle));
  } catch (const std::exception& E) {
    ReportTembroFMODError(E.what());
  }
}

ITembroFMODDSPPtr TTembroFMODDSP::CreateFromDescription(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                        const FMOD_DSP_DESCRIPTION* ADescription) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "CreateFromDescription");
  FMOD_DSP* DSP = nullptr;
  CheckFMODResult(FMOD_System_CreateDSP(System, ADescription, &DSP));
  return ITembroFMODDSPPtr(new TTembroFMODDSP(DSP, TTembroFMODOwnership::Owned));
}

ITembroFMODDSPPtr TTembroFMODDSP::CreateFromType(const TTembroFMODPtr<ITembroFMODSystem>& ASystem,
                                                 FMOD_DSP_TYPE AType) {
  FMOD_SYSTEM* System = SystemHandle(ASystem, "CreateFromType");
  FMOD_DSP* DSP = nullptr;
  CheckFMODResult(FMOD_System_CreateDSPByType(System, AType, &DSP));
  return ITembroFMODDSPPtr(new TTembroFMODDSP(DSP, TTembroFMODOwnership::Owned));
}

// FMOD_DSP_GetSystemObject
void* TTembroFMODDSP::GetSystemObject() const {
  FMOD_SYSTEM* System = nullptr;
  CheckFMODResult(FMOD_DSP_GetSystemObject(FHandle, &System));
  return System;
}

// FMOD_DSP_GetNumInputs
std::int32_t TTembroFMODDSP::GetNumInputs() const {
  int Value = 0;
  CheckFMODResult(FMOD_DSP_GetNumInputs(FHandle, &Value));
  return Value;
}

// FMOD_DSP_GetNumOutputs
std::int32_t TTembroFMODDSP::GetNumOutputs() const {
  int Value = 0;
  CheckFMODResult(FMOD_DSP_GetNumOutputs(FHandle, &Value));
  return Value;
}

// FMOD_DSP_GetActive
FMOD_BOOL TTembroFMODDSP::GetActive() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(FMOD_DSP_GetActive(FHandle, &Value));
  return Value;
}

// FMOD_DSP_SetActive
void TTembroFMODDSP::SetActive(FMOD_BOOL AValue) { CheckFMODResult(FMOD_DSP_SetActive(FHandle, AValue)); }

// FMOD_DSP_GetBypass
FMOD_BOOL TTembroFMODDSP::GetBypass() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(FMOD_DSP_GetBypass(FHandle, &Value));
  return Value;
}

// FMOD_DSP_SetBypass
void TTembroFMODDSP::SetBypass(FMOD_BOOL AValue) { CheckFMODResult(FMOD_DSP_SetBypass(FHandle, AValue)); }

// FMOD_DSP_GetWetDryMix
TTembroFMODWetDryMix TTembroFMODDSP::GetWetDryMix() const {
  TTembroFMODWetDryMix Result{};
  CheckFMODResult(FMOD_DSP_GetWetDryMix(FHandle, &Result.PreWet, &Result.PostWet, &Result.Dry));
  return Result;
}

// FMOD_DSP_SetWetDryMix
void TTembroFMODDSP::SetWetDryMix(const TTembroFMODWetDryMix& AValue) {
  CheckFMODResult(FMOD_DSP_SetWetDryMix(FHandle, AValue.PreWet, AValue.PostWet, AValue.Dry));
}

// FMOD_DSP_GetChannelFormat
TTembroFMODChannelFormat TTembroFMODDSP::GetChannelFormat() const {
  TTembroFMODChannelFormat Result{};
  CheckFMODResult(
      FMOD_DSP_GetChannelFormat(FHandle, &Result.ChannelMask, &Result.NumChannels, &Result.Source_Speakermode));
  return Result;
}

// FMOD_DSP_SetChannelFormat
void TTembroFMODDSP::SetChannelFormat(const TTembroFMODChannelFormat& AValue) {
  CheckFMODResult(FMOD_DSP_SetChannelFormat(FHandle, AValue.ChannelMask, AValue.NumChannels, AValue.Source_Speakermode));
}

// FMOD_DSP_GetNumParameters
std::int32_t TTembroFMODDSP::GetNumParameters() const {
  int Value = 0;
  CheckFMODResult(FMOD_DSP_GetNumParameters(FHandle, &Value));
  return Value;
}

// FMOD_DSP_GetType
FMOD_DSP_TYPE TTembroFMODDSP::GetType() const {
  FMOD_DSP_TYPE Value{};
  CheckFMODResult(FMOD_DSP_GetType(FHandle, &Value));
  return Value;
}

// FMOD_DSP_GetIdle
FMOD_BOOL TTembroFMODDSP::GetIdle() const {
  FMOD_BOOL Value = 0;
  CheckFMODResult(FMOD_DSP_GetIdle(FHandle, &Value));
  return Value;
}

// FMOD_DSP_GetUserData
void* TTembroFMODDSP::GetUserData() const {
  void* Value = nullptr;
  CheckFMODResult(FMOD_DSP_GetUserData(FHandle, &Value));
  return Value;
}

// FMOD_DSP_SetUserData
void TTembroFMODDSP::SetUserData(void* AValue) { CheckFMODResult(FMOD_DSP_SetUserData(FHandle, AValue)); }

// FMOD_System_PlayDSP, through the system that owns the unit, keeping no
// channel.
void TTembroFMODDSP::Play(const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) {
  FMOD_CHANNELGROUP* Group = AChannelGroup ? HandleOf<FMOD_CHANNELGROUP>(AChannelGroup) : nullptr;
  auto* System = static_cast<FMOD_SYSTEM*>(GetSystemObject());
  CheckFMODResult(FMOD_System_PlayDSP(System, FHandle, Group, APaused, nullptr));
}

// FMOD_System_PlayDSP, returning the new channel.
TTembroFMODPtr<ITembroFMODChannel> TTembroFMODDSP::PlayWithChannel(
    const TTembroFMODPtr<ITembroFMODChannelGroup>& AChannelGroup, FMOD_BOOL APaused) {
  FMOD_CHANNELGROUP* Group = AChannelGroup ? HandleOf<FMOD_CHANNELGROUP>(AChannelGroup) : nullptr;
  auto* System = static_cast<FMOD_SYSTEM*>(GetSystemObject());
  FMOD_CHANNEL* Channel = nullptr;
  CheckFMODResult(FMOD_System_PlayDSP(System, FHandle, Group, APaused, &Channel));
  return TTembroFMODPtr<ITembroFMODChannel>(new TTembroFMODChannel(Channel));
}

// FMOD_DSP_AddInput. The engine ends the connection when the units are
// disconnected, so the connection's wrapper releases nothing.
void TTembroFMODDSP::AddInput(const ITembroFMODDSPPtr& AInput, ITembroFMODDSPConnectionPtr& AConnection,
                              FMOD_DSPCONNECTION_TYPE AType) {
  AConnection = nullptr;
  RequireObject(AInput, "AddInput", "AInput");
  FMOD_DSPCONNECTION* Connection = nullptr;
  CheckFMODResult(FMOD_DSP_AddInput(FHandle, HandleOf<FMOD_DSP>(AInput), &Connection, AType));
  AConnection = ITembroFMODDSPConnectionPtr(new TTembroFMODDSPConnection(Connection, TTembroFMODOwnership::Borrowed));
}

// FMOD_DSP_DisconnectFrom
void TTembroFMODDSP::DisconnectFrom(const ITembroFMODDSPPtr& ATarget, const ITembroFMODDSPConnectionPtr& AConnection) {
  RequireObject(ATarget, "DisconnectFrom", "ATarget");
  RequireObject(AConnection, "DisconnectFrom", "AConnection");
  CheckFMODResult(
      FMOD_DSP_DisconnectFrom(FHandle, HandleOf<FMOD_DSP>(ATarget), HandleOf<FMOD_DSPCONNECTION>(AConnection)));
}

// FMOD_DSP_DisconnectAll
void TTembroFMODDSP::DisconnectAll(FMOD_BOOL AInputs, FMOD_BOOL AOutputs) {
  CheckFMODResult(FMOD_DSP_DisconnectAll(FHandle, AInputs, AOutputs));
}

// FMOD_DSP_GetInput. The unit and the connection belong to the graph: both
// wrappers borrow them.
void TTembroFMODDSP::GetInput(std::int32_t AIndex, ITembroFMODDSPPtr& AInput,
                              ITembroFMODDSPConnectionPtr& AInputConnection) {
  AInput = nullptr;
  AInputConnection = nullptr;
  FMOD_DSP* Input = nullptr;
  FMOD_DSPCONNECTION* Connection = nullptr;
  CheckFMODResult(FMOD_DSP_GetInput(FHandle, AIndex, &Input, &Connection));
  AInput = ITembroFMODDSPPtr(new TTembroFMODDSP(Input, TTembroFMODOwnership::Borrowed));
  AInputConnection = ITembroFMODDSPConnectionPtr(new TTembroFMODDSPConnection(Connection, TTembroFMODOwnership::Borrowed));
}

// FMOD_DSP_GetOutput, borrowing as GetInput does.
void TTembroFMODDSP::GetOutput(std::int32_t AIndex, ITembroFMODDSPPtr& AOutput,
                               ITembroFMODDSPConnectionPtr& AOutputConnection) {
  AOutput = nullptr;
  AOutputConnection = nullptr;
  FMOD_DSP* Output = nullptr;
  FMOD_DSPCONNECTION* Connection = nullptr;
  CheckFMODResult(FMOD_DSP_GetOutput(FHandle, AIndex, &Output, &Connection));
  AOutput = ITembroFMODDSPPtr(new TTembroFMODDSP(Output, TTembroFMODOwnership::Borrowed));
  AOutputConnection =
      ITembroFMODDSPConnectionPtr(new TTembroFMODDSPConnection(Connection, TTembroFMODOwnership::Borrowed));
}

// FMOD_DSP_GetOutputChannelFormat
TTembroFMODChannelFormat TTembroFMODDSP::GetOutputChannelFormat(std::uint32_t AInMask, std::int32_t AInChannels,
                                                                FMOD_SPEAKERMODE AInSpeakerMode) const {
  TTembroFMODChannelFormat Result{};
  CheckFMODResult(FMOD_DSP_GetOutputChannelFormat(FHandle, AInMask, AInChannels, AInSpeakerMode, &Result.ChannelMask,
                                                  &Result.NumChannels, &Result.Source_Speakermode));
  return Result;
}

// FMOD_DSP_GetOutputChannelFormat, the input format given as one record.
TTembroFMODChannelFormat TTembroFMODDSP::GetOutputChannelFormat(
    const TTembroFMODChannelFormat& AInputChannelFormat) const {
  return GetOutputChannelFormat(AInputChannelFormat.ChannelMask, AInputChannelFormat.NumChannels,
                                AInputChannelFormat.Source_Speakermode);
}

// FMOD_DSP_Reset
void TTembroFMODDSP::Reset() { CheckFMODResult(FMOD_DSP_Reset(FHandle)); }

// FMOD_DSP_SetParameterFloat
void TTembroFMODDSP::SetParameterFloat(std::int32_t AIndex, float AValue) {
  CheckFMODResult(FMOD_DSP_SetParameterFloat(FHandle, AIndex, AValue));
}

// FMOD_DSP_SetParameterInt
void TTembroFMODDSP::SetParameterInt(std::int32_t AIndex, std::int32_t AValue) {
  CheckFMODResult(FMOD_DSP_SetParameterInt(FHandle, AIndex, AValue));
}

// FMOD_DSP_SetParameterBool
void TTembroFMODDSP::SetParameterBool(std::int32_t AIndex, FMOD_BOOL AValue) {
  CheckFMODResult(FMOD_DSP_SetParameterBool(FHandle, AIndex, AValue));
}

// FMOD_DSP_SetParameterData
void TTembroFMODDSP::SetParameterData(std::int32_t AIndex, void* AData, std::uint32_t ALength) {
  CheckFMODResult(FMOD_DSP_SetParameterData(FHandle, AIndex, AData, ALength));
}

// FMOD_DSP_GetParameterFloat
void TTembroFMODDSP::GetParameterFloat(std::int32_t AIndex, float& AValue, std::string& AValueStr) const {
  GetParameterWithText(AValueStr, [&](char* ABuffer, int ALength) {
    return FMOD_DSP_GetParameterFloat(FHandle, AIndex, &AValue, ABuffer, ALength);
  });
}

// FMOD_DSP_GetParameterInt
void TTembroFMODDSP::GetParameterInt(std::int32_t AIndex, std::int32_t& AValue, std::string& AValueStr) const {
  GetParameterWithText(AValueStr, [&](char* ABuffer, int ALength) {
    return FMOD_DSP_GetParameterInt(FHandle, AIndex, &AValue, ABuffer, ALength);
  });
}

// FMOD_DSP_GetParameterBool
void TTembroFMODDSP::GetParameterBool(std::int32_t AIndex, FMOD_BOOL& AValue, std::string& AValueStr) const {
  GetParameterWithText(AValueStr, [&](char* ABuffer, int ALength) {
    return FMOD_DSP_GetParameterBool(FHandle, AIndex, &AValue, ABuffer, ALength);
  });
}

// FMOD_DSP_GetParameterData
void TTembroFMODDSP::GetParameterData(std::int32_t AIndex, void*& AData, std::uint32_t& ALength,
                                      std::string& AValueStr) const {
  GetParameterWithText(AValueStr, [&](char* ABuffer, int ABufferLength) {
    return FMOD_DSP_GetParameterData(FHandle, AIndex, &AData, &ALength, ABuffer, ABufferLength);
  });
}

// FMOD_DSP_GetParameterInfo
void TTembroFMODDSP::GetParameterInfo(std::int32_t AIndex, FMOD_DSP_PARAMETER_DESC*& ADesc) const {
  CheckFMODResult(FMOD_DSP_GetParameterInfo(FHandle, AIndex, &ADesc));
}

// FMOD_DSP_GetDataParameterIndex. A unit without a parameter of that data
// type answers the invalid-parameter result, which is not a failure here.
std::int32_t TTembroFMODDSP::GetDataParameterIndex(std::int32_t ADatatype) const {
  int Index = 0;
  const FMOD_RESULT Result = FMOD_DSP_GetDataParameterIndex(FHandle, ADatatype, &Index);
  if (Result == FMOD_ERR_INVALID_PARAM) return -1;
  CheckFMODResult(Result);
  return Index;
}

// FMOD_DSP_ShowConfigDialog
void TTembroFMODDSP::ShowConfigDialog(void* AHWND, FMOD_BOOL AShow) {
  CheckFMODResult(FMOD_DSP_ShowConfigDialog(FHandle, AHWND, AShow));
}

// FMOD_DSP_GetInfo. The engine writes the name into a zero-filled buffer
// of the wrapper's own; the record's Name is left null, since that buffer
// is gone when the call returns.
TTembroFMODDSPInfo TTembroFMODDSP::GetInfo(std::string& AName) const {
  TTembroFMODDSPInfo Result{};
  std::array<char, NameLength + 1> Name{};  // one more zero than the engine may write
  CheckFMODResult(FMOD_DSP_GetInfo(FHandle, Name.data(), &Result.Version, &Result.Channels, &Result.ConfigWidth,
                                   &Result.ConfigHeight));
  AName = FromEngineBuffer(Name.data(), Name.size());
  return Result;
}

// FMOD_DSP_SetMeteringEnabled
void TTembroFMODDSP::SetMeteringEnabled(FMOD_BOOL AInputEnabled, FMOD_BOOL AOutputEnabled) {
  CheckFMODResult(FMOD_DSP_SetMeteringEnabled(FHandle, AInputEnabled, AOutputEnabled));
}

// FMOD_DSP_GetMeteringEnabled
void TTembroFMODDSP::GetMeteringEnabled(FMOD_BOOL& AInputEnabled, FMOD_BOOL& AOutputEnabled) const {
  CheckFMODResult(FMOD_DSP_GetMeteringEnabled(FHandle, &AInputEnabled, &AOutputEnabled));
}

// FMOD_DSP_GetMeteringInfo
void TTembroFMODDSP::GetMeteringInfo(FMOD_DSP_METERING_INFO& AInputInfo, FMOD_DSP_METERING_INFO& AOutputInfo) const {
  CheckFMODResult(FMOD_DSP_GetMeteringInfo(FHandle, &AInputInfo, &AOutputInfo));
}

// ---------------------------------------------------------------------------
// TTembroFMODDSPConnection

namespace {

// The number of coefficients the engine touches for a matrix of AOut rows of
// AIn coefficients laid out AHop apart (AHop 0: AIn apart).
long long MatrixExtent(int AOut, int AIn, int AHop) {
  if (AOut <= 0 || AIn <= 0) return 0;
  const long long Width = AHop != 0 ? AHop : AIn;
  return (AOut - 1) * Width + AIn;
}

// A matrix shape no engine reads safely: negative counts or hop, or a hop
// narrower than a row.
bool MalformedMatrix(int AOut, int AIn, int AHop) {
  return AOut < 0 || AIn < 0 || AHop < 0 || (AHop != 0 && AHop < AIn);
}

}  // namespace

TTembroFMODDSPConnection::TTembroFMODDSPConnection(FMOD_DSPCONNECTION* AHandle,
                                                   TTembroFMODOwnership AOwnership) noexcept
    : TTembroFMODObject(AHandle, AOwnership) {}

// FMOD_DSPConnection_GetInput: the unit belongs to the graph and is borrowed.
ITembroFMODDSPPtr TTembroFMODDSPConnection::GetInput() const {
  FMOD_DSP* Input = nullptr;
  CheckFMODResult(FMOD_DSPConnection_GetInput(FHandle, &Input));
  return ITembroFMODDSPPtr(new TTembroFMODDSP(Input, TTembroFMODOwnership::Borrowed));
}

// FMOD_DSPConnection_GetOutput: borrowed as GetInput.
ITembroFMODDSPPtr TTembroFMODDSPConnection::GetOutput() const {
  FMOD_DSP* Output = nullptr;
  CheckFMODResult(FMOD_DSPConnection_GetOutput(FHandle, &Output));
  return ITembroFMODDSPPtr(new TTembroFMODDSP(Output, TTembroFMODOwnership::Borrowed));
}

// FMOD_DSPConnection_GetMix
float TTembroFMODDSPConnection::GetMix() const {
  float Value = 0;
  CheckFMODResult(FMOD_DSPConnection_GetMix(FHandle, &Value));
  return Value;
}

// FMOD_DSPConnection_SetMix
void TTembroFMODDSPConnection::SetMix(float AValue) { CheckFMODResult(FMOD_DSPConnection_SetMix(FHandle, AValue)); }

// FMOD_DSPConnection_GetMixMatrix. The engine does not know how much room
// the record has, so it writes into a buffer wide enough for any matrix it
// can hold; a matrix larger than the record is refused.
TTembroFMODMixMatrix TTembroFMODDSPConnection::GetMixMatrix() const {
  TTembroFMODMixMatrix Result{};
  Result.InChannel_Hop = 0;
  // A matrix the engine reports has at most FMOD_MAX_CHANNEL_WIDTH rows and
  // columns.
  std::vector<float> Matrix(FMOD_MAX_CHANNEL_WIDTH * FMOD_MAX_CHANNEL_WIDTH, 0.0f);
  CheckFMODResult(FMOD_DSPConnection_GetMixMatrix(FHandle, Matrix.data(), &Result.OutChannels, &Result.InChannels, 0));
  const long long Extent = MatrixExtent(Result.OutChannels, Result.InChannels, 0);
  if (Extent > MatrixCapacity) throw ETembroFMODError(FMOD_ERR_INVALID_PARAM);
  std::copy_n(Matrix.begin(), Result.Matrix.size(), Result.Matrix.begin());
  return Result;
}

// FMOD_DSPConnection_SetMixMatrix. A matrix whose rows reach past the
// record's coefficients is refused before the engine could read them.
void TTembroFMODDSPConnection::SetMixMatrix(const TTembroFMODMixMatrix& AValue) {
  if (MalformedMatrix(AValue.OutChannels, AValue.InChannels, AValue.InChannel_Hop) ||
      MatrixExtent(AValue.OutChannels, AValue.InChannels, AValue.InChannel_Hop) > MatrixCapacity)
    throw ETembroFMODError(FMOD_ERR_INVALID_PARAM);
  // The engine's parameter is not const: it gets a copy, never the caller's
  // record cast.
  std::array<float, TTembroFMODMixMatrix::Capacity> Copy = AValue.Matrix;
  CheckFMODResult(FMOD_DSPConnection_SetMixMatrix(FHandle, Copy.data(), AValue.OutChannels, AValue.InChannels,
                                                  AValue.InChannel_Hop));
}

// FMOD_DSPConnection_GetType
FMOD_DSPCONNECTION_TYPE TTembroFMODDSPConnection::GetType() const {
  FMOD_DSPCONNECTION_TYPE Value{};
  CheckFMODResult(FMOD_DSPConnection_GetType(FHandle, &Value));
  return Value;
}

// FMOD_DSPConnection_GetUserData
void* TTembroFMODDSPConnection::GetUserData() const {
  void* Value = nullptr;
  CheckFMODResult(FMOD_DSPConnection_GetUserData(FHandle, &Value));
  return Value;
}

// FMOD_DSPConnection_SetUserData
void TTembroFMODDSPConnection::SetUserData(void* AValue) {
  CheckFMODResult(FMOD_DSPConnection_SetUserData(FHandle, AValue));
}

}  // namespace Tembro::Audio::FMOD
