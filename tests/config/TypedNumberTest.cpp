#include "config/TypedNumber.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <clocale>

namespace wendmoor {
namespace {

struct TypedCase {
    const char* text;
    int expected;
};

TEST(TypedNumber, ReadsOnlyTheNumberATextBeginsWithAndRoundsHalvesToEven)
{
    const TypedCase cases[] = {
        { "2.5", 2 },
        { "3.5", 4 },
        { "", 0 },
        { "12x", 12 },
        { " 1 2", 12 },
        { "- 5", -5 },
        { "1.2.3", 1 },
        { "abc", 0 },
        { "-2.5", -2 },
        { "1e3", 1 },
        { "-32768.5", -32768 },
        { "0x10", 0 },
    };
    for (const TypedCase& c : cases)
        EXPECT_EQ(typedInteger16(QString::fromUtf8(c.text), QStringLiteral("box")), c.expected) << '"' << c.text << '"';
}

TEST(TypedNumber, DecimalPointDoesNotDependOnTheUsersLocale)
{
    // Qt applications take the user's locale for C functions too; a German one must not turn
    // "2.5" into 2 by way of a comma decimal separator.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no German locale installed: nothing to tell the decimal points apart";
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("3.75")), 3.75);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(TypedNumber, ValuesOutsideSixteenBitsAreOverflowFailuresNamingTheBox)
{
    for (const char* text : { "32767.5", "40000", "-32769", "99999999999999999999999999", "1000000000000" }) {
        try {
            (void)typedInteger16(QString::fromLatin1(text), QStringLiteral("Record Audio Threshold"));
            ADD_FAILURE() << text << " was accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), ErrorNumber::Overflow) << text;
            EXPECT_TRUE(e.description().contains(QStringLiteral("Record Audio Threshold"))) << text;
        }
    }
}

} // namespace
} // namespace wendmoor
