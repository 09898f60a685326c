// run_records.cpp: the records of a task's action starts, kept in the library beside the task.
#include "launch/run_records.hpp"

#include <charconv>
#include <cstdio>

#include "base/utf.hpp"

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

// Room for the outcome's numbers and any error text a launch gives (strerror's texts are far
// shorter; a missing working directory's is named, and cut when longer).
constexpr std::size_t outcome_width = 320;

constexpr std::string_view state_names[] = {"starting", "queued", "running", "ended", "terminated", "not started", "lost"};

std::string number_or_null(std::optional<long> value) { return value ? std::to_string(*value) : "null"; }

std::string time_text(double seconds) {
    // to_chars: a host that set a locale with a decimal comma must not break the JSON.
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 6);
    return std::string(text, written.ptr);
}

std::string outcome_field(const RunRecord& record, std::optional<std::string> error) {
    std::string numbers = "\"run\": " + std::to_string(record.run) + (record.last ? ", \"last\": true" : ", \"last\": false");
    numbers += ", \"runner\": " + number_or_null(record.runner);
    numbers += ", \"state\": \"" + std::string(state_names[static_cast<int>(record.state)]) + "\"";
    numbers += ", \"pid\": " + number_or_null(record.pid);
    numbers += ", \"start_time\": " + (record.start_time ? time_text(*record.start_time) : std::string("null"));
    numbers += ", \"end_time\": " + (record.end_time ? time_text(*record.end_time) : std::string("null"));
    numbers += ", \"exit_code\": " + number_or_null(record.exit_code);
    while (true) {
        // The error comes last: the fields before it are read back by position (read_outcome).
        std::string field = numbers + ", \"error\": " + (error ? json_string(*error) : std::string("null"));
        if (field.size() <= outcome_width || !error) return field + std::string(outcome_width - field.size(), ' ');
        error->resize(error->size() / 2);  // a cut character becomes U+FFFD in json_string
    }
}

std::optional<long> number_after(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    long value = 0;
    const char* first = text.data() + at + key.size();
    if (std::from_chars(first, text.data() + text.size(), value).ec != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

std::string run_record_outcome(const RunRecord& record) { return outcome_field(record, record.error); }

std::string run_record_line(const RunRecord& record) {
    std::string line = std::string(record_start) + time_text(record.time);
    if (!record.instance.empty()) line += ", \"instance\": " + json_string(record.instance);
    if (!record.account.empty()) line += ", \"account\": " + json_string(record.account);
    line += ", \"argv\": [";
    for (std::size_t i = 0; i < record.argv.size(); ++i) line += (i ? ", " : "") + json_string(record.argv[i]);
    return line + "], " + run_record_outcome(record) + "}\n";
}

std::size_t outcome_offset(std::string_view line) { return line.size() - 2 - outcome_width; }

std::optional<double> record_time(std::string_view line) {
    if (!line.starts_with(record_start)) return std::nullopt;
    double value = 0;
    const char* const first = line.data() + record_start.size();
    if (std::from_chars(first, line.data() + line.size(), value).ec != std::errc()) return std::nullopt;
    return value;
}

std::optional<RecordOutcome> read_outcome(std::string_view line) {
    // The outcome is the line's last field, of fixed width: only that much is looked at, however
    // long the arguments before it are.
    if (line.size() > outcome_width + 2) line.remove_prefix(line.size() - outcome_width - 2);
    // Inside a JSON string every quote is escaped, so the key's quote marks the outcome itself
    // (found forwards: find looks for the first character with memchr, rfind compares at every
    // position).
    const std::size_t at = line.find("\"run\": ");
    if (at == std::string_view::npos) return std::nullopt;
    line.remove_prefix(at);
    const auto run = number_after(line, "\"run\": ");
    if (!run || *run < 0 || *run > 0xFFFFFFFFL) return std::nullopt;
    RecordOutcome outcome;
    outcome.run = static_cast<std::uint32_t>(*run);
    outcome.runner = number_after(line, "\"runner\": ");
    outcome.pending = line.find("\"state\": \"starting\"") != std::string_view::npos ||
                      line.find("\"state\": \"queued\"") != std::string_view::npos ||
                      line.find("\"state\": \"running\"") != std::string_view::npos;
    outcome.closed = !outcome.pending && line.find("\"last\": true") != std::string_view::npos;
    return outcome;
}

std::optional<std::string> json_string_text(std::string_view quoted) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return std::nullopt;
    quoted = quoted.substr(1, quoted.size() - 2);
    std::string text;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            text.push_back(quoted[i]);
            continue;
        }
        if (++i == quoted.size()) return std::nullopt;
        if (quoted[i] != 'u') {
            text.push_back(quoted[i]);  // json_string escapes only '"' and '\\' so, and controls as \u
            continue;
        }
        unsigned unit = 0;
        if (i + 4 >= quoted.size()) return std::nullopt;
        const auto read = std::from_chars(quoted.data() + i + 1, quoted.data() + i + 5, unit, 16);
        if (read.ec != std::errc() || read.ptr != quoted.data() + i + 5) return std::nullopt;
        text.push_back(static_cast<char>(unit));  // only control characters are written so
        i += 4;
    }
    return text;
}

std::string instance_guid_of(std::string_view line, std::uint32_t run) {
    // The field stands before the arguments, so no argument's text can be taken for it.
    constexpr std::string_view key = ", \"instance\": \"";
    const std::size_t arguments = line.find(", \"argv\": [");
    const std::size_t at = line.substr(0, arguments).find(key);
    if (at != std::string_view::npos) {
        const std::size_t start = at + key.size();
        const std::size_t end = line.find('"', start);
        if (end != std::string_view::npos) return std::string(line.substr(start, end - start));
    }
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-0000-0000-0000-000000000000}", static_cast<unsigned>(run));
    return text;
}

void for_each_record_line(std::string_view lines, const std::function<void(std::string_view line)>& each) {
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
        each(line);
    }
}

std::string run_records_json(std::string_view lines, const std::function<bool(std::uint32_t run)>& is_live) {
    std::string json = "[";
    for_each_record_line(lines, [&](std::string_view line) {
        line.remove_suffix(1);
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);  // the outcome's padding
        if (json.size() > 1) json += ", ";
        const auto outcome = read_outcome(line);
        if (!outcome || !outcome->pending || is_live(outcome->run)) {
            json += line;
        } else {
            // Its runner ended (killed) before the action's end was recorded: the run failed.
            const std::size_t state = line.find("\"state\": \"", line.rfind("\"run\": "));
            const std::size_t word = state + 10;
            json += line.substr(0, word);
            json += "lost";
            json += line.substr(line.find('"', word));
        }
        json += '}';
    });
    return json + "]";
}

}  // namespace winemu
