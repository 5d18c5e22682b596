#include "HostOptions.h"

#include <cwchar>
#include <cwctype>

namespace pagelet {

namespace {

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

struct TKeyName {
    const wchar_t* Name;
    WORD VirtualKey;
};

constexpr TKeyName kKeyNames[] = {
    {L"ESC", VK_ESCAPE},    {L"ESCAPE", VK_ESCAPE}, {L"TAB", VK_TAB},        {L"ENTER", VK_RETURN},
    {L"RETURN", VK_RETURN}, {L"SPACE", VK_SPACE},   {L"BACKSPACE", VK_BACK}, {L"HOME", VK_HOME},
    {L"END", VK_END},       {L"PGUP", VK_PRIOR},    {L"PAGEUP", VK_PRIOR},   {L"PGDN", VK_NEXT},
    {L"PAGEDOWN", VK_NEXT}, {L"LEFT", VK_LEFT},     {L"UP", VK_UP},          {L"RIGHT", VK_RIGHT},
    {L"DOWN", VK_DOWN},     {L"INSERT", VK_INSERT}, {L"DELETE", VK_DELETE},
};

bool ParseKeyName(const std::wstring& name, WORD& virtualKey) {
    for (const TKeyName& key : kKeyNames) {
        if (name == key.Name) {
            virtualKey = key.VirtualKey;
            return true;
        }
    }
    // A letter or a digit of the main keyboard: its code is the character's.
    if (name.size() == 1 && ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'0' && name[0] <= L'9'))) {
        virtualKey = name[0];
        return true;
    }
    // F1 to F24.
    if (name.size() >= 2 && name.size() <= 3 && name[0] == L'F') {
        const std::wstring digits = name.substr(1);
        if (digits.find_first_not_of(L"0123456789") == std::wstring::npos) {
            const int number = std::stoi(digits);
            if (number >= 1 && number <= 24) {
                virtualKey = static_cast<WORD>(VK_F1 + number - 1);
                return true;
            }
        }
    }
    // NUM0 to NUM9: the numeric keypad.
    if (name.size() == 4 && name.compare(0, 3, L"NUM") == 0 && name[3] >= L'0' && name[3] <= L'9') {
        virtualKey = static_cast<WORD>(VK_NUMPAD0 + (name[3] - L'0'));
        return true;
    }
    // Any code as 0xNN.
    if (name.size() > 2 && name.size() <= 6 && name.compare(0, 2, L"0X") == 0 &&
        name.find_first_not_of(L"0123456789ABCDEF", 2) == std::wstring::npos) {
        const unsigned long value = std::stoul(name.substr(2), nullptr, 16);
        if (value >= 1 && value <= 0xFE) {
            virtualKey = static_cast<WORD>(value);
            return true;
        }
    }
    return false;
}

bool ParseKey(const std::wstring& token, TKeyStroke& key, std::wstring& error) {
    key = TKeyStroke{};
    key.Name = token;
    std::wstring rest = Upper(token);
    for (;;) {
        const size_t plus = rest.find(L'+');
        if (plus == std::wstring::npos || plus == 0 || plus + 1 == rest.size()) break;
        const std::wstring modifier = rest.substr(0, plus);
        if (modifier == L"SHIFT") {
            key.Shift = true;
        } else if (modifier == L"CTRL" || modifier == L"CONTROL") {
            key.Ctrl = true;
        } else if (modifier == L"ALT") {
            key.Alt = true;
        } else {
            error = L"unknown modifier \"" + modifier + L"\" in key \"" + token + L"\"";
            return false;
        }
        rest.erase(0, plus + 1);
    }
    if (!ParseKeyName(rest, key.VirtualKey)) {
        error = L"unknown key \"" + token + L"\"";
        return false;
    }
    return true;
}

}  // namespace

bool ParseKeyList(const std::wstring& text, std::vector<TKeyStroke>& keys, std::wstring& error) {
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(L',', start);
        const std::wstring token = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (token.empty()) {
            error = L"empty key in \"" + text + L"\"";
            return false;
        }
        TKeyStroke key;
        if (!ParseKey(token, key, error)) return false;
        keys.push_back(key);
        if (comma == std::wstring::npos) return true;
        start = comma + 1;
    }
}

