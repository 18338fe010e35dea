#include "lib/restorer.h"

#include <new>

#include "common/stop.h"

void restorer_reserve(restorer* r, uint32_t size)
{
    if (r->capacity >= size) return;
    r->capacity = 0;
    for (blockjob& j : r->jobs) {
        j.block.reset(new (std::nothrow) uint8_t[size]);
        j.out.reset(new (std::nothrow) uint8_t[size]);
        if (!j.block || !j.out) errorstop(err_nomemory);
    }
    r->capacity = size;
}

void restorer_start(restorer* r, uint32_t count, uint32_t index)
{
    blockjob* const job = &r->jobs[r->turn];
    job->count = count;
    job->index = index;
    r->inhand = job;
    r->turn ^= 1;
    unsortspace* const space = &r->unsort;
    task_defer(&r->work, [job, space] {
        unsorttrans(space, job->block.get(), job->out.get(), job->count, job->index, job->histogram);
    });
}

blockjob* restorer_finish(restorer* r)
{
    blockjob* const job = r->inhand;
    r->inhand = nullptr;
    task_wait(&r->work);
    return job;
}

void restorer_drop(restorer* r)
{
    task_drop(&r->work);
    r->inhand = nullptr;
}

void restorer_free(restorer* r)
{
    restorer_drop(r);
    freeunsortspace(&r->unsort);
}
