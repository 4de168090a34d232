#include "store/ServerStore.h"
#include "protocol/Protocol.h"
#include "../session/Driver.h"
