#include "figures.h"

#include <algorithm>
#include <cmath>

namespace vesk::bench {

bool Goal::met(double value) const {
    return shortfall(value) == 0;
}

double Goal::shortfall(double value) const {
    switch (kind) {
    case Kind::None:
        return 0;
    case Kind::AtMost:
        return value > high ? value - high : 0;
    case Kind::AtLeast:
        return value < low ? low - value : 0;
    case Kind::Between:
        return value < low ? low - value : value > high ? value - high : 0;
    }
    return 0;
}

QString Goal::text(const QString& unit) const {
    const auto n = [](double v) { return QString::number(v, 'g', 6); };
    const QString suffix = unit.isEmpty() ? QString() : QLatin1Char(' ') + unit;
    switch (kind) {
    case Kind::None:
        return QStringLiteral("-");
    case Kind::AtMost:
        return QStringLiteral("<= ") + n(high) + suffix;
    case Kind::AtLeast:
        return QStringLiteral(">= ") + n(low) + suffix;
    case Kind::Between:
        return n(low) + QStringLiteral("..") + n(high) + suffix;
    }
    return {};
}

Figure::Figure(QString name, QString unit, Goal goal, Judge judge, int decimals)
    : m_name(std::move(name)), m_unit(std::move(unit)), m_goal(goal), m_judge(judge),
      m_decimals(decimals) {}

void Figure::add(const std::vector<double>& samples) {
    m_samples.insert(m_samples.end(), samples.begin(), samples.end());
}

std::optional<double> Figure::median() const {
    return bench::median(m_samples);
}

std::optional<double> Figure::worst() const {
    if (m_samples.empty())
        return std::nullopt;
    // Rank by distance outside the goal first, then by closeness to failing.
    const auto badness = [this](double v) {
        double edge = 0;
        switch (m_goal.kind) {
        case Goal::Kind::None:
        case Goal::Kind::AtMost:
            edge = v;
            break;
        case Goal::Kind::AtLeast:
            edge = -v;
            break;
        case Goal::Kind::Between:
            edge = std::abs(v - (m_goal.low + m_goal.high) / 2);
            break;
        }
        return std::pair(m_goal.shortfall(v), edge);
    };
    return *std::max_element(m_samples.begin(), m_samples.end(),
                             [&](double a, double b) { return badness(a) < badness(b); });
}

bool Figure::passed() const {
    const std::optional<double> judged = m_judge == Judge::Median ? median() : worst();
    return judged && m_goal.met(*judged);
}

QString Figure::format(std::optional<double> value) const {
    if (!value)
        return QStringLiteral("-");
    return QString::number(*value, 'f', m_decimals);
}

QStringList Figure::row() const {
    const QString result = m_samples.empty() ? QStringLiteral("NO DATA")
                           : informational() ? QStringLiteral("info")
                           : passed()        ? QStringLiteral("pass")
                                             : QStringLiteral("FAIL");
    return {m_name,
            m_goal.text(m_unit),
            format(median()),
            format(worst()),
            QString::number(m_samples.size()),
            m_unit,
            result};
}

std::optional<double> median(std::vector<double> values) {
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    if (values.size() % 2)
        return values[mid];
    return (values[mid - 1] + values[mid]) / 2;
}

std::optional<double> percentile(std::vector<double> values, double p) {
    if (values.empty() || p <= 0 || p > 100)
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(p / 100 * double(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

QString renderTable(const std::vector<Figure>& figures) {
    std::vector<QStringList> rows;
    rows.push_back({QStringLiteral("figure"), QStringLiteral("goal"), QStringLiteral("median"),
                    QStringLiteral("worst"), QStringLiteral("n"), QStringLiteral("unit"),
                    QStringLiteral("result")});
    for (const Figure& figure : figures)
        rows.push_back(figure.row());
    std::vector<qsizetype> width(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            width[std::size_t(c)] = std::max(width[std::size_t(c)], row[c].size());

    QString out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QString line;
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            // Text columns left-aligned, numbers right-aligned.
            const bool numeric = c >= 2 && c <= 4;
            const QString cell = numeric ? rows[r][c].rightJustified(width[std::size_t(c)])
                                         : rows[r][c].leftJustified(width[std::size_t(c)]);
            line += (c ? QStringLiteral("  ") : QString()) + cell;
        }
        out += line.trimmed() + QLatin1Char('\n');
        if (r == 0)
            out += QString(line.trimmed().size(), QLatin1Char('-')) + QLatin1Char('\n');
    }
    return out;
}

bool allPassed(const std::vector<Figure>& figures) {
    return std::all_of(figures.begin(), figures.end(), [](const Figure& f) {
        return !f.samples().empty() && (f.informational() || f.passed());
    });
}

} // namespace vesk::bench
