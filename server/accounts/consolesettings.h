// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "common/settingsstore.h"

#include <QString>

// The console's own settings that its printed reports and exports use: the cafe's name and
// two address lines printed at the head of every bill and report, and the folder exports
// are written to. Kept in the settings store under the console's options key; every read
// goes to the store afresh, so a change made in the options window shows on the next report.
class ConsoleSettings
{
public:
    static inline const QString ExportFolderValue = QStringLiteral("exportfolder");
    static inline const QString CafeNameValue = QStringLiteral("cafename");
    static inline const QString CafeAddress1Value = QStringLiteral("cafeaddress1");
    static inline const QString CafeAddress2Value = QStringLiteral("cafeaddress2");
    static inline const QString PrepaidMinimumValue = QStringLiteral("prepaidminimum");

    // The store's file; empty for the programs' usual settings file.
    explicit ConsoleSettings(const QString& settingsFile = {});

    // The configured export folder, or the default one when none is set.
    QString exportFolder() const;
    void setExportFolder(const QString& folder);
    QString cafeName() const;
    void setCafeName(const QString& text);
    QString cafeAddress1() const;
    void setCafeAddress1(const QString& text);
    QString cafeAddress2() const;
    void setCafeAddress2(const QString& text);
    // The balance a member's credit must be above to log in at a workstation; 0 when unset.
    Money prepaidMinimum() const;
    void setPrepaidMinimum(Money amount);

private:
    // The stored text, or empty when the value is not set.
    QString read(const QString& name) const;
    void write(const QString& name, const QString& text);

    SettingsStore m_store;
};
