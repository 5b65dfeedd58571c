#include "demo_options.h"

#include <cstddef>
#include <string_view>

namespace quarvel::demo {
namespace {

constexpr char kHelp[] =
    "Usage: quarvel-demo [options]\n"
    "Serves the demo lookup site (http), portal (http) and warranty page (https)\n"
    "on 127.0.0.1 until stopped.\n"
    "\n"
    "Options:\n"
    "  --lookup-port N     Port of the lookup site (18080).\n"
    "  --portal-port N     Port of the portal (18081).\n"
    "  --warranty-port N   Port of the warranty page (18443).\n"
    "  -h, --help          Show this help and exit.\n"
    "  -v, --version       Show the version and exit.\n";

DemoOptions Stop(std::string message, int exitCode) {
  DemoOptions options;
  options.run = false;
  options.message = std::move(message);
  options.exitCode = exitCode;
  return options;
}

DemoOptions UsageError(const std::string& problem) {
  return Stop("quarvel-demo: " + problem + "; try --help\n", 2);
}

// 1 to 65535, digits only.
bool ParsePort(std::string_view text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = value;
  return true;
}

}  // namespace

DemoOptions ParseDemoOptions(const std::vector<std::string>& arguments) {
  DemoOptions options;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") return Stop(kHelp, 0);
    if (argument == "-v" || argument == "--version")
      return Stop("quarvel-demo " QUARVEL_VERSION "\n", 0);
    if (argument.empty() || argument[0] != '-')
      return UsageError("unexpected argument '" + argument + "'");

    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    int* target = name == "--lookup-port"     ? &options.lookupPort
                  : name == "--portal-port"   ? &options.portalPort
                  : name == "--warranty-port" ? &options.warrantyPort
                                              : nullptr;
    if (!target) return UsageError("unknown option '" + name + "'");
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return UsageError("missing value after '" + name + "'");
    }
    if (!ParsePort(value, *target))
      return UsageError("'" + value + "' is not a port (1 to 65535) for " + name);
  }
  return options;
}

}  // namespace quarvel::demo
