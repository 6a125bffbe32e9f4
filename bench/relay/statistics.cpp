#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace relay_bench {

spread spread_of(std::vector<double> _values) {
    if (_values.empty()) {
        throw std::invalid_argument("spread of no values");
    }
    std::sort(_values.begin(), _values.end());
    const std::size_t middle = _values.size() / 2;
    const double median =
        _values.size() % 2 == 1 ? _values[middle] : (_values[middle - 1] + _values[middle]) / 2;
    return {median, _values.front(), _values.back()};
}

std::int64_t quantile(std::vector<std::int64_t> _values, double _fraction) {
    if (_values.empty()) {
        throw std::invalid_argument("quantile of no values");
    }
    const auto rank = std::size_t(std::ceil(_fraction * double(_values.size())));
    const std::size_t index = std::min(_values.size(), std::max<std::size_t>(rank, 1)) - 1;
    std::nth_element(_values.begin(), _values.begin() + std::ptrdiff_t(index), _values.end());
    return _values[index];
}

double slope(const std::vector<double>& _values) {
    if (_values.size() < 2) {
        throw std::invalid_argument("slope of fewer than two values");
    }
    const double count = double(_values.size());
    const double mean_index = (count - 1) / 2;
    double mean_value = 0;
    for (const double value : _values) {
        mean_value += value / count;
    }
    double covariance = 0;
    double variance = 0;
    for (std::size_t i = 0; i < _values.size(); ++i) {
        covariance += (double(i) - mean_index) * (_values[i] - mean_value);
        variance += (double(i) - mean_index) * (double(i) - mean_index);
    }
    return covariance / variance;
}

}  // namespace relay_bench
