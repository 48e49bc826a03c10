#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrane {

// The document and one line feed, on standard output or into the file
// `out` (created or truncated; its directory is not created). On failure
// the error line is printed here and the result is false.
bool emit_document(std::string_view text, const std::optional<std::string>& out);

// "erreur : écriture de {path} : {error}\n"
std::string write_error_line(std::string_view path, std::string_view error);

}  // namespace ostrane
