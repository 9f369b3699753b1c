// The line's one state: what a hold remembers, what it gives back, and the design's flags it shows.
#include "link/line_state.h"

#include <gtest/gtest.h>

using olv::link::LineState;
using olv::link::LineStateKeeper;

TEST(LineState, StartUpSettlesThenReadsThenPolls) {
    LineStateKeeper line;
    EXPECT_EQ(line.state(), LineState::StartupRead); // a window not yet started neither settles nor polls
    EXPECT_FALSE(line.pollEnabled());
    EXPECT_FALSE(line.settling());
    EXPECT_TRUE(line.set(LineState::Settling));
    EXPECT_TRUE(line.settling());
    EXPECT_TRUE(line.set(LineState::StartupRead));
    EXPECT_FALSE(line.settling());
    EXPECT_FALSE(line.pollEnabled());
    EXPECT_FALSE(line.set(LineState::StartupRead)); // nothing changed
    EXPECT_TRUE(line.set(LineState::Idle));
    EXPECT_TRUE(line.pollEnabled());
}

// The start-up read is an operation that enables polling before it lets go of the line: polling
// begins when it ends, not while it holds the line, and not before.
TEST(LineState, AFreeStateGivenDuringAHoldIsWhereTheLineGoesBack) {
    LineStateKeeper line;
    line.set(LineState::Operation);
    EXPECT_TRUE(Holds(line.state()));
    EXPECT_EQ(line.base(), LineState::StartupRead);
    EXPECT_TRUE(line.set(LineState::Idle));
    EXPECT_EQ(line.state(), LineState::Operation); // still held
    EXPECT_TRUE(line.pollEnabled());
    EXPECT_TRUE(line.release());
    EXPECT_EQ(line.state(), LineState::Idle);
    EXPECT_FALSE(line.release()); // nothing holds it any more
    EXPECT_EQ(line.state(), LineState::Idle);
}

// A search or listening runs inside an operation: going back to the operation keeps the free state
// under it, and the operation's end returns to that one, not to the search.
TEST(LineState, HoldsInsideAnOperationKeepTheStateUnderIt) {
    for (LineState inner : {LineState::Searching, LineState::Listening}) {
        LineStateKeeper line;
        line.set(LineState::Idle);
        line.set(LineState::Operation);
        line.set(inner);
        EXPECT_EQ(line.state(), inner);
        EXPECT_EQ(line.base(), LineState::Idle);
        line.set(LineState::Operation);
        EXPECT_EQ(line.base(), LineState::Idle);
        line.release();
        EXPECT_EQ(line.state(), LineState::Idle);
        EXPECT_TRUE(line.pollEnabled());
    }
    EXPECT_FALSE(Holds(LineState::Idle));
    EXPECT_FALSE(Holds(LineState::Settling));
    EXPECT_FALSE(Holds(LineState::StartupRead));
}
