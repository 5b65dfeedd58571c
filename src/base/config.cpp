#include "base/config.h"

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

ConfigResult LoadConfig(const QStringList& arguments,
                        const std::function<QString(const char*)>& environment) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Quarvel: looks up a handset by its serial number or IMEI."));
  const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
  const QCommandLineOption lookup("lookup-host", "Lookup site, HOST or HOST:PORT.", "host");
  const QCommandLineOption warranty("warranty-host", "Warranty page host, HOST or HOST:PORT.",
                                    "host");
  const QCommandLineOption portal("portal-host", "Portal start page, HOST or HOST:PORT.", "host");
  const QCommandLineOption screenshot(
      "screenshot", "Save a picture of the main window to FILE and quit.", "file");
  parser.addOptions({help, version, lookup, warranty, portal, screenshot});

  ConfigResult result;
  if (!parser.parse(arguments)) {
    result.message = parser.errorText() + "\n";
    result.exitCode = 2;
    return result;
  }
  if (parser.isSet(help)) {
    result.message = parser.helpText() +
                     "\nEnvironment: QUARVEL_LOOKUP_HOST, QUARVEL_WARRANTY_HOST, "
                     "QUARVEL_PORTAL_HOST (an option beats the environment).\n";
    return result;
  }
  if (parser.isSet(version)) {
    result.message = QStringLiteral("quarvel " QUARVEL_VERSION "\n");
    return result;
  }

  Config config;
  struct Source {
    const QCommandLineOption& option;
    const char* variable;
    QString* target;
  };
  const Source sources[] = {{lookup, "QUARVEL_LOOKUP_HOST", &config.lookupHost},
                            {warranty, "QUARVEL_WARRANTY_HOST", &config.warrantyHost},
                            {portal, "QUARVEL_PORTAL_HOST", &config.portalHost}};
  for (const Source& source : sources) {
    QString value =
        parser.isSet(source.option) ? parser.value(source.option) : environment(source.variable);
    if (value.isEmpty()) continue;
    if (!IsValidHost(value)) {
      result.message =
          QStringLiteral("quarvel: '%1' is not a host (HOST or HOST:PORT)\n").arg(value);
      result.exitCode = 2;
      return result;
    }
    *source.target = value;
  }
  result.screenshotPath = parser.value(screenshot);
  result.config = config;
  return result;
}

}  // namespace quarvel
