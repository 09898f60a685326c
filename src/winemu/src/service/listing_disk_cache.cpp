// listing_disk_cache.cpp: a folder's learnt listing facts read from and written to the library.
#include "service/listing_disk_cache.hpp"

#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "base/utf.hpp"
#include "library/library_files.hpp"
#include "library/task_paths.hpp"

namespace winemu {
namespace {

// The largest zone file read (the largest of the tz database is a few kilobytes).
constexpr std::size_t largest_zone_file = std::size_t{1} << 20;
// Files a process remembers having read or written; forgetting one costs one write again.
constexpr std::size_t most_remembered_files = 4096;

// ---- the build: the GNU build identity of the object this code is in -----------------------

struct BuildSearch {
    ElfW(Addr) inside;
    std::optional<DefinitionDigest> identity;
};

std::optional<DefinitionDigest> build_note(const dl_phdr_info& object) {
    for (int i = 0; i < object.dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = object.dlpi_phdr[i];
        if (segment.p_type != PT_NOTE) continue;
        const char* at = reinterpret_cast<const char*>(object.dlpi_addr + segment.p_vaddr);
        const char* const end = at + segment.p_memsz;
        while (at + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(at);
            const char* name = at + sizeof(ElfW(Nhdr));
            const char* description = name + ((note->n_namesz + 3) & ~3u);
            at = description + ((note->n_descsz + 3) & ~3u);
            if (at > end) break;
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 && std::string_view(name, 4) == std::string_view("GNU", 4) &&
                note->n_descsz > 0)
                return digest_of(std::string_view(description, note->n_descsz));
        }
    }
    return std::nullopt;
}

int find_build(dl_phdr_info* object, std::size_t, void* data) {
    auto& search = *static_cast<BuildSearch*>(data);
    for (int i = 0; i < object->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = object->dlpi_phdr[i];
        const ElfW(Addr) start = object->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && search.inside >= start && search.inside < start + segment.p_memsz) {
            search.identity = build_note(*object);
            return 1;
        }
    }
    return 0;
}

// Nothing when the build carries no identity: then nothing is kept, as nothing could tell this
// build's files from another's.
const std::optional<DefinitionDigest>& build_identity() {
    static const std::optional<DefinitionDigest> identity = [] {
        BuildSearch search{reinterpret_cast<ElfW(Addr)>(&find_build), std::nullopt};
        dl_iterate_phdr(find_build, &search);
        return search.identity;
    }();
    return identity;
}

// ---- the time zone -------------------------------------------------------------------------

// The zone file the C library reads for TZ (none for UTC or a rule written in TZ itself).
std::string zone_file(const char* tz) {
    if (!tz) return "/etc/localtime";
    std::string_view name = tz;
    if (name.starts_with(':')) name.remove_prefix(1);
    if (name.empty()) return {};
    if (name.front() == '/') return std::string(name);
    const char* directory = std::getenv("TZDIR");
    return std::string(directory && *directory ? directory : "/usr/share/zoneinfo") + "/" + std::string(name);
}

