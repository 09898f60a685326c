// stored_definition.cpp: the service's task files live under the system directory, in "Tasks".
#include "stored_definition.hpp"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::filesystem::path tasks_directory() {
    wchar_t system_directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system_directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::filesystem::path(std::wstring(system_directory, length)) / L"Tasks";
}

std::string utf16le_of_ascii(std::string_view text) {
    std::string bytes;
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

}  // namespace

bool stored_definition_contains(std::wstring_view task_name, std::string_view marker) {
    const std::filesystem::path directory = tasks_directory();
    if (directory.empty()) return false;
    std::ifstream file(directory / std::wstring(task_name), std::ios::binary);
    if (!file) return false;
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return bytes.find(marker) != std::string::npos || bytes.find(utf16le_of_ascii(marker)) != std::string::npos;
}
