// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

class AgentController;
class QLabel;
class QLineEdit;
class QPushButton;

// The connection dialog: console address, this terminal's name and the port. It lives for the
// whole run and is only shown and hidden; the controller decides when.
class FrmConnection : public QDialog
{
    Q_OBJECT
public:
    explicit FrmConnection(AgentController& controller, QWidget* parent = nullptr);

    // Fields from the controller's copy (stored values or what was last typed).
    void loadFields();
    // Second button: "E&xit" ends the agent, "&Hide" only hides the dialog.
    void setHideMode(bool hide);
    void setStatus(const QString& text);
    void focusAddress();

Q_SIGNALS:
    void exitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void connectClicked();
    void cancelClicked();
    void pushFields();

    AgentController& m_controller;
    QLineEdit* m_address;
    QLineEdit* m_name;
    QLineEdit* m_port;
    QLabel* m_status;
    QPushButton* m_connect;
    QPushButton* m_cancel;
};
