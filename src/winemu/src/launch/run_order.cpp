// run_order.cpp: what the caller of RunEx hands to the runner, as the runner's arguments.
#include "launch/run_order.hpp"

#include <charconv>
#include <string_view>

namespace winemu {
namespace {

template <typename Number>
std::optional<Number> number(std::string_view text) {
    Number value{};
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

constexpr int fixed_arguments = 8;

// to_chars rather than to_string: the caller's locale may use a decimal comma.
std::string decimal(double value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

}  // namespace

std::vector<std::string> run_order_arguments(const RunOrder& order) {
    std::vector<std::string> arguments{order.library,
                                       order.task,
                                       std::to_string(order.run),
                                       std::to_string(order.first_record),
                                       order.queued ? "1" : "0",
                                       decimal(order.time_limit),
                                       order.instance,
                                       order.account};
    for (const ExecAction& action : order.actions) {
        arguments.push_back(action.command);
        arguments.push_back(action.arguments);
        arguments.push_back(action.working_directory);
    }
    return arguments;
}

std::optional<RunOrder> run_order_from(int argc, const char* const* argv) {
    if (argc < fixed_arguments || (argc - fixed_arguments) % 3 != 0) return std::nullopt;
    RunOrder order;
    order.library = argv[0];
    order.task = argv[1];
    const auto run = number<std::uint32_t>(argv[2]);
    const auto first = number<long long>(argv[3]);
    const auto limit = number<double>(argv[5]);
    if (!run || !first || !limit) return std::nullopt;
    order.run = *run;
    order.first_record = static_cast<off_t>(*first);
    order.queued = std::string_view(argv[4]) == "1";
    order.time_limit = *limit;
    order.instance = argv[6];
    order.account = argv[7];
    for (int i = fixed_arguments; i < argc; i += 3) order.actions.push_back({argv[i], argv[i + 1], argv[i + 2]});
    return order;
}

}  // namespace winemu
