// definition_checks.cpp: libFuzzer target over winemu's checks of a task definition: the markup
// prescan and the parser, fed the bytes as UTF-8 and as UTF-16, and with TASK_DISABLE.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "library/task_xml.hpp"
#include "library/xml_prescan.hpp"

namespace {

// A refusal carries a failure HRESULT; an accepted definition is one the checks accept again.
void check(const std::variant<winemu::TaskDefinition, winemu::XmlRefusal>& outcome) {
    if (const auto* refusal = std::get_if<winemu::XmlRefusal>(&outcome)) {
        if (refusal->code >= 0) __builtin_trap();
        return;
    }
    const auto& definition = std::get<winemu::TaskDefinition>(outcome);
    if (definition.exec_actions.empty() && definition.xml.empty()) __builtin_trap();
    if (std::holds_alternative<winemu::XmlRefusal>(winemu::parse_task_xml_utf8(definition.xml))) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)winemu::find_markup_excess(bytes);
    check(winemu::parse_task_xml_utf8(std::string(bytes)));
    check(winemu::parse_task_xml_utf8(std::string(bytes), /*disable=*/true));
    std::u16string units(size / 2, u'\0');
    for (std::size_t index = 0; index < units.size(); ++index)
        units[index] = static_cast<char16_t>(data[2 * index] | data[2 * index + 1] << 8);
    check(winemu::parse_task_xml(units));
    return 0;
}
