#include "app/config.h"

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

ConfigResult LoadConfig(const QStringList& arguments,
                        const std::function<QString(const char*)>& environment) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Quarvel: looks up a handset by its serial number or IMEI."));
  const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
  const QCommandLineOption screenshot(
      "screenshot", "Save a picture of the main window to FILE and quit.", "file");
  parser.addOptions({help, version});
  parser.addOptions(HostOptions());
  parser.addOption(screenshot);

  ConfigResult result;
  if (!parser.parse(arguments)) {
    result.message = parser.errorText() + "\n";
    result.exitCode = 2;
    return result;
  }
  if (parser.isSet(help)) {
    result.message = parser.helpText() + "\n" + HostEnvironmentHelp();
    return result;
  }
  if (parser.isSet(version)) {
    result.message = QStringLiteral("quarvel " QUARVEL_VERSION "\n");
    return result;
  }

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
