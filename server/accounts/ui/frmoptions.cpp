// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmoptions.h"

#include "server/accounts/backup.h"
#include "server/accounts/ui/formhelpers.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using FormHelpers::indexed;

FrmOptions::FrmOptions(Database& db, QWidget* parent) : QDialog(parent), m_options(db, this)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Defaults Settings"));

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSTab1"));
    // Every tab in sight: the window grows to the tab bar instead of hiding tabs behind arrows.
    tabs->setUsesScrollButtons(false);
    tabs->addTab(buildStartupTab(), QStringLiteral("Startup Option"));
    tabs->addTab(buildCurrencyTab(), QStringLiteral(" Currency Setting"));
    tabs->addTab(buildBillingTab(), QStringLiteral("Billing Setting"));
    tabs->addTab(buildPasswordTab("txtPassword", OptionsModel::Role::Administrator, m_adminBoxes),
                 QStringLiteral("Admin Password"));
    tabs->addTab(buildPasswordTab("txtupassword", OptionsModel::Role::Staff, m_staffBoxes),
                 QStringLiteral("Staff Password"));
    tabs->addTab(buildWebTab(), QStringLiteral("Web Page"));

    m_save = new QPushButton(QStringLiteral("&Save"), this);
    m_save->setObjectName(QStringLiteral("cmdsave"));
    m_save->setEnabled(false);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("cmdback"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(back);
    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs);
    top->addLayout(buttons);
    FormHelpers::noDefaultButtons(this);

    connect(m_save, &QPushButton::clicked, this, &FrmOptions::save);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* FrmOptions::buildStartupTab()
{
    auto* page = new QWidget;
    auto* frame = new QGroupBox(QStringLiteral("General Settings"), page);
    m_port = new QLineEdit(m_options.portText(), frame);
    m_port->setObjectName(QStringLiteral("txtport"));
    m_runStart = new QCheckBox(QStringLiteral("Starton Windows Startup"), frame);
    m_runStart->setObjectName(QStringLiteral("chkrunstart"));
    m_runStart->setChecked(m_options.runAtStart());
    m_runMin = new QCheckBox(QStringLiteral("Run in system tray"), frame);
    m_runMin->setObjectName(QStringLiteral("chkrunmin"));
    m_runMin->setChecked(m_options.runMinimized());
    m_lockDateTime = new QCheckBox(QStringLiteral("Lock Date/Time"), frame);
    m_lockDateTime->setObjectName(QStringLiteral("chkdt"));
    m_lockDateTime->setChecked(m_options.lockDateTime());
    auto* form = new QFormLayout(frame);
    form->addRow(QStringLiteral("Port :"), m_port);
    form->addRow(m_runStart);
    form->addRow(m_runMin);
    form->addRow(m_lockDateTime);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frame);
    layout->addStretch();

    connect(m_port, &QLineEdit::editingFinished, this,
            [this] { m_port->setText(m_options.commitPort(m_port->text())); });
    connect(m_runStart, &QCheckBox::clicked, this, [this](bool on) {
        m_options.setRunAtStart(on);
        m_runStart->setChecked(m_options.runAtStart());
    });
    connect(m_runMin, &QCheckBox::clicked, this,
            [this](bool on) { m_options.setRunMinimized(on); });
    connect(m_lockDateTime, &QCheckBox::clicked, this,
            [this](bool on) { m_options.setLockDateTime(on); });
    return page;
}

QWidget* FrmOptions::buildCurrencyTab()
{
    auto* page = new QWidget;
    m_regional = new QListWidget(page);
    m_regional->setObjectName(QStringLiteral("lstregional"));
    m_regional->addItems(m_options.regionalList());
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_regional);
    return page;
}

