// The JSON the program prints: strings that any parser takes back, numbers that read back exactly.
#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

using olv::cli::JsonNumber;
using olv::cli::JsonObject;

TEST(CliJson, StringsWithEveryAwkwardCharacterReadBack) {
    QString text;
    for (char16_t c = 0; c < 0x80; ++c)
        text += QChar(c);
    text += QStringLiteral("«Датчик» \u202e€");
    const QByteArray json = JsonObject().add("text", text).add("empty", QString()).text();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    EXPECT_EQ(document.object().value("text").toString(), text);
    EXPECT_EQ(document.object().value("empty").toString(), QString());
    // Keys in the order they were added, for a reader that does not parse.
    EXPECT_TRUE(JsonObject().add("b", 1).add("a", 2).text() == R"({"b":1,"a":2})");
}

TEST(CliJson, FloatsInFewestDigitsThatReadBackExactly) {
    EXPECT_EQ(JsonNumber(1.6f), "1.6");
    EXPECT_EQ(JsonNumber(0.0f), "0");
    EXPECT_EQ(JsonNumber(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<float>::infinity()), "null");
    EXPECT_EQ(JsonNumber(-std::numeric_limits<float>::infinity()), "null");
    std::mt19937 random(7);
    std::vector<float> values{std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
                              std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min(),
                              -0.0f, 1e-45f, 100000.0f, 0.1f};
    for (int i = 0; i < 20000; ++i)
        values.push_back(std::bit_cast<float>(static_cast<uint32_t>(random())));
    for (float v : values) {
        const QByteArray text = JsonNumber(v);
        if (!std::isfinite(v)) {
            EXPECT_EQ(text, "null");
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson("[" + text + "]");
        ASSERT_TRUE(document.isArray()) << text.toStdString();
        EXPECT_EQ(static_cast<float>(document.array().at(0).toDouble()), v) << text.toStdString();
        EXPECT_EQ(std::strtof(text.constData(), nullptr), v) << text.toStdString();
    }
}
