// Measures bypass, the default state and every factory preset against bypass, prints the numbers
// and draws the responses; or fits a preset file's band levels to a wanted response.
//   preset_measure [<png file>]
//   preset_measure --fit <preset file> [<Hz>:<dB> ...]
#include "Fit.h"
#include "PresetMeasure.h"
#include "ResponsePlot.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: preset_measure [<png file>]\n"
                         "       preset_measure --fit <preset file> [<Hz>:<dB> ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc >= 3 && std::string(argv[1]) == "--fit") {
            std::vector<presetmeasure::TargetPoint> target;
            for (int i = 3; i < argc; ++i) {
                double hz = 0, dB = 0;
                char rest = 0;
                if (std::sscanf(argv[i], "%lf:%lf%c", &hz, &dB, &rest) != 2 || !(hz > 0) ||
                    (!target.empty() && hz <= target.back().hz)) {
                    std::fprintf(stderr, "preset_measure: '%s' is not <Hz>:<dB> above the point before\n",
                                 argv[i]);
                    return usage();
                }
                target.push_back({hz, dB});
            }
            presetmeasure::fitLevels(argv[2], target, std::cout);
            return 0;
        }
        if (argc > 2 || (argc == 2 && argv[1][0] == '-')) return usage();
        const auto measurements = presetmeasure::PresetMeter().measureFactoryPresets();
        presetmeasure::printReport(std::cout, measurements);
        std::string error;
        if (argc == 2 && !presetmeasure::drawResponses(measurements, argv[1], &error)) {
            std::fprintf(stderr, "preset_measure: %s\n", error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "preset_measure: %s\n", e.what());
        return 1;
    }
    return 0;
}
