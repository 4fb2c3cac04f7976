// The IR library on temporary folders: records, queries, damaged and missing files, two writers at once.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrLibrary.h"
#include "LibraryTestSupport.h"
#include "WavExport.h"

#include <nettle/sha2.h>
#include <sndfile.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

using namespace orx;
using orx::test::nettleSha256;
using orx::test::readFile;
using orx::test::TempFolder;
using orx::test::testCoefficients;
using orx::test::writeFile;
namespace fs = std::filesystem;

namespace {

LibraryEntryInput install(int slot, const std::string& name, std::uint16_t fircoe, int seed)
{
    LibraryEntryInput in;
    in.name = files::nameFromText(name);
    in.fircoe = fircoe;
    in.coefficients = testCoefficients(seed);
    in.slot = slot;
    in.ampChannel = slot / 5;
    in.kind = EntryKind::Install;
    return in;
}

std::chrono::system_clock::time_point utc(int y, unsigned m, unsigned d, int h = 12)
{
    return std::chrono::sys_days{std::chrono::year{y} / m / d} + std::chrono::hours{h};
}

// What libsndfile, not our reader, makes of a WAV.
struct SndfileRead {
    SF_INFO info{};
    std::vector<short> samples;
};

SndfileRead readWithSndfile(const fs::path& path)
{
    SndfileRead r;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info);
    if (f == nullptr) {
        ADD_FAILURE() << "libsndfile cannot open " << path << ": " << sf_strerror(nullptr);
        return r;
    }
    r.samples.resize(static_cast<std::size_t>(r.info.frames * r.info.channels) + 16);
    const sf_count_t n = sf_read_short(f, r.samples.data(), static_cast<sf_count_t>(r.samples.size()));
    r.samples.resize(static_cast<std::size_t>(n));
    sf_close(f);
    return r;
}

std::map<std::string, std::string> wavBytes(const fs::path& folder)
{
    std::map<std::string, std::string> bytes;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".wav")
            bytes[e.path().filename().string()] = readFile(e.path());
    return bytes;
}

void expectSameEntries(const std::vector<LibraryEntry>& expected, const std::vector<LibraryEntry>& actual)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(actual[i].sameRecord(expected[i])) << "entry " << expected[i].id;
        EXPECT_EQ(actual[i].coefficientsState, CoefficientsState::Stored) << "entry " << expected[i].id;
    }
}

} // namespace

TEST(IrLibrary, RecordsEntriesThatASecondProgramReadsBack)
{
    TempFolder tmp;
    const fs::path source = tmp.path() / "Warm Cab.wav";
    writeFile(source, "any bytes: the library only hashes the source");
    const fs::path folder = libraryFolderIn(tmp.path() / "data");
    EXPECT_EQ(folder, tmp.path() / "data" / "Veltra" / "IR Library");

    IrLibrary library(folder);
    auto first = install(3, "Warm Cab", 8192, 1);
    first.sourceFile = source;
    first.processing = "resampled from 48000 Hz";
    first.time = utc(2026, 12, 10, 9);
    const LibraryEntry a = library.record(first);
    const LibraryEntry b = library.record(install(0, "Bright", 16383, 2));
    const LibraryEntry c = library.record(install(3, "Dark Cab", 4000, 3));

    EXPECT_EQ(a.nameText, "Warm Cab");
    EXPECT_EQ(a.sourceSha256, nettleSha256(readFile(source)));
    EXPECT_EQ(a.time, "2026-12-10T09:00:00Z");
    EXPECT_EQ(a.processing, "resampled from 48000 Hz");
    EXPECT_TRUE(b.sourceSha256.empty()) << "no source file";
    EXPECT_TRUE(fs::exists(folder / "index.json"));

    IrLibrary other(folder);
    expectSameEntries({a, b, c}, other.entries());
    ASSERT_TRUE(other.lastForSlot(3));
    EXPECT_EQ(other.lastForSlot(3)->id, c.id);
    EXPECT_EQ(other.lastForSlot(0)->id, b.id);
    EXPECT_FALSE(other.lastForSlot(4));
    EXPECT_TRUE(other.problems().empty());

    // The first instance sees what the second records, without being told.
    const LibraryEntry d = other.record(install(0, "Brighter", 16000, 4));
    EXPECT_EQ(library.lastForSlot(0)->id, d.id);
}

