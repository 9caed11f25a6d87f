// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmactivate.h"

#include "client/controls/xpcmdbutton.h"
#include "client/core/agentcontroller.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

FrmActivate::FrmActivate(AgentController& controller, QWidget* parent)
    : QWidget(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("frmactivate"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint |
                   Qt::CustomizeWindowHint);
    setWindowTitle(AgentSettings::AppTitle);

    // Two labels on top of each other: a dark copy offset by a pixel gives the time a shadow.
    auto* holder = new QWidget(this);
    QFont f(QStringLiteral("Arial Black"), 20, QFont::Black);
    m_shadow = new QLabel(QStringLiteral("0:00:01"), holder);
    m_shadow->setObjectName(QStringLiteral("lbltime"));
    m_shadow->setFont(f);
    m_shadow->setStyleSheet(QStringLiteral("color: #404040"));
    m_time = new QLabel(QStringLiteral("0:00:01"), holder);
    m_time->setObjectName(QStringLiteral("lbltime"));
    m_time->setFont(f);
    m_time->setStyleSheet(QStringLiteral("color: #1060c0"));
    const QSize hint = m_time->sizeHint() + QSize(40, 2);
    holder->setFixedSize(hint);
    m_shadow->setGeometry(2, 2, hint.width() - 2, hint.height() - 2);
    m_time->setGeometry(0, 0, hint.width() - 2, hint.height() - 2);

    auto* label = new QLabel(QStringLiteral("Total Time Spent"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_prepaid = new QWidget(this);
    m_timeLeft = new QLabel(m_prepaid);
    m_timeLeft->setObjectName(QStringLiteral("lbltimeleft"));
    m_creditLeft = new QLabel(m_prepaid);
    m_creditLeft->setObjectName(QStringLiteral("lblcreditleft"));
    // The credit is the console's text.
    m_creditLeft->setTextFormat(Qt::PlainText);
    QFont bold = m_timeLeft->font();
    bold.setBold(true);
    m_timeLeft->setFont(bold);
    m_creditLeft->setFont(bold);
    auto* pg = new QGridLayout(m_prepaid);
    pg->setContentsMargins(0, 0, 0, 0);
    pg->addWidget(new QLabel(QStringLiteral("Time Left"), m_prepaid), 0, 0);
    pg->addWidget(m_timeLeft, 0, 1, Qt::AlignRight);
    pg->addWidget(new QLabel(QStringLiteral("Credit Left"), m_prepaid), 1, 0);
    pg->addWidget(m_creditLeft, 1, 1, Qt::AlignRight);
    m_logoff = new XpCmdButton(QStringLiteral("Log off"), this);
    m_logoff->setObjectName(QStringLiteral("cmdlogoff"));
    connect(m_logoff, &QPushButton::clicked, this, [this] { m_controller.prepaidLogoff(); });
    m_prepaid->hide();
    m_logoff->hide();

    auto* l = new QVBoxLayout(this);
    l->addWidget(label);
    l->addWidget(holder, 0, Qt::AlignCenter);
    l->addWidget(m_prepaid);
    l->addWidget(m_logoff);

    connect(&controller, &AgentController::sessionTick, this, &FrmActivate::refresh);
    setMinimumWidth(240);
    adjustSize();
    placeBottomRight();
}

void FrmActivate::placeBottomRight()
{
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) {
        return;
    }
    const QRect r = s->availableGeometry();
    // The frame is known only once the window manager has framed the window; until then the
    // title bar's usual height stands in for it.
    QSize size = frameGeometry().size();
    if (size == this->size()) {
        size += QSize(2, 26);
    }
    move(r.x() + r.width() - size.width() - 3, r.y() + r.height() - size.height());
}

QString FrmActivate::timeText() const
{
    return m_time->text();
}

void FrmActivate::showPrepaid(const AgentState& state)
{
    if (state.prepaid) {
        m_timeLeft->setText(m_controller.prepaidTimeText());
        m_creditLeft->setText(state.prepaidCredit);
    }
    if (m_prepaid->isHidden() != state.prepaid) {
        return;
    }
    m_prepaid->setVisible(state.prepaid);
    m_logoff->setVisible(state.prepaid);
    adjustSize();
    placeBottomRight();
}

void FrmActivate::refresh()
{
    const QString text = m_controller.clock().timeText();
    if (isMinimized()) {
        setWindowTitle(QStringLiteral("Time ") + text);
    } else {
        setWindowTitle(AgentSettings::AppTitle);
        m_time->setText(text);
        m_shadow->setText(text);
    }
    if (isVisible() && !isMinimized() && QGuiApplication::platformName() != u"offscreen") {
        raise();
    }
}

void FrmActivate::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    // Once more when the frame is there, so the whole window stays on the screen.
    QTimer::singleShot(200, this, &FrmActivate::placeBottomRight);
}

void FrmActivate::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMinimized()) {
        // Back once the window manager has finished minimizing it. Not when the session
        // ended meanwhile: the window is hidden then, on its way out, and showing it again
        // would put it above the lock screen.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && isVisible()) {
                showNormal();
                m_controller.sessionWindowRestored();
            }
        });
    }
}

void FrmActivate::closeEvent(QCloseEvent* e)
{
    // The session window goes with the session, not with the customer's click (it stays
    // where it is); the program's own closing (at exit) goes through.
    if (e->spontaneous()) {
        e->ignore();
        m_controller.sessionWindowCloseRefused();
        return;
    }
    e->accept();
}
