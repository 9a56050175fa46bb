#include "win32/picture_worker.h"

#include <objbase.h>

#include <algorithm>
#include <deque>
#include <new>
#include <utility>

#include "win32/desktop_win32.h"

namespace kesk::win {

struct PictureWorker::Shared {
    mutable SRWLOCK lock = SRWLOCK_INIT;
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
    // Whether a thread is at work on the jobs. A thread runs only while there is work: an idle
    // one would hold its stack and the platform's per-thread state for nothing.
    bool running = false;
    // Used by the running thread alone; kept here so that it outlives each thread.
    std::unique_ptr<PictureCache> cache;
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

// The worker's COM apartment, single-threaded as the shell's functions want it, entered for a
// burst of work. Leaving it unloads the modules its objects brought in (the picture decoders
// and what they use), which otherwise stay for the life of the process.
class Apartment {
  public:
    Apartment() = default;
    ~Apartment() { leave(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

    void enter() noexcept {
        if (!entered_) {
            entered_ = SUCCEEDED(
                CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
        }
    }
    void leave() noexcept {
        if (entered_) {
            // Every object of the burst is released by now: each module whose objects are all
            // gone may go at once, not after the usual delay.
            CoFreeUnusedLibrariesEx(0, 0);
            CoUninitialize();
            entered_ = false;
        }
    }

  private:
    bool entered_ = false;
};

} // namespace

PictureWorker::PictureWorker(DesktopMaker makeDesktop, std::size_t cacheBytes)
    : shared_(std::make_shared<Shared>()) {
    shared_->makeDesktop = std::move(makeDesktop);
    shared_->cache = std::make_unique<PictureCache>(cacheBytes);
}

void PictureWorker::startThread() noexcept {
    Shared& s = *shared_;
    if (s.running || s.stopping) {
        return;
    }
    // An earlier thread has said it ends; it touches nothing shared any more.
    if (thread_ != nullptr) {
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    // The thread holds its own share: an abandoned thread frees it when it ends.
    auto* share = new (std::nothrow) std::shared_ptr<Shared>(shared_);
    if (share == nullptr) {
        return;
    }
    thread_ = CreateThread(nullptr, 0, &PictureWorker::run, share, 0, nullptr);
    if (thread_ == nullptr) {
        delete share; // the jobs wait for the next submission
        return;
    }
    s.running = true;
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
    try {
        PictureCache& cache = *s.cache;
        // Made for a burst of work and let go when the queue runs dry: what the platform
        // loads to read pictures (decoder factories, the shell's objects, the apartment and the
        // decoders' modules) is not kept at idle, nor is the thread itself.
        Apartment apartment;
        std::unique_ptr<Desktop> desktop;
        std::unique_ptr<PictureResolver> resolver;
        for (;;) {
            PictureJob job;
            std::uint64_t generation = 0;
            bool letGo = false;
            {
                Lock hold(s.lock);
                s.busy = false;
                if (s.stopping) {
                    break;
                }
                if (s.jobs.empty()) {
                    if (desktop == nullptr) {
                        // Nothing held and nothing to do: the thread ends, and the next
                        // submission starts another.
                        s.running = false;
                        return 0;
                    }
                    letGo = true;
                    s.busy = true; // idle() only once it is let go
                } else {
                    job = std::move(s.jobs.front());
                    s.jobs.pop_front();
                    generation = s.generation;
                    s.busy = true;
                }
            }
            if (letGo) {
                resolver.reset();
                desktop.reset();
                apartment.leave();
                continue;
            }
            PictureResult r;
            std::uint64_t read = 0;
            try {
                if (desktop == nullptr) {
                    apartment.enter();
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
    Lock hold(s.lock);
    s.busy = false;
    s.running = false;
    return 0;
}

void PictureWorker::submit(std::vector<PictureJob> jobs, std::uint64_t generation) {
    Lock hold(shared_->lock);
    Shared& s = *shared_;
    s.jobs.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    s.generation = generation;
    std::erase_if(s.results,
                  [generation](const PictureResult& r) { return r.generation != generation; });
    if (!s.jobs.empty()) {
        startThread();
    }
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

bool PictureWorker::threadRunning() const noexcept {
    Lock hold(shared_->lock);
    return shared_->running;
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
