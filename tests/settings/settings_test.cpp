// The settings store and the INI layer under it, against files in a temporary folder.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppSettings.h"
#include "IniProfile.h"
#include "SaveFailures.h"
#include "ScopedOverride.h"
#include "UnwritableFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace orx {
namespace {

namespace fs = std::filesystem;

struct TempFolders final : SettingsFolders {
    std::string appData, music, config; // no config: the settings live in appData
    std::string localAppDataFolder() override { return appData; }
    std::string musicFolder() override { return music; }
    std::string configFolder() override { return config.empty() ? appData : config; }
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("orx_settings_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "data");
        folders->appData = (root / "data").string();
        folders->music = (root / "Music").string();
    }
    void TearDown() override
    {
        AppSettings::deleteInstance();
        AppSettings::setFolders(nullptr);
        fs::remove_all(root);
    }
    fs::path file() const { return root / "data" / "Veltra" / "ORX_Tevo_Utility.ini"; }
    void write(const std::string& text)
    {
        fs::create_directories(file().parent_path());
        std::ofstream(file()) << text;
    }
    std::string read() const { return readFile(file()); }
    static std::string readFile(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void writeFile(const fs::path& path, const std::string& text)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static fs::perms permsOf(const fs::path& path) { return fs::status(path).permissions() & fs::perms::mask; }

    fs::path root;
    std::shared_ptr<TempFolders> folders = std::make_shared<TempFolders>();
};

// The amp's ports as the user chose them: kept across runs, and a file that never had a choice gets no
// [MIDI] section from a save, so it stays as it was.
TEST_F(Settings, TheChosenMidiPortsAreKeptAndAFileWithoutThemStaysWithout)
{
    const std::string base = "[Window]\nX=1\nY=2\n[Properties]\nPrimaryCh=0\n[SpeakerSimulation]\n"
                             "FolderPathAmpI=/a\nFolderPathAmpII=/b\n";
    struct Case {
        const char* what;
        std::string file;
        std::string newApi, newInput, newOutput; // set before the save
        std::string expectedFile;
    };
    const Case cases[] = {
        {"no choice, none stored", base, "", "", "", base},
        {"ports chosen", base, "", "TEVO:TEVO MIDI 1", "TEVO:TEVO MIDI 1",
         base + "[MIDI]\nInputPort=TEVO:TEVO MIDI 1\nOutputPort=TEVO:TEVO MIDI 1\n"},
        {"a MIDI system and ports chosen", base, "jack", "system:midi_capture_1", "system:midi_playback_1",
         base + "[MIDI]\nApi=jack\nInputPort=system:midi_capture_1\nOutputPort=system:midi_playback_1\n"},
        {"a stored choice taken back",
         base + "[MIDI]\nApi=jack\nInputPort=TEVO:TEVO MIDI 1\nOutputPort=TEVO:TEVO MIDI 1\n", "", "", "",
         base + "[MIDI]\nApi=\nInputPort=\nOutputPort=\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.file);
        AppSettings settings(folders);
        ASSERT_TRUE(settings.load());
        settings.MidiApi = c.newApi;
        settings.MidiInputPort = c.newInput;
        settings.MidiOutputPort = c.newOutput;
        ASSERT_TRUE(settings.save());
        EXPECT_EQ(read(), c.expectedFile);
        AppSettings again(folders);
        ASSERT_TRUE(again.load());
        EXPECT_EQ(again.MidiApi, c.newApi);
        EXPECT_EQ(again.MidiInputPort, c.newInput);
        EXPECT_EQ(again.MidiOutputPort, c.newOutput);
    }
}

// The file conversion and each IR processing step are off unless the file says 1; a file that never had the key gets
// none from a save, so the files of users who never turned them on stay as they were.
TEST_F(Settings, TheSwitchesOfPropertiesAreOffUnlessTurnedOnAndAFileWithoutThemStaysWithout)
{
    const std::string head = "[Window]\nX=1\nY=2\n[Properties]\nPrimaryCh=0\n";
    const std::string tail = "[SpeakerSimulation]\nFolderPathAmpI=/a\nFolderPathAmpII=/b\n";
    const std::pair<std::string, bool AppSettings::*> switches[] = {
        {"ConvertFiles", &AppSettings::ConvertFiles}, {"TrimSilence", &AppSettings::TrimSilence},
        {"MinimumPhase", &AppSettings::MinimumPhase}, {"FadeOut", &AppSettings::FadeOut},
        {"MatchLoudness", &AppSettings::MatchLoudness}};
    for (const auto& [key, field] : switches) {
        struct Case {
            const char* what;
            std::string file;
            bool loaded;
            bool saved; // set before the save
            std::string expectedFile;
        };
        const Case cases[] = {
            {"never turned on", head + tail, false, false, head + tail},
            {"turned on", head + tail, false, true, head + key + "=1\n" + tail},
            {"turned off again", head + key + "=1\n" + tail, true, false, head + key + "=0\n" + tail},
            {"a value that is not 1 is off", head + key + "=yes\n" + tail, false, false, head + key + "=0\n" + tail},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(key + ": " + c.what);
            write(c.file);
            AppSettings settings(folders);
            ASSERT_TRUE(settings.load());
            EXPECT_EQ(settings.*field, c.loaded);
            EXPECT_EQ(settings.anyIrProcessing(), c.loaded && key != "ConvertFiles");
            settings.*field = c.saved;
            ASSERT_TRUE(settings.save());
            EXPECT_EQ(read(), c.expectedFile);
        }
    }
}

TEST_F(Settings, FirstRunGivesTheDefaultsAndCreatesTheFolderOnly)
{
    AppSettings settings(folders);
    EXPECT_TRUE(settings.load());
    EXPECT_EQ(settings.X, 0);
    EXPECT_EQ(settings.Y, 0);
    EXPECT_EQ(settings.PrimaryCh, 0);
    EXPECT_EQ(settings.FolderPathAmpI, (root / "Music" / "ORX" / "Veltra").string());
    EXPECT_EQ(settings.FolderPathAmpII, settings.FolderPathAmpI);
    EXPECT_TRUE(fs::is_directory(root / "data" / "Veltra"));
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_FALSE(fs::exists(root / "Music")) << "the default IR folder is never created";

    folders->music.clear();
    settings.load();
    EXPECT_EQ(settings.FolderPathAmpI, "/ORX/Veltra");
}

TEST_F(Settings, ANewFileHasTheKeysInSaveOrder)
{
    AppSettings settings(folders);
    settings.load();
    settings.X = -300;
    settings.Y = 25;
    settings.PrimaryCh = 2;
    settings.FolderPathAmpI = "/ir/one";
    settings.FolderPathAmpII = "";
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(read(), "[Window]\nX=-300\nY=25\n[Properties]\nPrimaryCh=2\n[SpeakerSimulation]\nFolderPathAmpI=/ir/one\n"
                      "FolderPathAmpII=\n");

    AppSettings again(folders);
    again.load();
    EXPECT_EQ(again.X, -300) << "a window left of the primary monitor comes back there";
    EXPECT_EQ(again.Y, 25);
    EXPECT_EQ(again.PrimaryCh, 2);
    EXPECT_EQ(again.FolderPathAmpI, "/ir/one");
    EXPECT_EQ(again.FolderPathAmpII, "") << "an empty stored value is not the default";
}

TEST_F(Settings, StoredValuesAreReadLikeTheProfileFunctions)
{
    const std::string longFolder = "/" + std::string(300, 'a');
    write("; kept comment\n[window]\n  x = 42junk \nY=\n[PROPERTIES]\nprimarych=7\n[SpeakerSimulation]\n"
          "FolderPathAmpI=/ir/\nFolderPathAmpII=" +
          longFolder + "\n[Other]\nKeep=me\n");
    AppSettings settings(folders);
    settings.load();
    EXPECT_EQ(settings.X, 42) << "leading digits, case-insensitive section and key";
    EXPECT_EQ(settings.Y, 0) << "an empty value gives the default";
    EXPECT_EQ(settings.PrimaryCh, 7) << "kept as stored; it means ask for each file";
    EXPECT_EQ(settings.FolderPathAmpI, "/ir") << "one trailing separator removed";
    EXPECT_EQ(settings.FolderPathAmpII, longFolder.substr(0, 259));

    settings.save();
    const std::string text = read();
    EXPECT_NE(text.find("; kept comment\n"), std::string::npos);
    EXPECT_NE(text.find("[Other]\nKeep=me\n"), std::string::npos) << "unrelated sections survive a save";
    EXPECT_NE(text.find("[window]\nx=42\nY=0\n"), std::string::npos) << "keys are replaced where they stand";
    EXPECT_EQ(text.find("[Window]"), std::string::npos) << "no second Window section";
}

TEST(TrailingSeparator, RootsAreKept)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"/ir/", "/ir"}, {"/ir//", "/ir/"}, {"/", "/"}, {"/ir", "/ir"}, {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(removeTrailingSeparator(c.in), c.out) << c.in;
}

TEST(ProfileIntegers, SignsDigitsAndDefaults)
{
    settings::IniProfile p;
    struct Case {
        const char* value;
        int expected;
    } cases[] = {{"-300", -300}, {"+12", 12}, {"12abc", 12}, {"abc", 0}, {"-", 0}, {"99999999999", 2147483647},
                 {"\"5\"", 5}};
    for (const auto& c : cases) {
        p.setString("S", "K", c.value);
        EXPECT_EQ(p.getInt("S", "K", 77), c.expected) << c.value;
    }
    EXPECT_EQ(p.getInt("S", "Missing", 77), 77);
    EXPECT_EQ(p.getInt("Missing", "K", -1), -1);
}

TEST_F(Settings, AnInterruptedSaveLeavesTheOldFileIntact)
{
    write("[Window]\nX=5\nY=6\n");
    // A folder where the temporary file would go makes the write fail, as a full disk would.
    fs::create_directories(file().string() + ".tmp");
    AppSettings settings(folders);
    settings.load();
    settings.X = 99;
    EXPECT_FALSE(settings.save());
    EXPECT_EQ(read(), "[Window]\nX=5\nY=6\n");
}

TEST_F(Settings, WithoutAnAppDataFolderNothingIsReadOrWritten)
{
    folders->appData.clear();
    AppSettings settings(folders);
    settings.X = 12;
    EXPECT_FALSE(settings.load());
    EXPECT_EQ(settings.X, 12) << "fields keep their values";
    EXPECT_FALSE(settings.save());
    EXPECT_TRUE(fs::is_empty(root / "data"));
}

TEST_F(Settings, TheInstanceLoadsOnCreationAndSavesOnDeletion)
{
    write("[Window]\nX=-1\n");
    AppSettings::setFolders(folders);
    AppSettings* settings = AppSettings::getInstance();
    EXPECT_EQ(settings->X, -1);
    EXPECT_EQ(AppSettings::getInstance(), settings);
    settings->Y = 3;
    AppSettings::deleteInstance();
    EXPECT_NE(read().find("Y=3"), std::string::npos);
    EXPECT_NE(read().find("FolderPathAmpII="), std::string::npos) << "every key is written at exit";
    AppSettings::deleteInstance(); // nothing left: nothing happens
}

using test::UnwritableFolder;

struct Told {
    SaveTarget target;
    std::string sentence;
};

class SettingsSaveFailure : public Settings {
protected:
    void SetUp() override
    {
        Settings::SetUp();
        write("[Window]\nX=5\nY=6\n");
        AppSettings settings(folders);
        settings.load();
        ASSERT_TRUE(settings.save()) << "a working save ends what an earlier test left failing";
        before = read();
    }
    static std::string sentenceFor(const fs::path& file, int reason)
    {
        return "Your settings could not be saved to " + file.string() + ": " + std::strerror(reason) +
               ". The folder choices, Properties and MIDI ports you changed are lost when the program ends.";
    }

