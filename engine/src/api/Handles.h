// Handles: the opaque values the engine gives out for its objects.
//
// A handle is never an address. It packs the kind of object, a slot index
// and the slot's generation, so that a garbage value, a handle of the wrong
// kind or one whose object was released is recognised and answered with
// FMOD_ERR_INVALID_HANDLE instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace sonvel::engine {

enum class HandleKind : std::uint8_t {
  System = 0x51,
  Sound,
  Channel,
  ChannelGroup,
  SoundGroup,
  Dsp,
  DspConnection,
  Geometry,
  Polygon,
  Reverb3D,
  SyncPoint,
};

static_assert(sizeof(void*) == 8, "handles pack kind, generation and index into 64 bits");

namespace handle_bits {
inline std::uint64_t Pack(HandleKind kind, std::uint32_t generation, std::uint32_t index) {
  return (std::uint64_t(kind) << 56) | (std::uint64_t(generation & 0xFFFFFFu) << 32) | (std::uint64_t(index) + 1);
}
inline HandleKind Kind(std::uint64_t value) { return HandleKind(value >> 56); }
inline std::uint32_t Generation(std::uint64_t value) { return std::uint32_t(value >> 32) & 0xFFFFFFu; }
inline std::int64_t Index(std::uint64_t value) { return std::int64_t(value & 0xFFFFFFFFu) - 1; }
}  // namespace handle_bits

// The live objects of one kind. Lookups hand out shared ownership, so an
// object stays alive for the length of a call even if another thread
// releases it meanwhile. Thread-safe; not for the mixer thread.
template <typename T, HandleKind K>
class HandleTable {
public:
  template <typename H>
  H* Add(std::shared_ptr<T> object) {
    std::lock_guard lock(mutex_);
    std::uint32_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else {
      index = static_cast<std::uint32_t>(slots_.size());
      slots_.emplace_back();
    }
    Slot& slot = slots_[index];
    slot.object = std::move(object);
    return reinterpret_cast<H*>(handle_bits::Pack(K, slot.generation, index));
  }

  // The object behind a handle, or null for anything that is not a live
  // object of this kind.
  std::shared_ptr<T> Find(const void* handle) const {
    std::lock_guard lock(mutex_);
    const Slot* slot = SlotOf(handle);
    return slot != nullptr ? slot->object : nullptr;
  }

  // Removes the object; answers it (null when the handle was not live).
  std::shared_ptr<T> Remove(const void* handle) {
    std::lock_guard lock(mutex_);
    Slot* slot = const_cast<Slot*>(SlotOf(handle));
    if (slot == nullptr) return nullptr;
    std::shared_ptr<T> object = std::move(slot->object);
    slot->object.reset();
    slot->generation = (slot->generation + 1) & 0xFFFFFFu;
    free_.push_back(static_cast<std::uint32_t>(slot - slots_.data()));
    return object;
  }

  // Every live object, for walks such as "every system".
  std::vector<std::shared_ptr<T>> All() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<T>> all;
    for (const Slot& slot : slots_)
      if (slot.object) all.push_back(slot.object);
    return all;
  }

private:
  struct Slot {
    std::shared_ptr<T> object;
    std::uint32_t generation = 0;
  };

  const Slot* SlotOf(const void* handle) const {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (handle_bits::Kind(value) != K) return nullptr;
    const std::int64_t index = handle_bits::Index(value);
    if (index < 0 || index >= static_cast<std::int64_t>(slots_.size())) return nullptr;
    const Slot& slot = slots_[static_cast<std::size_t>(index)];
    if (!slot.object || slot.generation != handle_bits::Generation(value)) return nullptr;
    return &slot;
  }

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> free_;
};

}  // namespace sonvel::engine
