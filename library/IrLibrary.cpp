// The IR library on disk: entries written atomically under a lock, the index rebuilt from the sidecars.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrLibrary.h"

#include "WavExport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orx {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kIndexName = "index.json";
constexpr const char* kLockName = ".lock";
constexpr const char* kIndexFormat = "orx-tevo-ir-library";
constexpr const char* kSidecarFormat = "orx-tevo-ir-library-entry";
constexpr int kFormatVersion = 1;

// Held around every read-modify-write of the folder. Without a lock file (a read-only folder) the library
// still reads; it cannot write there anyway.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder)
    {
        m_fd = ::open((folder / kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

std::optional<EntryKind> kindFromName(const std::string& name)
{
    for (const EntryKind kind : {EntryKind::Install, EntryKind::Rename, EntryKind::Restore})
        if (name == kindName(kind))
            return kind;
    return std::nullopt;
}

json entryToJson(const LibraryEntry& e)
{
    return json{{"id", e.id},
                {"kind", kindName(e.kind)},
                {"time", e.time},
                {"slot", e.slot},
                {"amp_channel", e.ampChannel},
                {"name", e.nameText},
                {"name_hex", files::toHex(e.name.data(), e.name.size())},
                {"fircoe", e.fircoe},
                {"source_file", e.sourceFile},
                {"source_sha256", e.sourceSha256},
                {"processing", e.processing},
                {"wav", e.wavFile},
                {"wav_sha256", e.wavSha256}};
}

// Nothing for anything that is not an entry as entryToJson writes it.
std::optional<LibraryEntry> entryFromJson(const json& j)
{
    if (!j.is_object())
        return std::nullopt;
    auto text = [&](const char* key) -> const std::string* {
        const auto it = j.find(key);
        return it != j.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
    };
    auto number = [&](const char* key, std::int64_t low, std::int64_t high) -> std::optional<std::int64_t> {
        const auto it = j.find(key);
        if (it == j.end() || !it->is_number_integer())
            return std::nullopt;
        const auto value = it->get<std::int64_t>();
        if (value < low || value > high)
            return std::nullopt;
        return value;
    };
    const std::string* id = text("id");
    const std::string* kind = text("kind");
    const std::string* time = text("time");
    const std::string* name = text("name");
    const std::string* nameHex = text("name_hex");
    const std::string* source = text("source_file");
    const std::string* sourceSha = text("source_sha256");
    const std::string* processing = text("processing");
    const std::string* wav = text("wav");
    const std::string* wavSha = text("wav_sha256");
    const auto slot = number("slot", 0, static_cast<std::int64_t>(kIrSlotCount) - 1);
    const auto channel = number("amp_channel", 0, 1);
    const auto fircoe = number("fircoe", 0, 0xFFFF);
    if (!id || id->empty() || !kind || !time || !name || !nameHex || !source || !sourceSha || !processing || !wav ||
        !wavSha || !slot || !channel || !fircoe)
        return std::nullopt;
    const auto kindValue = kindFromName(*kind);
    const auto nameBytes = files::fromHex(*nameHex);
    if (!kindValue || !nameBytes || nameBytes->size() != kIrNameLength)
        return std::nullopt;
    // A file name from the folder itself, never a path out of it.
    if (wav->find('/') != std::string::npos || *wav == "." || *wav == "..")
        return std::nullopt;
    LibraryEntry e;
    e.id = *id;
    e.kind = *kindValue;
    e.time = *time;
    e.slot = static_cast<int>(*slot);
    e.ampChannel = static_cast<int>(*channel);
    e.nameText = *name;
    std::copy(nameBytes->begin(), nameBytes->end(), e.name.begin());
    e.fircoe = static_cast<std::uint16_t>(*fircoe);
    e.sourceFile = *source;
    e.sourceSha256 = *sourceSha;
    e.processing = *processing;
    e.wavFile = *wav;
    e.wavSha256 = *wavSha;
    return e;
}

std::string fileSafe(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == ' ' ||
                           u == '-' || u == '_' || u == '(' || u == ')';
        out += plain ? c : '_';
        if (out.size() >= 40)
            break;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out.empty() ? "Untitled" : out;
}

std::string idFor(unsigned long sequence)
{
    std::string digits = std::to_string(sequence);
    return std::string(digits.size() < 6 ? 6 - digits.size() : 0, '0') + digits;
}

// 0 for an id that is not a number (a hand-made sidecar).
unsigned long sequenceOf(const std::string& id)
{
    if (id.empty() || id.size() > 12 || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return std::stoul(id);
}

bool byId(const LibraryEntry& a, const LibraryEntry& b)
{
    // Ids are zero-padded numbers: longer is later, then the text order is the number order.
    return a.id.size() != b.id.size() ? a.id.size() < b.id.size() : a.id < b.id;
}

} // namespace

fs::path libraryFolderIn(const fs::path& localAppDataFolder)
{
    return localAppDataFolder / "Veltra" / "IR Library";
}

const char* kindName(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Install:
        return "install";
    case EntryKind::Rename:
        return "rename";
    case EntryKind::Restore:
        return "restore";
    }
    return "install";
}

bool LibraryEntry::sameRecord(const LibraryEntry& o) const
{
    return id == o.id && nameText == o.nameText && name == o.name && fircoe == o.fircoe && sourceFile == o.sourceFile &&
           sourceSha256 == o.sourceSha256 && processing == o.processing && ampChannel == o.ampChannel &&
           slot == o.slot && time == o.time && kind == o.kind && wavFile == o.wavFile && wavSha256 == o.wavSha256;
}

IrLibrary::IrLibrary(fs::path folder) : m_folder(std::move(folder)) {}

IrLibrary::~IrLibrary() = default;

IrLibrary::Stamp IrLibrary::indexStamp() const
{
    if (m_folder.empty())
        return {};
    struct stat st {};
    if (::stat((m_folder / kIndexName).c_str(), &st) != 0)
        return {};
    return {true, static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<std::uintmax_t>(st.st_size), static_cast<std::uintmax_t>(st.st_ino)};
}

void IrLibrary::refreshLocked() const
{
    if (m_loadedStamp && *m_loadedStamp == indexStamp())
        return;
    std::error_code ec;
    // An empty path is no library at all, never the working folder.
    if (m_folder.empty() || !fs::is_directory(m_folder, ec)) {
        m_entries.clear();
        m_problems.clear();
        m_loadedStamp = indexStamp();
        return;
    }
    FolderLock lock(m_folder);
    loadLocked();
}

std::vector<LibraryEntry> IrLibrary::readSidecars(std::vector<std::string>& problems) const
{
    std::vector<LibraryEntry> found;
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string fileName = it->path().filename().string();
        if (it->path().extension() != ".json" || fileName == kIndexName || files::isTemporaryName(fileName))
            continue;
        const auto bytes = files::readWhole(it->path());
        const json j = bytes ? json::parse(*bytes, nullptr, false) : json();
        if (!j.is_object() || j.value("format", "") != kSidecarFormat) {
            // Another file someone put here is none of our business; one named as ours is a damaged entry.
            if (sequenceOf(fileName.substr(0, fileName.find(' '))) != 0)
                problems.push_back("The library entry " + fileName + " cannot be read; it is left out.");
            continue;
        }
        auto entry =
            j.value("version", 0) == kFormatVersion && j.contains("entry") ? entryFromJson(j["entry"]) : std::nullopt;
        if (!entry) {
            problems.push_back("The library entry " + fileName + " cannot be read; it is left out.");
            continue;
        }
        found.push_back(std::move(*entry));
    }
    return found;
}

void IrLibrary::loadLocked() const
{
    std::vector<std::string> problems;
    std::error_code ec;

    // Only a holder of the lock writes, so what a killed writer left behind can go.
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec))
        if (files::isTemporaryName(it->path().filename().string()))
            fs::remove(it->path(), ec);

    const fs::path indexPath = m_folder / kIndexName;
    std::vector<LibraryEntry> indexed;
    bool indexUsable = false;
    bool rewrite = false;
    if (const auto bytes = files::readWhole(indexPath)) {
        const json j = json::parse(*bytes, nullptr, false);
        indexUsable = j.is_object() && j.value("format", "") == kIndexFormat &&
                      j.value("version", 0) == kFormatVersion && j.contains("entries") && j["entries"].is_array();
        if (indexUsable) {
            for (const json& item : j["entries"]) {
                auto entry = entryFromJson(item);
                if (!entry) {
                    indexUsable = false;
                    break;
                }
                indexed.push_back(std::move(*entry));
            }
        }
        if (!indexUsable) {
            indexed.clear();
            const std::string stamp = files::compactUtc(std::chrono::system_clock::now());
            fs::path aside = m_folder / (std::string(kIndexName) + ".damaged-" + stamp);
            for (int n = 2; fs::exists(aside, ec); ++n)
                aside = m_folder / (std::string(kIndexName) + ".damaged-" + stamp + "-" + std::to_string(n));
            fs::rename(indexPath, aside, ec);
            problems.push_back(
                "The library's index was damaged and has been rebuilt from the entries' files" +
                (ec ? std::string(".") : "; the damaged index was kept as " + aside.filename().string() + "."));
        }
    }
    if (!indexUsable)
        rewrite = true;

    // A writer killed between the sidecar and the index leaves an entry the index lacks: the sidecars win.
    std::set<std::string> ids;
    for (const auto& e : indexed)
        ids.insert(e.id);
    for (auto& e : readSidecars(problems)) {
        if (ids.insert(e.id).second) {
            indexed.push_back(std::move(e));
            rewrite = true;
        }
    }
    std::sort(indexed.begin(), indexed.end(), byId);
    for (auto& e : indexed)
        checkCoefficients(e);

    if (rewrite) {
        try {
            writeIndex(indexed);
        } catch (const std::exception& error) {
            problems.push_back(std::string("The library's index cannot be written: ") + error.what());
        }
    }
    m_entries = std::move(indexed);
    m_problems = std::move(problems);
    m_loadedStamp = indexStamp();
}

