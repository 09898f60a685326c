// run_records.cpp: the start records of a task, kept in the library beside the task.
#include "launch/run_records.hpp"

#include <charconv>
#include <cstdio>

#include <winemu/control.h>

#include "control/control_text.hpp"
#include "library/task_library.hpp"
#include "library/task_names.hpp"
#include "library/task_store.hpp"
#include "com/utf.hpp"

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

// Room for the pid and any error text the launch gives (strerror's texts are far shorter).
constexpr std::size_t outcome_width = 160;

std::string outcome_field(std::optional<long> pid, std::optional<std::string> error) {
    while (true) {
        std::string field = "\"pid\": " + (pid ? std::to_string(*pid) : std::string("null"));
        field += ", \"error\": " + (error ? json_string(*error) : std::string("null"));
        if (field.size() <= outcome_width || !error) return field + std::string(outcome_width - field.size(), ' ');
        error->resize(error->size() / 2);  // a cut character becomes U+FFFD in json_string
    }
}

}  // namespace

std::string run_record_outcome(const RunRecord& record) {
    if (!record.pid && !record.error) return outcome_field(std::nullopt, std::string(unconfirmed_start));
    return outcome_field(record.pid, record.error);
}

std::string run_record_line(const RunRecord& record) {
    // to_chars: a host that set a locale with a decimal comma must not break the JSON.
    char time[64];
    const auto written = std::to_chars(time, time + sizeof time, record.time, std::chars_format::fixed, 6);
    std::string line = std::string(record_start) + std::string(time, written.ptr) + ", \"argv\": [";
    for (std::size_t i = 0; i < record.argv.size(); ++i) line += (i ? ", " : "") + json_string(record.argv[i]);
    return line + "], " + run_record_outcome(record) + "}\n";
}

std::size_t outcome_offset(std::string_view line) { return line.size() - 2 - outcome_width; }

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
        line.remove_suffix(1);
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);  // the outcome's padding
        if (json.size() > 1) json += ", ";
        json += line;
        json += '}';
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
