#include "client/ui/agentapp.h"

int main(int argc, char** argv)
{
    return runAgent(argc, argv);
}
