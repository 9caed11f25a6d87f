// SPDX-License-Identifier: Apache-2.0
#include "server/app/firstrun.h"

#include "common/paths.h"
#include "common/settingsstore.h"
#include "server/accounts/backup.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/optionsmodel.h"
#include "server/core/database.h"
#include "server/sessions/tariffeditor.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace {

const int Slices[] = {30, 45, 60};

// A rate as the tariff editor's cells take it: digits with an optional point.
bool isAmount(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{0,4})?$"));
    return re.match(text.trimmed()).hasMatch();
}

} // namespace

FirstRun::FirstRun(Database& db, int currencyDigits, const QString& settingsFile)
    : m_db(db), m_digits(qBound(0, currencyDigits, 4)), m_settingsFile(settingsFile)
{
}

bool FirstRun::isMarkedDone() const
{
    const QString v = SettingsStore(m_settingsFile).readValue(RegKey::Options, DoneValue);
    return v != SettingsStore::Error && !v.trimmed().isEmpty() && v.trimmed() != u"0";
}

bool FirstRun::isDue() const
{
    if (!m_db.isOpen() || isMarkedDone()) {
        return false;
    }
    // Anything a cafe has entered means it is not new, whatever the settings file says (a
    // database carried over to a new computer must not be set up again).
    const QVariant used = m_db.scalar(QStringLiteral(
        "SELECT (SELECT count(*) FROM user_category) + (SELECT count(*) FROM ratelist) + "
        "(SELECT count(*) FROM members) + (SELECT count(*) FROM terminals) + "
        "(SELECT count(*) FROM history) + (SELECT count(*) FROM transactions) + "
        "(SELECT count(*) FROM jobwork) + (SELECT count(*) FROM defalt WHERE "
        "coalesce(admin, '') <> '' OR coalesce(\"user\", '') <> '' OR coalesce(billno, 1) > 1)"));
    return used.isValid() && used.toLongLong() == 0;
}

FirstRun::Answers FirstRun::defaults() const
{
    Answers a;
    a.category = QStringLiteral("Normal");
    // Folders beside the database rather than the temporary folder the console falls back to,
    // which the system may empty.
    const QString configured = ConsoleSettings(m_settingsFile).exportFolder();
    a.exportFolder = configured == Paths::defaultExportDir()
                         ? QDir(Paths::dataDir()).filePath(QStringLiteral("exports"))
                         : configured;
    a.backupFolder = Backup::defaultFolder();
    return a;
}

QString FirstRun::checkPassword(const Answers& a) const
{
    if (a.password.isEmpty()) {
        return QStringLiteral("Enter a password for the administrator.");
    }
    if (a.password != a.retyped) {
        return QStringLiteral("The two passwords do not match. Type the same password twice.");
    }
    return {};
}

QString FirstRun::checkCafe(const Answers& a) const
{
    if (a.cafeName.trimmed().isEmpty()) {
        return QStringLiteral("Enter the cafe's name. It is printed at the head of every bill.");
    }
    return {};
}

QString FirstRun::checkCategory(const Answers& a) const
{
    if (a.category.trimmed().isEmpty()) {
        return QStringLiteral("Enter a name for the usage category.");
    }
    if (TariffStore(m_db).find(a.category.trimmed())) {
        return QStringLiteral("A usage category named \"%1\" already exists.")
            .arg(a.category.trimmed());
    }
    const QString rates[] = {a.rate30, a.rate45, a.rate60};
    Money previous;
    for (int i = 0; i < 3; ++i) {
        if (!isAmount(rates[i])) {
            return QStringLiteral("The rate for %1 minutes must be a number, such as 15 or 12.50.")
                .arg(Slices[i]);
        }
        const Money v = Money::parse(rates[i].trimmed());
        if (v <= Money()) {
            return QStringLiteral("The rate for %1 minutes must be more than 0.").arg(Slices[i]);
        }
        // The rates are totals for the whole time: more time never costs less.
        if (v < previous) {
            return QStringLiteral("The rate for %1 minutes cannot be less than the rate for %2 "
                                  "minutes.")
                .arg(Slices[i])
                .arg(Slices[i - 1]);
        }
        previous = v;
    }
    return {};
}

