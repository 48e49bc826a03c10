#include "src/service/service_install.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrane {
namespace {

constexpr std::uint32_t ACCESS_DENIED = 5;

// Answers each call with the code it is given and writes down the calls, so
// that the order of the closes (and that none is missing) shows.
struct ScriptedManager final : ServiceManagerCalls {
  std::uint32_t manager = 0;
  std::optional<std::string> path = R"(C:\Program Files\Ostrane\ostrane.exe)";
  std::uint32_t create = 0;
  std::uint32_t open = 0;
  std::uint32_t start = 0;
  std::uint32_t remove = 0;
  std::optional<std::string> refusal;
  // What the check resolves the path to; the registration names it.
  std::string final_path = R"(C:\Program Files\Ostrane\ostrane.exe)";
  std::expected<std::string, std::uint32_t> registered = R"("C:\PROGRAM FILES\Ostrane\ostrane.exe" --service)";
  StartWait wait;
  std::vector<std::string> calls;

  std::uint32_t open_manager() override {
    calls.emplace_back("open manager");
    return manager;
  }
  std::expected<std::string, std::string> executable_path() override {
    calls.emplace_back("path");
    if (!path) return std::unexpected(std::string("Access denied. (os error 5)"));
    return *path;
  }
  std::expected<std::string, std::string> check_location(std::string_view checked) override {
    calls.push_back("check " + std::string(checked));
    if (refusal) return std::unexpected(*refusal);
    return final_path;
  }
  std::expected<std::string, std::uint32_t> registered_command_line() override {
    calls.emplace_back("query");
    return registered;
  }
  StartWait wait_for_start() override {
    calls.emplace_back("wait");
    return wait;
  }
  std::uint32_t create_service(std::string_view command_line) override {
    calls.push_back("create " + std::string(command_line));
    return create;
  }
  std::uint32_t open_service(std::uint32_t access) override {
    calls.push_back("open service " + std::to_string(access));
    return open;
  }
  std::uint32_t start_service() override {
    calls.emplace_back("start");
    return start;
  }
  std::uint32_t delete_service() override {
    calls.emplace_back("delete");
    return remove;
  }
  void close_service() override { calls.emplace_back("close service"); }
  void close_manager() override { calls.emplace_back("close manager"); }
};

struct Case {
  std::string name;
  ScriptedManager manager;
  ServiceCommandResult result;
  std::vector<std::string> calls;
};

const std::string CHECK = R"(check C:\Program Files\Ostrane\ostrane.exe)";
const std::string CREATE = R"(create "C:\Program Files\Ostrane\ostrane.exe" --service)";

ScriptedManager with(void (*change)(ScriptedManager&)) {
  ScriptedManager manager;
  change(manager);
  return manager;
}

class Install : public testing::TestWithParam<Case> {};

TEST_P(Install, PrintsOrFailsAndClosesEverything) {
  ScriptedManager manager = GetParam().manager;
  EXPECT_EQ(install_with(manager), GetParam().result);
  EXPECT_EQ(manager.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Service, Install,
    testing::Values(
        Case{"CreatedAndStarted",
             {},
             "service OstraneHal installé et démarré\n",
             {"open manager", "path", CHECK, CREATE, "start", "close service", "close manager", "wait"}},
        // Started, but stopped before it served: its pipe's name was taken.
        Case{"CreatedStartedThenStopped",
             with([](ScriptedManager& m) {
               m.wait = {StartWait::State::Stopped, 5, 0};
             }),
             std::unexpected("le service OstraneHal s'est arrêté dès son démarrage (code 5)"),
             {"open manager", "path", CHECK, CREATE, "start", "close service", "close manager", "wait"}},
        Case{"CreatedStillStarting",
             with([](ScriptedManager& m) {
               m.wait = {StartWait::State::StillStarting, 0, 12};
             }),
             std::unexpected("le service OstraneHal démarre toujours après 12 s : sc query OstraneHal"),
             {"open manager", "path", CHECK, CREATE, "start", "close service", "close manager", "wait"}},
        Case{"LocationRefused",
             with([](ScriptedManager& m) { m.refusal = "installation refusée : ..."; }),
             std::unexpected("installation refusée : ..."),
             {"open manager", "path", CHECK, "close manager"}},
        Case{"CreatedStartRefused",
             with([](ScriptedManager& m) { m.start = 1053; }),
             "service OstraneHal installé (démarrage refusé, code 1053) : sc start OstraneHal\n",
             {"open manager", "path", CHECK, CREATE, "start", "close service", "close manager"}},
        Case{"ManagerRefused",
             with([](ScriptedManager& m) { m.manager = ACCESS_DENIED; }),
             std::unexpected("gestionnaire de services inaccessible (code 5) : invite administrateur requise"),
             {"open manager"}},
        Case{"PathUnknown",
             with([](ScriptedManager& m) { m.path.reset(); }),
             std::unexpected("chemin de l'exécutable introuvable : Access denied. (os error 5)"),
             {"open manager", "path", "close manager"}},
        Case{"CreateRefused",
             with([](ScriptedManager& m) { m.create = 1072; }),
             std::unexpected("création du service refusée (code 1072)"),
             {"open manager", "path", CHECK, CREATE, "close manager"}},
        Case{"ExistsAndRuns",
             with([](ScriptedManager& m) {
               m.create = CODE_SERVICE_EXISTS;
               m.start = CODE_SERVICE_ALREADY_RUNNING;
             }),
             "le service OstraneHal est déjà installé et tourne\n",
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager", "query", "start", "close service"}},
        Case{"ExistsStoppedAndStarts",
             with([](ScriptedManager& m) { m.create = CODE_SERVICE_EXISTS; }),
             "le service OstraneHal est déjà installé et tourne\n",
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager", "query", "start", "close service",
              "wait"}},
        Case{"ExistsStartsThenStops",
             with([](ScriptedManager& m) {
               m.create = CODE_SERVICE_EXISTS;
               m.wait = {StartWait::State::Stopped, 1359, 0};
             }),
             std::unexpected("le service OstraneHal s'est arrêté dès son démarrage (code 1359)"),
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager", "query", "start", "close service",
              "wait"}},
        Case{"ExistsStartRefused",
             with([](ScriptedManager& m) {
               m.create = CODE_SERVICE_EXISTS;
               m.start = 1058;
             }),
             "le service OstraneHal est déjà installé (démarrage refusé, code 1058) : sc start OstraneHal\n",
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager", "query", "start", "close service"}},
        Case{"ExistsCannotBeOpened",
             with([](ScriptedManager& m) {
               m.create = CODE_SERVICE_EXISTS;
               m.open = ACCESS_DENIED;
             }),
             "le service OstraneHal est déjà installé (démarrage impossible : accès refusé)\n",
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager"}},
        // Another executable registered: nobody checked it.
        Case{"ExistsForAnotherExecutable",
             with([](ScriptedManager& m) {
               m.create = CODE_SERVICE_EXISTS;
               m.registered = R"("C:\Users\alice\ostrane.exe" --service)";
             }),
             std::unexpected(R"(installation refusée : le service OstraneHal déjà inscrit lance "C:\Users\alice\ostrane.exe" )"
                             R"(--service, et non "C:\Program Files\Ostrane\ostrane.exe" --service ; désinstallez-le )"
                             "d'abord : ostrane service uninstall"),
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager", "query", "close service"}},
        Case{"ExistsWithAnUnreadableRegistration",
             with([](ScriptedManager& m) {
               m.create = CODE_SERVICE_EXISTS;
               m.registered = std::unexpected(122u);
             }),
             std::unexpected("inscription du service OstraneHal illisible (code 122)"),
             {"open manager", "path", CHECK, CREATE, "open service 17", "close manager", "query", "close service"}},
        // The path registered is the one checked, put in as it is between
        // the two quotes.
        Case{"RegistersTheFinalPathAsItIs",
             with([](ScriptedManager& m) {
               m.path = R"(D:\OUTILS~1\ostrane.exe)";
               m.final_path = R"(D:\Outils é\"x"\ostrane.exe)";
             }),
             "service OstraneHal installé et démarré\n",
             {"open manager", "path", R"(check D:\OUTILS~1\ostrane.exe)",
              R"(create "D:\Outils é\"x"\ostrane.exe" --service)", "start", "close service", "close manager", "wait"}}),
    [](const auto& test) { return test.param.name; });

class Uninstall : public testing::TestWithParam<Case> {};

TEST_P(Uninstall, PrintsOrFailsAndClosesEverything) {
  ScriptedManager manager = GetParam().manager;
  EXPECT_EQ(uninstall_with(manager), GetParam().result);
  EXPECT_EQ(manager.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Service, Uninstall,
    testing::Values(
        Case{"Removed",
             {},
             "service OstraneHal désinstallé\n",
             {"open manager", "open service 983551", "delete", "close service", "close manager"}},
        Case{"NotInstalled",
             with([](ScriptedManager& m) { m.open = 1060; }),
             "le service OstraneHal n'est pas installé\n",
             {"open manager", "open service 983551", "close manager"}},
        Case{"AlreadyMarkedForDeletion",
             with([](ScriptedManager& m) { m.remove = 1072; }),
             std::unexpected("suppression du service refusée (code 1072)"),
             {"open manager", "open service 983551", "delete", "close service", "close manager"}},
        Case{"ManagerRefused",
             with([](ScriptedManager& m) { m.manager = ACCESS_DENIED; }),
             std::unexpected("gestionnaire de services inaccessible (code 5) : invite administrateur requise"),
             {"open manager"}}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ostrane
