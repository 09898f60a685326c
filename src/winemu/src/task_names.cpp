// task_names.cpp: Windows' rules for the names of tasks and task folders.
#include "task_names.hpp"

namespace winemu {
namespace {

constexpr char16_t separator = u'\\';

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Characters that Windows refuses in a file name, and so in a task name.
bool is_refused_character(char16_t unit) {
    if (unit < 0x20) return true;
    return std::u16string_view(u"<>:\"/|?*").find(unit) != std::u16string_view::npos;
}

bool has_unpaired_surrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            ++i;
            continue;
        }
        if (is_high_surrogate(text[i]) || is_low_surrogate(text[i])) return true;
    }
    return false;
}

HRESULT check_element(std::u16string_view element) {
    const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (element.empty() || element == u"." || element == u"..") return invalid;
    if (element.front() == u' ' || element.back() == u' ') return invalid;  // as RegisterTask documents
    for (char16_t unit : element)
        if (is_refused_character(unit)) return invalid;
    if (has_unpaired_surrogate(element)) return invalid;
    if (element.size() > longest_name_element) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    return S_OK;
}

std::size_t display_length(const PathElements& path) {
    std::size_t length = 0;
    for (const auto& element : path) length += 1 + element.size();
    return length == 0 ? 1 : length;
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
    while (true) {
        const std::size_t end = name.find(separator);
        const std::u16string_view element = name.substr(0, end);
        if (const HRESULT hr = check_element(element); FAILED(hr)) return HResultOr<PathElements>::failure(hr);
        path.emplace_back(element);
        if (end == std::u16string_view::npos) break;
        name.remove_prefix(end + 1);  // a trailing '\' leaves an empty element, refused above
    }
    if (display_length(path) > longest_task_path)
        return HResultOr<PathElements>::failure(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
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
