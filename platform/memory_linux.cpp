// SPDX-License-Identifier: Apache-2.0
#include "platform/memory.h"

#include <malloc.h>

void Memory::returnFreed()
{
    malloc_trim(0);
}
