// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/frmsessionstart.h"

#include "common/errorlog.h"
#include "common/prompt.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

QComboBox* picker(const char* name, const QString& tip, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setToolTip(tip);
    return c;
}

void fill(QComboBox* c, const QStringList& items)
{
    const QString keep = c->currentText();
    const QSignalBlocker block(c);
    c->clear();
    c->addItems(items);
    c->setEditText(keep);
}

} // namespace

FrmSessionStart::FrmSessionStart(Database& db, QWidget* parent)
    : QDialog(parent), m_db(db), m_service(db)
{
    setObjectName(QStringLiteral("frmsessionstart"));
    setWindowTitle(QStringLiteral("Start New Session"));
    setModal(true);

    m_online = picker("cmbonline", QStringLiteral("Select the Terminal to Start"), this);
    m_category = picker("cmbcategory", QStringLiteral("Select Usage Type"), this);
    auto* top = new QFormLayout;
    top->addRow(QStringLiteral("Select &Termnal"), m_online);
    top->addRow(QStringLiteral("Select &Usage Type"), m_category);

    m_memberFrame = new QGroupBox(QStringLiteral("&Member"), this);
    m_memberFrame->setObjectName(QStringLiteral("frmmember"));
    m_member = picker("cmbmemberid", QString(), m_memberFrame);
    m_password = new QLineEdit(m_memberFrame);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setEnabled(false);
    m_passwordByUser = new QCheckBox(QStringLiteral("Password enterd by User"), m_memberFrame);
    m_passwordByUser->setObjectName(QStringLiteral("chkpassword"));
    m_passwordByUser->setEnabled(false);
    auto* memberForm = new QFormLayout(m_memberFrame);
    memberForm->addRow(QStringLiteral("Member &Id"), m_member);
    memberForm->addRow(QStringLiteral("Password"), m_password);
    memberForm->addRow(m_passwordByUser);

    m_amount = new QLineEdit(QStringLiteral("0.00"), this);
    m_amount->setObjectName(QStringLiteral("txtamtr"));
    GridCellEditor::installNumericFilter(m_amount);
    top->addRow(QStringLiteral("Amount Received"), m_amount);

    m_optionsFrame = new QGroupBox(QStringLiteral("&Options"), this);
    m_optionsFrame->setObjectName(QStringLiteral("frmoptions"));
    m_options = new QCheckBox(QStringLiteral("Show Options In Client Screen"), m_optionsFrame);
    m_options->setObjectName(QStringLiteral("chkoptionsinclient"));
    m_options->setToolTip(QStringLiteral("Show Options Screen In Client Screen"));
    m_maintains = new QCheckBox(QStringLiteral("Client Maintaining"), m_optionsFrame);
    m_maintains->setObjectName(QStringLiteral("chkMaintains"));
    m_maintains->setToolTip(QStringLiteral("This Options Only for Administrator"));
    m_autoLogout = new QCheckBox(QStringLiteral("Auto Logout After"), m_optionsFrame);
    m_autoLogout->setObjectName(QStringLiteral("chkautologout"));
    m_autoLogout->setToolTip(QStringLiteral("Select Me to Enable Autologout by time"));
    m_autoLogoutMinutes = new QLineEdit(QStringLiteral("0"), m_optionsFrame);
    m_autoLogoutMinutes->setObjectName(QStringLiteral("txtautologout"));
    m_autoLogoutMinutes->setToolTip(QStringLiteral("Enter the Autologout Time"));
    m_autoLogoutMinutes->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), this));
    m_autoLogoutMinutes->setEnabled(false);
    auto* logoutRow = new QHBoxLayout;
    logoutRow->addWidget(m_autoLogout);
    logoutRow->addWidget(m_autoLogoutMinutes);
    logoutRow->addWidget(new QLabel(QStringLiteral(" Miniutes"), m_optionsFrame));
    auto* optionsBox = new QVBoxLayout(m_optionsFrame);
    optionsBox->addWidget(m_options);
    optionsBox->addWidget(m_maintains);
    optionsBox->addLayout(logoutRow);

    auto* closeFrame = new QGroupBox(QStringLiteral("Session Close"), this);
    closeFrame->setObjectName(QStringLiteral("FRMSESSIONCLOSE"));
    closeFrame->setToolTip(QStringLiteral("End of Session Control"));
    m_lock = new QRadioButton(QStringLiteral("&Lock"), closeFrame);
    m_lock->setObjectName(QStringLiteral("chklock"));
    m_lock->setChecked(true);
    m_shutdown = new QRadioButton(QStringLiteral("Shut &Down"), closeFrame);
    m_shutdown->setObjectName(QStringLiteral("chkshutdown"));
    m_restart = new QRadioButton(QStringLiteral("&Restart"), closeFrame);
    m_restart->setObjectName(QStringLiteral("chkrestart"));
    auto* closeBox = new QHBoxLayout(closeFrame);
    closeBox->addWidget(m_lock);
    closeBox->addWidget(m_shutdown);
    closeBox->addWidget(m_restart);

    m_start = new QPushButton(QStringLiteral("&Start"), this);
    m_start->setObjectName(QStringLiteral("cmdstart"));
    m_start->setAutoDefault(false);
    m_start->setDefault(true);
    m_exit = new QPushButton(QStringLiteral("&Back"), this);
    m_exit->setObjectName(QStringLiteral("cmdexit"));
    // Enter on it while it has the focus presses it, not the window's main button.
    m_exit->setAutoDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_start);
    buttons->addWidget(m_exit);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_memberFrame);
    layout->addWidget(m_optionsFrame);
    layout->addWidget(closeFrame);
    layout->addLayout(buttons);

    reloadLists(QString());
    m_online->setEditText(QString());
    m_category->setEditText(QString());
    m_member->setEditText(QString());
    m_member->setEnabled(false);

    connect(&m_db, &Database::tableChanged, this, &FrmSessionStart::reloadLists);
    connect(m_online, &QComboBox::activated, this, &FrmSessionStart::pickOnline);
    connect(m_online->lineEdit(), &QLineEdit::editingFinished, this, &FrmSessionStart::pickOnline);
    connect(m_member, &QComboBox::activated, this, &FrmSessionStart::memberEntered);
    connect(m_member->lineEdit(), &QLineEdit::returnPressed, this, &FrmSessionStart::memberEntered);
    connect(m_password, &QLineEdit::editingFinished, this, &FrmSessionStart::passwordLeft);
    connect(m_maintains, &QCheckBox::toggled, this, &FrmSessionStart::maintainsToggled);
    connect(m_autoLogout, &QCheckBox::toggled, this, &FrmSessionStart::autoLogoutToggled);
    connect(m_passwordByUser, &QCheckBox::toggled, this, &FrmSessionStart::passwordByUserToggled);
    connect(m_start, &QPushButton::clicked, this, &FrmSessionStart::startClicked);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmSessionStart::keyPressEvent(QKeyEvent* event)
{
    // Enter in a box filled in before starting has already been taken by it (the picks and
    // the member's look-up): it moves on to the next box rather than starting half filled in.
    // Anywhere else it reaches the default button, Start.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QWidget* at = focusWidget();
    if (enter && at != nullptr &&
        (at == m_online || at == m_category || at == m_member || at == m_password ||
         at->parentWidget() == m_online || at->parentWidget() == m_category ||
         at->parentWidget() == m_member)) {
        focusNextChild();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmSessionStart::reloadLists(const QString& table)
{
    if (table.isEmpty() || table == QLatin1String("online")) {
        fill(m_online, m_service.onlineNames());
    }
    if (table.isEmpty() || table == QLatin1String("user_category")) {
        fill(m_category, m_service.categoryNames());
    }
    if (table.isEmpty() || table == QLatin1String("members")) {
        fill(m_member, m_service.memberIds());
    }
}

void FrmSessionStart::pickOnline()
{
    m_member->setEnabled(!m_maintains->isChecked() &&
                         m_service.findOnline(m_online->currentText()).has_value());
}

void FrmSessionStart::memberEntered()
{
    lookUpMember(false);
}

void FrmSessionStart::lookUpMember(bool atStart)
{
    m_memberPassword.clear();
    m_enteredMember.clear();
    m_password->clear();
    if (!m_maintains->isChecked()) {
        m_options->setEnabled(true);
    }
    const QString id = m_member->currentText();
    if (id.isEmpty()) {
        m_passwordByUser->setChecked(false);
        m_passwordByUser->setEnabled(false);
        m_password->setEnabled(false);
        return;
    }
    const auto member = m_service.findMember(id);
    if (!member) {
        m_password->setEnabled(false);
        if (!atStart) {
            // Emptied without a word, the box would start a walk-in in the member's place.
            m_member->setEditText(QString());
            Prompt::message(QStringLiteral("Customer ID Not Found"), QStringLiteral("Message"),
                            Prompt::Icon::Question);
        }
        return;
    }
    m_category->setEditText(member->category);
    m_memberPassword = member->password;
    m_enteredMember = id;
    const bool hasPassword = !m_memberPassword.isEmpty();
    m_password->setEnabled(hasPassword && !m_passwordByUser->isChecked());
    m_passwordByUser->setEnabled(hasPassword);
    if (!hasPassword) {
        m_passwordByUser->setChecked(false);
    }
}

void FrmSessionStart::passwordLeft()
{
    if (m_memberPassword.isEmpty()) {
        return;
    }
    if (m_password->text().trimmed() != m_memberPassword) {
        m_password->selectAll();
        Prompt::current().ask(QStringLiteral("Invalid Password"), QStringLiteral("Message"),
                              Prompt::Icon::None, Prompt::Buttons::Ok);
    }
}

void FrmSessionStart::maintainsToggled(bool on)
{
    for (QWidget* w :
         {static_cast<QWidget*>(m_member), static_cast<QWidget*>(m_password),
          static_cast<QWidget*>(m_autoLogout), static_cast<QWidget*>(m_autoLogoutMinutes),
          static_cast<QWidget*>(m_category), static_cast<QWidget*>(m_amount),
          static_cast<QWidget*>(m_passwordByUser), static_cast<QWidget*>(m_options)}) {
        w->setEnabled(!on);
    }
    if (on) {
        m_autoLogout->setChecked(false);
        m_passwordByUser->setChecked(false);
        m_options->setChecked(false);
    } else {
        m_autoLogoutMinutes->setEnabled(m_autoLogout->isChecked());
    }
}

void FrmSessionStart::autoLogoutToggled(bool on)
{
    m_autoLogoutMinutes->setEnabled(on);
    if (!on) {
        m_autoLogoutMinutes->setText(QStringLiteral("0"));
    }
}

void FrmSessionStart::passwordByUserToggled(bool on)
{
    m_password->setEnabled(!on);
    m_options->setChecked(on);
    m_options->setEnabled(!on);
}

StartRequest FrmSessionStart::request() const
{
    StartRequest r;
    r.terminal = m_online->currentText();
    r.category = m_category->currentText();
    r.memberId = m_member->currentText();
    r.memberPassword = m_memberPassword;
    r.typedPassword = m_password->text();
    r.passwordByUser = m_passwordByUser->isChecked();
    r.amountReceived = m_amount->text();
    r.optionsInClient = m_options->isChecked();
    r.maintenance = m_maintains->isChecked();
    r.autoLogout = m_autoLogout->isChecked();
    r.autoLogoutMinutes = m_autoLogoutMinutes->text();
    r.closeAction = m_lock->isChecked()       ? CloseAction::Lock
                    : m_shutdown->isChecked() ? CloseAction::Shutdown
                    : m_restart->isChecked()  ? CloseAction::Restart
                                              : CloseAction::None;
    return r;
}

void FrmSessionStart::startClicked()
{
    // An id typed without Enter has not been looked up: its password would not be asked for.
    // Look it up now, keeping the category the cashier has already chosen; an unknown id is
    // left for the guards to refuse.
    if (!m_maintains->isChecked() && m_member->currentText() != m_enteredMember) {
        const QString chosen = m_category->currentText();
        lookUpMember(true);
        if (!chosen.trimmed().isEmpty()) {
            m_category->setEditText(chosen);
        }
    }
    const StartRequest req = request();
    if (const auto refusal = m_service.checkStart(req)) {
        Prompt::message(refusal->text, QStringLiteral("Message"),
                        refusal->stopIcon ? Prompt::Icon::Critical : Prompt::Icon::Question);
        return;
    }
    const auto row = m_service.findOnline(req.terminal);
    if (!Prompt::yesNo(QStringLiteral("Start New session & Unlock System : ") + row->name,
                       QStringLiteral("Message"), Prompt::Icon::Question)) {
        return;
    }
    const StartResult result = m_service.start(req);
    if (!result.ok) {
        Prompt::message(QStringLiteral("The session could not be started."),
                        QStringLiteral("Message"), Prompt::Icon::Critical);
        return;
    }
    AgentLink* link = AgentLink::instance();
    for (const AgentMessage& m : result.messages) {
        if (link == nullptr || !link->send(m.index, m.bytes)) {
            // The session stays recorded: it is re-attached when the agent connects again.
            ErrorLog::write(SessionService::StartLabel,
                            QStringLiteral("No connection with index %1").arg(m.index), 40006);
            Prompt::message(QStringLiteral("Request Computer Connection Not Found"),
                            QStringLiteral("Warning"), Prompt::Icon::Critical);
            m_online->setEditText(QString());
            return;
        }
    }
    accept();
}
