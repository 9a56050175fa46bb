#pragma once
// Files dropped from the shell: an OLE drop target for a window, and the paths
// a drop carries (CF_HDROP, as the shell and every file manager deliver them).

#include <windows.h>

#include <ole2.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace kesk::win {

// The paths of a file drop in their order, UTF-8; empty when it carries none.
std::vector<std::string> droppedPaths(HDROP drop);
std::vector<std::string> droppedPaths(IDataObject* data);

// Accepts file drops when given `onDrop` (and shows the copy cursor only for
// data that carries files); without it, takes nothing and calls `onOver` at
// every drag-over notification. The callbacks run on the window's thread and
// must not throw.
// COM interfaces have no virtual destructor; this object is only ever ended by Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class DropTarget final : public IDropTarget {
  public:
    using DropFn = std::function<void(const std::vector<std::string>& paths)>;
    using OverFn = std::function<void()>;
    DropTarget(DropFn onDrop, OverFn onOver);
    DropTarget(const DropTarget&) = delete;
    DropTarget& operator=(const DropTarget&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL pt,
                                        DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL pt,
                                   DWORD* effect) override;

  private:
    ~DropTarget() = default;
    DWORD effectNow() noexcept;

    LONG refs_ = 1;
    DropFn onDrop_;
    OverFn onOver_;
    bool carriesFiles_ = false;
};
#pragma GCC diagnostic pop

// A window registered as a drop target for as long as this object lives.
// Registration needs OLE on the thread; where it fails the window accepts the
// older WM_DROPFILES instead (see `usesDropFiles`).
class DropRegistration {
  public:
    DropRegistration() = default;
    DropRegistration(HWND hwnd, DropTarget* target);
    ~DropRegistration();
    DropRegistration(DropRegistration&& other) noexcept;
    DropRegistration& operator=(DropRegistration&& other) noexcept;

    bool usesDropFiles() const noexcept { return dropFiles_; }
    DropTarget* target() const noexcept { return target_; }

  private:
    void reset() noexcept;
    HWND hwnd_ = nullptr;
    DropTarget* target_ = nullptr;
    bool registered_ = false;
    bool dropFiles_ = false;
};

} // namespace kesk::win