QWidget* FrmOptions::buildBillingTab()
{
    auto* page = new QWidget;
    m_billNo = new QLineEdit(m_options.billNumberText(), page);
    m_billNo->setObjectName(QStringLiteral("txtbillno"));
    m_printBill = new QCheckBox(QStringLiteral("Print Bill Allways"), page);
    m_printBill->setObjectName(QStringLiteral("chkbill"));
    m_printBill->setChecked(m_options.printBill());
    m_cafeName = new QLineEdit(m_options.cafeName(), page);
    m_cafeName->setObjectName(QStringLiteral("txtcafename"));
    m_cafeAddress[0] = new QLineEdit(m_options.cafeAddress1(), page);
    m_cafeAddress[1] = new QLineEdit(m_options.cafeAddress2(), page);
    for (int i = 0; i < 2; ++i) {
        m_cafeAddress[i]->setObjectName(indexed("txtcafeaddress", i));
    }
    m_exportFolder = new QLineEdit(m_options.exportFolder(), page);
    m_exportFolder->setObjectName(QStringLiteral("txtexportfolder"));
    m_backupFolder = new QLineEdit(m_options.backupFolder(), page);
    m_backupFolder->setObjectName(QStringLiteral("txtbackupfolder"));
    m_backupFolder->setPlaceholderText(Backup::defaultFolder());
    m_prepaidMinimum = new QLineEdit(m_options.prepaidMinimum(), page);
    m_prepaidMinimum->setObjectName(QStringLiteral("txtprepaidminimum"));
    FormHelpers::installAmountFilter(m_prepaidMinimum);
    FormHelpers::selectAllOnFocus(m_prepaidMinimum);
    // Wide enough for a cafe's full name and a folder path without scrolling inside the box.
    const int wide = m_cafeName->fontMetrics().averageCharWidth() * 48;
    for (QLineEdit* e :
         {m_cafeName, m_cafeAddress[0], m_cafeAddress[1], m_exportFolder, m_backupFolder}) {
        e->setMinimumWidth(wide);
    }
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("Current Bill No."), m_billNo);
    form->addRow(m_printBill);
    form->addRow(QStringLiteral("Cafe Name"), m_cafeName);
    form->addRow(QStringLiteral("Address"), m_cafeAddress[0]);
    form->addRow(QString(), m_cafeAddress[1]);
    form->addRow(QStringLiteral("Export Folder"), m_exportFolder);
    form->addRow(QStringLiteral("Backup Folder"), m_backupFolder);
    form->addRow(QStringLiteral("Member Minimum Balance"), m_prepaidMinimum);

    const auto enableSave = [this] { m_save->setEnabled(true); };
    connect(m_billNo, &QLineEdit::textEdited, this, enableSave);
    connect(m_printBill, &QCheckBox::clicked, this, enableSave);
    for (QLineEdit* e : {m_cafeName, m_cafeAddress[0], m_cafeAddress[1], m_exportFolder,
                         m_backupFolder, m_prepaidMinimum}) {
        connect(e, &QLineEdit::textEdited, this, enableSave);
    }
    connect(m_billNo, &QLineEdit::editingFinished, this, &FrmOptions::billNumberEntered);
    return page;
}

void FrmOptions::billNumberEntered()
{
    if (m_checkingBill || m_billNo->text().trimmed() == m_options.billNumberText()) {
        return;
    }
    m_checkingBill = true;
    if (!m_options.checkBillNumber(m_billNo->text())) {
        m_billNo->setText(m_options.billNumberText());
        m_save->setFocus();
    }
    m_checkingBill = false;
}

void FrmOptions::save()
{
    OptionsModel::Defaults d;
    d.billNumber = m_billNo->text();
    d.printBill = m_printBill->isChecked();
    d.cafeName = m_cafeName->text();
    d.cafeAddress1 = m_cafeAddress[0]->text();
    d.cafeAddress2 = m_cafeAddress[1]->text();
    d.exportFolder = m_exportFolder->text();
    d.backupFolder = m_backupFolder->text();
    d.prepaidMinimum = m_prepaidMinimum->text();
    m_checkingBill = true;
    if (m_options.save(d)) {
        m_save->setEnabled(false);
    }
    // Whatever was refused, the box shows the number that holds.
    m_billNo->setText(m_options.billNumberText());
    m_checkingBill = false;
}

