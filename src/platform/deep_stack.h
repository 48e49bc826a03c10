#pragma once
// Work that may recurse deeply, run on a thread whose stack is sized for
// it rather than on the caller's, which on Windows has 1 MiB.

#include <cstddef>
#include <functional>

namespace ostrane {

// Runs `work` on a stack of at least `bytes`: the calling thread's when it
// has that much left (on Windows), else a new thread's, waited for. If no
// such thread can be made, `work` runs on the calling thread.
void run_with_stack(std::size_t bytes, std::function<void()> work);

}  // namespace ostrane
