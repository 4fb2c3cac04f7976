// Pages composed the way the program paints them, with sample texts and controls in chosen looks, for review.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Art.h"

#include <QString>

namespace artgen {

// Writes the composed pages and one sheet per film strip into the folder; false when a file cannot be written.
bool writePreviews(const Pictures& pictures, const QString& folder);

} // namespace artgen
