#include "app/CommandLine.h"

#include <string_view>

#include "platform/Version.h"

namespace app {

namespace {

// Usage errors exit with 2, as the shell's own tools do.
constexpr int kUsageStatus = 2;

constexpr std::string_view kHelp =
    "Utilisation : telvarion [--help | --version]\n"
    "Téléphone SIP : enregistre votre compte, appelle les numéros de votre répertoire et\n"
    "envoie les touches du clavier pendant l'appel. Sans option, ouvre sa fenêtre.\n"
    "\n"
    "  --help     affiche cette aide et quitte\n"
    "  --version  affiche la version et quitte\n";

}  // namespace

std::optional<TCommandLineExit> ReadCommandLine(std::span<const char* const> arguments) {
  bool help = false;
  bool version = false;
  for (const std::string_view argument : arguments) {
    if (argument == "--help") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else {
      return TCommandLineExit{kUsageStatus,
                              {},
                              "telvarion : option inconnue « " + std::string(argument) +
                                  " »\nEssayez « telvarion --help ».\n"};
    }
  }
  if (help) return TCommandLineExit{0, std::string(kHelp), {}};
  if (version)
    return TCommandLineExit{0, "telvarion " + std::string(platform::kVersion) + "\n", {}};
  return std::nullopt;
}

}  // namespace app
