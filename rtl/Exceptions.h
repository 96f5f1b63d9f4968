#pragma once

#include <exception>
#include <string>

namespace rtl {

// Root of every failure the program raises itself. The message is the text the
// user sees in the standard error report, so it is kept verbatim.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// A text that should have been a number, or any other failed conversion.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A value outside the range its storage can hold.
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
    using Exception::Exception;
};

// A file that could not be opened, read or written.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace rtl
