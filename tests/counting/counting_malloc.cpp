#include "counting_malloc.h"

#include <cerrno>
#include <cstddef>

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;
thread_local void (*hook)() = nullptr;

void note()
{
    if (!counting)
        return;
    ++allocations;
    if (hook) {
        counting = false;
        hook();
        counting = true;
    }
}
} // namespace

namespace CountingMalloc {

bool available()
{
#ifdef __SANITIZE_ADDRESS__
    return false;
#else
    return true;
#endif
}

void start(void (*onEach)())
{
    allocations = 0;
    hook = onEach;
    counting = true;
}

long stop()
{
    counting = false;
    hook = nullptr;
    return allocations;
}

} // namespace CountingMalloc

#ifndef __SANITIZE_ADDRESS__
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *p, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);

void *malloc(std::size_t size)
{
    note();
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    note();
    return __libc_calloc(count, size);
}

void *realloc(void *p, std::size_t size)
{
    note();
    return __libc_realloc(p, size);
}

void *memalign(std::size_t alignment, std::size_t size)
{
    note();
    return __libc_memalign(alignment, size);
}

void *aligned_alloc(std::size_t alignment, std::size_t size)
{
    note();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void **out, std::size_t alignment, std::size_t size)
{
    note();
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : ENOMEM;
}
}
#endif