void IrLibrary::writeIndex(const std::vector<LibraryEntry>& entries) const
{
    json list = json::array();
    for (const auto& e : entries)
        list.push_back(entryToJson(e));
    const json index{{"format", kIndexFormat}, {"version", kFormatVersion}, {"entries", std::move(list)}};
    files::writeAtomically(m_folder / kIndexName, index.dump(2) + "\n");
}

void IrLibrary::checkCoefficients(LibraryEntry& entry) const
{
    if (entry.wavFile.empty()) {
        entry.coefficientsState = CoefficientsState::None;
        return;
    }
    const auto bytes = files::readWhole(m_folder / entry.wavFile);
    if (!bytes) {
        std::error_code ec;
        entry.coefficientsState =
            fs::exists(m_folder / entry.wavFile, ec) ? CoefficientsState::Damaged : CoefficientsState::Missing;
        return;
    }
    entry.coefficientsState = files::sha256Hex(*bytes) == entry.wavSha256 && coefficientsFromWavBytes(*bytes)
                                  ? CoefficientsState::Stored
                                  : CoefficientsState::Damaged;
}

std::optional<Coefficients> IrLibrary::readCoefficients(const LibraryEntry& entry) const
{
    if (entry.wavFile.empty())
        return std::nullopt;
    const auto bytes = files::readWhole(m_folder / entry.wavFile);
    if (!bytes || files::sha256Hex(*bytes) != entry.wavSha256)
        return std::nullopt;
    return coefficientsFromWavBytes(*bytes);
}

