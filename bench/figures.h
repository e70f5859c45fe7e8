// The figures the benchmark reports: samples of one measured quantity, the goal they are held to,
// and the plain-text table they are printed in.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vesk::bench {

struct Goal {
    enum class Kind { None, AtMost, AtLeast, Between };
    Kind kind = Kind::None;
    double low = 0;
    double high = 0;

    static Goal none() { return {}; }
    static Goal atMost(double v) { return {Kind::AtMost, 0, v}; }
    static Goal atLeast(double v) { return {Kind::AtLeast, v, 0}; }
    static Goal between(double lo, double hi) { return {Kind::Between, lo, hi}; }

    bool met(double value) const;
    // How far a value lies from meeting the goal (0 when it meets it); used to pick the worst
    // sample.
    double shortfall(double value) const;
    QString text(const QString& unit) const;
};

class Figure {
public:
    // Whether every sample must meet the goal, or the median alone (for a typical value whose
    // spread is judged by a figure of its own, such as a percentile).
    enum class Judge { Worst, Median };

    Figure(QString name, QString unit, Goal goal, Judge judge = Judge::Worst, int decimals = 1);

    void add(double sample) { m_samples.push_back(sample); }
    void add(const std::vector<double>& samples);
    const std::vector<double>& samples() const { return m_samples; }

    const QString& name() const { return m_name; }
    std::optional<double> median() const;
    // The sample farthest from the goal; with every sample within it, the one nearest its edge
    // (largest for an upper bound, smallest for a lower bound, farthest from the middle of a
    // range).
    std::optional<double> worst() const;
    // A figure without samples never passes: the measurement did not happen.
    bool passed() const;
    bool informational() const { return m_goal.kind == Goal::Kind::None; }

    QStringList row() const;

private:
    QString format(std::optional<double> value) const;

    QString m_name;
    QString m_unit;
    Goal m_goal;
    Judge m_judge;
    int m_decimals;
    std::vector<double> m_samples;
};

// Median of the values (mean of the two middle ones for an even count).
std::optional<double> median(std::vector<double> values);
// Nearest-rank percentile, p in (0, 100].
std::optional<double> percentile(std::vector<double> values, double p);

// The table: one header row, then one row per figure, columns padded to their widest cell.
QString renderTable(const std::vector<Figure>& figures);
bool allPassed(const std::vector<Figure>& figures);

} // namespace vesk::bench
