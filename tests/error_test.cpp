// The error context, the abort switch and the always-on precondition checks.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace kvgtest;

namespace {

TEST(ErrorContext, KeepsOnlyTheLatestFailure) {
    KVGE_Context *err = KVGE_createContext("name");
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(KVGE_getContextCode(err), KVG_ERR_NONE);
    EXPECT_EQ(KVGE_getContextDescription(err), nullptr);
    KVGE__setContextDescription(err, KVG_ERR_PARAM, "first", "here", 0);
    KVGE__setContextDescription(err, KVG_ERR_LIMITS, "second", "there", 12);
    EXPECT_EQ(KVGE_getContextCode(err), KVG_ERR_LIMITS);
    EXPECT_STREQ(KVGE_getContextDescription(err), "second");
    KVGE_clearContext(err);
    EXPECT_EQ(KVGE_getContextCode(err), KVG_ERR_NONE);
    EXPECT_EQ(KVGE_getContextDescription(err), nullptr);
    KVGE_destroyContext(err);
}

TEST(ErrorContext, SuccessfulCallsDoNotClearIt) {
    WriterFixture w;
    EXPECT_EQ(KVG_end(w.get()), -1);
    ASSERT_EQ(KVG_text(w.get(), 0, 0, "x"), 0);
    EXPECT_EQ(w.code(), KVG_ERR_CONTEXT);
    EXPECT_EQ(w.message(), "Function is invalid outside primitive definition");
}

using ErrorContextDeathTest = ::testing::Test;

TEST_F(ErrorContextDeathTest, AbortSwitchPrintsTheFailureAndStops) {
    EXPECT_DEATH(
        {
            KVGE_abort = 1;
            KVGE_Context *err = KVGE_createContext("name");
            KVGE__setContextDescription(err, KVG_ERR_PARAM, "Invalid font style", "kvgfunction",
                                        42);
        },
        "kvgfunction:42 - error #4: Invalid font style");
}

TEST_F(ErrorContextDeathTest, PreconditionsNameTheirExpression) {
    KVGE_Context *err = KVGE_createContext("name");
    EXPECT_DEATH(KVGE__setContextDescription(err, 1, "d", "f", -1), "srcline >= 0");
    EXPECT_DEATH(KVGE__setContextDescription(err, 1, nullptr, "f", 1), "desc");
    EXPECT_DEATH(KVG_getErrorCode(nullptr), "fl != \\(\\(void \\*\\)0\\)");
    EXPECT_DEATH(KVG_setCompressionFileOption(nullptr, 1), "opt != \\(\\(void \\*\\)0\\)");
    KVGE_destroyContext(err);
}

}  // namespace
