#include <gtest/gtest.h>

#include "contacts/CSwapContact.h"
#include "contacts/PhoneNumberMatch.h"

TEST(MatchPhoneNumberTest, InternationalAgainstNational) {
    const std::string n = "13912345678";
    EXPECT_TRUE(MatchPhoneNumber("+86" + n, n));
    EXPECT_TRUE(MatchPhoneNumber(n, "+86" + n));  // symmetric
    EXPECT_TRUE(MatchPhoneNumber("+86" + n, "0" + n));  // the trunk zero is dropped
    EXPECT_TRUE(MatchPhoneNumber("+44 20 7946 0018", "020 7946 0018"));
    EXPECT_TRUE(MatchPhoneNumber("+15551234567", "15551234567"));  // "+" alone in front
    EXPECT_FALSE(MatchPhoneNumber("+86" + n, "3912345678"));
    EXPECT_FALSE(MatchPhoneNumber("+86" + n, "000"));
}

TEST(MatchPhoneNumberTest, FormattingIsIgnored) {
    EXPECT_TRUE(MatchPhoneNumber("+1 (555) 123-4567", "+1555*123#4567"));
    EXPECT_FALSE(MatchPhoneNumber("+1 555 123 4567", "+1 555 123 4568"));
    EXPECT_TRUE(MatchPhoneNumber("555-1234", "(555) 1234"));
}

TEST(MatchPhoneNumberTest, CarrierPrefixes) {
    const std::string n = "13912345678";
    EXPECT_TRUE(MatchPhoneNumber("12520" + n, n));
    EXPECT_TRUE(MatchPhoneNumber(n, "17951" + n));
    EXPECT_FALSE(MatchPhoneNumber(n, n.substr(1)));
    EXPECT_FALSE(MatchPhoneNumber("12345" + n, n));
}

TEST(MatchPhoneNumberTest, EmptyAndPunctuationOnlyMatchNothing) {
    EXPECT_FALSE(MatchPhoneNumber("", ""));
    EXPECT_FALSE(MatchPhoneNumber("", "123"));
    EXPECT_FALSE(MatchPhoneNumber("()", "()"));
    EXPECT_FALSE(MatchPhoneNumber("+86", "()"));
    EXPECT_FALSE(MatchPhoneNumber("- -", "123"));
}

TEST(SwapContactTest, LiveContactPreferredWhicheverCameFirst) {
    for (int order = 0; order < 2; ++order) {
        CSwapContact lookup;
        SwapContactEntry deleted{0, "Old Ann"}, live{1, "Ann"};
        if (order == 0) {
            lookup.Add("5551234", deleted, true);
            lookup.Add("+15551234", live, true);
        } else {
            lookup.Add("+15551234", live, true);
            lookup.Add("5551234", deleted, true);
        }
        SwapContactEntry out;
        ASSERT_TRUE(lookup.Find("555-1234", &out));
        EXPECT_EQ(out.name, "Ann");
        EXPECT_EQ(out.live, 1);
    }
}

TEST(SwapContactTest, FirstAmongEqualsAndOnlyDeletedOnes) {
    CSwapContact lookup;
    lookup.Add("5551234", {0, "First deleted"}, true);
    lookup.Add("555 1234", {0, "Second deleted"}, true);
    SwapContactEntry out;
    ASSERT_TRUE(lookup.Find("5551234", &out));
    EXPECT_EQ(out.live, 0);
    EXPECT_FALSE(lookup.Find("", &out));
    lookup.Add("", {1, "Nobody"}, true);  // an empty number is ignored
    out.name = "untouched";
    EXPECT_FALSE(lookup.Find("999", &out));
    EXPECT_EQ(out.name, "untouched");
}

TEST(SwapContactTest, EmailAddressesMatchExactly) {
    CSwapContact lookup;
    lookup.Add("ann@example.com", {0, "Ann deleted"}, false);
    lookup.Add("ann@example.com", {1, "Ann"}, false);
    SwapContactEntry out;
    ASSERT_TRUE(lookup.Find("ann@example.com", &out));
    EXPECT_EQ(out.name, "Ann");
    EXPECT_FALSE(lookup.Find("Ann@example.com", &out));
    EXPECT_FALSE(lookup.Find("ann@example.co", &out));
}

TEST(SwapContactTest, PhoneMatchWinsOverEmail) {
    CSwapContact lookup;
    lookup.Add("12345", {0, "By phone"}, true);
    lookup.Add("12345", {1, "By mail"}, false);
    SwapContactEntry out;
    ASSERT_TRUE(lookup.Find("12345", &out));
    EXPECT_EQ(out.name, "By phone");
}

TEST(MatchPhoneNumberTest, LongerCallingCodesAndEveryLeadingZero) {
    // Codes of the table beyond the plain country codes: a Portuguese mobile prefix, an Argentine
    // mobile one, and a code that the table lists twice.
    EXPECT_TRUE(MatchPhoneNumber("+351912345678", "912345678"));
    EXPECT_TRUE(MatchPhoneNumber("+5491123456789", "23456789"));
    EXPECT_TRUE(MatchPhoneNumber("+821012345678", "01012345678"));
    // All leading zeros go, not only one.
    EXPECT_TRUE(MatchPhoneNumber("+8613912345678", "0013912345678"));
    EXPECT_FALSE(MatchPhoneNumber("+8613912345678", "0013912345679"));
    // A code that is not in the table does not make a match.
    EXPECT_FALSE(MatchPhoneNumber("+99912345678", "12345678"));
}

TEST(SwapContactTest, TwoLiveContactsGiveTheFirstInOrder) {
    CSwapContact lookup;
    lookup.Add("+15551234567", {1, "First"}, true);
    lookup.Add("5551234567", {1, "Second"}, true);
    SwapContactEntry out;
    ASSERT_TRUE(lookup.Find("(555) 123-4567", &out));
    EXPECT_EQ(out.name, "First");
    EXPECT_EQ(out.live, 1);
}
