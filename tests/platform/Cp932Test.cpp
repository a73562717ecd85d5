#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(Cp932, DecodesSingleDoubleAndInvalidBytes)
{
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        { "abc\\~", u"abc\\~" }, { "\x82\xa0\x88\x9f", u"あ亜" },
        { "\xb1\xdf", u"ｱﾟ" }, // half-width katakana are single bytes
        { "\x81\xa5", u"▼" }, { "\x81", u"\xDC81" }, // a lead byte at the end
        { "\x81\x0a", u"\xDC81\n" }, // a lead byte before a byte that cannot trail
        { "\xfd\xfe\xff", u"\xDCFD\xDCFE\xDCFF" },
        { "\x85\x40", u"\xDC85@" }, // an unassigned code: its trail byte stays itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        EXPECT_EQ(platform::DecodeCp932(c.bytes), c.text) << c.bytes;
    }
    // Every byte below 0x80 is its own character: the line rewriting takes that short cut.
    std::string ascii;
    std::u16string asciiText;
    for (int b = 0; b < 0x80; ++b) {
        ascii.push_back(static_cast<char>(b));
        asciiText.push_back(static_cast<char16_t>(b));
    }
    EXPECT_EQ(platform::DecodeCp932(ascii), asciiText);
}

TEST(Cp932, DoublyCodedCharactersDecodeAlikeAndEncodeToOneCode)
{
    // NEC-selected IBM extension and IBM extension codes of the same kanji; ¬ in three codes.
    EXPECT_EQ(platform::DecodeCp932("\xed\x40"), platform::DecodeCp932("\xfa\x5c"));
    EXPECT_EQ(platform::DecodeCp932("\x81\xca"), platform::DecodeCp932("\xee\xf9"));
    EXPECT_EQ(platform::DecodeCp932("\x81\xca"), platform::DecodeCp932("\xfa\x54"));
    EXPECT_GE(platform::Cp932CodeCount(platform::DecodeCp932("\xed\x40")[0]), 2);
    EXPECT_EQ(platform::Cp932CodeCount(u'亜'), 1);

    int doubly = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string code { static_cast<char>(lead), static_cast<char>(trail) };
            const std::u16string text = platform::DecodeCp932(code);
            if (text.size() == 1 && !platform::IsEscapeUnit(text[0])
                && platform::EncodeCp932(text) != code) {
                ++doubly;
            }
        }
    }
    // Every code that does not come back from a round trip is one of the doubly-coded ones.
    EXPECT_EQ(doubly, 398);
}

TEST(Cp932, RandomBytesRoundTripExceptDoublyCoded)
{
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random() % 256);
        }
        const std::u16string text = platform::DecodeCp932(bytes);
        const std::string again = platform::EncodeCp932(text);
        bool doubly = false;
        for (const char16_t unit : text) {
            doubly = doubly || platform::Cp932CodeCount(unit) > 1;
        }
        // A doubly-coded character comes back in its one preferred code; all else byte for byte.
        if (!doubly) {
            EXPECT_EQ(again, bytes);
        }
    }
}

TEST(Cp932, LowerCaseKeepsLengthAndFoldsTheCapitalsCp932Holds)
{
    EXPECT_EQ(platform::LowerCase(u"ABCxyzＡＺΑΩАЯЁあＡ\xDC41"), u"abcxyzａｚαωаяёあａ\xDC41");
    EXPECT_EQ(platform::LowerCase(u"ⅠⅡ"), u"ⅠⅡ"); // roman numerals are left alone
}

TEST(FileName, InvalidUtf8BytesTravelAsEscapeUnitsAndComeBack)
{
    const std::string names[] = { "plain", "日本語.frm", std::string("bad\xff\xfe name"),
        "\xed\xa0\x80", "\xc0\xaf", "tail\xe3\x81", "😀" };
    for (const std::string& name : names) {
        EXPECT_EQ(platform::EncodeFileName(platform::DecodeFileName(name)), name);
    }
    EXPECT_EQ(platform::DecodeFileName("a\xff"), u"a\xDCFF");
    EXPECT_EQ(platform::ReadableName(platform::DecodeFileName("a\xff")), u"a\\xFF");
}

} // namespace
