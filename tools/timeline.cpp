#include "timeline.h"

#include "rulewindows.h"
#include "schedule.h"
#include "walltime.h"

#include <algorithm>
#include <cmath>
#include <numeric>

using SchedctlRules::PreviewLine;
using SchedctlTime::shown;

namespace {

// Lanes keep one height however many there are: the picture grows, the page
// scrolls, and labels never crowd.
constexpr double kLaneHeight = 22;
constexpr double kGroupHeight = 24;
constexpr double kMargin = 16;
// Where the plot begins, below the title, the legend and the time axis.
constexpr double kPlotTop = 104;
// The plot is never narrower than a wide screen, and gives a day at least
// this much: 31 days of firings every 6 hours keep their marks 24 px apart.
constexpr double kMinPlotWidth = 1344;
constexpr double kMinDayWidth = 96;
// A generous advance of one character of the 12 px labels: columns sized by
// it leave room for every label, and a label too long for the widest column
// is cut with an ellipsis, its whole text in its tooltip.
constexpr double kCharWidth = 7.2;
constexpr double kMinLabelWidth = 120;
constexpr double kMaxLabelWidth = 320;
// Time labels stand at least this far apart: "hh:mm" needs 32 px, "hh:mm:ss" 50.
constexpr double kMinTickSpacing = 44;
constexpr double kMinSecondsTickSpacing = 60;
constexpr double kAxisCharWidth = 6.2; // of the 11 px time labels
// The steps between time labels, in seconds; the first wide enough is used.
constexpr int kTickSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                              600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
constexpr int kSecondsPerDay = 86400;

const char *const kMarkIds[] = {"o", "f", "t"}; // by Timeline::Mark

// How each thing is drawn within a lane (y counts from the lane's top), in
// colours told apart by every common kind of colour blindness. Windows are
// light tints of their marks' colours and share the lane, triggers' above
// fallbacks'; an exclusion hatches the whole lane and lets them show through.
const char kTriggerWindow[] = "y=\"3\" height=\"8\" fill=\"#cfe4f3\"";
const char kFallbackWindow[] = "y=\"11\" height=\"8\" fill=\"#f8dcc7\"";
const char kExclusion[] = "y=\"0\" height=\"22\" fill=\"url(#hatch)\"";
const char kDayRule[] = "stroke=\"#5a5a5a\" stroke-width=\"1\"";
const char kClockRule[] = "stroke=\"#cc79a7\" stroke-width=\"2\" stroke-dasharray=\"5 3\"";
const char kGrid[] = "stroke=\"#e4e4e4\" stroke-width=\"1\"";
const char kGroupBand[] = "#e8edf2";
const char kStripe[] = "#f6f6f6";
const char kQuiet[] = "#666666";

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// `text`, cut with an ellipsis to what fits in `width` px.
QString fitted(const QString &text, double width)
{
    const int fits = std::max(1, int(width / kCharWidth));
    return text.size() <= fits ? text : text.left(fits - 1) + QChar(0x2026);
}

double textWidth(const QString &text)
{
    return double(text.size()) * kCharWidth;
}

// The local midnights strictly inside (from, end).
QList<QDateTime> dayStarts(const QDateTime &from, const QDateTime &end)
{
    QList<QDateTime> starts;
    for (QDate day = from.date().addDays(1); day <= end.date(); day = day.addDays(1)) {
        const QDateTime start = Orvel::WallTime::at(day, QTime(0, 0));
        if (start > from && start < end)
            starts.append(start);
    }
    return starts;
}

// The wall-clock times in [from, end) that are whole multiples of `step`
// seconds of their day; a time the clock skips is the end of the gap.
QList<QDateTime> ticks(const QDateTime &from, const QDateTime &end, int step)
{
    QList<QDateTime> found;
    const int startOfRange = from.time().msecsSinceStartOfDay();
    for (QDate day = from.date(); day <= end.date(); day = day.addDays(1)) {
        const int first =
            day == from.date() ? int(std::ceil(startOfRange / 1000.0 / step)) * step : 0;
        for (int second = first; second < kSecondsPerDay; second += step) {
            const QDateTime tick = Orvel::WallTime::at(day, QTime(0, 0).addSecs(second));
            if (tick >= end)
                return found;
            if (tick >= from && (found.isEmpty() || tick > found.last()))
                found.append(tick);
        }
    }
    return found;
}

// "trigger 1: every day 01:00 window, Mon ... to Mon ...".
QString bandTitle(const RuleWindows::Span &span, const QString &title)
{
    return title + QStringLiteral(", ") + shown(span.start) + QStringLiteral(" to ") +
           shown(span.end);
}

} // namespace

