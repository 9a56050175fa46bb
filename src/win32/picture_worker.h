#pragma once
// The thread that reads item pictures, so that the window's thread never waits on a file, a
// program's icons or the shell. It owns everything it reads through (its own Desktop, made on
// the thread, COM apartment-threaded as the shell's functions want it, and the picture cache
// shared by every build), so no COM object crosses threads. Results are handed over in
// batches: one message tells the window that some are waiting, and the window takes them.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "menu/picture_jobs.h"
#include "platform/desktop.h"

namespace kesk::win {

// A window message (registered under this name) the menu window answers with its worker's
// sourcesRead(), so that a measurement from outside can tell whether sources were read again.
inline constexpr wchar_t kSourcesReadMessageName[] = L"KeskVLM.PictureSourcesRead";

class PictureWorker final : public PictureService {
  public:
    // Makes the Desktop the worker reads through, on the worker's thread: once for each
    // burst of work, as the worker lets it go whenever it runs out of jobs.
    using DesktopMaker = std::function<std::unique_ptr<Desktop>()>;

    // A thread runs while there are jobs, with a Win32Desktop unless `makeDesktop` is given,
    // and ends once it has let go of everything; the picture cache stays.
    explicit PictureWorker(DesktopMaker makeDesktop = {},
                           std::size_t cacheBytes = PictureCache::kDefaultBoundBytes);
    // Stops the thread as stop(kStopWaitMs) does.
    ~PictureWorker() override;
    PictureWorker(const PictureWorker&) = delete;
    PictureWorker& operator=(const PictureWorker&) = delete;

    // Replaces every job still waiting, and drops every result of an older generation.
    void submit(std::vector<PictureJob> jobs, std::uint64_t generation) override;

    // Where to say that results are waiting: `message` is posted to `window` when the first
    // result is ready, and not again before take() has found nothing left. No window: the
    // results wait for take().
    void notify(HWND window, UINT message) noexcept;
    // The results finished since the last call, in the order they were finished. When it
    // finds none, the next result is announced again; otherwise the caller comes back for
    // more (a timer), so a busy worker never floods the window's queue ahead of input.
    std::vector<PictureResult> take();
    // `window` goes away: nothing more is posted to it.
    void forget(HWND window) noexcept;

    // Whether the thread has no job left and runs none.
    bool idle() const noexcept;
    // Whether a thread runs: from a submission with jobs until the thread has let go of
    // everything it read through and ended.
    bool threadRunning() const noexcept;
    // Sources read since the worker started (answers from the cache not counted).
    std::uint64_t sourcesRead() const noexcept;

    // Ends the work: drops the jobs, lets the job at hand finish and the thread end, and
    // waits at most `waitMs` for it. A thread held up inside the platform (a source that does
    // not answer) is left behind, to end by itself or with the process. True when the
    // thread ended in time.
    bool stop(DWORD waitMs) noexcept;

    static constexpr DWORD kStopWaitMs = 500;

  private:
    struct Shared;
    static DWORD WINAPI run(void* param) noexcept;
    // With the lock held: a thread for the jobs, unless one runs.
    void startThread() noexcept;

    std::shared_ptr<Shared> shared_;
    HANDLE thread_ = nullptr;
};

} // namespace kesk::win
