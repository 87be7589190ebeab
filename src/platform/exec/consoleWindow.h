// Internal to the host layer: the console window of a desktop start.
#pragma once

namespace tolvarn::platform::internal {

/// While it lives, standard output goes to a window that opens with the first output (zenity's
/// text view, fed as lines come) instead of to wherever the desktop sent it, where nobody reads
/// it. When it goes, the window stays until the user closes it, and only then does this return.
/// Without any output no window ever opens. If zenity cannot be started, the output goes to the
/// old standard output after all.
class ConsoleWindow {
  public:
    ConsoleWindow();
    ~ConsoleWindow();
    ConsoleWindow(const ConsoleWindow&) = delete;
    ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  private:
    int savedOutput_ = -1; // the old standard output, put back at the end
    int finished_ = -1;    // closing this tells the relay that no more output comes
    int relay_ = -1;       // the process that feeds the window
};

} // namespace tolvarn::platform::internal
