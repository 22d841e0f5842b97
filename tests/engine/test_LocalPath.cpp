#include "engine/LocalPath.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct BelowCase {
    const char* base;
    const char* path;
    const char* below;  // null: not below the base
};

class PathBelowTest : public ::testing::TestWithParam<BelowCase> {};

// Regression: with the folder "/" as the base, every relative name lost its first
// character.
TEST_P(PathBelowTest, GivesTheNameBelowTheBase) {
    const QString below = PathBelow(QString::fromUtf8(GetParam().base), GetParam().path);
    EXPECT_EQ(below.isNull(), GetParam().below == nullptr);
    EXPECT_EQ(below, QString::fromUtf8(GetParam().below));
}

INSTANTIATE_TEST_SUITE_P(Cases, PathBelowTest,
                         ::testing::Values(BelowCase{"/", "/etc/hosts", "etc/hosts"},
                                           BelowCase{"/src", "/src/a/b.txt", "a/b.txt"},
                                           BelowCase{"/src/", "/src/a", "a"},
                                           BelowCase{"/src", "/src", ""},
                                           BelowCase{"/src", "/srcx/a", nullptr},
                                           BelowCase{"/src", "/other", nullptr}));

}  // namespace
}  // namespace corvane
