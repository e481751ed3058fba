// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace memory {

void tune_allocator()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

void give_back_free_memory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace memory
