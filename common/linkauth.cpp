// SPDX-License-Identifier: Apache-2.0
#include "common/linkauth.h"

#include "common/samebytes.h"
#include "common/settingsstore.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <set>

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
                 const QByteArray& agentNonce, const Ends& ends)
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key);
    for (const QByteArray& part : {side, consoleNonce, agentNonce, ends.agent.toLatin1()}) {
        mac.addData(part);
        mac.addData(QByteArrayLiteral("\n"));
    }
    mac.addData(ends.console.toLatin1());
    return mac.result().toHex();
}

bool allIn(const QByteArray& text, bool (*member)(char))
{
    return std::all_of(text.cbegin(), text.cend(), member);
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isBase32Upper(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '2' && c <= '7');
}

bool isBase32Lower(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '2' && c <= '7');
}

bool isBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '-' || c == '_';
}

// Fewer different characters than this in a key of the needed length is a pattern (a word
// repeated, a run of one digit), not the output of a random source, which gives 14 of the 16
// hex digits in 32 on average and fewer than 8 about once in ten million keys.
constexpr int MinDistinctCharacters = 8;

} // namespace

QByteArray keyFromSetting(const QString& text)
{
    if (text == SettingsStore::Error) {
        return {};
    }
    return text.trimmed().toUtf8();
}

QString keyWeakness(const QByteArray& key)
{
    QByteArray body = key;
    while (body.endsWith('=')) {
        body.chop(1);
    }
    int bitsEach = 0;
    if (allIn(body, isHexDigit)) {
        bitsEach = 4;
    } else if (allIn(body, isBase32Upper) || allIn(body, isBase32Lower)) {
        bitsEach = 5;
    } else if (allIn(body, isBase64)) {
        bitsEach = 6;
    }
    const auto distinct = std::set<char>(body.cbegin(), body.cend()).size();
    if (bitsEach > 0 && body.size() * bitsEach >= MinKeyBits && distinct >= MinDistinctCharacters) {
        return {};
    }
    return QStringLiteral("The link key is refused: it is too short or too plain to withstand "
                          "guessing. Use a generated key of at least 32 hex characters (make one "
                          "with \"vkserver --generate-link-key\") and set it on the console and "
                          "every workstation. Until then no workstation is linked.");
}

QByteArray generateKey()
{
    std::array<quint32, GeneratedKeyBytes / 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), GeneratedKeyBytes).toHex();
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
                      const QByteArray& agentNonce, const Ends& ends)
{
    return proof(QByteArrayLiteral("agent"), key, consoleNonce, agentNonce, ends);
}

QByteArray consoleProof(const QByteArray& key, const QByteArray& consoleNonce,
                        const QByteArray& agentNonce, const Ends& ends)
{
    return proof(QByteArrayLiteral("console"), key, consoleNonce, agentNonce, ends);
}

bool sameProof(const QByteArray& a, const QByteArray& b)
{
    return !a.isEmpty() && sameBytes(a, b);
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
