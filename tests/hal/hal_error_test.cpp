#include "hal/hal_error.h"

#include <gtest/gtest.h>

#include <string_view>

namespace ostrane {
namespace {

TEST(HalError, DisplayPutsTheKindTextBeforeTheMessage) {
  struct Case {
    HalError error;
    std::string_view expected;
  };
  const Case cases[] = {
      {HalError::unavailable("table RSMB absente"), "ressource non disponible : table RSMB absente"},
      {HalError::access_denied("lecture de la table RSMB refusée"), "accès refusé : lecture de la table RSMB refusée"},
      {HalError::invalid_data("structure SMBIOS invalide à l'offset 40"),
       "données invalides : structure SMBIOS invalide à l'offset 40"},
      {HalError::invalid_data(""), "données invalides : "},
  };
  for (const Case& c : cases) EXPECT_EQ(display(c.error), c.expected);
}

TEST(HalError, FactoriesSetTheKind) {
  EXPECT_EQ(HalError::unavailable("m").kind, HalErrorKind::Unavailable);
  EXPECT_EQ(HalError::access_denied("m").kind, HalErrorKind::AccessDenied);
  EXPECT_EQ(HalError::invalid_data("m").kind, HalErrorKind::InvalidData);
  EXPECT_NE(HalError::unavailable("m"), HalError::invalid_data("m"));
}

}  // namespace
}  // namespace ostrane
