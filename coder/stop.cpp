#include "coder/stop.h"

#include <cstdio>
#include <cstdlib>

void (*stophandler)(unsigned code) = nullptr;
void (*stopfinish)() = nullptr;

void errorstop(unsigned code)
{
    if (stopfinish != nullptr) {
        void (*const finish)() = stopfinish;
        stopfinish = nullptr;
        finish();
    }
    std::fprintf(stderr, "Error #%x\n", code);
    std::fflush(stderr);
    if (stophandler != nullptr) stophandler(code);
    std::abort();
}
