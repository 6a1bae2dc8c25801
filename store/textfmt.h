// Text forms of numbers as the grids show them.
#pragma once
#include <cstdio>
#include <string>

namespace k3 {

// A double in its shortest form with at most 15 significant digits: 2.5, 1.66666666666667.
inline std::string formatDouble(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// A single-precision value with at most 7 significant digits: 0.4166667, 2.333333.
inline std::string formatSingle(float v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
    return buf;
}

// Two decimals, as the analysis tables show rates and averages: 55.56.
inline std::string fixed2(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

}  // namespace k3
