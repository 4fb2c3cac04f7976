// The one private JACK server of a test executable, started by the first test that needs it, stopped at the end.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JackServer.h"

#include <gtest/gtest.h>

namespace orx::test {

class SharedJackServer final : public ::testing::Environment {
public:
    static JackServer* get(std::string& failure)
    {
        if (!s_tried) {
            s_tried = true;
            s_server = JackServer::start(s_failure);
        }
        failure = s_failure;
        return s_server.get();
    }

    void TearDown() override { s_server.reset(); }

private:
    static inline bool s_tried = false;
    static inline std::string s_failure;
    static inline std::unique_ptr<JackServer> s_server;
};

// Registered once however many test files include this.
inline ::testing::Environment* const g_sharedJackServerEnvironment =
    ::testing::AddGlobalTestEnvironment(new SharedJackServer);

} // namespace orx::test
