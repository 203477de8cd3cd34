#include "chart/RuntimeChart.h"

#include "settings/CatalogueText.h"
#include "settings/Log.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#ifdef VARNEL_CHART_SVG
#include <QSvgGenerator>
#endif

#include <algorithm>
#include <cmath>
#include <optional>

namespace varnel {

namespace {

// A written chart's size in pixels and its text size: readable when printed on half a page.
constexpr int kFileWidth = 720;
constexpr int kFileHeight = 400;
constexpr int kFilePointSize = 10;
// PNG pixels per chart pixel: sharp on a screen at 200 %.
constexpr qreal kFilePixelRatio = 2.0;
// Runtimes above this many seconds read better in minutes.
constexpr double kMinutesFrom = 600.0;

QString text(const I18N* messages, const char* key)
{
    return QString::fromLocal8Bit(catalogueText(messages, key, Missing::Empty));
}

QColor mix(const QColor& a, const QColor& b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

// Ticks at 1, 2 or 5 times a power of ten, about `wanted` of them over [low, high].
struct Scale {
    double low;
    double high;
    double step;
};

Scale niceScale(double low, double high, int wanted)
{
    if (high <= low)
        high = low + 1.0;
    const double rough = (high - low) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

QString tickText(double value, double step)
{
    return QString::number(value, 'f', step < 1.0 ? 1 : 0);
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

// A written chart is read on paper or in a browser: light, whatever the desktop's colours.
QPalette filePalette()
{
    QPalette colours;
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    colours.setColor(QPalette::Highlight, QColor(0, 0, 136));
    return colours;
}

} // namespace

RuntimeChart::RuntimeChart(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RuntimeChart::setPicture(const RuntimePicture& picture, const I18N* messages, const char* afterKey)
{
    Content next;
    // No new table (a computation that failed): no line and no legend entry for it.
    if (!picture.getBefore().empty())
        next.lines.push_back({text(messages, "label.chart.before"), picture.getBefore(), Kind::held});
    if (!picture.getAfter().empty())
        next.lines.push_back({text(messages, afterKey), picture.getAfter(), Kind::table});
    const bool estimated = !picture.getEstimate().empty();
    if (estimated)
        next.lines.push_back(
            {QString::fromLocal8Bit(catalogueFormat(messages, "label.chart.estimate",
                                                    {picture.getEstimateBatteries()}, Missing::Empty)),
             picture.getEstimate(), Kind::estimate});

    double highest = 0;
    for (const Line& line : next.lines)
        for (const RuntimePicture::Point& point : line.points)
            highest = std::max(highest, point.value);
    next.loadTitle = text(messages, picture.hasWatts() ? "label.chart.loadwatts" : "label.chart.loadpoint");
    if (!picture.isScaled()) {
        next.valueTitle = text(messages, "label.chart.tablevalue");
        next.note = text(messages, "msg.chart.unscaled");
    } else if (highest >= kMinutesFrom) {
        next.valueTitle =
            text(messages, estimated ? "label.chart.estimateminutes" : "label.chart.runtimeminutes");
        next.valueDivisor = 60.0;
    } else {
        next.valueTitle =
            text(messages, estimated ? "label.chart.estimateseconds" : "label.chart.runtimeseconds");
    }
    // The same pack type as the unit's own gives the same table for one pack or
    // nine: the unit learns of the packs from the external battery count alone.
    if (next.note.isEmpty() && !picture.getBefore().empty() && picture.getBefore() == picture.getAfter())
        next.note = text(messages, "msg.chart.unchanged");
    content = std::move(next);
    update();
}

QStringList RuntimeChart::seriesNames() const
{
    QStringList names;
    for (const Line& line : content.lines)
        names << line.name;
    return names;
}

void RuntimeChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, rect(), palette(), font());
}

void RuntimeChart::paint(QPainter& painter, const QRectF& rect, const QPalette& colours,
                         const QFont& font) const
{
    const QColor background = colours.color(QPalette::Base);
    const QColor ink = colours.color(QPalette::Text);
    const QColor grid = mix(background, ink, 0.15);
    // The old table dashed, half-way between ink and paper; the new one in the
    // highlight colour; the estimate dotted, in the highlight's opposite hue.
    const QColor highlight = colours.color(QPalette::Highlight);
    QColor opposite = highlight.toHsv();
    opposite.setHsv((std::max(0, opposite.hue()) + 180) % 360, std::max(opposite.saturation(), 160),
                    opposite.value());
    auto lineColour = [&](Kind kind) {
        return kind == Kind::held ? mix(background, ink, 0.55) : kind == Kind::table ? highlight : opposite;
    };

    painter.save();
    painter.fillRect(rect, background);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    const double gap = std::max(2.0, line / 4);
    const double penWidth = std::max(1.0, line / 8);
    QRectF area = rect.adjusted(gap, gap, -gap, -gap);

    painter.setPen(ink);
    if (!content.note.isEmpty()) {
        const QRectF noteBox(area.left(), area.top(), area.width(), line);
        painter.drawText(noteBox, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(content.note, Qt::ElideRight, area.width()));
        area.setTop(area.top() + line + gap);
    }

    // The legend at the right, one entry a line, a short stroke before each name.
    const double swatch = 2 * line;
    double legendWidth = 0;
    for (const Line& entry : content.lines)
        legendWidth = std::max(legendWidth, metrics.horizontalAdvance(entry.name));
    if (legendWidth > 0)
        legendWidth += swatch + 2 * gap;
    const QRectF legend(area.right() - legendWidth, area.top(), legendWidth, area.height());
    area.setRight(legend.left() - gap);

    double lowLoad = 0, highLoad = 1, highValue = 0;
    bool first = true;
    for (const Line& entry : content.lines)
        for (const RuntimePicture::Point& point : entry.points) {
            lowLoad = first ? point.load : std::min(lowLoad, point.load);
            highLoad = first ? point.load : std::max(highLoad, point.load);
            highValue = std::max(highValue, point.value / content.valueDivisor);
            first = false;
        }
    const Scale loads = niceScale(lowLoad, highLoad, 5);
    const Scale values = niceScale(0, highValue, 4);

    // Room for the value title (turned upright), the value ticks, the load ticks and the load title.
    double tickWidth = 0;
    for (double value = values.low; value <= values.high + values.step / 2; value += values.step)
        tickWidth = std::max(tickWidth, metrics.horizontalAdvance(tickText(value, values.step)));
    const QRectF plot(area.left() + line + gap + tickWidth + gap, area.top() + line / 2,
                      area.width() - (line + 2 * gap + tickWidth) - metrics.horizontalAdvance("0") / 2,
                      area.height() - line / 2 - 2 * line - gap);
    if (plot.width() < 4 * line || plot.height() < 2 * line) {
        painter.restore();
        return;
    }
    auto x = [&](double load) {
        return plot.left() + (load - loads.low) / (loads.high - loads.low) * plot.width();
    };
    auto y = [&](double value) {
        return plot.bottom() - (value - values.low) / (values.high - values.low) * plot.height();
    };

    for (double value = values.low; value <= values.high + values.step / 2; value += values.step) {
        painter.setPen(QPen(grid, penWidth / 2));
        painter.drawLine(QPointF(plot.left(), y(value)), QPointF(plot.right(), y(value)));
        painter.setPen(ink);
        painter.drawText(QRectF(plot.left() - gap - tickWidth, y(value) - line / 2, tickWidth, line),
                         Qt::AlignRight | Qt::AlignVCenter, tickText(value, values.step));
    }
    for (double load = loads.low; load <= loads.high + loads.step / 2; load += loads.step) {
        painter.setPen(QPen(grid, penWidth / 2));
        painter.drawLine(QPointF(x(load), plot.top()), QPointF(x(load), plot.bottom()));
        painter.setPen(ink);
        const QString label = tickText(load, loads.step);
        const double width = metrics.horizontalAdvance(label);
        painter.drawText(QRectF(x(load) - width, plot.bottom() + gap / 2, 2 * width, line), Qt::AlignCenter,
                         label);
    }
    painter.setPen(QPen(ink, penWidth / 2));
    painter.drawRect(plot);
    painter.drawText(QRectF(plot.left(), plot.bottom() + line + gap / 2, plot.width(), line), Qt::AlignCenter,
                     content.loadTitle);
    painter.save();
    painter.translate(area.left(), plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2 - line, 0, plot.height() + 2 * line, line), Qt::AlignCenter,
                     metrics.elidedText(content.valueTitle, Qt::ElideRight, plot.height() + 2 * line));
    painter.restore();

    for (std::size_t index = 0; index < content.lines.size(); ++index) {
        const Line& entry = content.lines[index];
        const bool held = entry.kind == Kind::held;
        QPen pen(lineColour(entry.kind), held ? penWidth : 1.5 * penWidth,
                 entry.kind == Kind::table ? Qt::SolidLine
                 : held                    ? Qt::DashLine
                                           : Qt::DotLine);
        pen.setCapStyle(Qt::FlatCap);
        QPainterPath path;
        for (const RuntimePicture::Point& point : entry.points) {
            const QPointF at(x(point.load), y(point.value / content.valueDivisor));
            if (path.elementCount() == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.setBrush(pen.color());
        painter.setPen(Qt::NoPen);
        for (const RuntimePicture::Point& point : entry.points)
            painter.drawEllipse(QPointF(x(point.load), y(point.value / content.valueDivisor)), 1.5 * penWidth,
                                1.5 * penWidth);

        const double top = legend.top() + static_cast<double>(index) * (line + gap) + line / 2;
        painter.setPen(pen);
        painter.drawLine(QPointF(legend.left() + gap, top), QPointF(legend.left() + gap + swatch * 0.8, top));
        painter.setPen(ink);
        painter.drawText(QRectF(legend.left() + gap + swatch, top - line / 2, legend.width(), line),
                         Qt::AlignLeft | Qt::AlignVCenter, entry.name);
    }
    painter.restore();
}

void RuntimeChart::useOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR") && !qEnvironmentVariableIsEmpty("WINDIR"))
        qputenv("QT_QPA_FONTDIR", (qEnvironmentVariable("WINDIR") + QLatin1String("\\Fonts")).toLocal8Bit());
#endif
}

bool RuntimeChart::writesSvg()
{
#ifdef VARNEL_CHART_SVG
    return true;
#else
    return false;
#endif
}

bool RuntimeChart::writeFile(const RuntimePicture& picture, const I18N* messages, const std::string& path)
{
    // Only drawing into a file: no display is needed, so none is looked for.
    std::optional<MessagesToLog> messagesToLog;
    std::optional<QApplication> application;
    int argc = 1;
    char name[] = "varnel";
    char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        useOffscreenPlatform();
        messagesToLog.emplace();
        application.emplace(argc, argv);
    }

    RuntimeChart chart;
    chart.setPicture(picture, messages);
    QFont font = chart.font();
    font.setPointSize(kFilePointSize);
    const QRectF area(0, 0, kFileWidth, kFileHeight);
    const QString fileName = QString::fromLocal8Bit(path.c_str());

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const bool svg = fileName.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
    // PNG bytes under an SVG name would open as a broken picture.
    if (svg && !writesSvg())
        return false;
#ifdef VARNEL_CHART_SVG
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(QSize(kFileWidth, kFileHeight));
        generator.setViewBox(area);
        generator.setTitle(chart.valueTitle());
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        chart.paint(painter, area, filePalette(), font);
        painter.end();
    } else
#endif
    {
        QImage image(QSize(kFileWidth, kFileHeight) * kFilePixelRatio, QImage::Format_RGB32);
        image.setDevicePixelRatio(kFilePixelRatio);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        chart.paint(painter, area, filePalette(), font);
        painter.end();
        if (!image.save(&buffer, "PNG"))
            return false;
    }

    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace varnel
