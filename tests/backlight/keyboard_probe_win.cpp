// Runs the script runner once from wherever it is copied, so that a test can
// place the executable in a directory of its choosing:
//   keyboard-probe MODE LEVEL  ->  "sortie:" and the output, or "erreur:" and the error
#include <windows.h>

#include <cstdio>
#include <string>

#include "src/backlight/script_runner.h"
#include "src/platform/wide_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const auto result = ostrane::run_keyboard_script(ostrane::from_wide(argv[1]), std::stoul(argv[2]));
  const std::string text = result ? "sortie:" + *result : "erreur:" + ostrane::display(result.error());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
