// The application icon.
#pragma once

#include <QIcon>

namespace orx {
QIcon appIcon();
} // namespace orx
