#include "platform/memory.h"

#include <malloc.h>

void Memory::returnFreed()
{
    malloc_trim(0);
}
