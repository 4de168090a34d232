#include "actions/ScriptTarget.h"
#include "session/ServerSession.h"
// #include "cli/Output.h" is a comment, not an include
#include <cli/Output.h>
