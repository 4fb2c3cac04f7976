// Every impulse response the program stores into a slot, kept on disk so that the program knows later what a
// slot holds (the amplifier reports only a slot's name and gain) and can put it back.
//
// On disk, in one folder: per entry a WAV of the 2048 coefficients and a JSON sidecar with everything else,
// and index.json listing all entries. The sidecars are the truth; the index is rebuilt from them when it is
// missing or damaged. Every change happens under an advisory lock on ".lock" in the folder, so the program and
// the command-line tool can record at the same time.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LibraryFiles.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orx {

// <local app data>/Veltra/IR Library, e.g. ~/.local/share/Veltra/IR Library.
std::filesystem::path libraryFolderIn(const std::filesystem::path& localAppDataFolder);

enum class EntryKind { Install, Rename, Restore };
const char* kindName(EntryKind kind); // "install", "rename", "restore"

// What the library has of an entry's coefficients.
enum class CoefficientsState {
    Stored,  // the WAV is there and matches its checksum
    None,    // none were recorded (a rename of a slot the library did not know)
    Missing, // the WAV file is gone
    Damaged, // the WAV file is there but changed or unreadable
};

struct LibraryEntryInput {
    IrName name{};
    std::uint16_t fircoe = 0;
    // Nothing for a rename: the coefficients of the slot's last entry are carried over when the library has them.
    std::optional<Coefficients> coefficients;
    std::filesystem::path sourceFile; // empty when there is none
    std::string processing;           // e.g. "resampled from 48000 Hz"
    int ampChannel = 0;               // 0 or 1, the slot's channel
    int slot = 0;                     // 0 to 9
    EntryKind kind = EntryKind::Install;
    std::optional<std::chrono::system_clock::time_point> time; // now when not given
};

struct LibraryEntry {
    std::string id;       // "000012": ascending in the order of recording
    std::string nameText; // UTF-8
    IrName name{};        // the amplifier's bytes
    std::uint16_t fircoe = 0;
    std::string sourceFile;
    std::string sourceSha256; // hex; empty when there is no file or it could not be read
    std::string processing;
    int ampChannel = 0;
    int slot = 0;
    std::string time; // ISO 8601 UTC
    EntryKind kind = EntryKind::Install;
    std::string wavFile;   // file name in the library folder; empty when no coefficients were recorded
    std::string wavSha256; // of the whole WAV file
    CoefficientsState coefficientsState = CoefficientsState::None;

    bool sameRecord(const LibraryEntry& other) const; // every recorded field; not the state on disk
};

class IrLibrary {
public:
    // Nothing is created until the first record; a missing folder, or none (an empty path), is an empty library.
    explicit IrLibrary(std::filesystem::path folder);
    ~IrLibrary();
    IrLibrary(const IrLibrary&) = delete;
    IrLibrary& operator=(const IrLibrary&) = delete;

    const std::filesystem::path& folder() const { return m_folder; }

    // Writes the WAV, the sidecar and the new index; throws std::invalid_argument for a slot outside 0 to 9 or
    // a channel that is not the slot's, std::runtime_error when the files cannot be written.
    LibraryEntry record(const LibraryEntryInput& input);

    // The queries read the folder again when another program changed the index; they never throw.
    std::vector<LibraryEntry> entries() const;
    std::optional<LibraryEntry> lastForSlot(int slot) const;
    // The slot's last entry when its name and gain are those the amplifier reports; the library knows then what
    // the slot holds. Nothing when another program changed the slot since.
    std::optional<LibraryEntry> known(int slot, const IrName& name, std::uint16_t fircoe) const;
    // Nothing when the entry has no coefficients or its WAV is missing or damaged.
    std::optional<Coefficients> coefficients(const LibraryEntry& entry) const;
    // What was wrong with the folder at the last reading, in words (a damaged index set aside, an unreadable
    // sidecar); empty when nothing was.
    std::vector<std::string> problems() const;

    static std::string sha256OfFile(const std::filesystem::path& path); // hex; empty when it cannot be read

private:
    struct Stamp {
        bool exists = false;
        std::int64_t mtime = 0;
        std::uintmax_t size = 0;
        std::uintmax_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp indexStamp() const;
    void refreshLocked() const;
    void loadLocked() const; // under the folder lock
    std::vector<LibraryEntry> readSidecars(std::vector<std::string>& problems) const;
    void writeIndex(const std::vector<LibraryEntry>& entries) const;
    void checkCoefficients(LibraryEntry& entry) const;
    std::optional<Coefficients> readCoefficients(const LibraryEntry& entry) const;

    std::filesystem::path m_folder;
    mutable std::mutex m_mutex;
    mutable std::vector<LibraryEntry> m_entries;
    mutable std::vector<std::string> m_problems;
    mutable std::optional<Stamp> m_loadedStamp;
};

// The home folder ($HOME); empty when it is not set.
std::string homeFolder();
// One line for the speaker page: "known: Warm Cab, installed 2026-12-10 from ~/IRs/Warm Cab.wav".
std::string describeKnown(const LibraryEntry& entry, const std::string& home = homeFolder());

} // namespace orx
