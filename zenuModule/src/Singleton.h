#pragma once
#include <memory>

// Process-wide instance created on first use and kept in a shared pointer for the
// whole run. Tests may drop it between cases with ResetInstance().
template <class T>
class TSingleton {
 public:
  static T* GetInstance() {
    auto& slot = Slot();
    if (!slot) slot = std::shared_ptr<T>(new T);
    return slot.get();
  }
  static std::weak_ptr<T> GetWeakInstance() {
    GetInstance();
    return Slot();
  }
  static bool HasInstance() { return static_cast<bool>(Slot()); }
  static void ResetInstance() { Slot().reset(); }

 protected:
  TSingleton() = default;

 private:
  static std::shared_ptr<T>& Slot() {
    static std::shared_ptr<T> instance;
    return instance;
  }
};
