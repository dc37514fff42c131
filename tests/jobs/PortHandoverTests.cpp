// The meetings of the threads of a run on several ports.

#include "PortHandover.h"

#include "SerialLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(PortHandover, ACloneSourceWaitsForEveryTargetThenHandsItsLinesToAll) {
    for (const bool secondOpens : {true, false}) {
        SCOPED_TRACE(secondOpens ? "all open" : "one not open");
        CCloneHandover handover(2);
        std::thread source([&handover] {
            if (handover.AwaitTargets()) {
                handover.SourceDone(true, "0001,AA\r0002,BB\r", 0);
            } else {
                handover.SourceDone(false, {}, 9);
            }
        });
        handover.TargetOpened(true);
        handover.TargetOpened(secondOpens);
        for (int target = 0; target < 2; ++target) {
            std::vector<std::string> lines;
            int status = -1;
            EXPECT_EQ(handover.AwaitSource(lines, status), secondOpens);
            const std::vector<std::string> expected =
                secondOpens ? std::vector<std::string>{"0001,AA", "0002,BB"}
                            : std::vector<std::string>{};
            EXPECT_EQ(lines, expected);
            EXPECT_EQ(status, secondOpens ? 0 : 9);
        }
        source.join();
    }
}

TEST(PortHandover, ALenderWaitsUntilItsPortIsGivenBack) {
    CSerialLink link;
    std::atomic<int32_t> running{1};
    CPortLoan loan;
    std::atomic<bool> returned{false};
    std::thread lender([&] {
        const JobPort port{link, FixedTiming(), running};
        loan.Lend(&port);
        loan.AwaitReturn();
        returned = true;
    });
    const JobPort* borrowed = loan.Borrow();
    ASSERT_NE(borrowed, nullptr);
    EXPECT_EQ(&borrowed->link, &link);
    EXPECT_FALSE(returned);
    loan.GiveBack();
    lender.join();
    EXPECT_TRUE(returned);

    CPortLoan nothing;
    nothing.Lend(nullptr);
    EXPECT_EQ(nothing.Borrow(), nullptr);
}

} // namespace
