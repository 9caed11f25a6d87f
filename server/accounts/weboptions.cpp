// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/weboptions.h"

#include "common/samebytes.h"
#include "common/settingsstore.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHostAddress>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {

QByteArray derive(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt,
                                              iterations, 32);
}

} // namespace

WebOptions::WebOptions(const QString& settingsFile) : m_file(settingsFile) {}

WebOptions::Values WebOptions::values() const
{
    SettingsStore store(m_file);
    const auto read = [&store](const QString& name) {
        const QString v = store.readValue(RegKey::Options, name);
        return v == SettingsStore::Error ? QString() : v;
    };
    Values v;
    v.enabled = read(EnabledValue) == QLatin1String("1");
    const uint port = read(PortValue).toUInt();
    v.port = port > 0 && port < 65536 ? quint16(port) : DefaultPort;
    v.addresses = parseAddresses(read(AddressesValue));
    v.certificateFile = read(CertificateValue);
    v.keyFile = read(KeyValue);
    v.hasPassword = !read(PasswordValue).isEmpty();
    return v;
}

QString WebOptions::save(const Values& v) const
{
    if (v.port == 0) {
        return QStringLiteral("Enter a Valid Port Number");
    }
    if (v.certificateFile.isEmpty() != v.keyFile.isEmpty()) {
        return QStringLiteral("Enter both the Certificate and the Key File, or neither");
    }
    for (const QString& f : {v.certificateFile, v.keyFile}) {
        if (!f.isEmpty() && !QFileInfo(f).isReadable()) {
            return QStringLiteral("File Not Found : ") + f;
        }
    }
    SettingsStore store(m_file);
    store.createKey(RegKey::Product);
    store.createKey(RegKey::Options);
    store.writeValue(RegKey::Options, EnabledValue,
                     v.enabled ? QStringLiteral("1") : QStringLiteral("0"));
    store.writeValue(RegKey::Options, PortValue, QString::number(v.port));
    store.writeValue(RegKey::Options, AddressesValue, v.addresses.join(QStringLiteral(", ")));
    store.writeValue(RegKey::Options, CertificateValue, v.certificateFile);
    store.writeValue(RegKey::Options, KeyValue, v.keyFile);
    return {};
}

void WebOptions::setPassword(const QString& password) const
{
    SettingsStore store(m_file);
    store.createKey(RegKey::Product);
    store.createKey(RegKey::Options);
    store.writeValue(RegKey::Options, PasswordValue,
                     password.isEmpty() ? QString() : hashPassword(password));
}

bool WebOptions::checkPassword(const QString& password) const
{
    const QString stored = SettingsStore(m_file).readValue(RegKey::Options, PasswordValue);
    return stored != SettingsStore::Error && matches(stored, password);
}

QString WebOptions::hashPassword(const QString& password)
{
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()),
                                          salt.size() / int(sizeof(quint32)));
    return QStringLiteral("pbkdf2-sha256$%1$%2$%3")
        .arg(HashIterations)
        .arg(QString::fromLatin1(salt.toHex()),
             QString::fromLatin1(derive(password, salt, HashIterations).toHex()));
}

bool WebOptions::matches(const QString& stored, const QString& password)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts.at(0) != QLatin1String("pbkdf2-sha256")) {
        return false;
    }
    const int iterations = parts.at(1).toInt();
    const QByteArray salt = QByteArray::fromHex(parts.at(2).toLatin1());
    const QByteArray hash = QByteArray::fromHex(parts.at(3).toLatin1());
    // A damaged entry lets nobody in rather than costing the console a long derivation.
    if (iterations < 1 || iterations > 10 * HashIterations || salt.isEmpty() || hash.isEmpty()) {
        return false;
    }
    return sameBytes(derive(password, salt, iterations), hash);
}

QStringList WebOptions::parseAddresses(const QString& text, bool* ok)
{
    QStringList out;
    bool good = true;
    for (const QString& part :
         text.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts)) {
        QHostAddress a;
        if (!a.setAddress(part)) {
            good = false;
            break;
        }
        out << a.toString();
    }
    if (ok) {
        *ok = good;
    }
    return good ? out : QStringList();
}
