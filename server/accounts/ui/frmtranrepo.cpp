// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmtranrepo.h"

#include "common/clock.h"
#include "common/prompt.h"
#include "server/accounts/ui/preview.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FrmTranRepo::FrmTranRepo(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmtranrepo"));
    setWindowTitle(QStringLiteral("Customer Transactions Details"));

    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_id = new QComboBox(this);
    m_id->setObjectName(QStringLiteral("cmbfield"));
    m_id->setEditable(true);
    m_id->setInsertPolicy(QComboBox::NoInsert);
    m_id->addItems(CustomerStatement::memberIds(db));
    m_id->setCurrentIndex(-1);
    m_id->installEventFilter(this);
    if (m_id->lineEdit()) {
        m_id->lineEdit()->installEventFilter(this);
    }
    connect(m_id, &QComboBox::activated, this, [this] { chooseMember(); });

    auto* idLabel = new QLabel(QStringLiteral("&Member Id"), this);
    idLabel->setBuddy(m_id);
    grid->addWidget(idLabel, 0, 0);
    grid->addWidget(m_id, 0, 1, 1, 3);
    const QString captions[3] = {QStringLiteral(" Name"), QStringLiteral("Address"), QString()};
    for (int i = 0; i < 3; ++i) {
        m_field[i] = new QLineEdit(this);
        m_field[i]->setObjectName(QStringLiteral("txtfield_%1").arg(i));
        m_field[i]->setReadOnly(true);
        grid->addWidget(new QLabel(captions[i], this), i + 1, 0);
        grid->addWidget(m_field[i], i + 1, 1, 1, 3);
    }
    // The period starts at the first moment of the From day and ends at the To value, which
    // carries a time of day (initially now, so today's entries so far are included); the
    // time is shown so that the operator sees where the statement ends.
    const QDateTime now = Clock::now();
    m_from = new QDateEdit(now.date(), this);
    m_from->setObjectName(QStringLiteral("Dt1"));
    m_from->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    m_to = new QDateTimeEdit(now, this);
    m_to->setObjectName(QStringLiteral("DT2"));
    m_to->setDisplayFormat(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    m_from->setCalendarPopup(true);
    m_to->setCalendarPopup(true);
    grid->addWidget(new QLabel(QStringLiteral("From"), this), 4, 0);
    grid->addWidget(m_from, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("To"), this), 4, 2);
    grid->addWidget(m_to, 4, 3);
    top->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    m_print = new QPushButton(QStringLiteral("&Print"), this);
    m_print->setObjectName(QStringLiteral("cmdprint"));
    m_print->setEnabled(false);
    m_print->setAutoDefault(false);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("cmdback"));
    back->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(m_print);
    buttons->addWidget(back);
    top->addLayout(buttons);

    connect(m_print, &QPushButton::clicked, this, &FrmTranRepo::print);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

bool FrmTranRepo::eventFilter(QObject* watched, QEvent* event)
{
    const bool idBox = watched == m_id || (m_id && watched == m_id->lineEdit());
    if (idBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            chooseMember();
            return true;
        }
    } else if (idBox && event->type() == QEvent::FocusOut) {
        const auto* focus = static_cast<QFocusEvent*>(event);
        // Leaving the box for another control of this window, not for a message box.
        if (focus->reason() != Qt::PopupFocusReason &&
            focus->reason() != Qt::ActiveWindowFocusReason) {
            chooseMember();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmTranRepo::chooseMember()
{
    if (m_choosing) {
        return;
    }
    const QString id = m_id->currentText();
    if (id.isEmpty()) {
        return;
    }
    m_choosing = true;
    m_member = CustomerStatement::findMember(m_db, id);
    if (!m_member) {
        m_print->setEnabled(false);
        for (QLineEdit* f : m_field) {
            f->clear();
        }
        Prompt::message(QStringLiteral("Customer ID Not Found"), QStringLiteral("Message"),
                        Prompt::Icon::Question);
    } else {
        m_field[0]->setText(m_member->name);
        m_field[1]->setText(m_member->address1);
        m_field[2]->setText(m_member->address2);
        m_print->setEnabled(true);
        m_print->setFocus();
    }
    m_choosing = false;
}

void FrmTranRepo::print()
{
    if (!m_member) {
        return;
    }
    const auto statement =
        CustomerStatement::build(m_db, *m_member, m_from->date().startOfDay(), m_to->dateTime());
    Preview::present(CustomerStatement::compose(statement), this);
}
