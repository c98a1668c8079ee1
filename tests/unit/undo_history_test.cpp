// The window's undo history on its own: what makes a step, how many are kept, and what redo
// may still take again.
#include "insole/undo_history.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

JobSources insole(const Bytes& foot, double height)
{
    JobSources s;
    s.recipe.footFile = "foot.bmp";
    s.recipe.settings.heightRatio = height;
    s.foot = foot;
    return s;
}

}  // namespace

TEST(UndoHistory, OnlyAChangeOfTheInsoleIsAStep)
{
    const Bytes foot = std::make_shared<const std::vector<std::uint8_t>>(3, 7);
    UndoHistory history;
    EXPECT_FALSE(history.note(insole(foot, 1.0)));
    EXPECT_FALSE(history.note(insole(foot, 1.0)));
    // The milling setup is how it is cut, not what is cut.
    JobSources milled = insole(foot, 1.0);
    milled.recipe.milling = {{"rpm", 9000}};
    EXPECT_FALSE(history.note(milled));
    EXPECT_EQ(history.undoSteps(), 0u);
    // The same bytes read again are another load: a step, though the recipe is the same.
    const Bytes again = std::make_shared<const std::vector<std::uint8_t>>(*foot);
    EXPECT_TRUE(history.note(insole(again, 1.0)));
    EXPECT_TRUE(history.note(insole(again, 1.5)));
    EXPECT_EQ(history.undoSteps(), 2u);

    JobSources step;
    ASSERT_TRUE(history.undo(step));
    EXPECT_EQ(step.recipe.settings.heightRatio, 1.0);
    EXPECT_EQ(step.foot, again);
    ASSERT_TRUE(history.undo(step));
    EXPECT_EQ(step.foot, foot);
    EXPECT_FALSE(history.undo(step));
    ASSERT_TRUE(history.redo(step));
    EXPECT_EQ(step.foot, again);
    EXPECT_EQ(history.redoSteps(), 1u);
    // A change after an undo: the one undone can no longer come back.
    EXPECT_TRUE(history.note(insole(again, 0.5)));
    EXPECT_EQ(history.redoSteps(), 0u);
    EXPECT_FALSE(history.redo(step));
}

TEST(UndoHistory, KeepsTheLastStepsAndNoneWithoutAFoot)
{
    UndoHistory history;
    // Before any foot is loaded there is nothing to go back to.
    history.note(insole(nullptr, 1.0));
    const Bytes foot = std::make_shared<const std::vector<std::uint8_t>>(3, 7);
    EXPECT_FALSE(history.note(insole(foot, 1.0)));
    const int changes = static_cast<int>(UndoHistory::KEPT) + 50;
    for (int i = 1; i <= changes; ++i) {
        history.note(insole(foot, 1.0 + i / 1000.0));
    }
    ASSERT_GE(UndoHistory::KEPT, 100u);
    EXPECT_EQ(history.undoSteps(), UndoHistory::KEPT);
    JobSources step;
    int undone = 0;
    while (history.undo(step)) {
        ++undone;
    }
    EXPECT_EQ(undone, static_cast<int>(UndoHistory::KEPT));
    // The oldest kept: the changes before it went first.
    EXPECT_EQ(step.recipe.settings.heightRatio, 1.0 + (changes - static_cast<int>(UndoHistory::KEPT)) / 1000.0);
    // And the bytes are shared, not copied per step.
    EXPECT_EQ(step.foot, foot);
}
