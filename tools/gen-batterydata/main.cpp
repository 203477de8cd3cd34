// Writes a valid battery data file of any size for benchmarks and property tests.
// Usage: gen-batterydata OUT [--types N] [--packs M] [--mb SIZE] [--seed S] [--wattage-index W]
// With --wattage-index every type is measured against wattage table W, so any
// mix of types can be combined for a unit that selects W.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
        << "\" batteryWattageIndex=\"" << (wattageIndex >= 0 ? static_cast<uint32_t>(wattageIndex) : rng() % kTables) << "\" typeName=\"Type " << type
        << "\" partNumber=\"BT-" << type << "\">\n";
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT [--types N] [--packs M] [--mb SIZE] [--seed S] [--wattage-index W]\n", argv[0]);
        return 2;
    }
    uint32_t types = 3;
    uint32_t packs = 6;
    double mb = 0;
    uint32_t seed = 1;
    int wattageIndex = -1;
    for (int i = 2; i + 1 < argc; i += 2) {
        const unsigned long v = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--types") == 0) {
            types = static_cast<uint32_t>(v);
        } else if (std::strcmp(argv[i], "--packs") == 0) {
            packs = static_cast<uint32_t>(v);
        } else if (std::strcmp(argv[i], "--mb") == 0) {
            mb = std::strtod(argv[i + 1], nullptr);
        } else if (std::strcmp(argv[i], "--seed") == 0) {
            seed = static_cast<uint32_t>(v);
        } else if (std::strcmp(argv[i], "--wattage-index") == 0) {
            wattageIndex = static_cast<int>(v % kTables);
        }
    }
    types = types == 0 ? 1 : types;
    std::ofstream out(argv[1], std::ios::binary);
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
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
    for (uint32_t p = 0; p < packs || out.tellp() < target; ++p) {
        out << "  <BatteryPack batteryTypeIndex=\"" << (1 + rng() % types) << "\" numberOfBatteries=\""
            << (1 + rng() % 40) << "\" name=\"Pack " << p << "\" partNumber=\"EBP-" << p << "\"/>\n";
    }
    out << "</ExternalBatteryPack>\n";
    return out ? 0 : 1;
}
