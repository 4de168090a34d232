#pragma once
// The bulk add's runner lives in the session core (engine/BulkAddRunner.h), shared with tazelctl's
// account import.
#include "engine/BulkAddRunner.h"
