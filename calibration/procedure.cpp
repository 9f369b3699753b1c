#include "calibration/procedure.h"

#include "calibration/number_texts.h"

#include <algorithm>
#include <cmath>

namespace olv::calibration {

bool Range::valid() const {
    return std::isfinite(minimum) && std::isfinite(maximum) && std::isfinite(span()) && maximum > minimum;
}

std::vector<double> DefaultPoints(const Range& range) {
    // Quarters rounded to seven significant digits of the span, so that 75 % of 1.6 is 1.2 and not the
    // 1.2000000000000002 of binary arithmetic (the point is shown, typed against and sent to a pressure
    // controller as text).
    const double scale = range.valid() ? std::pow(10.0, 6 - std::floor(std::log10(range.span()))) : 1.0;
    std::vector<double> points;
    for (int quarter = 0; quarter <= 4; ++quarter) {
        const double point = range.minimum + range.span() * quarter / 4.0;
        points.push_back(quarter == 0   ? range.minimum
                         : quarter == 4 ? range.maximum
                                        : std::round(point * scale) / scale);
    }
    return points;
}

Procedure DefaultProcedure(const Range& range) {
    Procedure procedure;
    procedure.points = DefaultPoints(range);
    return procedure;
}

QString CheckProcedure(const Procedure& procedure, const Range& range) {
    if (!range.valid())
        return QStringLiteral(
                   "Диапазон прибора задан неверно (%1 … %2): максимум должен быть больше минимума.")
            .arg(ValueText(range.minimum), ValueText(range.maximum));
    const double span = range.span();
    if (procedure.points.empty()) return QStringLiteral("Не задано ни одной точки.");
    if (procedure.points.size() > static_cast<size_t>(MaxPoints))
        return QStringLiteral("Точек больше %1.").arg(MaxPoints);
    for (double point : procedure.points) {
        if (!std::isfinite(point)) return QStringLiteral("Точка не число.");
        if (point < range.minimum - 0.1 * span || point > range.maximum + 0.1 * span)
            return QStringLiteral("Точка %1 лежит вне диапазона %2 … %3 больше чем на 10 % диапазона.")
                .arg(ValueText(point, range.units), ValueText(range.minimum), ValueText(range.maximum));
    }
    const std::vector<double> sorted = SortedPoints(procedure);
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i] - sorted[i - 1] <= RoundingSlack * span)
            return QStringLiteral("Точка %1 задана дважды.").arg(ValueText(sorted[i], range.units));
    if (procedure.cycles < 1 || procedure.cycles > MaxCycles)
        return QStringLiteral("Число циклов должно быть от 1 до %1.").arg(MaxCycles);
    const Tolerance& tolerance = procedure.tolerance;
    if (!std::isfinite(tolerance.value) || tolerance.value <= 0)
        return QStringLiteral("Допуск должен быть больше нуля.");
    const SettlingRule& rule = procedure.settling;
    if (rule.window < 2) return QStringLiteral("Для установления нужно не меньше 2 показаний.");
    if (rule.meanCount < 1) return QStringLiteral("Для усреднения нужно не меньше 1 показания.");
    if (!std::isfinite(rule.band) || rule.band <= 0)
        return QStringLiteral("Допустимый разброс показаний должен быть больше нуля.");
    if (rule.timeoutSeconds < 1)
        return QStringLiteral("Время ожидания установления должно быть не меньше 1 с.");
    return {};
}

std::vector<double> SortedPoints(const Procedure& procedure) {
    std::vector<double> sorted = procedure.points;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

std::vector<Step> BuildSteps(const Procedure& procedure) {
    const std::vector<double> points = SortedPoints(procedure);
    const int count = static_cast<int>(points.size());
    std::vector<Step> steps;
    for (int cycle = 0; cycle < std::max(procedure.cycles, 1); ++cycle) {
        for (int i = 0; i < count; ++i)
            steps.push_back({i, points[static_cast<size_t>(i)], Direction::Up, cycle});
        if (procedure.descending)
            for (int i = count - 2; i >= 0; --i)
                steps.push_back({i, points[static_cast<size_t>(i)], Direction::Down, cycle});
    }
    return steps;
}

QString DirectionName(Direction direction) {
    return direction == Direction::Up ? QStringLiteral("прямой") : QStringLiteral("обратный");
}

} // namespace olv::calibration
