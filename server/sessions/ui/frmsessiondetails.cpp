// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/frmsessiondetails.h"

#include "platform/localemoney.h"
#include "server/core/ui/gridcelleditor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

int g_digits = -1;

const QColor Shade(255, 255, 179);
const QString FlatRateText =
    QStringLiteral("Flat Rate of               Per Hour after                   hour's");

// The flat-rate sentence with its two boxes laid into the gaps of the text.
class FlatRateLine final : public QLabel
{
public:
    FlatRateLine(QWidget* rate, QWidget* hours, QWidget* parent)
        : QLabel(FlatRateText, parent), m_rate(rate), m_hours(hours)
    {
        rate->setParent(this);
        hours->setParent(this);
        setMinimumHeight(qMax(rate->sizeHint().height(), hours->sizeHint().height()));
    }

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QLabel::resizeEvent(e);
        const QFontMetrics fm(font());
        const int firstGap = int(FlatRateText.indexOf(QStringLiteral("Per Hour")));
        const int secondStart = int(FlatRateText.indexOf(QStringLiteral("after"))) + 5;
        const int secondGap = int(FlatRateText.indexOf(QStringLiteral("hour's")));
        const int x1 = fm.horizontalAdvance(QStringLiteral("Flat Rate of "));
        const int w1 = fm.horizontalAdvance(FlatRateText.left(firstGap)) - x1 - 2;
        const int x2 = fm.horizontalAdvance(FlatRateText.left(secondStart + 1));
        const int w2 = fm.horizontalAdvance(FlatRateText.left(secondGap)) - x2 - 2;
        m_rate->setGeometry(x1, 0, qMax(w1, 40), height());
        m_hours->setGeometry(x2, 0, qMax(w2, 48), height());
    }

private:
    QWidget* m_rate;
    QWidget* m_hours;
};

int digitsNow()
{
    return g_digits >= 0 ? g_digits : LocaleMoney::currencyDigits();
}

} // namespace

void FrmSessionDetails::setCurrencyDigits(int digits)
{
    g_digits = digits;
}

