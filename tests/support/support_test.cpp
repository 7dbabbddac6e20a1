// The shared test helpers: a matcher that passes a failure by, or does not
// say why, or a fixture copy that fails quietly, would hide real faults.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/xbase.h"
#include "support/EngineMatchers.h"
#include "support/FixtureFolder.h"
#include "support/ResultMatchers.h"

namespace {

using qly::ErrorCode;
using qly::Result;
using qly::ResultOr;
using qly::test::FailsWith;
using qly::test::IsOk;
using qly::test::XbArea;
using qly::test::XbReturns;
using qly::test::XbTrue;
using ::testing::HasSubstr;
using ::testing::Not;

template <typename M, typename T>
std::string explain(const M& matcher, const T& value) {
    ::testing::StringMatchResultListener listener;
    ::testing::ExplainMatchResult(matcher, value, &listener);
    return listener.str();
}

TEST(ResultMatchers, MatchTheOutcomeAndPrintTheCodeAndMessageOfAFailure) {
    const Result full = Result::noSpace("/data/MAIN.DBF: no space left on device");
    EXPECT_THAT(Result::ok(), IsOk());
    EXPECT_THAT(full, Not(IsOk()));
    EXPECT_EQ(::testing::PrintToString(full),
              "NoSpace \"/data/MAIN.DBF: no space left on device\"");
    EXPECT_THAT(full, FailsWith(ErrorCode::NoSpace));
    EXPECT_THAT(full, Not(FailsWith(ErrorCode::IoError)));
    EXPECT_THAT(Result::ok(), Not(FailsWith(ErrorCode::Ok)));
    EXPECT_EQ(explain(FailsWith(ErrorCode::IoError), Result::ok()), "succeeded");

    // an older result type without a printer of its own is explained
    struct Status {
        bool ok() const { return false; }
        const std::string& message() const { return text; }
        std::string text = "MAIN.cdx: tag NAME is damaged";
    };
    EXPECT_THAT(Status(), Not(IsOk()));
    EXPECT_EQ(explain(IsOk(), Status()), "failed with \"MAIN.cdx: tag NAME is damaged\"");

    const ResultOr<int> value(42);
    const ResultOr<int> missing(Result::notFound("tag NAME not found"));
    EXPECT_THAT(value, IsOk());
    EXPECT_THAT(missing, FailsWith(ErrorCode::NotFound));
    EXPECT_EQ(::testing::PrintToString(missing), "NotFound \"tag NAME not found\"");
}

TEST(EngineMatchers, MatchTheReturnAndPrintTheEnginesErrorOtherwise) {
    xb_CloseAll();
    xb_ClearError();
    const int area = xb_Use("/nonexistent/NOSUCH.DBF", "", kXbModeShared, kXbDriverFox);
    EXPECT_THAT(area, Not(XbArea()));
    EXPECT_THAT(explain(XbArea(), area), HasSubstr("NOSUCH"));
    EXPECT_THAT(-1, XbTrue());
    EXPECT_THAT(0, Not(XbTrue()));
    EXPECT_THAT(kXbAppendOk, XbReturns(kXbAppendOk));
    EXPECT_THAT(kXbAppendNoTable, Not(XbReturns(kXbAppendOk)));
}

TEST(FixtureFolder, HoldsWritableCopiesAndIsGoneAfterwards) {
    std::filesystem::path where;
    {
        const qly::test::FixtureFolder folder("sample");
        ASSERT_EQ(folder.error(), "");
        where = folder.path();
        const auto perms = std::filesystem::status(folder.file("MAIN.DBF")).permissions();
        EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
        EXPECT_TRUE(std::filesystem::exists(folder.file("LOOKUP.DBF")));
    }
    EXPECT_FALSE(std::filesystem::exists(where));
}

TEST(FixtureFolder, AMissingSetIsAnErrorNamingIt) {
    const qly::test::FixtureFolder folder("no-such-set");
    EXPECT_THAT(folder.error(), HasSubstr("no-such-set"));
}

}  // namespace
