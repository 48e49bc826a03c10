#include "hal/hal_error.h"

namespace ostrane {

std::string display(const HalError& error) {
  std::string prefix;
  switch (error.kind) {
    case HalErrorKind::Unavailable: prefix = "ressource non disponible : "; break;
    case HalErrorKind::AccessDenied: prefix = "accès refusé : "; break;
    case HalErrorKind::InvalidData: prefix = "données invalides : "; break;
  }
  return prefix + error.message;
}

}  // namespace ostrane
