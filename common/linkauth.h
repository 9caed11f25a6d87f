// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

// The shared link key of a cafe and the proofs made with it. When the console and an agent
// both hold the key, each proves it to the other as the agent connects: the console sends a
// fresh nonce, the agent answers with its own fresh nonce and a proof over both, and only when
// that proof holds does the console answer with its proof over both. Every proof names the side
// that makes it, so one side's proof is never accepted as the other's, and a fresh nonce on each
// side means a recorded exchange proves nothing on a later connection. Every proof also covers
// where the two ends of the connection are, as the side making it sees them, so a machine that
// passes the exchange on over a connection of its own makes each side's proof wrong for the
// other.
namespace LinkAuth {

// Bytes of randomness in a nonce; it travels as twice as many lowercase hex digits.
inline constexpr int NonceBytes = 16;
// Waiting for the peer's proof longer than this refuses the peer.
inline constexpr int ProofTimeoutMs = 10000;

// Randomness a key must carry: one observed handshake lets anyone test guesses offline, so a
// key must be out of reach of guessing, not merely unusual.
inline constexpr int MinKeyBits = 128;
// The random bytes of a key made by generateKey().
inline constexpr int GeneratedKeyBytes = 32;

// The key a stored setting stands for; empty when none is set (no value, "Error", or only
// blanks). Blanks around the text do not count, so a key typed with a stray space still works.
QByteArray keyFromSetting(const QString& text);
// Why a set key is refused, as a sentence for the logs and the screen; empty when the key is
// strong enough. A key counts as hex (4 bits a character), base32 (5) or base64 text (6, the
// URL-safe letters too, padding not counted) and must reach MinKeyBits with a good spread of
// characters; any other character makes it a typed phrase, which is refused.
QString keyWeakness(const QByteArray& key);
// A fresh key from the system's random source, as lowercase hex text.
QByteArray generateKey();

// A fresh nonce from the system's random source, as hex text.
QByteArray newNonce();
// True for a nonce as newNonce() writes them.
bool isNonce(const QByteArray& text);

// The addresses of a connection's two ends (dotted text for IPv4): the agent's own address and
// the console address it reached as the agent sees them, the peer's address and its own as the
// console sees them. The same on both sides of a direct connection; never on both sides of a
// relay.
struct Ends
{
    QString agent;
    QString console;
};

// The proofs as hex text (HMAC-SHA256 of the side's name, both nonces and both ends).
QByteArray agentProof(const QByteArray& key, const QByteArray& consoleNonce,
                      const QByteArray& agentNonce, const Ends& ends);
QByteArray consoleProof(const QByteArray& key, const QByteArray& consoleNonce,
                        const QByteArray& agentNonce, const Ends& ends);
// Compares in time that does not depend on where the texts differ.
bool sameProof(const QByteArray& a, const QByteArray& b);

// The agent's nonce and proof from the value of its proof message ("<nonce> <proof>"); false
// when the value is not of that form.
bool splitProof(const QString& value, QByteArray* agentNonce, QByteArray* proof);

} // namespace LinkAuth
