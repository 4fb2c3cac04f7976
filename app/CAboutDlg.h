// The About box: title, icon, version, OK.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace orx {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kVersionText = "ORX Tevo Utility, Version 1.1.0.0";
    explicit CAboutDlg(QWidget* parent);
};

} // namespace orx
