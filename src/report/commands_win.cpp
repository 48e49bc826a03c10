// The two commands with the real files, firmware and output.
#include "hal/smbios/firmware_table.h"
#include "src/cli/actions.h"
#include "src/platform/file_reader.h"
#include "src/report/commands.h"
#include "src/report/emit_document.h"

namespace ostrane {

ActionResult run_detect(const CliArgs& args) {
  const SystemFileReader files;
  const WindowsFirmwareTable firmware;
  return detect_command(args, {files, firmware, emit_document});
}

ActionResult run_profiles(const CliArgs& args) {
  const SystemFileReader files;
  const WindowsFirmwareTable firmware;
  return profiles_command(args, {files, firmware, emit_document});
}

}  // namespace ostrane
