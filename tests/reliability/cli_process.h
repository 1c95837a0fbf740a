// Moved: the one CLI runner of the tests lives in tests/support.
#include "tests/support/cli_runner.h"
