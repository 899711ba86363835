#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "generators/generator.h"
#include "generators/generator_value.h"
#include "values/value_bits.h"

namespace {

TEST(GeneratorTest, AcceptedTextsAreKeptWithTheirWordsOneBlankApart)
{
    const struct {
        const char* text;
        const char* kept;
        int cellCount;
    } cases[] = {
        {"  input-registers 0 float32   sine amplitude=10 offset=20 period=60s ",
         "input-registers 0 float32 sine amplitude=10 offset=20 period=60s", 2},
        {"registers 65535 uint16 counter", "registers 65535 uint16 counter", 1},
        {"registers 65532 float64 random seed=3 min=-1.5 max=2", "registers 65532 float64 random seed=3 min=-1.5 max=2", 4},
        {"coils 65535 bool square period=10ms", "coils 65535 bool square period=10ms", 1},
        {"discrete-inputs 0 bool counter", "discrete-inputs 0 bool counter", 1},
        {"registers 65533 hms time", "registers 65533 hms time", 3},
        {"registers 0 uint64 time period=1s", "registers 0 uint64 time period=1s", 4},
        {"registers 100 float32 copy from=0 from-table=input-registers delay=2s order=CDAB",
         "registers 100 float32 copy from=0 from-table=input-registers delay=2s order=CDAB", 2},
        {"registers 1 uint32 copy from=3", "registers 1 uint32 copy from=3", 2},
        {"registers 0 int64 counter start=-9223372036854775808 step=-1 limit=-9223372036854775808",
         "registers 0 int64 counter start=-9223372036854775808 step=-1 limit=-9223372036854775808", 4},
        {"registers 0 uint64 counter start=18446744073709551615", "registers 0 uint64 counter start=18446744073709551615", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Generator generator;
        std::string problem;
        ASSERT_TRUE(ParseGenerator(c.text, &generator, &problem)) << problem;
        EXPECT_STREQ(generator.text, c.kept);
        EXPECT_EQ(generator.cellCount, c.cellCount);
    }
}

// Bad input, and the word each refusal names.
TEST(GeneratorTest, RefusesBadInputNamingTheWord)
{
    const struct {
        const char* text;
        const char* word;
    } cases[] = {
        {"registers 0 uint16", nullptr},
        {"holding 0 uint16 counter", "holding"},
        {"registers 65536 uint16 counter", "65536"},
        {"registers -1 uint16 counter", "-1"},
        {"registers 65535 uint32 counter", "65535"},
        {"registers 65534 hms time", "65534"},
        {"registers 0 ascii counter", "ascii"},
        {"registers 0 bool counter", "bool"},
        {"coils 0 uint16 counter", "uint16"},
        {"registers 0 uint16 ramp", "ramp"},
        {"registers 0 uint16 counter order=ABDC", "order=ABDC"},
        {"coils 0 bool counter order=CDAB", "order=CDAB"},
        {"registers 0 uint16 counter period=9ms", "period=9ms"},
        {"registers 0 uint16 counter period=1m", "period=1m"},
        {"registers 0 uint16 sine update=5ms", "update=5ms"},
        {"registers 0 uint16 counter amplitude=3", "amplitude=3"},
        {"registers 0 uint16 counter wobble", "wobble"},
        {"registers 0 uint16 counter step=1 step=2", "step=2"},
        {"registers 0 uint16 counter start=65536", "start=65536"},
        {"registers 0 uint16 counter start=-1", "start=-1"},
        {"registers 0 int16 counter step=0", "step=0"},
        {"registers 0 uint16 counter start=5 limit=4", "counter"},
        {"registers 0 uint16 random min=5 max=4", "random"},
        {"registers 0 int32 random min=1.5", "min=1.5"},
        {"registers 0 float32 sine offset=1e39", "offset=1e39"},
        {"registers 0 float64 sine offset=nan", "offset=nan"},
        {"registers 0 uint16 sine amplitude=-1", "amplitude=-1"},
        {"registers 0 int16 time", "int16"},
        {"registers 0 hms counter", "hms"},
        {"registers 0 uint16 copy", "copy"},
        {"registers 0 uint16 copy from=0", "copy"},
        {"registers 0 uint32 copy from=1", "copy"},
        {"registers 0 uint32 copy from=65535 from-table=input-registers", "copy"},
        {"coils 0 bool copy from=1 from-table=registers", "copy"},
        {"registers 0 uint16 copy from=1 delay=2h", "delay=2h"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Generator generator;
        std::string problem;
        EXPECT_FALSE(ParseGenerator(c.text, &generator, &problem));
        if (c.word != nullptr) {
            EXPECT_EQ(problem.rfind("cannot read '" + std::string(c.word) + "': ", 0), 0u) << problem;
        } else {
            EXPECT_NE(problem.find("expected TABLE ADDRESS TYPE KIND"), std::string::npos) << problem;
        }
    }
}

struct Tick {
    uint64_t tick;
    std::vector<uint16_t> source;     // the copy's source cells at that moment
    std::vector<uint16_t> expected;   // the cells written; empty: nothing written
};

// Each kind's values over a few ticks of a fake clock, started at tick 1000.
TEST(GeneratorTest, EachKindWritesItsSequence)
{
    const struct {
        const char* text;
        std::vector<Tick> ticks;
    } cases[] = {
        // Counting from start by step, back to start past the limit; a late update catches up.
        {"registers 0 uint16 counter step=3 limit=7 period=10ms",
         {{0, {}, {0}}, {5, {}, {}}, {10, {}, {3}}, {20, {}, {6}}, {30, {}, {0}}, {55, {}, {6}}}},
        {"registers 0 int16 counter start=-2 step=-1 limit=-3 period=10ms",
         {{0, {}, {0xFFFE}}, {10, {}, {0xFFFD}}, {20, {}, {0xFFFE}}}},
        // The type's own range is the default limit.
        {"registers 0 uint64 counter start=18446744073709551614 period=10ms",
         {{0, {}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE}}, {10, {}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
          {20, {}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE}}}},
        {"registers 0 int32 counter start=2147483647 period=10ms", {{0, {}, {0x7FFF, 0xFFFF}}, {10, {}, {0x7FFF, 0xFFFF}}}},
        {"registers 0 float32 counter step=0.5 limit=1 period=10ms order=CDAB",
         {{0, {}, {0, 0}}, {10, {}, {0, 0x3F00}}, {20, {}, {0, 0x3F80}}, {30, {}, {0, 0}}}},
        {"coils 0 bool counter period=10ms", {{0, {}, {0}}, {10, {}, {1}}, {20, {}, {0}}}},
        // Waves: offset + amplitude times a wave from -1 to 1, rising through 0 at the start.
        {"input-registers 0 int16 sine amplitude=100 period=400ms",
         {{0, {}, {0}}, {100, {}, {100}}, {200, {}, {0}}, {300, {}, {0xFF9C}}}},
        {"input-registers 0 float32 sine amplitude=10 offset=20 period=60s order=CDAB",
         {{0, {}, {0, 0x41A0}}, {15000, {}, {0, 0x41F0}}, {45000, {}, {0, 0x4120}}}},
        {"registers 0 uint16 triangle amplitude=10 offset=20 period=400ms update=50ms",
         {{0, {}, {20}}, {50, {}, {25}}, {100, {}, {30}}, {200, {}, {20}}, {300, {}, {10}}, {350, {}, {15}}}},
        {"registers 0 int16 sawtooth amplitude=10 period=100ms update=25ms",
         {{0, {}, {0xFFF6}}, {25, {}, {0xFFFB}}, {50, {}, {0}}, {75, {}, {5}}, {100, {}, {0xFFF6}}}},
        // Integer types round, halves away from zero, and clamp into their range.
        {"registers 0 uint16 sine amplitude=10 offset=5 period=400ms", {{0, {}, {5}}, {100, {}, {15}}, {300, {}, {0}}}},
        {"registers 0 uint16 sawtooth amplitude=65535 offset=65535 period=100ms update=25ms",
         {{0, {}, {0}}, {75, {}, {65535}}}},
        {"registers 0 int16 triangle amplitude=5 period=40ms update=10ms", {{10, {}, {5}}, {30, {}, {0xFFFB}}}},
        {"registers 0 int16 sawtooth amplitude=3 period=40ms update=10ms",
         {{0, {}, {0xFFFD}}, {10, {}, {0xFFFE}}, {20, {}, {0}}, {30, {}, {2}}}},
        {"coils 3 bool square period=100ms update=50ms", {{0, {}, {1}}, {50, {}, {0}}, {100, {}, {1}}}},
        // The fake clock's wall time: 0x12345678 seconds, 13:45:09.
        {"registers 0 uint32 time", {{0, {}, {0x1234, 0x5678}}, {500, {}, {}}}},
        {"registers 0 uint32 time order=BADC", {{0, {}, {0x3412, 0x7856}}}},
        {"registers 0 hms time", {{0, {}, {13, 45, 9}}}},
        // A copy shows each change of its source once the delay has passed, in order.
        {"registers 10 uint32 copy from=0 delay=20ms period=10ms",
         {{0, {0, 1}, {}}, {10, {0, 2}, {}}, {20, {0, 2}, {0, 1}}, {30, {7, 7}, {0, 2}}, {40, {7, 7}, {0, 2}},
          {50, {7, 7}, {7, 7}}}},
        {"coils 1 bool copy from=0 period=10ms", {{0, {1}, {1}}, {10, {0}, {0}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Generator generator;
        std::string problem;
        ASSERT_TRUE(ParseGenerator(c.text, &generator, &problem)) << problem;
        GeneratorState state;
        StartGeneratorState(generator, 1000, &state);
        for (const Tick& tick : c.ticks) {
            SCOPED_TRACE(tick.tick);
            const GeneratorClock clock{1000 + tick.tick, 0x12345678, 13, 45, 9};
            uint16_t source[kMaxGeneratedCells] = {};
            std::copy(tick.source.begin(), tick.source.end(), source);
            uint16_t cells[kMaxGeneratedCells] = {};
            const bool written = StepGenerator(generator, &state, clock, source, cells);
            EXPECT_EQ(written, !tick.expected.empty());
            if (written) {
                EXPECT_EQ(std::vector<uint16_t>(cells, cells + generator.cellCount), tick.expected);
            }
        }
    }
}

// Uniform within min..max, every value drawn, and the same sequence again from the same seed.
TEST(GeneratorTest, RandomDrawsRepeatFromTheirSeedWithinTheirRange)
{
    const struct {
        const char* text;
        double least;
        double most;
        bool integer;
    } cases[] = {
        {"registers 0 int16 random min=-1 max=1 seed=5 period=10ms", -1, 1, true},
        {"registers 0 uint32 random seed=9 min=4294967293 period=10ms", 4294967293.0, 4294967295.0, true},
        {"registers 0 float32 random min=-2.5 max=-2 seed=1 period=10ms", -2.5, -2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Generator generator;
        std::string problem;
        ASSERT_TRUE(ParseGenerator(c.text, &generator, &problem)) << problem;
        std::vector<double> runs[2];
        for (std::vector<double>& values : runs) {
            GeneratorState state;
            StartGeneratorState(generator, 0, &state);
            for (uint64_t tick = 0; tick < 600; tick += 10) {
                uint16_t cells[kMaxGeneratedCells] = {};
                ASSERT_TRUE(StepGenerator(generator, &state, GeneratorClock{tick, 0, 0, 0, 0}, cells, cells));
                values.push_back(RealFromBits(generator.type, TakeValueBits(generator.type, generator.order, cells)));
            }
        }
        EXPECT_EQ(runs[0], runs[1]);
        const auto [least, most] = std::minmax_element(runs[0].begin(), runs[0].end());
        EXPECT_GE(*least, c.least);
        EXPECT_LE(*most, c.most);
        if (c.integer) {
            EXPECT_EQ(*least, c.least);
            EXPECT_EQ(*most, c.most);
        } else {
            EXPECT_LT(*least, c.least + 0.05);
            EXPECT_GT(*most, c.most - 0.05);
        }
    }
}

}  // namespace
