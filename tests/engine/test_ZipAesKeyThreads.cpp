// Keys derived ahead on worker threads: each must be the key of its own salt, and no
// salt may come twice (a repeated salt repeats the key stream of another entry).

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/ZipAesKeyQueue.h"

namespace corvane {
namespace {

TEST(ZipAesKeyThreads, EveryKeyBelongsToItsOwnFreshSalt) {
    const QByteArray password = "pässword";
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        ZipAesKeyQueue queue(password, ZipAes::kStrength256, threads);
        std::set<std::string> salts;
        for (int i = 0; i < 40; ++i) {
            ZipAesKeys keys;
            ASSERT_TRUE(queue.Next(keys));
            salts.emplace(reinterpret_cast<const char*>(keys.salt), sizeof keys.salt);
            ZipAesKeys expected;
            ASSERT_TRUE(ZipAes::DeriveKeys(password, ZipAes::kStrength256, keys.salt, expected));
            EXPECT_EQ(0, std::memcmp(keys.cipherKey, expected.cipherKey, sizeof keys.cipherKey));
            EXPECT_EQ(0, std::memcmp(keys.macKey, expected.macKey, sizeof keys.macKey));
            EXPECT_EQ(0, std::memcmp(keys.verifier, expected.verifier, sizeof keys.verifier));
        }
        EXPECT_EQ(40u, salts.size());
    }
}

}  // namespace
}  // namespace corvane
