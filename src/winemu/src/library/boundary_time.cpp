// boundary_time.cpp: an xs:dateTime of a definition read into its wall-clock time and offset.
#include "library/boundary_time.hpp"

namespace winemu {
namespace {

bool read_digits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
    if (text.size() < at + count) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool read_char(std::string_view text, std::size_t& at, char expected) {
    if (at >= text.size() || text[at] != expected) return false;
    ++at;
    return true;
}

}  // namespace

std::optional<BoundaryTime> read_boundary_time(std::string_view text) {
    using namespace std::chrono;
    std::size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!read_digits(text, at, 4, year) || !read_char(text, at, '-') || !read_digits(text, at, 2, month) ||
        !read_char(text, at, '-') || !read_digits(text, at, 2, day) || !read_char(text, at, 'T') ||
        !read_digits(text, at, 2, hour) || !read_char(text, at, ':') || !read_digits(text, at, 2, minute) ||
        !read_char(text, at, ':') || !read_digits(text, at, 2, second))
        return std::nullopt;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    BoundaryTime time{local_days(date) + hours(hour) + minutes(minute) + seconds(second), std::nullopt};
    if (read_char(text, at, '.')) {
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) time.past_second |= text[at] != '0';
    }
    if (read_char(text, at, 'Z')) {
        time.offset = seconds(0);
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        int offset_hours = 0, offset_minutes = 0;
        if (!read_digits(text, at, 2, offset_hours) || !read_char(text, at, ':') ||
            !read_digits(text, at, 2, offset_minutes))
            return std::nullopt;
        time.offset = seconds(sign * (offset_hours * 3600 + offset_minutes * 60));
    }
    if (at != text.size()) return std::nullopt;
    return time;
}

}  // namespace winemu
