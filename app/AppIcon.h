// The application icon.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace orx {
QIcon appIcon();
} // namespace orx
