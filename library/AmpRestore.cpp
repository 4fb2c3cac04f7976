// A restore through the session: one slot at a time, then the settings, then a re-read; it stops where the amplifier does.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpRestore.h"

#include "CORXManager.h"
#include "ErrorTexts.h"
#include "IrLibrary.h"
#include "SessionEvents.h"

#include <cstdio>
#include <initializer_list>
#include <optional>

namespace orx {

namespace {

// Waits for the first of `wanted`, or of the events that end a restore; nothing when none came in time.
class EventWaiter {
public:
    using Event = SessionEvents::Event;
    explicit EventWaiter(CORXManager& session) : m_events(session) {}

    std::optional<Event> waitFor(std::initializer_list<int> wanted, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (const auto e = m_events.next(deadline)) {
            if (endsRestore(e->event))
                return e;
            for (const int w : wanted)
                if (e->event == w)
                    return e;
        }
        return std::nullopt;
    }

    static bool endsRestore(int event)
    {
        return event == kEventError || event == kEventDisconnected || event == kEventNoHeartbeat ||
               event == kEventStoreFailed || event == kEventBlockBad;
    }

private:
    SessionEvents m_events;
};

std::string whyStopped(const std::optional<EventWaiter::Event>& e, std::chrono::milliseconds timeout)
{
    if (!e)
        return "the amplifier did not complete the step within " + std::to_string(timeout.count()) + " ms";
    switch (e->event) {
    case kEventError:
        return mstd::errorMessage(e->value);
    case kEventDisconnected:
        return "the amplifier was disconnected";
    case kEventNoHeartbeat:
        return "the amplifier stopped answering";
    case kEventStoreFailed:
        return "the amplifier refused to store the slot";
    case kEventBlockBad:
        return "the amplifier reported a part of the transfer as damaged";
    default:
        return "the amplifier reported event " + std::to_string(e->event);
    }
}

ReportedSlot reported(const PlannedSlot& slot)
{
    return {slot.slot, slot.nameText};
}

void recordRestored(const std::filesystem::path& library, const PlannedSlot& slot)
{
    if (library.empty() || !slot.coefficients)
        return;
    LibraryEntryInput input;
    input.name = slot.name;
    input.fircoe = slot.fircoe;
    input.coefficients = slot.coefficients;
    input.processing = "restored from a backup";
    input.ampChannel = slot.slot / static_cast<int>(kSlotsPerChannel);
    input.slot = slot.slot;
    input.kind = EntryKind::Restore;
    try {
        IrLibrary(library).record(input);
    } catch (const std::exception& e) {
        // The amplifier has the response either way; only the record of it is missing.
        std::fprintf(stderr, "IR library: cannot record the restored slot %s: %s\n", slotLabel(slot.slot).c_str(),
                     e.what());
    }
}

std::string writeSlotWith(EventWaiter& events, CORXManager& session, int slot, const FIRRecord& record,
                          std::chrono::milliseconds timeout)
{
    session.addSlotWrite(slot, record);
    const auto stored = events.waitFor({kEventStored}, timeout);
    return stored && stored->event == kEventStored ? std::string() : whyStopped(stored, timeout);
}

std::string waitForWritesWith(EventWaiter& events, CORXManager& session, std::chrono::milliseconds timeout)
{
    session.addRequest(kRequestUpdater, 0, 0);
    const auto e = events.waitFor({kEventUpdater}, timeout);
    return e && e->event == kEventUpdater ? std::string() : whyStopped(e, timeout);
}

} // namespace

std::string waitForWrites(CORXManager& session, std::chrono::milliseconds timeout)
{
    EventWaiter events(session);
    return waitForWritesWith(events, session, timeout);
}

std::string writeSlotAndWait(CORXManager& session, int slot, const FIRRecord& record,
                             std::chrono::milliseconds timeout)
{
    EventWaiter events(session);
    if (!session.isOpen())
        return "the amplifier is not connected";
    return writeSlotWith(events, session, slot, record, timeout);
}

AmpSnapshot snapshotOfSession(CORXManager& session)
{
    AmpSnapshot snapshot;
    snapshot.model = session.getModelCode() == '1' ? 1 : 2;
    snapshot.firmware = session.getUpdaterValue();
    snapshot.loopWiringAvailable = session.isLoopSettingsAvailable();
    snapshot.effects = session.getEffectData();
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot)
        snapshot.slots[slot] = session.getSlot(slot);
    return snapshot;
}

