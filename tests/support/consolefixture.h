// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/clock.h"
#include "server/core/database.h"
#include "support/scriptedprompt.h"
#include "support/testdatabase.h"
#include "support/testhome.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <QtTest>

#include <memory>

// A fresh home with the console's database open (see testdatabase.h for which one), every prompt
// answered from a script and the clock set back afterwards. Header-only: it needs the server's
// database, which the support library does not link.
class ConsoleFixture
{
protected:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<ScriptedPrompt> m_prompt;

    void openConsole()
    {
        m_home = std::make_unique<TestHome>();
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(testDatabaseTarget(*m_home)));
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void closeConsole()
    {
        m_prompt.reset();
        m_db.reset();
        m_home.reset();
        Clock::reset();
    }
    qint64 count(const QString& table) const
    {
        return m_db->scalar(QStringLiteral("SELECT count(*) FROM ") + table).toLongLong();
    }
};

// Keys as the keyboard sends them: to the control that has the focus in the active window.
inline void typeKeys(const QString& text)
{
    QTest::keyClicks(QApplication::focusWidget(), text);
}
inline void pressKey(Qt::Key key)
{
    QTest::keyClick(QApplication::focusWidget(), key);
}

// A named control of a window; a missing one is reported by name before the test trips on it.
template <typename T> T* child(const QWidget& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (c == nullptr) {
        qWarning("no control %s", qPrintable(name));
    }
    return c;
}

// A value typed over a box's text and confirmed with Enter, as the cashier enters an id or
// a number.
inline void enterText(QLineEdit* box, const QString& text)
{
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
}
inline void enterText(QComboBox* box, const QString& text)
{
    box->setEditText(text);
    QTest::keyClick(box, Qt::Key_Return);
}
