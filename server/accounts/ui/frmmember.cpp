// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmmember.h"

#include "server/accounts/ui/formhelpers.h"
#include "server/core/database.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using FormHelpers::indexed;

FrmMember::FrmMember(Database& db, QWidget* parent)
    : QDialog(parent), m_db(db), m_register(db, this)
{
    setObjectName(QStringLiteral("frmmember"));
    setWindowTitle(QStringLiteral("Member Information Details"));

    auto* form = new QFormLayout;
    m_ids = new QComboBox(this);
    m_ids->setObjectName(indexed("cmbfield", 0));
    m_ids->setEditable(true);
    m_ids->setInsertPolicy(QComboBox::NoInsert);
    auto* idLabel = new QLabel(QStringLiteral("&Member Id"), this);
    idLabel->setBuddy(m_ids);
    form->addRow(idLabel, m_ids);
    for (int i = 0; i < 6; ++i) {
        m_boxes[i] = new QLineEdit(this);
        m_boxes[i]->setObjectName(indexed("txtfield", i));
    }
    form->addRow(QStringLiteral(" Name"), m_boxes[0]);
    form->addRow(QStringLiteral("Address"), m_boxes[1]);
    form->addRow(QString(), m_boxes[2]);
    form->addRow(QStringLiteral("E-Mail"), m_boxes[3]);
    form->addRow(QStringLiteral("Opening Balance"), m_boxes[4]);
    // Masked: the member window is used at the counter, in view of the customers.
    m_boxes[5]->setEchoMode(QLineEdit::Password);
    auto* showPassword = new QPushButton(QStringLiteral("Sho&w"), this);
    showPassword->setObjectName(QStringLiteral("cmdshowpassword"));
    showPassword->setCheckable(true);
    showPassword->setAutoDefault(false);
    connect(showPassword, &QPushButton::toggled, this, [this](bool on) {
        m_boxes[5]->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
    });
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(m_boxes[5], 1);
    passwordRow->addWidget(showPassword);
    form->addRow(QStringLiteral("Password"), passwordRow);
    m_usage = new QComboBox(this);
    m_usage->setObjectName(indexed("cmbfield", 1));
    m_usage->setEditable(true);
    m_usage->setInsertPolicy(QComboBox::NoInsert);
    m_usage->addItems(m_register.usageTypes());
    form->addRow(QStringLiteral("Usagetype"), m_usage);

    FormHelpers::installAmountFilter(m_boxes[4]);
    FormHelpers::selectAllOnFocus(m_boxes[4]);

    auto* buttons = new QHBoxLayout;
    const char* captions[4] = {"&New", "&Delete", "&Save", "&Back"};
    for (int i = 0; i < 4; ++i) {
        m_buttons[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        m_buttons[i]->setObjectName(indexed("cmdbtn", i));
        buttons->addWidget(m_buttons[i]);
    }
    m_top = new QVBoxLayout(this);
    m_top->addLayout(form);
    m_top->addLayout(buttons);
    FormHelpers::noDefaultButtons(this);

    connect(&m_register, &MemberRegister::changed, this, &FrmMember::showRegister);
    connect(m_ids, &QComboBox::activated, this, [this] { chooseTypedId(); });
    connect(m_ids->lineEdit(), &QLineEdit::returnPressed, this, [this] { chooseTypedId(); });
    FormHelpers::onFocusOut(m_ids, this, [this] {
        // Leaving the list again without changing the id keeps the edits on screen.
        if (m_ids->currentText() != m_lastChosen) {
            chooseTypedId();
        }
    });
    connect(m_buttons[0], &QPushButton::clicked, this, [this] {
        m_register.newRecord();
        m_ids->setFocus();
    });
    connect(m_buttons[1], &QPushButton::clicked, this, [this] {
        pushToRegister();
        if (m_register.remove()) {
            fillIdList();
            m_ids->setFocus();
        }
    });
    connect(m_buttons[2], &QPushButton::clicked, this, [this] {
        pushToRegister();
        const bool wasNew = m_register.isNewMode();
        if (m_register.save() && wasNew) {
            fillIdList();
            m_ids->setFocus();
        }
    });
    connect(m_buttons[3], &QPushButton::clicked, this, &QDialog::reject);

    fillIdList();
    m_register.newRecord();
}

void FrmMember::addSection(QWidget* section)
{
    m_top->insertWidget(m_top->count() - 1, section);
}

void FrmMember::fillIdList()
{
    const QString text = m_ids->currentText();
    m_ids->blockSignals(true);
    m_ids->clear();
    m_ids->addItems(m_register.memberIds());
    m_ids->setCurrentIndex(-1);
    m_ids->setEditText(text);
    m_ids->blockSignals(false);
}

void FrmMember::chooseTypedId()
{
    pushToRegister();
    m_lastChosen = m_ids->currentText();
    m_register.chooseId(m_ids->currentText());
}

void FrmMember::pushToRegister()
{
    m_register.setId(m_ids->currentText());
    MemberRegister::Fields f;
    f.name = m_boxes[0]->text();
    f.address1 = m_boxes[1]->text();
    f.address2 = m_boxes[2]->text();
    f.email = m_boxes[3]->text();
    f.openingBalance = m_boxes[4]->text();
    f.password = m_boxes[5]->text();
    f.category = m_usage->currentText();
    m_register.setFields(f);
}

void FrmMember::showRegister()
{
    const MemberRegister::Fields& f = m_register.fields();
    if (m_ids->currentText() != m_register.id()) {
        m_ids->setEditText(m_register.id());
    }
    m_lastChosen = m_register.id();
    m_boxes[0]->setText(f.name);
    m_boxes[1]->setText(f.address1);
    m_boxes[2]->setText(f.address2);
    m_boxes[3]->setText(f.email);
    m_boxes[4]->setText(f.openingBalance);
    m_boxes[5]->setText(f.password);
    m_usage->setEditText(f.category);
    m_buttons[1]->setEnabled(m_register.canDelete());
    m_buttons[2]->setEnabled(m_register.canSave());
}
