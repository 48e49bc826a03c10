#pragma once
// Names and sizes that the service and its clients must agree on.

#include <cstddef>
#include <string_view>

namespace ostrane {

inline constexpr std::string_view SERVICE_NAME = "OstraneHal";
inline constexpr std::string_view SERVICE_DISPLAY_NAME = "Ostrane HAL (accès matériel privilégié)";
inline constexpr std::string_view PIPE_NAME = R"(\\.\pipe\OstraneHal)";

// One read of a request, one read of an answer, and the pipe's own buffers.
inline constexpr std::size_t PIPE_BUFFER_SIZE = 4096;

}  // namespace ostrane