TEST(IrLibrary, KnowsASlotOnlyByItsLastEntry)
{
    TempFolder tmp;
    IrLibrary library(tmp.path());
    library.record(install(7, "Old Cab", 9000, 1));
    const LibraryEntry last = library.record(install(7, "New Cab", 9000, 2));
    library.record(install(2, "Elsewhere", 5000, 3));

    IrName garbageAfterEnd = files::nameFromText("New Cab");
    garbageAfterEnd[40] = 'x';
    struct Case {
        const char* what;
        int slot;
        IrName name;
        std::uint16_t fircoe;
        bool known;
    };
    const Case cases[] = {
        {"the amp holds what was stored last", 7, files::nameFromText("New Cab"), 9000, true},
        {"the gain was changed on the amp", 7, files::nameFromText("New Cab"), 9001, false},
        {"an older entry of the slot", 7, files::nameFromText("Old Cab"), 9000, false},
        {"another slot's entry", 6, files::nameFromText("New Cab"), 9000, false},
        {"the raw name differs behind its end", 7, garbageAfterEnd, 9000, false},
        {"a slot nothing was stored into", 9, files::nameFromText("New Cab"), 9000, false},
    };
    for (const Case& c : cases) {
        const auto found = library.known(c.slot, c.name, c.fircoe);
        EXPECT_EQ(found.has_value(), c.known) << c.what;
        if (found && c.known) {
            EXPECT_EQ(found->id, last.id) << c.what;
            EXPECT_EQ(library.coefficients(*found), testCoefficients(2)) << c.what;
        }
    }
}

TEST(IrLibrary, WavsHoldTheCoefficientsExactlyAsLibsndfileReadsThem)
{
    TempFolder tmp;
    IrLibrary library(tmp.path() / "lib");
    const LibraryEntry entry = library.record(install(1, "Extremes", 16383, 5));
    const fs::path exported = tmp.path() / "exported.wav";
    exportCoefficientsWav(exported, testCoefficients(6));

    const std::pair<fs::path, Coefficients> files[] = {{tmp.path() / "lib" / entry.wavFile, testCoefficients(5)},
                                                       {exported, testCoefficients(6)}};
    for (const auto& [path, expected] : files) {
        const SndfileRead r = readWithSndfile(path);
        EXPECT_EQ(r.info.samplerate, 44100) << path;
        EXPECT_EQ(r.info.channels, 1) << path;
        EXPECT_EQ(r.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << path;
        ASSERT_EQ(r.samples.size(), expected.size()) << path;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), r.samples.begin())) << path;
    }
    EXPECT_EQ(library.coefficients(entry), testCoefficients(5));
    std::size_t leftovers = 0;
    for (const auto& e : fs::directory_iterator(tmp.path()))
        leftovers += files::isTemporaryName(e.path().filename().string()) ? 1 : 0;
    EXPECT_EQ(leftovers, 0u);
}

TEST(IrLibrary, ARenameKeepsTheCoefficientsOfTheSlotWhenTheyAreKnown)
{
    TempFolder tmp;
    IrLibrary library(tmp.path());
    library.record(install(4, "Before", 7000, 8));

    LibraryEntryInput rename;
    rename.name = files::nameFromText("After");
    rename.fircoe = 7000;
    rename.slot = 4;
    rename.kind = EntryKind::Rename;
    const LibraryEntry renamed = library.record(rename);
    EXPECT_EQ(renamed.kind, EntryKind::Rename);
    EXPECT_TRUE(renamed.sourceSha256.empty());
    EXPECT_EQ(library.coefficients(renamed), testCoefficients(8));
    EXPECT_TRUE(library.known(4, files::nameFromText("After"), 7000));

    rename.slot = 9;
    rename.ampChannel = 1;
    const LibraryEntry unknown = library.record(rename);
    EXPECT_EQ(unknown.coefficientsState, CoefficientsState::None);
    EXPECT_FALSE(library.coefficients(unknown));
}

