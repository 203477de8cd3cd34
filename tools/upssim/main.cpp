// upssim: simulated UPS units for Varnel and its tests (see README).
#include "Simulator.h"
#include "SimulatorOptions.h"
#include "UnitFileParser.h"

#include <fstream>
#include <iostream>
#include <sstream>

using namespace varnel::upssim;

int main(int argc, char** argv)
{
    SimulatorOptions options;
    std::string error;
    if (!options.parse(argc, argv, error)) {
        std::cerr << "upssim: " << error << "\n" << SimulatorOptions::usage();
        return 2;
    }
    if (options.help) {
        std::cout << SimulatorOptions::usage();
        return 0;
    }
    std::ifstream in(options.unitFile, std::ios::binary);
    if (!in) {
        std::cerr << "upssim: cannot read the unit file " << options.unitFile << "\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<UnitConfig> units;
    UnitFileParser parser;
    if (!parser.parse(text.str(), units)) {
        std::cerr << "upssim: " << options.unitFile << ": " << parser.error() << "\n";
        return 1;
    }
    if (!Simulator::installSignalHandlers(error)) {
        std::cerr << "upssim: " << error << "\n";
        return 1;
    }
    Simulator simulator(options);
    if (!simulator.start(units, std::cout, error)) {
        std::cerr << "upssim: " << error << "\n";
        return 1;
    }
    simulator.run();
    return 0;
}
