// check_report.hpp: the driver's tally: one printed line per check, then "N passed, M failed".
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class CheckReport {
public:
    // Prints "ok" or "FAIL" with the check's name; a failure also prints what was seen.
    void check(bool ok, std::string_view name, const std::string& seen = {}) {
        if (ok) {
            ++passed_;
            std::printf("ok    %.*s\n", static_cast<int>(name.size()), name.data());
        } else {
            ++failed_;
            std::printf("FAIL  %.*s\n", static_cast<int>(name.size()), name.data());
            if (!seen.empty()) std::printf("      seen: %s\n", seen.c_str());
        }
        std::fflush(stdout);
    }

    // Prints the summary line and gives the process status: 0 only when every check passed.
    int finish() const {
        std::printf("%d passed, %d failed\n", passed_, failed_);
        std::fflush(stdout);
        return failed_ == 0 ? 0 : 1;
    }

private:
    int passed_ = 0;
    int failed_ = 0;
};
