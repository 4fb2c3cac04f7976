// The settings store and the INI layer under it, against files in a temporary folder.
#include "AppSettings.h"
#include "IniProfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <unistd.h>

namespace orx {
namespace {

namespace fs = std::filesystem;

struct TempFolders final : SettingsFolders {
    std::string appData, music;
    std::string localAppDataFolder() override { return appData; }
    std::string musicFolder() override { return music; }
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
    std::string read() const
    {
        std::ifstream in(file());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path root;
    std::shared_ptr<TempFolders> folders = std::make_shared<TempFolders>();
};

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

} // namespace
} // namespace orx
