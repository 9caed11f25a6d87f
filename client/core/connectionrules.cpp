// SPDX-License-Identifier: Apache-2.0
#include "client/core/connectionrules.h"

#include <QStringList>

namespace {

// A part is numeric when it holds at least one digit and nothing else; its value is kept
// small enough to compare without overflow.
bool numericPart(const QString& part, int& value)
{
    if (part.isEmpty() || part.size() > 9) {
        return false;
    }
    value = 0;
    for (QChar c : part) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return true;
}

} // namespace

bool ConnectionRules::IsValidIPAddress(const QString& text)
{
    if (!text.contains(u'.')) {
        return false;
    }
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        if (!numericPart(parts.at(i), value)) {
            return false;
        }
        if (value > (i == 0 ? 239 : 255)) {
            return false;
        }
    }
    return true;
}

bool ConnectionRules::addressKeyAllowed(QChar c, bool isBackspace)
{
    return isBackspace || (c >= u'0' && c <= u'9') || c == u'.';
}

bool ConnectionRules::portAcceptable(const QString& text)
{
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    return ok && port > 0 && port <= 65535;
}