Timeline::Timeline(quint32 ruleSet, const QDateTime &from, const QDateTime &end,
                   const QList<Schedule> &schedules,
                   const std::vector<SchedctlRules::ScheduleFacts> &facts,
                   const QList<PreviewLine> &lines)
    : m_ruleSet(ruleSet)
    , m_from(from)
    , m_end(end)
    , m_facts(facts)
    , m_lines(lines)
{
    QList<int> order(schedules.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&facts](int a, int b) {
        const auto &left = facts.at(size_t(a));
        const auto &right = facts.at(size_t(b));
        return std::tie(left.policy, left.name) < std::tie(right.policy, right.name);
    });
    m_positionOf = QList<int>(schedules.size(), -1);
    double longestLabel = 0;
    double longestManual = 0;
    for (int position : order) {
        const Schedule &schedule = schedules.at(position);
        const SchedctlRules::ScheduleFacts &fact = facts.at(size_t(position));
        if (m_laneList.isEmpty() ||
            facts.at(size_t(m_laneList.last().schedule)).policy != fact.policy)
            m_groupStarts.append(int(m_laneList.size()));
        m_positionOf[position] = int(m_laneList.size());
        Lane lane;
        lane.schedule = position;
        QStringList manual;
        for (const QString &name : schedule.manualTriggerNames())
            manual << QLatin1Char('"') + name + QLatin1Char('"');
        lane.manual = manual.join(QLatin1String(", "));
        addWindows(lane, schedule);
        m_laneList.append(lane);
        longestLabel =
            std::max({longestLabel, textWidth(fact.name) + 10, textWidth(fact.policy) * 1.1});
        longestManual = std::max(longestManual, textWidth(lane.manual));
    }
    m_labelWidth = std::clamp(longestLabel + 16, kMinLabelWidth, kMaxLabelWidth);
    if (longestManual > 0)
        m_manualWidth = std::clamp(longestManual + 16, kMinLabelWidth, kMaxLabelWidth);
    m_plotWidth = std::max(kMinPlotWidth, double(from.secsTo(end)) / kSecondsPerDay * kMinDayWidth);
    for (int i = 0; i < lines.size(); ++i) {
        const PreviewLine &line = lines.at(i);
        if (line.schedule < 0)
            continue;
        m_laneList[m_positionOf.at(line.schedule)].firings[int(markOf(line))].append(i);
        ++m_firingCount;
    }
}

void Timeline::addWindows(Lane &lane, const Schedule &schedule)
{
    const auto add = [&](ScheduleElement::Role role, const char *name, QList<Band> &bands) {
        const QList<ScheduleElement> elements = schedule.elements(role);
        for (int i = 0; i < elements.size(); ++i) {
            const QString title = QStringLiteral("%1 %2: %3")
                                      .arg(QLatin1String(name))
                                      .arg(i + 1)
                                      .arg(ReasonWords::rule(elements.at(i)));
            for (const RuleWindows::Span &span : RuleWindows::within(elements.at(i), m_from, m_end))
                bands.append({span.start, span.end, bandTitle(span, title)});
            if (role == ScheduleElement::Role::Trigger &&
                elements.at(i).kind() == ScheduleElement::Kind::RepeatPeriod)
                lane.objective = i;
        }
    };
    add(ScheduleElement::Role::Trigger, "trigger", lane.triggerWindows);
    add(ScheduleElement::Role::Fallback, "fallback", lane.fallbackWindows);
    add(ScheduleElement::Role::Exclusion, "exclusion", lane.exclusions);
}

QString Timeline::caption() const
{
    return QStringLiteral("rule set %1: %2, %3 from %4 until %5")
        .arg(m_ruleSet)
        .arg(SchedctlRules::counted(m_laneList.size(), "schedule"),
             SchedctlRules::counted(m_firingCount, "firing"), shown(m_from), shown(m_end));
}

Timeline::Mark Timeline::markOf(const PreviewLine &line) const
{
    if (line.fallback >= 0)
        return Mark::Fallback;
    return line.trigger == m_laneList.at(m_positionOf.at(line.schedule)).objective ? Mark::Objective
                                                                                   : Mark::Trigger;
}

const char *Timeline::colour(Mark mark)
{
    static const char *const colours[] = {"#009e73", "#d55e00", "#0072b2"};
    return colours[int(mark)];
}

double Timeline::x(const QDateTime &instant) const
{
    return kMargin + m_labelWidth +
           double(m_from.msecsTo(instant)) * m_plotWidth / m_from.msecsTo(m_end);
}