TEST(IrLibrary, RefusesASlotOutsideTheAmpOrOnTheWrongChannel)
{
    TempFolder tmp;
    IrLibrary library(tmp.path());
    const std::pair<int, int> bad[] = {{-1, 0}, {10, 1}, {5, 0}, {4, 1}};
    for (const auto& [slot, channel] : bad) {
        auto in = install(0, "x", 1, 1);
        in.slot = slot;
        in.ampChannel = channel;
        EXPECT_THROW(library.record(in), std::invalid_argument) << slot << "/" << channel;
    }
    EXPECT_TRUE(library.entries().empty());
}

TEST(IrLibrary, AMissingFolderIsAnEmptyLibraryAndIsNotCreatedByReading)
{
    TempFolder tmp;
    IrLibrary library(tmp.path() / "none");
    EXPECT_TRUE(library.entries().empty());
    EXPECT_FALSE(library.lastForSlot(0));
    EXPECT_TRUE(library.problems().empty());
    EXPECT_FALSE(fs::exists(tmp.path() / "none"));
}

// No folder at all (a program without a data folder) is no library: never the working folder's.
TEST(IrLibrary, AnEmptyPathIsNoLibraryNotTheWorkingFolder)
{
    TempFolder tmp;
    LibraryEntryInput input;
    input.name = files::nameFromText("Here");
    input.slot = 1;
    IrLibrary(tmp.path()).record(input);
    const fs::path before = fs::current_path();
    fs::current_path(tmp.path());
    IrLibrary none{fs::path()};
    const bool empty = none.entries().empty() && !none.lastForSlot(1);
    bool refused = false;
    try {
        none.record(input);
    } catch (const std::runtime_error&) {
        refused = true;
    }
    fs::current_path(before);
    EXPECT_TRUE(empty) << "the working folder's library was read";
    EXPECT_TRUE(refused);
    EXPECT_EQ(IrLibrary(tmp.path()).entries().size(), 1u) << "nothing was recorded into the working folder";
}

// A program killed while it writes: the temporary index half written and, worse, the index itself cut short.
TEST(IrLibrary, SurvivesAKillDuringTheIndexWrite)
{
    TempFolder tmp;
    std::vector<LibraryEntry> recorded;
    {
        IrLibrary library(tmp.path());
        for (int i = 0; i < 4; ++i)
            recorded.push_back(library.record(install(i, "Cab " + std::to_string(i), 1000 + i, i)));
    }
    const auto wavsBefore = wavBytes(tmp.path());
    const std::string index = readFile(tmp.path() / "index.json");
    writeFile(tmp.path() / "index.json.tmp-4242-0", index.substr(0, index.size() / 2));
    writeFile(tmp.path() / "index.json", index.substr(0, index.size() / 3));

    IrLibrary library(tmp.path());
    expectSameEntries(recorded, library.entries());
    EXPECT_EQ(wavBytes(tmp.path()), wavsBefore);
    EXPECT_FALSE(fs::exists(tmp.path() / "index.json.tmp-4242-0"));
    ASSERT_EQ(library.problems().size(), 1u);
    EXPECT_NE(library.problems()[0].find("rebuilt"), std::string::npos) << library.problems()[0];

    // The damaged index is kept for the user, and the rebuilt one reads clean.
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(tmp.path()))
        if (e.path().filename().string().starts_with("index.json.damaged-"))
            aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), index.substr(0, index.size() / 3));
    IrLibrary again(tmp.path());
    expectSameEntries(recorded, again.entries());
    EXPECT_TRUE(again.problems().empty());
}

