// run_records.cpp: the start records of a task, kept in the library beside the task.
#include "run_records.hpp"

#include <charconv>
#include <cstdio>

#include <winemu/control.h>

#include "control_text.hpp"
#include "task_library.hpp"
#include "task_names.hpp"
#include "task_store.hpp"
#include "utf.hpp"

namespace winemu {
namespace {

constexpr std::string_view record_start = "{\"time\": ";

// A JSON string of the text; bytes that are not UTF-8 (an environment value may hold any) become
// U+FFFD, so that the records always read as JSON.
std::string json_string(std::string_view bytes) {
    const std::string text = utf8_from_utf16_lossy(utf16_from_utf8_lossy(bytes));
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

std::string json_line(const RunRecord& record) {
    // to_chars: a host that set a locale with a decimal comma must not break the JSON.
    char time[64];
    const auto written = std::to_chars(time, time + sizeof time, record.time, std::chars_format::fixed, 6);
    std::string line = std::string(record_start) + std::string(time, written.ptr) + ", \"argv\": [";
    for (std::size_t i = 0; i < record.argv.size(); ++i) line += (i ? ", " : "") + json_string(record.argv[i]);
    line += "], \"pid\": " + (record.pid ? std::to_string(*record.pid) : std::string("null"));
    line += ", \"error\": " + (record.error ? json_string(*record.error) : std::string("null"));
    return line + "}\n";
}

}  // namespace

std::string run_record_lines(const std::vector<RunRecord>& records) {
    std::string lines;
    for (const auto& record : records) lines += json_line(record);
    return lines;
}

std::string run_records_json(std::string_view lines) {
    std::string json = "[";
    while (!lines.empty()) {
        const std::size_t end = lines.find('\n');
        std::string_view line = lines.substr(0, end);
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
        // A write cut short (a full disk) leaves a partial record that the next one continues on
        // the same line; the record start cannot occur inside a string (its quote would be
        // escaped), so the last one on the line is whole when the line is.
        const std::size_t last = line.rfind(record_start);
        if (last == std::string_view::npos || end == std::string_view::npos || line.back() != '}') continue;
        line.remove_prefix(last);
        if (json.size() > 1) json += ", ";
        json += line;
    }
    return json + "]";
}

}  // namespace winemu

extern "C" WINEMU_API size_t winemu_runs(const char* task_name, char* buffer, size_t capacity) {
    constexpr size_t invalid = static_cast<size_t>(-1);
    if (!task_name) return invalid;
    try {
        const auto name = winemu::utf16_from_utf8(task_name);
        if (!name || name->empty()) return invalid;
        auto path = winemu::resolve_task_path(*name, {});
        if (!path.ok() || path.value().empty()) return invalid;
        const std::string lines = winemu::read_task_runs(winemu::task_library(), path.value());
        return winemu::copy_text_out(winemu::run_records_json(lines), buffer, capacity);
    } catch (...) {
        return invalid;  // out of memory: nothing can be reported
    }
}
