// input_table.cpp: reading the fidelity inputs: fields, percent escapes, definitions, expansions.
#include "input_table.hpp"

#include <stdexcept>

namespace fidelity {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::runtime_error("bad percent escape");
}

std::string decode(const std::string& field) {
    std::string text;
    for (std::string::size_type i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            text += field[i];
            continue;
        }
        if (i + 1 < field.size() && field[i + 1] == '{') {  // %{N*text}
            const auto star = field.find('*', i);
            const auto close = field.find('}', i);
            if (star == std::string::npos || close == std::string::npos || star > close)
                throw std::runtime_error("bad repetition");
            const auto count = std::stoul(field.substr(i + 2, star - i - 2));
            const std::string unit = field.substr(star + 1, close - star - 1);
            for (unsigned long n = 0; n < count; ++n) text += unit;
            i = close;
            continue;
        }
        if (i + 2 >= field.size()) throw std::runtime_error("bad percent escape");
        text += static_cast<char>(hex_digit(field[i + 1]) * 16 + hex_digit(field[i + 2]));
        i += 2;
    }
    return text;
}

std::vector<SetupStep> parse_setup(const std::string& field) {
    std::vector<SetupStep> steps;
    if (field == "-") return steps;
    for (const std::string& item : split(field, ';')) {
        const auto colon = item.find(':');
        if (colon == std::string::npos) throw std::runtime_error("setup step without ':'");
        steps.push_back({item.substr(0, colon), decode(item.substr(colon + 1))});
    }
    return steps;
}

// A name's four cases: registering it; deleting it once registered (and whether it is gone);
// asking for it and deleting it while nothing is registered.
void add_name_cases(std::vector<Case>& cases, const std::string& id, const std::string& name) {
    const std::vector<SetupStep> registered{{"register", name}};
    cases.push_back({id + "/register", {}, "register_xml", name, plain_definition(), 0});
    cases.push_back({id + "/delete", registered, "delete_task", name, std::nullopt, 0});
    cases.push_back({id + "/exists-missing", {}, "task_exists", name, std::nullopt, 0});
    cases.push_back({id + "/delete-missing", {}, "delete_task", name, std::nullopt, 0});
}

}  // namespace

const std::string& plain_definition() {
    static const std::string xml =
        R"(<?xml version="1.0" encoding="UTF-16"?>)"
        R"(<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">)"
        R"(<Settings><Enabled>true</Enabled></Settings>)"
        R"(<Actions><Exec><Command>cmd.exe</Command></Exec></Actions></Task>)";
    return xml;
}

std::vector<Case> read_cases(std::istream& input) {
    std::map<std::string, std::string> definitions;
    std::vector<Case> cases;
    std::string line;
    for (int number = 1; std::getline(input, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        try {
            const auto fields = split(line, '\t');
            if (fields[0] == "define" && fields.size() == 3) {
                definitions[fields[1]] = decode(fields[2]);
            } else if (fields[0] == "names" && fields.size() == 3) {
                add_name_cases(cases, fields[1], decode(fields[2]));
            } else if (fields[0] == "case" && fields.size() == 7) {
                Case c{fields[1], parse_setup(fields[2]), fields[3], decode(fields[4]), std::nullopt, 0};
                if (fields[5].starts_with('@')) {
                    const auto found = definitions.find(fields[5].substr(1));
                    if (found == definitions.end()) throw std::runtime_error("unknown definition " + fields[5]);
                    c.definition = found->second;
                } else if (fields[5] != "-") {
                    c.definition = decode(fields[5]);
                }
                if (fields[6] != "-") c.flags = static_cast<long>(std::stoul(fields[6], nullptr, 16));
                cases.push_back(std::move(c));
            } else {
                throw std::runtime_error("unknown kind of line or wrong number of fields");
            }
        } catch (const std::exception& error) {
            throw std::runtime_error("inputs line " + std::to_string(number) + ": " + error.what());
        }
    }
    return cases;
}

}  // namespace fidelity
