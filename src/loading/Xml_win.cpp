#include "loading/Xml.h"

#include <windows.h>
#include <objidl.h>
#include <xmllite.h>

#include <climits>
#include <cstring>
#include <string>

#include "common/Error.h"
#include "loading/Zip.h"

namespace pagelet {

namespace {

// IXmlReader's interface id, kept here so that no GUID library is needed.
constexpr GUID kIidXmlReader = {0x7279fc81, 0x709d, 0x4095, {0xb6, 0x3d, 0x69, 0xfe, 0x4b, 0x0d, 0x90, 0x30}};

using TCreateXmlReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

template <typename T>
struct TComPtr {
    T* p = nullptr;
    ~TComPtr() {
        if (p != nullptr) p->Release();
    }
};

struct TModule {
    HMODULE h = nullptr;
    ~TModule() {
        if (h != nullptr) FreeLibrary(h);
    }
};

std::u16string Copy(const WCHAR* text, UINT n) { return {reinterpret_cast<const char16_t*>(text), n}; }

class TXmlLiteReader final : public TXmlReader {
public:
    explicit TXmlLiteReader(std::span<const uint8_t> bytes) {
        if (bytes.size() > INT_MAX) ThrowDamaged(u"an XML part is too large");
        // xmllite.dll is a system DLL: loaded from the system folder for
        // each reader (a count on the loaded module after the first).
        module_.h = LoadLibraryExW(L"xmllite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module_.h == nullptr) {
            // A system without that flag: the system folder's copy by its full path.
            WCHAR system[MAX_PATH];
            const UINT n = GetSystemDirectoryW(system, MAX_PATH);
            if (n != 0 && n < MAX_PATH - 13) module_.h = LoadLibraryW((std::wstring(system, n) + L"\\xmllite.dll").c_str());
        }
        if (module_.h == nullptr) throw EPagelet(u"XmlLite (xmllite.dll) cannot be loaded", static_cast<int32_t>(GetLastError()));
        auto create = reinterpret_cast<TCreateXmlReader>(
            reinterpret_cast<void*>(GetProcAddress(module_.h, "CreateXmlReader")));
        if (create == nullptr) throw EPagelet(u"XmlLite (xmllite.dll) has no CreateXmlReader");
        HRESULT hr = create(kIidXmlReader, reinterpret_cast<void**>(&reader_.p), nullptr);
        if (FAILED(hr)) throw EPagelet(u"XmlLite cannot make a reader", hr);

        // A copy of the bytes as a stream on memory.
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
        if (memory == nullptr) throw EPagelet(u"Out of memory");
        if (void* to = GlobalLock(memory)) {
            if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
            GlobalUnlock(memory);
        }
        hr = CreateStreamOnHGlobal(memory, TRUE, &stream_.p);
        if (FAILED(hr)) {
            GlobalFree(memory);
            throw EPagelet(u"XmlLite cannot be given the part", hr);
        }
        ULARGE_INTEGER size;
        size.QuadPart = bytes.size();
        stream_.p->SetSize(size);

        // Only the document itself is read: a DTD is refused (DtdProcessing_Prohibit:
        // a DOCTYPE fails the read, so no entity is declared, expanded or
        // fetched), there is no resolver for external resources (so nothing is
        // loaded from a file or the network), and elements nest at most
        // kMaxXmlDepth deep.
        reader_.p->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
        reader_.p->SetProperty(XmlReaderProperty_XmlResolver, 0);
        reader_.p->SetProperty(XmlReaderProperty_MaxElementDepth, kMaxXmlDepth);
        hr = reader_.p->SetInput(stream_.p);
        if (FAILED(hr)) ThrowDamaged(u"an XML part cannot be read");
    }

    TXmlLiteReader(const TXmlLiteReader&) = delete;
    TXmlLiteReader& operator=(const TXmlLiteReader&) = delete;

    void Next(TXmlItem& item) override {
        for (;;) {
            XmlNodeType type = XmlNodeType_None;
            const HRESULT hr = reader_.p->Read(&type);
            if (hr == S_FALSE) {
                item.node = TXmlNode::Finished;
                return;
            }
            if (hr != S_OK) ThrowDamaged(u"an XML part is not well formed");
            const WCHAR* text = nullptr;
            UINT n = 0;
            switch (type) {
            case XmlNodeType_Element: {
                item.node = TXmlNode::Start;
                item.empty = reader_.p->IsEmptyElement() != FALSE;
                Names(item);
                item.attributes.clear();
                for (HRESULT at = reader_.p->MoveToFirstAttribute(); at == S_OK; at = reader_.p->MoveToNextAttribute()) {
                    if (reader_.p->IsDefault()) continue;
                    TXmlAttribute attribute;
                    if (reader_.p->GetLocalName(&text, &n) == S_OK) attribute.localName = Copy(text, n);
                    if (reader_.p->GetNamespaceUri(&text, &n) == S_OK) attribute.ns = Copy(text, n);
                    // Namespace declarations are not attributes of the element.
                    if (attribute.ns == u"http://www.w3.org/2000/xmlns/") continue;
                    if (reader_.p->GetValue(&text, &n) == S_OK) attribute.value = Copy(text, n);
                    item.attributes.push_back(std::move(attribute));
                }
                reader_.p->MoveToElement();
                return;
            }
            case XmlNodeType_EndElement:
                item.node = TXmlNode::End;
                Names(item);
                return;
            case XmlNodeType_Text:
            case XmlNodeType_CDATA:
            case XmlNodeType_Whitespace:
                item.node = TXmlNode::Text;
                item.text.clear();
                if (reader_.p->GetValue(&text, &n) == S_OK) item.text = Copy(text, n);
                return;
            default:
                break;  // declarations, comments, processing instructions
            }
        }
    }

private:
    void Names(TXmlItem& item) {
        const WCHAR* text = nullptr;
        UINT n = 0;
        item.localName.clear();
        item.ns.clear();
        if (reader_.p->GetLocalName(&text, &n) == S_OK) item.localName = Copy(text, n);
        if (reader_.p->GetNamespaceUri(&text, &n) == S_OK) item.ns = Copy(text, n);
    }

    // Released in the reverse order: the reader, its stream, then the module that made them.
    TModule module_;
    TComPtr<IStream> stream_;
    TComPtr<IXmlReader> reader_;
};

}  // namespace

std::unique_ptr<TXmlReader> OpenXmlReader(std::span<const uint8_t> bytes) {
    return std::make_unique<TXmlLiteReader>(bytes);
}

}  // namespace pagelet
