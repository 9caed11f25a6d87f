#include "platform/filemodes.h"

#include <sys/stat.h>

void FileModes::ownerOnlyNewFiles()
{
    ::umask(S_IRWXG | S_IRWXO);
}
