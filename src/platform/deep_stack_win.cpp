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
