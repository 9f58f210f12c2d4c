// Lists of shared pointers whose objects remember their place (`api.slot`),
// so that an object leaves its list in O(1).
#pragma once

#include <memory>
#include <vector>

namespace sonvel::engine::core {

// Removes `item` from a list of shared pointers whose objects keep their
// slot in `api.slot`.
template <typename T>
inline std::shared_ptr<T> TakeSlot(std::vector<std::shared_ptr<T>>& list, T& item) {
  const std::size_t slot = item.api.slot;
  if (slot >= list.size() || list[slot].get() != &item) return nullptr;
  std::shared_ptr<T> owner = std::move(list[slot]);
  if (slot + 1 != list.size()) {
    list[slot] = std::move(list.back());
    list[slot]->api.slot = slot;
  }
  list.pop_back();
  return owner;
}

template <typename T>
inline void PutSlot(std::vector<std::shared_ptr<T>>& list, const std::shared_ptr<T>& item) {
  item->api.slot = list.size();
  list.push_back(item);
}

}  // namespace sonvel::engine::core
