#pragma once

#include <filesystem>
#include <functional>
#include <string>

// A start of the application while another instance runs, and the running instance's side of it. Without a system
// tray the running instance's menu lives in a window of its own, so a second start asks it to bring that window back
// and ends; with a tray, or when the running instance does not answer, it says in a dialog that the application runs
// already.
// The dialog runs in the application's event loop, so SIGTERM and SIGINT end it as they end the first instance.
class SecondStart {
public:
    SecondStart() = delete;

    static constexpr const char* showMenuRequest = "showMenu";
    static constexpr const char* menuShownAnswer = "menuShown";
    static constexpr int answerTimeoutMs = 3000;

    // What the second start does; the process's exit status. Needs the QApplication. `startFinished` is called before
    // the dialog opens: a dialog waits for the user as long as the user takes, which no limit on the start may end.
    static int run(const std::filesystem::path& socket, const std::function<void()>& startFinished);

    // The running instance's answer to a request of a second start; `showMenu` shows its menu window.
    static std::string answer(const std::string& request, const std::function<void()>& showMenu);
};
