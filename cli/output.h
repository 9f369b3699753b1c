#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace olv::cli {

// One JSON object, its keys in the order they were added. Strings are escaped (quotes, backslashes,
// control characters); numbers are JSON numbers, and a float is written in the fewest digits that read
// back as the same float; a number that is not finite is null.
class JsonObject {
  public:
    JsonObject& add(const char* key, const QString& value);
    JsonObject& add(const char* key, const char* value) { return add(key, QString::fromUtf8(value)); }
    JsonObject& add(const char* key, int64_t value);
    JsonObject& add(const char* key, int value) { return add(key, static_cast<int64_t>(value)); }
    JsonObject& add(const char* key, float value);
    JsonObject& add(const char* key, double value);
    JsonObject& add(const char* key, bool value);
    JsonObject& addNull(const char* key);
    // A value already in JSON (an object or an array built elsewhere).
    JsonObject& addRaw(const char* key, const QByteArray& json);
    template <typename T> JsonObject& add(const char* key, const std::optional<T>& value) {
        return value ? add(key, *value) : addNull(key);
    }

    QByteArray text() const { return "{" + body_ + "}"; }

  private:
    void key(const char* name);
    QByteArray body_;
};

// A JSON string literal of the text, quotes included.
QByteArray JsonString(const QString& text);
// A JSON number: the shortest text that reads back as this float (or double); null when not finite.
QByteArray JsonNumber(float value);
QByteArray JsonNumber(double value);

// One line on stdout (a line end is added), flushed, so that a script reading a pipe sees each reading
// as it comes.
void PrintLine(const QByteArray& line);
void PrintLine(const QString& line);
// One line on stderr, "modbus-olv-cli: " in front; line breaks inside the text become blanks.
void PrintError(const QString& message);
// A line on stderr as it is (progress, prompts).
void PrintNote(const QString& message);

} // namespace olv::cli
