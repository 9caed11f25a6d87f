#pragma once

#include "server/app/firstrun.h"

#include <QWizard>

class QCheckBox;
class QLineEdit;

// The first-run setup window: four pages over FirstRun, which checks each page and stores the
// answers. "Skip Setup" (or closing the window) marks the setup as skipped; the cafe then sets
// everything up in the options and tariff windows instead.
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

Q_SIGNALS:
    // The setup was stored (true) or skipped (false).
    void completed(bool stored);

private:
    QLineEdit* addLine(QWidget* page, const QString& name, const QString& label,
                       const QString& text = {}, bool password = false);

    FirstRun m_logic;
    QCheckBox* m_byMinute = nullptr;
    bool m_closed = false;
};