QWidget* FrmOptions::buildWebTab()
{
    const OptionsModel::WebForm f = m_options.webForm();
    auto* page = new QWidget;
    m_webOn = new QCheckBox(QStringLiteral("Serve the Owner's Page"), page);
    m_webOn->setObjectName(QStringLiteral("chkweb"));
    m_webOn->setChecked(f.enabled);
    m_webPort = new QLineEdit(f.port, page);
    m_webPort->setObjectName(QStringLiteral("txtwebport"));
    m_webAddresses = new QLineEdit(f.addresses, page);
    m_webAddresses->setObjectName(QStringLiteral("txtwebaddress"));
    m_webAddresses->setPlaceholderText(QStringLiteral("e.g. 127.0.0.1, 192.168.1.10"));
    for (int i = 0; i < 2; ++i) {
        m_webPassword[i] = new QLineEdit(page);
        m_webPassword[i]->setObjectName(indexed("txtwebpassword", i));
        m_webPassword[i]->setEchoMode(QLineEdit::Password);
    }
    m_webPassword[0]->setPlaceholderText(QStringLiteral("unchanged"));
    m_webCertificate = new QLineEdit(f.certificateFile, page);
    m_webCertificate->setObjectName(QStringLiteral("txtwebcert"));
    m_webKey = new QLineEdit(f.keyFile, page);
    m_webKey->setObjectName(QStringLiteral("txtwebkey"));
    m_webCertificate->setPlaceholderText(QStringLiteral("none: plain HTTP"));
    auto* apply = new QPushButton(QStringLiteral("&Apply"), page);
    apply->setObjectName(QStringLiteral("cmdwebapply"));
    auto* form = new QFormLayout(page);
    form->addRow(m_webOn);
    form->addRow(QStringLiteral("Port"), m_webPort);
    form->addRow(QStringLiteral("Addresses"), m_webAddresses);
    form->addRow(QStringLiteral("New Password"), m_webPassword[0]);
    form->addRow(QStringLiteral("Retype Password"), m_webPassword[1]);
    form->addRow(QStringLiteral("Certificate File"), m_webCertificate);
    form->addRow(QStringLiteral("Key File"), m_webKey);
    form->addRow(QString(), apply);
    connect(apply, &QPushButton::clicked, this, &FrmOptions::saveWeb);
    return page;
}

void FrmOptions::saveWeb()
{
    OptionsModel::WebForm f;
    f.enabled = m_webOn->isChecked();
    f.port = m_webPort->text();
    f.addresses = m_webAddresses->text();
    f.password = m_webPassword[0]->text();
    f.retyped = m_webPassword[1]->text();
    f.certificateFile = m_webCertificate->text();
    f.keyFile = m_webKey->text();
    const bool saved = m_options.saveWeb(f);
    // A typed password never stays on the screen, saved or not.
    m_webPassword[0]->clear();
    m_webPassword[1]->clear();
    if (saved) {
        Q_EMIT webOptionsSaved();
    }
}

QWidget* FrmOptions::buildPasswordTab(const char* name, OptionsModel::Role role, QLineEdit** boxes)
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    const char* labels[3] = {"Old Password", "New Password", "Retype Password"};
    for (int i = 0; i < 3; ++i) {
        boxes[i] = new QLineEdit(page);
        boxes[i]->setObjectName(indexed(name, i));
        boxes[i]->setEchoMode(QLineEdit::Password);
        boxes[i]->setEnabled(i == 0);
        form->addRow(QString::fromLatin1(labels[i]), boxes[i]);
    }
    connect(boxes[0], &QLineEdit::editingFinished, this, [this, role, boxes] {
        switch (m_options.checkOldPassword(role, boxes[0]->text())) {
        case OptionsModel::OldPassword::Wrong:
            boxes[0]->clear();
            boxes[1]->setEnabled(false);
            boxes[2]->setEnabled(false);
            boxes[0]->setFocus();
            break;
        case OptionsModel::OldPassword::Empty:
            boxes[1]->setEnabled(false);
            boxes[2]->setEnabled(false);
            break;
        case OptionsModel::OldPassword::Accepted:
            boxes[1]->setEnabled(true);
            break;
        }
    });
    connect(boxes[1], &QLineEdit::editingFinished, this,
            [boxes] { boxes[2]->setEnabled(!boxes[1]->text().isEmpty()); });
    connect(boxes[2], &QLineEdit::returnPressed, this, [this, role, boxes] {
        if (!m_options.changePassword(role, boxes[1]->text(), boxes[2]->text())) {
            boxes[2]->clear();
            return;
        }
        boxes[1]->setEnabled(false);
        boxes[2]->setEnabled(false);
        for (int i = 0; i < 3; ++i) {
            boxes[i]->clear();
        }
    });
    return page;
}
