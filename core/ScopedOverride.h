// A replaceable function (a seam: the error box, a question to the user, the MIDI backend's factory) put in
// place for one scope, with the previous one put back at its end, so a test that replaces one can never leak
// it into the next.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <type_traits>
#include <utility>

namespace orx {

// Setter: a function that installs a replacement and returns what was installed before.
template <typename Function> class ScopedOverride {
public:
    using Setter = Function (*)(Function);

    // The replacement is not used to deduce Function, so a lambda can be passed as it is.
    ScopedOverride(Setter set, std::type_identity_t<Function> replacement)
        : m_set(set), m_previous(set(std::move(replacement)))
    {
    }
    ~ScopedOverride() { m_set(std::move(m_previous)); }

    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    Setter m_set;
    Function m_previous;
};

} // namespace orx
