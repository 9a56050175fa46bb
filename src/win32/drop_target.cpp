#include "win32/drop_target.h"

#include "support/errors.h"
#include "win32/wtext.h"

#include <shellapi.h>

#include <utility>

namespace kesk::win {

namespace {

FORMATETC hdropFormat() {
    return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

} // namespace

std::vector<std::string> droppedPaths(HDROP drop) {
    std::vector<std::string> paths;
    if (drop == nullptr) {
        return paths;
    }
    const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        const UINT len = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(static_cast<std::size_t>(len) + 1, L'\0');
        const UINT got = DragQueryFileW(drop, i, path.data(), len + 1);
        path.resize(got);
        if (!path.empty()) {
            paths.push_back(narrow(path));
        }
    }
    return paths;
}

std::vector<std::string> droppedPaths(IDataObject* data) {
    std::vector<std::string> paths;
    if (data == nullptr) {
        return paths;
    }
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) {
        return paths;
    }
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
        // A locked HGLOBAL of a CF_HDROP is the DROPFILES block DragQueryFile reads.
        if (void* block = GlobalLock(medium.hGlobal)) {
            guardEvent([&] { paths = droppedPaths(static_cast<HDROP>(block)); });
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return paths;
}

DropTarget::DropTarget(DropFn onDrop, OverFn onOver)
    : onDrop_(std::move(onDrop)), onOver_(std::move(onOver)) {}

HRESULT DropTarget::QueryInterface(REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG DropTarget::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG DropTarget::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) {
        delete this;
    }
    return static_cast<ULONG>(n);
}

DWORD DropTarget::effectNow() noexcept {
    if (!onDrop_) {
        if (onOver_) {
            guardEvent([this] { onOver_(); });
        }
        return DROPEFFECT_NONE;
    }
    return carriesFiles_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    FORMATETC format = hdropFormat();
    carriesFiles_ = data != nullptr && data->QueryGetData(&format) == S_OK;
    if (effect != nullptr) {
        *effect = effectNow();
    }
    return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (effect != nullptr) {
        *effect = effectNow();
    }
    return S_OK;
}

HRESULT DropTarget::DragLeave() {
    carriesFiles_ = false;
    return S_OK;
}

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    carriesFiles_ = false;
    DWORD result = DROPEFFECT_NONE;
    if (onDrop_) {
        // A drop without file paths (text, for instance) writes nothing.
        const std::vector<std::string> paths = droppedPaths(data);
        if (!paths.empty()) {
            guardEvent([&] { onDrop_(paths); });
            result = DROPEFFECT_COPY;
        }
    }
    if (effect != nullptr) {
        *effect = result;
    }
    return S_OK;
}

DropRegistration::DropRegistration(HWND hwnd, DropTarget* target) : hwnd_(hwnd), target_(target) {
    if (hwnd_ == nullptr || target_ == nullptr) {
        return;
    }
    target_->AddRef();
    registered_ = SUCCEEDED(RegisterDragDrop(hwnd_, target_));
    if (!registered_) {
        DragAcceptFiles(hwnd_, TRUE);
        dropFiles_ = true;
    }
}

DropRegistration::~DropRegistration() {
    reset();
}

DropRegistration::DropRegistration(DropRegistration&& other) noexcept
    : hwnd_(std::exchange(other.hwnd_, nullptr)), target_(std::exchange(other.target_, nullptr)),
      registered_(std::exchange(other.registered_, false)),
      dropFiles_(std::exchange(other.dropFiles_, false)) {}

DropRegistration& DropRegistration::operator=(DropRegistration&& other) noexcept {
    if (this != &other) {
        reset();
        hwnd_ = std::exchange(other.hwnd_, nullptr);
        target_ = std::exchange(other.target_, nullptr);
        registered_ = std::exchange(other.registered_, false);
        dropFiles_ = std::exchange(other.dropFiles_, false);
    }
    return *this;
}

void DropRegistration::reset() noexcept {
    if (registered_ && IsWindow(hwnd_)) {
        RevokeDragDrop(hwnd_);
    }
    if (target_ != nullptr) {
        target_->Release();
    }
    hwnd_ = nullptr;
    target_ = nullptr;
    registered_ = false;
    dropFiles_ = false;
}

} // namespace kesk::win
