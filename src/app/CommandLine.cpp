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

// The options every Qt program takes (QGuiApplication, QApplication and the X11 platform's),
// with one dash or two; those of the first list take the next argument as their value. Qt
// reads them when the window's application starts.
constexpr std::string_view kQtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",     "geometry",           "title",         "name",   "visual",
    "icon"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb",
                                         "testability"};
constexpr std::string_view kQtOptionsJoined[] = {"style=", "stylesheet=", "qmljsdebugger="};

// How many arguments from `at` on are one of Qt's options: 0 when it is none.
std::size_t QtOption(std::span<const char* const> arguments, std::size_t at) {
  std::string_view name = arguments[at];
  if (!name.starts_with('-')) return 0;
  name.remove_prefix(name.starts_with("--") ? 2 : 1);
  for (const std::string_view option : kQtOptionsWithValue)
    if (name == option) return at + 1 < arguments.size() ? 2 : 1;
  for (const std::string_view flag : kQtFlags)
    if (name == flag) return 1;
  for (const std::string_view option : kQtOptionsJoined)
    if (name.starts_with(option)) return 1;
  return 0;
}

}  // namespace

std::optional<TCommandLineExit> ReadCommandLine(std::span<const char* const> arguments) {
  bool help = false;
  bool version = false;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string_view argument = arguments[at];
    if (const std::size_t taken = QtOption(arguments, at); taken > 0) {
      at += taken - 1;
    } else if (argument == "--help") {
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
