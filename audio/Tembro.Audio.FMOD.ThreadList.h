// A list guarded by its own mutex, for lists that several threads may use.
//
// Every access goes through a locked view that holds the mutex for as long
// as it lives; the list's own Add locks by itself and, by default, ignores
// an item that is already listed:
//
//   TTembroThreadList<ITembroFMODSoundPtr> Sounds;
//   Sounds.Add(Sound);                       // locks, appends unless listed
//   {
//     auto List = Sounds.LockList();         // locked until List goes
//     if (AIndex >= 0 && AIndex < List.Count()) Result = List[AIndex];
//   }
//
// Removing or clearing items destroys them under the lock, so an item's
// destructor must not come back to the same list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Tembro::Audio::FMOD {

// What the list's own Add does with an item that is already listed.
enum class TTembroDuplicates {
  Ignore,  // nothing: the item stays listed once
  Accept,  // it is appended again
  Error,   // std::invalid_argument
};

template <typename T>
class TTembroThreadList {
public:
  // The list while its mutex is held. Movable, not copyable; the mutex is
  // released when the view goes.
  class TLockedList {
  public:
    std::int32_t Count() const noexcept { return static_cast<std::int32_t>(FItems->size()); }
    // The item at AIndex, which the caller has checked: 0 <= AIndex < Count().
    T& operator[](std::int32_t AIndex) { return (*FItems)[static_cast<std::size_t>(AIndex)]; }
    const T& operator[](std::int32_t AIndex) const { return (*FItems)[static_cast<std::size_t>(AIndex)]; }
    // Appends AItem, whether or not it is already listed.
    void Add(T AItem) { FItems->push_back(std::move(AItem)); }
    // Removes the first item equal to AItem; answers whether there was one.
    bool Remove(const T& AItem) {
      const auto Found = std::find(FItems->begin(), FItems->end(), AItem);
      if (Found == FItems->end()) return false;
      // Take the item out of the list before it is destroyed, so that the
      // list is consistent whatever its destructor does.
      T Removed = std::move(*Found);
      FItems->erase(Found);
      return true;
    }
    void Clear() {
      std::vector<T> Removed;
      Removed.swap(*FItems);
      // Removed goes here, with the lock still held.
    }
    bool Contains(const T& AItem) const { return std::find(FItems->begin(), FItems->end(), AItem) != FItems->end(); }
    auto begin() const { return FItems->begin(); }
    auto end() const { return FItems->end(); }

  private:
    friend class TTembroThreadList;
    TLockedList(std::mutex& AMutex, std::vector<T>& AItems) : FLock(AMutex), FItems(&AItems) {}

    std::unique_lock<std::mutex> FLock;
    std::vector<T>* FItems;
  };

  TTembroThreadList() = default;
  TTembroThreadList(const TTembroThreadList&) = delete;
  TTembroThreadList& operator=(const TTembroThreadList&) = delete;
  // Empties the list under its lock, so that items go while no other thread
  // is inside the list.
  ~TTembroThreadList() {
    std::lock_guard<std::mutex> Guard(FMutex);
    std::vector<T> Removed;
    Removed.swap(FItems);
  }

  // Enters the lock, waiting as long as it takes, and gives the list.
  [[nodiscard]] TLockedList LockList() { return TLockedList(FMutex, FItems); }

  // Appends AItem under the lock, as Duplicates() says for a listed item.
  void Add(T AItem) {
    auto List = LockList();
    if (FDuplicates != TTembroDuplicates::Accept && List.Contains(AItem)) {
      if (FDuplicates == TTembroDuplicates::Error) throw std::invalid_argument("List does not allow duplicates");
      return;
    }
    List.Add(std::move(AItem));
  }
  bool Remove(const T& AItem) { return LockList().Remove(AItem); }
  void Clear() { LockList().Clear(); }
  std::int32_t Count() { return LockList().Count(); }

  TTembroDuplicates Duplicates() const noexcept { return FDuplicates; }
  void SetDuplicates(TTembroDuplicates AValue) noexcept { FDuplicates = AValue; }

private:
  std::mutex FMutex;
  std::vector<T> FItems;
  TTembroDuplicates FDuplicates = TTembroDuplicates::Ignore;
};

}  // namespace Tembro::Audio::FMOD
