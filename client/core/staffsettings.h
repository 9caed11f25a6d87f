// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

class AgentSettings;

// The rules of the staff's settings windows at the workstation: the settings password, its
// change, the lock-screen display mode, the picture show options and the advertisement texts.
class StaffSettings
{
public:
    static inline const QString ModeDefault = QStringLiteral("Default");
    static inline const QString ModePictures = QStringLiteral("VKPictures");
    static inline const QString ModeText = QStringLiteral("VKText");
    static inline const QString InvalidPassword = QStringLiteral("Invalid Password");
    static inline const QString InvalidOldPassword = QStringLiteral("Invalid old Password");
    static inline const QString NewPasswordMismatch = QStringLiteral("New Password Mismatch");
    static inline const QString MessageTitle = QStringLiteral("Message");
    // The longest password the settings store can give back (longer values read as unset).
    static constexpr int MaxPasswordLength = 254;

    static inline const QString PasswordNotStored =
        QStringLiteral("This password cannot be used, please choose another one");

    // A staff password check, held back after too many wrong ones (StaffThrottle).
    enum class Check
    {
        Right,
        Wrong,
        ShutOut
    };

    enum class Change
    {
        Saved,
        WrongOld,
        Mismatch,
        NotStored
    };

    struct PictureOptions
    {
        // "picture": absent, or true for "Use Pictures" / false for the wallpaper.
        bool pictureSet = false;
        bool usePictures = false;
        bool pathSet = false;
        QString path;
        // Whole seconds; 0 when "Speed" is not set or not above 0.
        int speedSeconds = 0;
    };

    explicit StaffSettings(AgentSettings& settings);

    // The stored password, or "TOVLE" when none is stored; compared exactly, case and all.
    QString referencePassword() const;
    bool passwordMatches(const QString& typed) const;
    // The settings window's check: while shut out nothing is compared; otherwise the outcome
    // is counted (time from the project clock).
    Check checkPassword(const QString& typed);
    // Seconds before a password is compared again (0: now).
    qint64 secondsShutOut() const;
    // What the password window says while shut out.
    static QString shutOutMessage(qint64 seconds);
    // Saves the new password when the old one is right and the confirmation agrees. An empty
    // new password is allowed and then is the password. A password the settings store cannot
    // give back as typed (the text "Error", which reads as "not set" and would leave the
    // built-in password in force) is refused and nothing changes.
    Change changePassword(const QString& oldPassword, const QString& newPassword,
                          const QString& confirm);
    static QString message(Change c);

    // The stored display mode; "Error" when not set.
    QString screenMode() const;
    bool screenModeSet() const;
    void setScreenMode(const QString& mode);
    // Modes with a "Setting" window of their own (only the pictures have one).
    static bool modeHasSettings(const QString& mode)
    {
        return mode == ModePictures || mode == ModeText;
    }

    // Both advertisement texts, only when both are stored.
    bool advertisement(QString* title, QString* text) const;
    void saveAdvertisement(const QString& title, const QString& text);

    PictureOptions pictureOptions() const;
    // Stores the options the way the picture window's Ok does: Speed in milliseconds, the path
    // field as it stands (also with the wallpaper chosen), "True" or "False".
    void savePictureOptions(bool usePictures, const QString& path, int speedSeconds);

    // The folder part of a chosen file: the text before its last separator.
    static QString folderOf(const QString& file);

private:
    AgentSettings& m_settings;
};
