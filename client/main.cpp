// SPDX-License-Identifier: Apache-2.0
#include "client/ui/agentapp.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // The version comes from the build (project(VERSION) in the top CMakeLists.txt), the one
    // place the packages take theirs from too.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vantirokit-client %s\n", VK_VERSION);
        return 0;
    }
    QCoreApplication::setApplicationVersion(QStringLiteral(VK_VERSION));
    return runAgent(argc, argv);
}