int restoreStepCount(const RestorePlan& plan)
{
    return static_cast<int>(plan.slotWrites.size()) + 2;
}

RestoreReport runRestore(CORXManager& session, const AmpBackup& backup, const RestorePlan& plan,
                         const RestoreOptions& options)
{
    RestoreReport report;
    const int total = restoreStepCount(plan);
    int done = 0;
    const auto progress = [&](const std::string& step) {
        if (options.progress)
            options.progress(done, total, step);
    };
    EventWaiter events(session);

    const auto stop = [&](std::size_t firstNotWritten, std::string reason) {
        report.interrupted = true;
        report.reason = std::move(reason);
        for (std::size_t i = firstNotWritten; i < plan.slotWrites.size(); ++i)
            report.notWritten.push_back(reported(plan.slotWrites[i]));
        progress("Stopped");
        return report;
    };
    if (!session.isOpen())
        return stop(0, "the amplifier is not connected");

    bool slotWrittenOn[2] = {false, false};
    for (std::size_t i = 0; i < plan.slotWrites.size(); ++i) {
        const PlannedSlot& slot = plan.slotWrites[i];
        progress("Writing slot " + slotLabel(slot.slot) + " \"" + slot.nameText + "\"");
        FIRRecord record;
        record.irName = slot.name;
        record.FIRCOE = slot.fircoe;
        record.coefficients = *slot.coefficients;
        if (std::string why = writeSlotWith(events, session, slot.slot, record, options.stepTimeout); !why.empty())
            return stop(i, std::move(why));
        report.written.push_back(reported(slot));
        slotWrittenOn[slot.slot / static_cast<int>(kSlotsPerChannel)] = true;
        recordRestored(options.library, slot);
        ++done;
    }

    progress("Restoring the effect settings");
    bool slotSettingOn[2] = {false, false};
    for (const SettingChange& change : plan.settings) {
        if (change.setting == EffectSetting::IrSlot) {
            slotSettingOn[change.channel] = true;
            continue;
        }
        const int request = kRequestBooster + static_cast<int>(change.setting) - static_cast<int>(EffectSetting::Booster);
        session.addRequest(request, change.channel, change.newValue);
    }
    if (plan.wiring) {
        session.addRequest(kRequestLoopSend, plan.wiring->newSend, 0);
        session.addRequest(kRequestLoopReturn, plan.wiring->newReturn, 0);
    }
    // Writing a slot selected it; the amp type in use goes back to the backup's last.
    for (int ch = 0; ch < 2; ++ch)
        if (slotWrittenOn[ch] || slotSettingOn[ch])
            session.addRequest(kRequestChooseSlot, ch,
                               backup.effects.bytes[ch == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2]);
    if (std::string why = waitForWritesWith(events, session, options.stepTimeout); !why.empty())
        return stop(plan.slotWrites.size(), std::move(why));
    report.settingsRestored = true;
    report.wiringRestored = plan.wiring.has_value();
    ++done;

    progress("Reading the amplifier again");
    session.addRequest(kRequestReadAll, 0, 0);
    if (const auto e = events.waitFor({kEventReadAll}, options.stepTimeout); !e || e->event != kEventReadAll)
        return stop(plan.slotWrites.size(), "everything was written, but reading the amplifier again failed: " +
                                                whyStopped(e, options.stepTimeout));
    ++done;
    progress("Done");
    return report;
}

} // namespace orx
