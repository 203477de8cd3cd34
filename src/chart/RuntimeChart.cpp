#include "chart/RuntimeChart.h"

#include "settings/CatalogueText.h"
#include "settings/Log.h"

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <optional>
#include <vector>

namespace varnel {

namespace {

// The SVG's size in pixels, and its text size: readable when printed on half a page.
constexpr int kSvgWidth = 720;
constexpr int kSvgHeight = 400;
constexpr int kSvgPointSize = 10;
// The wizard's chart shares the dialog with the page's text and lists.
constexpr int kDialogPointSize = 7;

QString text(const I18N* messages, const char* key)
{
    return QString::fromLocal8Bit(catalogueText(messages, key, Missing::Empty));
}

QLineSeries* lineOf(const RuntimePicture::Series& points, const QString& name, const QPen& pen)
{
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPen(pen);
    series->setPointsVisible(true);
    for (const RuntimePicture::Point& point : points)
        series->append(point.load, point.value);
    return series;
}

QValueAxis* axisOf(const QString& title, double low, double high, const QFont& font)
{
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setTitleFont(font);
    axis->setLabelsFont(font);
    axis->setLabelFormat("%.0f");
    axis->setRange(low, std::max(high, low + 1.0));
    axis->applyNiceNumbers();
    return axis;
}

// Qt's notes while it starts for a console program (no runtime directory on a
// bare terminal, say) belong in the log, not among the program's own output.
void toLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    log() << message.toLocal8Bit().constData() << std::endl;
}

class MessagesToLog {
public:
    MessagesToLog() : previous(qInstallMessageHandler(toLog)) {}
    ~MessagesToLog() { qInstallMessageHandler(previous); }
    MessagesToLog(const MessagesToLog&) = delete;
    MessagesToLog& operator=(const MessagesToLog&) = delete;

private:
    QtMessageHandler previous;
};

} // namespace

std::unique_ptr<QChart> RuntimeChart::build(const RuntimePicture& picture, const I18N* messages,
                                            int pointSize, const char* afterKey)
{
    auto chart = std::make_unique<QChart>();
    QFont font = chart->font();
    font.setPointSize(pointSize);
    font.setBold(false);
    chart->setFont(font);
    chart->legend()->setFont(font);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    if (!picture.isScaled()) {
        chart->setTitleFont(font);
        chart->setTitle(text(messages, "msg.chart.unscaled"));
    }

    // The old table dashed in grey, the new one in the side panel's blue.
    QPen beforePen(QColor(128, 128, 128), 2, Qt::DashLine);
    QPen afterPen(QColor(0, 0, 136), 2);
    std::vector<QLineSeries*> lines{
        lineOf(picture.getBefore(), text(messages, "label.chart.before"), beforePen),
        lineOf(picture.getAfter(), text(messages, afterKey), afterPen)};

    double lowLoad = 0, highLoad = 1, highValue = 0;
    bool first = true;
    for (const RuntimePicture::Series* series : {&picture.getBefore(), &picture.getAfter()})
        for (const RuntimePicture::Point& point : *series) {
            lowLoad = first ? point.load : std::min(lowLoad, point.load);
            highLoad = first ? point.load : std::max(highLoad, point.load);
            highValue = std::max(highValue, point.value);
            first = false;
        }
    auto* loadAxis =
        axisOf(text(messages, picture.hasWatts() ? "label.chart.loadwatts" : "label.chart.loadpoint"),
               lowLoad, highLoad, font);
    auto* valueAxis =
        axisOf(text(messages, picture.isScaled() ? "label.chart.runtime" : "label.chart.tablevalue"), 0,
               highValue, font);
    chart->addAxis(loadAxis, Qt::AlignBottom);
    chart->addAxis(valueAxis, Qt::AlignLeft);
    for (QLineSeries* series : lines) {
        // No new table (a computation that failed): no line and no legend entry for it.
        if (series->count() == 0) {
            delete series;
            continue;
        }
        chart->addSeries(series);
        series->attachAxis(loadAxis);
        series->attachAxis(valueAxis);
    }
    return chart;
}

void RuntimeChart::show(QChartView& view, const RuntimePicture& picture, const I18N* messages,
                        const char* afterKey)
{
    // The view owns the chart it is given but lets go of the one it had.
    QChart* previous = view.chart();
    view.setChart(build(picture, messages, kDialogPointSize, afterKey).release());
    delete previous;
}

bool RuntimeChart::writeSvg(const RuntimePicture& picture, const I18N* messages, const std::string& path)
{
    // Only drawing into a file: no display is needed, so none is looked for.
    std::optional<MessagesToLog> messagesToLog;
    std::optional<QApplication> application;
    int argc = 1;
    char name[] = "varnel";
    char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        messagesToLog.emplace();
        application.emplace(argc, argv);
    }

    QByteArray svg;
    {
        QGraphicsScene scene;
        QChart* chart = build(picture, messages, kSvgPointSize).release();
        scene.addItem(chart);
        chart->setGeometry(0, 0, kSvgWidth, kSvgHeight);
        // The chart lays its axes out from posted events.
        QCoreApplication::sendPostedEvents();

        QBuffer buffer(&svg);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(QSize(kSvgWidth, kSvgHeight));
        generator.setViewBox(QRect(0, 0, kSvgWidth, kSvgHeight));
        generator.setTitle(text(messages, "label.chart.runtime"));
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        scene.render(&painter, QRectF(0, 0, kSvgWidth, kSvgHeight), QRectF(0, 0, kSvgWidth, kSvgHeight));
        painter.end();
    }

    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(svg) == svg.size() && file.flush();
}

} // namespace varnel
