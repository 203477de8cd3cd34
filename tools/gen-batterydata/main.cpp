// Writes a valid battery data file of any size for benchmarks and property tests.
// Usage: gen-batterydata OUT [--types N] [--packs M] [--mb SIZE] [--seed S] [--wattage-index W]
// With --wattage-index every type is measured against wattage table W, so any
// mix of types can be combined for a unit that selects W.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

namespace {

constexpr int kRows = 20;
constexpr int kCTable = 9;
constexpr int kTables = 4;

void writeType(std::ofstream& out, std::mt19937& rng, uint32_t type, int wattageIndex)
{
    // Row 0 over the smallest scalar still fits in a byte.
    std::uniform_int_distribution<uint32_t> base(100, 3000);
    uint32_t runtime = base(rng);
    out << "    <BatteryTable typeIndex=\"" << type << "\" typeSize=\"" << (1 + rng() % 40)
        << "\" batteryWattageIndex=\""
        << (wattageIndex >= 0 ? static_cast<uint32_t>(wattageIndex) : rng() % kTables)
        << "\" typeName=\"Type " << type << "\" partNumber=\"BT-" << type << "\">\n";
    for (int r = 0; r < kRows; ++r) {
        out << "      <Runtime rowIndex=\"" << r << "\" time=\"" << runtime << "\"/>\n";
        runtime = runtime * 3 / 4 + 1;
    }
    for (int i = 1; i <= kCTable; ++i) {
        out << "      <CTableValue index=\"" << i << "\" value=\"" << (rng() % 256) << "\"/>\n";
    }
    out << "      <CTableHighB>" << (1 + rng() % 9) << "</CTableHighB>\n    </BatteryTable>\n";
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Writes a valid battery data file of any size.", "gen-batterydata"};
    std::string path;
    uint32_t types = 3;
    uint32_t packs = 6;
    double mb = 0;
    uint32_t seed = 1;
    int wattageIndex = -1;
    app.add_option("OUT", path, "the data file to write")->type_name("")->required();
    app.add_option("--types", types, "battery types (at least 1)")->type_name("N")->capture_default_str();
    app.add_option("--packs", packs, "battery packs, more while the file is below --mb")
        ->type_name("M")
        ->capture_default_str();
    app.add_option("--mb", mb, "size the packs fill the file up to, in MiB")
        ->type_name("SIZE")
        ->capture_default_str();
    app.add_option("--seed", seed, "seed of every random value: the same seed, the same file")
        ->type_name("S")
        ->capture_default_str();
    uint32_t wattageTable = 0;
    auto* wattage = app.add_option("--wattage-index", wattageTable,
                                   "every type measured against wattage table W (modulo 4)")
                        ->type_name("W");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << "gen-batterydata: " << error.what() << "\n" << app.help();
        return 2;
    }
    if (wattage->count() > 0)
        wattageIndex = static_cast<int>(wattageTable % kTables);
    types = types == 0 ? 1 : types;
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        std::cerr << "cannot write " << path << "\n";
        return 1;
    }
    std::mt19937 rng(seed);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ExternalBatteryPack>\n"
           "  <Version number=\"9.9.9\" date=\"2026-12-01\"/>\n";
    for (int t = 0; t < kTables; ++t) {
        out << "  <FWScalarTable index=\"" << t << "\">\n";
        for (int r = 0; r < kRows; ++r) {
            out << "    <FWScalar rowIndex=\"" << r << "\" value=\"" << (12 + rng() % 16) << "\"/>\n";
        }
        out << "  </FWScalarTable>\n  <BatteryWattageTable index=\"" << t << "\">\n";
        for (int r = 0; r < kRows; ++r) {
            out << "    <Wattage rowIndex=\"" << r << "\" watts=\"" << (1 + rng() % 5000) << "\"/>\n";
        }
        out << "  </BatteryWattageTable>\n";
    }
    for (uint32_t t = 1; t <= types; ++t) {
        writeType(out, rng, t, wattageIndex);
    }
    // Packs fill up to the target size when one is given.
    const auto target = static_cast<std::streamoff>(mb * 1024 * 1024);
    // A pipe has no position to measure the size by, and a full disk never reaches it.
    if (target > 0 && out.tellp() < 0) {
        std::fprintf(stderr, "gen-batterydata: --mb needs a regular file to write to\n");
        return 2;
    }
    for (uint32_t p = 0; out && (p < packs || out.tellp() < target); ++p) {
        out << "  <BatteryPack batteryTypeIndex=\"" << (1 + rng() % types) << "\" numberOfBatteries=\""
            << (1 + rng() % 40) << "\" name=\"Pack " << p << "\" partNumber=\"EBP-" << p << "\"/>\n";
    }
    out << "</ExternalBatteryPack>\n";
    return out ? 0 : 1;
}
