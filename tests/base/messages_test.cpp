#include "base/messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "base/string_table.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class MessagesTest : public test::ProgramTest {};

TEST(MessageCatalogue, EveryNumberHasItsTextAndTheGapsStayEmpty) {
  int present = 0;
  for (int n = 0; n <= 106; ++n) {
    bool unused = n == 88 || n == 89 || (n >= 93 && n <= 95);
    EXPECT_EQ(HasString(kMessageBase + n), !unused) << "message " << n;
    present += HasString(kMessageBase + n);
  }
  EXPECT_EQ(present, 102);
  EXPECT_FALSE(HasString(kMessageBase + 107));
  EXPECT_EQ(MessageText(0), "Not enough memory to render.");
  EXPECT_EQ(MessageText(7), "Not enough memory for new image.");
  EXPECT_EQ(MessageText(105), "This TimeLine has been improperly constructed.  It lacks:");
  EXPECT_EQ(MessageText(106), "This Undo Layer belongs to an image which has been closed.");
  EXPECT_EQ(MessageText(81),
            "The area selection could not be placed in the Time Line,\n"
            "because the Time Line position has been lost.");
  EXPECT_EQ(MessageText(88), "");
  EXPECT_EQ(MessageText(92), "Film strip file is damaged.");
  EXPECT_TRUE(DuplicateStringIds().empty());
}

TEST_F(MessagesTest, MessageShowsTitledDialogAndLogsItsText) {
  StartLog();
  EXPECT_EQ(ShowMessage(7), 1);
  ASSERT_EQ(host->messages.size(), 1u);
  const MessageRequest& r = host->messages[0];
  EXPECT_EQ(r.kind, MessageKind::Plain);
  EXPECT_EQ(r.dialog, "MessRC");
  EXPECT_EQ(r.title, "Message 007");  // also the help keyword
  EXPECT_EQ(r.text, "Not enough memory for new image.");
  EXPECT_EQ(r.buttons, (std::vector<std::string>{"&OK"}));
  EXPECT_EQ(Logged(), "MESSAGE(007): \"Not enough memory for new image.\"\n");
  // The plain dialog shows a two-line message as one text.
  ShowMessage(81);
  EXPECT_EQ(host->messages[1].text, MessageText(81));
  EXPECT_TRUE(host->messages[1].secondLine.empty());
}

TEST_F(MessagesTest, MessageWithTextSplitsAtFirstLineBreakAndLogsExtraLine) {
  StartLog();
  ShowMessageWith(81, "frame 12");
  const MessageRequest& r = host->messages.at(0);
  EXPECT_EQ(r.dialog, "MessRC2");
  EXPECT_EQ(r.firstLine, "The area selection could not be placed in the Time Line,");
  EXPECT_EQ(r.secondLine, "because the Time Line position has been lost.");
  EXPECT_EQ(r.extra, "frame 12");
  EXPECT_EQ(Logged(),
            "MESSAGE(081): \"The area selection could not be placed in the Time Line,\n"
            "because the Time Line position has been lost.\"\nframe 12\n");

  ShowMessageFile(6, "C:/pics/a.bmp");
  EXPECT_EQ(host->messages.at(1).extra, "File: \"C:/pics/a.bmp\"");
  EXPECT_EQ(host->messages.at(1).firstLine, "Could not open the image file.");
  EXPECT_TRUE(host->messages.at(1).secondLine.empty());
}

