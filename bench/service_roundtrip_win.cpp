// Round trip of one request through the installed service under Wine: an
// unknown op, which the service answers without running anything. Installs
// a copy of ostrane.exe, times the exchanges, removes the service.
//   service_roundtrip [EXCHANGES]   (default 2000)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "testing/service_harness_win.h"

using namespace ostrane::service_harness;

int wmain(int argc, wchar_t** argv) {
  const int exchanges = argc > 1 ? std::stoi(argv[1]) : 2000;
  remove_service();
  ServiceCopy copy;
  const auto install = copy.ready() ? copy.run(L"service install") : std::nullopt;
  if (!install || install->exit_code != 0 || !wait_for_pipe(10000)) {
    std::fprintf(stderr, "service_roundtrip: the service could not be installed and started\n");
    remove_service();
    return 1;
  }

  const std::string expected =
      "{\"applied\":false,\"available\":false,\"known\":false,\"level\":0,\"max_level\":0,"
      "\"reason\":\"op\xC3\xA9ration inconnue : bench\",\"source\":\"\"}\n";
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  std::vector<double> micros;
  int refusals = 0, wrong = 0;
  for (int i = 0; i < exchanges; ++i) {
    ::QueryPerformanceCounter(&start);
    const Exchange result = exchange_waiting("{\"op\":\"bench\"}\n", &refusals);
    ::QueryPerformanceCounter(&end);
    if (result.response != expected) ++wrong;
    micros.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
                     static_cast<double>(frequency.QuadPart));
  }
  remove_service();

  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) {
    return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
  };
  std::printf(
      "service round trip (unknown op), %d exchanges: median %.0f us, p90 %.0f us, p99 %.0f us, max %.0f us; "
      "%d busy refusals retried, %d wrong answers\n",
      exchanges, at(0.5), at(0.9), at(0.99), micros.back(), refusals, wrong);
  return wrong == 0 ? 0 : 1;
}
