#include "programs/progress.h"

#include <cstdarg>
#include <cstring>

namespace {
bool lineopen = false;
}

void say(std::FILE* to, const char* format, ...)
{
    if (to == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(to, format, args);
    va_end(args);
    const size_t len = std::strlen(format);
    lineopen = len > 0 && format[len - 1] != '\n';
}

void endline(std::FILE* to)
{
    if (to != nullptr && lineopen) std::fputc('\n', to);
    lineopen = false;
}