    std::string before;
    std::vector<Told> told;
    ScopedOverride<SaveFailureListener> listener{
        &setSaveFailureListener,
        [this](SaveTarget target, const std::string& sentence) { told.push_back({target, sentence}); }};
};

// Each way a save can fail is told with the file and the reason, and leaves the file on disk as it was.
TEST_F(SettingsSaveFailure, AFailedSaveSaysWhereAndWhyAndKeepsTheOldFile)
{
    {
        UnwritableFolder unwritable(file());
        AppSettings settings(folders);
        settings.load();
        settings.X = 99;
        settings.FolderPathAmpI = "/somewhere/else";
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(settings.save());
        EXPECT_NE(::testing::internal::GetCapturedStderr().find(sentenceFor(file(), unwritable.reason)),
                  std::string::npos)
            << "the terminal hears of it too";
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].target, SaveTarget::Settings);
        EXPECT_EQ(told[0].sentence, sentenceFor(file(), unwritable.reason));
        EXPECT_EQ(read(), before) << "byte for byte";
        EXPECT_TRUE(saveFailing(SaveTarget::Settings));
        EXPECT_FALSE(saveFailing(SaveTarget::IrLibrary)) << "the library's state is its own";
    }

    // A config folder under a regular file: the settings' own folder cannot be made.
    told.clear();
    writeFile(root / "plain", "not a folder");
    folders->config = (root / "plain" / "config").string();
    AppSettings settings(folders);
    EXPECT_FALSE(settings.save());
    ASSERT_EQ(told.size(), 0u) << "the same failing run as above: told once";
    ASSERT_TRUE(fs::is_regular_file(root / "plain"));
    folders->config.clear();
    ASSERT_TRUE(settings.save());
    folders->config = (root / "plain" / "config").string();
    EXPECT_FALSE(settings.save());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].sentence, sentenceFor(root / "plain" / "config" / "Veltra" / "ORX_Tevo_Utility.ini", ENOTDIR));
    EXPECT_EQ(readFile(root / "plain"), "not a folder");
}

