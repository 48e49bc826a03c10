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

// What the loader of advapi32.dll reports comes after the same words, on
// the command line and in the service host alike.
TEST(ServiceMessages, ServiceFunctionsUnavailable) {
  EXPECT_EQ(msg_service_functions_unavailable("advapi32.dll : Module introuvable. (os error 126)"),
            "fonctions du Gestionnaire de services indisponibles : advapi32.dll : Module introuvable. (os error 126)");
  EXPECT_EQ(
      dispatcher_functions_unavailable_text("SetServiceStatus (advapi32.dll) : Procédure introuvable. (os error 127)"),
      "erreur : fonctions du Gestionnaire de services indisponibles : "
      "SetServiceStatus (advapi32.dll) : Procédure introuvable. (os error 127)\n");
}

TEST(ServiceMessages, CommandLineQuotesThePath) {
  EXPECT_EQ(service_command_line(R"(C:\Program Files\Ostrane\ostrane.exe)"),
            R"("C:\Program Files\Ostrane\ostrane.exe" --service)");
}

}  // namespace
}  // namespace ostrane
