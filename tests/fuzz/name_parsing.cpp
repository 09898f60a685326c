// name_parsing.cpp: libFuzzer target over winemu's task names: resolving a name (as UTF-16 units)
// and the file name each element maps to. A resolved name must stay inside the library: no element
// may map to a file name holding '/', NUL, or one that is "." or "..".
#include <cstddef>
#include <cstdint>
#include <string>

#include "library/task_names.hpp"
#include "library/task_paths.hpp"

namespace {

bool safe_file_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name.size() <= 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string units(size / 2, u'\0');
    for (std::size_t index = 0; index < units.size(); ++index)
        units[index] = static_cast<char16_t>(data[2 * index] | data[2 * index + 1] << 8);
    const winemu::PathElements base = {u"Base"};
    const auto resolved = winemu::resolve_task_path(units, base);
    if (!resolved.ok()) {
        if (resolved.error() >= 0) __builtin_trap();
        return 0;
    }
    for (const std::u16string& element : resolved.value()) {
        const winemu::EntryName entry = winemu::entry_name(element);
        for (const std::string& piece : entry.pieces)
            if (!safe_file_name(piece)) __builtin_trap();
        for (const std::string& name : {entry.folder(), entry.definition(), entry.runs()})
            if (!safe_file_name(name)) __builtin_trap();
        if (winemu::fold_case(element).size() != element.size()) __builtin_trap();
    }
    (void)winemu::display_path(resolved.value());
    return 0;
}
