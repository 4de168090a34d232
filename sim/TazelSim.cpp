#include "sim/TazelSim.h"
