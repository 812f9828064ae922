#include "base/messages.h"

#include <cstdarg>
#include <ctime>

#include "base/host.h"
#include "base/string_table.h"

namespace qv {
namespace {

constexpr int kButtonOk = 1;

MessageRequest BaseRequest(MessageKind kind, const char* dialog, int n) {
  MessageRequest r;
  r.kind = kind;
  r.number = n;
  r.dialog = dialog;
  r.title = MessageTitle(n);
  r.text = MessageText(n);
  return r;
}

void LogMessage(int n, const std::string& text) {
  LogLine("MESSAGE(%03d): \"%s\"\n", n, text.c_str());
}

void AddButtons(MessageRequest& r, std::initializer_list<std::pair<const char*, int>> buttons) {
  for (const auto& [label, result] : buttons) {
    r.buttons.emplace_back(label);
    r.results.push_back(result);
  }
}

int RunWithText(int n, std::string extra) {
  MessageRequest r = BaseRequest(MessageKind::WithText, "MessRC2", n);
  r.extra = std::move(extra);
  auto brk = r.text.find('\n');
  r.firstLine = r.text.substr(0, brk);
  if (brk != std::string::npos) r.secondLine = r.text.substr(brk + 1);
  LogLine("MESSAGE(%03d): \"%s\"\n%s\n", n, r.text.c_str(), r.extra.c_str());
  AddButtons(r, {{"&OK", kButtonOk}});
  r.closeResult = kButtonOk;
  TheHost().RunMessage(r);
  return kButtonOk;
}

// The runtime's short date and time: "mm/dd/yy" and "hh:mm:ss".
void NowStrings(char (&date)[16], char (&time)[16]) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  std::strftime(date, sizeof date, "%m/%d/%y", &tm);
  std::strftime(time, sizeof time, "%H:%M:%S", &tm);
}

}  // namespace

std::string MessageText(int n) { return std::string(LoadString(kMessageBase + n)); }

std::string MessageTitle(int n) {
  char title[32];
  std::snprintf(title, sizeof title, "Message %03d", n);
  return title;
}

int ShowMessage(int n) {
  MessageRequest r = BaseRequest(MessageKind::Plain, "MessRC", n);
  LogMessage(n, r.text);
  AddButtons(r, {{"&OK", kButtonOk}});
  r.closeResult = kButtonOk;
  TheHost().RunMessage(r);
  return kButtonOk;
}

int ShowMessageWith(int n, std::string_view extra) { return RunWithText(n, std::string(extra)); }

int ShowMessageFile(int n, std::string_view fileName) {
  return RunWithText(n, "File: \"" + std::string(fileName) + "\"");
}

int AskProceed(int n) {
  MessageRequest r = BaseRequest(MessageKind::Proceed, "MessProceed", n);
  LogMessage(n, r.text);
  AddButtons(r, {{"&Proceed", 1}, {"&Cancel", 0}});
  return TheHost().RunMessage(r) == 1 ? 1 : 0;
}

int AskReplace(int n, std::string_view name) {
  MessageRequest r = BaseRequest(MessageKind::Replace, "MessReplace", n);
  r.extra = std::string(name);
  LogMessage(n, r.text);
  AddButtons(r, {{"&Replace", 1}, {"&Cancel", 0}});
  return TheHost().RunMessage(r) == 1 ? 1 : 0;
}

int AskSave(int n) {
  MessageRequest r = BaseRequest(MessageKind::Save, "MessSave", n);
  r.question = "Do you want to save the current changes?";
  LogMessage(n, r.text);
  AddButtons(r, {{"&Save Now", 1}, {"Lose Changes", 2}, {"&Cancel", 0}});
  int answer = TheHost().RunMessage(r);
  return (answer == 1 || answer == 2) ? answer : 0;
}

int AskSaveOnClose(std::string_view imageName) {
  MessageRequest r;
  r.kind = MessageKind::Save;
  r.dialog = "AskSave";
  r.title = "Closing Last View on Image";
  r.text = "The image:  " + std::string(imageName) + "  has changed.";
  AddButtons(r, {{"&Cancel, do not close", 0}, {"Close &Without saving", 2}, {"&Save before closing", 1}});
  int answer = TheHost().RunMessage(r);
  return (answer == 1 || answer == 2) ? answer : 0;
}

void ShowNote(std::string_view text, std::string_view second) {
  std::string full(text);
  if (!second.empty()) {
    full += '\n';
    full += second;
  }
  LogLine("MESSAGE: \"%s\"\n", full.c_str());
  TheHost().ShowNote(full);
}

void HelpOn(std::string_view keyword) {
  std::string k(keyword);
  LogLine("Help on: \"%s\"\n", k.c_str());
  TheHost().OpenHelp(k);
}

std::string HelpKeywordOfTitle(std::string_view title) {
  return std::string(title.substr(0, title.find(':')));
}

void OpenLog(bool createNew) {
  LogState& log = TheLog();
  log.file.reset();
  log.file.reset(std::fopen(kLogFileName, createNew ? "w" : "a"));
  if (!log.file) return;
  // Line buffered, so the log survives a crash up to its last line.
  std::setvbuf(log.file.get(), nullptr, _IOLBF, 4096);
  char date[16], time[16];
  NowStrings(date, time);
  if (createNew) {
    LogLine("          %s  Information log File\n", kProductTitle);
    LogLine("          ------------------------------------\n");
    LogLine("            Created on  %s  at  %s\n\n", date, time);
  } else {
    LogLine("\n    %s LOG appended on %s at %s\n", kProductTitle, date, time);
    LogLine("    ---------------------------------------------------\n\n");
  }
}

void CloseLog() { TheLog().file.reset(); }

bool LogIsOpen() { return TheLog().file != nullptr; }

void LogLine(const char* format, ...) {
  std::FILE* f = TheLog().file.get();
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
}

}  // namespace qv
