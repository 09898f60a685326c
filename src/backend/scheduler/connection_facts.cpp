// connection_facts.cpp: reading what the service says of a connection.
#include "scheduler/connection_facts.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {

Result<std::string, SchedulerError> connection_fact(SchedulerConnection& connection, ConnectionFact fact) {
    using Getter = HRESULT (STDMETHODCALLTYPE ITaskService::*)(BSTR*);
    const auto [getter, label] = [fact]() -> std::pair<Getter, const char*> {
        switch (fact) {
            case ConnectionFact::connected_user: return {&ITaskService::get_ConnectedUser, "get_ConnectedUser"};
            case ConnectionFact::connected_domain: return {&ITaskService::get_ConnectedDomain, "get_ConnectedDomain"};
            case ConnectionFact::target_server: break;
        }
        return {&ITaskService::get_TargetServer, "get_TargetServer"};
    }();
    UniqueBstr text;
    const HRESULT outcome = (connection.service()->*getter)(text.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, label)};
    return utf8_from_utf16(bstr_view(text.get()));
}

}  // namespace morvane::scheduler
