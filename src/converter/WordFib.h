#pragma once

// What a document's FIB says about how it may be opened, read before any
// other program is given the file: whether it is a Word document the
// converter reads (a compound file whose "WordDocument" stream starts with
// a Word 97-2003 or Word 6/95 FIB) and the flags that make Word ask for a
// password when it opens it.

#include <string>

namespace pagelet {

enum class TWordFibKind { NotWord, Word97, Word6 };

struct TWordFibFlags {
    TWordFibKind Kind = TWordFibKind::NotWord;
    bool Encrypted = false;      // fEncrypted: a password opens the document
    bool WriteReserved = false;  // fWriteReservation: a password opens it for writing
};

// Reads the FIB's wIdent and flags word. A file that is missing, is no
// regular file, is no compound file, has no "WordDocument" stream, or whose
// stream is too short for the flags word, is NotWord with both flags clear;
// but a compound file with an "EncryptedPackage" stream and no
// "WordDocument" (a Word 2007+ package encrypted with a password) is NotWord
// and Encrypted.
// Throws EPagelet when the compound file cannot be opened or read.
TWordFibFlags ReadWordFibFlags(const std::u16string& fileName);

}  // namespace pagelet
