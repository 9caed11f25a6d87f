// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

#include <functional>

class AgentSettings;
class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class XpCmdButton;

// The picture show's options: the folder and the interval in whole seconds (the desktop
// wallpaper choice is kept for the stored setting but not offered here). Ok stores them (accepted),
// Cancel stores nothing (rejected).
class FrmPicture : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MinSpeedSeconds = 1;
    static constexpr int MaxSpeedSeconds = 600;
    static inline const QString DialogTitle = QStringLiteral("Open picture");

    // Picks a file: (parent, title, start folder, filter) -> chosen file or "" when cancelled.
    using FileChooser =
        std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;

    explicit FrmPicture(AgentSettings& settings, QWidget* parent = nullptr);

    // The browse dialog's filter.
    static QString fileFilter();
    // Replaces the file dialog (tests); an empty function restores it.
    static void setFileChooser(FileChooser chooser);

private:
    void optionChanged();
    void speedChanged(int seconds);
    void browse();
    void ok();

    AgentSettings& m_settings;
    QRadioButton* m_pictures;
    QRadioButton* m_wallpaper;
    QLineEdit* m_path;
    XpCmdButton* m_browse;
    QScrollBar* m_speed;
    QLabel* m_speedLabel;
};
