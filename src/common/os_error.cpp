#include "src/common/os_error.h"

namespace ostrane {

std::string format_os_error(std::string_view description, std::uint32_t code) {
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) {
    description.remove_suffix(1);
  }
  std::string out(description);
  out += " (os error ";
  out += std::to_string(code);
  out += ')';
  return out;
}

}  // namespace ostrane
