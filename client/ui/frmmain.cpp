// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmmain.h"

#include "client/controls/builtinpicture.h"
#include "client/controls/xpcmdbutton.h"
#include "client/core/agentcontroller.h"
#include "client/core/pictureshow.h"
#include "client/ui/digitfilter.h"
#include "client/ui/prepaidloginbox.h"
#include "common/clock.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The shipped picture; a plain panel should the resource ever be missing.
QPixmap builtInPicture()
{
    QPixmap pm = builtInLockPicture();
    if (pm.isNull()) {
        pm = QPixmap(480, 300);
        pm.fill(QColor(24, 60, 110));
    }
    return pm;
}

} // namespace

bool FrmMain::windowSystemStacks()
{
    // Without a window system (offscreen, minimal) nothing can cover the window.
    const QString p = QGuiApplication::platformName();
    return p != QLatin1String("offscreen") && p != QLatin1String("minimal");
}

FrmMain::FrmMain(AgentController& controller, QWidget* parent)
    : QWidget(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("frmmain"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 32, 64));
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("LBLCAPTION"));
    m_caption->setAlignment(Qt::AlignCenter);
    QFont cf(QStringLiteral("Bookman Old Style"), 20, QFont::Bold);
    cf.setStyleHint(QFont::Serif);
    m_caption->setFont(cf);
    m_caption->setAutoFillBackground(true);
    QPalette cp = m_caption->palette();
    cp.setColor(QPalette::Window, QColor(0, 0, 40));
    cp.setColor(QPalette::WindowText, QColor(255, 230, 120));
    m_caption->setPalette(cp);
    m_caption->setMinimumHeight(48);
    // The caption carries the console's refusals, which are shown as they were written.
    m_caption->setTextFormat(Qt::PlainText);

    // The advertisement's title, where the cafe puts its own line under the caption.
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lbladvertisement"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    const QString title =
        controller.settings().read(RegKey::Advertisement, QStringLiteral("title"));
    m_title->setText(AgentSettings::isSet(title) ? title : QString());
    m_title->setVisible(!m_title->text().isEmpty());

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("backimage"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setPixmap(builtInPicture());
    m_picture->resize(m_picture->pixmap().size());

    m_options = new QGroupBox(QStringLiteral("Options"), this);
    m_options->setObjectName(QStringLiteral("options"));
    m_options->setAutoFillBackground(true);
    QPalette op = m_options->palette();
    op.setColor(QPalette::Window, QColor(236, 233, 216));
    op.setColor(QPalette::WindowText, Qt::black);
    m_options->setPalette(op);
    const SurfFields surf = makeSurfFields(m_options);
    m_surf = surf.minutes;
    m_auto = surf.autoLogoff;
    QLabel* surfLabel = surf.label;
    m_passwordLabel = new QLabel(QStringLiteral("&Password"), m_options);
    m_passwordLabel->setObjectName(QStringLiteral("lblpassword"));
    m_password = new QLineEdit(m_options);
    m_password->setObjectName(QStringLiteral("txtpassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_passwordLabel->setBuddy(m_password);
    m_login = new XpCmdButton(QStringLiteral("&Login"), m_options);
    m_login->setObjectName(QStringLiteral("cmdlogin"));

    auto* og = new QGridLayout(m_options);
    og->addWidget(new QLabel(QStringLiteral("I Will Approximately"), m_options), 0, 0, 1, 3);
    og->addWidget(surfLabel, 1, 0);
    og->addWidget(m_surf, 1, 1);
    og->addWidget(new QLabel(QStringLiteral("Min"), m_options), 1, 2);
    og->addWidget(m_auto, 2, 0, 1, 3);
    og->addWidget(m_passwordLabel, 3, 0);
    og->addWidget(m_password, 3, 1, 1, 2);
    og->addWidget(new QLabel(QStringLiteral("Login and start Surfing"), m_options), 4, 0, 1, 2);
    og->addWidget(m_login, 4, 2);
    m_options->setFixedWidth(420);
    m_options->hide();

    m_prepaid = new PrepaidLoginBox(this);

    m_taskbar = new QWidget(this);
    m_taskbar->setObjectName(QStringLiteral("taskbar"));
    m_taskbar->setAutoFillBackground(true);
    QPalette tp = m_taskbar->palette();
    tp.setColor(QPalette::Window, QColor(0, 60, 140));
    tp.setColor(QPalette::WindowText, Qt::white);
    m_taskbar->setPalette(tp);
    m_system = new XpCmdButton(QStringLiteral("System"), m_taskbar);
    m_system->setObjectName(QStringLiteral("cmdsystem"));
    m_date = new QLabel(m_taskbar);
    m_date->setObjectName(QStringLiteral("lbldatetime"));
    m_date->setText(QLocale::system().toString(Clock::now().date(), QLocale::LongFormat));
    auto* tl = new QHBoxLayout(m_taskbar);
    tl->setContentsMargins(4, 2, 4, 2);
    tl->addWidget(m_system);
    tl->addStretch();
    tl->addWidget(m_date);

    auto* centre = new QVBoxLayout;
    centre->addStretch();
    centre->addWidget(m_options, 0, Qt::AlignHCenter);
    centre->addStretch();
    centre->addWidget(m_prepaid, 0, Qt::AlignHCenter);
    centre->addSpacing(12);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(m_caption);
    top->addWidget(m_title);
    top->addLayout(centre, 1);
    top->addWidget(m_taskbar);

    m_menu = new QMenu(QStringLiteral("system"), this);
    m_menu->setObjectName(QStringLiteral("mnusystem"));
    m_settingsItem = m_menu->addAction(QStringLiteral("Settings"));
    m_settingsItem->setObjectName(QStringLiteral("mnusettings"));
    m_menu->addSeparator();
    m_restartItem = m_menu->addAction(QStringLiteral("Restart"));
    m_restartItem->setObjectName(QStringLiteral("mnurestart"));
    m_shutdownItem = m_menu->addAction(QStringLiteral("Shut down"));
    m_shutdownItem->setObjectName(QStringLiteral("mnushutdown"));
    m_restartItem->setEnabled(false);
    m_shutdownItem->setEnabled(false);

    connect(m_system, &QPushButton::clicked, this, &FrmMain::openSystemMenu);
    connect(m_settingsItem, &QAction::triggered, this, &FrmMain::settingsRequested);
    connect(m_restartItem, &QAction::triggered, this,
            [this] { m_controller.restartWorkstation(); });
    connect(m_shutdownItem, &QAction::triggered, this,
            [this] { m_controller.shutdownWorkstation(); });
    connect(m_login, &QPushButton::clicked, this, &FrmMain::login);
    connect(m_password, &QLineEdit::returnPressed, this, &FrmMain::login);
    connect(m_prepaid, &PrepaidLoginBox::loginRequested, this,
            [this] { m_controller.prepaidLogin(m_prepaid->credentials()); });
    connect(m_auto, &QCheckBox::toggled, this, [this](bool on) {
        if (on && !m_controller.autoLogoffTicked(m_surf->text())) {
            const QSignalBlocker block(m_auto);
            m_auto->setChecked(false);
        }
    });

    m_safety = new QTimer(this);
    m_safety->setObjectName(QStringLiteral("timerwarning"));
    m_safety->setInterval(SafetyRaiseMs);
    connect(m_safety, &QTimer::timeout, this, [this] {
        // A lock screen shown for days keeps today's date.
        m_date->setText(QLocale::system().toString(Clock::now().date(), QLocale::LongFormat));
        keepOnTop();
    });
    m_safety->start();

    m_show = new PictureShow(controller.settings(), this);
    m_show->setObjectName(QStringLiteral("tmrpicture"));
    m_show->setDisplay([this](const QString& path) {
        if (path.isEmpty()) {
            showPicture(builtInPicture());
            return true;
        }
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull()) {
            return false; // the previous picture stays
        }
        showPicture(QPixmap::fromImage(image));
        return true;
    });
    // Until the first picture of a show, the plain background stands for the wallpaper.
    connect(m_show, &PictureShow::wallpaperRequested, this, [this] {
        m_pictureWanted = false;
        updatePicture();
    });

    coverScreen();
}

void FrmMain::showPicture(const QPixmap& picture)
{
    m_picture->setPixmap(picture);
    m_picture->resize(picture.size());
    placePicture();
    m_pictureWanted = true;
    updatePicture();
}

void FrmMain::updatePicture()
{
    m_picture->setVisible(m_pictureWanted && m_options->isHidden());
}

void FrmMain::placePicture()
{
    // At its own size, centred across the screen and in the area below the caption line.
    m_picture->move(PictureShow::placement(size(), m_caption->height(), m_picture->size()));
    m_picture->lower();
}

void FrmMain::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    placePicture();
}

