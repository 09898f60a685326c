// task_names.cpp: Windows' rules for the names of tasks and task folders.
#include "library/task_names.hpp"

#include "base/text_units.hpp"

namespace winemu {
namespace {

constexpr char16_t separator = u'\\';

// Characters that Windows refuses in a file name, and so in a task name.
bool is_refused_character(char16_t unit) {
    switch (unit) {
        case u'<': case u'>': case u':': case u'"': case u'/': case u'|': case u'?': case u'*': return true;
        default: return unit < 0x20;
    }
}

HRESULT check_element(std::u16string_view element) {
    const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (element.empty() || element == u"." || element == u"..") return invalid;
    if (element.front() == u' ' || element.back() == u' ') return invalid;  // as RegisterTask documents
    for (char16_t unit : element)
        if (is_refused_character(unit)) return invalid;
    if (first_unpaired_surrogate(element) != std::u16string_view::npos) return invalid;
    if (element.size() > longest_name_element) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    return S_OK;
}

}  // namespace

HResultOr<PathElements> resolve_task_path(std::u16string_view name, const PathElements& base) {
    PathElements path;
    if (!name.empty() && name.front() == separator) {
        name.remove_prefix(1);
        if (name.empty()) return path;  // "\" alone: the root
    } else {
        path = base;
    }
    std::size_t length = 0;  // of the whole path as displayed, "\A\B"
    for (const auto& element : path) length += 1 + element.size();
    while (true) {
        const std::size_t end = name.find(separator);
        const std::u16string_view element = name.substr(0, end);
        if (const HRESULT hr = check_element(element); FAILED(hr)) return HResultOr<PathElements>::failure(hr);
        // Stops at once: a huge name of tiny elements is refused without being taken apart.
        length += 1 + element.size();
        if (length > longest_task_path)
            return HResultOr<PathElements>::failure(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
        path.emplace_back(element);
        if (end == std::u16string_view::npos) break;
        name.remove_prefix(end + 1);  // a trailing '\' leaves an empty element, refused above
    }
    return path;
}

std::u16string display_path(const PathElements& path) {
    if (path.empty()) return u"\\";
    std::u16string text;
    for (const auto& element : path) {
        text.push_back(separator);
        text += element;
    }
    return text;
}

}  // namespace winemu