LibraryEntry IrLibrary::record(const LibraryEntryInput& input)
{
    if (input.slot < 0 || input.slot >= static_cast<int>(kIrSlotCount))
        throw std::invalid_argument("IR slot " + std::to_string(input.slot) + " is not 0 to 9");
    if (input.ampChannel != input.slot / static_cast<int>(kSlotsPerChannel))
        throw std::invalid_argument("slot " + std::to_string(input.slot) + " is not on amp channel " +
                                    std::to_string(input.ampChannel));

    if (m_folder.empty())
        throw std::runtime_error("there is no folder for the IR library");
    std::lock_guard guard(m_mutex);
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    if (ec)
        throw std::runtime_error("cannot create the IR library folder " + m_folder.string() + ": " + ec.message());
    FolderLock lock(m_folder);
    loadLocked(); // another program may have recorded since

    LibraryEntry e;
    unsigned long sequence = 1;
    for (const auto& x : m_entries)
        sequence = std::max(sequence, sequenceOf(x.id) + 1);
    e.nameText = files::nameText(input.name);
    e.name = input.name;
    const std::string stem = [&] {
        for (;; ++sequence) {
            const std::string candidate = idFor(sequence) + " " + fileSafe(e.nameText);
            if (!fs::exists(m_folder / (candidate + ".wav"), ec) && !fs::exists(m_folder / (candidate + ".json"), ec))
                return candidate;
        }
    }();
    e.id = idFor(sequence);
    e.fircoe = input.fircoe;
    e.sourceFile = input.sourceFile.string();
    e.sourceSha256 = input.sourceFile.empty() ? std::string() : sha256OfFile(input.sourceFile);
    e.processing = input.processing;
    e.ampChannel = input.ampChannel;
    e.slot = input.slot;
    e.time = files::isoUtc(input.time.value_or(std::chrono::system_clock::now()));
    e.kind = input.kind;

    std::optional<Coefficients> coefficients = input.coefficients;
    if (!coefficients) {
        const auto previous = std::find_if(m_entries.rbegin(), m_entries.rend(),
                                           [&](const LibraryEntry& x) { return x.slot == input.slot; });
        if (previous != m_entries.rend())
            coefficients = readCoefficients(*previous);
    }
    if (coefficients) {
        const std::string wav = coefficientsWavBytes(*coefficients);
        e.wavFile = stem + ".wav";
        e.wavSha256 = files::sha256Hex(wav);
        files::writeAtomically(m_folder / e.wavFile, wav);
        e.coefficientsState = CoefficientsState::Stored;
    }
    const json sidecar{{"format", kSidecarFormat}, {"version", kFormatVersion}, {"entry", entryToJson(e)}};
    files::writeAtomically(m_folder / (stem + ".json"), sidecar.dump(2) + "\n");

    m_entries.push_back(e);
    writeIndex(m_entries);
    m_loadedStamp = indexStamp();
    return e;
}

