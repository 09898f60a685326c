// task_readback.cpp: a task read back from the library, checked as strictly as a registration.
#include "library/task_readback.hpp"

#include <mutex>
#include <optional>
#include <unordered_map>
#include <variant>

#include "library/definition_digest.hpp"

namespace winemu {
namespace {

// The definitions read back lately, by the digest of their text: a task is read back by every
// call on it (GetTask, then RunEx, which runs the definition as it is now), and the checks are a
// whole parse, while the text is read anyway. A copy of what a parse found costs far less.
constexpr std::size_t most_recent_definitions = 64;

struct DigestHash {
    std::size_t operator()(const DefinitionDigest& digest) const noexcept {
        return static_cast<std::size_t>(digest.first ^ digest.second);
    }
};

class RecentDefinitions {
public:
    std::optional<TaskDefinition> find(const DefinitionDigest& digest) {
        const std::lock_guard guard(lock_);
        const auto found = definitions_.find(digest);
        if (found == definitions_.end()) return std::nullopt;
        return found->second;
    }
    void remember(const DefinitionDigest& digest, const TaskDefinition& definition) {
        const std::lock_guard guard(lock_);
        if (definitions_.size() >= most_recent_definitions) definitions_.clear();
        definitions_.insert_or_assign(digest, definition);
    }

private:
    std::mutex lock_;
    std::unordered_map<DefinitionDigest, TaskDefinition, DigestHash> definitions_;
};

RecentDefinitions& recent() {
    static RecentDefinitions& definitions = *new RecentDefinitions;  // never destroyed: calls may run at exit
    return definitions;
}

}  // namespace

HResultOr<CheckedTask> load_checked_task(const std::string& library, const ResolvedTaskPath& path) {
    auto stored = load_task(library, path);
    if (!stored.ok()) return HResultOr<CheckedTask>::failure(stored.error());
    const DefinitionDigest digest = digest_of(stored.value().xml);
    if (auto known = recent().find(digest)) return CheckedTask{std::move(stored.value()), std::move(*known)};
    auto parsed = parse_task_xml_utf8(std::move(stored.value().xml));
    auto* definition = std::get_if<TaskDefinition>(&parsed);
    if (!definition) return HResultOr<CheckedTask>::failure(SCHED_E_INVALID_TASK_HASH);
    CheckedTask task{std::move(stored.value()), std::move(*definition)};
    task.stored.xml = std::move(task.definition.xml);
    task.definition.xml.clear();
    recent().remember(digest, task.definition);
    return task;
}

}  // namespace winemu
