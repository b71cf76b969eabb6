#pragma once

#include <vector>

// The two summaries every figure uses.
double median(std::vector<double> values);
double maximum(const std::vector<double> &values);