double Timeline::laneTop(int lane) const
{
    const auto groups = std::upper_bound(m_groupStarts.cbegin(), m_groupStarts.cend(), lane);
    return kPlotTop + double(groups - m_groupStarts.cbegin()) * kGroupHeight + lane * kLaneHeight;
}

// Without schedules the plot keeps the height of one policy's lane, so the
// axes and the clock changes keep apart.
double Timeline::plotBottom() const
{
    return std::max(laneTop(int(m_laneList.size())), kPlotTop + kGroupHeight + kLaneHeight);
}

double Timeline::width() const
{
    return kMargin + m_labelWidth + m_plotWidth + (m_manualWidth > 0 ? 12 + m_manualWidth : 0) +
           kMargin;
}

QString Timeline::svg(bool inlined) const
{
    const double height = plotBottom() + 48;
    QString out;
    out.reserve(1024 + m_firingCount * 160);
    if (!inlined)
        out += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    out += QStringLiteral("<svg%1 width=\"%2\" height=\"%3\" viewBox=\"0 0 %2 %3\" "
                          "font-family=\"sans-serif\" font-size=\"12\" fill=\"#222222\">\n")
               .arg(inlined ? QString() : QStringLiteral(" xmlns=\"http://www.w3.org/2000/svg\""),
                    number(width()), number(height));
    out += defs();
    out += QStringLiteral("<rect width=\"%1\" height=\"%2\" fill=\"#ffffff\"/>\n")
               .arg(number(width()), number(height));
    out += QStringLiteral("<text x=\"%1\" y=\"26\" font-size=\"15\"><tspan font-weight=\"bold\">"
                          "Timeline</tspan> of %2</text>\n")
               .arg(number(kMargin), escaped(caption()));
    out += legend() + lanes() + rules() + marks() + labels();
    out += axis(kPlotTop - 8, kPlotTop - 26) + axis(plotBottom() + 16, plotBottom() + 32);
    return out + QStringLiteral("</svg>\n");
}

QString Timeline::defs() const
{
    QString out = QStringLiteral(
        "<defs>\n"
        "<pattern id=\"hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
        "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#000000\" "
        "fill-opacity=\"0.05\"/><rect width=\"1.6\" height=\"6\" fill=\"#8c8c8c\"/></pattern>\n");
    // Trigger and fallback marks span the lane; an objective's is shorter, so
    // that the kinds differ by more than colour.
    for (Mark mark : {Mark::Objective, Mark::Fallback, Mark::Trigger}) {
        const bool shorter = mark == Mark::Objective;
        out += QStringLiteral("<rect id=\"%1\" x=\"-1.5\" y=\"%2\" width=\"3\" height=\"%3\" "
                              "fill=\"%4\"/>\n")
                   .arg(QLatin1String(kMarkIds[int(mark)]), QLatin1String(shorter ? "5" : "2"),
                        QLatin1String(shorter ? "12" : "18"), QLatin1String(colour(mark)));
    }
    return out + QStringLiteral("</defs>\n");
}

QString Timeline::legend() const
{
    // Each swatch is drawn as in a lane whose left edge is at 0.
    const QString rule = QStringLiteral("<line x1=\"4\" x2=\"4\" y1=\"0\" y2=\"22\" %1/>");
    const QString bar = QStringLiteral("<rect width=\"24\" %1/>");
    const QString mark = QStringLiteral("<use href=\"#%1\" x=\"4\"/>");
    const struct
    {
        QString swatch;
        double width;
        const char *text;
    } items[] = {
        {mark.arg(QLatin1String(kMarkIds[int(Mark::Trigger)])), 8, "trigger"},
        {mark.arg(QLatin1String(kMarkIds[int(Mark::Fallback)])), 8, "fallback"},
        {mark.arg(QLatin1String(kMarkIds[int(Mark::Objective)])), 8, "objective"},
        {bar.arg(QLatin1String(kTriggerWindow)), 24, "trigger window"},
        {bar.arg(QLatin1String(kFallbackWindow)), 24, "fallback window"},
        {bar.arg(QLatin1String(kExclusion)), 24, "exclusion"},
        {rule.arg(QLatin1String(kDayRule)), 8, "day boundary"},
        {rule.arg(QLatin1String(kClockRule)), 8, "clock change"},
    };
    QString out;
    double at = kMargin;
    for (const auto &item : items) {
        out += QStringLiteral("<g transform=\"translate(%1,38)\">%2<text x=\"%3\" y=\"15\">%4"
                              "</text></g>\n")
                   .arg(number(at), item.swatch, number(item.width + 6), QLatin1String(item.text));
        at += item.width + 6 + textWidth(QLatin1String(item.text)) + 18;
    }
    return out;
}

