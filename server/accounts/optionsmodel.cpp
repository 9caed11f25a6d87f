// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/optionsmodel.h"

#include "common/money.h"
#include "common/prompt.h"
#include "common/settingsstore.h"
#include "platform/autostart.h"
#include "platform/localemoney.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/weboptions.h"
#include "server/core/administration.h"
#include "server/core/claims.h"
#include "server/core/database.h"

#include <QCoreApplication>
#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmOptions");

int roleIndex(OptionsModel::Role role)
{
    return role == OptionsModel::Role::Administrator ? 0 : 1;
}

QString roleColumn(OptionsModel::Role role)
{
    return role == OptionsModel::Role::Administrator ? QStringLiteral("admin")
                                                     : QStringLiteral("\"user\"");
}

// A bill number is a whole number from 1 on.
bool parseBillNumber(const QString& text, qlonglong& out)
{
    bool ok = false;
    out = text.trimmed().toLongLong(&ok);
    return ok && out > 0;
}

} // namespace

OptionsModel::OptionsModel(Database& db, QObject* parent)
    : QObject(parent), m_db(db), m_store(new SettingsStore)
{
    load();
}

OptionsModel::~OptionsModel()
{
    delete m_store;
}

void OptionsModel::load()
{
    const auto row =
        m_db.firstRow(QStringLiteral("SELECT billno, printbill FROM defalt LIMIT 1"), {}, Label);
    m_billNumber = row ? row->value(0).toString() : QString();
    m_printBill = row && row->value(1).toInt() != 0;
    m_runAtStart = Autostart::isEnabled(AutostartName);
    m_runMinimized =
        m_store->readValue(RegKey::Options, QStringLiteral("RunMinimized")) == QLatin1String("1");
    m_lockDateTime =
        m_store->readValue(RegKey::Options, QStringLiteral("lockdatetime")) == QLatin1String("1");
    const QString port = m_store->readValue(RegKey::Options, QStringLiteral("port"));
    m_port = port == SettingsStore::Error ? QString::number(DefaultPort) : port;
}

QStringList OptionsModel::regionalList() const
{
    return LocaleMoney::regionalList();
}

QString OptionsModel::cafeName() const
{
    return ConsoleSettings().cafeName();
}

QString OptionsModel::cafeAddress1() const
{
    return ConsoleSettings().cafeAddress1();
}

QString OptionsModel::cafeAddress2() const
{
    return ConsoleSettings().cafeAddress2();
}

QString OptionsModel::exportFolder() const
{
    return ConsoleSettings().exportFolder();
}

QString OptionsModel::backupFolder() const
{
    const QString v = m_store->readValue(RegKey::Options, BackupFolderValue);
    return v == SettingsStore::Error ? QString() : v;
}

QString OptionsModel::prepaidMinimum() const
{
    return ConsoleSettings().prepaidMinimum().toString();
}

void OptionsModel::writeOption(const QString& name, const QString& value)
{
    // The store writes only into keys that exist.
    m_store->createKey(RegKey::Product);
    m_store->createKey(RegKey::Options);
    m_store->writeValue(RegKey::Options, name, value);
}

void OptionsModel::setLockDateTime(bool on)
{
    writeOption(QStringLiteral("lockdatetime"), on ? QStringLiteral("1") : QStringLiteral("0"));
    m_lockDateTime = on;
}

void OptionsModel::setRunMinimized(bool on)
{
    writeOption(QStringLiteral("RunMinimized"), on ? QStringLiteral("1") : QStringLiteral("0"));
    m_runMinimized = on;
}

bool OptionsModel::setRunAtStart(bool on)
{
    m_store->createKey(RegKey::Product);
    m_store->createKey(RegKey::Options);
    const bool ok =
        Autostart::setEnabled(AutostartName, QCoreApplication::applicationFilePath(), on);
    m_runAtStart = Autostart::isEnabled(AutostartName);
    return ok;
}

QString OptionsModel::commitPort(const QString& text)
{
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    // A number the console can listen on; anything else keeps the port it has.
    if (!ok || port == 0 || port > 65535) {
        return m_port;
    }
    m_port = QString::number(port);
    writeOption(QStringLiteral("port"), m_port);
    return m_port;
}

bool OptionsModel::checkBillNumber(const QString& text) const
{
    qlonglong n = 0;
    if (!parseBillNumber(text, n)) {
        Prompt::message(QStringLiteral("Enter a Valid Bill Number"),
                        QStringLiteral("Verify History Details"), Prompt::Icon::Question);
        return false;
    }
    const QVariant used =
        m_db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE billno >= ?"), {n}, Label);
    if (!used.isValid() || used.toLongLong() > 0) {
        Prompt::message(QStringLiteral("Enterd Bill Number Found in History Details"),
                        QStringLiteral("Verify History Details"), Prompt::Icon::Question);
        return false;
    }
    return true;
}

