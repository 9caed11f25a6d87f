// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmwarning.h"

#include "client/controls/xpcmdbutton.h"
#include "client/core/agentcontroller.h"
#include "client/ui/digitfilter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

FrmWarning::FrmWarning(AgentController& controller, QWidget* parent)
    : QWidget(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("frmwarning"));
    setWindowTitle(QStringLiteral("Warning"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);

    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("lblrshow"));
    auto* lockLine = new QLabel(LockLine, this);
    lockLine->setObjectName(QStringLiteral("lbllockline"));
    lockLine->setWordWrap(true);
    m_details = new XpCmdButton(QStringLiteral("Show Details"), this);
    m_details->setObjectName(QStringLiteral("cmdlogin"));

    m_options = new QGroupBox(QStringLiteral("Details"), this);
    m_options->setObjectName(QStringLiteral("options"));
    const SurfFields surf = makeSurfFields(m_options);
    m_surf = surf.minutes;
    m_auto = surf.autoLogoff;
    QLabel* surfLabel = surf.label;
    // The advertisement's text, shown to the customer with the session details.
    auto* advert = new QLabel(m_options);
    advert->setObjectName(QStringLiteral("lbladvertisement"));
    advert->setWordWrap(true);
    const QString text = controller.settings().read(RegKey::Advertisement, QStringLiteral("text"));
    advert->setText(AgentSettings::isSet(text) ? text : QString());
    advert->setVisible(!advert->text().isEmpty());
    auto* og = new QGridLayout(m_options);
    og->addWidget(new QLabel(QStringLiteral("I Will Approximately"), m_options), 0, 0, 1, 3);
    og->addWidget(surfLabel, 1, 0);
    og->addWidget(m_surf, 1, 1);
    og->addWidget(new QLabel(QStringLiteral("Min"), m_options), 1, 2);
    og->addWidget(m_auto, 2, 0, 1, 3);
    og->addWidget(advert, 3, 0, 1, 3);

    auto* top = new QGridLayout(this);
    top->addWidget(m_line, 0, 0);
    top->addWidget(m_details, 0, 1);
    top->addWidget(lockLine, 1, 0, 1, 2);
    top->addWidget(m_options, 2, 0, 1, 2);
    m_options->hide();
    resize(360, ShortHeight);
    fitHeight(ShortHeight);

    connect(m_details, &QPushButton::clicked, this, &FrmWarning::toggleDetails);
    connect(m_surf, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_controller.warningSurfChanged(t); });
    connect(m_auto, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_controller.warningAutoToggled(on, m_surf->text())) {
            const QSignalBlocker block(m_auto);
            m_auto->setChecked(false);
            m_surf->setFocus();
        }
    });
}

void FrmWarning::setRemaining(qint64 minutes)
{
    m_line->setText(QStringLiteral("Remaining Approximate Time ") + QString::number(minutes) +
                    QStringLiteral(" Min"));
}

void FrmWarning::toggleDetails()
{
    if (m_details->text() == QLatin1String("Show Details")) {
        m_details->setText(QStringLiteral("Hide Details"));
        const AgentSettings& s = m_controller.settings();
        const qint64 limit = s.surfupto();
        {
            // Filling the fields is not the customer's change: nothing is stored by it.
            const QSignalBlocker b1(m_surf);
            const QSignalBlocker b2(m_auto);
            if (limit > 0) {
                m_surf->setText(QString::number(limit));
            }
            m_auto->setChecked(s.autologoffOn());
        }
        m_options->show();
        fitHeight(TallHeight);
        // The customer asked for the fields: now the keys are meant for this window.
        acceptFocus(true);
        m_surf->setFocus();
    } else {
        m_details->setText(QStringLiteral("Show Details"));
        m_options->hide();
        fitHeight(ShortHeight);
        acceptFocus(false);
    }
    placeTopRight();
}

void FrmWarning::acceptFocus(bool accept)
{
    // On the native window only: changing the widget's flags would hide and re-create it.
    QWindow* w = windowHandle();
    if (!w) {
        return;
    }
    w->setFlag(Qt::WindowDoesNotAcceptFocus, !accept);
    if (accept) {
        activateWindow();
    }
}

void FrmWarning::placeTopRight()
{
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) {
        return;
    }
    const QRect r = s->availableGeometry();
    // Until the window manager has framed the window, its frame is a guess.
    const int frameWidth =
        frameGeometry().width() > width() ? frameGeometry().width() : width() + 2;
    move(r.x() + r.width() - frameWidth - 3, r.y() + 3);
}

void FrmWarning::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    placeTopRight();
    // Once more when the frame is there, so the whole window stays on the screen.
    QTimer::singleShot(200, this, &FrmWarning::placeTopRight);
}

void FrmWarning::fitHeight(int height)
{
    // The designed height, unless the fonts of this workstation need more.
    layout()->activate();
    setFixedHeight(std::max(height, minimumSizeHint().height()));
}

void FrmWarning::closeEvent(QCloseEvent* e)
{
    e->accept();
    m_controller.closeWarning();
}
