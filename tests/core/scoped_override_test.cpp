// A seam put in place for a scope is taken away at its end, nested ones in the right order.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScopedOverride.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace {

using Greeting = std::function<std::string()>;
Greeting g_greeting;

Greeting setGreeting(Greeting greeting)
{
    return std::exchange(g_greeting, std::move(greeting));
}

std::string greet()
{
    return g_greeting ? g_greeting() : "default";
}

TEST(ScopedOverride, PutsThePreviousFunctionBackInTheOppositeOrder)
{
    {
        const orx::ScopedOverride<Greeting> outer(&setGreeting, [] { return std::string("outer"); });
        EXPECT_EQ(greet(), "outer");
        {
            const orx::ScopedOverride<Greeting> inner(&setGreeting, [] { return std::string("inner"); });
            EXPECT_EQ(greet(), "inner");
            setGreeting([] { return std::string("set by hand inside"); });
        }
        EXPECT_EQ(greet(), "outer") << "what was set inside the inner scope is gone with it";
    }
    EXPECT_EQ(greet(), "default");
}

} // namespace
