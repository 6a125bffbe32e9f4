#pragma once

#include <cstdint>
#include <vector>

namespace relay_bench {

// The middle of a set of figures and how far they spread.
struct spread {
    double median = 0;
    double min = 0;
    double max = 0;
};

// Of at least one value.
spread spread_of(std::vector<double> _values);

// The nearest-rank _fraction quantile (0.5 for the median, 0.99 for p99) of at least one
// value.
std::int64_t quantile(std::vector<std::int64_t> _values, double _fraction);

// The least-squares slope of _values against their index, for values sampled at a steady
// interval: their change per interval. Of at least two values.
double slope(const std::vector<double>& _values);

}  // namespace relay_bench
