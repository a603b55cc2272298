// Test main: the headless backend, and a check that every test frees every block it allocated.
#include <gtest/gtest.h>

#include "brask/app.h"
#include "brask/memory.h"
#include "platform/platform.h"

namespace {

class LeakCheck : public testing::EmptyTestEventListener {
    uint32_t before_ = 0;
    void OnTestStart(const testing::TestInfo&) override { before_ = memGetStats()->unfreedBytes; }
    void OnTestEnd(const testing::TestInfo& info) override {
        memFailAfter(0);
        uint32_t after = memGetStats()->unfreedBytes;
        EXPECT_EQ(before_, after) << info.test_suite_name() << "." << info.name()
                                  << " left tracked memory unfreed";
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    platSetBackend(&platHeadless);
    appInitTimer();
    testing::UnitTest::GetInstance()->listeners().Append(new LeakCheck);
    return RUN_ALL_TESTS();
}
