// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Database;

// The member register: creating, editing and deleting `members` rows. The window pushes the
// texts of its boxes in before an action and shows what the register holds afterwards.
class MemberRegister : public QObject
{
    Q_OBJECT
public:
    struct Fields
    {
        QString name;
        QString address1;
        QString address2;
        QString email;
        QString openingBalance = QStringLiteral("0");
        QString password;
        QString category;
    };

    explicit MemberRegister(Database& db, QObject* parent = nullptr);

    QStringList memberIds() const;
    QStringList usageTypes() const;

    bool isNewMode() const { return m_newMode; }
    bool canDelete() const { return m_canDelete; }
    bool canSave() const { return m_canSave; }
    QString id() const { return m_id; }
    const Fields& fields() const { return m_fields; }

    void setId(const QString& id) { m_id = id; }
    void setFields(const Fields& f) { m_fields = f; }

    // Looks the typed or picked id up (surrounding blanks do not count): a known member is
    // shown for editing, an unknown one will be created by Save.
    void chooseId(const QString& id);
    // Empties everything for the next new member.
    void newRecord();
    // Asks, then writes; true when the member was stored.
    bool save();
    // Asks twice, then removes the member with its ledger entries; true when removed.
    bool remove();

    // Keys the opening-balance box takes: digits, the full stop and Backspace.
    static bool isAmountKey(int key, const QString& text);

Q_SIGNALS:
    // The register's state changed (mode, id, fields or the list of ids).
    void changed();

private:
    Database& m_db;
    QString m_id;
    QString m_storedId; // the member's id exactly as stored, while editing
    Fields m_fields;
    bool m_newMode = true;
    bool m_canDelete = false;
    bool m_canSave = false;
};
