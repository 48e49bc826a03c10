#pragma once
// The install rule over the files the service would run, as Windows
// describes their security.

#include <optional>
#include <string>
#include <string_view>

#include "src/service/service_api_win.h"

namespace ostrane {

// The refusal text when anyone but the administrators may change
// ostrane.exe, its folder, the powershell.exe beside it, its "framework"
// folder or the Framework tools in it; nothing when all is safe.
std::optional<std::string> check_install_location(const ServiceManagerApi& api, std::string_view executable_path);

}  // namespace ostrane