QString FirstRun::folderProblem(const QString& folder, const QString& what)
{
    const QString path = folder.trimmed();
    if (path.isEmpty()) {
        return QStringLiteral("Enter the %1 folder.").arg(what);
    }
    if (QFileInfo(path).isRelative()) {
        return QStringLiteral("Enter the %1 folder as a full path (starting with /).").arg(what);
    }
    if (!QDir().mkpath(path)) {
        return QStringLiteral("The %1 folder %2 cannot be created.").arg(what, path);
    }
    // Permissions alone do not tell (read-only mounts, full disks): try a real file.
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".vk-probe-XXXXXX")));
    if (!probe.open() || probe.write("x", 1) != 1) {
        return QStringLiteral("The %1 folder %2 cannot be written to. Choose another folder.")
            .arg(what, path);
    }
    return {};
}

QString FirstRun::checkFolders(const Answers& a) const
{
    QString problem = folderProblem(a.exportFolder, QStringLiteral("export"));
    if (problem.isEmpty()) {
        problem = folderProblem(a.backupFolder, QStringLiteral("backup"));
    }
    return problem;
}

QList<RateRow> FirstRun::rateRows(const Answers& a) const
{
    // The editor's template and its computed columns, so the category looks the same when it
    // is opened there later.
    TariffEditor editor(m_db, m_digits);
    editor.load(a.category.trimmed());
    const QString rates[] = {a.rate30, a.rate45, a.rate60};
    QList<RateRow> out;
    if (editor.rowCount() != 3) {
        return out;
    }
    for (int i = 0; i < 3; ++i) {
        editor.editCell(i, TariffEditor::RateTotal, rates[i].trimmed());
    }
    editor.recompute();
    for (int i = 0; i < 3; ++i) {
        RateRow r;
        r.timeslice = Money::parse(editor.cell(i, TariffEditor::HourSlice));
        r.rate = Money::parse(editor.cell(i, TariffEditor::RateTotal));
        r.tperiod = editor.cell(i, TariffEditor::TimePeriod);
        r.rateslice = editor.cell(i, TariffEditor::Rate);
        r.rpermin = Money::parse(editor.cell(i, TariffEditor::RatePerMin));
        out.append(r);
    }
    return out;
}

QString FirstRun::apply(const Answers& a)
{
    for (const QString& problem :
         {checkPassword(a), checkCafe(a), checkCategory(a), checkFolders(a)}) {
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    const QList<RateRow> rows = rateRows(a);
    if (rows.size() != 3) {
        return QStringLiteral("The usage category could not be prepared.");
    }
    TariffSettings settings;
    settings.chargebyminute = a.byMinute;
    const QString category = a.category.trimmed();
    const bool stored = m_db.transaction(
        [&] {
            return m_db.run(QStringLiteral("UPDATE defalt SET admin = ?"), {a.password},
                            QStringLiteral("First run")) &&
                   TariffStore(m_db).save(category, a.description.trimmed(), true, rows, settings);
        },
        QStringLiteral("First run"));
    if (!stored) {
        return QStringLiteral("The setup could not be saved in the database: %1")
            .arg(m_db.lastError());
    }
    ConsoleSettings cafe(m_settingsFile);
    cafe.setCafeName(a.cafeName.trimmed());
    cafe.setCafeAddress1(a.address1.trimmed());
    cafe.setCafeAddress2(a.address2.trimmed());
    cafe.setExportFolder(a.exportFolder.trimmed());
    SettingsStore store(m_settingsFile);
    store.createKey(RegKey::Options);
    store.writeValue(RegKey::Options, OptionsModel::BackupFolderValue, a.backupFolder.trimmed());
    skip();
    return {};
}

void FirstRun::skip()
{
    SettingsStore store(m_settingsFile);
    store.createKey(RegKey::Options);
    store.writeValue(RegKey::Options, DoneValue, QStringLiteral("1"));
}

QStringList FirstRun::leftUnsavedLines(bool skipped)
{
    // The setup is only offered while no password is set, so the empty password is still the
    // administrator's.
    return {skipped ? QStringLiteral("New cafe setup skipped.")
                    : QStringLiteral("New cafe setup closed without saving. It opens again at "
                                     "the next start."),
            QStringLiteral("To change settings, choose Setings > Login and log in with the user "
                           "name admin and an empty password."),
            QStringLiteral("Then add a usage category under Setings > Usage and Charge Details "
                           "and set the passwords under Setings > General Settings.")};
}
