// orx-irinfo --plot: the IR File Info picture drawn with cairo into a PNG file, without Qt.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IrPlot.h"

#include <string>

// The picture of `data` at the dialog's size; an empty string when written, else what went wrong.
std::string writeIrPlotPng(const eLibrary::IrPlotData& data, const std::string& path);
