// The failing-run state of each kind of save, and its listener.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SaveFailures.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace orx {

namespace {

// Saves come from the user-interface thread and, in the command-line tool, from its main thread; the lock only
// keeps a listener being replaced apart from a save in progress.
std::mutex g_mutex;
SaveFailureListener g_listener;
bool g_failing[2] = {false, false};

bool& failingFlag(SaveTarget target)
{
    return g_failing[target == SaveTarget::Settings ? 0 : 1];
}

} // namespace

SaveFailureListener setSaveFailureListener(SaveFailureListener listener)
{
    std::lock_guard lock(g_mutex);
    return std::exchange(g_listener, std::move(listener));
}

void reportSaveFailed(SaveTarget target, const std::string& sentence)
{
    std::fprintf(stderr, "ORX Tevo Utility: %s\n", sentence.c_str());
    SaveFailureListener listener;
    {
        std::lock_guard lock(g_mutex);
        if (std::exchange(failingFlag(target), true))
            return; // told already: the user knows nothing is kept until a save works again
        listener = g_listener;
    }
    // Outside the lock: a listener may show a box, and a save made while it is open must not wait for it.
    if (listener)
        listener(target, sentence);
}

void reportSaveSucceeded(SaveTarget target)
{
    std::lock_guard lock(g_mutex);
    failingFlag(target) = false;
}

bool saveFailing(SaveTarget target)
{
    std::lock_guard lock(g_mutex);
    return failingFlag(target);
}

} // namespace orx
