#include "cli/Output.h"
#include "session/ServerSession.h"
#include "store/ServerStore.h"
  #  include "window/frmMain.h"
