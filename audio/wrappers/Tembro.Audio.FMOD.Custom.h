// The base of the wrapper library: interface identifiers, the base interface,
// the intrusive reference-counted base class and the smart pointer through
// which interfaces are held.
//
// Every wrapper holds one engine handle and offers the engine's operations on
// it through a reference-counted interface. Interfaces are held through
// TTembroFMODPtr, which adds a reference when it takes a raw pointer and
// drops it when it goes:
//
//   TTembroFMODPtr<ITembroFMODSystem> System = TTembroFMODSystem::Create();
//   System->Update();
//   // the last reference going closes and releases the engine system
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace Tembro::Audio::FMOD {

// A globally unique identifier, laid out like the engine's FMOD_GUID.
struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::uint8_t D4[8] = {};

  friend constexpr bool operator==(const TGUID& A, const TGUID& B) noexcept {
    if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
    for (int I = 0; I < 8; ++I)
      if (A.D4[I] != B.D4[I]) return false;
    return true;
  }

  // Parses the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
  static consteval TGUID Parse(const char (&AText)[39]) {
    auto Hex = [&](int AFrom, int ACount) {
      std::uint64_t Value = 0;
      for (int I = AFrom; I < AFrom + ACount; ++I) {
        const char C = AText[I];
        const int Digit = C >= '0' && C <= '9'   ? C - '0'
                          : C >= 'A' && C <= 'F' ? C - 'A' + 10
                          : C >= 'a' && C <= 'f' ? C - 'a' + 10
                                                 : throw "not a hexadecimal digit";
        Value = Value * 16 + static_cast<std::uint64_t>(Digit);
      }
      return Value;
    };
    if (AText[0] != '{' || AText[9] != '-' || AText[14] != '-' || AText[19] != '-' || AText[24] != '-' ||
        AText[37] != '}')
      throw "not a GUID";
    TGUID Result;
    Result.D1 = static_cast<std::uint32_t>(Hex(1, 8));
    Result.D2 = static_cast<std::uint16_t>(Hex(10, 4));
    Result.D3 = static_cast<std::uint16_t>(Hex(15, 4));
    Result.D4[0] = static_cast<std::uint8_t>(Hex(20, 2));
    Result.D4[1] = static_cast<std::uint8_t>(Hex(22, 2));
    for (int I = 0; I < 6; ++I) Result.D4[2 + I] = static_cast<std::uint8_t>(Hex(25 + 2 * I, 2));
    return Result;
  }
};

// The base interface of every wrapper. Slots 0-2 count references, slot 3 is
// the engine handle and slot 4 the engine system that owns the object.
class ITembroFMODInterface {
public:
  static constexpr TGUID IID = TGUID::Parse("{8CBFD142-5176-4A50-99AC-CCC5AC8E7B1F}");

  // Stores in AObject this object seen through the interface AIID, with a
  // reference added, and answers true; answers false and stores null when
  // the object does not implement that interface.
  virtual bool QueryInterface(const TGUID& AIID, void** AObject) noexcept = 0;
  virtual std::int32_t AddRef() noexcept = 0;
  virtual std::int32_t Release() noexcept = 0;
  // The engine handle this wrapper holds.
  virtual void* GetInternalHandle() const noexcept = 0;
  // The engine system that owns the object, as an engine handle (not a
  // wrapper); null where the class has none to ask for.
  virtual void* GetSystemObject() const = 0;

protected:
  ~ITembroFMODInterface() = default;  // objects end through Release only
};

// Identifiers of the wrapper interfaces, declared here so that every unit can
// name them without the interface's own header.
inline constexpr TGUID IID_ITembroFMODSystem = TGUID::Parse("{A598DE15-C560-44B6-B55B-DB48091DFA92}");
inline constexpr TGUID IID_ITembroFMODSound = TGUID::Parse("{638F43DE-F764-4729-8518-8D57D267F199}");
inline constexpr TGUID IID_ITembroFMODChannel = TGUID::Parse("{E0845A36-F142-42EC-9ECA-AB643D7749D2}");
inline constexpr TGUID IID_ITembroFMODChannelGroup = TGUID::Parse("{C24C932F-A41F-4909-AE87-12B33A2EDEE0}");
inline constexpr TGUID IID_ITembroFMODSoundGroup = TGUID::Parse("{D5F3A1FC-FF94-40E7-940F-2045589C5A1B}");
inline constexpr TGUID IID_ITembroFMODDSP = TGUID::Parse("{A462106D-D0B8-413C-924D-11A4F91B04A8}");
inline constexpr TGUID IID_ITembroFMODDSPConnection = TGUID::Parse("{28EADEB0-6F8C-4E54-8AFC-7A727E5FAD33}");
inline constexpr TGUID IID_ITembroFMODGeometry = TGUID::Parse("{2A3AA90A-D563-44E9-A163-A6086A425D2C}");
inline constexpr TGUID IID_ITembroFMODReverb3D = TGUID::Parse("{F9E3CB28-06DC-4B9B-9353-4D49857DAD51}");

// A counted reference to an interface. Taking a raw pointer adds a reference;
// Attach and Detach move one in or out without counting.
template <typename TInterface>
class TTembroFMODPtr {
public:
  TTembroFMODPtr() noexcept = default;
  TTembroFMODPtr(std::nullptr_t) noexcept {}
  TTembroFMODPtr(TInterface* APointer) noexcept : FPointer(APointer) { AddRefIfAny(); }
  TTembroFMODPtr(const TTembroFMODPtr& AOther) noexcept : FPointer(AOther.FPointer) { AddRefIfAny(); }
  TTembroFMODPtr(TTembroFMODPtr&& AOther) noexcept : FPointer(std::exchange(AOther.FPointer, nullptr)) {}
  template <typename TOther, typename = std::enable_if_t<std::is_convertible_v<TOther*, TInterface*>>>
  TTembroFMODPtr(const TTembroFMODPtr<TOther>& AOther) noexcept : FPointer(AOther.Get()) {
    AddRefIfAny();
  }
  ~TTembroFMODPtr() { ReleaseIfAny(); }

