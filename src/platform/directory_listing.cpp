#include "src/platform/directory_listing.h"

namespace ostrane {

std::expected<std::vector<std::string>, std::string> collect_listing(const std::function<ListingStep()>& next) {
  std::vector<std::string> names;
  for (;;) {
    ListingStep step = next();
    switch (step.kind) {
      case ListingStep::Kind::End: return names;
      case ListingStep::Kind::Failed: return std::unexpected(std::move(step.text));
      case ListingStep::Kind::Entry:
        if (step.text != "." && step.text != "..") names.push_back(std::move(step.text));
        break;
    }
  }
}

}  // namespace ostrane
