#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QCommandLineParser;

namespace quarvel {

// Every host name and link the program uses. The compiled-in defaults point
// at the bundled demo site on loopback, so the program runs out of the box.
struct Config {
  QString lookupHost = QStringLiteral("127.0.0.1:18080");    // lookup site (http)
  QString warrantyHost = QStringLiteral("127.0.0.1:18443");  // maker's warranty page (https)
  QString portalHost = QStringLiteral("127.0.0.1:18081");    // portal start page (bare host)

  // Contact details and links shown by the about window.
  QString imAccount = QStringLiteral("10000");
  QString email = QStringLiteral("tal@example.com");
  QString address = QStringLiteral("示例省示例市");
  QString statusImageUrl;  // empty: derived from the portal host
  QString chatLink;        // empty: derived from the portal host
  QString chatLink2;       // empty: derived from the portal host

  QString WarrantyPageUrl() const;
  QString StatusImage() const;
  QString ChatLink() const;
  QString SecondChatLink() const;
};

// Outcome of reading the command line and the environment.
struct ConfigResult {
  std::optional<Config> config;  // set when the program should run
  QString message;               // help, version or error text
  int exitCode = 0;              // when config is empty
  QString screenshotPath;        // --screenshot: save the main window and quit
};

// True for HOST or HOST:PORT with a plausible host name and port.
bool IsValidHost(const QString& host);

// --lookup-host, --warranty-host and --portal-host, shared by every program.
QList<QCommandLineOption> HostOptions();

// The help text's line on the host environment variables.
QString HostEnvironmentHelp();

// Sets the hosts of `config` from the host options of `parser` (added with
// HostOptions) or else from the environment. Returns what is wrong, without
// a program name, when a value is not a host; empty when all are.
QString ApplyHosts(const QCommandLineParser& parser,
                   const std::function<QString(const char*)>& environment, Config* config);

// An option a parser names without its dashes as the user typed it ("--foo",
// "-foo", "-V"; without any "=value"), from the arguments with the program's
// name first.
QString AsTyped(const QStringList& arguments, const QString& name);

// Options beat environment variables (QUARVEL_LOOKUP_HOST, QUARVEL_WARRANTY_HOST,
// QUARVEL_PORTAL_HOST), which beat the compiled-in defaults.
ConfigResult LoadConfig(const QStringList& arguments,
                        const std::function<QString(const char*)>& environment);

}  // namespace quarvel
