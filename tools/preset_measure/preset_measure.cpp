// Measures the default state and every factory preset, prints the numbers and draws the responses.
//   preset_measure [<png file>]
#include "PresetMeasure.h"
#include "ResponsePlot.h"

#include <cstdio>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: preset_measure [<png file>]\n");
        return 2;
    }
    try {
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
