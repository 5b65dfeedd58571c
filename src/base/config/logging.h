#pragma once

#include <QLoggingCategory>

// The program's own diagnostics. Debug and info messages are off unless
// QT_LOGGING_RULES turns them on (for example "quarvel.*.debug=true");
// warnings, kept for real problems, are always printed.
namespace quarvel {

Q_DECLARE_LOGGING_CATEGORY(lcApp)      // quarvel.app: start-up, assets, restart
Q_DECLARE_LOGGING_CATEGORY(lcFetch)    // quarvel.fetch: HTTP fetches
Q_DECLARE_LOGGING_CATEGORY(lcLookup)   // quarvel.lookup: the two lookup paths
Q_DECLARE_LOGGING_CATEGORY(lcWebPage)  // quarvel.webpage: page automation
Q_DECLARE_LOGGING_CATEGORY(lcShare)    // quarvel.share: copy, capture, saving
Q_DECLARE_LOGGING_CATEGORY(lcSystem)   // quarvel.system: voice cues, menus, registry
Q_DECLARE_LOGGING_CATEGORY(lcWindows)  // quarvel.windows: about and month table
Q_DECLARE_LOGGING_CATEGORY(lcFiles)    // quarvel.files: files the program writes

}  // namespace quarvel