// Killed after the entry's own files were written but before the index was replaced: the old index is intact
// and lacks the newest entry.
TEST(IrLibrary, AnEntryTheIndexLacksComesBackFromItsSidecar)
{
    TempFolder tmp;
    IrLibrary library(tmp.path());
    const LibraryEntry a = library.record(install(0, "A", 100, 1));
    const std::string oldIndex = readFile(tmp.path() / "index.json");
    const LibraryEntry b = library.record(install(0, "B", 200, 2));
    writeFile(tmp.path() / "index.json", oldIndex);

    IrLibrary reader(tmp.path());
    expectSameEntries({a, b}, reader.entries());
    EXPECT_EQ(reader.lastForSlot(0)->id, b.id);
    EXPECT_TRUE(reader.problems().empty()) << "nothing was damaged";
    const LibraryEntry c = reader.record(install(0, "C", 300, 3));
    EXPECT_NE(c.id, b.id);
}

TEST(IrLibrary, AHandDamagedIndexIsRebuiltFromTheSidecars)
{
    const std::pair<const char*, std::string> damages[] = {
        {"garbage", std::string("\x00\xff\x13garbage{{", 12)},
        {"empty", ""},
        {"an array", "[1, 2, 3]"},
        {"another program's JSON", R"({"format": "something", "version": 1, "entries": []})"},
        {"entries not a list", R"({"format": "orx-tevo-ir-library", "version": 1, "entries": {}})"},
        {"an entry without fields", R"({"format": "orx-tevo-ir-library", "version": 1, "entries": [{"id": "1"}]})"},
        {"an entry pointing out of the folder",
         R"({"format": "orx-tevo-ir-library", "version": 1, "entries": [{"id": "000001", "kind": "install",
            "time": "", "slot": 0, "amp_channel": 0, "name": "", "fircoe": 1, "source_file": "",
            "source_sha256": "", "processing": "", "wav": "../../etc/passwd", "wav_sha256": "", "name_hex": ")" +
             std::string(128, '0') + "\"}]}"},
    };
    for (const auto& [what, damage] : damages) {
        TempFolder tmp;
        std::vector<LibraryEntry> recorded;
        {
            IrLibrary library(tmp.path());
            recorded.push_back(library.record(install(2, "One", 3000, 1)));
            recorded.push_back(library.record(install(8, "Two", 4000, 2)));
        }
        const auto wavsBefore = wavBytes(tmp.path());
        writeFile(tmp.path() / "index.json", damage);

        IrLibrary library(tmp.path());
        std::vector<LibraryEntry> entries;
        ASSERT_NO_THROW(entries = library.entries()) << what;
        expectSameEntries(recorded, entries);
        EXPECT_EQ(wavBytes(tmp.path()), wavsBefore) << what;
        EXPECT_FALSE(library.problems().empty()) << what;
    }
}

