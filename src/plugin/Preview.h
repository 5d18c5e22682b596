#pragma once

// The thumbnail of a document: a picture of its first page.

#include <windows.h>

#include <string>

namespace pagelet {

// The size of a portrait A4 page as large as fits within width x height
// (never larger); {0, 0} when nothing fits.
SIZE PreviewPageSize(int width, int height);

// A device-dependent bitmap of the page size above: a white page with the
// first lines of the document's text, dark, in a small font, wrapped to the
// page. The caller owns it. Null when the document cannot be read or has no
// text. Reads the converter settings (Printable, CP, ForceCP) from the
// settings file and always uses the converter, never Word. Safe on any
// thread and on several at once: it touches no shared object of the plug-in
// (neither the document text nor the viewer's windows) and shows nothing.
HBITMAP MakePreviewBitmap(const std::u16string& fileName, int width, int height);

}  // namespace pagelet
