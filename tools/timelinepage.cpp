#include "timelinepage.h"

#include "timeline.h"

using SchedctlRules::PreviewLine;

namespace {

const char kStyle[] = "body{margin:0;font:14px sans-serif;color:#222222;background:#ffffff}\n"
                      "svg{display:block}\n"
                      "h2{font-size:16px;margin:24px 16px 4px}\n"
                      "p{margin:0 16px 8px;color:#666666}\n"
                      "table{border-collapse:collapse;margin:0 16px 24px;font-size:13px}\n"
                      "th,td{padding:3px 16px 3px 0;text-align:left;white-space:nowrap}\n"
                      "th{border-bottom:1px solid #999999}\n"
                      "tr.change td{color:#8e3c6c;font-style:italic}\n"
                      "span.kind{display:inline-block;width:10px;height:10px;margin-right:6px}\n";

QString cell(const QString &text)
{
    return QStringLiteral("<td>") + text.toHtmlEscaped() + QStringLiteral("</td>");
}

QString row(const Timeline &timeline, const std::vector<SchedctlRules::ScheduleFacts> &facts,
            const PreviewLine &line)
{
    const QString time = cell(SchedctlTime::shown(line.at));
    if (line.schedule < 0)
        return QStringLiteral("<tr class=\"change\">") + time +
               QStringLiteral("<td colspan=\"4\">") + line.change.words().toHtmlEscaped() +
               QStringLiteral("</td></tr>\n");
    const SchedctlRules::ScheduleFacts &fact = facts.at(size_t(line.schedule));
    return QStringLiteral("<tr>") + time + cell(fact.name) + cell(fact.policy) +
           cell(fact.operation) +
           QStringLiteral("<td><span class=\"kind\" style=\"background:%1\"></span>%2</td></tr>\n")
               .arg(
                   QLatin1String(Timeline::colour(timeline.markOf(line))),
                   fact.words.firing(line.trigger, line.fallback, line.excludedBy).toHtmlEscaped());
}

} // namespace

QString TimelinePage::html(const Timeline &timeline,
                           const std::vector<SchedctlRules::ScheduleFacts> &facts,
                           const QList<PreviewLine> &lines)
{
    const QString caption = timeline.caption().toHtmlEscaped();
    QString out =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>Timeline of %1</title>\n<style>\n%2</style>\n</head>\n<body>\n")
            .arg(caption, QLatin1String(kStyle));
    out += timeline.svg(true);
    out += QStringLiteral("<h2>Firings</h2>\n<p>%1, the end excluded; clock changes in their "
                          "place.</p>\n<table>\n<thead><tr><th>Time</th><th>Schedule</th>"
                          "<th>Policy</th><th>Operation</th><th>Fired by</th></tr></thead>\n"
                          "<tbody>\n")
               .arg(caption);
    for (const PreviewLine &line : lines)
        out += row(timeline, facts, line);
    return out + QStringLiteral("</tbody>\n</table>\n</body>\n</html>\n");
}
