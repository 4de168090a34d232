#pragma once
// The bulk add's runner lives in the session core (session/BulkAddRunner.h), shared with tazelctl's
// account import.
#include "session/BulkAddRunner.h"