// Told once per failing run: again only after a save worked in between, also for the save at exit.
TEST_F(SettingsSaveFailure, AFailingRunIsToldOnceAndAgainAfterASaveWorked)
{
    AppSettings::setFolders(folders);
    AppSettings* settings = AppSettings::getInstance();
    {
        UnwritableFolder unwritable(file());
        EXPECT_FALSE(settings->save());
        EXPECT_FALSE(settings->save());
        EXPECT_EQ(told.size(), 1u);
    }
    EXPECT_TRUE(settings->save());
    EXPECT_FALSE(saveFailing(SaveTarget::Settings));
    EXPECT_EQ(told.size(), 1u);
    UnwritableFolder unwritable(file());
    settings->X = 41;
    AppSettings::deleteInstance();
    ASSERT_EQ(told.size(), 2u) << "the save at exit starts a new failing run";
    EXPECT_EQ(told[1].sentence, sentenceFor(file(), unwritable.reason));
    EXPECT_EQ(read(), before);
}

// True when the bytes are well-formed UTF-8 (no stray or cut sequences, no surrogates, no overlong forms).
bool validUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = c < 0x80                 ? 1
                        : c >= 0xC2 && c <= 0xDF ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += n;
    }
    return true;
}

std::string repeat(const std::string& unit, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += unit;
    return text;
}

