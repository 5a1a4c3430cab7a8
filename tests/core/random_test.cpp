// MT19937 against the standard library's generator.
#include "core/random.h"

#include <gtest/gtest.h>

#include <random>

// Kept first: it needs a generator that was never seeded in this process.
TEST(Mt19937, EveryOutputIsZeroBeforeSeeding)
{
    for (int i = 0; i < 2000; i++)
        ASSERT_EQ(mt_next(), 0u) << "output " << i;
}

TEST(Mt19937, MatchesTheStandardSequence)
{
    for (uint32_t seed : {5489u, 0u, 1u, 19650218u, 0xffffffffu, 123456789u}) {
        SCOPED_TRACE(seed);
        mt_seed(seed);
        std::mt19937 reference(seed);
        for (int i = 0; i < 3 * MT_STATE_WORDS + 5; i++)
            ASSERT_EQ(mt_next(), reference()) << "output " << i;
    }
}

TEST(Mt19937, TenThousandthOutputOfTheDefaultSeed)
{
    mt_seed(5489);
    uint32_t value = 0;
    for (int i = 0; i < 10000; i++)
        value = mt_next();
    EXPECT_EQ(value, 4123659995u);
}

TEST(Mt19937, ReseedingRestartsTheSequence)
{
    mt_seed(42);
    uint32_t first[700];
    for (uint32_t &v : first)
        v = mt_next();
    mt_seed(42);
    for (int i = 0; i < 700; i++)
        ASSERT_EQ(mt_next(), first[i]) << "output " << i;
}
