// The walk must keep up with tables far larger than any firmware ships, so
// that its cost never shows in a detection.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "hal/smbios/parse_smbios.h"
#include "testing/smbios_table_builder.h"

namespace ostrane {
namespace {

void BM_ParseSmbios64KiB(benchmark::State& state) {
  const ByteBuffer table = testing::realistic_firmware_table(64 * 1024);
  for (auto _ : state) {
    auto record = parse_smbios(table);
    if (!record) {
      state.SkipWithError("the benchmark table does not parse");
      break;
    }
    benchmark::DoNotOptimize(record);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(table.size()));
  state.counters["table_bytes"] = static_cast<double>(table.size());
}
BENCHMARK(BM_ParseSmbios64KiB);

}  // namespace
}  // namespace ostrane

BENCHMARK_MAIN();
