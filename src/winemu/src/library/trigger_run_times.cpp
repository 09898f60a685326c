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
    if (time > high) return;
    std::size_t count = static_cast<std::size_t>((high - time) / interval) + 1;
    if (max_count != 0) count = std::min(count, max_count);
    for (; count != 0; --count, time += interval) times.push_back(time);
}

// Keeps times[from...] ascending after a pattern was appended at `added`: a pattern overlaps the
// one before only where its repetition outlasts the next start, so the merge is short. A first
// time that the pattern before ended on is dropped; true when other times may now repeat.
bool merge_pattern(std::vector<Instant>& times, std::size_t from, std::size_t added) {
    const auto first = times.begin() + static_cast<std::ptrdiff_t>(from);
    const auto middle = times.begin() + static_cast<std::ptrdiff_t>(added);
    if (middle == first || middle == times.end() || *(middle - 1) < *middle) return false;
    if (*(middle - 1) == *middle) {
        times.erase(middle);
        return false;
    }
    std::inplace_merge(std::upper_bound(first, middle, *middle), middle, times.end());
    return true;
}

// Room for as many patterns as fit before the horizon if they came as far apart as the first two
// (no more than max_count and a pattern need).
void reserve_like(std::vector<Instant>& times, Instant first, Instant second, Instant horizon, seconds interval,
                  std::size_t max_count) {
    constexpr std::size_t most = std::size_t{1} << 20;
    const auto patterns = static_cast<std::size_t>((horizon - first) / std::max(second - first, seconds(1))) + 1;
    const auto each = interval > seconds(0) ? static_cast<std::size_t>((second - first) / interval) + 1 : 1;
    std::size_t room = std::min(most, patterns * each);
    if (max_count != 0) room = std::min(room, max_count + each);
    times.reserve(times.size() + room);
}

// Appends the times of one trigger within [start, end], ascending (the first max_count of them
// and perhaps a few more); true when some of them may repeat.
bool add_rule_times(const TriggerRule& rule, LocalClock& zone, Instant start, Instant end, std::size_t max_count,
                    std::vector<Instant>& times) {
    const std::size_t first_of_rule = times.size();
    const Instant horizon = rule.end ? std::min(end, instant_of(*rule.end, zone)) : end;
    bool repeated = false;
    if (horizon < start) return repeated;
    const bool repeats = rule.interval > seconds(0);
    const bool indefinite = repeats && !rule.duration;
    const seconds length = repeats && rule.duration ? *rule.duration : seconds(0);
    TriggerStarts starts(rule, zone, indefinite ? start : start - length, indefinite, horizon);
    std::optional<Instant> current = starts.next();
    while (current && *current <= horizon) {
        const std::optional<Instant> following = starts.next();
        Instant last = *current + length;
        if (indefinite) last = following ? *following - seconds(1) : horizon;
        const std::size_t added = times.size();
        if (added == first_of_rule && following) {
            reserve_like(times, *current, *following, horizon, rule.interval, max_count);
        }
        add_pattern(*current, rule.interval, std::max(start, *current), std::min(last, horizon), max_count, times);
        repeated = merge_pattern(times, first_of_rule, added) || repeated;
        // Later patterns begin after `following`: once max_count times are found, they matter
        // only if it comes before the last of those.
        if (max_count != 0 && repeated && times.size() - first_of_rule >= max_count) {
            times.erase(std::unique(times.begin() + static_cast<std::ptrdiff_t>(first_of_rule), times.end()),
                        times.end());
        }
        if (max_count != 0 && times.size() - first_of_rule >= max_count) {
            const auto kept = times.begin() + static_cast<std::ptrdiff_t>(first_of_rule + max_count);
            if (!following || *following > *(kept - 1)) break;
            times.erase(kept, times.end());
        }
        current = following;
    }
    return repeated;
}

}  // namespace

TriggerRunTimes trigger_run_times(std::string_view definition, Instant start, Instant end, std::size_t max_count) {
    using namespace std::chrono;
    const TriggerRules read = read_trigger_rules(definition);
    TriggerRunTimes result;
    result.has_time_triggers = read.has_time_triggers;
    // SYSTEMTIME's years, as GetRunTimes takes them: the calendar's arithmetic stays in range.
    start = std::max(start, Instant(sys_days(year(1601) / January / 1)));
    end = std::min(end, Instant(sys_days(year(30827) / December / 31)) + seconds(86399));
    if (end < start) return result;
    LocalClock zone;
    std::vector<Instant>& times = result.times;
    bool repeated = false;
    for (const TriggerRule& rule : read.rules) {
        const std::size_t first_of_rule = times.size();
        repeated = add_rule_times(rule, zone, start, end, max_count, times) || repeated;
        if (first_of_rule == 0 || first_of_rule == times.size()) continue;
        std::inplace_merge(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(first_of_rule), times.end());
        repeated = true;
    }
    if (repeated) times.erase(std::unique(times.begin(), times.end()), times.end());
    if (max_count != 0 && times.size() > max_count) times.resize(max_count);
    return result;
}

}  // namespace winemu
