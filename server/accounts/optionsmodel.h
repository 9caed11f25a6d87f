// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class Database;
class SettingsStore;

// The console's settings as the options window edits them: the defaults row (next bill
// number, print-bill default, operator passwords), the console's local options (port, tray,
// date/time lock, start with the desktop session) and the cafe's details that bills and
// reports print.
class OptionsModel : public QObject
{
    Q_OBJECT
public:
    enum class Role
    {
        Administrator,
        Staff
    };
    enum class OldPassword
    {
        Empty,
        Wrong,
        Accepted
    };

    // Name of the desktop-session start entry.
    static inline const QString AutostartName = QStringLiteral("vkserver");
    static inline const QString BackupFolderValue = QStringLiteral("backupfolder");
    static constexpr int DefaultPort = 2701;

    explicit OptionsModel(Database& db, QObject* parent = nullptr);
    ~OptionsModel() override;

    // Reads everything afresh.
    void load();

    QString billNumberText() const { return m_billNumber; }
    bool printBill() const { return m_printBill; }
    QString portText() const { return m_port; }
    bool runAtStart() const { return m_runAtStart; }
    bool runMinimized() const { return m_runMinimized; }
    bool lockDateTime() const { return m_lockDateTime; }
    QStringList regionalList() const;

    QString cafeName() const;
    QString cafeAddress1() const;
    QString cafeAddress2() const;
    QString exportFolder() const;
    QString backupFolder() const;
    // The member minimum balance for prepaid time ("0" when never set).
    QString prepaidMinimum() const;

    // Written at once.
    void setLockDateTime(bool on);
    void setRunMinimized(bool on);
    bool setRunAtStart(bool on);
    // A port number is stored at once and returned; anything else gives back the port
    // shown before.
    QString commitPort(const QString& text);

    // A bill number may only be one that no bill has used, nor any later number (the bills
    // counting on from it would collide); refused with a message otherwise.
    bool checkBillNumber(const QString& text) const;

    struct Defaults
    {
        QString billNumber;
        bool printBill = false;
        QString cafeName;
        QString cafeAddress1;
        QString cafeAddress2;
        QString exportFolder;
        QString backupFolder;
        QString prepaidMinimum;
    };
    // Asks, checks the bill number again and stores; true when stored.
    bool save(const Defaults& d);

    // The owner's web page as the options window shows and edits it.
    struct WebForm
    {
        bool enabled = false;
        QString port;
        QString addresses;
        QString password; // empty: the password set stays
        QString retyped;
        QString certificateFile;
        QString keyFile;
    };
    WebForm webForm() const;
    // Checks and stores; a message says what was refused. True when stored.
    bool saveWeb(const WebForm& f);

    // Step 1 of a password change: the old password, blanks around it not counting.
    OldPassword checkOldPassword(Role role, const QString& text);
    // Last step: stores the new password when the retyped one matches.
    bool changePassword(Role role, const QString& newPassword, const QString& retyped);

private:
    QVariant storedPassword(Role role) const;
    void writeOption(const QString& name, const QString& value);

    Database& m_db;
    SettingsStore* m_store;
    QString m_billNumber;
    bool m_printBill = false;
    QString m_port;
    bool m_runAtStart = false;
    bool m_runMinimized = false;
    bool m_lockDateTime = false;
    bool m_oldAccepted[2] = {false, false};
};
