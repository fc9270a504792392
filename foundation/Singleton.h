// Process-wide singletons, created on first use under one process-wide lock
// and published by a two-word mark, so that later readers take no lock.
//
//   P<CThing> MakeThing() { return make<CThing>(); }
//   const P<CThing>& TheThing() { return StaticSingleton<CThing, &MakeThing>(); }
//
// The instance lives until the process exits.
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/Pointer.h"

namespace lumo {

namespace detail {
// The mark a holder carries once its instance exists.
inline constexpr std::uint32_t kSingletonMark[2] = {0x3D92A405, 0x73DF5089};

// The lock that serialises the creation of every singleton. It is
// re-entrant, so a factory may reach other singletons.
void LockSingletonCreation();
void UnlockSingletonCreation() noexcept;
// Gives up the processor for a millisecond while another thread creates.
void YieldToSingletonCreator();
// A factory that reaches its own accessor would wait for itself forever.
[[noreturn]] void SingletonCreatedRecursively() noexcept;
}  // namespace detail

template <class T>
class TStaticHolder {
 public:
  using Factory = P<T> (*)();

  constexpr TStaticHolder() noexcept = default;
  TStaticHolder(const TStaticHolder&) = delete;
  TStaticHolder& operator=(const TStaticHolder&) = delete;

  const P<T>& get(Factory factory) {
    if (!isMarked()) create(factory);
    while (!isMarked()) detail::YieldToSingletonCreator();
    return instance;
  }

 private:
  bool isMarked() const noexcept {
    return mark[0].load(std::memory_order_acquire) == detail::kSingletonMark[0] &&
           mark[1].load(std::memory_order_acquire) == detail::kSingletonMark[1];
  }

  void create(Factory factory) {
    detail::LockSingletonCreation();
    struct Unlock {
      ~Unlock() { detail::UnlockSingletonCreation(); }
    } unlock;
    if (initialised.exchange(true, std::memory_order_acq_rel)) {
      // Another thread finished while this one waited for the lock, or the
      // factory is asking for its own product.
      if (!isMarked()) detail::SingletonCreatedRecursively();
      return;
    }
    mark[0].store(0, std::memory_order_relaxed);
    mark[1].store(0, std::memory_order_relaxed);
    try {
      instance = factory();
    } catch (...) {
      initialised.store(false, std::memory_order_release);
      throw;
    }
    mark[1].store(detail::kSingletonMark[1], std::memory_order_release);
    mark[0].store(detail::kSingletonMark[0], std::memory_order_release);
  }

  P<T> instance;
  std::atomic<std::uint32_t> mark[2] = {0, 0};
  std::atomic<bool> initialised = false;
};

// The accessor of the singleton that `Factory` makes. Each (T, Factory)
// pair has its own holder.
template <class T, P<T> (*Factory)()>
const P<T>& StaticSingleton() {
  static TStaticHolder<T> holder;
  return holder.get(Factory);
}

}  // namespace lumo
