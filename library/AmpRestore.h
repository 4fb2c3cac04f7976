// Putting a backup on the amplifier through the session, and reading the session into a backup. Blocks its
// caller while the amplifier works, so the program runs it on a thread of its own; needs the session's worker.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AmpBackup.h"
#include "RestorePlan.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace orx {

class CORXManager;

// What the session reports now (after a read of everything).
AmpSnapshot snapshotOfSession(CORXManager& session);

struct RestoreOptions {
    // How long one step may wait for the amplifier: a slot's transfer and store, the settings, the re-read.
    std::chrono::milliseconds stepTimeout{8000};
    // Called on the restoring thread before each step and once at the end (done == total).
    std::function<void(int done, int total, const std::string& step)> progress;
    // Where the slots written are recorded (kind "restore"); empty: nowhere.
    std::filesystem::path library;
};

// One slot written as a restore writes it (selected, transferred, stored: the slot is in use afterwards), waiting
// for the amplifier's store reply; empty when it was stored, else why not.
std::string writeSlotAndWait(CORXManager& session, int slot, const FIRRecord& record,
                             std::chrono::milliseconds timeout);

// Waits until the writes queued so far have gone out (they are not answered: an answer queued behind them is
// awaited); empty when they have, else why not.
std::string waitForWrites(CORXManager& session, std::chrono::milliseconds timeout);

// Steps of a restore: one per slot written, one for the settings, one for the re-read.
int restoreStepCount(const RestorePlan& plan);

// Writes the plan's slots one at a time (each selected, transferred, stored), then the effect settings, the
// wiring and the amp type in use of each channel restored, then reads the amplifier again. Stops at the first
// step the amplifier does not complete (no answer, a store refused, the connection lost) and says which slots
// were written and which were not.
RestoreReport runRestore(CORXManager& session, const AmpBackup& backup, const RestorePlan& plan,
                         const RestoreOptions& options = {});

} // namespace orx
