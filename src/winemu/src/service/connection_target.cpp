// connection_target.cpp: deciding what ITaskService::Connect connects to.
#include "service/connection_target.hpp"

#include <unistd.h>

#include <string_view>

#include "accounts/log_on.hpp"
#include "base/text_units.hpp"
#include "base/utf.hpp"
#include "com/bstr_text.hpp"
#include "service/latency.hpp"

namespace winemu {
namespace {

// A VARIANT that Connect takes as a text: empty, null, or a BSTR.
bool takes_as_text(const VARIANT& value) {
    return value.vt == VT_EMPTY || value.vt == VT_NULL || value.vt == VT_BSTR;
}

// The text of a BSTR VARIANT. A null BSTR is the empty text, as everywhere in COM; an empty text
// counts as given only where `empty_is_given` (a password may be empty, a name may not).
std::optional<std::u16string_view> text_of(const VARIANT& value, bool empty_is_given) {
    if (value.vt != VT_BSTR) return std::nullopt;
    const std::u16string_view text = value.bstrVal ? bstr_view(value.bstrVal) : std::u16string_view();
    if (text.empty() && !empty_is_given) return std::nullopt;
    return text;
}

std::u16string_view without_unc_prefix(std::u16string_view name) {
    if (name.substr(0, 2) == u"\\\\") name.remove_prefix(2);
    return name;
}

// Addresses that name no server, which the RPC runtime refuses before it tries the network.
bool unusable_address(std::u16string_view name) {
    return name == u"0.0.0.0" || name == u"255.255.255.255" || name == u"::" || name == u"[::]";
}

}  // namespace

std::string this_computer_name() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

bool names_this_computer(std::u16string_view name) {
    name = without_unc_prefix(name);
    if (name.empty() || name == u"." || equal_ignoring_ascii_case(name, u"localhost") || name == u"127.0.0.1")
        return true;
    return equal_ignoring_ascii_case(name, utf16_from_utf8_lossy(this_computer_name()));
}

HResultOr<ConnectionTarget> connection_target(const VARIANT& server, const VARIANT& user, const VARIANT& domain,
                                              const VARIANT& password) {
    using Answer = HResultOr<ConnectionTarget>;
    if (!takes_as_text(server) || !takes_as_text(user) || !takes_as_text(domain) || !takes_as_text(password))
        return Answer::failure(E_INVALIDARG);
    const auto user_name = text_of(user, false);
    const auto domain_name = text_of(domain, false);
    const auto secret = text_of(password, true);
    if (user_name.has_value() != secret.has_value() || (domain_name && !user_name))
        return Answer::failure(E_OUTOFMEMORY);

    const std::u16string_view name = without_unc_prefix(text_of(server, false).value_or(u""));
    if (unusable_address(name)) return Answer::failure(HRESULT_FROM_WIN32(RPC_S_INVALID_NET_ADDR));
    if (names_this_computer(name)) {
        if (user_name) return Answer::failure(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
        return ConnectionTarget{};
    }
    std::shared_ptr<const Computer> computer = find_computer(name);
    if (!computer || computer->removed()) return Answer::failure(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    wait_latency(computer->latency());  // the round trip that reaches the other computer
    if (!user_name) return ConnectionTarget{std::move(computer), std::nullopt};
    // The computer's own name is, to its accounts, "." (its local accounts).
    std::u16string_view domain_there = domain_name.value_or(u"");
    if (equal_ignoring_ascii_case(domain_there, utf16_from_utf8_lossy(computer->name()))) domain_there = u".";
    HResultOr<std::string> account = log_on(computer->library(), *user_name, domain_there, *secret);
    if (!account.ok()) return Answer::failure(account.error());
    return ConnectionTarget{std::move(computer), std::move(account.value())};
}

}  // namespace winemu
