#include "loading/Mime.h"

#include <algorithm>

#include "loading/TextBytes.h"

namespace pagelet {

namespace {

// MIME multiparts nest at most this deep (deeper parts are not looked at).
constexpr int kMaxMimeDepth = 8;

std::string Lower(std::string_view text) {
    std::string lower;
    for (char c : text) lower += AsciiLower(c);
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The type and the charset and boundary parameters of a Content-Type value.
void ReadContentType(std::string_view value, TMimeEntity& entity) {
    const size_t semicolon = value.find(';');
    entity.type = Lower(Trim(value.substr(0, semicolon)));
    size_t at = semicolon;
    while (at != std::string_view::npos && at < value.size()) {
        ++at;
        const size_t equals = value.find('=', at);
        if (equals == std::string_view::npos) return;
        const std::string name = Lower(Trim(value.substr(at, equals - at)));
        size_t k = equals + 1;
        while (k < value.size() && (value[k] == ' ' || value[k] == '\t')) ++k;
        std::string parameter;
        if (k < value.size() && value[k] == '"') {
            ++k;
            while (k < value.size() && value[k] != '"') parameter += value[k++];
            at = value.find(';', k);
        } else {
            at = value.find(';', k);
            parameter = Trim(value.substr(k, at == std::string_view::npos ? std::string_view::npos : at - k));
        }
        if (name == "charset")
            entity.charset = parameter;
        else if (name == "boundary")
            entity.boundary = parameter;
    }
}

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}


}  // namespace

bool ReadMimeEntity(std::span<const uint8_t> bytes, TMimeEntity& entity) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    size_t at = 0;
    std::string header;  // a header with its folded lines
    bool first = true;
    auto take = [&] {
        const size_t colon = header.find(':');
        if (colon == std::string::npos) return;
        const std::string name = Lower(Trim(std::string_view(header).substr(0, colon)));
        const std::string_view value = Trim(std::string_view(header).substr(colon + 1));
        if (name == "content-type")
            ReadContentType(value, entity);
        else if (name == "content-transfer-encoding")
            entity.encoding = Lower(value);
        else if (name == "mime-version")
            entity.mimeVersion = true;
    };
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = next;
        if (line.empty()) break;
        if (line.front() == ' ' || line.front() == '\t') {
            if (first) return false;
            header += ' ';
            header += Trim(line);
            continue;
        }
        if (first) {
            // "Name: value", the name printable ASCII.
            const size_t colon = line.find(':');
            if (colon == 0 || colon == std::string_view::npos) return false;
            for (char c : line.substr(0, colon)) {
                if (c <= ' ' || c > '~') return false;
            }
            first = false;
        } else {
            take();
        }
        header.assign(line);
    }
    if (first) return false;
    take();
    entity.body = bytes.subspan(std::min(at, bytes.size()));
    return true;
}

std::vector<uint8_t> DecodeQuotedPrintable(std::span<const uint8_t> in) {
    std::vector<uint8_t> out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out.push_back(in[i]);
            continue;
        }
        if (i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
            out.push_back(static_cast<uint8_t>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
            i += 2;
            continue;
        }
        // A soft line break: '=' and blanks before the line end.
        size_t k = i + 1;
        while (k < in.size() && (in[k] == ' ' || in[k] == '\t')) ++k;
        if (k < in.size() && in[k] == '\r') ++k;
        if (k < in.size() && in[k] == '\n') {
            i = k;
            continue;
        }
        if (k == in.size()) break;
        out.push_back('=');
    }
    return out;
}

std::vector<uint8_t> DecodeBase64(std::span<const uint8_t> in) {
    std::vector<uint8_t> out;
    out.reserve(in.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    for (uint8_t c : in) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else
            continue;  // line ends, padding and anything else
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<uint8_t>(bits >> 16));
            out.push_back(static_cast<uint8_t>(bits >> 8));
            out.push_back(static_cast<uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count >= 2) out.push_back(static_cast<uint8_t>(bits >> (6 * count - 8)));
    if (count == 3) out.push_back(static_cast<uint8_t>(bits >> 2));
    return out;
}

namespace {

bool FindPart(const TMimeEntity& entity, std::string_view type, int depth, std::vector<uint8_t>& body,
              std::string& charset) {
    if (entity.type == type) {
        if (entity.encoding == "quoted-printable")
            body = DecodeQuotedPrintable(entity.body);
        else if (entity.encoding == "base64")
            body = DecodeBase64(entity.body);
        else
            body.assign(entity.body.begin(), entity.body.end());
        charset = entity.charset;
        return true;
    }
    if (entity.type.rfind("multipart/", 0) != 0 || entity.boundary.empty() || entity.boundary.size() > 200 ||
        depth >= kMaxMimeDepth) {
        return false;
    }
    // Parts lie between lines that begin with "--" and the boundary.
    const std::string_view text(reinterpret_cast<const char*>(entity.body.data()), entity.body.size());
    const std::string delimiter = "--" + entity.boundary;
    size_t partStart = std::string_view::npos;
    size_t at = 0;
    while (at < text.size()) {
        size_t lineEnd = text.find('\n', at);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        if (text.compare(at, delimiter.size(), delimiter) == 0) {
            if (partStart != std::string_view::npos) {
                // The line end before the delimiter belongs to it.
                size_t partEnd = at;
                if (partEnd > partStart && text[partEnd - 1] == '\n') --partEnd;
                if (partEnd > partStart && text[partEnd - 1] == '\r') --partEnd;
                TMimeEntity part;
                if (ReadMimeEntity(entity.body.subspan(partStart, partEnd - partStart), part) &&
                    FindPart(part, type, depth + 1, body, charset)) {
                    return true;
                }
            }
            if (text.compare(at + delimiter.size(), 2, "--") == 0) return false;
            partStart = std::min(lineEnd + 1, text.size());
        }
        at = lineEnd + 1;
    }
    // A message cut short: its last part ends with it.
    TMimeEntity part;
    return partStart != std::string_view::npos && partStart < text.size() &&
           ReadMimeEntity(entity.body.subspan(partStart), part) && FindPart(part, type, depth + 1, body, charset);
}

}  // namespace

bool FindMimePart(const TMimeEntity& entity, std::string_view type, std::vector<uint8_t>& body, std::string& charset) {
    return FindPart(entity, type, 0, body, charset);
}

}  // namespace pagelet
