#include "coder/stop.h"

#include <cstdio>
#include <cstdlib>

void (*stophandler)(unsigned code) = nullptr;

void errorstop(unsigned code)
{
    if (stophandler != nullptr) stophandler(code);
    std::fprintf(stderr, "Error #%x\n", code);
    std::fflush(stderr);
    std::abort();
}

void throwingstop(unsigned code) { throw stopped{code}; }