std::vector<LibraryEntry> IrLibrary::entries() const
{
    std::lock_guard guard(m_mutex);
    refreshLocked();
    return m_entries;
}

std::optional<LibraryEntry> IrLibrary::lastForSlot(int slot) const
{
    std::lock_guard guard(m_mutex);
    refreshLocked();
    const auto it =
        std::find_if(m_entries.rbegin(), m_entries.rend(), [&](const LibraryEntry& e) { return e.slot == slot; });
    if (it == m_entries.rend())
        return std::nullopt;
    return *it;
}

std::optional<LibraryEntry> IrLibrary::known(int slot, const IrName& name, std::uint16_t fircoe) const
{
    auto last = lastForSlot(slot);
    if (!last || !files::sameReportedName(last->name, name) || last->fircoe != fircoe)
        return std::nullopt;
    return last;
}

std::optional<Coefficients> IrLibrary::coefficients(const LibraryEntry& entry) const
{
    return readCoefficients(entry);
}

std::vector<std::string> IrLibrary::problems() const
{
    std::lock_guard guard(m_mutex);
    refreshLocked();
    return m_problems;
}

std::string IrLibrary::sha256OfFile(const fs::path& path)
{
    const auto bytes = files::readWhole(path);
    return bytes ? files::sha256Hex(*bytes) : std::string();
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

std::string describeKnown(const LibraryEntry& entry, const std::string& home)
{
    std::string path = entry.sourceFile;
    std::string root = home;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (!root.empty() && root != "/" && path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
        path[root.size()] == '/')
        path = "~" + path.substr(root.size());

    const char* verb = entry.kind == EntryKind::Install  ? "installed"
                       : entry.kind == EntryKind::Rename ? "renamed"
                                                         : "restored";
    std::string line = "known: " + entry.nameText + ", " + verb + " " + entry.time.substr(0, 10);
    if (!path.empty())
        line += " from " + path;
    switch (entry.coefficientsState) {
    case CoefficientsState::Stored:
        break;
    case CoefficientsState::None:
        line += " (its coefficients are not in the library)";
        break;
    case CoefficientsState::Missing:
        line += " (its WAV is missing from the library)";
        break;
    case CoefficientsState::Damaged:
        line += " (its WAV in the library is damaged)";
        break;
    }
    return line;
}

} // namespace orx
