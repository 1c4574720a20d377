#include "platform/ui/UiServices.h"
#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

using namespace sonvale::ui;

TEST(UiServices, DialogFilterSplitsIntoDescriptionPatternPairs) {
    auto f = parseDialogFilter("Wave files (*.wav)|*.wav");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].description, "Wave files (*.wav)");
    EXPECT_EQ(f[0].pattern, "*.wav");
    f = parseDialogFilter("A|*.a|B|*.b;*.c|dangling");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].pattern, "*.b;*.c");
    EXPECT_TRUE(parseDialogFilter("").empty());
}

TEST(UiServices, DefaultExtensionOnlyForNamesWithoutOne) {
    EXPECT_EQ(withDefaultExtension("/m/copy", ".wav"), "/m/copy.wav");
    EXPECT_EQ(withDefaultExtension("/m/copy", "wav"), "/m/copy.wav");
    EXPECT_EQ(withDefaultExtension("/m/copy.txt", ".wav"), "/m/copy.txt");
    EXPECT_EQ(withDefaultExtension("/m.d/copy", ".mp3"), "/m.d/copy.mp3");
    EXPECT_EQ(withDefaultExtension("/m/copy.", ".mp3"), "/m/copy.mp3");
    EXPECT_EQ(withDefaultExtension("/m/", ".mp3"), "/m/");
    EXPECT_EQ(withDefaultExtension("/m/copy", ""), "/m/copy");
}

TEST(UiServices, ScriptedAnswersInOrderAndRecordsEverything) {
    ScriptedUiServices ui;
    ui.queueConfirm(true);
    ui.queueConfirm(false);
    ui.queueSaveFile(std::string("/t/copy"));
    ui.queueSaveFile(std::nullopt);

    ui.messageBox("one");
    EXPECT_TRUE(ui.confirm("sure?"));
    EXPECT_FALSE(ui.confirm("really?"));
    std::string name = "keep";
    SaveDialogOptions opt{"", ".wav", "Wave files (*.wav)|*.wav", "", ""};
    EXPECT_TRUE(ui.saveFileDialog(opt, name));
    EXPECT_EQ(name, "/t/copy.wav");
    name = "keep";
    EXPECT_FALSE(ui.saveFileDialog(opt, name));
    EXPECT_EQ(name, "keep");
    EXPECT_EQ(ui.unansweredQuestions, 0);

    // Questions nobody queued an answer for are answered No / cancel and counted.
    EXPECT_FALSE(ui.confirm("unexpected?"));
    std::string folder = "keep";
    EXPECT_FALSE(ui.selectDirectory("Select directory", folder));
    EXPECT_EQ(folder, "keep");
    EXPECT_EQ(ui.unansweredQuestions, 2);

    EXPECT_EQ(ui.messages(), std::vector<std::string>{"one"});
    ASSERT_EQ(ui.shown.size(), 7u);
    EXPECT_EQ(ui.shown[1].kind, ScriptedUiServices::Kind::Confirm);
    EXPECT_EQ(ui.shown[1].text, "sure?");
    EXPECT_EQ(ui.saveDialogs.size(), 2u);
}

TEST(UiServices, PendingMessagesGoThroughTheCurrentServices) {
    ScriptedUiServices ui;
    processPendingMessages(); // none installed: nothing happens
    setCurrentUiServices(&ui);
    processPendingMessages();
    processPendingMessages();
    setCurrentUiServices(nullptr);
    EXPECT_EQ(ui.processCount, 2);
}
