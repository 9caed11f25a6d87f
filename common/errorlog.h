// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// The failure log both programs append to: "Morvek.txt" in the process's current folder.
// Nothing is shown to the user; a failure to write the log is itself ignored.
namespace ErrorLog {

struct Error
{
    long long number = 0;
    QString description;
    QString source;
    long long lastSystemError = 0;
};

inline constexpr const char* FileName = "Morvek.txt";

// A record the same as the one before (numbers in its text aside) is not written again: the
// repeats are counted and written as one line "(repeated N more times, the last at ...)" when a
// different record comes, after RepeatReportSecs, or when the program ends. Beyond
// RecordsPerHour records an hour the rest are counted only, so no storm can fill the disk.
inline constexpr int RepeatReportSecs = 10 * 60;
inline constexpr int RecordsPerHour = 200;

// Appends the eight-line record for the failure under the given label.
void write(const QString& label, const Error& error = {});
// Shorthand for a failure with a text only.
void write(const QString& label, const QString& description, long long number = 0);

} // namespace ErrorLog
