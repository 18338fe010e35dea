#include "coder/stop.h"

#include <cstdio>
#include <cstdlib>

void (*stophandler)(unsigned code) = nullptr;

void errorstop(unsigned code)
{
    std::fprintf(stderr, "Error #%x\n", code);
    std::fflush(stderr);
    if (stophandler != nullptr) stophandler(code);
    std::abort();
}
