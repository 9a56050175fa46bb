#include "win32/picture_worker.h"

#include <objbase.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "win32/desktop_win32.h"

namespace kesk::win {

struct PictureWorker::Shared {
    mutable SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
    std::deque<PictureJob> jobs;
    std::uint64_t generation = 0;
    std::vector<PictureResult> results;
    bool stopping = false;
    bool busy = false;
    HWND window = nullptr;
    UINT message = 0;
    bool announced = false;
    std::uint64_t sourcesRead = 0;
    DesktopMaker makeDesktop;
    std::size_t cacheBytes = 0;
};

namespace {

class Lock {
  public:
    explicit Lock(SRWLOCK& l) noexcept : l_(l) { AcquireSRWLockExclusive(&l_); }
    ~Lock() { ReleaseSRWLockExclusive(&l_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    SRWLOCK& l_;
};

} // namespace

PictureWorker::PictureWorker(DesktopMaker makeDesktop, std::size_t cacheBytes)
    : shared_(std::make_shared<Shared>()) {
    shared_->makeDesktop = std::move(makeDesktop);
    shared_->cacheBytes = cacheBytes;
    // The thread holds its own share: an abandoned thread frees it when it ends.
    auto* share = new std::shared_ptr<Shared>(shared_);
    thread_ = CreateThread(nullptr, 0, &PictureWorker::run, share, 0, nullptr);
    if (thread_ == nullptr) {
        delete share;
    }
}

PictureWorker::~PictureWorker() {
    stop(kStopWaitMs);
}

DWORD WINAPI PictureWorker::run(void* param) noexcept {
    std::shared_ptr<Shared> sh;
    {
        auto* share = static_cast<std::shared_ptr<Shared>*>(param);
        sh = std::move(*share);
        delete share;
    }
    Shared& s = *sh;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    try {
        PictureCache cache(s.cacheBytes);
        // Made for a burst of work and let go when the queue runs dry: what the platform
        // loads to read pictures (decoder factories, the shell's objects) is not kept at idle.
        std::unique_ptr<Desktop> desktop;
        std::unique_ptr<PictureResolver> resolver;
        for (;;) {
            PictureJob job;
            std::uint64_t generation = 0;
            bool letGo = false;
            {
                Lock hold(s.lock);
                s.busy = false;
                if (desktop != nullptr && s.jobs.empty() && !s.stopping) {
                    letGo = true;
                    s.busy = true; // idle() only once it is let go
                } else {
                    while (!s.stopping && s.jobs.empty()) {
                        SleepConditionVariableSRW(&s.wake, &s.lock, INFINITE, 0);
                    }
                    if (s.stopping) {
                        break;
                    }
                    job = std::move(s.jobs.front());
                    s.jobs.pop_front();
                    generation = s.generation;
                    s.busy = true;
                }
            }
            if (letGo) {
                resolver.reset();
                desktop.reset();
                continue;
            }
            PictureResult r;
            std::uint64_t read = 0;
            try {
                if (desktop == nullptr) {
                    desktop = s.makeDesktop ? s.makeDesktop() : std::make_unique<Win32Desktop>();
                    resolver = std::make_unique<PictureResolver>(*desktop, &cache);
                }
                const std::uint64_t before = resolver->sourcesRead();
                r = resolver->resolve(job);
                read = resolver->sourcesRead() - before;
            } catch (...) {
                // Out of memory for one picture: the item keeps the fallback, the rest go on.
                r = PictureResult{};
                r.position = job.position;
                r.item = job.item;
                r.source = IconNotFound;
            }
            r.generation = generation;
            Lock hold(s.lock);
            s.sourcesRead += read;
            if (s.stopping || generation != s.generation) {
                continue;
            }
            s.results.push_back(std::move(r));
            if (!s.announced && s.window != nullptr) {
                s.announced = PostMessageW(s.window, s.message, 0, 0) != FALSE;
            }
        }
    } catch (...) {
        // No memory for the thread's own objects: the thread ends, the items keep their
        // placeholders.
    }
    {
        Lock hold(s.lock);
        s.busy = false;
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return 0;
}

void PictureWorker::submit(std::vector<PictureJob> jobs, std::uint64_t generation) {
    Lock hold(shared_->lock);
    Shared& s = *shared_;
    s.jobs.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    s.generation = generation;
    std::erase_if(s.results,
                  [generation](const PictureResult& r) { return r.generation != generation; });
    WakeConditionVariable(&s.wake);
}

void PictureWorker::notify(HWND window, UINT message) noexcept {
    Lock hold(shared_->lock);
    Shared& s = *shared_;
    s.window = window;
    s.message = message;
    s.announced = false;
    if (window != nullptr && !s.results.empty()) {
        s.announced = PostMessageW(window, message, 0, 0) != FALSE;
    }
}

void PictureWorker::forget(HWND window) noexcept {
    Lock hold(shared_->lock);
    if (shared_->window == window) {
        shared_->window = nullptr;
        shared_->announced = false;
    }
}

std::vector<PictureResult> PictureWorker::take() {
    std::vector<PictureResult> out;
    Lock hold(shared_->lock);
    Shared& s = *shared_;
    out.swap(s.results);
    if (out.empty()) {
        s.announced = false;
    }
    return out;
}

bool PictureWorker::idle() const noexcept {
    Lock hold(shared_->lock);
    return shared_->jobs.empty() && !shared_->busy;
}

std::uint64_t PictureWorker::sourcesRead() const noexcept {
    Lock hold(shared_->lock);
    return shared_->sourcesRead;
}

bool PictureWorker::stop(DWORD waitMs) noexcept {
    {
        Lock hold(shared_->lock);
        shared_->stopping = true;
        shared_->jobs.clear();
        shared_->results.clear();
        shared_->window = nullptr;
        WakeAllConditionVariable(&shared_->wake);
    }
    if (thread_ == nullptr) {
        return true;
    }
    const bool ended = WaitForSingleObject(thread_, waitMs) == WAIT_OBJECT_0;
    CloseHandle(thread_);
    thread_ = nullptr;
    return ended;
}

} // namespace kesk::win
