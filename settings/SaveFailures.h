// Saves that failed, told to the user once per failing run: the first failure after a success (or after the
// start) is told, the ones after it are not, until a save of the same kind works again.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace orx {

// What was not kept: the settings file, or the IR library's record of what the amplifier stores.
enum class SaveTarget { Settings, IrLibrary };

// Hears the sentence for the user: what could not be saved, where, why and what is lost. It is called on the
// thread that saved; a window hands the sentence on to its own thread.
using SaveFailureListener = std::function<void(SaveTarget target, const std::string& sentence)>;
// Returns the listener it replaces (ScopedOverride puts it back). None: the sentence goes to standard error only.
SaveFailureListener setSaveFailureListener(SaveFailureListener listener);

// Every failure writes its sentence to standard error; the listener hears only the first of a failing run.
void reportSaveFailed(SaveTarget target, const std::string& sentence);
void reportSaveSucceeded(SaveTarget target);
// Whether the last save of `target` failed.
bool saveFailing(SaveTarget target);

} // namespace orx
