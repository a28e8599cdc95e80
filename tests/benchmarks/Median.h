#pragma once

#include <algorithm>
#include <vector>

// The middle value of a benchmark's runs (the upper middle for an even count).
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
