// SPDX-License-Identifier: Apache-2.0
#include "client/core/pictureshow.h"

#include "client/core/agentsettings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

PictureShow::PictureShow(AgentSettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
    m_timer.setObjectName(QStringLiteral("tmrpicture"));
    connect(&m_timer, &QTimer::timeout, this, &PictureShow::tick);
}

void PictureShow::refresh()
{
    if (m_settings.read(RegKey::Screen, QStringLiteral("defaults")) != ModePictures)
        return;
    if (m_running) {
        const QString path = m_settings.read(RegKey::Picture, QStringLiteral("path"));
        const qint64 speed =
            AgentSettings::leadingNumber(m_settings.read(RegKey::Picture, QStringLiteral("Speed")));
        if (path == m_folder && std::clamp<qint64>(speed, 0, MaxIntervalMs) == m_interval)
            return;
    }
    start();
}

void PictureShow::start()
{
    stop();
    if (!AgentSettings::isSet(m_settings.read(RegKey::Picture, QStringLiteral("picture"))))
        return;
    m_running = true;
    Q_EMIT wallpaperRequested();
    const QString path = m_settings.read(RegKey::Picture, QStringLiteral("path"));
    if (!AgentSettings::isSet(path))
        return;
    m_folder = path;
    m_index = 0;
    relist();
    // "Speed" in milliseconds; unset, 0 or negative leaves the timer stopped for good.
    m_interval = int(std::clamp<qint64>(
        AgentSettings::leadingNumber(m_settings.read(RegKey::Picture, QStringLiteral("Speed"))), 0,
        MaxIntervalMs));
    if (m_interval > 0)
        m_timer.start(m_interval);
}

void PictureShow::stop()
{
    m_timer.stop();
    m_running = false;
    m_folder.clear();
    m_files.clear();
    m_interval = 0;
    m_index = 0;
}

void PictureShow::relist()
{
    m_files = listPictures(m_folder);
}

void PictureShow::tick()
{
    if (m_folder.isEmpty())
        return;
    // A folder that has gone (a network share dropped, say) leaves the current picture.
    if (!QFileInfo(m_folder).isDir())
        return;
    if (m_index >= m_files.size()) {
        m_index = 0;
        // Each round looks at the folder afresh, so added and removed pictures are noticed.
        relist();
    }
    if (m_files.isEmpty()) {
        if (m_display)
            m_display(QString());
        return;
    }
    const QString name = m_files.at(m_index);
    if (!name.isEmpty() && m_display)
        m_display(QDir(m_folder).filePath(name)); // false: unreadable, the previous one stays
    ++m_index;
}

QStringList PictureShow::listPictures(const QString& folder)
{
    static const QStringList kinds = {QStringLiteral("bmp"), QStringLiteral("gif"),
                                      QStringLiteral("jpeg"), QStringLiteral("jpg")};
    QStringList names;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Readable | QDir::Hidden);
    for (const QFileInfo& fi : entries) {
        if (kinds.contains(fi.suffix(), Qt::CaseInsensitive))
            names << fi.fileName();
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QPoint PictureShow::placement(const QSize& screen, int captionHeight, const QSize& picture)
{
    return QPoint((screen.width() - picture.width()) / 2,
                  (screen.height() + captionHeight) / 2 - picture.height() / 2);
}
