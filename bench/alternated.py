"""The report of a bench that times two things in alternated rounds: the median time of each, then
the median of the rounds' ratios as the last line."""

import statistics


def report_times(rounds, first, second, ratio_name):
    """rounds: (first's seconds, second's seconds) per round."""
    first_time = statistics.median(one for one, _ in rounds)
    second_time = statistics.median(other for _, other in rounds)
    print(f"{first}: {first_time * 1e6:.2f} us, {second}: {second_time * 1e6:.2f} us")
    print(f"{ratio_name} (median of {len(rounds)} alternated rounds): "
          f"{statistics.median(one / other for one, other in rounds):.2f}")