void FrmMain::startPictureShow()
{
    m_show->start();
}

void FrmMain::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    m_show->refresh();
}

void FrmMain::coverScreen()
{
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) {
        return;
    }
    setGeometry(s->geometry());
    // A resolution change must not leave part of the desktop uncovered.
    connect(s, &QScreen::geometryChanged, this, &FrmMain::followScreen, Qt::UniqueConnection);
}

void FrmMain::followScreen(const QRect& geometry)
{
    setGeometry(geometry);
}

void FrmMain::applyState(const AgentState& state)
{
    m_caption->setText(state.caption);
    m_options->setVisible(state.optionsVisible);
    updatePicture();
    m_passwordLabel->setVisible(state.passwordVisible);
    m_password->setVisible(state.passwordVisible);
    // The options panel is the login of a session the cashier started; the prepaid login is
    // for a free workstation, and not while the console checks a session password.
    m_prepaid->setVisible(!state.optionsVisible && !state.checkingPassword);
}

void FrmMain::fillOptions(const QString& surfText, bool autoChecked)
{
    if (!surfText.isEmpty()) {
        m_surf->setText(surfText);
    }
    const QSignalBlocker block(m_auto);
    m_auto->setChecked(autoChecked);
}

void FrmMain::focusSurfTime()
{
    m_surf->setFocus();
}