TEST_F(MessagesTest, QuestionsReturnTheirButtonsAndCancelWhenClosed) {
  host->answers = {1, 0};
  EXPECT_EQ(AskProceed(65), 1);
  EXPECT_EQ(AskProceed(65), 0);
  EXPECT_EQ(AskProceed(65), 0);  // closed by the frame

  host->answers = {1};
  EXPECT_EQ(AskReplace(91, "out0001.bmp"), 1);
  EXPECT_EQ(host->messages.back().extra, "out0001.bmp");
  EXPECT_EQ(AskReplace(91, "out0001.bmp"), 0);

  host->answers = {1, 2};
  EXPECT_EQ(AskSave(85), 1);
  EXPECT_EQ(AskSave(85), 2);
  EXPECT_EQ(AskSave(85), 0);
  const MessageRequest& r = host->messages.back();
  EXPECT_EQ(r.dialog, "MessSave");
  EXPECT_EQ(r.question, "Do you want to save the current changes?");
  EXPECT_EQ(r.buttons, (std::vector<std::string>{"&Save Now", "Lose Changes", "&Cancel"}));
  EXPECT_EQ(r.results, (std::vector<int>{1, 2, 0}));
}

TEST_F(MessagesTest, HeadlessHostAnswersWhatLosesNothingUnlessConfigured) {
  auto& headless = InstallHost<HeadlessHost>();
  headless.SetQuiet(true);
  EXPECT_EQ(AskSave(85), 0);
  EXPECT_EQ(AskReplace(91, "x"), 0);
  EXPECT_EQ(AskProceed(65), 0);
  EXPECT_EQ(ShowMessage(11), 1);
  headless.SetAnswer(MessageKind::Replace, 1);
  EXPECT_EQ(AskReplace(91, "x"), 1);
  EXPECT_EQ(AskSave(85), 0);
}

TEST_F(MessagesTest, NotesAndHelpAreLogged) {
  StartLog();
  ShowNote("Bad header", "in frame 3");
  EXPECT_EQ(host->notes, (std::vector<std::string>{"Bad header\nin frame 3"}));
  HelpOn(MessageTitle(7));
  EXPECT_EQ(host->helpKeywords, (std::vector<std::string>{"Message 007"}));
  EXPECT_EQ(Logged(), "MESSAGE: \"Bad header\nin frame 3\"\nHelp on: \"Message 007\"\n");
  EXPECT_EQ(HelpKeywordOfTitle("Display Information: view 2"), "Display Information");
  EXPECT_EQ(HelpKeywordOfTitle("Tools"), "Tools");
}

TEST_F(MessagesTest, WithLoggingOffOrUnopenableNothingIsWrittenButDialogsStillShow) {
  ShowMessage(11);
  ShowNote("x");
  LogLine("ignored %d\n", 1);
  EXPECT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->notes.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(workDir / kLogFileName));

  // A log that cannot be opened leaves logging off; dialogs still show.
  std::filesystem::create_directory(workDir / kLogFileName);  // a folder in the way
  OpenLog(true);
  EXPECT_FALSE(LogIsOpen());
  ShowMessage(6);
  EXPECT_EQ(host->messages.size(), 2u);
}

TEST_F(MessagesTest, LogIsCreatedAnewWhenSwitchedOnAndAppendedAtStart) {
  OpenLog(true);
  LogLine("first\n");
  std::string created = Log();
  std::regex createdHeader(
      "          Pixanta:Q/v  Information log File\n"
      "          ------------------------------------\n"
      "            Created on  \\d\\d/\\d\\d/\\d\\d  at  \\d\\d:\\d\\d:\\d\\d\n\nfirst\n");
  EXPECT_TRUE(std::regex_match(created, createdHeader)) << created;

  OpenLog(true);  // switched on again: a new file
  EXPECT_EQ(Log().find("first"), std::string::npos);
  LogLine("second\n");
  CloseLog();
  LogLine("lost\n");

  OpenLog(false);  // program started with KeepLog set
  std::string appended = Log();
  std::regex appendedTail(
      "[^]*second\n\n    Pixanta:Q/v LOG appended on \\d\\d/\\d\\d/\\d\\d at \\d\\d:\\d\\d:\\d\\d\n"
      "    ---------------------------------------------------\n\n");
  EXPECT_TRUE(std::regex_match(appended, appendedTail)) << appended;
  EXPECT_EQ(appended.find("lost"), std::string::npos);
}

}  // namespace
}  // namespace qv
