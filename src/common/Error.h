#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace pagelet {

// The project's one exception type. The message is UTF-16 and is shown to
// the user as it stands; platform failures also carry the platform's code
// (an HRESULT or a Win32 error), 0 otherwise.
class EPagelet : public std::exception {
public:
    explicit EPagelet(std::u16string message, int32_t code = 0);

    const std::u16string& Message() const noexcept { return message_; }
    int32_t Code() const noexcept { return code_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::u16string message_;
    int32_t code_;
    std::string utf8_;
};

// The message of any exception as UTF-16: EPagelet's own, otherwise what()
// read as UTF-8.
std::u16string ExceptionMessage(const std::exception& e);

}  // namespace pagelet
