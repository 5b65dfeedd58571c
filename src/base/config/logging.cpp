#include "base/config/logging.h"

namespace quarvel {

Q_LOGGING_CATEGORY(lcApp, "quarvel.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFetch, "quarvel.fetch", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLookup, "quarvel.lookup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWebPage, "quarvel.webpage", QtWarningMsg)
Q_LOGGING_CATEGORY(lcShare, "quarvel.share", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSystem, "quarvel.system", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWindows, "quarvel.windows", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "quarvel.files", QtWarningMsg)

}  // namespace quarvel
