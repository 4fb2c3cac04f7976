// Reading and writing the settings file.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppSettings.h"

#include "IniProfile.h"
#include "SaveFailures.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

namespace orx {

namespace {

// Once, when the file is only at the place earlier versions used: moved, so that the user's settings come along
// and no second file is left behind to confuse them. A file already at the new place wins and the old one is left
// alone. A symbolic link (a dotfiles repository) stays a link to the same file, even when it was relative.
void moveEarlierSettingsFile(const std::filesystem::path& earlier, const std::filesystem::path& now)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (earlier.empty() || fs::symlink_status(now, error).type() != fs::file_type::not_found)
        return;
    const fs::file_status old = fs::symlink_status(earlier, error);
    if (error || old.type() == fs::file_type::not_found)
        return;
    if (fs::is_symlink(old)) {
        fs::path target = fs::read_symlink(earlier, error);
        if (error)
            return;
        if (target.is_relative())
            target = (earlier.parent_path() / target).lexically_normal();
        fs::create_symlink(target, now, error);
        if (!error)
            fs::remove(earlier, error);
    } else {
        fs::rename(earlier, now, error);
        if (error) { // another file system: copy, and remove the old file only once the copy is whole
            error.clear();
            if (fs::copy_file(earlier, now, error) && !error)
                fs::remove(earlier, error);
        }
    }
    if (fs::symlink_status(now, error).type() != fs::file_type::not_found)
        std::fprintf(stderr, "ORX Tevo Utility: the settings file moved from %s to %s\n", earlier.c_str(), now.c_str());
}

std::shared_ptr<SettingsFolders> g_folders;
std::unique_ptr<AppSettings> g_instance;

constexpr const char* kCompanyFolder = "Veltra";
constexpr const char* kFileName = "ORX_Tevo_Utility.ini";

} // namespace

std::string removeTrailingSeparator(std::string path)
{
    const std::filesystem::path p(path);
    if (!path.empty() && (path.back() == '/' || path.back() == std::filesystem::path::preferred_separator) &&
        p != p.root_path())
        path.pop_back();
    return path;
}

void AppSettings::setFolders(std::shared_ptr<SettingsFolders> folders)
{
    g_folders = std::move(folders);
}

AppSettings* AppSettings::createInstance()
{
    if (!g_instance) {
        g_instance = std::make_unique<AppSettings>(g_folders);
        g_instance->load();
    }
    return g_instance.get();
}

AppSettings* AppSettings::getInstance()
{
    return g_instance ? g_instance.get() : createInstance();
}

void AppSettings::deleteInstance()
{
    if (!g_instance)
        return;
    g_instance->save();
    g_instance.reset();
}

AppSettings::AppSettings(std::shared_ptr<SettingsFolders> folders) : m_folders(std::move(folders)) {}

std::string AppSettings::localAppDataFolder() const
{
    return m_folders ? m_folders->localAppDataFolder() : std::string();
}

std::filesystem::path AppSettings::earlierSettingsPath() const
{
    const std::string data = m_folders ? m_folders->localAppDataFolder() : std::string();
    const std::string config = m_folders ? m_folders->configFolder() : std::string();
    if (data.empty() || config.empty() || std::filesystem::path(data) == std::filesystem::path(config))
        return {};
    return std::filesystem::path(data) / kCompanyFolder / kFileName;
}

std::filesystem::path AppSettings::settingsPath() const
{
    const std::string base = m_folders ? m_folders->configFolder() : std::string();
    if (base.empty())
        return {};
    const std::filesystem::path folder = std::filesystem::path(base) / kCompanyFolder;
    std::error_code error;
    if (!std::filesystem::exists(folder, error))
        std::filesystem::create_directories(folder, error); // a failure shows as a failed save
    return folder / kFileName;
}

std::string AppSettings::defaultIrFolder() const
{
    const std::string music = m_folders ? m_folders->musicFolder() : std::string();
    return (std::filesystem::path(music.empty() ? std::string(1, '/') : music) / "ORX" / "Veltra").string();
}

