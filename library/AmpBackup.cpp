// The backup file: written as JSON with a SHA-256 of its contents, read back tolerantly, refused with the reason.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpBackup.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace orx {

using nlohmann::json;

namespace {

constexpr const char* kTypeNames[kSlotsPerChannel] = {"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};
constexpr const char* kChecksumKey = "sha256";

const char* channelName(int channel)
{
    return channel == 0 ? "I" : "II";
}

// The checksum covers the compact dump: keys sorted, no spaces, so the layout of the file does not matter.
std::string checksumOf(const json& withoutChecksum)
{
    return files::sha256Hex(withoutChecksum.dump());
}

BackupReadResult refused(std::string problem)
{
    return {std::nullopt, std::move(problem)};
}

} // namespace

std::string slotLabel(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(kIrSlotCount))
        return "slot " + std::to_string(slot);
    return std::string(channelName(slot / static_cast<int>(kSlotsPerChannel))) + " " +
           kTypeNames[slot % static_cast<int>(kSlotsPerChannel)];
}

std::string gainText(std::uint16_t fircoe)
{
    if (fircoe == 0)
        return "silent";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f dB", 20.0 * std::log10(fircoe / 16384.0));
    return buffer;
}

AmpBackup makeBackup(const AmpSnapshot& snapshot, const IrLibrary& library)
{
    AmpBackup backup;
    backup.model = snapshot.model;
    backup.firmware = snapshot.firmware;
    backup.effects = snapshot.effects;
    backup.hasLoopWiring = snapshot.loopWiringAvailable;
    backup.created = files::isoUtc(std::chrono::system_clock::now());
    const int slots = backup.channelCount() * static_cast<int>(kSlotsPerChannel);
    for (int i = 0; i < slots; ++i) {
        const FIRRecord& record = snapshot.slots[static_cast<std::size_t>(i)];
        BackupSlot slot;
        slot.slot = i;
        slot.name = record.irName;
        slot.fircoe = record.FIRCOE;
        if (const auto entry = library.known(i, record.irName, record.FIRCOE)) {
            slot.coefficients = library.coefficients(*entry);
            if (slot.coefficients) {
                slot.libraryEntry = entry->id;
                slot.name = entry->name; // all 8 bits of each byte, as the slot holds them
            }
        }
        backup.slots.push_back(std::move(slot));
    }
    return backup;
}

std::string backupText(const AmpBackup& backup)
{
    const auto& b = backup.effects.bytes;
    json channels = json::array();
    for (int ch = 0; ch < backup.channelCount(); ++ch) {
        const std::size_t first = ch == 0 ? EffectData::kFirstParamChannel1 : EffectData::kFirstParamChannel2;
        channels.push_back({{"channel", channelName(ch)},
                            {"ir_slot", b[ch == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2]},
                            {"booster", b[first]},
                            {"fx_loop", b[first + 1]},
                            {"reverb", b[first + 2]},
                            {"noise_gate", b[first + 3]}});
    }
    json slots = json::array();
    for (const BackupSlot& s : backup.slots) {
        json slot{{"slot", s.slot},
                  {"label", slotLabel(s.slot)},
                  {"name", files::nameText(s.name)},
                  {"name_hex", files::toHex(s.name.data(), s.name.size())},
                  {"fircoe", s.fircoe},
                  {"gain", gainText(s.fircoe)},
                  {"coefficients", nullptr},
                  {"library_entry", s.libraryEntry}};
        if (s.coefficients)
            slot["coefficients"] = files::toBase64(files::coefficientBytes(*s.coefficients));
        slots.push_back(std::move(slot));
    }
    json j{{"format", kBackupFormat},         {"version", kBackupVersion},
           {"created", backup.created},       {"model", backup.model},
           {"firmware", backup.firmware},     {"effect_data", files::toHex(b.data(), b.size())},
           {"channels", std::move(channels)}, {"slots", std::move(slots)}};
    if (backup.hasLoopWiring)
        j["fx_loop_wiring"] = {{"send", b[EffectData::kLoopSend]}, {"return", b[EffectData::kLoopReturn]}};
    j[kChecksumKey] = checksumOf(j);
    return j.dump(2) + "\n";
}

void writeBackup(const std::filesystem::path& path, const AmpBackup& backup)
{
    files::writeAtomically(path, backupText(backup));
}

BackupReadResult readBackup(const std::filesystem::path& path)
{
    const auto text = files::readWhole(path);
    if (!text)
        return refused("The backup file " + path.string() + " cannot be read.");
    return parseBackup(*text);
}

