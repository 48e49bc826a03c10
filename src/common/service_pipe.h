#pragma once
// The service's pipe, as the service and every client of it must name and
// size it.

#include <cstddef>
#include <string_view>

namespace ostrane {

inline constexpr std::string_view PIPE_NAME = R"(\\.\pipe\OstraneHal)";
// One read of a request, one read of an answer, and the pipe's own buffers.
inline constexpr std::size_t PIPE_BUFFER_SIZE = 4096;

}  // namespace ostrane