namespace {

// The [Properties] switches that are written only once turned on, so a file without them stays without them.
std::pair<const char*, bool AppSettings::*> const kSwitches[] = {
    {"ConvertFiles", &AppSettings::ConvertFiles}, {"TrimSilence", &AppSettings::TrimSilence},
    {"MinimumPhase", &AppSettings::MinimumPhase}, {"FadeOut", &AppSettings::FadeOut},
    {"MatchLoudness", &AppSettings::MatchLoudness}};

} // namespace

bool AppSettings::load()
{
    const auto path = settingsPath();
    if (path.empty())
        return false;
    moveEarlierSettingsFile(earlierSettingsPath(), path);
    const auto profile = settings::IniProfile::load(path);
    X = profile.getInt("Window", "X", 0);
    Y = profile.getInt("Window", "Y", 0);
    PrimaryCh = profile.getInt("Properties", "PrimaryCh", 0);
    for (const auto& [key, field] : kSwitches)
        this->*field = profile.getInt("Properties", key, 0) == 1;
    const std::string fallback = defaultIrFolder();
    FolderPathAmpI = removeTrailingSeparator(profile.getString("SpeakerSimulation", "FolderPathAmpI", fallback));
    FolderPathAmpII = removeTrailingSeparator(profile.getString("SpeakerSimulation", "FolderPathAmpII", fallback));
    MidiInputPort = profile.getString("MIDI", "InputPort", "");
    MidiOutputPort = profile.getString("MIDI", "OutputPort", "");
    MidiApi = profile.getString("MIDI", "Api", "");
    return true;
}

namespace {

std::string settingsFailure(const std::filesystem::path& path, const std::error_code& error)
{
    return "Your settings could not be saved to " + path.string() + ": " + error.message() +
           ". The folder choices, Properties and MIDI ports you changed are lost when the program ends.";
}

} // namespace

bool AppSettings::save()
{
    const auto path = settingsPath();
    if (path.empty())
        return false; // no folder for settings at all: nothing was ever kept, so nothing is lost now
    std::error_code error;
    // settingsPath() makes the folder without a word; its reason is the one worth telling.
    if (!std::filesystem::is_directory(path.parent_path(), error)) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            reportSaveFailed(SaveTarget::Settings, settingsFailure(path, error));
            return false;
        }
    }
    // Unrelated sections and keys of the file are kept. A folder that holds a line break cannot be stored:
    // the file keeps that key's previous value (or stays without the key), the field keeps its value in
    // memory for the rest of the run, and the other keys are written as usual.
    auto profile = settings::IniProfile::load(path);
    profile.setString("Window", "X", std::to_string(X));
    profile.setString("Window", "Y", std::to_string(Y));
    profile.setString("Properties", "PrimaryCh", std::to_string(PrimaryCh));
    profile.setString("SpeakerSimulation", "FolderPathAmpI", FolderPathAmpI);
    profile.setString("SpeakerSimulation", "FolderPathAmpII", FolderPathAmpII);
    // A line break can never be stored, so it tells "no such key" apart from an empty value.
    constexpr const char* kMissing = "\n";
    for (const auto& [key, field] : kSwitches)
        if (this->*field || profile.getString("Properties", key, kMissing) != kMissing)
            profile.setString("Properties", key, this->*field ? "1" : "0");
    for (const auto& [key, value] :
         {std::pair{"Api", &MidiApi}, std::pair{"InputPort", &MidiInputPort}, std::pair{"OutputPort", &MidiOutputPort}}) {
        if (!value->empty() || profile.getString("MIDI", key, kMissing) != kMissing)
            profile.setString("MIDI", key, *value);
    }
    if (!profile.save(path, error)) {
        reportSaveFailed(SaveTarget::Settings, settingsFailure(path, error));
        return false;
    }
    reportSaveSucceeded(SaveTarget::Settings);
    return true;
}

} // namespace orx
