#include <pthread.h>

#include "src/platform/deep_stack.h"

namespace ostrane {
namespace {

void* run_work(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return nullptr;
}

}  // namespace

void run_with_stack(std::size_t bytes, std::function<void()> work) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    work();
    return;
  }
  pthread_t thread{};
  const bool started =
      pthread_attr_setstacksize(&attributes, bytes) == 0 && pthread_create(&thread, &attributes, run_work, &work) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) {
    work();
    return;
  }
  pthread_join(thread, nullptr);
}

}  // namespace ostrane
