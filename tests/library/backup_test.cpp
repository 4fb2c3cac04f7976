// The backup file: what it keeps byte for byte, what a model 1 backup holds, and the files it refuses.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpBackup.h"
#include "IrLibrary.h"
#include "LibraryTestSupport.h"

#include <nettle/base64.h>
#include <nettle/sha2.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace orx;
using nlohmann::json;
using orx::test::nettleSha256;
using orx::test::readFile;
using orx::test::TempFolder;
using orx::test::testCoefficients;
using orx::test::writeFile;
namespace fs = std::filesystem;

namespace {

// A backup someone edited and then signed again as the program does: the checksum holds, the values do not.
std::string resigned(json j)
{
    j.erase("sha256");
    j["sha256"] = nettleSha256(j.dump());
    return j.dump(2);
}

IrName rawName(const std::string& text)
{
    IrName name = files::nameFromText(text);
    name[60] = 0xAB; // what an amp may leave behind the end; a restore must give it back unchanged
    return name;
}

// A model 2 amp whose slots 0, 2 and 7 the library knows; slot 3's gain was changed on the amp since.
struct KnownAmp {
    TempFolder tmp;
    IrLibrary library{tmp.path() / "lib"};
    AmpSnapshot snapshot;

    KnownAmp()
    {
        snapshot.model = 2;
        snapshot.firmware = 110;
        snapshot.loopWiringAvailable = true;
        for (std::size_t i = 0; i < 16; ++i)
            snapshot.effects.bytes[i] = static_cast<std::uint8_t>(i % 4);
        snapshot.effects.bytes[EffectData::kLoopSend] = 2;
        snapshot.effects.bytes[EffectData::kLoopReturn] = 1;
        for (int i = 0; i < 10; ++i) {
            snapshot.slots[static_cast<std::size_t>(i)].irName = rawName("Slot " + std::to_string(i));
            snapshot.slots[static_cast<std::size_t>(i)].FIRCOE = static_cast<std::uint16_t>(1000 * i + 1);
        }
        snapshot.slots[2].irName = rawName("Caf\xE9 \x80");
        for (const int slot : {0, 2, 3, 7}) {
            LibraryEntryInput in;
            in.name = snapshot.slots[static_cast<std::size_t>(slot)].irName;
            in.fircoe = snapshot.slots[static_cast<std::size_t>(slot)].FIRCOE;
            in.coefficients = testCoefficients(slot);
            in.slot = slot;
            in.ampChannel = slot / 5;
            library.record(in);
        }
        snapshot.slots[3].FIRCOE = 3999;
    }
};

} // namespace