TEST_F(Settings, ALongFolderIsCutAfter259CharactersNotInsideOne)
{
    // 300 characters: the slash and 299 two-byte "é" (FolderPathAmpI), or 299 three-byte CJK (FolderPathAmpII).
    const std::string accented = "/" + repeat("\xC3\xA9", 299);
    const std::string cjk = "/" + repeat("\xE9\x9F\xB3", 299);
    write("[SpeakerSimulation]\nFolderPathAmpI=" + accented + "\nFolderPathAmpII=" + cjk + "\n");

    AppSettings settings(folders);
    settings.load();
    EXPECT_EQ(settings.FolderPathAmpI, "/" + repeat("\xC3\xA9", 258)) << "the first 259 code points";
    EXPECT_EQ(settings.FolderPathAmpII, "/" + repeat("\xE9\x9F\xB3", 258));
    EXPECT_TRUE(validUtf8(settings.FolderPathAmpI));
    EXPECT_TRUE(validUtf8(settings.FolderPathAmpII));

    // Written back and read again, the folder is still the same one.
    ASSERT_TRUE(settings.save());
    EXPECT_TRUE(validUtf8(read()));
    AppSettings again(folders);
    again.load();
    EXPECT_EQ(again.FolderPathAmpI, settings.FolderPathAmpI);
    EXPECT_EQ(again.FolderPathAmpII, settings.FolderPathAmpII);
}

