// The speaker pages' link to the IR library: what they store is recorded, what the amplifier holds is looked up.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SpeakerSimulationLogic.h"

#include <filesystem>
#include <functional>

namespace orx {

// The IR library the program records into; empty when the settings have no data folder.
std::filesystem::path programLibraryFolder();

// Records into, and describes from, the library in the folder `folder()` gives at each call (the settings' data
// folder by default); an empty folder records nothing and describes nothing.
IrRecorder libraryRecorder(std::function<std::filesystem::path()> folder = {});

} // namespace orx
