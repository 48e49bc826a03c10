#pragma once
// The service's names, as the service manager knows them; its pipe's are in
// src/common/service_pipe.h, which its clients share.

#include <string_view>

#include "src/common/service_pipe.h"

namespace ostrane {

inline constexpr std::string_view SERVICE_NAME = "OstraneHal";
inline constexpr std::string_view SERVICE_DISPLAY_NAME = "Ostrane HAL (accès matériel privilégié)";

}  // namespace ostrane
