#pragma once
#include <memory>

// Process-wide instance created on first use and kept in a shared pointer for the
// whole run. Tests may drop it between cases with ResetInstance().
template <class T>
class TSingleton {
 public:
  static T* GetInstance() {
    auto& slot = Slot().instance;
    if (!slot) slot = std::shared_ptr<T>(new T);
    return slot.get();
  }
  static std::weak_ptr<T> GetWeakInstance() {
    GetInstance();
    return Slot().instance;
  }
  // False once the instance has gone at exit, so that other singletons'
  // destructors, which run in no fixed order, can leave it alone.
  static bool HasInstance() { return !SSlot::bGone && static_cast<bool>(Slot().instance); }
  static void ResetInstance() { Slot().instance.reset(); }

 protected:
  TSingleton() = default;

 private:
  struct SSlot {
    std::shared_ptr<T> instance;
    ~SSlot() {
      bGone = true;
      instance.reset();
    }
    static inline bool bGone = false;
  };
  static SSlot& Slot() {
    static SSlot slot;
    return slot;
  }
};
