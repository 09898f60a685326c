// definition_shapes.cpp: registration time of definitions of several shapes as they grow to the
// size cap and just past it. Every definition up to the cap should register (or be refused) in
// time linear in its size: the time per megabyte stays flat down each column.
//
//   bench_definition_shapes
//
// Shapes: many attributes on one element, deep nesting, many elements, one long text, elements
// each with the most attributes allowed, prefixes looked up through the most declarations
// allowed, many namespace declarations. Sizes: a quarter, half, all of the cap, and just over it.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

#include <winemu/control.h>

#include "scheduler/task_operations.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace scheduler = morvane::scheduler;

constexpr std::size_t cap = std::size_t{1} << 20;  // winemu's largest definition, in bytes

const std::string head = "<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">";
const std::string tail = "<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>";

// Fills `body` by repeating `unit(i)` until the whole definition has `size` bytes (padding with
// blanks inside the root's start tag region where a unit would overshoot).
std::string grown(std::size_t size, const std::string& open, const std::function<std::string(std::size_t)>& unit,
                  const std::function<std::string(std::size_t)>& close) {
    std::string middle;
    std::size_t count = 0;
    while (true) {
        std::string next = unit(count);
        if (head.size() + open.size() + middle.size() + next.size() + close(count + 1).size() + tail.size() > size) break;
        middle += next;
        ++count;
    }
    std::string xml = head + open + middle + close(count) + tail;
    if (xml.size() < size) xml.insert(head.size() - 1, std::string(size - xml.size(), ' '));
    return xml;
}

struct Shape {
    const char* name;
    std::function<std::string(std::size_t)> make;
};

const Shape shapes[] = {
    {"attributes on one element",
     [](std::size_t size) {
         return grown(size, "<Data", [](std::size_t i) { return " a" + std::to_string(i) + "=''"; },
                      [](std::size_t) { return std::string("/>"); });
     }},
    {"deep nesting",
     [](std::size_t size) {
         return grown(size, "", [](std::size_t) { return std::string("<Data>"); },
                      [](std::size_t n) {
                          std::string close;
                          for (std::size_t i = 0; i < n; ++i) close += "</Data>";
                          return close;
                      });
     }},
    {"many elements",
     [](std::size_t size) {
         return grown(size, "<Data>", [](std::size_t) { return std::string("<x/>"); },
                      [](std::size_t) { return std::string("</Data>"); });
     }},
    {"one long text",
     [](std::size_t size) {
         return grown(size, "<Data>", [](std::size_t) { return std::string(1024, 't'); },
                      [](std::size_t) { return std::string("</Data>"); });
     }},
    {"elements of 256 attributes",
     [](std::size_t size) {
         std::string element = "<x";
         for (int i = 0; i < 256; ++i) element += " a" + std::to_string(i) + "=''";
         element += "/>";
         return grown(size, "<Data>", [element](std::size_t) { return element; },
                      [](std::size_t) { return std::string("</Data>"); });
     }},
    {"prefixes under 256 scopes",
     [](std::size_t size) {
         // The root declares one namespace; 255 more, then attributes of the oldest prefix, the
         // one each lookup walks every declaration to find.
         std::string open = "<Data";
         for (int i = 0; i < 255; ++i) open += " xmlns:p" + std::to_string(i) + "='u" + std::to_string(i) + "'";
         open += ">";
         return grown(size, open, [](std::size_t) { return std::string("<x p0:a='' p0:b='' p0:c=''/>"); },
                      [](std::size_t) { return std::string("</Data>"); });
     }},
    {"namespace declarations",
     [](std::size_t size) {
         return grown(size, "<Data", [](std::size_t i) { return " xmlns:p" + std::to_string(i) + "='u'"; },
                      [](std::size_t) { return std::string("/>"); });
     }},
};

}  // namespace

int main() {
    const auto library = std::filesystem::temp_directory_path() / ("morvane-bench-shapes-" + std::to_string(::getpid()));
    winemu_set_task_library(library.c_str());
    const std::size_t sizes[] = {cap / 4, cap / 2, cap, cap + 1};
    std::printf("%-28s %12s %12s %12s %12s\n", "shape \\ bytes", "256 KiB", "512 KiB", "1 MiB", "1 MiB + 1");
    for (const Shape& shape : shapes) {
        std::printf("%-28s", shape.name);
        for (const std::size_t size : sizes) {
            const std::string xml = shape.make(size);
            const auto start = Clock::now();
            const auto result = scheduler::register_xml("Shape", xml);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            char outcome[32];
            if (result.ok()) std::snprintf(outcome, sizeof outcome, "ok");
            else std::snprintf(outcome, sizeof outcome, "%08X", static_cast<unsigned>(result.error().code));
            std::printf(" %6.1f ms %s", ms, outcome);
        }
        std::printf("\n");
    }
    std::filesystem::remove_all(library);
    return 0;
}
