// account_file.cpp: a computer's accounts kept at the root of its disk.
#include "accounts/account_file.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <optional>

#include "accounts/account_names.hpp"
#include "control/service_environment.hpp"
#include "library/computers.hpp"
#include "library/library_files.hpp"
#include "library/task_store.hpp"

namespace winemu {

namespace {

// A computer's name as Windows shows it, from the name it is reached by: the first label,
// upper-case, at most 15 characters (a NetBIOS name).
std::string computer_name_from(std::string_view host) {
    std::string name(host.substr(0, host.find('.')));
    if (name.size() > 15) name.resize(15);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return valid_account_name(name, 15) && name.find(' ') == std::string::npos ? name : "WINEMU";
}

// This computer's name, from its host name.
std::string local_computer_name() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return "WINEMU";
    return computer_name_from(host);
}

// The process's user as a Windows account name: $USER of the service's environment, else the
// password database's entry; characters Windows refuses in a name become '_'.
std::string process_user_name() {
    std::string name(service_environment()->value("USER").value_or(""));
    if (name.empty()) {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[1024];
        if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) name = found->pw_name;
    }
    for (char& c : name)
        if (!valid_account_name(std::string_view(&c, 1), 1) || c == ' ') c = '_';
    if (name.size() > longest_user_name) name.resize(longest_user_name);
    return valid_account_name(name, longest_user_name) ? name : "user";
}

HResultOr<ComputerAccounts> read_existing(int library) {
    auto text = read_file(library, accounts_file, largest_accounts_file);
    if (!text) {
        if (errno == ENOENT) return ComputerAccounts{};  // no computer SID: not made yet
        if (errno == ENOMEM) return HResultOr<ComputerAccounts>::failure(E_OUTOFMEMORY);
        if (errno == EFBIG || errno == foreign_entry)
            return HResultOr<ComputerAccounts>::failure(HRESULT_FROM_WIN32(error_internal_db_corruption));
        return HResultOr<ComputerAccounts>::failure(hresult_from_errno(errno));
    }
    auto accounts = read_accounts(*text);
    if (!accounts) return HResultOr<ComputerAccounts>::failure(HRESULT_FROM_WIN32(error_internal_db_corruption));
    return std::move(*accounts);
}

// The computer made and the caller's own account added when missing; true when that changed them.
// The computer is named as the emulated computer whose library this is, else as this host.
bool complete(ComputerAccounts& accounts, const std::string& library) {
    bool changed = false;
    if (accounts.computer_sid.empty()) {
        const std::string emulated = computer_name_of_library(library);
        accounts = new_computer_accounts(emulated.empty() ? local_computer_name() : computer_name_from(emulated));
        changed = true;
    }
    if (!accounts.caller) {
        const std::string name = process_user_name();
        if (!accounts.user_named(name)) add_local_user(accounts, name, {}, true);
        if (const LocalUser* user = accounts.user_named(name)) accounts.caller = user->rid;
        changed = true;
    }
    return changed;
}

// Which version of an accounts file was read: every write replaces the file (a new inode), so the
// same inode, size and modification time mean the same text.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileVersion& other) const noexcept {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

std::optional<FileVersion> version_of(const std::string& path) {
    struct stat facts{};
    if (stat(path.c_str(), &facts) != 0) return std::nullopt;
    return FileVersion{facts.st_dev, facts.st_ino, facts.st_size, facts.st_mtim};
}

// The accounts a thread read last, with the file's version then: every service call asks who
// calls, and the file changes seldom, so a call pays a stat rather than a read and a parse.
struct ReadAccounts {
    std::string library;
    FileVersion version;
    std::uint64_t writes = 0;
    std::uint64_t network = 0;  // network_changes() then
    ComputerAccounts accounts;
};

// Accounts files written by this process: a file written twice within the clock's granularity may
// have the same size and time and reuse an inode, so the process's own writes are counted too.
std::atomic<std::uint64_t> writes_here{0};

HResultOr<ComputerAccounts> read_made_accounts(const std::string& library) {
    {
        const UniqueFd directory = open_library(library, /*create=*/false);
        if (!directory && errno != ENOENT) return HResultOr<ComputerAccounts>::failure(hresult_from_errno(errno));
        if (directory) {
            auto accounts = read_existing(directory.get());
            if (!accounts.ok() || (!accounts.value().computer_sid.empty() && accounts.value().caller)) return accounts;
        }
    }
    ComputerAccounts made;
    const HRESULT outcome = change_accounts(library, [&](ComputerAccounts& accounts) {
        made = accounts;
        return S_OK;
    });
    if (FAILED(outcome)) return HResultOr<ComputerAccounts>::failure(outcome);
    return made;
}

}  // namespace

HRESULT add_local_user(ComputerAccounts& accounts, const std::string& name, std::string password_hash,
                       bool administrator) {
    if (!valid_account_name(name, longest_user_name)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (accounts.user_named(name) || accounts.group_named(name)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    accounts.users.push_back({accounts.next_rid++, administrator, std::move(password_hash), name});
    return S_OK;
}

HRESULT change_accounts(const std::string& library, const std::function<HRESULT(ComputerAccounts&)>& change) {
    const UniqueFd directory = open_library(library, /*create=*/true);
    if (!directory) return hresult_from_errno(errno);
    DirectoryLock lock(directory.get(), DirectoryLock::exclusive);
    auto accounts = read_existing(directory.get());
    if (!accounts.ok()) return accounts.error();
    complete(accounts.value(), library);
    if (const HRESULT refused = change(accounts.value()); refused != S_OK) return refused;
    const int failed = write_file_atomically(directory.get(), accounts_file, write_accounts(accounts.value()), false);
    writes_here.fetch_add(1, std::memory_order_acq_rel);
    return failed ? hresult_from_errno(failed) : S_OK;
}

HResultOr<ComputerAccounts> load_accounts(const std::string& library) {
    thread_local std::optional<ReadAccounts> last;
    const std::string path = library + "/" + accounts_file;
    const std::uint64_t writes = writes_here.load(std::memory_order_acquire);
    const std::uint64_t network = network_changes();
    const auto before = version_of(path);
    if (before && last && last->library == library && last->version == *before && last->writes == writes &&
        last->network == network)
        return last->accounts;
    auto accounts = read_made_accounts(library);
    if (!accounts.ok()) return accounts;
    // A library that an emulated computer has is that computer's disk, whatever computer made its
    // accounts file (a library filled in locally, then added as a computer): its accounts are
    // that computer's, under its name.
    if (const std::string emulated = computer_name_of_library(library); !emulated.empty())
        accounts.value().computer_name = computer_name_from(emulated);
    // Kept under the version seen before reading: a file replaced meanwhile is read again next time.
    if (before) last = ReadAccounts{library, *before, writes, network, accounts.value()};
    return accounts;
}

}  // namespace winemu
