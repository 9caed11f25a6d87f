// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>

// Compares every byte whatever the first difference: the time says nothing of where it is.
// For secrets compared against what a peer sent.
inline bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    }
    return diff == 0;
}
