#pragma once
#include <QString>
#include "protocol/LineReader.h"
#include "session/ServerSession.h"
