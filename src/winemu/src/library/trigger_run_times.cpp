// trigger_run_times.cpp: the start times of a definition's time and calendar triggers, with their
// repetition, merged.
//
// Rules the documentation leaves open, and what decided them:
// - Repetition runs in elapsed time from each start: Interval after Interval, across changes of
//   the local offset, up to and including Duration after the start (IRepetitionPattern's remarks:
//   an interval of one minute for four minutes launches the task five times).
// - Without Duration the pattern repeats indefinitely; a calendar trigger's next start begins a
//   pattern of its own, so an indefinite one lasts until the trigger starts again.
// - EndBoundary: a start at that instant is still made ("cannot start the task after it").
// - RandomDelay is left out: it is drawn anew for each start, and the times are the scheduled ones.
// - StopAtDurationEnd and ExecutionTimeLimit stop running instances and start none: not read.
#include "library/trigger_run_times.hpp"

#include <algorithm>

#include "library/local_clock.hpp"
#include "library/trigger_reading.hpp"
#include "library/trigger_starts.hpp"

namespace winemu {
namespace {

using std::chrono::seconds;

// The times of one start's pattern within [low, high]: first, first + interval, ..., at most
// max_count of them (0: all), appended.
void add_pattern(Instant first, seconds interval, Instant low, Instant high, std::size_t max_count,
                 std::vector<Instant>& times) {
    if (high < low) return;
    if (interval <= seconds(0)) {
        if (first >= low) times.push_back(first);
        return;
    }
    Instant time = first;
    if (time < low) time += ((low - first) + interval - seconds(1)) / interval * interval;
    for (std::size_t added = 0; time <= high; time += interval) {
        times.push_back(time);
        if (++added == max_count) break;
    }
}

void add_rule_times(const TriggerRule& rule, LocalClock& zone, Instant start, Instant end, std::size_t max_count,
                    std::vector<Instant>& times) {
    const Instant horizon = rule.end ? std::min(end, instant_of(*rule.end, zone)) : end;
    if (horizon < start) return;
    const bool repeats = rule.interval > seconds(0);
    const bool indefinite = repeats && !rule.duration;
    const seconds length = repeats && rule.duration ? *rule.duration : seconds(0);
    TriggerStarts starts(rule, zone, indefinite ? start : start - length, indefinite, horizon);
    const std::size_t first_of_rule = times.size();
    std::optional<Instant> current = starts.next();
    while (current && *current <= horizon) {
        const std::optional<Instant> following = starts.next();
        Instant last = *current + length;
        if (indefinite) last = following ? *following - seconds(1) : horizon;
        add_pattern(*current, rule.interval, std::max(start, *current), std::min(last, horizon), max_count, times);
        if (max_count != 0 && times.size() - first_of_rule >= max_count) {
            // Later patterns begin after `following`: they matter only if it comes before the
            // max_count-th time found so far.
            const auto first = times.begin() + static_cast<std::ptrdiff_t>(first_of_rule);
            const auto kept = first + static_cast<std::ptrdiff_t>(max_count);
            std::nth_element(first, kept - 1, times.end());
            if (!following || *following > *(kept - 1)) return;
            times.erase(kept, times.end());
        }
        current = following;
    }
}

}  // namespace

TriggerRunTimes trigger_run_times(std::string_view definition, Instant start, Instant end, std::size_t max_count) {
    const TriggerRules read = read_trigger_rules(definition);
    TriggerRunTimes result;
    result.has_time_triggers = read.has_time_triggers;
    if (end < start) return result;
    LocalClock zone;
    for (const TriggerRule& rule : read.rules) add_rule_times(rule, zone, start, end, max_count, result.times);
    std::vector<Instant>& times = result.times;
    if (!std::is_sorted(times.begin(), times.end())) std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (max_count != 0 && times.size() > max_count) times.resize(max_count);
    return result;
}

}  // namespace winemu
