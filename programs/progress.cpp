#include "programs/progress.h"

#include <cstdarg>
#include <cstring>

void say(progress* p, const char* format, ...)
{
    if (p->to == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(p->to, format, args);
    va_end(args);
    const size_t len = std::strlen(format);
    p->lineopen = len > 0 && format[len - 1] != '\n';
}

void endline(progress* p)
{
    if (p->to != nullptr && p->lineopen) std::fputc('\n', p->to);
    p->lineopen = false;
}
