#include "device/number_text.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

#include <locale.h>

namespace olv::device {

namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The text between leading and trailing blanks.
QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

// Skips a run of digits from pos; returns how many there were.
qsizetype SkipDigits(const QString& s, qsizetype& pos) {
    const qsizetype start = pos;
    while (pos < s.size() && IsDigit(s[pos])) ++pos;
    return pos - start;
}

} // namespace

QByteArray FormatC(const char* format, ...) {
    // The application object sets the process locale from the environment, where the separator may be
    // a comma; this thread formats in the "C" locale for the duration of the call only.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = ::uselocale(cLocale);
    char buffer[128];
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    QByteArray text;
    if (n >= static_cast<int>(sizeof buffer)) {
        text.resize(n);
        va_start(args, format);
        std::vsnprintf(text.data(), static_cast<size_t>(n) + 1, format, args);
        va_end(args);
    } else if (n > 0) {
        text = QByteArray(buffer, n);
    }
    ::uselocale(previous);
    return text;
}

QString FormatValue(float v) {
    return QString::fromLatin1(FormatC("%11.4f", static_cast<double>(v)));
}

std::optional<int32_t> ParseInteger(const QString& text) {
    const QString s = TrimBlanks(text);
    qsizetype pos = 0;
    bool negative = false;
    if (pos < s.size() && (s[pos] == u'+' || s[pos] == u'-')) {
        negative = s[pos] == u'-';
        ++pos;
    }
    const qsizetype digitsStart = pos;
    if (SkipDigits(s, pos) == 0 || pos != s.size()) return std::nullopt;

    int64_t magnitude = 0;
    for (qsizetype i = digitsStart; i < s.size(); ++i) {
        magnitude = magnitude * 10 + (s[i].unicode() - u'0');
        if (magnitude > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<double> ParseFloat(const QString& text) {
    const QString s = TrimBlanks(text);
    qsizetype pos = 0;
    if (pos < s.size() && (s[pos] == u'+' || s[pos] == u'-')) ++pos;
    qsizetype mantissaDigits = SkipDigits(s, pos);
    if (pos < s.size() && s[pos] == u'.') {
        ++pos;
        mantissaDigits += SkipDigits(s, pos);
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (pos < s.size() && (s[pos] == u'e' || s[pos] == u'E')) {
        ++pos;
        if (pos < s.size() && (s[pos] == u'+' || s[pos] == u'-')) ++pos;
        if (SkipDigits(s, pos) == 0) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;

    // The text is now plain ASCII; from_chars converts it without looking at the locale. It takes no
    // leading '+'.
    std::string ascii = s.toStdString();
    if (!ascii.empty() && ascii.front() == '+') ascii.erase(0, 1);
    double value = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
    return value;
}

std::optional<float> ParseSingle(const QString& text) {
    const std::optional<double> value = ParseFloat(text);
    if (!value) return std::nullopt;
    const float single = static_cast<float>(*value);
    if (std::isinf(single)) return std::nullopt;
    return single;
}

} // namespace olv::device
