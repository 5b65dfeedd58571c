// The demo site's command line.
#include <gtest/gtest.h>

#include "demo_options.h"

namespace quarvel::demo {
namespace {

DemoOptions Parse(std::vector<std::string> options) {
  options.insert(options.begin(), "/build/bin/quarvel-demo");
  return ParseDemoOptions(options);
}

TEST(DemoOptions, PortsInBothFormsAndTheDefaults) {
  const DemoOptions defaults = Parse({});
  EXPECT_TRUE(defaults.run);
  EXPECT_EQ(defaults.lookupPort, 18080);
  EXPECT_EQ(defaults.portalPort, 18081);
  EXPECT_EQ(defaults.warrantyPort, 18443);

  const DemoOptions chosen =
      Parse({"--lookup-port", "1", "--portal-port=65535", "--warranty-port", "28443"});
  EXPECT_TRUE(chosen.run);
  EXPECT_EQ(chosen.lookupPort, 1);
  EXPECT_EQ(chosen.portalPort, 65535);
  EXPECT_EQ(chosen.warrantyPort, 28443);
}

TEST(DemoOptions, HelpAndVersionStopWithoutServing) {
  for (const char* option : {"-h", "--help"}) {
    const DemoOptions help = Parse({"--lookup-port", "1", option});
    EXPECT_FALSE(help.run);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.message.rfind("Usage: quarvel-demo [options]\n", 0), 0u);
    EXPECT_EQ(help.message.find("/build"), std::string::npos);
  }
  EXPECT_EQ(Parse({"--version"}).message, "quarvel-demo " QUARVEL_VERSION "\n");
}

TEST(DemoOptions, BadInputIsRefusedWithExitTwoInsteadOfServingOnPortZero) {
  const struct {
    std::vector<std::string> options;
    const char* message;
  } cases[] = {
      {{"--bogus"}, "quarvel-demo: unknown option '--bogus'; try --help\n"},
      {{"--bogus=1"}, "quarvel-demo: unknown option '--bogus'; try --help\n"},
      {{"serve"}, "quarvel-demo: unexpected argument 'serve'; try --help\n"},
      {{"--lookup-port"}, "quarvel-demo: missing value after '--lookup-port'; try --help\n"},
      {{"--lookup-port", "http"},
       "quarvel-demo: 'http' is not a port (1 to 65535) for --lookup-port; try --help\n"},
      {{"--portal-port=0"},
       "quarvel-demo: '0' is not a port (1 to 65535) for --portal-port; try --help\n"},
      {{"--warranty-port", "65536"},
       "quarvel-demo: '65536' is not a port (1 to 65535) for --warranty-port; try --help\n"},
      {{"--warranty-port", "-5"},
       "quarvel-demo: '-5' is not a port (1 to 65535) for --warranty-port; try --help\n"},
      {{"--lookup-port="},
       "quarvel-demo: '' is not a port (1 to 65535) for --lookup-port; try --help\n"},
      {{"--lookup-port", "99999999999"},
       "quarvel-demo: '99999999999' is not a port (1 to 65535) for --lookup-port; try --help\n"},
  };
  for (const auto& c : cases) {
    const DemoOptions options = Parse(c.options);
    EXPECT_FALSE(options.run) << c.message;
    EXPECT_EQ(options.exitCode, 2) << c.message;
    EXPECT_EQ(options.message, c.message);
  }
}

}  // namespace
}  // namespace quarvel::demo
