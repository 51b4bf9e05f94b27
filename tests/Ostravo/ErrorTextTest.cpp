#include "platform/ErrorText.h"
#include "Ostravo/EString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::SetError;

// Every form of error text receives the same bytes, and every form answers false.
TEST(ErrorTextTest, EveryFormReceivesTheSameText)
{
    std::string text;
    std::string *textPointer = &text;
    EString estring("old");
    EString *estringPointer = &estring;

    EXPECT_FALSE(SetError(text, "plain"));
    EXPECT_EQ(text, "plain");
    EXPECT_FALSE(SetError(textPointer, "by pointer"));
    EXPECT_EQ(text, "by pointer");
    EXPECT_FALSE(SetError(estring, "plain"));
    EXPECT_STREQ(estring.c_str(), "plain");
    EXPECT_FALSE(SetError(estringPointer, "by pointer"));
    EXPECT_STREQ(estring.c_str(), "by pointer");

    EXPECT_FALSE(SetError(text, "Routine", "what failed."));
    EXPECT_EQ(text, "Routine() - what failed.");
    EXPECT_FALSE(SetError(estringPointer, "Routine", "what failed."));
    EXPECT_STREQ(estring.c_str(), "Routine() - what failed.");
    EXPECT_FALSE(SetError(textPointer, "Routine", 42, "what failed."));
    EXPECT_EQ(text, "Routine(42) : what failed.");
    EXPECT_FALSE(SetError(estring, "Routine", 42, "what failed."));
    EXPECT_STREQ(estring.c_str(), "Routine(42) : what failed.");
}

TEST(ErrorTextTest, NullPointerIsLeftAlone)
{
    std::string *noText = nullptr;
    EString *noEString = nullptr;
    EXPECT_FALSE(SetError(noText, "ignored"));
    EXPECT_FALSE(SetError(noEString, "Routine", "ignored"));
    EXPECT_FALSE(SetError(noEString, "Routine", 7, "ignored"));
}

} // namespace
