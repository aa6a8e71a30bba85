#include "ui/HistoryNavigation.h"

#include "support/TempHome.h"
#include "ui/history_support.h"

#include <gtest/gtest.h>

#include <deque>

using historytest::record;
using historytest::writeDictation;

namespace {

constexpr auto down = HistoryNavigation::downArrowKeyCode;
constexpr auto up = HistoryNavigation::upArrowKeyCode;

}  // namespace

class Navigation : public testing::Test {
protected:
    // The list as the window shows it.
    std::vector<const Recording*> listOf(int count) {
        for (int i = 0; i < count; ++i) writeDictation(1000 + i, record("r" + std::to_string(i)));
        stored_.push_back(fetchRecordings());
        std::vector<const Recording*> shown;
        for (const Recording& recording : stored_.back()) shown.push_back(&recording);
        return shown;
    }

    vctest::TempHome home;

private:
    std::deque<std::vector<Recording>> stored_;
};

TEST_F(Navigation, ArrowsWrapAroundAtBothEnds) {
    const std::vector<const Recording*> list = listOf(3);
    EXPECT_EQ(HistoryNavigation::navigate(list, list[0]->id, down), 1u);
    EXPECT_EQ(HistoryNavigation::navigate(list, list[1]->id, down), 2u);
    EXPECT_EQ(HistoryNavigation::navigate(list, list[2]->id, down), 0u);
    EXPECT_EQ(HistoryNavigation::navigate(list, list[0]->id, up), 2u);
    EXPECT_EQ(HistoryNavigation::navigate(list, list[2]->id, up), 1u);
}

TEST_F(Navigation, NothingOrAnUnlistedSelectionCountsAsTheFirst) {
    const std::vector<const Recording*> list = listOf(3);
    EXPECT_EQ(HistoryNavigation::navigate(list, std::nullopt, down), 1u);
    EXPECT_EQ(HistoryNavigation::navigate(list, std::nullopt, up), 2u);
    EXPECT_EQ(HistoryNavigation::navigate(list, QUuid::createUuid(), down), 1u);
}

TEST_F(Navigation, OneOrNoDictationsAndOtherKeysPassThrough) {
    const std::vector<const Recording*> one = listOf(1);
    EXPECT_EQ(HistoryNavigation::navigate(one, one[0]->id, down), std::nullopt);
    EXPECT_EQ(HistoryNavigation::navigate(one, one[0]->id, up), std::nullopt);
    EXPECT_EQ(HistoryNavigation::navigate({}, std::nullopt, down), std::nullopt);
    EXPECT_EQ(HistoryNavigation::navigate({}, std::nullopt, up), std::nullopt);

    const std::vector<const Recording*> several = listOf(2);
    EXPECT_EQ(HistoryNavigation::navigate(several, several[0]->id, 123), std::nullopt);  // Left arrow

    EXPECT_EQ(HistoryNavigation::keyCode(Qt::Key_Down), down);
    EXPECT_EQ(HistoryNavigation::keyCode(Qt::Key_Up), up);
    for (int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Return, Qt::Key_A}) {
        EXPECT_EQ(HistoryNavigation::keyCode(key), std::nullopt);
    }
}