  TTembroFMODPtr& operator=(TTembroFMODPtr AOther) noexcept {
    std::swap(FPointer, AOther.FPointer);
    return *this;
  }

  TInterface* Get() const noexcept { return FPointer; }
  TInterface* operator->() const noexcept { return FPointer; }
  TInterface& operator*() const noexcept { return *FPointer; }
  explicit operator bool() const noexcept { return FPointer != nullptr; }

  // Takes over a reference that the caller already holds.
  void Attach(TInterface* APointer) noexcept {
    ReleaseIfAny();
    FPointer = APointer;
  }
  // Gives the held reference to the caller, who must release it.
  [[nodiscard]] TInterface* Detach() noexcept { return std::exchange(FPointer, nullptr); }
  void Reset() noexcept { ReleaseIfAny(); }

  // This object seen through another interface, or null when it has not got
  // that interface.
  template <typename TOther>
  TTembroFMODPtr<TOther> TryQuery() const noexcept {
    TTembroFMODPtr<TOther> Result;
    void* Raw = nullptr;
    if (FPointer != nullptr && FPointer->QueryInterface(TOther::IID, &Raw)) Result.Attach(static_cast<TOther*>(Raw));
    return Result;
  }
  // As TryQuery, but raises when the interface is missing.
  template <typename TOther>
  TTembroFMODPtr<TOther> Query() const {
    TTembroFMODPtr<TOther> Result = TryQuery<TOther>();
    if (!Result) throw std::runtime_error("Interface not supported");
    return Result;
  }

  friend bool operator==(const TTembroFMODPtr& A, const TTembroFMODPtr& B) noexcept {
    return A.FPointer == B.FPointer;
  }
  friend bool operator==(const TTembroFMODPtr& A, std::nullptr_t) noexcept { return A.FPointer == nullptr; }

private:
  void AddRefIfAny() noexcept {
    if (FPointer != nullptr) FPointer->AddRef();
  }
  void ReleaseIfAny() noexcept {
    if (TInterface* Old = std::exchange(FPointer, nullptr)) Old->Release();
  }

  TInterface* FPointer = nullptr;
};

// Whether a wrapper ends its engine object when its last reference goes. A
// wrapper that created its object owns it; one made around a handle that a
// query returned borrows it, since others may still use the object.
enum class TTembroFMODOwnership { Owned, Borrowed };

// Where failures that cannot be raised (in destructors) are reported. The
// default writes the message to stderr. The sink must not throw.
using TTembroFMODErrorSink = void (*)(const char* AMessage) noexcept;
void SetTembroFMODErrorSink(TTembroFMODErrorSink ASink) noexcept;
void ReportTembroFMODError(const char* AMessage) noexcept;

// The base of every wrapper class: one engine handle, an atomic reference
// count that starts at zero, and the implementation of the slots shared by
// all interfaces. TInterface is the one wrapper interface the class
// implements; THandle the engine's type of the handle.
template <typename TInterface = ITembroFMODInterface, typename THandle = void>
class TTembroFMODObject : public TInterface {
  static_assert(std::is_base_of_v<ITembroFMODInterface, TInterface>);

public:
  // Stores the handle; no engine call and no test of the value.
  explicit TTembroFMODObject(THandle* AHandle, TTembroFMODOwnership AOwnership = TTembroFMODOwnership::Owned) noexcept
      : FHandle(AHandle), FOwnership(AOwnership) {}
  TTembroFMODObject(const TTembroFMODObject&) = delete;
  TTembroFMODObject& operator=(const TTembroFMODObject&) = delete;
  virtual ~TTembroFMODObject() { FHandle = nullptr; }

  bool QueryInterface(const TGUID& AIID, void** AObject) noexcept override {
    if (AObject == nullptr) return false;
    if (AIID == TInterface::IID || AIID == ITembroFMODInterface::IID) {
      AddRef();
      *AObject = static_cast<TInterface*>(this);
      return true;
    }
    *AObject = nullptr;
    return false;
  }
  std::int32_t AddRef() noexcept override { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }
  std::int32_t Release() noexcept override {
    const std::int32_t Count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (Count == 0) delete this;
    return Count;
  }
  void* GetInternalHandle() const noexcept override { return const_cast<void*>(static_cast<const void*>(FHandle)); }
  void* GetSystemObject() const override { return nullptr; }

  std::int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_relaxed); }
  TTembroFMODOwnership Ownership() const noexcept { return FOwnership; }

protected:
  // The handle as the engine's type, for the engine calls of derived classes.
  THandle* Handle() const noexcept { return FHandle; }
  // True when the destructor of a derived class must end the engine object.
  bool OwnsEngineObject() const noexcept { return FHandle != nullptr && FOwnership == TTembroFMODOwnership::Owned; }

  THandle* FHandle;

private:
  std::atomic<std::int32_t> FRefCount{0};
  const TTembroFMODOwnership FOwnership;
};

// Makes a new wrapper of class TClass and returns it through TInterface.
template <typename TInterface, typename TClass, typename... TArgs>
TTembroFMODPtr<TInterface> MakeTembroFMOD(TArgs&&... AArgs) {
  return TTembroFMODPtr<TInterface>(new TClass(std::forward<TArgs>(AArgs)...));
}

}  // namespace Tembro::Audio::FMOD

// The point type and the channel-control records belong with the base.
#include "Tembro.Audio.FMOD.Intf.Records.h"
