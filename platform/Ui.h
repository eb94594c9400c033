#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <system_error>
#include <vector>

namespace mirel {

enum class MsgIcon { None, Information, Warning };
// Yes and No, the default Yes; or No, for a question whose safe answer is No.
enum class MsgButtons { Ok, YesNo, YesNoDefaultNo };

// What a message box returns: the button pressed.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Something to tell the user, as the logic hands it up: the text (UTF-8, line breaks as CR LF)
// and the icon a message box shows it with. The logic never shows it itself; each program says it
// in its own way.
struct Message {
    std::string text;
    MsgIcon icon = MsgIcon::None;
};
using Messages = std::vector<Message>;

// The user-facing services. Each program installs its own: the desktop program message boxes and
// its event loop, mirel-cli the console, the tests a recording fake.
class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows text (UTF-8, line breaks as CR LF) and returns the button pressed. Called by the
    // programs themselves, never by the codec or the pictures.
    virtual int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                           MsgButtons buttons) = 0;
    // Runs the pending events once and returns. Called once per picture row by the codec.
    virtual void yield() = 0;
    // How far the pass over a picture has come: done of total rows. Shown where a program shows
    // such things; nothing by default.
    virtual void progress(int64_t /*done*/, int64_t /*total*/) {}
};

// Installs the services used from now on; nullptr goes back to none (messages then go to standard
// error as they are, questions are answered No).
// The caller keeps ownership and must keep the object alive while it is installed.
void InstallUi(UiServices* services);
UiServices& Ui();

void Yield();
void Progress(int64_t done, int64_t total);

// Starts work on a thread of its own and hands back what will hold its result; where no thread
// can be started, runs it here first.
template <typename Work>
auto StartAside(Work work)
{
    try {
        return std::async(std::launch::async, std::move(work));
    } catch (const std::system_error&) {
        auto done = std::async(std::launch::deferred, std::move(work));
        done.wait();
        return done;
    }
}

// What done holds, yielding every 20 ms until it is there and calling afterYield() after each
// yield. Call it from the thread that yields (the desktop's window thread), never from a worker.
template <typename T, typename AfterYield>
T YieldUntil(std::future<T>& done, AfterYield afterYield)
{
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        Yield();
        afterYield();
    }
    return done.get();
}

// Runs work (a second or so of computing, such as a key derivation) aside and yields until it is
// done, so that a window stays alive and a stop is seen meanwhile. Returns what work returns.
template <typename Work>
auto WhileYielding(Work work)
{
    auto done = StartAside(std::move(work));
    return YieldUntil(done, [] {});
}

}  // namespace mirel
