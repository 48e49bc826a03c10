// The two commands with the real files, firmware and output.
#include "hal/smbios/firmware_table.h"
#include "src/platform/file_reader.h"
#include "src/report/commands.h"
#include "src/report/emit_document.h"

namespace ostrane {

ActionResult run_detect(const CommandRequest& request) {
  const SystemFileReader files;
  const WindowsFirmwareTable firmware;
  return detect_command(request, {files, firmware, emit_document});
}

ActionResult run_profiles(const CommandRequest& request) {
  const SystemFileReader files;
  const WindowsFirmwareTable firmware;
  return profiles_command(request, {files, firmware, emit_document});
}

}  // namespace ostrane
