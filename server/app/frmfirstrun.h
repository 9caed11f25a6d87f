// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/app/firstrun.h"

#include <QWizard>

class QCheckBox;
class QLineEdit;

// The first-run setup window: four pages over FirstRun, which checks each page and stores the
// answers. "Skip Setup" marks the setup as skipped; the cafe then sets everything up in the
// options and tariff windows instead. Escape, Cancel and the close box only close it for this
// start, since a stray key must not cost a new cafe its guided setup for good.
class FrmFirstRun : public QWizard
{
    Q_OBJECT
public:
    FrmFirstRun(Database& db, int currencyDigits, QWidget* parent = nullptr);

    // The answers as the fields hold them.
    FirstRun::Answers answers() const;
    QLineEdit* field(const QString& objectName) const;

    bool validateCurrentPage() override;
    void accept() override;
    void reject() override;

    enum class Outcome
    {
        Saved,
        Skipped,
        ClosedForNow
    };
    Q_ENUM(Outcome)

Q_SIGNALS:
    void completed(FrmFirstRun::Outcome how);

private:
    void leave(Outcome how);
    QLineEdit* addLine(QWidget* page, const QString& name, const QString& label,
                       const QString& text = {}, bool password = false);

    FirstRun m_logic;
    QCheckBox* m_byMinute = nullptr;
    bool m_closed = false;
};
