#pragma once
// How an action of the command line ends.

#include <expected>
#include <string>

namespace ostrane {

struct ActionError {
  std::string text;
  // The action has printed its own error line already (a failed write of
  // the output document): the command line only exits 1.
  bool reported = false;
};

using ActionResult = std::expected<void, ActionError>;

}  // namespace ostrane
