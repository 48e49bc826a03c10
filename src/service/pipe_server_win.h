#pragma once
// The service's pipe and its server: one client at a time, one request and
// one answer each. Every wait for a client, for its request, for the
// writing of its answer and for its reading also ends on a stop.

#include <windows.h>

#include <atomic>
#include <expected>
#include <functional>

#include "src/platform/unique_handle_win.h"
#include "src/service/pipe_protocol.h"

namespace ostrane {

// The service's own pipe, or the Windows error code of its creation.
std::expected<UniqueKernelHandle, DWORD> create_service_pipe();

// Manual-reset events, not signalled at first: the stop event, set by the
// control handler, and two for the server's overlapped I/O.
struct ServerEvents {
  HANDLE stop = nullptr;
  HANDLE io = nullptr;
  HANDLE drain = nullptr;
};

// Serves clients until a stop is seen between two of them, ends a wait, or
// the pipe fails. A stop while a request is handled (PowerShell may run for
// seconds) takes effect once it is answered; a client that stalls is cut
// off without an answer. `on_serving` is called once clients can be
// served. NO_ERROR, or the Windows error that kept it from serving.
DWORD serve_clients(HANDLE pipe, const ServerEvents& events, const std::atomic<bool>& stop_requested,
                    const BacklightOperations& operations, const std::function<void()>& on_serving);

}  // namespace ostrane
