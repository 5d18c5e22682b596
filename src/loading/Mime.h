#pragma once

// MIME messages as single-file web pages (MHTML) hold them: the headers a
// reader needs, multipart bodies, and the quoted-printable and base64
// transfer encodings. Internal to loading/.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

// A MIME entity: the headers read, and its body (a view of the bytes read).
struct TMimeEntity {
    std::string type;  // "text/html", "multipart/related"...; lower case
    std::string charset, boundary, encoding;  // encoding: Content-Transfer-Encoding, lower case
    bool mimeVersion = false;                 // a MIME-Version header was seen
    std::span<const uint8_t> body;
};

// Reads the header lines of bytes up to the empty line that ends them
// (folded lines joined), the body being what follows. False when the first
// line is no header.
bool ReadMimeEntity(std::span<const uint8_t> bytes, TMimeEntity& entity);

// The first entity of the type, entity itself or one of the parts its
// multiparts hold (nested 8 deep at most; a last part cut short by the end
// counts): its body decoded and its charset.
bool FindMimePart(const TMimeEntity& entity, std::string_view type, std::vector<uint8_t>& body, std::string& charset);

// The transfer encodings; bytes that do not belong are passed over
// (base64) or kept as they stand (quoted-printable).
std::vector<uint8_t> DecodeQuotedPrintable(std::span<const uint8_t> in);
std::vector<uint8_t> DecodeBase64(std::span<const uint8_t> in);

}  // namespace pagelet
