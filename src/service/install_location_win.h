#pragma once
// The install rule over the files the service would run, as Windows
// describes their security.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "src/service/install_location.h"
#include "src/service/service_api_win.h"

namespace ostrane {

// A refusal, with the account name the system gives the principal.
struct NamedRefusal {
  LocationRefusal refusal;
  std::optional<std::string> account_name;
};

// The final path of `executable_path` (links and short names resolved),
// once ostrane.exe, its folder, the powershell.exe beside it, its
// "framework" folder with the Framework tools in it and every folder above
// it hold: what the service may run from there. Otherwise why not.
std::expected<std::string, NamedRefusal> check_install_location(const ServiceManagerApi& api,
                                                                std::string_view executable_path);

}  // namespace ostrane
