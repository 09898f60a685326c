// trigger_run_times.cpp: the start times of a definition's time and calendar triggers, with their
// repetition, merged.
//
// Rules the documentation leaves open, and what decided them:
// - Repetition runs in elapsed time from each start: Interval after Interval, across changes of
//   the local offset, up to and including Duration after the start (IRepetitionPattern's remarks:
//   an interval of one minute for four minutes launches the task five times).
// - Without Duration the pattern repeats indefinitely; a calendar trigger's next start begins a
//   pattern of its own, so an indefinite one lasts until the trigger starts again. A finite
//   Duration is kept as written, so that the patterns of a long one overlap: their times merge.
// - Triggers disabled one by one still count (GetRunTimes' and NextRunTime's remarks).
// - EndBoundary: a start at that instant is still made ("cannot start the task after it").
// - RandomDelay is left out: it is drawn anew for each start, and the times are the scheduled ones.
// - StopAtDurationEnd and ExecutionTimeLimit stop running instances and start none: not read.
#include "library/trigger_run_times.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>

#include "library/local_clock.hpp"
#include "library/trigger_starts.hpp"

namespace winemu {
namespace {

using std::chrono::days;
using std::chrono::seconds;

/* === Why a query costs what its window holds ===
 * A pattern's times are an arithmetic progression: its start plus multiples of the interval. Two
 * patterns whose starts lie the same distance past a multiple of the interval (the same phase)
 * hand out the same times wherever both last, so the times of many overlapping patterns are, for
 * each phase, a few ranges of one progression: runs. A run costs the same however many patterns
 * it stands for, and the times are counted out of the runs only at the end, only within the
 * window. Patterns that began before the window and still last through it repeat, phase for
 * phase, the ones that began shortly before it: the starts are looked at only back to when the
 * trigger's starts have fallen on each phase they can fall on, under each offset of the zone's
 * present rules (`lookback`), not back to a StartBoundary centuries ago. An offset the zone kept
 * only before that (local mean time before 1900) gives no phase of its own: Windows' zones carry
 * no such history either, they read earlier years by their first rule. */

// The times first + k * interval of one phase from `low` to `high` (both such times).
struct Run {
    std::int64_t phase;
    Instant low;
    Instant high;
};

std::int64_t phase_of(Instant time, seconds interval) {
    const std::int64_t remainder = time.time_since_epoch().count() % interval.count();
    return remainder < 0 ? remainder + interval.count() : remainder;
}

// The run of a pattern that starts at `first` within [low, high], if it has a time there.
std::optional<Run> run_within(Instant first, seconds interval, Instant low, Instant high) {
    if (high < low || high < first) return std::nullopt;
    const Instant from = low <= first ? first : first + ((low - first) + interval - seconds(1)) / interval * interval;
    const Instant to = first + (high - first) / interval * interval;
    if (to < from) return std::nullopt;
    return Run{phase_of(first, interval), from, to};
}

std::size_t size_of(const Run& run, seconds interval) {
    return static_cast<std::size_t>((run.high - run.low) / interval) + 1;
}

// The runs as few as they go: of each phase, those that overlap or meet joined into one.
std::vector<Run> joined(std::vector<Run> runs, seconds interval) {
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.phase != b.phase ? a.phase < b.phase : a.low < b.low; });
    std::vector<Run> joined;
    for (const Run& run : runs) {
        if (!joined.empty() && joined.back().phase == run.phase && run.low <= joined.back().high + interval) {
            joined.back().high = std::max(joined.back().high, run.high);
        } else {
            joined.push_back(run);
        }
    }
    return joined;
}

// How many distinct times of the runs come before `limit`.
std::size_t count_before(const std::vector<Run>& runs, seconds interval, Instant limit) {
    std::size_t count = 0;
    for (const Run& run : joined(runs, interval)) {
        if (run.low >= limit) continue;
        count += size_of(Run{run.phase, run.low, std::min(run.high, limit - seconds(1))}, interval);
    }
    return count;
}