TEST(ProfileStrings, TheLimitCountsCodePoints)
{
    settings::IniProfile p;
    const std::string four = "\xF0\x9F\x8E\xB8"; // a four-byte character
    p.setString("S", "K", repeat(four, 300));
    EXPECT_EQ(p.getString("S", "K", ""), repeat(four, 259));
    p.setString("S", "K", repeat("a", 258) + "\xC3\xA9" + "tail");
    EXPECT_EQ(p.getString("S", "K", ""), repeat("a", 258) + "\xC3\xA9") << "the 259th character is kept whole";
    p.setString("S", "K", repeat("\xC3\xA9", 259));
    EXPECT_EQ(p.getString("S", "K", ""), repeat("\xC3\xA9", 259)) << "exactly 259 characters are not cut";
    EXPECT_EQ(p.getString("S", "Missing", repeat("\xE9\x9F\xB3", 280)), repeat("\xE9\x9F\xB3", 259))
        << "the default fills the same buffer";

    // Bytes that are not UTF-8 each count as one character and never swallow the next one.
    EXPECT_EQ(settings::firstCodePoints("\xE9"
                                        "abc",
                                        2),
              "\xE9"
              "a");
    EXPECT_EQ(settings::firstCodePoints("\xE9\x9F"
                                        "x",
                                        1),
              "\xE9")
        << "a cut sequence is not taken as one";
    EXPECT_EQ(settings::firstCodePoints("\xED\xA0\x80z", 4), "\xED\xA0\x80z")
        << "a surrogate is three bytes of one each";
    EXPECT_EQ(settings::firstCodePoints("\xC3\xA9", 5), "\xC3\xA9");
    EXPECT_EQ(settings::firstCodePoints("", 3), "");
}

TEST_F(Settings, AFolderWithALineBreakKeepsTheStoredOneInTheFile)
{
    const std::string before = "[Window]\nX=1\nY=2\n[Properties]\nPrimaryCh=0\n[SpeakerSimulation]\n"
                               "FolderPathAmpI=/ir/old\nFolderPathAmpII=/ir/two\n";
    write(before);
    AppSettings settings(folders);
    settings.load();
    settings.X = 11;
    settings.FolderPathAmpI = "/ir/new\nFolderPathAmpII=/elsewhere";
    settings.FolderPathAmpII = "/ir/cr\rline";
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(read(), "[Window]\nX=11\nY=2\n[Properties]\nPrimaryCh=0\n[SpeakerSimulation]\n"
                      "FolderPathAmpI=/ir/old\nFolderPathAmpII=/ir/two\n")
        << "the other keys are written, the two folders keep their stored values";
    EXPECT_EQ(settings.FolderPathAmpI, "/ir/new\nFolderPathAmpII=/elsewhere") << "still used for this run";

    // Saving again changes nothing: no stray lines pile up.
    ASSERT_TRUE(settings.save());
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(read().size(), before.size() + 1);

    AppSettings again(folders);
    again.load();
    EXPECT_EQ(again.FolderPathAmpI, "/ir/old");
    EXPECT_EQ(again.FolderPathAmpII, "/ir/two");
}

TEST_F(Settings, AFolderWithALineBreakIsNotWrittenIntoANewFile)
{
    AppSettings settings(folders);
    settings.load();
    settings.FolderPathAmpI = "/ir\n[Window]";
    settings.FolderPathAmpII = "/ir/two";
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(read(), "[Window]\nX=0\nY=0\n[Properties]\nPrimaryCh=0\n[SpeakerSimulation]\nFolderPathAmpII=/ir/two\n");
    AppSettings again(folders);
    again.load();
    EXPECT_EQ(again.FolderPathAmpI, (root / "Music" / "ORX" / "Veltra").string()) << "missing key: the default";
}

