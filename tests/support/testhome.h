// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh, empty home folder for one test: $VANTIROKIT_HOME points at it and the current
// folder moves into it (the error log is written there), both restored on destruction.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // Contents of the error log written so far ("" when none).
    QString errorLog() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    bool m_hadHome = false;
    QString m_oldCwd;
};
