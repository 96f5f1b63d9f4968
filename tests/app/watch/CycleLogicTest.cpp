#include <gtest/gtest.h>

#include "app/page/Markup.h"
#include "app/watch/LcgRandom.h"
#include "app/watch/TargetPresence.h"

using namespace app;

TEST(LcgRandom, DrawsTheSameSequenceEveryRunFromSeedZero) {
    LcgRandom random;
    std::vector<int32_t> draws;
    for (int i = 0; i < 8; ++i)
        draws.push_back(random.Random(10));
    EXPECT_EQ(draws, (std::vector<int32_t>{0, 0, 8, 2, 2, 6, 3, 1}));
    EXPECT_EQ(random.Seed(), 694906232u);
}

TEST(LcgRandom, WideRangesNeedTheFullSixtyFourBitProduct) {
    LcgRandom random;
    std::vector<int32_t> draws;
    for (int i = 0; i < 5; ++i)
        draws.push_back(random.Random(2147483647));
    EXPECT_EQ(draws, (std::vector<int32_t>{0, 67387906, 1849087502, 435039309, 586093958}));
}

TEST(LcgRandom, AnEmptyRangeGivesZeroAndStillAdvances) {
    LcgRandom random, reference;
    EXPECT_EQ(random.Random(0), 0);
    EXPECT_EQ(random.Random(-5), 0);
    reference.Random(7);
    reference.Random(7);
    EXPECT_EQ(random.Seed(), reference.Seed());
    for (int i = 0; i < 1000; ++i) {
        const int32_t draw = random.Random(3);
        ASSERT_GE(draw, 0);
        ASSERT_LT(draw, 3);
    }
}

namespace {
WatchState WithTargets(std::initializer_list<std::pair<const char*, int>> targets) {
    WatchState state;
    int i = 0;
    for (const auto& [name, selected] : targets)
        state.Targets[i++] = {name, selected};
    return state;
}
}  // namespace

TEST(TargetMatch, MatchesExactCaseSensitiveTextOutsideTags) {
    const std::string text = StripMarkup("<b>Alice</b> is here");
    EXPECT_TRUE(TargetPresent({"Alice", 1}, text));
    EXPECT_FALSE(TargetPresent({"alice", 1}, text));
    EXPECT_FALSE(TargetPresent({"Alice ", 1}, StripMarkup("<b>Alice</b>")));
    // A nickname that stands only inside a tag is gone with the tag.
    EXPECT_FALSE(TargetPresent({"Mallory", 1}, StripMarkup("<a title=\"Mallory\">room</a>")));
}

TEST(TargetMatch, OnlyWatchedNamedTargetsCount) {
    const std::string text = "Alice Bob Carol";
    EXPECT_FALSE(TargetPresent({"Alice", 0}, text));
    EXPECT_TRUE(TargetPresent({"Alice", 2}, text));  // any non-zero flag watches
    EXPECT_TRUE(TargetPresent({"Alice", -1}, text));
    EXPECT_FALSE(TargetPresent({"", 1}, text));  // a free slot is never found
}

TEST(TargetMatch, FindsAllPresentTargetsInIndexOrder) {
    WatchState state = WithTargets({{"Carol", 1}, {"Zed", 1}, {"Alice", 1}, {"Bob", 0}, {"Al", 1}});
    state.Targets[99] = {"Carol", 1};
    EXPECT_EQ(PresentTargets(state, "Alice, Bob and Carol"), (std::vector<int>{0, 2, 4, 99}));
    EXPECT_TRUE(PresentTargets(state, "").empty());
}

TEST(TargetMatch, ComparesGbBytesExactly) {
    const std::string zhang = "\xd5\xc5\xc8\xfd";  // a two-character GB2312 name
    EXPECT_TRUE(TargetPresent({zhang, 1}, "xx" + zhang + "yy"));
    EXPECT_FALSE(TargetPresent({zhang, 1}, "\xd5\xc5\xc8\xfe"));
}
