#pragma once

#include "base/config/config.h"

namespace quarvel::testing {

// Every host on loopback port 9, which refuses at once: a window built with
// it starts without waiting on any site.
inline Config OfflineConfig() {
  Config config;
  config.lookupHost = config.warrantyHost = config.portalHost = QStringLiteral("127.0.0.1:9");
  return config;
}

}  // namespace quarvel::testing
