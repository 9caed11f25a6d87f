// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

// "About" box: the program's name and version, the way to its help, and its OK button.
class FrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget* parent = nullptr);
};
