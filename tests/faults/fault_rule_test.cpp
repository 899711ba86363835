#include <gtest/gtest.h>

#include <string>

#include "faults/fault_rule.h"
#include "faults/fault_rules.h"

namespace {

TEST(FaultRuleTest, ReadsEveryActionAndConditionIntoItsFields)
{
    FaultRule rule;
    std::string problem;
    ASSERT_TRUE(ParseFaultRule("  delay=200-400   fc=3,16 address=100-199 unit=5 peer=::1 every=2 after=3 count=4 "
                               "probability=0.25 ",
                               &rule, &problem))
        << problem;
    EXPECT_EQ(rule.action, FaultAction::kDelay);
    EXPECT_EQ(rule.value, 200u);
    EXPECT_EQ(rule.secondValue, 400u);
    EXPECT_EQ(rule.functionCodes[0], (uint64_t{1} << 3) | (uint64_t{1} << 16));
    EXPECT_EQ(rule.functionCodes[1], 0u);
    EXPECT_TRUE(rule.addressGiven);
    EXPECT_EQ(rule.firstAddress, 100);
    EXPECT_EQ(rule.lastAddress, 199);
    EXPECT_EQ(rule.firstUnit, 5);
    EXPECT_EQ(rule.lastUnit, 5);
    EXPECT_STREQ(rule.peer, "[::1]");
    EXPECT_EQ(rule.every, 2u);
    EXPECT_EQ(rule.after, 3u);
    EXPECT_EQ(rule.count, 4u);
    EXPECT_DOUBLE_EQ(rule.probability, 0.25);
    EXPECT_STREQ(rule.text,
                 "delay=200-400 fc=3,16 address=100-199 unit=5 peer=::1 every=2 after=3 count=4 probability=0.25");

    const struct {
        const char* text;
        FaultAction action;
        uint32_t value;
        uint32_t secondValue;
    } actions[] = {
        {"delay=0", FaultAction::kDelay, 0, 0},
        {"delay=3600000", FaultAction::kDelay, 3600000, 3600000},
        {"drop", FaultAction::kDrop, 0, 0},
        {"close", FaultAction::kClose, 0, 0},
        {"exception=255", FaultAction::kException, 255, 0},
        {"corrupt=byte-count", FaultAction::kCorrupt, static_cast<uint32_t>(CorruptField::kByteCount), 0},
        {"truncate=259", FaultAction::kTruncate, 259, 0},
        {"split=1", FaultAction::kSplit, 1, 10},
        {"split=7/0", FaultAction::kSplit, 7, 0},
        {"garbage=1024", FaultAction::kGarbage, 1024, 0},
    };
    for (const auto& c : actions) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(ParseFaultRule(c.text, &rule, &problem)) << problem;
        EXPECT_EQ(rule.action, c.action);
        EXPECT_EQ(rule.value, c.value);
        EXPECT_EQ(rule.secondValue, c.secondValue);
    }
    for (const char* peer : {"peer=127.0.0.1:40112", "peer=[::1]:40112", "peer=[fe80::1]"}) {
        EXPECT_TRUE(ParseFaultRule(std::string("drop ") + peer, &rule, &problem)) << problem;
    }
}

// Bad input, and the word each refusal names.
TEST(FaultRuleTest, RefusesBadInputNamingTheWord)
{
    const struct {
        const char* text;
        const char* word;
    } cases[] = {
        {"", ""},
        {"delya=5", "delya=5"},
        {"delay", "delay"},
        {"delay=", "delay="},
        {"delay=5-2", "delay=5-2"},
        {"delay=3600001", "delay=3600001"},
        {"delay=-5", "delay=-5"},
        {"drop=1", "drop=1"},
        {"close=", "close="},
        {"exception=0", "exception=0"},
        {"exception=256", "exception=256"},
        {"corrupt=crc", "corrupt=crc"},
        {"truncate=0", "truncate=0"},
        {"truncate=260", "truncate=260"},
        {"split=0", "split=0"},
        {"split=4/60001", "split=4/60001"},
        {"split=4/", "split=4/"},
        {"garbage=1025", "garbage=1025"},
        {"drop fc=0", "fc=0"},
        {"drop fc=128", "fc=128"},
        {"drop fc=3,", "fc=3,"},
        {"drop address=200-100", "address=200-100"},
        {"drop address=65536", "address=65536"},
        {"drop unit=256", "unit=256"},
        {"drop unit=5-1", "unit=5-1"},
        {"drop peer=localhost", "peer=localhost"},
        {"drop peer=1.2.3", "peer=1.2.3"},
        {"drop peer=127.0.0.1:0", "peer=127.0.0.1:0"},
        {"drop peer=[127.0.0.1]", "peer=[127.0.0.1]"},
        {"drop every=0", "every=0"},
        {"drop count=0", "count=0"},
        {"drop after=x", "after=x"},
        {"drop probability=1.5", "probability=1.5"},
        {"drop probability=-0.1", "probability=-0.1"},
        {"drop probability=nan", "probability=nan"},
        {"drop sometimes", "sometimes"},
        {"drop fc=3 fc=4", "fc=4"},
        {"drop drop", "drop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FaultRule rule;
        std::string problem;
        EXPECT_FALSE(ParseFaultRule(c.text, &rule, &problem));
        if (*c.word != '\0') {
            EXPECT_EQ(problem.rfind(std::string("cannot read '") + c.word + "': ", 0), 0u) << problem;
        } else {
            EXPECT_FALSE(problem.empty());
        }
    }
}

// The set keeps ids stable through removals and holds at most kMaxFaultRules.
TEST(FaultRulesTest, IdsStayStableAndTheSetIsBounded)
{
    ClearFaultRules();
    std::string problem;
    const uint32_t first = AddFaultRule("drop fc=3", &problem, true);
    const uint32_t second = AddFaultRule("close unit=9", &problem, true);
    EXPECT_EQ(AddFaultRule("close unit=", &problem, true), 0u);
    EXPECT_EQ(problem.rfind("cannot read 'unit='", 0), 0u) << problem;
    EXPECT_TRUE(RemoveFaultRule(first));
    EXPECT_FALSE(RemoveFaultRule(first));
    FaultRuleView views[kMaxFaultRules];
    ASSERT_EQ(CopyFaultRules(views), 1);
    EXPECT_EQ(views[0].id, second);
    EXPECT_STREQ(views[0].text, "close unit=9");
    while (AddFaultRule("drop", &problem, true) != 0) {
    }
    EXPECT_EQ(CopyFaultRules(views), kMaxFaultRules);
    EXPECT_TRUE(AreFaultRulesSet());
    ClearFaultRules();
    EXPECT_FALSE(AreFaultRulesSet());
    EXPECT_GT(AddFaultRule("drop", &problem, true), second + kMaxFaultRules - 1);
    ClearFaultRules();
}

}  // namespace
