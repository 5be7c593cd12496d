// SPDX-License-Identifier: GPL-3.0-or-later
// The spread of TCPUID's measured clock speed over ten creations on this
// machine, and its distance from the kernel's TSC frequency in parts per
// million.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cpuid/cpuid.h"
#include "kernel_clock.h"

using namespace cpuid;

namespace {

constexpr int kCreations = 10;

struct Reference {
    double mhz = 0;
    std::string source;
};

// The refined TSC calibration from the kernel log, else the detected TSC
// frequency, else the first "cpu MHz" of /proc/cpuinfo.
std::optional<Reference> kernelFigure() {
    if (auto mhz = kernelTscMhz()) return Reference{*mhz, "kernel log TSC calibration"};
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("cpu MHz", 0) == 0)
            return Reference{std::stod(line.substr(line.find(':') + 1)), "/proc/cpuinfo cpu MHz"};
    return std::nullopt;
}

double ppm(double value, double reference) { return (value - reference) / reference * 1e6; }

}  // namespace

int main() {
    auto registry = platform::cpuinfoRegistry();
    std::vector<double> speeds;
    for (int i = 0; i < kCreations; ++i) {
        TCPUID cpu(platform::realProcessor(), platform::systemClock(), *registry);
        speeds.push_back(cpu.ProcessorSpeed());
        std::printf("creation %2d: %.6f MHz\n", i + 1, speeds.back());
    }
    double min = speeds[0], max = speeds[0], sum = 0;
    for (double s : speeds) {
        min = std::min(min, s);
        max = std::max(max, s);
        sum += s;
    }
    double mean = sum / speeds.size();
    double squares = 0;
    for (double s : speeds) squares += (s - mean) * (s - mean);
    double stddev = std::sqrt(squares / (speeds.size() - 1));
    std::printf("ProcessorSpeed over %d creations: min %.6f  max %.6f  mean %.6f  stddev %.6f MHz (%.1f ppm)\n",
                kCreations, min, max, mean, stddev, stddev / mean * 1e6);

    auto reference = kernelFigure();
    if (!reference) {
        std::printf("the kernel gives no clock figure to compare with\n");
        return 0;
    }
    std::printf("kernel figure (%s): %.3f MHz\n", reference->source.c_str(), reference->mhz);
    std::printf("difference: mean %+.1f ppm  min %+.1f ppm  max %+.1f ppm\n", ppm(mean, reference->mhz),
                ppm(min, reference->mhz), ppm(max, reference->mhz));
    return 0;
}
