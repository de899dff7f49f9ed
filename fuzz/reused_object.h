// Memory for a heavy object that each fuzz input constructs afresh.
//
// A processor or controller is larger than the sanitizer allocator's biggest
// size class, so allocating one per input maps fresh pages (and their shadow)
// every time, and page faults became most of the cost of an input. Here the
// memory is allocated once and every input constructs a new object in it and
// destroys it at the end: each input still starts from a freshly constructed
// object (nothing of the previous input survives but the bytes the
// constructor overwrites), so a crash reproduces from its input alone.
#pragma once

#include <cstdlib>
#include <new>
#include <utility>

namespace orbel::fuzz {

template <class T>
class ReusedObject {
public:
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  template <class... Args>
  T* make(Args&&... args) {
    if (storage_ == nullptr) storage_ = ::operator new(sizeof(T));
    return new (storage_) T(std::forward<Args>(args)...);
  }

  // Ends the life of a reference-counted object that only the caller holds
  // (the check stands for the leak a forgotten reference used to show).
  void destroy(T* object) {
    if (object->addRef() != 2) std::abort();
    object->release();
    object->~T();
  }

private:
  void* storage_ = nullptr;  // kept for the whole run
};

}  // namespace orbel::fuzz
