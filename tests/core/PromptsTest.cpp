#include "core/Prompts.h"

#include <gtest/gtest.h>

TEST(Prompts, SilentDefaultDeclinesAndCancels) {
    auto& p = vantor::CurrentPrompts();
    EXPECT_FALSE(p.askYesNo("?"));
    EXPECT_TRUE(p.chooseOpenFile("Open", "*").empty());
}

TEST(Prompts, RecorderAnswersInOrderAndRestoresTheDefault) {
    vantor::RecordingPrompts rec;
    rec.yesNoAnswers = {true, false};
    rec.fileAnswers = {"/tmp/a.bin"};
    {
        vantor::ScopedPrompts scope(rec);
        auto& p = vantor::CurrentPrompts();
        EXPECT_TRUE(p.askYesNo("one"));
        EXPECT_FALSE(p.askYesNo("two"));
        EXPECT_FALSE(p.askYesNo("three")); // queue empty: No
        p.showError("bad");
        EXPECT_EQ(p.chooseSaveFile("Save", "*"), "/tmp/a.bin");
        EXPECT_EQ(p.chooseSaveFile("Save", "*"), "");
    }
    EXPECT_EQ(rec.texts("question"), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(rec.texts("error"), std::vector<std::string>{"bad"});
    EXPECT_NE(&vantor::CurrentPrompts(), static_cast<vantor::Prompts*>(&rec));
}
