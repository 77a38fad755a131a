#include <gtest/gtest.h>

#include "tests/support/capturing_logger.h"

TEST(Log, FormatsOnlyForEnabledLevels) {
    CapturingLogger logger(1);
    Log(1, "value %d", 7);
    Log(2, "never %s", "seen");
    EXPECT_EQ(logger.Lines(), std::vector<std::string>{"value 7"});
}
