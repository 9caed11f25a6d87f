// SPDX-License-Identifier: Apache-2.0
#include "server/insight/ui/frmshiftclose.h"

#include "common/clock.h"
#include "server/accounts/ui/formhelpers.h"
#include "server/accounts/ui/preview.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString timeText(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("dd-MMM-yyyy hh:mm AP"))
                       : QStringLiteral("the first bill");
}

} // namespace

FrmShiftClose::FrmShiftClose(Database& db, const QString& operatorName, QWidget* parent)
    : QDialog(parent), m_db(db), m_form(db, operatorName)
{
    setObjectName(QStringLiteral("frmshiftclose"));
    setWindowTitle(QStringLiteral("Shift Close"));
    FormHelpers::noDefaultButtons(this);
    auto* top = new QVBoxLayout(this);
    m_since = new QLabel(this);
    m_since->setObjectName(QStringLiteral("lblsince"));
    top->addWidget(m_since);
    auto* grid = new QFormLayout;
    m_form.load(Clock::now());
    const auto lines = m_form.lines();
    for (int i = 0; i < lines.size(); ++i) {
        auto* amount = new QLabel(this);
        amount->setObjectName(FormHelpers::indexed("lblamount", i));
        amount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        amount->setTextFormat(Qt::PlainText);
        grid->addRow(lines.at(i).first, amount);
        m_amounts << amount;
    }
    m_counted = new QLineEdit(this);
    m_counted->setObjectName(QStringLiteral("txtcounted"));
    m_counted->setAlignment(Qt::AlignRight);
    FormHelpers::installAmountFilter(m_counted);
    grid->addRow(QStringLiteral("Cash Counted"), m_counted);
    m_difference = new QLabel(this);
    m_difference->setObjectName(QStringLiteral("lbldifference"));
    m_difference->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addRow(QStringLiteral("Difference"), m_difference);
    top->addLayout(grid);

    auto* close = new QPushButton(QStringLiteral("&Close Shift"), this);
    close->setObjectName(QStringLiteral("cmdcloseshift"));
    top->addWidget(close);

    auto* printRow = new QHBoxLayout;
    m_closed = new QComboBox(this);
    m_closed->setObjectName(QStringLiteral("cboclosed"));
    auto* print = new QPushButton(QStringLiteral("&Print"), this);
    print->setObjectName(QStringLiteral("cmdprint"));
    auto* exit = new QPushButton(QStringLiteral("E&xit"), this);
    exit->setObjectName(QStringLiteral("cmdexit"));
    printRow->addWidget(new QLabel(QStringLiteral("Closed Shifts"), this));
    printRow->addWidget(m_closed, 1);
    printRow->addWidget(print);
    printRow->addWidget(exit);
    top->addLayout(printRow);

    connect(m_counted, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_form.setCounted(t);
        m_difference->setText(m_form.differenceText());
    });
    connect(close, &QPushButton::clicked, this, &FrmShiftClose::closeShift);
    connect(print, &QPushButton::clicked, this, &FrmShiftClose::print);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    showFigures();
    fillClosed();
}

void FrmShiftClose::showFigures()
{
    m_since->setText(QStringLiteral("Since ") + timeText(m_form.figures().opened));
    const auto lines = m_form.lines();
    for (int i = 0; i < lines.size() && i < m_amounts.size(); ++i) {
        m_amounts.at(i)->setText(lines.at(i).second);
    }
    m_difference->setText(m_form.differenceText());
}

void FrmShiftClose::fillClosed()
{
    m_closed->clear();
    for (const Shifts::Shift& s : Shifts::closed(m_db)) {
        m_closed->addItem(QStringLiteral("%1  %2").arg(s.id).arg(timeText(s.figures.closed)), s.id);
    }
}

void FrmShiftClose::closeShift()
{
    m_form.setCounted(m_counted->text());
    const auto closed = m_form.close(Clock::now());
    if (!closed) {
        return;
    }
    m_counted->clear();
    showFigures();
    fillClosed();
    Preview::present(Shifts::document(*closed), this);
}

void FrmShiftClose::print()
{
    if (const auto s = Shifts::find(m_db, m_closed->currentData().toLongLong())) {
        Preview::present(Shifts::document(*s), this);
    }
}
