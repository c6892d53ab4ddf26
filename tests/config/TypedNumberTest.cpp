#include "config/TypedNumber.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>

namespace wendmoor {
namespace {

// What a box's text stands for: the number it begins with, halves rounded to even; or, outside
// sixteen bits, an overflow failure naming the box (no value below). Qt applications take the
// user's locale for C functions too: where a German one is installed, the table holds under its
// comma decimal separator.
TEST(TypedNumber, ReadsTheNumberATextBeginsWithRoundsHalvesToEvenAndOverflowsPastSixteenBits)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const std::pair<const char*, std::optional<int>> cases[]
        = { { "2.5", 2 }, { "3.5", 4 }, { "", 0 }, { "12x", 12 }, { " 1 2", 12 }, { "- 5", -5 }, { "1.2.3", 1 },
              { "abc", 0 }, { "-2.5", -2 }, { "1e3", 1 }, { "-32768.5", -32768 }, { "0x10", 0 }, { "32767.5", {} },
              { "40000", {} }, { "-32769", {} }, { "99999999999999999999999999", {} }, { "1000000000000", {} } };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        try {
            EXPECT_EQ(typedInteger16(QString::fromUtf8(text), QStringLiteral("Record Audio Threshold")), expected);
        } catch (const Error& e) {
            EXPECT_FALSE(expected.has_value()) << e.text().toStdString();
            EXPECT_EQ(e.number(), ErrorNumber::Overflow);
            EXPECT_TRUE(e.description().contains(QStringLiteral("Record Audio Threshold")));
        }
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
} // namespace wendmoor
