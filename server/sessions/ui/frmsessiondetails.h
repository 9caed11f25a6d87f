// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/tariffeditor.h"

#include <QDialog>

class Database;
class GridCellEditor;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

// "Usage Details, Charge Setting": creates, changes and deletes usage categories and their
// rate lists. Every rule lives in TariffEditor; this window mirrors its state into the
// controls and passes the operator's actions in.
class QCloseEvent;

class FrmSessionDetails : public QDialog
{
    Q_OBJECT
public:
    explicit FrmSessionDetails(Database& db, QWidget* parent = nullptr);
    ~FrmSessionDetails() override;

    // The currency digits the Rate per Min column is rounded to; the console sets them once at
    // start-up (until then the user's regional settings are read when the window opens).
    static void setCurrencyDigits(int digits);

    TariffEditor& editor() { return m_editor; }
    GridCellEditor& cellEditor() { return *m_cells; }

    // Back, Escape and the window's close button: unsaved edits are only left when the
    // operator agrees.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Set while the window is closed by the program rather than by the operator.
    bool m_closingAnyway = false;
    void cmbcategoryadd();
    // Loads the name typed or chosen in cmbusage; `onlyWhenChanged` for leaving the box.
    void loadName(bool onlyWhenChanged);
    void showName();
    void showState();
    void showGrid();
    void editgrid();

    void newClicked();
    void deleteClicked();
    void saveClicked();
    void addRowClicked();
    void deleteRowClicked();

    TariffEditor m_editor;
    bool m_updating = false;

    QComboBox* m_cmbusage = nullptr;
    QLineEdit* m_txtdescription = nullptr;
    QTableWidget* m_grdrate = nullptr;
    GridCellEditor* m_cells = nullptr;
    QRadioButton* m_byMinute = nullptr; // Option1(1)
    QRadioButton* m_byPeriod = nullptr; // Option1(0)
    QButtonGroup* m_options = nullptr;
    QCheckBox* m_chkmintime = nullptr;
    QCheckBox* m_flathour[3] = {};
    QLineEdit* m_txtflathour = nullptr;
    QComboBox* m_cmbflathour = nullptr;
    QPushButton* m_command[6] = {};
    QLabel* m_status = nullptr;
};
