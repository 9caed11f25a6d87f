// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The owner's web page as the console's options set it: off until turned on, the port, the
// addresses it listens on (none until chosen, so turning it on never opens it to the whole
// network by surprise), its password and, when both files are named, the certificate and key
// that make it HTTPS only. The password is kept only as a salted, slow hash and is never logged.
class WebOptions
{
public:
    static constexpr quint16 DefaultPort = 8470;
    static constexpr int HashIterations = 20000;

    static inline const QString EnabledValue = QStringLiteral("webenabled");
    static inline const QString PortValue = QStringLiteral("webport");
    static inline const QString AddressesValue = QStringLiteral("webaddresses");
    static inline const QString PasswordValue = QStringLiteral("webpassword");
    static inline const QString CertificateValue = QStringLiteral("webcertificate");
    static inline const QString KeyValue = QStringLiteral("webkey");

    struct Values
    {
        bool enabled = false;
        quint16 port = DefaultPort;
        QStringList addresses;
        QString certificateFile;
        QString keyFile;
        bool hasPassword = false;

        bool https() const { return !certificateFile.isEmpty() && !keyFile.isEmpty(); }
    };

    // The store's file; empty for the programs' usual settings file.
    explicit WebOptions(const QString& settingsFile = {});

    Values values() const;
    // Checks and stores everything but the password; the reason it was refused otherwise.
    QString save(const Values& v) const;
    // Stores the hash of a new password (an empty one clears it: the page then lets nobody in).
    void setPassword(const QString& password) const;
    // True when `password` is the one set; the comparison takes the same time wherever the
    // hashes differ.
    bool checkPassword(const QString& password) const;

    // "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>" of the password with a fresh salt.
    static QString hashPassword(const QString& password);
    static bool matches(const QString& stored, const QString& password);
    // The addresses typed in the options ("127.0.0.1, 192.168.1.5"); an empty list when any
    // of them is not an address.
    static QStringList parseAddresses(const QString& text, bool* ok = nullptr);

private:
    QString m_file;
};
