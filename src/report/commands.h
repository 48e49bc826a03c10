#pragma once
// `detect` and `profiles`, over whatever reads the files and the firmware
// and writes the document.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "hal/smbios/firmware_table.h"
#include "src/common/action_result.h"
#include "src/platform/file_reader.h"

namespace ostrane {

// Writes the document and one line feed; on failure it has printed its own
// error line and returns false.
using EmitDocument = std::function<bool(std::string_view text, const std::optional<std::string>& out)>;

struct CommandEnvironment {
  const FileReader& files;
  const FirmwareTableSource& firmware;
  EmitDocument emit;
};

// What a command is asked to read and where its document goes.
struct CommandRequest {
  std::string profiles_dir;
  std::optional<std::string> out;  // standard output when absent
};

ActionResult detect_command(const CommandRequest& request, const CommandEnvironment& env);
ActionResult profiles_command(const CommandRequest& request, const CommandEnvironment& env);

// The two commands with the system's files, firmware and output (Windows).
ActionResult run_detect(const CommandRequest& request);
ActionResult run_profiles(const CommandRequest& request);

}  // namespace ostrane
