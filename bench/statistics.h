#pragma once

#include <vector>

// The summaries the figures use.
double median(std::vector<double> values);
double minimum(const std::vector<double> &values);
double maximum(const std::vector<double> &values);