TEST(IrLibrary, ReportsAnEntryWhoseWavIsMissingOrDamaged)
{
    TempFolder tmp;
    IrLibrary library(tmp.path());
    const LibraryEntry gone = library.record(install(0, "Gone", 100, 1));
    const LibraryEntry changed = library.record(install(1, "Changed", 200, 2));
    const LibraryEntry cut = library.record(install(2, "Cut", 300, 3));
    fs::remove(tmp.path() / gone.wavFile);
    std::string bytes = readFile(tmp.path() / changed.wavFile);
    bytes[500] = static_cast<char>(bytes[500] ^ 0x01);
    writeFile(tmp.path() / changed.wavFile, bytes);
    writeFile(tmp.path() / cut.wavFile, readFile(tmp.path() / cut.wavFile).substr(0, 100));

    IrLibrary reader(tmp.path());
    const auto entries = reader.entries();
    ASSERT_EQ(entries.size(), 3u);
    const CoefficientsState expected[] = {CoefficientsState::Missing, CoefficientsState::Damaged,
                                          CoefficientsState::Damaged};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i].coefficientsState, expected[i]) << entries[i].nameText;
        EXPECT_FALSE(reader.coefficients(entries[i])) << entries[i].nameText;
    }
    EXPECT_NE(describeKnown(entries[0], "").find("missing"), std::string::npos);
    EXPECT_NE(describeKnown(entries[1], "").find("damaged"), std::string::npos);

    // A damaged sidecar is said, and its entry, still in the index, stays.
    fs::path sidecar = tmp.path() / changed.wavFile;
    sidecar.replace_extension(".json");
    writeFile(sidecar, "{ not json");
    writeFile(tmp.path() / "notes.json", "{ the user's own file }");
    IrLibrary third(tmp.path());
    EXPECT_EQ(third.entries().size(), 3u);
    ASSERT_EQ(third.problems().size(), 1u);
    EXPECT_NE(third.problems()[0].find(sidecar.filename().string()), std::string::npos) << third.problems()[0];
}

TEST(IrLibrary, TwoWritersAtOnceLoseNoEntry)
{
    TempFolder tmp;
    constexpr int kEach = 12;
    auto writer = [&](int channel) {
        IrLibrary library(tmp.path()); // its own lock file descriptor, as another program has
        for (int i = 0; i < kEach; ++i)
            library.record(install(channel * 5 + i % 5, "W" + std::to_string(channel) + "-" + std::to_string(i),
                                   static_cast<std::uint16_t>(i + 1), i));
    };
    std::thread first(writer, 0);
    std::thread second(writer, 1);
    first.join();
    second.join();

    IrLibrary library(tmp.path());
    const auto entries = library.entries();
    EXPECT_EQ(entries.size(), 2u * kEach);
    std::set<std::string> ids, names;
    for (const auto& e : entries) {
        ids.insert(e.id);
        names.insert(e.nameText);
        EXPECT_EQ(e.coefficientsState, CoefficientsState::Stored) << e.nameText;
    }
    EXPECT_EQ(ids.size(), entries.size());
    EXPECT_EQ(names.size(), entries.size());
}

TEST(IrLibrary, DescribesAKnownSlotInOneLine)
{
    LibraryEntry e;
    e.nameText = "Warm Cab";
    e.time = "2026-12-10T15:31:23Z";
    e.coefficientsState = CoefficientsState::Stored;
    struct Case {
        EntryKind kind;
        std::string source;
        std::string home;
        std::string line;
    };
    const Case cases[] = {
        {EntryKind::Install, "/home/ann/IRs/Warm Cab.wav", "/home/ann",
         "known: Warm Cab, installed 2026-12-10 from ~/IRs/Warm Cab.wav"},
        {EntryKind::Install, "/home/ann/IRs/Warm Cab.wav", "/home/ann/",
         "known: Warm Cab, installed 2026-12-10 from ~/IRs/Warm Cab.wav"},
        {EntryKind::Install, "/home/anna/Warm Cab.wav", "/home/ann",
         "known: Warm Cab, installed 2026-12-10 from /home/anna/Warm Cab.wav"},
        {EntryKind::Install, "/opt/Warm Cab.wav", "", "known: Warm Cab, installed 2026-12-10 from /opt/Warm Cab.wav"},
        {EntryKind::Rename, "", "/home/ann", "known: Warm Cab, renamed 2026-12-10"},
        {EntryKind::Restore, "/home/ann/amp.json", "/home/ann", "known: Warm Cab, restored 2026-12-10 from ~/amp.json"},
    };
    for (const Case& c : cases) {
        e.kind = c.kind;
        e.sourceFile = c.source;
        EXPECT_EQ(describeKnown(e, c.home), c.line);
    }
}
