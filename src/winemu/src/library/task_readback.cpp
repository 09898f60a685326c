// task_readback.cpp: a task read back from the library, checked as strictly as a registration.
#include "library/task_readback.hpp"

#include <variant>

namespace winemu {

HResultOr<CheckedTask> load_checked_task(const std::string& library, const ResolvedTaskPath& path) {
    auto stored = load_task(library, path);
    if (!stored.ok()) return HResultOr<CheckedTask>::failure(stored.error());
    auto parsed = parse_task_xml_utf8(std::move(stored.value().xml));
    auto* definition = std::get_if<TaskDefinition>(&parsed);
    if (!definition) return HResultOr<CheckedTask>::failure(SCHED_E_INVALID_TASK_HASH);
    CheckedTask task{std::move(stored.value()), std::move(*definition)};
    task.stored.xml = std::move(task.definition.xml);
    task.definition.xml.clear();
    return task;
}

}  // namespace winemu
