#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// Phone-number texts by the characters they end with. Two texts that MatchPhoneNumber finds equal
// share a tail: the shorter one's normalized form, or that form without its leading zeros, ends
// both. So a text whose form without leading zeros has at least kTailLength characters can only
// match texts of its own tail, or texts too short to have one; a search compares a text with those
// instead of every text added.
class PhoneNumberIndex {
public:
    static constexpr size_t kTailLength = 7;

    // Adds a text under a handle of the caller's (a position in the caller's own list).
    void Add(const std::string& text, size_t handle);
    // Appends to out the handles of every added text that may match text (and some that do not),
    // each once, in no particular order.
    void Candidates(const std::string& text, std::vector<size_t>* out) const;

private:
    // A hash of the tail of the text's normalized form (texts of other tails may share it); false
    // when the form without leading zeros is shorter than a tail.
    static bool TailOf(const std::string& text, size_t* tail);

    std::unordered_multimap<size_t, size_t> byTail_;
    std::vector<size_t> short_;  // texts without a tail
    std::vector<size_t> all_;
};
