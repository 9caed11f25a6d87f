// SPDX-License-Identifier: Apache-2.0
#include "client/core/staffsettings.h"

#include "client/core/agentsettings.h"
#include "client/core/staffthrottle.h"
#include "common/clock.h"

#include <algorithm>

StaffSettings::StaffSettings(AgentSettings& settings) : m_settings(settings) {}

QString StaffSettings::referencePassword() const
{
    return m_settings.settingsPassword();
}

bool StaffSettings::passwordMatches(const QString& typed) const
{
    return typed == referencePassword();
}

StaffSettings::Check StaffSettings::checkPassword(const QString& typed)
{
    StaffThrottle throttle(m_settings);
    const QDateTime now = Clock::now();
    if (throttle.secondsLeft(now) > 0)
        return Check::ShutOut;
    const bool right = passwordMatches(typed);
    throttle.record(right, now);
    return right ? Check::Right : Check::Wrong;
}

qint64 StaffSettings::secondsShutOut() const
{
    return StaffThrottle(m_settings).secondsLeft(Clock::now());
}

QString StaffSettings::shutOutMessage(qint64 seconds)
{
    return QStringLiteral("Too many wrong passwords. Try again in %1 seconds.").arg(seconds);
}

StaffSettings::Change StaffSettings::changePassword(const QString& oldPassword,
                                                    const QString& newPassword,
                                                    const QString& confirm)
{
    if (oldPassword != referencePassword())
        return Change::WrongOld;
    if (newPassword != confirm)
        return Change::Mismatch;
    if (!AgentSettings::isSet(newPassword) || newPassword.size() > MaxPasswordLength)
        return Change::NotStored;
    const QString before = m_settings.read(RegKey::Password, QStringLiteral("psw"));
    m_settings.write(RegKey::Password, QStringLiteral("psw"), newPassword);
    if (referencePassword() != newPassword) {
        // Not readable back as typed: put the old value back rather than report a change
        // that did not happen.
        if (AgentSettings::isSet(before))
            m_settings.write(RegKey::Password, QStringLiteral("psw"), before);
        return Change::NotStored;
    }
    return Change::Saved;
}

QString StaffSettings::message(Change c)
{
    switch (c) {
    case Change::WrongOld:
        return InvalidOldPassword;
    case Change::Mismatch:
        return NewPasswordMismatch;
    case Change::NotStored:
        return PasswordNotStored;
    case Change::Saved:
        break;
    }
    return {};
}

QString StaffSettings::screenMode() const
{
    return m_settings.read(RegKey::Screen, QStringLiteral("defaults"));
}

bool StaffSettings::screenModeSet() const
{
    return AgentSettings::isSet(screenMode());
}

void StaffSettings::setScreenMode(const QString& mode)
{
    m_settings.write(RegKey::Screen, QStringLiteral("defaults"), mode);
}

bool StaffSettings::advertisement(QString* title, QString* text) const
{
    const QString t = m_settings.read(RegKey::Advertisement, QStringLiteral("title"));
    const QString x = m_settings.read(RegKey::Advertisement, QStringLiteral("text"));
    if (!AgentSettings::isSet(t) || !AgentSettings::isSet(x))
        return false;
    *title = t;
    *text = x;
    return true;
}

void StaffSettings::saveAdvertisement(const QString& title, const QString& text)
{
    m_settings.write(RegKey::Advertisement, QStringLiteral("title"), title);
    m_settings.write(RegKey::Advertisement, QStringLiteral("text"), text);
}

StaffSettings::PictureOptions StaffSettings::pictureOptions() const
{
    PictureOptions o;
    const QString speed = m_settings.read(RegKey::Picture, QStringLiteral("Speed"));
    if (AgentSettings::isSet(speed)) {
        const qint64 ms = AgentSettings::leadingNumber(speed);
        if (ms > 0)
            o.speedSeconds = int(std::min<qint64>(ms / 1000, 1000000));
    }
    const QString path = m_settings.read(RegKey::Picture, QStringLiteral("path"));
    o.pathSet = AgentSettings::isSet(path);
    if (o.pathSet)
        o.path = path;
    const QString picture = m_settings.read(RegKey::Picture, QStringLiteral("picture"));
    o.pictureSet = AgentSettings::isSet(picture);
    // Read as a truth value: "True" (any case) or a non-zero number.
    o.usePictures = picture.trimmed().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
                    AgentSettings::leadingNumber(picture) != 0;
    return o;
}

void StaffSettings::savePictureOptions(bool usePictures, const QString& path, int speedSeconds)
{
    m_settings.write(RegKey::Picture, QStringLiteral("Speed"),
                     QString::number(qint64(speedSeconds) * 1000));
    m_settings.write(RegKey::Picture, QStringLiteral("path"), path);
    m_settings.write(RegKey::Picture, QStringLiteral("picture"),
                     usePictures ? QStringLiteral("True") : QStringLiteral("False"));
}

QString StaffSettings::folderOf(const QString& file)
{
    const int cut =
        std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
    if (cut == 0)
        return file.left(1); // a file in the root folder
    return cut < 0 ? QString() : file.left(cut);
}
