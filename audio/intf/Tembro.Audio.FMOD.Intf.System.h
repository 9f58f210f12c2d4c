// The interface of the engine system's wrapper.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Custom.h"

namespace Tembro::Audio::FMOD {

// The engine system: the root of every other engine object. Operations are
// declared in slot order.
class ITembroFMODSystem : public ITembroFMODInterface {
public:
  static constexpr TGUID IID = IID_ITembroFMODSystem;

  // The library's version number (0x00011008 is 1.10.08).
  virtual std::uint32_t GetVersion() const = 0;
  // The handle of the output in use, as the engine gives it.
  virtual void* GetOutputHandle() const = 0;

  // Lets the engine do its periodic work.
  virtual void Update() = 0;

protected:
  ~ITembroFMODSystem() = default;
};

using ITembroFMODSystemPtr = TTembroFMODPtr<ITembroFMODSystem>;

}  // namespace Tembro::Audio::FMOD
