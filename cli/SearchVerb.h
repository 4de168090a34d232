#pragma once
// tazelctl search TEXT [--accounts] [-s NAME]: every stored server (or the one named) at once.

#include "cli/SessionRun.h"

int RunSearch(const CliContext& context);
