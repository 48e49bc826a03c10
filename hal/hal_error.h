#pragma once
// The error value of the hardware-access code.

#include <string>

namespace ostrane {

enum class HalErrorKind { Unavailable, AccessDenied, InvalidData };

struct HalError {
  HalErrorKind kind;
  std::string message;

  static HalError unavailable(std::string message) { return {HalErrorKind::Unavailable, std::move(message)}; }
  static HalError access_denied(std::string message) { return {HalErrorKind::AccessDenied, std::move(message)}; }
  static HalError invalid_data(std::string message) { return {HalErrorKind::InvalidData, std::move(message)}; }

  friend bool operator==(const HalError&, const HalError&) = default;
};

// "ressource non disponible : {}", "accès refusé : {}", "données invalides : {}".
std::string display(const HalError& error);

}  // namespace ostrane
