#pragma once
// Move-only owners of Win32 handles, one traits type per way of closing, so
// that every early return closes what was opened.

#include <windows.h>

#include <utility>

namespace ostrane {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  bool valid() const { return Traits::is_valid(handle_); }
  explicit operator bool() const { return valid(); }

  Handle release() { return std::exchange(handle_, Traits::invalid()); }
  void reset(Handle handle = Traits::invalid()) {
    if (Traits::is_valid(handle_)) Traits::close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::invalid();
};

// CreateFileW and CreateNamedPipeW fail with INVALID_HANDLE_VALUE, most
// other calls with null; both are treated as "no handle".
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return nullptr; }
  static bool is_valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Handle h) { ::CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static bool is_valid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(Handle h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle invalid() { return nullptr; }
  static bool is_valid(Handle h) { return h != nullptr; }
  static void close(Handle h) { ::LocalFree(h); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle invalid() { return nullptr; }
  static bool is_valid(Handle h) { return h != nullptr; }
  static void close(Handle h) { ::FreeLibrary(h); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

}  // namespace ostrane
