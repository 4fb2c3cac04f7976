// The one error box: a code's text with the code, the application title as caption, one box at a time; a line
// under the text may say more about what failed (which file, and why).
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace orx {

// Shows a modal box and returns when it is closed; `informative` is the line under the text, empty for none.
// Replaceable, so tests see what would be shown.
using ErrorBoxPresenter =
    std::function<void(QWidget* owner, const QString& caption, const QString& text, const QString& informative)>;
// Empty: the platform's message box. Returns the presenter it replaces (ScopedOverride puts it back).
ErrorBoxPresenter setErrorBoxPresenter(ErrorBoxPresenter presenter);

// Shows the box for an error code, unless a box is already open; then the error is dropped.
void showErrorMessage(QWidget* owner, int code);
// The same, with `informative` under the code's text.
void showErrorMessage(QWidget* owner, int code, const QString& informative);

// The process-wide "an error box is open" flag, shared with pages that show boxes of their own.
bool isErrorBoxOpen();
void setErrorBoxOpen(bool open);

// Shows a box with the given text through the presenter, honouring and setting the flag.
void showErrorText(QWidget* owner, const QString& text, const QString& informative = QString());

} // namespace orx