// How far before the window patterns are looked at: long enough that their starts have fallen on
// every day a phase depends on (the days after which a day's length is again a multiple of the
// interval, times the days the schedule takes to come round) and through two years of the zone's
// changes; at most the 400 years after which the calendar itself comes round.
seconds lookback(const TriggerRule& rule) {
    constexpr std::int64_t day_length = 86400;
    const std::int64_t interval = rule.interval.count();
    const std::int64_t phase_days = interval / std::gcd(interval, day_length);
    std::int64_t cycle_days = 366;  // monthly schedules and a TimeTrigger
    if (rule.schedule == Schedule::daily) cycle_days = rule.days_interval;
    if (rule.schedule == Schedule::weekly) cycle_days = 7 * std::int64_t{rule.weeks_interval};
    const std::int64_t span = 2 * 366 + 2 * phase_days * cycle_days;
    return days(std::min<std::int64_t>(span, 146097));
}

// Appends the times of one trigger within [start, end], ascending: all of them, or at least the
// first max_count (0: all).
void add_rule_times(const TriggerRule& rule, LocalClock& zone, Instant start, Instant end, std::size_t max_count,
                    std::vector<Instant>& times) {
    const Instant horizon = rule.end ? std::min(end, instant_of(*rule.end, zone)) : end;
    if (horizon < start) return;
    if (rule.interval <= seconds(0)) {
        TriggerStarts starts(rule, zone, start, false, horizon);
        std::size_t found = 0;
        for (auto at = starts.next(); at && *at <= horizon; at = starts.next()) {
            if (*at < start) continue;
            times.push_back(*at);
            if (++found == max_count) break;
        }
        return;
    }
    const bool indefinite = !rule.duration;
    const seconds length = indefinite ? seconds(0) : *rule.duration;
    TriggerStarts starts(rule, zone, indefinite ? start : start - std::min(length, lookback(rule)), indefinite,
                         horizon);
    std::vector<Run> runs;
    std::size_t at_most = 0;  // times of the runs, those of several runs of a phase counted twice
    std::optional<Instant> current = starts.next();
    while (current && *current <= horizon) {
        const std::optional<Instant> following = starts.next();
        const Instant last = indefinite ? (following ? *following - seconds(1) : horizon) : *current + length;
        if (auto run = run_within(*current, rule.interval, std::max(start, *current), std::min(last, horizon))) {
            at_most += size_of(*run, rule.interval);
            runs.push_back(*run);
        }
        // Later patterns begin at `following`: once max_count times come before it, they add none
        // of the first max_count.
        if (max_count != 0 && following && *following > start && at_most >= max_count &&
            count_before(runs, rule.interval, *following) >= max_count)
            break;
        current = following;
    }
    const std::size_t first_of_rule = times.size();
    for (const Run& run : joined(std::move(runs), rule.interval)) {
        std::size_t count = size_of(run, rule.interval);
        if (max_count != 0) count = std::min(count, max_count);
        for (Instant time = run.low; count != 0; --count, time += rule.interval) times.push_back(time);
    }
    std::sort(times.begin() + static_cast<std::ptrdiff_t>(first_of_rule), times.end());
}

}  // namespace

TriggerRunTimes trigger_run_times(const TriggerRules& read, Instant start, Instant end, std::size_t max_count) {
    using namespace std::chrono;
    TriggerRunTimes result;
    result.has_time_triggers = read.has_time_triggers;
    // SYSTEMTIME's years, as GetRunTimes takes them: the calendar's arithmetic stays in range.
    start = std::max(start, Instant(sys_days(year(1601) / January / 1)));
    end = std::min(end, Instant(sys_days(year(30827) / December / 31)) + seconds(86399));
    if (end < start) return result;
    LocalClock zone;
    std::vector<Instant>& times = result.times;
    for (const TriggerRule& rule : read.rules) {
        const std::size_t first_of_rule = times.size();
        add_rule_times(rule, zone, start, end, max_count, times);
        std::inplace_merge(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(first_of_rule), times.end());
    }
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (max_count != 0 && times.size() > max_count) times.resize(max_count);
    return result;
}

}  // namespace winemu
