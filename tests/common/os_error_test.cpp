#include "src/common/os_error.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(FormatOsError, DropsTheTrailingLineBreakAndAppendsTheCode) {
  EXPECT_EQ(format_os_error("Accès refusé.\r\n", 5), "Accès refusé. (os error 5)");
  EXPECT_EQ(format_os_error("Le fichier spécifié est introuvable.\r\n", 2),
            "Le fichier spécifié est introuvable. (os error 2)");
  EXPECT_EQ(format_os_error("no break", 4294967295u), "no break (os error 4294967295)");
  EXPECT_EQ(format_os_error("", 0), " (os error 0)");
}

}  // namespace
}  // namespace ostrane