FrmSessionDetails::FrmSessionDetails(Database& db, QWidget* parent)
    : QDialog(parent), m_editor(db, digitsNow())
{
    setObjectName(QStringLiteral("frmsessiondetails"));
    setWindowTitle(QStringLiteral("Usage Details, Charge Setting"));

    m_cmbusage = new QComboBox(this);
    m_cmbusage->setObjectName(QStringLiteral("cmbusage"));
    m_cmbusage->setEditable(true);
    m_cmbusage->setInsertPolicy(QComboBox::NoInsert);
    m_cmbusage->setToolTip(QStringLiteral("Select Me to Edit"));
    m_cmbusage->installEventFilter(this);
    m_cmbusage->lineEdit()->installEventFilter(this);

    m_txtdescription = new QLineEdit(this);
    m_txtdescription->setObjectName(QStringLiteral("txtdescription"));

    m_grdrate = new QTableWidget(1, TariffEditor::ColumnCount, this);
    m_grdrate->setObjectName(QStringLiteral("grdrate"));
    m_grdrate->setHorizontalHeaderLabels(TariffEditor::headerLabels());
    m_grdrate->verticalHeader()->hide();
    m_grdrate->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grdrate->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_cells = new GridCellEditor(m_grdrate, this);
    m_cells->setNumericColumn(TariffEditor::HourSlice);
    m_cells->setNumericColumn(TariffEditor::RateTotal);

    auto* chargeBy = new QGroupBox(QStringLiteral("Calculate charge by"), this);
    m_byMinute = new QRadioButton(QStringLiteral("By one Minute"), chargeBy);
    m_byMinute->setObjectName(QStringLiteral("Option1(1)"));
    m_byPeriod = new QRadioButton(QStringLiteral("By time period"), chargeBy);
    m_byPeriod->setObjectName(QStringLiteral("Option1(0)"));
    m_options = new QButtonGroup(this);
    m_options->addButton(m_byPeriod, 0);
    m_options->addButton(m_byMinute, 1);
    m_chkmintime =
        new QCheckBox(QStringLiteral("Use 1st time Period as Minimun Requierd"), chargeBy);
    m_chkmintime->setObjectName(QStringLiteral("chkmintime"));
    m_flathour[2] =
        new QCheckBox(QStringLiteral("Calculate Charge By One Minute after Flat hour"), chargeBy);
    auto* chargeByLayout = new QVBoxLayout(chargeBy);
    auto* optionRow = new QHBoxLayout;
    optionRow->addWidget(m_byMinute);
    optionRow->addWidget(m_byPeriod);
    chargeByLayout->addLayout(optionRow);
    chargeByLayout->addWidget(m_chkmintime);
    chargeByLayout->addWidget(m_flathour[2]);

    auto* flat = new QGroupBox(this);
    m_flathour[0] = new QCheckBox(QStringLiteral("Use Flat Hour Rate"), flat);
    m_flathour[1] = new QCheckBox(QStringLiteral("Applay flat Rate of total time spent"), flat);
    m_txtflathour = new QLineEdit(QStringLiteral("00.00"));
    m_txtflathour->setObjectName(QStringLiteral("txtflathour"));
    m_cmbflathour = new QComboBox;
    m_cmbflathour->setObjectName(QStringLiteral("cmbflathour"));
    m_cmbflathour->setEditable(true);
    m_cmbflathour->setInsertPolicy(QComboBox::NoInsert);
    for (int h = 1; h <= 12; ++h) {
        m_cmbflathour->addItem(QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')));
    }
    GridCellEditor::installNumericFilter(m_txtflathour);
    GridCellEditor::installNumericFilter(m_cmbflathour);
    auto* flatLayout = new QVBoxLayout(flat);
    flatLayout->addWidget(m_flathour[0]);
    flatLayout->addWidget(new FlatRateLine(m_txtflathour, m_cmbflathour, flat));
    flatLayout->addWidget(m_flathour[1]);
    flatLayout->addWidget(
        new QLabel(QStringLiteral("Please use [.] as a decimal separater"), flat));
    for (int i = 0; i < 3; ++i) {
        m_flathour[i]->setObjectName(QStringLiteral("flathour(%1)").arg(i));
    }

    const char* captions[6] = {"&Add", "&Delete", "&Save", "&Back", "Add", "Delete"};
    for (int i = 0; i < 6; ++i) {
        m_command[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        m_command[i]->setObjectName(QStringLiteral("Command1(%1)").arg(i));
        // Enter in a box must not press a button that saves or deletes.
        m_command[i]->setAutoDefault(false);
    }

    auto* form = new QVBoxLayout(this);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("Usage"), this));
    nameRow->addWidget(m_cmbusage, 1);
    nameRow->addWidget(new QLabel(QStringLiteral("Description"), this));
    nameRow->addWidget(m_txtdescription, 2);
    form->addLayout(nameRow);
    auto* gridRow = new QHBoxLayout;
    gridRow->addWidget(m_grdrate, 1);
    auto* rowButtons = new QVBoxLayout;
    rowButtons->addWidget(m_command[4]);
    rowButtons->addWidget(m_command[5]);
    rowButtons->addStretch();
    gridRow->addLayout(rowButtons);
    form->addLayout(gridRow);
    auto* settingsRow = new QHBoxLayout;
    settingsRow->addWidget(chargeBy);
    settingsRow->addWidget(flat);
    form->addLayout(settingsRow);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblstatus"));
    m_status->setTextFormat(Qt::PlainText);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    for (int i = 0; i < 4; ++i) {
        buttons->addWidget(m_command[i]);
    }
    form->addLayout(buttons);
    resize(720, 480);

    connect(m_cmbusage, &QComboBox::activated, this, [this] { loadName(false); });
    connect(m_cmbusage->lineEdit(), &QLineEdit::returnPressed, this, [this] { loadName(false); });
    connect(m_txtdescription, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_editor.setDescription(t); });
    connect(m_cells, &GridCellEditor::cellCommitted, this,
            [this](int row, int column, const QString& text) {
                m_editor.editCell(row, column, text);
                showGrid();
            });
    connect(m_grdrate, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (!m_updating && row >= 0 && column >= 0) {
            m_editor.setCurrent(row, column);
        }
    });
    connect(m_options, &QButtonGroup::idClicked, this, [this](int id) {
        m_editor.setByMinute(id == 1);
        showState();
    });
    connect(m_chkmintime, &QCheckBox::clicked, this, [this](bool on) {
        m_editor.setMinimum(on);
        showState();
    });
    connect(m_flathour[0], &QCheckBox::clicked, this, [this](bool on) {
        m_editor.setFlatHour(on);
        showState();
    });
    connect(m_flathour[1], &QCheckBox::clicked, this, [this](bool on) {
        m_editor.setFlatTotal(on);
        showState();
    });
    connect(m_flathour[2], &QCheckBox::clicked, this, [this](bool on) {
        m_editor.setMinuteAfterFlat(on);
        showState();
    });
    connect(m_txtflathour, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_updating) {
            m_editor.setFlatRate(t);
        }
    });
    connect(m_cmbflathour, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!m_updating) {
            m_editor.setFlatHours(t);
        }
    });
    connect(m_command[0], &QPushButton::clicked, this, &FrmSessionDetails::newClicked);
    connect(m_command[1], &QPushButton::clicked, this, &FrmSessionDetails::deleteClicked);
    connect(m_command[2], &QPushButton::clicked, this, &FrmSessionDetails::saveClicked);
    connect(m_command[3], &QPushButton::clicked, this, &QDialog::reject);
    connect(m_command[4], &QPushButton::clicked, this, &FrmSessionDetails::addRowClicked);
    connect(m_command[5], &QPushButton::clicked, this, &FrmSessionDetails::deleteRowClicked);

    cmbcategoryadd();
    showName();
    showState();
}

FrmSessionDetails::~FrmSessionDetails() = default;

void FrmSessionDetails::cmbcategoryadd()
{
    const QSignalBlocker block(m_cmbusage);
    m_cmbusage->clear();
    m_cmbusage->addItems(m_editor.categories());
    m_cmbusage->setCurrentIndex(-1);
}

