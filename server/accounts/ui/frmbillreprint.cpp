// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmbillreprint.h"

#include "common/prompt.h"
#include "server/accounts/historyreport.h"
#include "server/accounts/ui/printing.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FrmBillReprint::FrmBillReprint(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmbillreprint"));
    setWindowTitle(QStringLiteral("Bill Reprint"));
    auto* top = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Enter Bill No to RePrint"), this);
    label->setObjectName(QStringLiteral("lblprompt"));
    top->addWidget(label);
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("txtbillno"));
    label->setBuddy(m_number);
    top->addWidget(m_number);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdcancel"));
    top->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &FrmBillReprint::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void FrmBillReprint::run(Database& db, QWidget* parent)
{
    FrmBillReprint dialog(db, parent);
    dialog.exec();
}

void FrmBillReprint::accept()
{
    const QString answer = m_number->text();
    QDialog::accept();
    QString message;
    const auto billno = HistoryReport::reprintNumber(m_db, answer, &message);
    if (billno) {
        PrintBill(m_db, *billno, parentWidget());
    } else if (!message.isEmpty()) {
        Prompt::message(message, QStringLiteral("Message"), Prompt::Icon::Question);
    }
}
