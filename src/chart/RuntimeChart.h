#pragma once

#include "calc/RuntimePicture.h"

#include <memory>
#include <string>

class QChart;
class QChartView;

namespace varnel {

class I18N;

// A RuntimePicture as a Qt chart: the runtime before and after over the load,
// its texts from the message catalogue (which may be null: no texts then).
class RuntimeChart {
public:
    // pointSize is the size of every text in the chart; afterKey names the
    // second line in the legend (the values read back once a save has been checked).
    static std::unique_ptr<QChart> build(const RuntimePicture& picture, const I18N* messages, int pointSize,
                                         const char* afterKey = "label.chart.after");
    // Puts a new chart of the picture into the view and deletes the one it showed.
    static void show(QChartView& view, const RuntimePicture& picture, const I18N* messages,
                     const char* afterKey = "label.chart.after");
    // Renders the chart into an SVG file without a window; a program without a
    // QApplication gets one for the call, on the offscreen platform unless
    // QT_QPA_PLATFORM names another. False when the file cannot be written.
    static bool writeSvg(const RuntimePicture& picture, const I18N* messages, const std::string& path);
};

} // namespace varnel
