// SPDX-License-Identifier: Apache-2.0
#include "support/testhome.h"

#include <QDir>
#include <QFile>

TestHome::TestHome()
{
    m_hadHome = qEnvironmentVariableIsSet("VANTIROKIT_HOME");
    m_oldHome = qgetenv("VANTIROKIT_HOME");
    qputenv("VANTIROKIT_HOME", m_dir.path().toLocal8Bit());
    m_oldCwd = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
}

TestHome::~TestHome()
{
    QDir::setCurrent(m_oldCwd);
    if (m_hadHome) {
        qputenv("VANTIROKIT_HOME", m_oldHome);
    } else {
        qunsetenv("VANTIROKIT_HOME");
    }
}

QString TestHome::errorLog() const
{
    QFile f(file(QStringLiteral("Morvek.txt")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
