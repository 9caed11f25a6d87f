// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDate>
#include <QString>

// How the console's lists show a stored time ("yyyy-MM-dd HH:mm:ss"): a time of today as
// "HH:mm", any other as "yyyy-MM-dd HH:mm". Only the shown text is shorter; the stored text
// stays as it is. Text in another form is shown unchanged.
namespace DisplayTime {
QString compact(const QString& stored, const QDate& today);
// The same against the date of Clock::now().
QString compact(const QString& stored);
} // namespace DisplayTime
