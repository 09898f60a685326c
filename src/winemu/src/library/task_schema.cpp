// task_schema.cpp: the element rules of the task schema, one table per complex type.
#include "library/task_schema.hpp"

#include "library/task_limits.hpp"

namespace winemu {
namespace {

/* === Where the rules come from ===
 * The XSD of the Task Scheduler schema (Microsoft Learn, "Task Scheduler Schema", and the element
 * pages under "Task Scheduler Schema Elements"; MS-TSCH 2.5 for the same types). Each table below
 * is one complex type; its rows are its child elements with their minOccurs, maxOccurs, place in
 * a sequence and simple type. Where Windows is known to depart from the XSD, the rule follows
 * Windows and says why:
 * - triggerBaseType is an xs:sequence (Enabled, StartBoundary, EndBoundary, Repetition,
 *   ExecutionTimeLimit), yet the definitions Windows itself exports write Repetition first and
 *   Enabled after StartBoundary. Refusing them would refuse what Windows wrote, so the common
 *   trigger elements come in any order (rank 0); the elements of each kind of trigger follow
 *   them in the order of its own sequence (ranks 1 and up).
 * - dataType (Task/Data, ComHandler/Data) is one element of any kind in the XSD, but the API
 *   writes Data as text (ITaskDefinition::Data, IComHandlerAction::Data): any content is taken.
 * - The version attribute is fixed to "1.3" in the XSD while Windows writes "1.2" to "1.4":
 *   it is allowed on Task, its value not checked.
 * - Settings/Volatile and Settings/MaintenanceSettings (schema 1.4, ITaskSettings3) are missing
 *   from the XSD on Learn; they are taken, as Windows 8 and later write them. */

constexpr ChildRule value(std::string_view name, ValueType type, std::uint8_t fewest = 0, std::uint8_t most = 1,
                          std::uint8_t rank = 0) {
    return {name, nullptr, type, fewest, most, rank, 0, {}};
}

constexpr ChildRule holding(std::string_view name, const ComplexType& type, std::uint8_t fewest = 0,
                            std::uint8_t most = 1, std::uint8_t rank = 0, std::uint8_t choice = 0) {
    return {name, &type, ValueType::text, fewest, most, rank, choice, {}};
}

using enum ValueType;

constexpr ComplexType anything{.children = {}, .anything = true};

// ---- triggers --------------------------------------------------------------------------------

constexpr ChildRule repetition_children[] = {
    value("Interval", duration_1m_to_31d, 1), value("Duration", duration_from_1m),
    value("StopAtDurationEnd", boolean)};
constexpr ComplexType repetition{repetition_children};

constexpr ChildRule trigger_base_children[] = {
    value("Enabled", boolean), value("StartBoundary", date_time), value("EndBoundary", date_time),
    holding("Repetition", repetition), value("ExecutionTimeLimit", duration)};
constexpr ComplexType trigger_base{trigger_base_children};

// The same for time and calendar triggers, whose StartBoundary the element's page calls required
// (it gives their time): its absence is a missing node, as for the schema's own required elements.
constexpr ChildRule timed_trigger_base_children[] = {
    value("Enabled", boolean), value("StartBoundary", date_time, 1), value("EndBoundary", date_time),
    holding("Repetition", repetition), value("ExecutionTimeLimit", duration)};
constexpr ComplexType timed_trigger_base{timed_trigger_base_children};

constexpr ChildRule delay_children[] = {value("Delay", duration, 0, 1, 1)};
constexpr ComplexType boot_trigger{delay_children, &trigger_base, 0, 0, false, true};
constexpr ComplexType registration_trigger{delay_children, &trigger_base, 0, 0, false, true};
constexpr ComplexType idle_trigger{{}, &trigger_base, 0, 0, false, true};

constexpr ChildRule time_trigger_children[] = {value("RandomDelay", duration, 0, 1, 1)};
constexpr ComplexType time_trigger{time_trigger_children, &timed_trigger_base, 0, 0, false, true};

constexpr ChildRule value_query_children[] = {{"Value", nullptr, non_empty, 1, 32, 0, 0, "name"}};
constexpr ComplexType value_queries{value_query_children};

constexpr ChildRule event_trigger_children[] = {
    value("Subscription", non_empty, 1, 1, 1),     value("Delay", duration, 0, 1, 2),
    value("PeriodOfOccurrence", duration, 0, 1, 3), value("NumberOfOccurrences", occurrences, 0, 1, 4),
    value("MatchingElement", non_empty, 0, 1, 5),  holding("ValueQueries", value_queries, 0, 1, 6)};
constexpr ComplexType event_trigger{event_trigger_children, &trigger_base, 0, 0, false, true};

constexpr ChildRule logon_trigger_children[] = {value("UserId", non_empty, 0, 1, 1), value("Delay", duration, 0, 1, 2)};
constexpr ComplexType logon_trigger{logon_trigger_children, &trigger_base, 0, 0, false, true};

constexpr ChildRule session_trigger_children[] = {value("UserId", non_empty, 0, 1, 1),
                                                  value("Delay", duration, 0, 1, 2),
                                                  value("StateChange", state_change, 1, 1, 3)};
constexpr ComplexType session_trigger{session_trigger_children, &trigger_base, 0, 0, false, true};

constexpr ChildRule days_of_week_children[] = {
    value("Monday", nothing), value("Tuesday", nothing),  value("Wednesday", nothing), value("Thursday", nothing),
    value("Friday", nothing), value("Saturday", nothing), value("Sunday", nothing)};
constexpr ComplexType days_of_week{days_of_week_children};

constexpr ChildRule months_children[] = {
    value("January", nothing), value("February", nothing), value("March", nothing),     value("April", nothing),
    value("May", nothing),     value("June", nothing),     value("July", nothing),      value("August", nothing),
    value("September", nothing), value("October", nothing), value("November", nothing), value("December", nothing)};
constexpr ComplexType months{months_children};

constexpr ChildRule days_of_month_children[] = {value("Day", day_of_month, 0, 32)};
constexpr ComplexType days_of_month{days_of_month_children};

constexpr ChildRule weeks_children[] = {value("Week", week, 0, 5)};
constexpr ComplexType weeks{weeks_children};

constexpr ChildRule daily_children[] = {value("DaysInterval", days_interval)};
constexpr ComplexType daily{daily_children};

// DaysOfWeek of a weekly schedule and DaysOfMonth of a monthly one are required: without them the
// schedule names no day (IWeeklyTrigger::DaysOfWeek and IMonthlyTrigger::DaysOfMonth have no
// default), and a trigger that can never start is refused rather than kept.
constexpr ChildRule weekly_children[] = {value("WeeksInterval", weeks_interval),
                                         holding("DaysOfWeek", days_of_week, 1)};
constexpr ComplexType weekly{weekly_children};

constexpr ChildRule monthly_children[] = {holding("DaysOfMonth", days_of_month, 1), holding("Months", months)};
constexpr ComplexType monthly{monthly_children};

constexpr ChildRule monthly_day_of_week_children[] = {holding("Weeks", weeks), holding("DaysOfWeek", days_of_week, 1),
                                                      holding("Months", months)};
constexpr ComplexType monthly_day_of_week{monthly_day_of_week_children};

constexpr ChildRule calendar_trigger_children[] = {
    value("RandomDelay", duration, 0, 1, 1),
    holding("ScheduleByDay", daily, 0, 1, 2, 1),
    holding("ScheduleByWeek", weekly, 0, 1, 2, 1),
    holding("ScheduleByMonth", monthly, 0, 1, 2, 1),
    holding("ScheduleByMonthDayOfWeek", monthly_day_of_week, 0, 1, 2, 1)};
constexpr ComplexType calendar_trigger{calendar_trigger_children, &timed_trigger_base, 0, 0, false, true};

// triggersType: a choice repeated up to 48 times, so 48 triggers of all kinds together.
constexpr ChildRule triggers_children[] = {
    holding("BootTrigger", boot_trigger, 0, 48),   holding("RegistrationTrigger", registration_trigger, 0, 48),
    holding("IdleTrigger", idle_trigger, 0, 48),   holding("TimeTrigger", time_trigger, 0, 48),
    holding("EventTrigger", event_trigger, 0, 48), holding("LogonTrigger", logon_trigger, 0, 48),
    holding("SessionStateChangeTrigger", session_trigger, 0, 48),
    holding("CalendarTrigger", calendar_trigger, 0, 48)};
constexpr ComplexType triggers{triggers_children, nullptr, 0, 48};

// ---- settings --------------------------------------------------------------------------------

constexpr ChildRule idle_settings_children[] = {
    value("Duration", duration_from_1m), value("WaitTimeout", duration_from_1m), value("StopOnIdleEnd", boolean),
    value("RestartOnIdle", boolean)};
constexpr ComplexType idle_settings{idle_settings_children};

constexpr ChildRule network_settings_children[] = {value("Name", non_empty), value("Id", guid)};
constexpr ComplexType network_settings{network_settings_children};

constexpr ChildRule restart_children[] = {value("Interval", duration_1m_to_31d, 1), value("Count", restart_count, 1)};
constexpr ComplexType restart_on_failure{restart_children};

constexpr ChildRule maintenance_children[] = {value("Period", duration), value("Deadline", duration),
                                              value("Exclusive", boolean)};
constexpr ComplexType maintenance_settings{maintenance_children};

constexpr ChildRule settings_children[] = {
    value("AllowStartOnDemand", boolean),
    holding("RestartOnFailure", restart_on_failure),
    value("MultipleInstancesPolicy", instances_policy),
    value("DisallowStartIfOnBatteries", boolean),
    value("StopIfGoingOnBatteries", boolean),
    value("AllowHardTerminate", boolean),
    value("StartWhenAvailable", boolean),
    value("NetworkProfileName", text),
    value("RunOnlyIfNetworkAvailable", boolean),
    value("WakeToRun", boolean),
    value("Enabled", boolean),
    value("Hidden", boolean),
    value("DeleteExpiredTaskAfter", duration),
    holding("IdleSettings", idle_settings),
    holding("NetworkSettings", network_settings),
    value("ExecutionTimeLimit", duration),
    value("Priority", priority),
    value("RunOnlyIfIdle", boolean),
    value("UseUnifiedSchedulingEngine", boolean),
    value("DisallowStartOnRemoteAppSession", boolean),
    value("Volatile", boolean),
    holding("MaintenanceSettings", maintenance_settings)};
constexpr ComplexType settings{settings_children};

// ---- principals ------------------------------------------------------------------------------

constexpr ChildRule required_privileges_children[] = {value("Privilege", privilege, 1, 64)};
constexpr ComplexType required_privileges{required_privileges_children};

constexpr ChildRule principal_children[] = {
    value("UserId", non_empty),   value("LogonType", logon_type),
    value("GroupId", non_empty),  value("DisplayName", text),
    value("RunLevel", run_level), value("ProcessTokenSidType", process_token_sid),
    holding("RequiredPrivileges", required_privileges)};
constexpr ComplexType principal{principal_children, nullptr, 0, 0, false, true, true};

constexpr ChildRule principals_children[] = {holding("Principal", principal, 1, 1)};
constexpr ComplexType principals{principals_children};

// ---- actions ---------------------------------------------------------------------------------

constexpr ChildRule exec_children[] = {value("Command", path, 1), value("Arguments", text),
                                       value("WorkingDirectory", path)};
constexpr ComplexType exec{exec_children, nullptr, 0, 0, false, true};

constexpr ChildRule com_handler_children[] = {value("ClassId", guid, 1), holding("Data", anything)};
constexpr ComplexType com_handler{com_handler_children, nullptr, 0, 0, false, true};

constexpr ChildRule header_field_children[] = {value("Name", non_empty, 1), value("Value", text, 1)};
constexpr ComplexType header_field{header_field_children};

constexpr ChildRule header_fields_children[] = {holding("HeaderField", header_field, 0, 32)};
constexpr ComplexType header_fields{header_fields_children};

constexpr ChildRule attachments_children[] = {value("File", non_empty, 0, 8)};
constexpr ComplexType attachments{attachments_children};

constexpr ChildRule send_email_children[] = {
    value("Server", non_empty, 1), value("Subject", text), value("To", text),   value("Cc", text),
    value("Bcc", text),            value("ReplyTo", text), value("From", text), holding("HeaderFields", header_fields),
    value("Body", text),           holding("Attachments", attachments)};
constexpr ComplexType send_email{send_email_children, nullptr, 0, 0, false, true};

constexpr ChildRule show_message_children[] = {value("Title", non_empty, 1), value("Body", non_empty, 1)};
constexpr ComplexType show_message{show_message_children, nullptr, 0, 0, false, true};

// actionsType: a choice repeated from once to 32 times (Windows refuses the 33rd action).
constexpr ChildRule actions_children[] = {holding("Exec", exec, 0, 32), holding("ComHandler", com_handler, 0, 32),
                                          holding("SendEmail", send_email, 0, 32),
                                          holding("ShowMessage", show_message, 0, 32)};
constexpr ComplexType actions{actions_children, nullptr, 1, static_cast<std::uint8_t>(most_actions), false, false, false,
                               true};

// ---- the task --------------------------------------------------------------------------------

constexpr ChildRule registration_info_children[] = {
    value("URI", text),        value("SecurityDescriptor", text), value("Source", text),
    value("Date", date_time),  value("Author", text),             value("Version", text),
    value("Description", text), value("Documentation", text)};
constexpr ComplexType registration_info{registration_info_children};

constexpr ChildRule task_children[] = {
    holding("RegistrationInfo", registration_info), holding("Triggers", triggers), holding("Settings", settings),
    holding("Data", anything), holding("Principals", principals), holding("Actions", actions, 1)};
constexpr ComplexType task{.children = task_children, .has_version = true};

}  // namespace

const ComplexType& task_type() { return task; }

}  // namespace winemu
