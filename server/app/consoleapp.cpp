#include "server/app/consoleapp.h"

#include <QApplication>

int ConsoleApp::run(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}
