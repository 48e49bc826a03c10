#include <windows.h>

#include "src/platform/deep_stack.h"
#include "src/platform/unique_handle_win.h"

namespace ostrane {
namespace {

DWORD WINAPI run_work(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return 0;
}

}  // namespace

void run_with_stack(std::size_t bytes, std::function<void()> work) {
  // A thread whose stack already has the room, as ostrane.exe's main thread
  // has, does the work itself.
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  const auto here = reinterpret_cast<ULONG_PTR>(&low);
  if (here > low && here <= high && here - low >= bytes) {
    work();
    return;
  }
  // A reservation: the pages are committed only as the stack grows.
  const UniqueKernelHandle thread(
      ::CreateThread(nullptr, bytes, run_work, &work, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    work();
    return;
  }
  ::WaitForSingleObject(thread.get(), INFINITE);
}

}  // namespace ostrane
