// quarvel-cli: offline number checks, batch lookups and the lookup history,
// without a display. The commands are in the table of cli/commands.h.
#include "cli/commands.h"

int main(int argc, char** argv) { return quarvel::cli::Dispatch(argc, argv); }