std::string file_text(const std::string& path) {
    std::string text;
    if (path.empty()) return text;
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file) return "\1unreadable";
    char chunk[8192];
    for (;;) {
        const ssize_t got = read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return "\1unreadable";
        if (got == 0 || text.size() + static_cast<std::size_t>(got) > largest_zone_file) return text;
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

// The zone as the C library holds it (tzset set these), with what it was read from: TZ and the
// content of its zone file, read once a process for each such zone.
DefinitionDigest zone_identity() {
    const char* tz = std::getenv("TZ");
    std::string held = zone_now() + '\n' + (tz ? tz : "\1unset");
    static std::mutex lock;
    static std::unordered_map<std::string, DefinitionDigest> read;
    const std::lock_guard guard(lock);
    if (const auto found = read.find(held); found != read.end()) return found->second;
    if (read.size() >= 64) read.clear();
    const DefinitionDigest identity = digest_of(held + '\n' + file_text(zone_file(tz)));
    read.emplace(std::move(held), identity);
    return identity;
}

// ---- the files this process read or wrote, by the digest of their text ----------------------

class RememberedFiles {
public:
    std::optional<DefinitionDigest> find(const std::string& file) {
        const std::lock_guard guard(lock_);
        const auto found = texts_.find(file);
        if (found == texts_.end()) return std::nullopt;
        return found->second;
    }
    void remember(const std::string& file, const DefinitionDigest& text) {
        const std::lock_guard guard(lock_);
        if (texts_.size() >= most_remembered_files) texts_.clear();
        texts_[file] = text;
    }

private:
    std::mutex lock_;
    std::unordered_map<std::string, DefinitionDigest> texts_;
};

RememberedFiles& remembered() {
    static RememberedFiles& files = *new RememberedFiles;  // never destroyed: listings may run at exit
    return files;
}

// Makes room for a new file: past the bound, the directory starts again empty.
void bound_files(int directory) {
    std::size_t count = 0;
    const int listed = dup(directory);
    DIR* entries = listed < 0 ? nullptr : fdopendir(listed);
    if (!entries) {
        if (listed >= 0) close(listed);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(entries)) {
        if (entry->d_name[0] == '.') continue;
        ++count;
        names.emplace_back(entry->d_name);
    }
    closedir(entries);
    if (count < most_kept_files) return;
    for (const std::string& name : names)
        if (entry_kind(directory, name) == EntryKind::ours) unlinkat(directory, name.c_str(), 0);
}

}  // namespace

FolderLearning::FolderLearning(std::string library, const PathElements& folder) : library_(std::move(library)) {
    folder_ = digest_of(utf8_from_utf16_lossy(fold_case(display_path(folder))));
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(folder_.first));
    file_name_ = name;
}

void FolderLearning::recall() {
    if (recalled_) return;
    recalled_ = true;
    const auto& build = build_identity();
    if (!build) return;
    const UniqueFd library = open_library(library_, false);
    const UniqueFd directory = library ? open_directory(library.get(), kept_listing_directory) : UniqueFd();
    if (!directory) return;
    const auto text = read_file(directory.get(), file_name_, listing_file_size(most_listing_records));
    if (!text) return;
    const auto known = read_listing_file(*text, {*build, folder_, zone_identity()});
    if (!known) return;
    for (const KnownDefinition& definition : *known) adopt_known(definition);
    remembered().remember(library_ + '\n' + file_name_, digest_of(*text));
}

void FolderLearning::met(const DefinitionDigest& digest, bool learnt) {
    met_.push_back(digest);
    learnt_ = learnt_ || learnt;
}

void FolderLearning::keep() {
    const auto& build = build_identity();
    if (met_.empty() || !build) return;
    const std::string file = library_ + '\n' + file_name_;
    auto before = remembered().find(file);
    if (before && !learnt_) return;
    if (!before) {
        // Known from elsewhere (the definitions this process registered, or another folder's):
        // the file may say it all already, and reading it costs less than writing it.
        recall();
        before = remembered().find(file);
    }

    std::ranges::sort(met_, [](const auto& a, const auto& b) {
        return std::tie(a.first, a.second, a.size) < std::tie(b.first, b.second, b.size);
    });
    met_.erase(std::unique(met_.begin(), met_.end()), met_.end());
    std::vector<KnownDefinition> known;
    known.reserve(met_.size());
    for (const DefinitionDigest& digest : met_)
        if (auto definition = known_definition(digest)) known.push_back(*definition);
    const std::string text = write_listing_file({*build, folder_, zone_identity()}, known);
    const DefinitionDigest digest = digest_of(text);
    if (before == digest) return;
    // Remembered before writing: a library that cannot be written is not tried again for the same.
    remembered().remember(file, digest);

    const UniqueFd library = open_library(library_, false);
    const UniqueFd directory = library ? open_directory(library.get(), kept_listing_directory, true) : UniqueFd();
    if (!directory) return;
    const DirectoryLock lock(directory.get(), DirectoryLock::exclusive);
    if (entry_kind(directory.get(), file_name_) == EntryKind::missing) bound_files(directory.get());
    write_file_atomically(directory.get(), file_name_, text, false);
}

}  // namespace winemu
