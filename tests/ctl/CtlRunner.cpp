#include "CtlRunner.h"

#include "ctl/VarnelCtl.h"
#include "settings/PropertiesFile.h"
#include "support/TestSupport.h"

#include <sstream>

namespace varnel::test {

CtlResult runCtl(std::vector<std::string> args, DataFileDownload::Ports ports)
{
    args.insert(args.begin(), "varnelctl");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    std::ostringstream out, err;
    VarnelCtl ctl(out, err);
    ctl.setServerPorts(ports);
    const int code = ctl.run(static_cast<int>(argv.size()), argv.data());
    return {code, out.str(), err.str()};
}

void installRunFiles(const std::string& extraSettings)
{
    for (const char* name : {"varnelstrings.en", "sample-batterydata.xml"})
        writeFile(name, readFile(distFile(name)));
    writeFile("varnel.ini", readFile(distFile("varnel.ini")) + "\n" + extraSettings + "\n");
}

std::string catalogueText(const char* key)
{
    static const PropertiesFile catalogue(distFile("varnelstrings.en").string().c_str());
    return catalogue.get(key, "");
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace varnel::test