TEST(AmpBackup, RoundTripKeepsNamesGainsAndCoefficientsByteForByte)
{
    KnownAmp amp;
    const AmpBackup backup = makeBackup(amp.snapshot, amp.library);
    ASSERT_EQ(backup.slots.size(), 10u);
    for (const auto& s : backup.slots)
        EXPECT_EQ(s.coefficients.has_value(), s.slot == 0 || s.slot == 2 || s.slot == 7) << s.slot;

    const fs::path path = amp.tmp.path() / "amp.orxbackup.json";
    writeBackup(path, backup);
    const BackupReadResult read = readBackup(path);
    ASSERT_TRUE(read.backup) << read.problem;
    const AmpBackup& b = *read.backup;
    EXPECT_EQ(b.model, 2);
    EXPECT_EQ(b.firmware, 110);
    EXPECT_EQ(b.effects, amp.snapshot.effects);
    EXPECT_TRUE(b.hasLoopWiring);
    ASSERT_EQ(b.slots.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(b.slots[i].slot, static_cast<int>(i));
        EXPECT_EQ(b.slots[i].name, amp.snapshot.slots[i].irName) << i;
        EXPECT_EQ(b.slots[i].fircoe, amp.snapshot.slots[i].FIRCOE) << i;
        EXPECT_EQ(b.slots[i].coefficients, backup.slots[i].coefficients) << i;
    }
    EXPECT_EQ(b.slots[7].coefficients, testCoefficients(7));

    // What a person or another tool reads in the file, checked without the code under test.
    const json j = json::parse(readFile(path));
    EXPECT_EQ(j["format"], "orx-tevo-backup");
    EXPECT_EQ(j["version"], 1);
    EXPECT_EQ(j["slots"][2]["name"], "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(j["effect_data"], "00010203000201030001020300010203");
    EXPECT_EQ(j["channels"][1]["booster"], 1);
    EXPECT_EQ(j["fx_loop_wiring"]["send"], 2);
    json unsigned_ = j;
    unsigned_.erase("sha256");
    EXPECT_EQ(j["sha256"], nettleSha256(unsigned_.dump()));
    const std::string b64 = j["slots"][7]["coefficients"];
    std::string raw(BASE64_DECODE_LENGTH(b64.size()), '\0');
    base64_decode_ctx ctx;
    base64_decode_init(&ctx);
    std::size_t n = raw.size();
    ASSERT_TRUE(base64_decode_update(&ctx, &n, reinterpret_cast<std::uint8_t*>(raw.data()), b64.size(), b64.data()));
    ASSERT_EQ(n, 4096u);
    EXPECT_EQ(static_cast<std::uint8_t>(raw[0]), 0x00) << "-32768 little-endian";
    EXPECT_EQ(static_cast<std::uint8_t>(raw[1]), 0x80);
    EXPECT_EQ(static_cast<std::uint8_t>(raw[2]), 0xFF) << "32767 little-endian";
    EXPECT_EQ(static_cast<std::uint8_t>(raw[3]), 0x7F);
}

TEST(AmpBackup, AModelOneBackupHoldsChannelOneOnly)
{
    KnownAmp amp;
    amp.snapshot.model = 1;
    amp.snapshot.loopWiringAvailable = false;
    const fs::path path = amp.tmp.path() / "one.json";
    writeBackup(path, makeBackup(amp.snapshot, amp.library));
    const auto read = readBackup(path);
    ASSERT_TRUE(read.backup) << read.problem;
    ASSERT_EQ(read.backup->slots.size(), 5u);
    EXPECT_EQ(read.backup->slots.back().slot, 4);
    EXPECT_FALSE(read.backup->hasLoopWiring);
    EXPECT_EQ(json::parse(readFile(path))["channels"].size(), 1u);
}

TEST(AmpBackup, RefusesADamagedOrForeignFileSayingWhy)
{
    KnownAmp amp;
    const std::string good = backupText(makeBackup(amp.snapshot, amp.library));
    const json j = json::parse(good);
    ASSERT_TRUE(parseBackup(good).backup) << "precondition";

    std::string checksumAltered = good;
    const auto at = checksumAltered.find(j["sha256"].get<std::string>());
    checksumAltered[at] = checksumAltered[at] == '0' ? '1' : '0';
    json gainChanged = j;
    gainChanged["slots"][1]["fircoe"] = 1234;
    json version2 = j;
    version2["version"] = 2;
    json tooHighGain = j;
    tooHighGain["slots"][4]["fircoe"] = 0x4000;
    json slotTen = j;
    slotTen["slots"][9]["slot"] = 10;
    json model3 = j;
    model3["model"] = 3;
    json shortCoefficients = j;
    shortCoefficients["slots"][0]["coefficients"] =
        files::toBase64(files::coefficientBytes(testCoefficients(0)).substr(0, 4094));
    json modelOneWithSlotSeven = j;
    modelOneWithSlotSeven["model"] = 1;
    json shortName = j;
    shortName["slots"][0]["name_hex"] = "4142";

    const std::pair<std::string, std::string> cases[] = {
        {good.substr(0, good.size() / 2), "cut short"},
        {good.substr(0, good.size() - 3), "cut short"},
        {checksumAltered, "checksum does not match"},
        {gainChanged.dump(2), "checksum does not match"},
        {std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16), "not JSON"},
        {"", "empty"},
        {R"({"name": "some settings", "values": [1, 2]})", "JSON of another kind"},
        {R"([{"format": "orx-tevo-backup"}])", "JSON of another kind"},
        {R"({"format": "orx-tevo-ir-library", "version": 1})", "not a backup of this program"},
        {version2.dump(), "format version 2"},
        {R"({"format": "orx-tevo-backup", "version": 1, "model": 2})", "no checksum"},
        {"{\"format\": \"orx-tevo-backup\" \"version\": 1}", "not valid JSON"},
        {resigned(tooHighGain), "out of range (0 to 16383)"},
        {resigned(slotTen), "slot 10"},
        {resigned(model3), "model is 3"},
        {resigned(shortCoefficients), "2047 coefficients instead of 2048"},
        {resigned(modelOneWithSlotSeven), "slot 5, which a model 1 amplifier does not have"},
        {resigned(shortName), "not 64 bytes"},
    };
    for (const auto& [text, problem] : cases) {
        const BackupReadResult r = parseBackup(text);
        EXPECT_FALSE(r.backup) << problem;
        EXPECT_NE(r.problem.find(problem), std::string::npos) << "expected \"" << problem << "\", got: " << r.problem;
    }

    // And through the file, as the program reads it.
    writeFile(amp.tmp.path() / "cut.json", good.substr(0, 200));
    EXPECT_NE(readBackup(amp.tmp.path() / "cut.json").problem.find("cut short"), std::string::npos);
    EXPECT_NE(readBackup(amp.tmp.path() / "none.json").problem.find("cannot be read"), std::string::npos);
}
