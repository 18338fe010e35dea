#include "common/stop.h"

void errorstop(unsigned code) { throw stopped{code}; }
