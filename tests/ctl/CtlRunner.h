#pragma once

#include "download/DataFileDownload.h"

#include <string>
#include <vector>

namespace varnel::test {

struct CtlResult {
    int code;
    std::string out;
    std::string err;
};

// One varnelctl command in this process, in the current directory.
CtlResult runCtl(std::vector<std::string> args, DataFileDownload::Ports ports = {});

// The shipped settings, messages and sample data file in the current
// directory; extra "key = value" lines are appended to the settings.
void installRunFiles(const std::string& extraSettings = "");

// The shipped English text of a message key.
std::string catalogueText(const char* key);

// The text cut at its line feeds.
std::vector<std::string> linesOf(const std::string& text);

} // namespace varnel::test
