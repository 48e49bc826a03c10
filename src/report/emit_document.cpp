#include "src/report/emit_document.h"

namespace ostrane {

std::string write_error_line(std::string_view path, std::string_view error) {
  return "erreur : écriture de " + std::string(path) + " : " + std::string(error) + "\n";
}

}  // namespace ostrane
