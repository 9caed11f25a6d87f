// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmpicture.h"

#include "client/controls/xpcmdbutton.h"
#include "client/core/staffsettings.h"
#include "common/settingsstore.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

namespace {

FrmPicture::FileChooser& chooser()
{
    static FrmPicture::FileChooser c;
    return c;
}

QString chooseWithDialog(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter)
{
    // Qt's own dialog: a desktop portal's dialog would be another client, and the workstation
    // lock's grabs would keep it from getting any input.
    return QFileDialog::getOpenFileName(parent, title, folder, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

} // namespace

FrmPicture::FrmPicture(AgentSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("frmpicture"));
    setWindowTitle(QStringLiteral("VK Screen Setting"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_pictures = new QRadioButton(QStringLiteral("Use Pictures"), this);
    m_pictures->setObjectName(QStringLiteral("Option1"));
    m_wallpaper = new QRadioButton(QStringLiteral("Use Windows Wallpaper "), this);
    m_wallpaper->setObjectName(QStringLiteral("Option2"));
    // The lock runs its picture show whichever of the two is stored, and this desktop has no
    // wallpaper the lock could show instead: the choice would do nothing, so it is not offered.
    m_wallpaper->hide();
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("Path"));
    m_path->setMaxLength(SettingsStore::MaxValueLength);
    m_browse = new XpCmdButton(QStringLiteral("..."), this);
    m_browse->setObjectName(QStringLiteral("LoadPic"));
    m_browse->setMinimumSize(32, 24);
    m_speed = new QScrollBar(Qt::Horizontal, this);
    m_speed->setObjectName(QStringLiteral("speed"));
    m_speed->setRange(MinSpeedSeconds, MaxSpeedSeconds);
    m_speed->setPageStep(10);
    m_speedLabel = new QLabel(QStringLiteral("1 Sec"), this);
    m_speedLabel->setObjectName(QStringLiteral("lblspeed"));
    m_speedLabel->setMinimumWidth(60);
    auto* ok = new XpCmdButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("btnok"));
    auto* cancel = new XpCmdButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("btncancel"));
    for (XpCmdButton* b : {ok, cancel})
        b->setMinimumSize(80, 26);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_pictures, 0, 0, 1, 3);
    grid->addWidget(m_wallpaper, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Picture Path:"), this), 2, 0);
    grid->addWidget(m_path, 2, 1);
    grid->addWidget(m_browse, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Speed:"), this), 3, 0);
    grid->addWidget(m_speed, 3, 1);
    grid->addWidget(m_speedLabel, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setColumnMinimumWidth(1, 260);

    connect(m_pictures, &QRadioButton::toggled, this, &FrmPicture::optionChanged);
    connect(m_wallpaper, &QRadioButton::toggled, this, &FrmPicture::optionChanged);
    connect(m_speed, &QScrollBar::valueChanged, this, &FrmPicture::speedChanged);
    connect(m_browse, &QAbstractButton::clicked, this, &FrmPicture::browse);
    connect(ok, &QAbstractButton::clicked, this, &FrmPicture::ok);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);

    const StaffSettings::PictureOptions o = StaffSettings(m_settings).pictureOptions();
    if (o.speedSeconds > 0)
        m_speed->setValue(o.speedSeconds);
    if (o.pathSet)
        m_path->setText(o.path);
    if (o.pictureSet)
        (o.usePictures ? m_pictures : m_wallpaper)->setChecked(true);
}

QString FrmPicture::fileFilter()
{
    return QStringLiteral(
        "Supported types (*.bmp *.gif *.jpg *.jpeg);;Bitmap files (*.bmp);;Gif files (*.gif);;"
        "Jpeg files (*.jpeg);;Jpg files (*.jpg);;All files (*)");
}

void FrmPicture::setFileChooser(FileChooser c)
{
    chooser() = std::move(c);
}

void FrmPicture::optionChanged()
{
    const bool on = m_wallpaper->isHidden() || !m_wallpaper->isChecked();
    m_path->setEnabled(on);
    m_browse->setEnabled(on);
    m_speed->setEnabled(on);
}

void FrmPicture::speedChanged(int seconds)
{
    m_speedLabel->setText(QString::number(seconds) + QStringLiteral(" Sec"));
}

void FrmPicture::browse()
{
    const FileChooser& c = chooser() ? chooser() : FileChooser(chooseWithDialog);
    const QString file = c(this, DialogTitle, m_path->text(), fileFilter());
    if (!file.isEmpty())
        m_path->setText(StaffSettings::folderOf(file));
}

void FrmPicture::ok()
{
    StaffSettings(m_settings)
        .savePictureOptions(m_pictures->isChecked(), m_path->text(), m_speed->value());
    accept();
}
