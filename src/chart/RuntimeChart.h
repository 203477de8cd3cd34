#pragma once

#include "calc/RuntimePicture.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>
#include <vector>

class QPainter;

namespace varnel {

class I18N;

// A RuntimePicture drawn with Qt's own painting: the battery table before and
// after over the load, its texts from the message catalogue (which may be
// null: no texts then). The wizard shows the widget; varnelctl renders the
// same drawing into a file.
class RuntimeChart : public QWidget {
    Q_OBJECT
public:
    explicit RuntimeChart(QWidget* parent = nullptr);

    // afterKey names the second line (the values read back once a save has been checked).
    void setPicture(const RuntimePicture& picture, const I18N* messages,
                    const char* afterKey = "label.chart.after");

    // What a reader of the chart sees: the legend's entries (only lines that
    // are drawn), the axis titles and the note above the plot (may be empty).
    QStringList seriesNames() const;
    const QString& loadTitle() const { return content.loadTitle; }
    const QString& valueTitle() const { return content.valueTitle; }
    const QString& note() const { return content.note; }

    // Draws the picture into rect with the palette's colours and the font.
    void paint(QPainter& painter, const QRectF& rect, const QPalette& colours, const QFont& font) const;

    // Writes the chart into a file without a window: SVG for a name ending in
    // .svg (only where Qt Svg is built), PNG for any other. A program without a
    // QApplication gets one for the call, on the offscreen platform unless
    // QT_QPA_PLATFORM names another. False when the file cannot be written.
    static bool writeFile(const RuntimePicture& picture, const I18N* messages, const std::string& path);
    // True when writeFile can write SVG.
    static bool writesSvg();
    // Qt's offscreen platform for a program without a display, unless
    // QT_QPA_PLATFORM names another. On Windows that platform reads its fonts
    // from files in a folder of Qt's own, which no package has: it is pointed
    // at the system's fonts (QT_QPA_FONTDIR, if not set), or every text of the
    // chart would come out as boxes.
    static void useOffscreenPlatform();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The table held, a table the unit gets or gave back, and the runtime estimated from it.
    enum class Kind { held, table, estimate };
    struct Line {
        QString name;
        RuntimePicture::Series points;
        Kind kind = Kind::table;
    };
    struct Content {
        std::vector<Line> lines;
        QString loadTitle;
        QString valueTitle;
        QString note;
        double valueDivisor = 1.0; // 60 when the runtimes are drawn in minutes
    };
    Content content;
};

} // namespace varnel