TEST(ProfileStrings, NamesAndValuesThatWouldNotReadBackAreRefused)
{
    settings::IniProfile p;
    ASSERT_TRUE(p.setString("S", "K", "v"));
    const auto lines = p.lines();
    for (const char* value : {"a\nb", "a\rb", "\n", "\r\n"})
        EXPECT_FALSE(p.setString("S", "K", value)) << "value with a line break";
    EXPECT_FALSE(p.setString("S", "K", std::string("a\0b", 3))) << "value with a NUL";
    for (const char* section : {"S\n", "\rS", "A\nB", "A]B", " S", "S\t"})
        EXPECT_FALSE(p.setString(section, "K", "v")) << "section " << section;
    for (const char* key : {"K\n", "\rK", "A\nB", "A=B", ";K", "#K", "[K]", " K", "K "})
        EXPECT_FALSE(p.setString("S", key, "v")) << "key " << key;
    EXPECT_EQ(p.lines(), lines) << "nothing changed";
    EXPECT_EQ(p.getString("S", "K", ""), "v");

    // Whatever was accepted reads back as written, even odd but harmless names.
    EXPECT_TRUE(p.setString("My Section", "Some key", "a=b;c"));
    EXPECT_EQ(p.getString("my section", "SOME KEY", ""), "a=b;c");
}

TEST_F(Settings, ALeadingByteOrderMarkIsSkipped)
{
    write("\xEF\xBB\xBF[Window]\r\nX=-5\r\nY=7\r\n[SpeakerSimulation]\r\nFolderPathAmpI=/ir/bom\r\n");
    AppSettings settings(folders);
    settings.load();
    EXPECT_EQ(settings.X, -5);
    EXPECT_EQ(settings.Y, 7);
    EXPECT_EQ(settings.FolderPathAmpI, "/ir/bom");

    settings.X = 3;
    ASSERT_TRUE(settings.save());
    const std::string text = read();
    EXPECT_EQ(text.rfind("[Window]\nX=3\nY=7\n", 0), 0u) << "no mark glued to the first section line";
    EXPECT_EQ(text.find("[Window]", 1), std::string::npos) << "no second Window section";
    EXPECT_EQ(text.find("\xEF\xBB\xBF"), std::string::npos);

    settings::IniProfile p = settings::IniProfile::load(file());
    EXPECT_EQ(p.getInt("Window", "X", 0), 3);
}

TEST_F(Settings, SavingThroughASymbolicLinkWritesItsTarget)
{
    const fs::path target = root / "dotfiles" / "orx" / "ORX_Tevo_Utility.ini";
    writeFile(target, "[Window]\nX=5\n[Other]\nKeep=me\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // A chain: the settings file -> a relative link in the dotfiles folder -> the file.
    const fs::path middle = root / "dotfiles" / "current.ini";
    fs::create_symlink(fs::path("orx") / "ORX_Tevo_Utility.ini", middle);
    fs::create_directories(file().parent_path());
    fs::create_symlink(middle, file());

    AppSettings settings(folders);
    settings.load();
    EXPECT_EQ(settings.X, 5) << "read through the links";
    settings.X = 42;
    ASSERT_TRUE(settings.save());

    EXPECT_TRUE(fs::is_symlink(file())) << "the link stays a link";
    EXPECT_EQ(fs::read_symlink(file()), middle);
    EXPECT_TRUE(fs::is_symlink(middle));
    EXPECT_EQ(fs::read_symlink(middle), fs::path("orx") / "ORX_Tevo_Utility.ini");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
    const std::string text = readFile(target);
    EXPECT_NE(text.find("X=42\n"), std::string::npos) << "the target has the new content";
    EXPECT_NE(text.find("[Other]\nKeep=me\n"), std::string::npos);
    EXPECT_EQ(permsOf(target), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read) << "0640 kept";
    EXPECT_FALSE(fs::exists(fs::symlink_status(target.string() + ".tmp")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(file().string() + ".tmp")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(middle.string() + ".tmp")));
}

TEST_F(Settings, SavingKeepsTheFilesPermissions)
{
    write("[Window]\nX=5\n");
    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write);
    AppSettings settings(folders);
    settings.load();
    settings.X = 6;
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(permsOf(file()), fs::perms::owner_read | fs::perms::owner_write) << "0600 kept";
    EXPECT_NE(read().find("X=6\n"), std::string::npos);
}

