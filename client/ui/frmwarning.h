#pragma once

#include <QWidget>

class AgentController;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The remaining-time warning. "Show Details" opens a panel where the customer can change the
// approximate surfing time and the automatic logoff.
class FrmWarning : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ShortHeight = 82; // 1230 twips
    static constexpr int TallHeight = 188; // 2820 twips

    explicit FrmWarning(AgentController& controller, QWidget* parent = nullptr);

    void setRemaining(qint64 minutes);
    void toggleDetails();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void fitHeight(int height);

    AgentController& m_controller;
    QLabel* m_line;
    QPushButton* m_details;
    QGroupBox* m_options;
    QLineEdit* m_surf;
    QCheckBox* m_auto;
};
