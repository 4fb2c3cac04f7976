// The user's settings: window position, default channel of stereo files, IR folder per amp channel.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace orx {

// Where the user's folders are; an empty answer means the folder cannot be determined.
class SettingsFolders {
public:
    virtual ~SettingsFolders() = default;
    virtual std::string localAppDataFolder() = 0;
    virtual std::string musicFolder() = 0;
    // Where the settings file's "Veltra" folder lives: the local application-data folder unless the platform keeps
    // settings elsewhere (~/.config on Linux desktops, while the IR library stays in the data folder).
    virtual std::string configFolder() { return localAppDataFolder(); }
};

class AppSettings {
public:
    // The folders every later createInstance uses; none means nothing is read or written.
    static void setFolders(std::shared_ptr<SettingsFolders> folders);
    static AppSettings* createInstance();
    static AppSettings* getInstance();
    // Saves, then destroys the store; nothing happens when there is none.
    static void deleteInstance();

    explicit AppSettings(std::shared_ptr<SettingsFolders> folders);

    bool load();
    // False when nothing was written; the file then keeps what it had. A failure is reported to the save
    // listener (SaveFailures.h) with the path and the reason, once until a save works again.
    bool save();

    // The folder of an amp channel's speaker simulation page (0: I, otherwise II).
    std::string folderOfAmpChannel(int ampCh) const { return ampCh == 0 ? FolderPathAmpI : FolderPathAmpII; }

    // "<config folder>/Veltra/ORX_Tevo_Utility.ini", creating "Veltra"; empty when there is no such folder.
    std::filesystem::path settingsPath() const;
    // Where earlier versions kept the file: "<local app data>/Veltra/ORX_Tevo_Utility.ini"; empty when that is
    // where the file is now, or there is no such folder.
    std::filesystem::path earlierSettingsPath() const;
    // The user's local application-data folder (where "Veltra" lives); empty when it cannot be determined.
    std::string localAppDataFolder() const;
    // "<music>/ORX/Veltra" ("/ORX/Veltra" without a music folder); never created here.
    std::string defaultIrFolder() const;

    // Named after their keys in the settings file.
    int X = 0;
    int Y = 0;
    int PrimaryCh = 0; // 0 left, 1 right, anything else: ask for each file
    // [Properties] ConvertFiles: 1 loads files of other rates and formats by converting them; anything else
    // keeps to 44.1 kHz PCM files. A file without the key stays without it until the conversion is turned on.
    bool ConvertFiles = false;
    // [Properties] TrimSilence, MinimumPhase, FadeOut, MatchLoudness: what is done to a file's response before it
    // goes to the amplifier (1 on; anything else off), kept the same way as ConvertFiles. All off: the first 2048
    // samples as they are.
    bool TrimSilence = false;
    bool MinimumPhase = false;
    bool FadeOut = false;
    bool MatchLoudness = false;
    bool anyIrProcessing() const { return TrimSilence || MinimumPhase || FadeOut || MatchLoudness; }
    std::string FolderPathAmpI;
    std::string FolderPathAmpII;
    // [MIDI] InputPort and OutputPort: the amp's ports as the user chose them, by name (empty: found by the
    // amplifier's marker). A file without them stays without them until a choice is made.
    std::string MidiInputPort;
    std::string MidiOutputPort;
    // [MIDI] Api: "alsa" or "jack" as the user chose it (empty: ORX_MIDI_API, else ALSA); kept the same way.
    std::string MidiApi;

private:
    std::shared_ptr<SettingsFolders> m_folders;
};

// One trailing separator removed, except from a root ("/" stays "/").
std::string removeTrailingSeparator(std::string path);

} // namespace orx
