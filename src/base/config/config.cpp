#include "base/config/config.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <functional>

namespace quarvel {

QString Config::WarrantyPageUrl() const {
  return "https://" + warrantyHost + "/pages/pod.jsp?r=agreementWarrantyDynamic.do&lang=cn";
}

QString Config::StatusImage() const {
  return statusImageUrl.isEmpty() ? "http://" + portalHost + "/im/status/" + imAccount + ".png"
                                  : statusImageUrl;
}

QString Config::ChatLink() const {
  return chatLink.isEmpty() ? "http://" + portalHost + "/im/chat?uin=" + imAccount : chatLink;
}

QString Config::SecondChatLink() const {
  return chatLink2.isEmpty() ? " http://" + portalHost + "/im/chat?uin=" + imAccount + "&site=card"
                             : chatLink2;
}

bool IsValidHost(const QString& host) {
  static const QRegularExpression pattern(
      QStringLiteral("^(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)"
                     "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*"
                     "(?::([0-9]{1,5}))?$"));
  const auto match = pattern.match(host);
  if (!match.hasMatch() || host.size() > 260) return false;
  if (match.hasCaptured(1)) {
    const int port = match.captured(1).toInt();
    return port >= 1 && port <= 65535;
  }
  return true;
}

namespace {

constexpr char kHelp[] =
    "Usage: quarvel [options]\n"
    "Looks up a handset by its serial number or IMEI.\n"
    "\n"
    "Options:\n"
    "  -h, --help                    Show this help and exit.\n"
    "  -v, --version                 Show the version and exit.\n"
    "  --lookup-host HOST[:PORT]     Lookup site (http).\n"
    "  --warranty-host HOST[:PORT]   Warranty page host (https).\n"
    "  --portal-host HOST[:PORT]     Portal start page.\n"
    "  --screenshot FILE             Save a picture of the main window to FILE and quit.\n"
    "\n"
    "Environment: QUARVEL_LOOKUP_HOST, QUARVEL_WARRANTY_HOST, QUARVEL_PORTAL_HOST\n"
    "(an option beats the environment).\n";

// The toolkit's own options, which the application object takes out of the
// command line itself: accepted here and otherwise ignored.
const char* const kToolkitValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
    "display",     "geometry",           "name",          "title",      "qmljsdebugger"};
const char* const kToolkitFlagOptions[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

ConfigResult UsageError(const QString& problem) {
  ConfigResult result;
  result.message = QStringLiteral("quarvel: %1; try --help\n").arg(problem);
  result.exitCode = 2;
  return result;
}

}  // namespace

QList<QCommandLineOption> HostOptions() {
  return {QCommandLineOption("lookup-host", "Lookup site, HOST or HOST:PORT.", "host"),
          QCommandLineOption("warranty-host", "Warranty page host, HOST or HOST:PORT.", "host"),
          QCommandLineOption("portal-host", "Portal start page, HOST or HOST:PORT.", "host")};
}

QString HostEnvironmentHelp() {
  return QStringLiteral(
      "Environment: QUARVEL_LOOKUP_HOST, QUARVEL_WARRANTY_HOST, "
      "QUARVEL_PORTAL_HOST (an option beats the environment).\n");
}

QString ApplyHosts(const QCommandLineParser& parser,
                   const std::function<QString(const char*)>& environment, Config* config) {
  struct Source {
    const char* option;
    const char* variable;
    QString* target;
  };
  const Source sources[] = {{"lookup-host", "QUARVEL_LOOKUP_HOST", &config->lookupHost},
                            {"warranty-host", "QUARVEL_WARRANTY_HOST", &config->warrantyHost},
                            {"portal-host", "QUARVEL_PORTAL_HOST", &config->portalHost}};
  for (const Source& source : sources) {
    const QString option = QLatin1String(source.option);
    QString value = parser.isSet(option) ? parser.value(option) : environment(source.variable);
    if (value.isEmpty()) continue;
    if (!IsValidHost(value))
      return QStringLiteral("'%1' is not a host (HOST or HOST:PORT)").arg(value);
    *source.target = value;
  }
  return QString();
}

QString AsTyped(const QStringList& arguments, const QString& name) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--")) break;
    if (!argument.startsWith('-')) continue;
    const QString typed = argument.section('=', 0, 0);
    qsizetype dashes = 0;
    while (dashes < typed.size() && typed[dashes] == '-') ++dashes;
    if (typed.mid(dashes) == name) return typed;
  }
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

ConfigResult LoadConfig(const QStringList& arguments,
                        const std::function<QString(const char*)>& environment) {
  QCommandLineParser parser;
  // "-platform offscreen" is one option, as the toolkit reads it.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
  const QCommandLineOption screenshot(
      "screenshot", "Save a picture of the main window to FILE and quit.", "file");
  parser.addOptions({help, version});
  parser.addOptions(HostOptions());
  parser.addOption(screenshot);
  for (const char* name : kToolkitValueOptions)
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), "value"));
  for (const char* name : kToolkitFlagOptions)
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString()));

  ConfigResult result;
  if (!parser.parse(arguments)) {
    if (!parser.unknownOptionNames().isEmpty())
      return UsageError(QStringLiteral("unknown option '%1'")
                            .arg(AsTyped(arguments, parser.unknownOptionNames().first())));
    // "Missing value after '--lookup-host'." and the like.
    QString problem = parser.errorText();
    if (problem.endsWith('.')) problem.chop(1);
    if (!problem.isEmpty()) problem[0] = problem[0].toLower();
    return UsageError(problem);
  }
  if (parser.isSet(help)) {
    result.message = QString::fromUtf8(kHelp);
    return result;
  }
  if (parser.isSet(version)) {
    result.message = QStringLiteral("quarvel " QUARVEL_VERSION "\n");
    return result;
  }
  if (!parser.positionalArguments().isEmpty())
    return UsageError(
        QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

  Config config;
  const QString wrong = ApplyHosts(parser, environment, &config);
  if (!wrong.isEmpty()) {
    result.message = QStringLiteral("quarvel: ") + wrong + "\n";
    result.exitCode = 2;
    return result;
  }
  result.screenshotPath = parser.value(screenshot);
  result.config = config;
  return result;
}

}  // namespace quarvel
