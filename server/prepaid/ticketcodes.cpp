// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ticketcodes.h"

#include <QRandomGenerator>

namespace TicketCodes {

QString generate(const std::function<bool(const QString&)>& taken)
{
    // A collision is all but impossible; the bound only keeps a broken source from spinning.
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString code;
        code.reserve(Length);
        for (int i = 0; i < Length; ++i) {
            code.append(Alphabet.at(QRandomGenerator::system()->bounded(int(Alphabet.size()))));
        }
        if (!taken || !taken(code)) {
            return code;
        }
    }
    return {};
}

QString normalise(const QString& typed)
{
    QString out;
    out.reserve(typed.size());
    for (const QChar c : typed) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('-')) {
            out.append(c.toUpper());
        }
    }
    return out;
}

QString grouped(const QString& code)
{
    QString out;
    for (qsizetype i = 0; i < code.size(); i += 4) {
        if (i > 0) {
            out.append(QLatin1Char('-'));
        }
        out.append(code.mid(i, 4));
    }
    return out;
}

} // namespace TicketCodes