void FrmMain::focusPassword()
{
    if (m_options->isHidden()) {
        m_prepaid->focusFirstField();
        return;
    }
    m_password->setFocus();
}

void FrmMain::clearPassword()
{
    m_password->clear();
}

void FrmMain::clearPrepaidPassword()
{
    m_prepaid->clearPassword();
}

void FrmMain::enablePowerItems()
{
    m_restartItem->setEnabled(true);
    m_shutdownItem->setEnabled(true);
}

void FrmMain::setPicture(const QPixmap& picture)
{
    showPicture(picture.isNull() ? builtInPicture() : picture);
}

void FrmMain::login()
{
    m_controller.login(m_surf->text(), m_auto->isChecked(), m_password->text());
}

void FrmMain::openSystemMenu()
{
    m_paused = true;
    const QPointer<FrmMain> self(this);
    m_menu->exec(QCursor::pos());
    // A command that arrived while the menu was open may have unloaded this window.
    if (self) {
        m_paused = false;
    }
}

void FrmMain::keepOnTop()
{
    if (!isVisible() || m_paused) {
        return;
    }
    // Our own dialogs, message boxes and menus stay usable above the lock screen.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        return;
    }
    QWidget* active = QApplication::activeWindow();
    if (active && active != this && active->isVisible() &&
        active->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        return;
    }
    if (isMinimized()) {
        showNormal();
    }
    if (!windowSystemStacks()) {
        return;
    }
    raise();
    activateWindow();
}

bool FrmMain::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowDeactivate:
    case QEvent::WindowStateChange:
    case QEvent::Show:
        // Something may have covered us: come back on top once the event has settled.
        QTimer::singleShot(0, this, &FrmMain::keepOnTop);
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void FrmMain::closeEvent(QCloseEvent* e)
{
    // The agent only ever hides or deletes the lock screen: a close comes from another
    // program on the display (the window manager's close request), and would free the desktop.
    e->ignore();
}

void FrmMain::keyPressEvent(QKeyEvent* e)
{
    // Nothing is done here: whoever pressed the key must still give the staff password.
    if (e->key() == ExitKey) {
        Q_EMIT exitRequested();
        return;
    }
    if (e->key() == UnlockKey) {
        Q_EMIT unlockRequested();
        return;
    }
    QWidget::keyPressEvent(e);
}