bool ParseHostOptions(const std::vector<std::wstring>& args, THostOptions& options, std::wstring& error) {
    options = THostOptions{};
    const THostOwnOptions<wchar_t> own = [&](const std::wstring& arg, const auto& value) {
        if (arg == L"/?") {
            options.Help = true;
        } else if (arg == L"--quickview") {
            options.QuickView = true;
        } else if (arg == L"--thumbnail") {
            std::wstring size;
            if (!value(size) || !value(options.ThumbnailPath)) return THostArgument::Failed;
            wchar_t* end = nullptr;
            const long width = std::wcstol(size.c_str(), &end, 10);
            const long height = end && (*end == L'x' || *end == L'X') ? std::wcstol(end + 1, &end, 10) : 0;
            if (width <= 0 || height <= 0 || width > 10000 || height > 10000 || !end || *end) {
                error = L"--thumbnail needs WIDTHxHEIGHT, e.g. 200x200: " + size;
                return THostArgument::Failed;
            }
            options.ThumbnailSize = SIZE{width, height};
        } else if (arg == L"--send-keys") {
            std::wstring list;
            if (!value(list) || !ParseKeyList(list, options.Keys, error)) return THostArgument::Failed;
        } else {
            return THostArgument::NotMine;
        }
        return THostArgument::Taken;
    };
    if (!ParseHostArguments(args, options, own, error)) return false;
    if (options.Help) return true;
    if (options.FileName.empty()) {
        error = L"no file given";
        return false;
    }
    for (const std::wstring* image : {&options.ScreenshotPath, &options.ThumbnailPath}) {
        if (image->empty()) continue;
        const std::wstring path = Upper(*image);
        const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, L".PNG") == 0;
        const bool bmp = path.size() > 4 && path.compare(path.size() - 4, 4, L".BMP") == 0;
        if (!png && !bmp) {
            error = std::wstring(image == &options.ScreenshotPath ? L"the screenshot" : L"the thumbnail") +
                    L" must be a .png or .bmp file: " + *image;
            return false;
        }
    }
    return true;
}

const wchar_t* HostUsage() {
    return LR"(Usage: lister-host [OPTIONS] FILE

Loads the lister plug-in (pagelet.wlx, or pagelet.wlx64 for the 64-bit host)
from the program's own folder the way a file manager's lister does, and shows
FILE in it.

Options:
  --wrap               ask the plug-in to wrap lines (display flags bit 0)
  --quickview          put the lister window inside a panel of a main window
  --ini PATH           INI path handed to ListSetDefaultParams
                       (default: lister-host.ini beside the program)
  --plugin PATH        load this plug-in instead of the one beside the program
  --print-text         print the text of the viewer's rich-edit control
  --screenshot FILE    save the window as FILE (.png or .bmp) once the
                       document is shown, then close
  --command CMD        after the document is shown, give a host command as the
                       menu does; may be repeated: copy, select-all, wrap,
                       percent=N, find=TEXT, find/FLAGS=TEXT (c match case,
                       w whole words, b backwards), find-next, find-prev;
                       then close
  --send-keys KEYS     after the commands, type KEYS into the viewer,
                       e.g. "Esc" or "F5,Shift+F7,W"; then close if still open
  --close              close once the document is shown
  --next FILE          once the document is shown, show FILE in the same
                       viewer (ListLoadNext); where the plug-in refuses, close
                       the viewer and open FILE with ListLoad; then close
  --thumbnail WxH OUT  only make the plug-in's thumbnail of FILE, at most W x H
                       pixels, on a worker thread (ListGetPreviewBitmapW), and
                       save it as OUT (.png or .bmp)
  --dark               the host is in dark mode (display flags bit 7)
  --ansi               use the 8-bit exports (ListLoad...) even where the
                       plug-in has the UTF-16 ones (ListLoadW...)
  --help               show this text

The lister window logs every key the plug-in hands back ("key down 0x1B"), and
closes on Esc. With --screenshot, --command, --send-keys or --close nobody is
expected at the screen: message boxes of the plug-in are logged and dismissed.

Exit status: 0 the document was shown, 1 the plug-in did not show it (or a
requested step failed), 2 wrong arguments or the plug-in could not be loaded.
)";
}

}  // namespace pagelet
