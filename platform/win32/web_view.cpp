#include "platform/win32/web_view.hpp"

#include "platform/win32/wide_text.hpp"

namespace nubeko::win32 {

// COM interfaces have no virtual destructor: the objects below delete
// themselves on their last Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

// The frame the control is activated in: our top-level window. It offers no
// menus, tool space or accelerators.
class Frame final : public IOleInPlaceFrame {
public:
    explicit Frame(HWND window) : window_(window) {}
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
            iid == IID_IOleInPlaceFrame) {
            *object = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~Frame() = default;

    LONG references_ = 1;
    HWND window_;
};

// The control's site: the child area it covers.
class ControlSite final : public IOleClientSite, public IOleInPlaceSite {
public:
    ControlSite(HWND area, Size size) : area_(area), size_(size), frame_(new Frame(GetAncestor(area, GA_ROOT))) {}
    ControlSite(const ControlSite&) = delete;
    ControlSite& operator=(const ControlSite&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = area_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = frame_.get();
        frame_->AddRef();
        *document = nullptr;
        *position = {0, 0, size_.width, size_.height};
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(area_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

private:
    ~ControlSite() = default;

    LONG references_ = 1;
    HWND area_;
    Size size_;
    ComPtr<Frame> frame_;
};

#pragma GCC diagnostic pop

// A BSTR owned for the length of one call.
class Bstr {
public:
    explicit Bstr(const std::wstring& text)
        : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(bstr_); }
    BSTR get() const { return bstr_; }

private:
    BSTR bstr_;
};

VARIANT integer_variant(LONG value) {
    VARIANT variant;
    VariantInit(&variant);
    V_VT(&variant) = VT_I4;
    V_I4(&variant) = value;
    return variant;
}

VARIANT string_variant(const Bstr& text) {
    VARIANT variant;
    VariantInit(&variant);
    V_VT(&variant) = VT_BSTR;
    V_BSTR(&variant) = text.get();
    return variant;
}

VARIANT_BOOL variant_bool(bool on) { return on ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

std::unique_ptr<WebView> WebView::create(HWND area, Size size) {
    ComPtr<IOleObject> object;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.put())))
        return nullptr;
    // From here on the destructor undoes whatever has been done.
    std::unique_ptr<WebView> view(new WebView(std::move(object)));
    view->site_ = ComPtr<IOleClientSite>(new ControlSite(area, size));
    IOleClientSite* site = view->site_.get();
    if (FAILED(view->object_->SetClientSite(site))) return nullptr;

    RECT rect{0, 0, size.width, size.height};
    if (FAILED(view->object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, area, &rect))) return nullptr;
    if (FAILED(view->object_->QueryInterface(IID_IWebBrowser2, view->browser_.put()))) return nullptr;

    ComPtr<IOleInPlaceObject> in_place;
    if (SUCCEEDED(view->object_->QueryInterface(IID_IOleInPlaceObject, in_place.put())))
        in_place->GetWindow(&view->control_);
    return view;
}

WebView::~WebView() {
    ComPtr<IOleInPlaceObject> in_place;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, in_place.put()))) in_place->InPlaceDeactivate();
    in_place.reset();
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    browser_.reset();
    object_.reset();
    if (control_ != nullptr && IsWindow(control_)) DestroyWindow(control_);
}

void WebView::focus() {
    if (control_ != nullptr && IsWindow(control_)) SetFocus(control_);
}

bool WebView::set_offline(bool on) { return SUCCEEDED(browser_->put_Offline(variant_bool(on))); }

bool WebView::set_silent(bool on) { return SUCCEEDED(browser_->put_Silent(variant_bool(on))); }

bool WebView::set_text_size(int level) {
    VARIANT input = integer_variant(level);
    return SUCCEEDED(browser_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &input, nullptr));
}

void WebView::navigate(std::string_view address) {
    const Bstr url(to_wide(address));
    const Bstr empty(L"");
    VARIANT flags = integer_variant(0);
    VARIANT target_frame = string_variant(empty);
    VARIANT post_data;
    VariantInit(&post_data);  // VT_EMPTY
    VARIANT headers = string_variant(empty);
    browser_->Navigate(url.get(), &flags, &target_frame, &post_data, &headers);
}

}  // namespace nubeko::win32
