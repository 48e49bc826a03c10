#pragma once
// Work that may recurse deeply, run on a thread whose stack is sized for
// it rather than on the caller's, which on Windows has 1 MiB.

#include <cstddef>
#include <functional>

namespace ostrane {

// Runs `work` on a new thread with a stack of `bytes` and waits for it to
// end. If no such thread can be made, `work` runs on the calling thread.
void run_with_stack(std::size_t bytes, std::function<void()> work);

}  // namespace ostrane
