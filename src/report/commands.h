#pragma once
// `detect` and `profiles`, over whatever reads the files and the firmware
// and writes the document.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "hal/smbios/firmware_table.h"
#include "src/cli/action_result.h"
#include "src/cli/cli_args.h"
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

ActionResult detect_command(const CliArgs& args, const CommandEnvironment& env);
ActionResult profiles_command(const CliArgs& args, const CommandEnvironment& env);

}  // namespace ostrane
