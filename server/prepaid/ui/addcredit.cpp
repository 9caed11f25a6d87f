// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ui/addcredit.h"

#include "server/prepaid/prepaidcounter.h"

#include <QInputDialog>
#include <QLineEdit>

namespace AddCredit {

bool ask(PrepaidCounter& counter, qint64 rowid, QWidget* parent)
{
    const std::optional<PrepaidSession> s = counter.prepaid(rowid);
    if (!s) {
        return false;
    }
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmaddcredit"));
    dialog.setWindowTitle(QStringLiteral("Add Credit"));
    dialog.setLabelText(QStringLiteral("Amount to add to the session on %1:").arg(s->terminal));
    dialog.setInputMode(QInputDialog::TextInput);
    if (auto* box = dialog.findChild<QLineEdit*>()) {
        box->setObjectName(QStringLiteral("txtamount"));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    return counter.addCredit(*s, dialog.textValue());
}

} // namespace AddCredit
