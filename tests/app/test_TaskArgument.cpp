#include "app/TaskArgument.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace corvane {
namespace {

struct ArgumentCase {
    const char* argument;
    const char* name;
};

class TrimTaskArgumentTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(TrimTaskArgumentTest, GivesTheTaskName) {
    EXPECT_EQ(TrimTaskArgument(QString::fromUtf8(GetParam().argument)),
              QString::fromUtf8(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TrimTaskArgumentTest,
    testing::Values(ArgumentCase{"/Docs", "Docs"}, ArgumentCase{"Docs", "Docs"},
                    ArgumentCase{"/\"My Docs\"", "My Docs"}, ArgumentCase{"//\"\"x\"\"", "x"},
                    // Slashes after a quote belong to the name; quotes inside stay.
                    ArgumentCase{"\"/a\"b\"", "/a\"b"}, ArgumentCase{"/", ""},
                    ArgumentCase{"\"\"", ""}, ArgumentCase{"", ""}));

}  // namespace
}  // namespace corvane
