// What the wrapper unit tests share beside the recording fake: the system
// handle they all use, the error texts they expect, the normaliser that makes
// recorded calls comparable, and small helpers for raised errors and
// borrowed wrappers.
//
//   using namespace sonvel::test::wrappers;
//   EXPECT_EQ(Normalised(Fake.Calls), (Strings{"FMOD_DSP_GetInfo(dsp=0xd5b0, name=&, ...)"}));
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <regex>
#include <string>
#include <type_traits>
#include <vector>

#include "FakeEngine.h"
#include "Tembro.Audio.FMOD.Custom.h"

namespace sonvel::test::wrappers {

using Strings = std::vector<std::string>;

inline FMOD_SYSTEM* const kSystem = FakeHandle<FMOD_SYSTEM>(0x5151);

inline const char* const kInvalidParam = "An invalid parameter was passed to this function.";
inline const char* const kInvalidHandle = "An invalid object handle was used.";

// The recorded calls with every out-address (stack or heap, so longer than
// any fake handle) replaced by "&", so that expectations can be exact.
inline Strings Normalised(const Strings& ACalls) {
  static const std::regex Address("0x[0-9a-f]{7,}");
  Strings Result;
  for (const std::string& Call : ACalls) Result.push_back(std::regex_replace(Call, Address, "&"));
  return Result;
}

// The text an action raised, or "(nothing raised)".
template <typename TAction>
std::string RaisedText(TAction AAction) {
  try {
    AAction();
  } catch (const std::exception& E) {
    return E.what();
  }
  return "(nothing raised)";
}

// A pointer as the recording fake prints it: "0x" and lowercase hex digits.
inline std::string Hex(const void* APointer) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(APointer)));
  return Buffer;
}

namespace detail {
template <typename TInterface, typename THandle>
TInterface* InterfaceOf(const Tembro::Audio::FMOD::TTembroFMODObject<TInterface, THandle>*);
}  // namespace detail

// A wrapper of class TWrapper around AHandle that does not own it, so that
// dropping it adds no call: Borrowed<TTembroFMODDSP>(kDSP).
template <typename TWrapper, typename THandle>
auto Borrowed(THandle* AHandle) {
  using TInterface = std::remove_pointer_t<decltype(detail::InterfaceOf(static_cast<const TWrapper*>(nullptr)))>;
  return Tembro::Audio::FMOD::TTembroFMODPtr<TInterface>(
      new TWrapper(AHandle, Tembro::Audio::FMOD::TTembroFMODOwnership::Borrowed));
}

}  // namespace sonvel::test::wrappers
