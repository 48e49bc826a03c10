#include "src/service/service_messages.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

// Some Wine versions dispatch a service started from a console; the text of
// the refusal is checked here whatever the platform does, for any code.
TEST(ServiceMessages, DispatcherRefusedFromAConsole) {
  EXPECT_EQ(dispatcher_refused_text(1063),
            "erreur : démarrage par le Gestionnaire de services refusé (code 1063)\n");
  EXPECT_EQ(dispatcher_refused_text(4294967295u),
            "erreur : démarrage par le Gestionnaire de services refusé (code 4294967295)\n");
}

TEST(ServiceMessages, CommandLineQuotesThePath) {
  EXPECT_EQ(service_command_line(R"(C:\Program Files\Ostrane\ostrane.exe)"),
            R"("C:\Program Files\Ostrane\ostrane.exe" --service)");
}

}  // namespace
}  // namespace ostrane
