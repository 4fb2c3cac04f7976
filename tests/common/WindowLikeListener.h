// A session listener that asks for what the main window asks for, for tests of whole connections without it.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CORXManager.h"

namespace orx::test {

// The search on event 5, the updater value on event 2, the read-all on event 15. Register with the session
// as context.
inline void answerAsTheWindowDoes(std::int32_t event, std::int32_t, void* context)
{
    auto* session = static_cast<CORXManager*>(context);
    if (event == kEventNoHeartbeat)
        session->addRequest(kRequestOpen, 0, 0);
    else if (event == kEventConnected)
        session->addRequest(kRequestUpdater, 0, 0);
    else if (event == kEventUpdater)
        session->addRequest(kRequestReadAll, 0, 0);
}

} // namespace orx::test