// The lanes' stripes, the policies' bands, the time grid, and each lane's
// windows and exclusions: all that lies under the rules and the marks.
QString Timeline::lanes() const
{
    const QString rect =
        QStringLiteral("<rect y=\"%1\" width=\"%2\" height=\"%3\" fill=\"%4\"/>\n");
    QString out;
    for (int lane = 0; lane < m_laneList.size(); ++lane) {
        const int group =
            *std::prev(std::upper_bound(m_groupStarts.cbegin(), m_groupStarts.cend(), lane));
        if (lane == group)
            out += rect.arg(number(laneTop(lane) - kGroupHeight), number(width()),
                            number(kGroupHeight), QLatin1String(kGroupBand));
        if ((lane - group) % 2 == 1)
            out += rect.arg(number(laneTop(lane)), number(width()), number(kLaneHeight),
                            QLatin1String(kStripe));
    }
    for (const QDateTime &tick : ticks(m_from, m_end, tickStep()))
        out +=
            QStringLiteral("<line x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\" %4/>\n")
                .arg(number(x(tick)), number(kPlotTop), number(plotBottom()), QLatin1String(kGrid));
    const auto bands = [&](const QList<Band> &list, const char *style) {
        QString text;
        for (const Band &band : list)
            text +=
                QStringLiteral("<rect x=\"%1\" width=\"%2\" %3><title>%4</title></rect>\n")
                    .arg(number(x(band.start)), number(std::max(1.0, x(band.end) - x(band.start))),
                         QLatin1String(style), escaped(band.title));
        return text;
    };
    for (int lane = 0; lane < m_laneList.size(); ++lane) {
        const Lane &each = m_laneList.at(lane);
        out += QStringLiteral("<g transform=\"translate(0,%1)\">\n").arg(number(laneTop(lane))) +
               bands(each.triggerWindows, kTriggerWindow) +
               bands(each.fallbackWindows, kFallbackWindow) + bands(each.exclusions, kExclusion) +
               QStringLiteral("</g>\n");
    }
    return out;
}

// Day boundaries as solid rules, clock changes as dashed ones with their
// words beside, in the first policy's band.
QString Timeline::rules() const
{
    const QString rule = QStringLiteral("<line x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\" %4/>");
    QString out;
    for (const QDateTime &start : dayStarts(m_from, m_end))
        out += rule.arg(number(x(start)), number(kPlotTop), number(plotBottom()),
                        QLatin1String(kDayRule)) +
               QLatin1Char('\n');
    const double right = kMargin + m_labelWidth + m_plotWidth;
    for (const PreviewLine &line : m_lines) {
        if (line.schedule >= 0)
            continue;
        const QString words = line.change.words();
        const double at = x(line.at);
        const bool before = at + 6 + words.size() * kAxisCharWidth > right;
        out += QStringLiteral("<g><title>%1</title>%2<text x=\"%3\" y=\"%4\" font-size=\"11\" "
                              "fill=\"#8e3c6c\" text-anchor=\"%5\">%6</text></g>\n")
                   .arg(escaped(shown(line.at) + QStringLiteral(": ") + words),
                        rule.arg(number(at), number(kPlotTop), number(plotBottom()),
                                 QLatin1String(kClockRule)),
                        number(before ? at - 6 : at + 6), number(kPlotTop + 16),
                        QLatin1String(before ? "end" : "start"), escaped(words));
    }
    return out;
}

// Every firing, lane by lane, objectives under fallbacks under triggers.
QString Timeline::marks() const
{
    const QString mark = QStringLiteral(
        "<use href=\"#%1\" x=\"%2\" data-schedule=\"%3\" data-time=\"%4\"><title>%5\n%6</title>"
        "</use>\n");
    QString out;
    for (int lane = 0; lane < m_laneList.size(); ++lane) {
        const Lane &each = m_laneList.at(lane);
        const SchedctlRules::ScheduleFacts &fact = m_facts.at(size_t(each.schedule));
        const QString name = escaped(fact.name);
        out += QStringLiteral("<g transform=\"translate(0,%1)\">\n").arg(number(laneTop(lane)));
        for (int kind = 0; kind < 3; ++kind) {
            for (int index : each.firings[kind]) {
                const PreviewLine &line = m_lines.at(index);
                out += mark.arg(
                    QLatin1String(kMarkIds[kind]), number(x(line.at)), name,
                    SchedctlTime::stamp(line.at), shown(line.at),
                    escaped(fact.words.firing(line.trigger, line.fallback, line.excludedBy)));
            }
        }
        out += QStringLiteral("</g>\n");
    }
    return out;
}

