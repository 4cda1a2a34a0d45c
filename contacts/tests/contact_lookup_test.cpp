#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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

// The lookup compares a number only with the numbers that share its tail (or are too short for
// one): over spellings of every kind the rules bring together, it must give what a walk over every
// entry in the map's order gives.
TEST(SwapContactTest, FindGivesWhatAWalkOverEveryNumberGives) {
    const std::string n = "13912345678";
    const std::vector<std::string> spellings = {
        "+86" + n, n, "0" + n, "00" + n, "12520" + n, "17951" + n, "+86 139-1234-5678", n.substr(1),
        "+44 20 7946 0018", "020 7946 0018", "2079460018", "+4420794600", "0000000", "000", "12345",
        "+1 12345", "012345", "55512", "()", "+", "+15551234567", "15551234567", "5551234567", "1234567",
        "+7 1234567", "01234567", "0001234567", "0000012345", "+44 12345", "12520" + std::string("1234567"), "N123.4567;"};
    // Each number alone: found exactly when the rules match it.
    for (const std::string& key : spellings)
        for (const std::string& number : spellings) {
            CSwapContact one;
            one.Add(number, {1, "one"}, true);
            EXPECT_EQ(one.Find(key, nullptr), MatchPhoneNumber(key, number)) << key << " / " << number;
        }
    // All of them: the first live match in the map's order, else the first match.
    std::vector<std::pair<std::string, SwapContactEntry>> added;
    CSwapContact lookup;
    for (size_t i = 0; i < spellings.size(); ++i) {
        SwapContactEntry entry{static_cast<unsigned char>(i % 3 == 0), "contact " + std::to_string(i)};
        lookup.Add(spellings[i], entry, true);
        added.emplace_back(spellings[i], entry);
    }
    // The map's order: by key, then as added.
    std::stable_sort(added.begin(), added.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const std::string& key : spellings) {
        bool expected = false;
        SwapContactEntry walk;
        for (const auto& entry : added) {
            if (!MatchPhoneNumber(key, entry.first)) continue;
            if (!expected || entry.second.live) walk = entry.second;
            expected = true;
            if (entry.second.live) break;
        }
        SwapContactEntry out;
        ASSERT_EQ(lookup.Find(key, &out), expected) << key;
        if (expected) {
            EXPECT_EQ(out.name, walk.name) << key;
        }
    }
}