void FrmSessionDetails::showName()
{
    const QSignalBlocker block(m_cmbusage);
    m_cmbusage->setEditText(m_editor.name());
}

void FrmSessionDetails::loadName(bool onlyWhenChanged)
{
    const QString typed = m_cmbusage->currentText().trimmed();
    if (typed.isEmpty() ||
        (onlyWhenChanged && typed.compare(m_editor.name(), Qt::CaseInsensitive) == 0)) {
        return;
    }
    m_cells->cancel();
    m_editor.load(typed);
    showName();
    showState();
}

void FrmSessionDetails::showGrid()
{
    const bool was = m_updating;
    m_updating = true;
    m_grdrate->setRowCount(m_editor.rowCount());
    for (int r = 0; r < m_editor.rowCount(); ++r) {
        const TariffEditor::Row& row = m_editor.rows()[r];
        for (int c = 0; c < TariffEditor::ColumnCount; ++c) {
            QTableWidgetItem* item = m_grdrate->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                m_grdrate->setItem(r, c, item);
            }
            item->setText(row.cells[std::size_t(c)]);
            item->setBackground(row.shaded && c >= TariffEditor::TimePeriod ? QBrush(Shade)
                                                                            : QBrush());
        }
    }
    if (m_editor.rowCount() > 0 && !m_cells->isOpen()) {
        m_grdrate->setCurrentCell(m_editor.currentRow(), m_editor.currentColumn());
    }
    m_updating = was;
}

void FrmSessionDetails::showState()
{
    m_updating = true;
    const TariffEditor::Controls& c = m_editor.controls();
    if (m_txtdescription->text() != c.description) {
        m_txtdescription->setText(c.description);
    }
    m_flathour[0]->setChecked(c.flatHour);
    m_flathour[1]->setChecked(c.flatTotal);
    m_flathour[2]->setChecked(c.minuteAfterFlat);
    m_flathour[1]->setEnabled(c.flatTotalEnabled);
    m_flathour[2]->setEnabled(c.minuteAfterFlatEnabled);
    if (m_txtflathour->text() != c.flatRate) {
        m_txtflathour->setText(c.flatRate);
    }
    m_txtflathour->setEnabled(c.flatRateEnabled);
    if (m_cmbflathour->currentText() != c.flatHours) {
        const int i = m_cmbflathour->findText(c.flatHours);
        if (i >= 0) {
            m_cmbflathour->setCurrentIndex(i);
        } else {
            m_cmbflathour->setEditText(c.flatHours);
        }
    }
    m_cmbflathour->setEnabled(c.flatHoursEnabled);
    (c.byMinute ? m_byMinute : m_byPeriod)->setChecked(true);
    m_chkmintime->setChecked(c.minimum);
    m_chkmintime->setEnabled(c.minimumEnabled);
    m_command[1]->setEnabled(c.deleteCategoryEnabled);
    m_command[2]->setEnabled(c.saveEnabled);
    m_command[4]->setEnabled(c.rowButtonsEnabled);
    m_command[5]->setEnabled(c.rowButtonsEnabled);
    m_status->setText(m_editor.status());
    showGrid();
    m_updating = false;
}

void FrmSessionDetails::editgrid()
{
    if (!m_cells->commit()) {
        m_editor.recompute();
        showGrid();
    }
}

void FrmSessionDetails::reject()
{
    // A value still in the cell editor is an edit too.
    editgrid();
    if (m_closingAnyway || m_editor.mayLeave()) {
        QDialog::reject();
    }
}

void FrmSessionDetails::closeEvent(QCloseEvent* event)
{
    // Only the operator's close box asks. The console closes its windows itself when it is
    // ending (a signal, the desktop session ending): a question then, answered No, would
    // cancel the quit and leave a console running with its link and database shut.
    m_closingAnyway = !event->spontaneous();
    QDialog::closeEvent(event);
    m_closingAnyway = false;
}

void FrmSessionDetails::newClicked()
{
    m_cells->cancel();
    m_editor.newEntry();
    showName();
    showState();
    m_cmbusage->setFocus();
}

void FrmSessionDetails::deleteClicked()
{
    loadName(true);
    if (m_editor.deleteCategory()) {
        cmbcategoryadd();
        showName();
    }
    showState();
}

void FrmSessionDetails::saveClicked()
{
    loadName(true);
    // A value still in the cell editor belongs to what the operator saves.
    editgrid();
    if (m_editor.save()) {
        cmbcategoryadd();
        showName();
    }
    showState();
}

void FrmSessionDetails::addRowClicked()
{
    editgrid();
    if (m_editor.addRow()) {
        showState();
        m_grdrate->setFocus();
    }
}

void FrmSessionDetails::deleteRowClicked()
{
    editgrid();
    if (m_editor.deleteRow()) {
        showState();
    }
}

bool FrmSessionDetails::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_cmbusage || watched == m_cmbusage->lineEdit()) &&
        event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        // Leaving the name box loads what it names; staying on the same name keeps the
        // edits on screen.
        loadName(true);
    }
    return QDialog::eventFilter(watched, event);
}