TEST_F(Settings, ANewFileGetsTheDefaultMode)
{
    const ::mode_t mask = ::umask(022);
    fs::create_directories(file().parent_path());
    // A stale temporary file of another mode from an interrupted save does not lend its mode.
    writeFile(file().string() + ".tmp", "stale");
    fs::permissions(file().string() + ".tmp", fs::perms::owner_read);
    AppSettings settings(folders);
    const bool saved = settings.save();
    ::umask(mask);
    ASSERT_TRUE(saved);
    EXPECT_EQ(permsOf(file()), static_cast<fs::perms>(0644));
    EXPECT_FALSE(fs::exists(file().string() + ".tmp"));
}

TEST_F(Settings, ADanglingLinkGetsItsTargetCreated)
{
    const fs::path target = root / "dotfiles" / "ORX_Tevo_Utility.ini";
    fs::create_directories(target.parent_path());
    fs::create_directories(file().parent_path());
    fs::create_symlink(target, file());

    AppSettings settings(folders);
    settings.load();
    settings.Y = 9;
    ASSERT_TRUE(settings.save());
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(fs::read_symlink(file()), target);
    EXPECT_NE(readFile(target).find("Y=9\n"), std::string::npos);
    AppSettings again(folders);
    again.load();
    EXPECT_EQ(again.Y, 9);
}

TEST_F(Settings, ALinkLoopIsNotReplaced)
{
    fs::create_directories(file().parent_path());
    const fs::path other = file().parent_path() / "other.ini";
    fs::create_symlink(other, file());
    fs::create_symlink(file(), other);
    AppSettings settings(folders);
    settings.load();
    EXPECT_FALSE(settings.save());
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_TRUE(fs::is_symlink(other));
    EXPECT_EQ(fs::read_symlink(file()), other);
}

// Earlier versions kept the file in the data folder; the first start with a config folder takes it along.
TEST_F(Settings, AFileAtTheEarlierPlaceMovesToTheConfigFolderOnce)
{
    enum class Old { File, RelativeLink, FileAndNewFileToo };
    for (const Old kind : {Old::File, Old::RelativeLink, Old::FileAndNewFileToo}) {
        SCOPED_TRACE(static_cast<int>(kind));
        fs::remove_all(root);
        fs::create_directories(root / "data");
        folders->config = (root / "config").string();
        const fs::path earlier = file(); // data/Veltra/ORX_Tevo_Utility.ini
        const fs::path now = root / "config" / "Veltra" / "ORX_Tevo_Utility.ini";
        const fs::path dotfile = root / "dotfiles" / "orx.ini";
        if (kind == Old::RelativeLink) {
            writeFile(dotfile, "[Window]\nX=33\n");
            fs::create_directories(earlier.parent_path());
            fs::create_symlink(fs::path("..") / ".." / "dotfiles" / "orx.ini", earlier);
        } else {
            writeFile(earlier, "[Window]\nX=33\n");
        }
        if (kind == Old::FileAndNewFileToo)
            writeFile(now, "[Window]\nX=44\n");

        AppSettings settings(folders);
        ASSERT_TRUE(settings.load());
        EXPECT_EQ(settings.settingsPath(), now);
        switch (kind) {
        case Old::File:
            EXPECT_EQ(settings.X, 33);
            EXPECT_FALSE(fs::exists(fs::symlink_status(earlier))) << "a second file would be left behind";
            break;
        case Old::RelativeLink:
            EXPECT_EQ(settings.X, 33);
            ASSERT_TRUE(fs::is_symlink(now));
            EXPECT_TRUE(fs::equivalent(now, dotfile));
            EXPECT_FALSE(fs::exists(fs::symlink_status(earlier)));
            break;
        case Old::FileAndNewFileToo:
            EXPECT_EQ(settings.X, 44) << "the file at the new place wins";
            EXPECT_EQ(readFile(earlier), "[Window]\nX=33\n") << "and the old one is left alone";
            break;
        }
        settings.X = 55;
        ASSERT_TRUE(settings.save());
        EXPECT_NE(readFile(now).find("X=55"), std::string::npos);
        if (kind == Old::RelativeLink) {
            EXPECT_NE(readFile(dotfile).find("X=55"), std::string::npos) << "the save goes through the link";
        }
        // A later start finds it where it is now.
        AppSettings again(folders);
        ASSERT_TRUE(again.load());
        EXPECT_EQ(again.X, 55);
    }
}

} // namespace
} // namespace orx
