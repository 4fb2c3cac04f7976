// What the speaker page stores and the IR library could not record is told once per failing run, with the name,
// the library's folder and the reason; what the library held before stays as it was.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrLibrary.h"
#include "LibraryFiles.h"
#include "LibraryRecorder.h"
#include "SaveFailures.h"
#include "ScopedOverride.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orx {
namespace {

namespace fs = std::filesystem;

StoredIr stored(const std::string& name, int slot, bool rename = false)
{
    StoredIr s;
    s.slot = slot;
    s.ampCh = slot / 5;
    s.record.irName = files::nameFromText(name);
    s.record.FIRCOE = 16384;
    s.record.coefficients[0] = 32767;
    s.coefficientsKnown = !rename;
    s.rename = rename;
    s.processing = rename ? "" : "bypass";
    return s;
}

class LibraryRecordFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("orx_recorder_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        folder = root / "library";
        // A working record first: it ends a failing run an earlier test may have left.
        recorder.record(stored("Kept", 0));
        ASSERT_EQ(IrLibrary(folder).entries().size(), 1u);
        told.clear();
    }
    void TearDown() override
    {
        fs::permissions(folder, fs::perms::owner_all, ec);
        fs::remove_all(root, ec);
    }
    static std::string sentence(const std::string& start, const fs::path& at, const std::string& reason)
    {
        return start + ", but it could not be recorded in the IR library at " + at.string() + ": " + reason +
               ". Back Up Amp cannot restore it from the library.";
    }

    fs::path root, folder;
    std::error_code ec;
    IrRecorder recorder = libraryRecorder([this] { return folder; });
    std::vector<std::string> told;
    ScopedOverride<SaveFailureListener> listener{&setSaveFailureListener,
                                                 [this](SaveTarget target, const std::string& text) {
                                                     EXPECT_EQ(target, SaveTarget::IrLibrary);
                                                     told.push_back(text);
                                                 }};
};

// A folder that cannot be made (its parent is a regular file) stops a record for every user, root included.
TEST_F(LibraryRecordFailure, AnInstallOrRenameThatIsNotRecordedIsToldOncePerFailingRun)
{
    const fs::path kept = folder;
    std::ofstream(root / "plain") << "x";
    folder = root / "plain" / "library";
    recorder.record(stored("Cab A", 2));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], sentence("INSTALL stored \"Cab A\" in the amp", folder,
                                "cannot create the IR library folder " + folder.string() + ": Not a directory"));
    EXPECT_TRUE(saveFailing(SaveTarget::IrLibrary));

    recorder.record(stored("Cab B", 3, true));
    EXPECT_EQ(told.size(), 1u) << "the same failing run";

    folder = kept;
    recorder.record(stored("Cab C", 6));
    EXPECT_FALSE(saveFailing(SaveTarget::IrLibrary));
    folder = root / "plain" / "library";
    recorder.record(stored("Cab D", 7, true));
    ASSERT_EQ(told.size(), 2u) << "told again after a record worked";
    EXPECT_EQ(told[1], sentence("The new name \"Cab D\" is in the amp", folder,
                                "cannot create the IR library folder " + folder.string() + ": Not a directory"));

    const auto entries = IrLibrary(kept).entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].nameText, "Kept");
    EXPECT_EQ(entries[1].nameText, "Cab C");
}

// A library folder of mode 0500 keeps its files as they were. Root writes into it anyway, so this runs only for
// other users; the test above covers root.
TEST_F(LibraryRecordFailure, AReadOnlyLibraryKeepsWhatItHeld)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    std::vector<std::pair<fs::path, std::string>> before;
    for (const auto& f : fs::directory_iterator(folder))
        before.emplace_back(f.path(), files::readWhole(f.path()).value_or("?"));
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    recorder.record(stored("Cab A", 2));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("INSTALL stored \"Cab A\" in the amp, but it could not be recorded in the IR library at " +
                                folder.string() + ": cannot write " + folder.string() + "/",
                            0),
              0u)
        << told[0];
    EXPECT_NE(told[0].find(": Permission denied. Back Up Amp"), std::string::npos) << told[0];
    fs::permissions(folder, fs::perms::owner_all);
    std::size_t count = 0;
    for (const auto& f : fs::directory_iterator(folder)) {
        ++count;
        const auto it = std::find_if(before.begin(), before.end(), [&](const auto& b) { return b.first == f.path(); });
        ASSERT_NE(it, before.end()) << "no new file: " << f.path();
        EXPECT_EQ(files::readWhole(f.path()).value_or("?"), it->second) << f.path();
    }
    EXPECT_EQ(count, before.size());
}

} // namespace
} // namespace orx
