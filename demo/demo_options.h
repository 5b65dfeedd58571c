#pragma once

#include <string>
#include <vector>

namespace quarvel::demo {

// What the demo site's command line asks for.
struct DemoOptions {
  int lookupPort = 18080;
  int portalPort = 18081;
  int warrantyPort = 18443;
  bool run = true;      // false: print message and exit with exitCode
  std::string message;  // help, version or error text, ending in a newline
  int exitCode = 0;
};

// Reads --lookup-port N, --portal-port N, --warranty-port N (also as
// --option=N), --help and --version. A port is a whole number from 1 to 65535.
DemoOptions ParseDemoOptions(const std::vector<std::string>& arguments);

}  // namespace quarvel::demo
