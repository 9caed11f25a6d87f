// SPDX-License-Identifier: Apache-2.0
#include "server/app/frmfirstrun.h"

#include "common/prompt.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QWizardPage>

namespace {

enum Page
{
    AdminPage,
    CafePage,
    CategoryPage,
    FoldersPage
};

QWizardPage* makePage(const QString& title, const QString& subTitle)
{
    auto* page = new QWizardPage;
    page->setTitle(title);
    page->setSubTitle(subTitle);
    new QFormLayout(page);
    return page;
}

} // namespace

FrmFirstRun::FrmFirstRun(Database& db, int currencyDigits, QWidget* parent)
    : QWizard(parent), m_logic(db, currencyDigits)
{
    setObjectName(QStringLiteral("frmfirstrun"));
    setWindowTitle(QStringLiteral("New Cafe Setup"));
    setAttribute(Qt::WA_DeleteOnClose);
    const FirstRun::Answers d = m_logic.defaults();

    QWizardPage* admin = makePage(QStringLiteral("Administrator"),
                                  QStringLiteral("The password for the administrator login, "
                                                 "which opens the settings, tariffs and "
                                                 "housekeeping."));
    addLine(admin, QStringLiteral("txtpassword"), QStringLiteral("Password:"), {}, true);
    addLine(admin, QStringLiteral("txtretype"), QStringLiteral("Retype password:"), {}, true);
    setPage(AdminPage, admin);

    QWizardPage* cafe = makePage(QStringLiteral("Your Cafe"),
                                 QStringLiteral("Printed at the head of every bill and report."));
    addLine(cafe, QStringLiteral("txtcafename"), QStringLiteral("Cafe name:"));
    addLine(cafe, QStringLiteral("txtaddress1"), QStringLiteral("Address line 1:"));
    addLine(cafe, QStringLiteral("txtaddress2"), QStringLiteral("Address line 2:"));
    setPage(CafePage, cafe);

    QWizardPage* category = makePage(
        QStringLiteral("Usage Category"),
        QStringLiteral("What a session costs: the total for up to 30, 45 and 60 minutes. Every "
                       "whole hour costs the 60-minute rate. More categories can be added later "
                       "under Usage and Charge Details."));
    addLine(category, QStringLiteral("txtcategory"), QStringLiteral("Category name:"), d.category);
    addLine(category, QStringLiteral("txtdescription"), QStringLiteral("Description:"));
    addLine(category, QStringLiteral("txtrate30"), QStringLiteral("Up to 30 minutes:"));
    addLine(category, QStringLiteral("txtrate45"), QStringLiteral("Up to 45 minutes:"));
    addLine(category, QStringLiteral("txtrate60"), QStringLiteral("Up to 60 minutes:"));
    m_byMinute = new QCheckBox(QStringLiteral("Charge by the minute within each slice"));
    m_byMinute->setObjectName(QStringLiteral("chkbyminute"));
    static_cast<QFormLayout*>(category->layout())->addRow(m_byMinute);
    setPage(CategoryPage, category);

    QWizardPage* folders =
        makePage(QStringLiteral("Folders"),
                 QStringLiteral("Where exported reports and the database backup are written."));
    addLine(folders, QStringLiteral("txtexportfolder"), QStringLiteral("Export folder:"),
            d.exportFolder);
    addLine(folders, QStringLiteral("txtbackupfolder"), QStringLiteral("Backup folder:"),
            d.backupFolder);
    setPage(FoldersPage, folders);

    setOption(QWizard::HaveCustomButton1);
    setButtonText(QWizard::CustomButton1, QStringLiteral("Skip Setup"));
    button(QWizard::CustomButton1)->setObjectName(QStringLiteral("cmdskip"));
    connect(this, &QWizard::customButtonClicked, this, [this](int which) {
        if (which == QWizard::CustomButton1) {
            m_logic.skip();
            leave(Outcome::Skipped);
        }
    });
}

QLineEdit* FrmFirstRun::addLine(QWidget* page, const QString& name, const QString& label,
                                const QString& text, bool password)
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    if (password) {
        edit->setEchoMode(QLineEdit::Password);
    }
    static_cast<QFormLayout*>(page->layout())->addRow(label, edit);
    return edit;
}

QLineEdit* FrmFirstRun::field(const QString& objectName) const
{
    return findChild<QLineEdit*>(objectName);
}

FirstRun::Answers FrmFirstRun::answers() const
{
    FirstRun::Answers a;
    const auto text = [this](const char* name) {
        QLineEdit* e = field(QString::fromLatin1(name));
        return e ? e->text() : QString();
    };
    a.password = text("txtpassword");
    a.retyped = text("txtretype");
    a.cafeName = text("txtcafename");
    a.address1 = text("txtaddress1");
    a.address2 = text("txtaddress2");
    a.category = text("txtcategory");
    a.description = text("txtdescription");
    a.rate30 = text("txtrate30");
    a.rate45 = text("txtrate45");
    a.rate60 = text("txtrate60");
    a.byMinute = m_byMinute->isChecked();
    a.exportFolder = text("txtexportfolder");
    a.backupFolder = text("txtbackupfolder");
    return a;
}

bool FrmFirstRun::validateCurrentPage()
{
    const FirstRun::Answers a = answers();
    QString problem;
    switch (currentId()) {
    case AdminPage:
        problem = m_logic.checkPassword(a);
        break;
    case CafePage:
        problem = m_logic.checkCafe(a);
        break;
    case CategoryPage:
        problem = m_logic.checkCategory(a);
        break;
    case FoldersPage:
        problem = m_logic.checkFolders(a);
        break;
    default:
        break;
    }
    if (!problem.isEmpty()) {
        Prompt::message(problem, QStringLiteral("New Cafe Setup"), Prompt::Icon::Exclamation);
        return false;
    }
    return true;
}

void FrmFirstRun::accept()
{
    const QString problem = m_logic.apply(answers());
    if (!problem.isEmpty()) {
        Prompt::message(problem, QStringLiteral("New Cafe Setup"), Prompt::Icon::Critical);
        return;
    }
    m_closed = true;
    Q_EMIT completed(Outcome::Saved);
    QWizard::accept();
}

void FrmFirstRun::reject()
{
    leave(Outcome::ClosedForNow);
}

void FrmFirstRun::leave(Outcome how)
{
    if (!m_closed) {
        m_closed = true;
        Q_EMIT completed(how);
    }
    QWizard::reject();
}