// The policies' and the lanes' names on the left, the manual triggers on
// the right.
QString Timeline::labels() const
{
    const QString text = QStringLiteral("<text x=\"%1\" y=\"%2\"%3>%4<title>%5</title></text>\n");
    const double manualLeft = kMargin + m_labelWidth + m_plotWidth + 12;
    QString out;
    if (m_laneList.isEmpty())
        out += text.arg(number(kMargin), number(kPlotTop + 16),
                        QStringLiteral(" fill=\"%1\"").arg(QLatin1String(kQuiet)),
                        QStringLiteral("no schedules"), escaped(caption()));
    if (m_manualWidth > 0)
        out += text.arg(
            number(manualLeft), number(kPlotTop - 26),
            QStringLiteral(" fill=\"%1\" font-style=\"italic\"").arg(QLatin1String(kQuiet)),
            QStringLiteral("manual triggers"),
            QStringLiteral("fired on request only, so they have no time"));
    for (int lane = 0; lane < m_laneList.size(); ++lane) {
        const Lane &each = m_laneList.at(lane);
        const SchedctlRules::ScheduleFacts &fact = m_facts.at(size_t(each.schedule));
        const double baseline = laneTop(lane) + 15;
        if (m_groupStarts.contains(lane))
            out += text.arg(number(kMargin), number(baseline - kGroupHeight),
                            QStringLiteral(" font-weight=\"bold\""),
                            escaped(fitted(fact.policy, (m_labelWidth - 6) / 1.1)),
                            escaped(QStringLiteral("policy ") + fact.policy));
        out += text.arg(number(kMargin + 10), number(baseline), QString(),
                        escaped(fitted(fact.name, m_labelWidth - 16)),
                        escaped(QStringLiteral("%1: policy %2, operation %3")
                                    .arg(fact.name, fact.policy, fact.operation)));
        if (!each.manual.isEmpty())
            out += text.arg(
                number(manualLeft), number(baseline), QString(),
                escaped(fitted(each.manual, m_manualWidth - 8)),
                escaped(QStringLiteral("manual triggers of %1: %2").arg(fact.name, each.manual)));
    }
    return out;
}

int Timeline::tickStep() const
{
    const double perSecond = m_plotWidth / double(m_from.secsTo(m_end));
    for (int step : kTickSteps) {
        if (step * perSecond >= (step < 60 ? kMinSecondsTickSpacing : kMinTickSpacing))
            return step;
    }
    return kSecondsPerDay;
}

// The times of day at `tickBaseline`, and the days they belong to at
// `dayBaseline`, each day's name centred over its part of the plot.
QString Timeline::axis(double tickBaseline, double dayBaseline) const
{
    const QString text = QStringLiteral(
        "<text x=\"%1\" y=\"%2\" font-size=\"11\" text-anchor=\"middle\"%3>%4</text>\n");
    const QString quiet = QStringLiteral(" fill=\"%1\"").arg(QLatin1String(kQuiet));
    const int step = tickStep();
    const QString format = QLatin1String(step < 60 ? "hh:mm:ss" : "hh:mm");
    QString out;
    // Midnights are named by the days; a label that would leave the picture is left out.
    for (const QDateTime &tick :
         step < kSecondsPerDay ? ticks(m_from, m_end, step) : QList<QDateTime>()) {
        const QString label = tick.toString(format);
        const double at = x(tick);
        const double half = label.size() * kAxisCharWidth / 2;
        if (at - half >= 2 && at + half <= width() - 2)
            out += text.arg(number(at), number(tickBaseline), quiet, label);
    }
    QList<QDateTime> bounds = dayStarts(m_from, m_end);
    bounds.prepend(m_from);
    bounds.append(m_end);
    for (int i = 0; i + 1 < bounds.size(); ++i) {
        const double room = x(bounds.at(i + 1)) - x(bounds.at(i)) - 8;
        const QDate day = bounds.at(i).date();
        QString label = day.toString(QStringLiteral("ddd d MMM yyyy"));
        if (textWidth(label) > room)
            label = day.toString(QStringLiteral("ddd d MMM"));
        if (textWidth(label) > room)
            label = day.toString(QStringLiteral("d"));
        if (textWidth(label) <= room)
            out += text.arg(number((x(bounds.at(i)) + x(bounds.at(i + 1))) / 2),
                            number(dayBaseline), QStringLiteral(" font-weight=\"bold\""), label);
    }
    return out;
}
