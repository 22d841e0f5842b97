#include "engine/LocalPath.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// Regression: below the folder "/" every relative name lost its first character.
TEST(PathBelow, GivesTheNameBelowTheBase) {
    const struct {
        const char *base, *path, *below;  // below: null when not below the base
    } cases[] = {{"/", "/etc/hosts", "etc/hosts"}, {"/src", "/src/a/b", "a/b"},
                 {"/src/", "/src/a", "a"},         {"/src", "/src", ""},
                 {"/src", "/srcx/a", nullptr},     {"/src", "/other", nullptr}};
    for (const auto& c : cases) {
        const QString below = PathBelow(QString::fromUtf8(c.base), c.path);
        EXPECT_EQ(below.isNull(), c.below == nullptr) << c.path;
        EXPECT_EQ(below, QString::fromUtf8(c.below)) << c.path;
    }
}

}  // namespace
}  // namespace corvane
