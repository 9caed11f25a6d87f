#include "server/app/consoleapp.h"

int main(int argc, char** argv)
{
    return ConsoleApp::run(argc, argv);
}
