#pragma once

#include <array>
#include <string_view>

namespace varnel {

// A key of the message catalogue and the arguments its text takes as a format:
// one letter each, in order, 'u' for a number and 's' for a text; none for a
// text shown as it stands. A message file in another language keeps these.
struct MessageKey {
    std::string_view name;
    std::string_view arguments;
};

// Every key the program looks up, and no other: a shipped message file has a
// text for each of them and nothing else. A key new in the code comes here too.
inline constexpr auto messageKeys = std::to_array<MessageKey>({
    // The wizard's pages, in the order they show them.
    {"label.techsupport", ""},
    {"label.welcome", ""},
    {"label.httpdownload", ""},
    {"label.uselocalfile", ""},
    {"label.page2", ""},
    {"msg.alreadyhavefile", ""},
    {"label.skipfiledownload", ""},
    {"label.unabletocontinue", ""},
    {"label.parsingfile", ""},
    {"msg.parsefailed", ""},
    {"label.fileparsed", "ss"},
    {"label.page3", ""},
    {"label.currentdevice", ""},
    {"label.discoveragain", ""},
    {"label.askdiscoveragain", ""},
    {"label.skipdiscovery", ""},
    {"label.discoverdevices", ""},
    {"msg.nodevices", ""},
    {"label.discoveredonedevice", ""},
    {"label.discoveredmultipledevices", ""},
    {"label.postdiscover", ""},
    {"label.page4", ""},
    {"label.currentinternalbatteries", ""},
    {"label.currentexternalbatteries", ""},
    {"label.selectpacks", ""},
    {"label.batterypacknotlisted", ""},
    {"label.page5", ""},
    {"label.determinebatterypacks", ""},
    {"label.calculatingbatteryruntime", ""},
    {"msg.begincalculations", ""},
    {"msg.calculationserror", ""},
    {"msg.calculationscomplete", ""},
    {"label.savingchanges", ""},
    {"msg.updatecomplete", ""},
    {"msg.updatefailed", ""},
    {"msg.beginvalidation", ""},
    {"msg.validated", ""},
    {"msg.notvalidated", ""},
    {"label.done", ""},
    // The backup before every save, and writing it back when a save fails.
    {"msg.backupwritten", "s"},
    {"msg.backupfailed", "ss"},
    {"msg.restorequestion", "s"},
    {"msg.restoring", ""},
    {"msg.restored", ""},
    {"msg.restorefailed", ""},
    {"msg.restoredeclined", "s"},
    // Getting the data file.
    {"label.configurehttp", ""},
    {"label.connecthttp", ""},
    {"label.configureftp", ""},
    {"label.connectftp", ""},
    {"label.loginftp", ""},
    {"label.downloading", ""},
    {"label.selectlocalblurb", ""},
    {"msg.noserveraddress", ""},
    {"msg.failedconnect", ""},
    {"msg.failedlogin", ""},
    {"msg.faileddownload", ""},
    {"msg.failedsave", ""},
    {"msg.filedownloaded", ""},
    {"msg.nofileselected", ""},
    // Scanning the ports, and checking an update by reading the unit back.
    {"label.scanusb", ""},
    {"label.scanserial", ""},
    {"msg.portlibrarymissing", "s"},
    {"label.devicediscovered", ""},
    {"msg.validatefailed.open", ""},
    {"msg.validatefailed.nodevice", ""},
    {"msg.validatefailed.batterytablesize", ""},
    {"msg.validatefailed.ctablesize", ""},
    {"msg.validatefailed.ctablehighb", ""},
    {"msg.validatefailed.externalbatterycount", ""},
    {"msg.validatefailed.batteryvalue", "u"},
    {"msg.validatefailed.ctablevalue", "u"},
    {"msg.validatefailed.unit", ""},
    {"msg.unitchanged", "s"},
    // The device classes, when a unit answered.
    {"msg.foundandloading", ""},
    {"msg.changinganswers", "s"},
    // Working out the configuration.
    {"msg.nointernalbatteries", ""},
    {"msg.noexternalbatteries", ""},
    {"label.computedruntimevalues", ""},
    {"msg.ctablevalues", ""},
    {"msg.chightablevalue", ""},
    {"msg.internalbatteries", "us"},
    {"msg.externalbatteries", "us"},
    {"msg.batterytypenotfound", "u"},
    {"msg.nobatteries", ""},
    {"msg.externalcounttoolarge", "uu"},
    // Interpolating and scaling the runtimes.
    {"msg.singlebatterytype", ""},
    {"msg.interpolating", ""},
    {"label.noninterpolatedvalues", ""},
    {"label.interpolatedvalues", ""},
    {"label.interpolatedtimes", ""},
    {"msg.noruntimeentry", "u"},
    {"msg.nowattagetable", "u"},
    {"msg.wattagetablemismatch", "uu"},
    {"msg.nowattageentry", "u"},
    {"msg.zerowattage", "u"},
    {"msg.noscalartable", "u"},
    {"msg.noscalarentry", "u"},
    {"msg.zeroscalar", "u"},
    {"msg.badscaledvalue", "uuu"},
    // The runtime chart of pages 4 and 5 and of varnelctl's plan.
    {"label.chart.before", ""},
    {"label.chart.after", ""},
    {"label.chart.readback", ""},
    {"label.chart.loadwatts", ""},
    {"label.chart.loadpoint", ""},
    {"label.chart.runtimeseconds", ""},
    {"label.chart.runtimeminutes", ""},
    {"label.chart.tablevalue", ""},
    {"msg.chart.unscaled", ""},
    {"msg.chart.notwritten", ""},
    {"msg.chart.unchanged", ""},
    {"label.chart.estimate", "u"},
    {"label.chart.estimateseconds", ""},
    {"label.chart.estimateminutes", ""},
    // varnelctl's own wordings, where the pages' read oddly on a terminal.
    {"msg.ctl.unabletocontinue", ""},
    {"msg.ctl.parsefailed", ""},
    {"msg.ctl.fileparsed", "ss"},
    {"msg.ctl.nodevices", ""},
    {"msg.ctl.discoveredmultipledevices", ""},
    {"msg.ctl.plotwritten", "s"},
    {"msg.ctl.plotfailed", "s"},
    {"msg.ctl.backupunreadable", "s"},
    {"msg.ctl.backupbadfield", "ss"},
    {"msg.ctl.backupotherunit", "ss"},
});

} // namespace varnel
