// run_records.cpp: the start records of a task, kept in the library beside the task.
#include "run_records.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <winemu/control.h>

#include "control_text.hpp"
#include "task_library.hpp"
#include "task_names.hpp"
#include "task_paths.hpp"
#include "unique_fd.hpp"
#include "utf.hpp"

namespace winemu {
namespace {

std::string json_string(std::string_view text) {
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
    char time[64];
    std::snprintf(time, sizeof time, "%.6f", record.time);
    std::string line = std::string("{\"time\": ") + time + ", \"argv\": [";
    for (std::size_t i = 0; i < record.argv.size(); ++i) line += (i ? ", " : "") + json_string(record.argv[i]);
    line += "], \"pid\": " + (record.pid ? std::to_string(*record.pid) : std::string("null"));
    line += ", \"error\": " + (record.error ? json_string(*record.error) : std::string("null"));
    return line + "}\n";
}

}  // namespace

bool append_run_records(const std::string& file, const std::vector<RunRecord>& records) {
    if (records.empty()) return true;
    std::string lines;
    for (const auto& record : records) lines += json_line(record);
    // One write on an O_APPEND file: writers in other threads and processes never interleave.
    const UniqueFd out(open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!out) return false;
    ssize_t written;
    do {
        written = write(out.get(), lines.data(), lines.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(lines.size());
}

std::string run_records_json(const std::string& file) {
    const UniqueFd in(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in) return "[]";
    std::string text;
    char chunk[16384];
    ssize_t got;
    while ((got = read(in.get(), chunk, sizeof chunk)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    std::string json = "[";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) json += (json.size() > 1 ? ", " : "") + text.substr(start, end - start);
        start = end + 1;
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
        const auto files = winemu::task_files(winemu::task_library(), path.value());
        return winemu::copy_text_out(winemu::run_records_json(files.runs), buffer, capacity);
    } catch (...) {
        return invalid;  // out of memory: nothing can be reported
    }
}
