#pragma once

#include <QByteArray>
#include <QString>

// The shared link key of a cafe and the proofs made with it. When the console and an agent
// both hold the key, each proves it to the other as the agent connects: the console sends a
// fresh nonce, the agent answers with its own fresh nonce and a proof over both, and only when
// that proof holds does the console answer with its proof over both. Every proof names the side
// that makes it, so one side's proof is never accepted as the other's, and a fresh nonce on each
// side means a recorded exchange proves nothing on a later connection.
namespace LinkAuth {

// Bytes of randomness in a nonce; it travels as twice as many lowercase hex digits.
inline constexpr int NonceBytes = 16;
// Waiting for the peer's proof longer than this refuses the peer.
inline constexpr int ProofTimeoutMs = 10000;

// The key a stored setting stands for; empty when none is set (no value, "Error", or only
// blanks). Blanks around the text do not count, so a key typed with a stray space still works.
QByteArray keyFromSetting(const QString& text);

// A fresh nonce from the system's random source, as hex text.
QByteArray newNonce();
// True for a nonce as newNonce() writes them.
bool isNonce(const QByteArray& text);

// The proofs as hex text (HMAC-SHA256 of the side's name and both nonces).
QByteArray agentProof(const QByteArray& key, const QByteArray& consoleNonce,
                      const QByteArray& agentNonce);
QByteArray consoleProof(const QByteArray& key, const QByteArray& consoleNonce,
                        const QByteArray& agentNonce);
// Compares in time that does not depend on where the texts differ.
bool sameProof(const QByteArray& a, const QByteArray& b);

// The agent's nonce and proof from the value of its proof message ("<nonce> <proof>"); false
// when the value is not of that form.
bool splitProof(const QString& value, QByteArray* agentNonce, QByteArray* proof);

} // namespace LinkAuth