BackupReadResult parseBackup(const std::string& text)
{
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return refused("The file is empty: it is not a backup.");
    if (text[start] != '{' && text[start] != '[')
        return refused("This is not a backup file: it is not JSON.");
    json j;
    try {
        j = json::parse(text);
    } catch (const json::parse_error& error) {
        // Running out of text inside a value is as much a cut as running out between values.
        if (error.byte >= text.size() || std::string(error.what()).find("end of input") != std::string::npos)
            return refused("The backup file is cut short: it ends before its content does.");
        return refused("The backup file is damaged: it is not valid JSON from byte " + std::to_string(error.byte) +
                       " on.");
    }

    if (!j.is_object() || !j.contains("format"))
        return refused("This is not a backup of this program: it is JSON of another kind.");
    if (!j["format"].is_string() || j["format"].get<std::string>() != kBackupFormat)
        return refused("This is not a backup of this program: it is a \"" +
                       (j["format"].is_string() ? j["format"].get<std::string>() : j["format"].dump()) + "\" file.");
    if (!j.contains("version") || !j["version"].is_number_integer())
        return refused("The backup file does not say its format version.");
    if (const auto version = j["version"].get<std::int64_t>(); version != kBackupVersion)
        return refused("The backup has format version " + std::to_string(version) + "; this program reads version " +
                       std::to_string(kBackupVersion) + " only.");

    if (!j.contains(kChecksumKey) || !j[kChecksumKey].is_string())
        return refused("The backup file has no checksum, so a damaged file could not be told apart.");
    const std::string stated = j[kChecksumKey].get<std::string>();
    j.erase(kChecksumKey);
    if (checksumOf(j) != stated)
        return refused("The backup's checksum does not match its content: the file was changed or damaged.");

    // From here on the file is as some program wrote it; what is checked is that the values make sense.
    auto integer = [&](const json& parent, const char* key) -> std::optional<std::int64_t> {
        const auto it = parent.find(key);
        if (it == parent.end() || !it->is_number_integer())
            return std::nullopt;
        return it->get<std::int64_t>();
    };
    auto text_ = [&](const json& parent, const char* key) -> std::optional<std::string> {
        const auto it = parent.find(key);
        if (it == parent.end() || !it->is_string())
            return std::nullopt;
        return it->get<std::string>();
    };

    AmpBackup backup;
    const auto model = integer(j, "model");
    if (!model || (*model != 1 && *model != 2))
        return refused("The backup's model is " + (j.contains("model") ? j["model"].dump() : std::string("missing")) +
                       "; only models 1 and 2 exist.");
    backup.model = static_cast<int>(*model);
    const auto firmware = integer(j, "firmware");
    if (!firmware || *firmware < 0 || *firmware > 0xFFFF)
        return refused("The backup's firmware value is missing or out of range (0 to 65535).");
    backup.firmware = static_cast<std::uint16_t>(*firmware);
    backup.created = text_(j, "created").value_or("");

    const auto effectHex = text_(j, "effect_data");
    const auto effectBytes = effectHex ? files::fromHex(*effectHex) : std::nullopt;
    if (!effectBytes || effectBytes->size() != backup.effects.bytes.size())
        return refused("The backup's effect settings are not 16 bytes of hex.");
    std::copy(effectBytes->begin(), effectBytes->end(), backup.effects.bytes.begin());
    backup.hasLoopWiring = j.contains("fx_loop_wiring");

    if (!j.contains("slots") || !j["slots"].is_array())
        return refused("The backup has no list of slots.");
    const int slotCount = backup.channelCount() * static_cast<int>(kSlotsPerChannel);
    std::set<int> seen;
    for (const json& item : j["slots"]) {
        if (!item.is_object())
            return refused("A slot of the backup is not a slot.");
        const auto index = integer(item, "slot");
        if (!index || *index < 0 || *index >= slotCount)
            return refused("The backup holds slot " + (item.contains("slot") ? item["slot"].dump() : std::string("?")) +
                           ", which a model " + std::to_string(backup.model) + " amplifier does not have (0 to " +
                           std::to_string(slotCount - 1) + ").");
        if (!seen.insert(static_cast<int>(*index)).second)
            return refused("The backup holds slot " + std::to_string(*index) + " twice.");
        BackupSlot slot;
        slot.slot = static_cast<int>(*index);
        const auto nameHex = text_(item, "name_hex");
        const auto nameBytes = nameHex ? files::fromHex(*nameHex) : std::nullopt;
        if (!nameBytes || nameBytes->size() != kIrNameLength)
            return refused("The name of slot " + slotLabel(slot.slot) + " in the backup is not 64 bytes of hex.");
        std::copy(nameBytes->begin(), nameBytes->end(), slot.name.begin());
        const auto fircoe = integer(item, "fircoe");
        if (!fircoe || *fircoe < 0 || *fircoe > kMaxFIRCOE)
            return refused("The gain of slot " + slotLabel(slot.slot) + " in the backup is out of range (0 to " +
                           std::to_string(kMaxFIRCOE) + ").");
        slot.fircoe = static_cast<std::uint16_t>(*fircoe);
        if (const auto it = item.find("coefficients"); it != item.end() && !it->is_null()) {
            const auto bytes = it->is_string() ? files::fromBase64(it->get<std::string>()) : std::nullopt;
            if (!bytes)
                return refused("The coefficients of slot " + slotLabel(slot.slot) + " in the backup are not base64.");
            slot.coefficients = files::coefficientsFromBytes(*bytes);
            if (!slot.coefficients)
                return refused("Slot " + slotLabel(slot.slot) + " in the backup has " +
                               std::to_string(bytes->size() / 2) + " coefficients instead of " +
                               std::to_string(kCoefficientCount) + ".");
        }
        slot.libraryEntry = text_(item, "library_entry").value_or("");
        backup.slots.push_back(std::move(slot));
    }
    std::sort(backup.slots.begin(), backup.slots.end(),
              [](const BackupSlot& a, const BackupSlot& b) { return a.slot < b.slot; });
    return {std::move(backup), {}};
}

} // namespace orx
