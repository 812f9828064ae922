// Numbered messages, notes, help and the log file QVLOG.txt.
//
// Message n shows text 5000 + n in one of five dialog kinds and, while the
// log is open, writes it to the log. Diagnostic lines of every subsystem go
// to the log through LogLine, which writes nothing while logging is off.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kLogFileName = "QVLOG.txt";
inline constexpr const char* kProductTitle = "Pixanta:Q/v";
inline constexpr const char* kHelpFileName = "qv.hlp";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct LogState {
  std::unique_ptr<std::FILE, FileCloser> file;  // null while logging is off
};

// The program's one LogState (owned by the Program).
LogState& TheLog();

// The text of message n (empty for an unused number).
std::string MessageText(int n);
// "Message %03d": the title and the help keyword of message n.
std::string MessageTitle(int n);

int ShowMessage(int n);                                  // always 1 (OK)
int ShowMessageWith(int n, std::string_view extra);      // always 1 (OK)
int ShowMessageFile(int n, std::string_view fileName);   // always 1 (OK)
int AskProceed(int n);                                   // 1 Proceed, 0 Cancel
int AskReplace(int n, std::string_view name);            // 1 Replace, 0 Cancel
int AskSave(int n);                                      // 1 Save, 2 Lose, 0 Cancel
// The question asked when the last view of a changed image closes:
// 1 save before closing, 2 close without saving, 0 do not close.
int AskSaveOnClose(std::string_view imageName);

void ShowNote(std::string_view text, std::string_view second = {});
void HelpOn(std::string_view keyword);
// A dialog's help keyword: its window title up to the first ':'.
std::string HelpKeywordOfTitle(std::string_view title);

// Opens QVLOG.txt in the current directory: created anew with the
// "Information log File" header when createNew, else appended to with the
// "LOG appended" header. A file that cannot be opened leaves logging off.
void OpenLog(bool createNew);
void CloseLog();
bool LogIsOpen();
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qv
