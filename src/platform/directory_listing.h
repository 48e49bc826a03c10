#pragma once
// The walk of a directory listing, shared by the Win32 and POSIX readers.

#include <expected>
#include <functional>
#include <string>
#include <vector>

namespace ostrane {

// One step of a listing: an entry's name, the end of the listing, or the
// system's text for a failure.
struct ListingStep {
  enum class Kind { Entry, End, Failed };
  Kind kind = Kind::End;
  std::string text;
};

// The names until the end, "." and ".." left out. A failure midway fails the
// whole listing: a partial profile set must never pass for the whole.
std::expected<std::vector<std::string>, std::string> collect_listing(const std::function<ListingStep()>& next);

}  // namespace ostrane
