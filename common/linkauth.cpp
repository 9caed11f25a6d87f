#include "common/linkauth.h"

#include "common/settingsstore.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <array>

namespace LinkAuth {

namespace {

constexpr qsizetype ProofHexLength = 64;

bool isLowerHex(const QByteArray& text, qsizetype length)
{
    if (text.size() != length) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

QByteArray proof(const QByteArray& side, const QByteArray& key, const QByteArray& consoleNonce,
                 const QByteArray& agentNonce)
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key);
    mac.addData(side);
    mac.addData(QByteArrayLiteral("\n"));
    mac.addData(consoleNonce);
    mac.addData(QByteArrayLiteral("\n"));
    mac.addData(agentNonce);
    return mac.result().toHex();
}

} // namespace

QByteArray keyFromSetting(const QString& text)
{
    if (text == SettingsStore::Error) {
        return {};
    }
    return text.trimmed().toUtf8();
}

QByteArray newNonce()
{
    std::array<quint32, NonceBytes / 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), NonceBytes).toHex();
}

bool isNonce(const QByteArray& text)
{
    return isLowerHex(text, NonceBytes * 2);
}

QByteArray agentProof(const QByteArray& key, const QByteArray& consoleNonce,
                      const QByteArray& agentNonce)
{
    return proof(QByteArrayLiteral("agent"), key, consoleNonce, agentNonce);
}

QByteArray consoleProof(const QByteArray& key, const QByteArray& consoleNonce,
                        const QByteArray& agentNonce)
{
    return proof(QByteArrayLiteral("console"), key, consoleNonce, agentNonce);
}

bool sameProof(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty()) {
        return false;
    }
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    }
    return diff == 0;
}

bool splitProof(const QString& value, QByteArray* agentNonce, QByteArray* proof)
{
    const QList<QByteArray> parts = value.toLatin1().split(' ');
    if (parts.size() != 2 || !isNonce(parts.at(0)) || !isLowerHex(parts.at(1), ProofHexLength)) {
        return false;
    }
    *agentNonce = parts.at(0);
    *proof = parts.at(1);
    return true;
}

} // namespace LinkAuth