bool OptionsModel::save(const Defaults& d)
{
    if (!Prompt::yesNo(QStringLiteral("Save Modified Defaults Settings"), QStringLiteral("Message"),
                       Prompt::Icon::Question)) {
        return false;
    }
    // The number shown may have been billed since it was checked.
    const bool billChanged = d.billNumber.trimmed() != m_billNumber;
    if (billChanged && !checkBillNumber(d.billNumber)) {
        return false;
    }
    qlonglong n = 0;
    parseBillNumber(d.billNumber, n);
    const bool ok = m_db.transaction(
        [&] {
            if (!billChanged) {
                // Bills settled while the window was open have moved the number on: an
                // unchanged box must not put the old number back.
                return m_db.run(QStringLiteral("UPDATE defalt SET printbill = ?"),
                                {d.printBill ? 1 : 0}, Label);
            }
            // The check and the write are one unit: no bill can slip in between.
            // Another desk's settlement holds the counter until it commits; waiting for it here
            // means its bill is counted below, not numbered again after it.
            if (!Administration::begin(m_db, QStringLiteral("Next bill number set to %1").arg(n),
                                       Label) ||
                !Claims::billNumbers(m_db, Label)) {
                return false;
            }
            const QVariant used = m_db.scalar(
                QStringLiteral("SELECT count(*) FROM history WHERE billno >= ?"), {n}, Label);
            if (!used.isValid() || used.toLongLong() > 0) {
                return false;
            }
            return m_db.run(QStringLiteral("UPDATE defalt SET printbill = ?, billno = ?"),
                            {d.printBill ? 1 : 0, n}, Label);
        },
        Label);
    if (!ok) {
        Prompt::message(QStringLiteral("Defaults Settings Not Saved"), QStringLiteral("Message"),
                        Prompt::Icon::Critical);
        return false;
    }
    m_db.notifyChanged(QStringLiteral("defalt"));
    if (billChanged) {
        m_billNumber = QString::number(n);
    }
    m_printBill = d.printBill;
    ConsoleSettings settings;
    settings.setCafeName(d.cafeName);
    settings.setCafeAddress1(d.cafeAddress1);
    settings.setCafeAddress2(d.cafeAddress2);
    settings.setExportFolder(d.exportFolder);
    writeOption(BackupFolderValue, d.backupFolder);
    settings.setPrepaidMinimum(Money::parse(d.prepaidMinimum.trimmed()));
    return true;
}

QVariant OptionsModel::storedPassword(Role role) const
{
    return m_db.scalar(QStringLiteral("SELECT ") + roleColumn(role) +
                           QStringLiteral(" FROM defalt LIMIT 1"),
                       {}, Label);
}

OptionsModel::OldPassword OptionsModel::checkOldPassword(Role role, const QString& text)
{
    bool& accepted = m_oldAccepted[roleIndex(role)];
    accepted = false;
    if (text.isEmpty()) {
        return OldPassword::Empty;
    }
    const QVariant stored = storedPassword(role);
    // A password that was never set takes any old password. A new database holds an empty one,
    // which no typed old password could match (an empty box does not count as typed), so it
    // counts as never set: otherwise the first password could never be given.
    const QString storedText = stored.isValid() ? stored.toString().trimmed() : QString();
    if (!storedText.isEmpty() && text.trimmed() != storedText) {
        Prompt::message(QStringLiteral("Invalid Old Password"), QStringLiteral("Retype Password"),
                        Prompt::Icon::Question);
        return OldPassword::Wrong;
    }
    if (!stored.isValid()) {
        return OldPassword::Wrong;
    }
    accepted = true;
    return OldPassword::Accepted;
}

bool OptionsModel::changePassword(Role role, const QString& newPassword, const QString& retyped)
{
    if (!m_oldAccepted[roleIndex(role)]) {
        return false;
    }
    if (retyped != newPassword) {
        Prompt::message(QStringLiteral("Password Miss match"), QStringLiteral("Retype Password"),
                        Prompt::Icon::Question);
        return false;
    }
    if (!m_db.run(QStringLiteral("UPDATE defalt SET ") + roleColumn(role) + QStringLiteral(" = ?"),
                  {retyped}, Label)) {
        Prompt::message(QStringLiteral("Password Not Changed"), QStringLiteral("Message"),
                        Prompt::Icon::Critical);
        return false;
    }
    m_db.notifyChanged(QStringLiteral("defalt"));
    m_oldAccepted[roleIndex(role)] = false;
    Prompt::message(role == Role::Administrator ? QStringLiteral("Admin Password Changed")
                                                : QStringLiteral("Staff Password Changed"),
                    QStringLiteral("Message"), Prompt::Icon::Information);
    return true;
}

OptionsModel::WebForm OptionsModel::webForm() const
{
    const WebOptions::Values v = WebOptions().values();
    WebForm f;
    f.enabled = v.enabled;
    f.port = QString::number(v.port);
    f.addresses = v.addresses.join(QStringLiteral(", "));
    f.certificateFile = v.certificateFile;
    f.keyFile = v.keyFile;
    return f;
}

bool OptionsModel::saveWeb(const WebForm& f)
{
    const auto refuse = [](const QString& text) {
        Prompt::message(text, QStringLiteral("Web Page"), Prompt::Icon::Question);
        return false;
    };
    const WebOptions options;
    bool ok = false;
    const uint port = f.port.trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        return refuse(QStringLiteral("Enter a Valid Port Number"));
    }
    bool addressesOk = false;
    const QStringList addresses = WebOptions::parseAddresses(f.addresses, &addressesOk);
    if (!addressesOk || (f.enabled && addresses.isEmpty())) {
        return refuse(QStringLiteral("Enter the Addresses the Page is Served on"));
    }
    if (f.password != f.retyped) {
        return refuse(QStringLiteral("Password Miss match"));
    }
    if (f.enabled && f.password.isEmpty() && !options.values().hasPassword) {
        return refuse(QStringLiteral("Enter a Password for the Page"));
    }
    WebOptions::Values v;
    v.enabled = f.enabled;
    v.port = quint16(port);
    v.addresses = addresses;
    v.certificateFile = f.certificateFile.trimmed();
    v.keyFile = f.keyFile.trimmed();
    const QString refused = options.save(v);
    if (!refused.isEmpty()) {
        return refuse(refused);
    }
    if (!f.password.isEmpty()) {
        options.setPassword(f.password);
    }
    Prompt::message(QStringLiteral("Web Page Settings Saved"), QStringLiteral("Message"),
                    Prompt::Icon::Information);
    return true;
}
