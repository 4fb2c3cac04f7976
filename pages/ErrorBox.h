// The one error box: a code's text with the code, the application title as caption, one box at a time; a line
// under the text may say more about what failed (which file, and why).
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SaveFailures.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

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

// While it lives, a save that fails (the settings file, the IR library's record; see SaveFailures.h) is told in
// the error box owned by `owner`, once per failing run. The box waits for the event loop, so a save in the middle
// of a page's work never opens a modal loop there; one failing while a box is open is told after that box.
class SaveFailureBoxes {
public:
    explicit SaveFailureBoxes(QWidget* owner);
    ~SaveFailureBoxes(); // the listener before it is put back; what was not shown yet is dropped
    SaveFailureBoxes(const SaveFailureBoxes&) = delete;
    SaveFailureBoxes& operator=(const SaveFailureBoxes&) = delete;

    // Shows at once what is waiting: for the saves of the closing steps, after the window's event loop ended.
    void showPending();

    struct State;

private:
    std::shared_ptr<State> m_state;
    SaveFailureListener m_previous;
};

} // namespace orx
