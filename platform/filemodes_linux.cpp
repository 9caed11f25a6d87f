// SPDX-License-Identifier: Apache-2.0
#include "platform/filemodes.h"

#include <sys/stat.h>

void FileModes::ownerOnlyNewFiles()
{
    ::umask(S_IRWXG | S_IRWXO);
}
